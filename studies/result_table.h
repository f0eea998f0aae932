// Result tables: a header line of column titles, then one line per point, the numbers written through
// masks and separated by TABs, every line ending in CR LF.
#pragma once

#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace pelarin {

class ResultTable {
 public:
  // Starts the table with its header line (the column titles joined by TABs).
  explicit ResultTable(std::initializer_list<std::string_view> titles)
      : ResultTable(std::span<const std::string_view>(titles.begin(), titles.size())) {}
  explicit ResultTable(std::span<const std::string_view> titles);
  // Appends a line of numbers, each written through its mask.
  void AddRow(std::initializer_list<std::pair<double, std::string_view>> cells);
  // Appends a line of text as it stands (a line that is not a row of numbers).
  void AddLine(std::string_view line);
  [[nodiscard]] const std::string& Text() const { return text_; }
  // Whether any line follows the header.
  [[nodiscard]] bool HasRows() const { return text_.find("\r\n") + 2 < text_.size(); }
  // Writes the table to path through a temporary file (throws FileError).
  void Write(const std::string& path) const;

 private:
  std::string text_;
};

// The tables a study saves together, written as a set: each goes to a temporary first and all then replace
// their names, so a failure part way (a full disk) leaves the old set whole, never new tables beside old.
class TableSet {
 public:
  // Adds a table to the set; a table without a line of numbers (its curve has no point) is never written
  // as if it held one: throws CalcError naming it.
  void Add(const std::string& path, const ResultTable& table);
  // Writes the set (throws FileError naming the file that failed).
  void Write() const;

 private:
  std::vector<std::pair<std::string, std::string>> files_;
};

}  // namespace pelarin
