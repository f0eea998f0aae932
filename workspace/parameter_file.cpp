#include "workspace/parameter_file.h"

#include <array>
#include <filesystem>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "model/calc_error.h"
#include "model/number_text.h"
#include "model/parameter_table.h"
#include "workspace/read_parameters.h"
#include "workspace/study_folder.h"

namespace fs = std::filesystem;

namespace pelarin {
namespace {

constexpr const char* kLineEnd = "\r\n";
// Far more than the lines of any parameter file; a larger file is no parameter file.
constexpr std::size_t kLargestFile = 1 << 20;
constexpr std::size_t kQuotedAtMost = 40;

// A line as a message quotes it: at most kQuotedAtMost characters, each byte that is no printable ASCII
// character shown as "?".
std::string Quoted(std::string_view text) {
  std::string quoted = "\"";
  for (const char c : text.substr(0, kQuotedAtMost)) quoted += c >= ' ' && c < '\x7f' ? c : '?';
  return quoted + (text.size() > kQuotedAtMost ? "...\"" : "\"");
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// A label as it is compared: without blanks, in lower case.
std::string Comparable(std::string_view label) {
  std::string kept;
  for (const char c : label)
    if (!IsBlank(c)) kept += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return kept;
}

// The lines of text: CR LF, LF or CR ends a line; a last line without an end counts when it holds anything.
std::vector<std::string_view> LinesOf(std::string_view text, std::size_t atMost) {
  std::vector<std::string_view> lines;
  std::size_t start = 0;
  while (start < text.size() && lines.size() < atMost) {
    const auto end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) {
      lines.push_back(text.substr(start));
      break;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n' ? 2 : 1);
  }
  return lines;
}

// Why line n (1-based) is no line of its parameter, or empty; value receives the line's value text.
std::string CheckLine(std::string_view line, const ParameterRow& row, int n, std::string& value) {
  const std::string where = "line " + std::to_string(n);
  const auto equals = line.find('=');
  if (equals == std::string_view::npos) return where + " has no \"=\": " + Quoted(line);
  const std::string expected = Comparable(row.fileLabel.substr(0, row.fileLabel.find('=')));
  if (Comparable(line.substr(0, equals)) != expected)
    return where + " is " + Quoted(line) + ", where the line of " + std::string(row.name) + " belongs";
  value = line.substr(equals + 1);
  ConvertAll(value);
  const auto first = value.find_first_not_of(" \t");
  const auto last = value.find_last_not_of(" \t");
  value = first == std::string::npos ? std::string() : value.substr(first, last - first + 1);
  switch (ReadWholeNumber(value).kind) {
    case NumberKind::Number:
      return "";
    case NumberKind::Empty:
      return where + " has no value for " + std::string(row.name);
    case NumberKind::NotANumber:
      return where + " gives " + std::string(row.name) + " " + Quoted(value) + ", which is not a number";
    case NumberKind::TooLarge:
      return where + " gives " + std::string(row.name) + " " + Quoted(value) + ", beyond the largest number";
  }
  return "";
}

}  // namespace

std::string ParameterFileText(const Parameters& par) {
  std::string text;
  const Parameters defaults;
  for (const ParameterRow& row : kParameterRows) {
    const double value = par.*row.member;
    if (!row.OptionalFileLine()) {
      text += std::string(row.fileLabel) + FormatKeepingDigits(value, row.fileMask) + kLineEnd;
    } else if (value != defaults.*row.member) {
      text += std::string(row.fileLabel) + ShortestText(value) + kLineEnd;
    }
  }
  return text;
}

ParameterFileReading ReadParameterText(std::string_view text) {
  ParameterFileReading reading;
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);  // the mark some editors put first
  const auto lines = LinesOf(text, kLargestFile);
  const auto fail = [&reading](std::size_t n, std::string problem) {
    reading.badLine = static_cast<int>(n) + 1;
    reading.problem = std::move(problem);
    return reading;
  };
  for (int i = 0; i < kCellParameterCount; ++i) {
    const auto n = static_cast<std::size_t>(i);
    if (n >= lines.size())
      return fail(n, lines.empty() ? "the file is empty"
                                   : "it has only " + std::to_string(lines.size()) +
                                         (lines.size() == 1 ? " line" : " lines") + ", not 26");
    std::string problem = CheckLine(lines[n], kParameterRows[n], i + 1, reading.values[n]);
    if (!problem.empty()) return fail(n, std::move(problem));
  }
  // After the 26, one line for each condition that is not the default, in any order. Lines without "=" are
  // notes: files edited by hand have always been able to carry them.
  std::array<bool, kParameterCount> given{};
  for (std::size_t n = kCellParameterCount; n < lines.size(); ++n) {
    const std::string_view line = lines[n];
    const std::string where = "line " + std::to_string(n + 1);
    const auto equals = line.find('=');
    if (equals == std::string_view::npos) continue;  // a note written by hand, as files have always allowed
    const std::string label = Comparable(line.substr(0, equals));
    std::size_t row = kCellParameterCount;
    while (row < kParameterRows.size() && Comparable(kParameterRows[row].fileLabel.substr(
                                              0, kParameterRows[row].fileLabel.find('='))) != label)
      ++row;
    if (row == kParameterRows.size()) {
      std::string problem = where + " is " + Quoted(line) +
                            ", which is no line of an operating condition or of the coupling physics (";
      for (std::size_t r = kCellParameterCount; r < kParameterRows.size(); ++r)
        problem.append(kParameterRows[r].name).append(", ");
      return fail(n, problem + "as \"T= 80\")");
    }
    if (given[row])
      return fail(n, where + " gives " + std::string(kParameterRows[row].name) + " a second time");
    given[row] = true;
    std::string problem = CheckLine(line, kParameterRows[row], static_cast<int>(n) + 1, reading.values[row]);
    if (!problem.empty()) return fail(n, std::move(problem));
  }
  for (std::size_t row = kCellParameterCount; row < kParameterRows.size(); ++row)
    if (!given[row]) reading.values[row] = kParameterRows[row].defaultText;
  return reading;
}

ChosenPath SplitChosenPath(const std::string& path) {
  const fs::path full(path);
  return {(full.parent_path() / "").string(), full.filename().string()};
}

std::string StudyNameOf(const std::string& fileName) { return fileName.substr(0, fileName.find('.')); }

void SaveParameters(State& state, Ui& ui) {
  // A form that holds no cell is refused before a name is asked for.
  ReadParameters(state, ui);
  const auto chosen = ChooseFileToSave(
      ui, {.kind = FileKind::ParameterFile, .title = "", .startDir = WorkDir(state.id), .fileName = ""});
  if (!chosen || chosen->empty()) return;  // cancelled: nothing changes, nothing is said
  const ChosenPath split = SplitChosenPath(*chosen);
  state.id.baseDir = split.folder;
  // Any extension typed is replaced by ".plr"; a name typed without a point is saved as it stands + ".plr".
  const std::string base = StudyNameOf(split.fileName);
  if (base.empty()) {
    ui.ShowMessage(
        "Nothing was saved: the name \"" + split.fileName + "\" has no study name before its first point.",
        "File error", MessageIcon::Exclamation);
    return;
  }
  // The study takes its new name before the overwrite question, and keeps it whatever the answer.
  state.id.studyName = base;
  ui.Form().SetStudyName(base);
  const std::string path = state.id.baseDir + base + ".plr";
  std::error_code ec;
  if (fs::exists(fs::symlink_status(path, ec)) && !ui.Ask(Question::OverwriteParameters)) return;
  try {
    WriteTextFileAtomically(path, ParameterFileText(state.formValues));
    ui.FilesSaved({path});
  } catch (const FileError& e) {
    ui.ShowMessage(std::string("The parameters were not saved: ") + e.what(), "File error",
                   MessageIcon::Critical);
  }
}

void LoadParameters(State& state, Ui& ui) {
  const auto chosen = ChooseFileToOpen(
      ui, {.kind = FileKind::ParameterFile, .title = "", .startDir = WorkDir(state.id), .fileName = ""});
  if (!chosen || chosen->empty()) {
    state.id.baseDir.clear();  // the folder part of no path at all
    return;
  }
  const ChosenPath split = SplitChosenPath(*chosen);
  const std::string name = StudyNameOf(split.fileName);
  const std::string path = split.folder + split.fileName;
  ParameterFileReading reading;
  try {
    if (name.empty())
      throw FileError("cannot open " + *chosen + ": its name has no study name before its first point.");
    const FileStart file = ReadFileStart(path, kLargestFile);
    if (!file.whole) throw FileError(path + " is too large to be a parameter file.");
    reading = ReadParameterText(file.bytes);
    if (reading.badLine != 0) throw FileError(path + " is not a parameter file: " + reading.problem + ".");
  } catch (const FileError& e) {
    // The file is read whole before anything changes, so a failure leaves the study as it was.
    ui.ShowMessage(std::string("The parameter file was not opened: ") + e.what(), "File error",
                   MessageIcon::Critical);
    return;
  }
  state.id.baseDir = split.folder;
  state.id.studyName = name;
  ParameterForm& form = ui.Form();
  for (int i = 0; i < kParameterCount; ++i) form.SetBoxText(i, reading.values[static_cast<std::size_t>(i)]);
  state.id.loadedDir = state.id.baseDir;
  form.Show();
  form.SetStudyName(state.id.studyName);
  // A value no cell can have is marked in its box; the study that needs it says so.
  static_cast<void>(ReadParameterForm(state, ui));
}

}  // namespace pelarin
