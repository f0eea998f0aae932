#include "studies/result_table.h"

#include <filesystem>

#include "model/calc_error.h"
#include "model/number_text.h"
#include "workspace/study_folder.h"

namespace pelarin {

ResultTable::ResultTable(std::span<const std::string_view> titles) {
  bool first = true;
  for (std::string_view title : titles) {
    if (!first) text_ += '\t';
    text_ += title;
    first = false;
  }
  text_ += "\r\n";
}

void ResultTable::AddRow(std::initializer_list<std::pair<double, std::string_view>> cells) {
  bool first = true;
  for (const auto& [value, mask] : cells) {
    if (!first) text_ += '\t';
    AppendFormatted(text_, value, mask);
    first = false;
  }
  text_ += "\r\n";
}

void ResultTable::AddLine(std::string_view line) {
  text_ += line;
  text_ += "\r\n";
}

void ResultTable::Write(const std::string& path) const { WriteTextFileAtomically(path, text_); }

void TableSet::Add(const std::string& path, const ResultTable& table) {
  if (!table.HasRows())
    throw CalcError("the table " + std::filesystem::path(path).filename().string() +
                    " would hold its header only: its curve has no point, so the study wrote nothing.");
  files_.emplace_back(path, table.Text());
}

void TableSet::Write() const { WriteFilesAsSet(files_); }

}  // namespace pelarin
