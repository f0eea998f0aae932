// The cell at its operating conditions. The 26 parameters describe the cell at the reference conditions,
// 26.85 degrees C and one sun; a temperature and a concentration of its own change its thermal voltage, its
// saturation currents (each diode by its law, through the junction's band gap) and its photocurrents (by
// the concentration and each photocurrent's temperature coefficient). Every path that solves the cell (the
// studies' searches, the exact solver, the scans, the fit) sees the cell through AtConditions.
#pragma once

#include <array>
#include <optional>
#include <string>

#include "model/parameter_table.h"
#include "model/state.h"

namespace pelarin {

inline constexpr double kReferenceTemperature = 26.85;  // degrees C
inline constexpr double kReferenceVt = 0.025851;        // V, the thermal voltage at the reference temperature
inline constexpr double kZeroCelsius = 273.15;          // K

// The cell the solvers see: the 26 parameters at the conditions (with the larger saturation current of each
// junction), the conditions themselves as given, the thermal voltage, and the concentration by which the
// incident power grows.
struct CellAtConditions {
  Parameters par;
  double Vt = kReferenceVt;
  double concentration = 1;
};

// A box whose value, together with the others, leaves no cell at the conditions, and why.
struct ConditionsProblem {
  int box = 0;
  std::string sentence;  // "alpha1: at T = -150 degrees C the photocurrent Jsc1 would be negative (...)."
};

// Why the form's values give no cell at their conditions (a photocurrent below 0, a saturation current
// beyond the largest number), or nothing.
[[nodiscard]] std::optional<ConditionsProblem> CheckConditions(const Parameters& form);

// The cell at the conditions of the form's values; throws InputError with CheckConditions' sentence. At the
// reference conditions every factor is exactly 1 and the cell is the form's values, bit for bit.
[[nodiscard]] CellAtConditions AtConditions(const Parameters& form);

// Why the studies' literal searches cannot solve a cell at its conditions (a saturation current that the
// cold took below the normal doubles, so that its digits are lost), naming T, the junction and the diode;
// or nothing.
[[nodiscard]] std::optional<std::string> BeyondTheSearches(const Parameters& cell);

// Makes the form's values the state's cell: state.formValues, the cell at its conditions in state.par, its
// thermal voltage in state.k.Vt and its concentration in state.figures. Throws as AtConditions.
void UseCell(State& state, const Parameters& form);

// The derivatives of a quantity in every box of the form (the 26 and the conditions), from its derivatives
// in the 26 parameters of the cell at the conditions, by the chain rule through the laws above. Made once for
// a cell, applied to each point of a curve.
using FormDerivatives = std::array<double, kParameterCount>;
class ConditionsChain {
 public:
  ConditionsChain(const Parameters& form, const CellAtConditions& cell);
  [[nodiscard]] FormDerivatives Apply(const std::array<double, kCellParameterCount>& atConditions) const;

 private:
  // Per junction: d(value at the conditions)/d(form's value) of Jsd1, Jsd2 and Jsc; the derivatives of the
  // three values at the conditions in T, X, Eg and alpha.
  struct Junction {
    double dJsd1 = 1, dJsd2 = 1, dJsc = 1;
    double jsd1T = 0, jsd2T = 0, jscT = 0, jscX = 0, jsd1Eg = 0, jsd2Eg = 0, jscAlpha = 0;
  };
  std::array<Junction, 3> junctions_{};
  std::array<double, 6> mOverVt_{};  // m / Vt of each diode, junction by junction
  double VtT_ = 0;                   // dVt/dT
};

}  // namespace pelarin
