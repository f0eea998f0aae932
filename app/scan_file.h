// The CSV file of a scan: a header line, then the rows of each cell together, in grid order. Every row
// starts with the cell's index and the grid's cell count, so that a file can be resumed, and slices of a
// grid run apart can be merged, from the rows alone.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "plot/curves_csv.h"  // CsvField: a field quoted when it holds a comma, a quote or a line break

namespace pelarin {

// The rows of one cell, each ending in "\n".
struct ScanCell {
  std::int64_t cell = 0;
  std::int64_t cells = 0;
  std::string rows;
};

struct ScanFile {
  std::string header;  // the first line, without its "\n"
  std::vector<ScanCell> cells;
};

// Reads a scan file. A last line without its "\n" (a run cut off while writing) is dropped. On a file
// that is not a scan file returns nothing and says why in error.
[[nodiscard]] std::optional<ScanFile> ReadScanFile(const std::string& path, std::string& error);

// The whole text of a scan file.
[[nodiscard]] std::string ScanFileText(const ScanFile& file);

}  // namespace pelarin
