#include "plot/curves_csv.h"

#include <cmath>
#include <limits>

#include "model/number_text.h"

namespace pelarin {

std::string CsvField(std::string_view text) {
  if (text.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(text);
  std::string quoted = "\"";
  for (const char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + '"';
}

std::string FigureColumns() {
  return "Voc (V),Jsc (mA/cm2),FF,Pmax (mW/cm2),Vmp (V),Jmp (mA/cm2),efficiency (%),incident power (mW/cm2)";
}

std::string FigureFields(const std::optional<FiguresOfMerit>& figures) {
  std::string fields;
  AppendFigureFields(fields, figures);
  return fields;
}

namespace {
// Each figure's value and the factor that brings it to the column's unit, in column order.
template <class Each>
void ForEachFigure(const FiguresOfMerit& f, Each each) {
  each(f.Voc, 1.0);
  each(f.Jsc, 1000.0);
  each(f.FF, 1.0);
  each(f.Pmax, 1000.0);
  each(f.Vmp, 1.0);
  each(f.Jmp, 1000.0);
  each(f.efficiency, 1.0);
  each(std::optional<double>(f.incidentPower), 1.0);
}
}  // namespace

void AppendFigureFields(std::string& out, const std::optional<FiguresOfMerit>& figures) {
  if (!figures) {
    out += ",,,,,,,";
    return;
  }
  bool first = true;
  ForEachFigure(*figures, [&](const std::optional<double>& value, double scale) {
    if (!first) out += ',';
    first = false;
    if (value) AppendShortest(out, *value * scale);
  });
}

std::array<double, kFigureColumnCount> FigureValues(const std::optional<FiguresOfMerit>& figures) {
  std::array<double, kFigureColumnCount> values;
  values.fill(std::numeric_limits<double>::quiet_NaN());
  if (!figures) return values;
  std::size_t i = 0;
  ForEachFigure(*figures, [&](const std::optional<double>& value, double scale) {
    if (value) values[i] = *value * scale;
    ++i;
  });
  return values;
}

std::string CurvesCsv(const RecordingSurface& drawing) {
  const PlotTitles& titles = drawing.Titles();
  std::string csv = "curve," + CsvField(titles.xTitle.empty() ? "x" : titles.xTitle) + "," +
                    CsvField(titles.yTitle.empty() ? "y" : titles.yTitle) + "\r\n";
  for (const DrawnCurve& curve : drawing.Curves()) {
    const std::string name = CsvField(curve.entry.name);
    for (const auto& [x, y] : curve.points)
      csv += name + "," + ShortestText(x) + "," + ShortestText(titles.logY ? std::exp(y) : y) + "\r\n";
  }
  return csv;
}

}  // namespace pelarin
