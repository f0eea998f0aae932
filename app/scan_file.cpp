#include "app/scan_file.h"

#include <charconv>
#include <fstream>
#include <sstream>

namespace pelarin {
namespace {

std::optional<std::int64_t> LeadingWhole(std::string_view line, std::size_t& at) {
  std::int64_t value = 0;
  const char* begin = line.data() + at;
  const auto [ptr, ec] = std::from_chars(begin, line.data() + line.size(), value);
  if (ec != std::errc() || ptr == begin || ptr == line.data() + line.size() || *ptr != ',')
    return std::nullopt;
  at = static_cast<std::size_t>(ptr - line.data()) + 1;
  return value;
}

}  // namespace

std::optional<ScanFile> ReadScanFile(const std::string& path, std::string& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = "cannot read " + path;
    return std::nullopt;
  }
  const std::string text = (std::ostringstream() << in.rdbuf()).str();
  ScanFile file;
  std::size_t start = 0;
  for (std::size_t lineNumber = 1;; ++lineNumber) {
    const auto end = text.find('\n', start);
    if (end == std::string::npos) break;  // nothing more, or a line cut off while it was written
    const std::string_view line(text.data() + start, end - start);
    if (lineNumber == 1) {
      if (!line.starts_with("cell,cells,")) {
        error = path + " is not a scan file (its first line does not start with \"cell,cells,\")";
        return std::nullopt;
      }
      file.header = std::string(line);
    } else {
      std::size_t at = 0;
      const auto cell = LeadingWhole(line, at);
      const auto cells = cell ? LeadingWhole(line, at) : std::nullopt;
      if (!cell || !cells || *cell < 0 || *cell >= *cells) {
        error = path + ", line " + std::to_string(lineNumber) + ": no cell index and cell count";
        return std::nullopt;
      }
      if (file.cells.empty() || file.cells.back().cell != *cell) file.cells.push_back({*cell, *cells, {}});
      file.cells.back().rows.append(line).append("\n");
    }
    start = end + 1;
  }
  if (file.header.empty()) {
    error = path + " is empty";
    return std::nullopt;
  }
  return file;
}

std::string ScanFileText(const ScanFile& file) {
  std::string text = file.header + "\n";
  for (const ScanCell& cell : file.cells) text += cell.rows;
  return text;
}

}  // namespace pelarin
