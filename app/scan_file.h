// The CSV file of a scan: lines starting with "#" that say how it was made (spreadsheets and
// pandas.read_csv(comment="#") skip them), a header line, then the rows of each cell together, in grid order.
// Every row starts with the cell's index and the grid's cell count, so that a file can be resumed, and slices
// of a grid run apart can be merged, from the rows alone.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "plot/curves_csv.h"  // CsvField: a field quoted when it holds a comma, a quote or a line break
#include "workspace/study_folder.h"

namespace pelarin {

// The rows of one cell, each ending in "\n".
struct ScanCell {
  std::int64_t cell = 0;
  std::int64_t cells = 0;
  std::string rows;
};

struct ScanFile {
  std::vector<std::string> notes;  // the lines before the header that start with "#", without their "\n"
  std::string header;              // the column names, without their "\n"
  std::vector<ScanCell> cells;
};

// The fields of one line of a scan file; quoted fields lose their quotes and their doubled inner quotes.
[[nodiscard]] std::vector<std::string> SplitScanRow(const std::string& line);

// Reads a scan file. A last line without its "\n" (a run cut off while writing) is dropped. On a file
// that is not a scan file returns nothing and says why in error.
[[nodiscard]] std::optional<ScanFile> ReadScanFile(const std::string& path, std::string& error);
// The same for the text of a file; path names it in the errors.
[[nodiscard]] std::optional<ScanFile> ReadScanText(std::string_view text, const std::string& path,
                                                   std::string& error);

// The whole text of a scan file.
[[nodiscard]] std::string ScanFileText(const ScanFile& file);

// A scan file that grows as the cells complete. It stands under its name from the start, holding the text
// it starts with, so that a scan stopped in any way leaves a valid file of the rows so far.
class ScanFileWriter {
 public:
  // Writes start (the header, or the rows of an earlier run kept) to a temporary file beside path, then
  // renames it over path, or only to a free name when replacing is refused. Throws FileError (FileExistsError
  // when the name was taken meanwhile), leaving path as it was.
  ScanFileWriter(const std::string& path, const std::string& start, Replacing replacing);
  ~ScanFileWriter();
  ScanFileWriter(const ScanFileWriter&) = delete;
  ScanFileWriter& operator=(const ScanFileWriter&) = delete;

  // Appends the rows of a cell and flushes them. Throws FileError.
  void Append(const std::string& rows);

 private:
  std::string path_;
  std::FILE* file_ = nullptr;
};

}  // namespace pelarin
