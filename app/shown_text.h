// A typed text as a message quotes it: control characters escaped, so that a refusal stays one line
// whatever was typed.
#pragma once

#include <string>
#include <string_view>

namespace pelarin {

// Line breaks as \n, tabs as \t, other control characters as \xHH; everything else as typed.
[[nodiscard]] std::string Shown(std::string_view text);

}  // namespace pelarin
