#include "app/box_step.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "model/number_text.h"
#include "workspace/read_parameters.h"

namespace pelarin {

double StepFactor(ReadRule rule, bool coarse) {
  switch (rule) {
    case ReadRule::Photocurrent:
    case ReadRule::IdealityFactor:
      return coarse ? 1.1 : 1.01;
    case ReadRule::Resistance:
    case ReadRule::SaturationCurrent:
    case ReadRule::Coupling:
    case ReadRule::Bounded:
      break;
  }
  return std::pow(10.0, coarse ? 0.5 : 0.05);
}

std::optional<std::string> SteppedBoxText(const ParameterRow& row, std::string_view text, int steps,
                                          bool coarse) {
  const BoxReading reading = ReadBox(row, text);
  const bool linear = row.rule == ReadRule::Bounded && row.linearStep > 0;
  if (!reading.problem.empty() || (reading.value == 0 && !linear) || steps == 0) return std::nullopt;
  double value = reading.value;
  std::string stepped;
  if (linear) {
    // Steps of the row's own, written with no more digits than the step needs (26.85 + 1 is "27.85").
    value += steps * row.linearStep * (coarse ? 10 : 1);
    char text[32];
    for (int digits = 1; digits <= 17; ++digits) {
      std::snprintf(text, sizeof text, "%.*g", digits, value);
      if (std::abs(std::strtod(text, nullptr) - value) <= row.linearStep * 1e-6) break;
    }
    value = std::strtod(text, nullptr);
    stepped = ShortestText(value);
  } else {
    // Up multiplies and down divides. The box shows the fewest digits (six at most) that stay within a
    // thousandth of the step of the stepped value, so that 5 steps to "5.61" and back to "5", not to
    // 5.609918 and 4.9999999999.
    const double factor = StepFactor(row.rule, coarse);
    for (int i = 0; i < std::abs(steps); ++i) value = steps > 0 ? value * factor : value / factor;
    const double resolution = 1e-3 * std::abs(value) * (factor - 1);
    char text[32];
    for (int digits = 1; digits <= 6; ++digits) {
      std::snprintf(text, sizeof text, "%.*g", digits, value);
      if (std::abs(std::strtod(text, nullptr) - value) <= resolution) break;
    }
    stepped = ShortestText(std::strtod(text, nullptr));
    value = std::strtod(text, nullptr);
  }
  const BoxReading check = ReadBox(row, stepped);
  if (!check.problem.empty() || check.value != value || check.shownText != stepped) return std::nullopt;
  return stepped;
}

}  // namespace pelarin
