#include "app/scan_file.h"

#include <cerrno>
#include <charconv>
#include <cstring>

#include "model/calc_error.h"
#include "workspace/study_folder.h"

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

std::vector<std::string> SplitScanRow(const std::string& line) {
  std::vector<std::string> fields(1);
  bool quoted = false;
  for (std::size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (quoted) {
      if (c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
        fields.back() += '"';
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        fields.back() += c;
      }
    } else if (c == '"') {
      quoted = true;
    } else if (c == ',') {
      fields.emplace_back();
    } else {
      fields.back() += c;
    }
  }
  return fields;
}

std::optional<ScanFile> ReadScanFile(const std::string& path, std::string& error) {
  constexpr std::size_t kLongestLine = 1 << 20;  // a row of a scan is some hundred bytes
  try {
    return ReadScanText(ReadFileStart(path, static_cast<std::size_t>(-1), kLongestLine).bytes, path, error);
  } catch (const FileError& e) {
    error = e.what();
    if (!error.empty() && error.back() == '.') error.pop_back();
    return std::nullopt;
  }
}

std::optional<ScanFile> ReadScanText(std::string_view text, const std::string& path, std::string& error) {
  ScanFile file;
  std::size_t start = 0;
  for (std::size_t lineNumber = 1;; ++lineNumber) {
    const auto end = text.find('\n', start);
    if (end == std::string::npos) break;  // nothing more, or a line cut off while it was written
    const std::string_view line(text.data() + start, end - start);
    if (file.header.empty() && line.starts_with("#")) {
      file.notes.emplace_back(line);
    } else if (file.header.empty()) {
      if (!line.starts_with("cell,cells,")) {
        error =
            path + " is not a scan file (its first line after the notes does not start with \"cell,cells,\")";
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
  std::string text;
  for (const std::string& note : file.notes) text += note + "\n";
  text += file.header + "\n";
  for (const ScanCell& cell : file.cells) text += cell.rows;
  return text;
}

ScanFileWriter::ScanFileWriter(const std::string& path, const std::string& start, Replacing replacing)
    : path_(path) {
  const std::string temporary = CreateTemporaryBeside(path);
  errno = 0;
  file_ = std::fopen(temporary.c_str(), "wb");
  if (!file_ || std::fwrite(start.data(), 1, start.size(), file_) != start.size() ||
      std::fflush(file_) != 0) {
    // Named as the file the user asked for, with the reason (a full disk): the temporary goes, path stays.
    const int error = errno;
    if (file_) std::fclose(file_);
    file_ = nullptr;
    std::remove(temporary.c_str());
    throw FileError("cannot write " + path + (error != 0 ? ": " + std::string(std::strerror(error)) : "") +
                    ".");
  }
  try {
    ReplaceWithTemporary(temporary, path, replacing);
  } catch (const FileError&) {
    std::fclose(file_);
    file_ = nullptr;
    throw;
  }
}

ScanFileWriter::~ScanFileWriter() {
  if (file_) std::fclose(file_);
}

void ScanFileWriter::Append(const std::string& rows) {
  errno = 0;
  if (std::fwrite(rows.data(), 1, rows.size(), file_) != rows.size() || std::fflush(file_) != 0) {
    // The reason, such as "No space left on device": the rows before these stay in the file.
    const int error = errno;
    throw FileError("cannot write " + path_ + (error != 0 ? ": " + std::string(std::strerror(error)) : "") +
                    " (the rows before stay; --resume goes on from them)");
  }
}

}  // namespace pelarin
