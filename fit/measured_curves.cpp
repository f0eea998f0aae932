#include "fit/measured_curves.h"

#include "model/calc_error.h"
#include "studies/measured_columns.h"

namespace pelarin::fit {

MeasuredCurve LoadCurve(const CurveFile& file) {
  const auto lit = LitSetOf(file.name);
  if (!lit)
    throw InputError("\"" + file.name +
                     "\" is no measured configuration: lit, dark, lit:1, lit:2, lit:3, lit:12, " +
                     "lit:13 or lit:23");
  const MeasuredColumns columns = ReadMeasuredColumns(file.path, file.columns);
  MeasuredCurve curve;
  curve.name = file.name;
  curve.file = file.path;
  curve.circuit = exact::Stack(*lit, file.coupled);
  curve.weight = file.weight;
  curve.T = file.T;
  curve.X = file.X;
  curve.V = columns.V;
  const double factor = (file.unit == CurrentUnit::MilliamperesPerCm2 ? 1e-3 : 1) *
                        (file.sign == SignConvention::Load ? -1 : 1);
  for (const double J : columns.J) curve.J.push_back(J * factor);
  return curve;
}

}  // namespace pelarin::fit
