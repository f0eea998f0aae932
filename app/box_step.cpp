#include "app/box_step.h"

#include <cmath>

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
      break;
  }
  return std::pow(10.0, coarse ? 0.5 : 0.05);
}

std::optional<std::string> SteppedBoxText(const ParameterRow& row, std::string_view text, int steps,
                                          bool coarse) {
  const BoxReading reading = ReadBox(row, text);
  if (!reading.problem.empty() || reading.value == 0 || steps == 0) return std::nullopt;
  // Up multiplies and down divides, so that a step down undoes a step up wherever rounding allows.
  const double factor = StepFactor(row.rule, coarse);
  double value = reading.value;
  for (int i = 0; i < std::abs(steps); ++i) value = steps > 0 ? value * factor : value / factor;
  const std::string stepped = ShortestText(value);
  const BoxReading check = ReadBox(row, stepped);
  if (!check.problem.empty() || check.value != value || check.shownText != stepped) return std::nullopt;
  return stepped;
}

}  // namespace pelarin
