// Measured curves for a fit, from their files: read, converted to the program's units and sign, and tied
// to their circuit.
#pragma once

#include <optional>
#include <string>
#include <utility>

#include "fit/fit.h"

namespace pelarin::fit {

// The files' current density unit, and their sign convention: generator (the program's, a lit cell's
// current positive) or load (the usual measurement convention, a lit cell's current negative).
enum class CurrentUnit { AmperesPerCm2, MilliamperesPerCm2 };
enum class SignConvention { Generator, Load };

struct CurveFile {
  std::string name;  // lit, dark, lit:1, ..., lit:23
  std::string path;
  bool coupled = false;  // the stack inside the Rl/Rg network
  CurrentUnit unit = CurrentUnit::AmperesPerCm2;
  SignConvention sign = SignConvention::Generator;
  double weight = 1;
  std::optional<double> T{}, X{};                // its conditions (degrees C, suns), where not the form's
  std::optional<std::pair<int, int>> columns{};  // the V and J columns (1-based) of a file of more than two
};

// Reads the file as two columns (studies/measured_columns.h) and makes it a curve. Throws InputError for a
// name that is no configuration, FileError for a file that is not two columns of finite numbers.
[[nodiscard]] MeasuredCurve LoadCurve(const CurveFile& file);

}  // namespace pelarin::fit
