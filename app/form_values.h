// The form's values as every headless face reads them (the batch commands, Python, the fit): the defaults,
// then a parameter file, then the boxes typed, each read by the window's rules.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "model/state.h"

namespace pelarin {

// Reads them into state, with the start-up constants. Returns the sentences of what was refused (a missing
// or unreadable parameter file, or each box the form refuses), empty when the form's values are in state.
// A parameter file is a value, not a place: relative paths of the caller keep their folder.
[[nodiscard]] std::vector<std::string> ReadFormValues(
    const std::optional<std::string>& parameterFile,
    const std::vector<std::pair<std::string, std::string>>& boxes, State& state);

}  // namespace pelarin
