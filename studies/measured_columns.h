// Measured J(V) curves as plain text or CSV of two columns, voltage and current density: TAB, comma,
// semicolon or blanks between them, an optional header line, decimal commas as the form reads them. Every
// other line must be two finite numbers; anything else is refused naming the file and the line, so that a
// file the program does not understand is never taken as points of its own making. A file of more columns
// is read when the two to use are named, and the program's own result tables (their header starts with
// "V (V)" and "Current (A/cm2)") by their first two columns.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace pelarin {

struct MeasuredColumns {
  std::vector<double> V, J;  // as written in the file: no unit or sign conversion
};

// Reads the text; name stands for the file in messages; columns (1-based), when given, are the V and J
// columns of lines with more. Throws FileError.
[[nodiscard]] MeasuredColumns ReadMeasuredColumnsText(std::string_view text, const std::string& name,
                                                      std::optional<std::pair<int, int>> columns = {});
// Reads the file (a regular file of at most 64 MB). Throws FileError.
[[nodiscard]] MeasuredColumns ReadMeasuredColumns(const std::string& path,
                                                  std::optional<std::pair<int, int>> columns = {});

}  // namespace pelarin
