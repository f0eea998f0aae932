// Stepping a parameter box with the mouse wheel or the arrow keys, for fitting a curve by eye: the
// resistances, saturation currents and coupling resistances by a factor of 10^0.05 (a coarse step
// 10^0.5), the photocurrents and ideality factors by 1 % (a coarse step 10 %), the concentration as the
// resistances, and the temperature, band gaps and temperature coefficients by steps of their own (1 degree C,
// 0.01 eV, 1e-4 1/K; a coarse step ten of them).
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "model/parameter_table.h"

namespace pelarin {

// The factor one step up multiplies the value of a box under this rule by.
[[nodiscard]] double StepFactor(ReadRule rule, bool coarse);

// The text of the box after steps steps (up when positive), with the few digits the step needs (six at
// most: the fewest within a thousandth of a step of the stepped value); nothing when the box does not read,
// holds 0 (a dark junction or a missing diode stays so), or the step would take it where the form refuses
// or corrects it.
[[nodiscard]] std::optional<std::string> SteppedBoxText(const ParameterRow& row, std::string_view text,
                                                        int steps, bool coarse);

}  // namespace pelarin
