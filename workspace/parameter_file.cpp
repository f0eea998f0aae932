#include "workspace/parameter_file.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <vector>

#include "model/calc_error.h"
#include "model/number_text.h"
#include "model/parameter_table.h"
#include "workspace/read_parameters.h"
#include "workspace/study_folder.h"

namespace fs = std::filesystem;

namespace pelarin {
namespace {

constexpr std::size_t kLinesRead = 50;
constexpr const char* kLineEnd = "\r\n";

std::string FileText(const Parameters& par) {
  std::string text;
  for (const ParameterRow& row : kParameterRows)
    text += std::string(row.fileLabel) + Format(par.*row.member, row.fileMask) + kLineEnd;
  return text;
}

// A line's value: the text after its first "=" (all of it without one), every comma turned into a point,
// leading blanks removed. Labels are not checked: values are taken by position.
std::string ValueOf(const std::string& line) {
  const auto equals = line.find('=');
  std::string value = equals == std::string::npos ? line : line.substr(equals + 1);
  ConvertAll(value);
  const auto firstKept = value.find_first_not_of(' ');
  value.erase(0, firstKept == std::string::npos ? value.size() : firstKept);
  return value;
}

// Reads the values of the first 50 lines of path (CR LF, LF or CR ends a line). Throws FileError naming
// the file and the reason when it cannot be read or holds nothing.
std::vector<std::string> ReadValues(const fs::path& path) {
  const std::string name = path.string();
  std::error_code ec;
  const fs::file_status status = fs::status(path, ec);
  if (!fs::exists(status)) throw FileError("cannot read " + name + ": the file does not exist.");
  if (fs::is_directory(status)) throw FileError("cannot read " + name + ": it is a folder, not a file.");
  errno = 0;
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    const std::string reason = errno != 0 ? std::strerror(errno) : "it cannot be opened";
    throw FileError("cannot read " + name + ": " + reason + ".");
  }
  std::vector<std::string> values;
  std::string line;
  std::streambuf& buffer = *in.rdbuf();
  for (int c = buffer.sbumpc(); c != std::char_traits<char>::eof() && values.size() < kLinesRead;
       c = buffer.sbumpc()) {
    if (c == '\r' || c == '\n') {
      if (c == '\r' && buffer.sgetc() == '\n') buffer.sbumpc();
      values.push_back(ValueOf(line));
      line.clear();
    } else {
      line += static_cast<char>(c);
    }
  }
  if (!line.empty() && values.size() < kLinesRead) values.push_back(ValueOf(line));
  if (in.bad()) throw FileError("cannot read " + name + ": reading failed.");
  if (values.empty()) throw FileError("cannot read " + name + ": the file is empty.");
  return values;
}

}  // namespace

ChosenPath SplitChosenPath(const std::string& path) {
  const fs::path full(path);
  return {(full.parent_path() / "").string(), full.filename().string()};
}

std::string StudyNameOf(const std::string& fileName) { return fileName.substr(0, fileName.find('.')); }

void SaveParameters(State& state, Ui& ui) {
  const auto chosen = ChooseFileToSave(
      ui, {.kind = FileKind::ParameterFile, .title = "", .startDir = CurrentDir(), .fileName = ""});
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
  ReadParameters(state, ui);
  try {
    WriteTextFileAtomically(path, FileText(state.par));
    ui.FilesSaved({path});
  } catch (const FileError& e) {
    ui.ShowMessage(std::string("The parameters were not saved: ") + e.what(), "File error",
                   MessageIcon::Critical);
  }
}

void LoadParameters(State& state, Ui& ui) {
  const auto chosen = ChooseFileToOpen(
      ui, {.kind = FileKind::ParameterFile, .title = "", .startDir = CurrentDir(), .fileName = ""});
  if (!chosen || chosen->empty()) {
    state.id.baseDir.clear();  // the folder part of no path at all
    return;
  }
  const ChosenPath split = SplitChosenPath(*chosen);
  const std::string name = StudyNameOf(split.fileName);
  std::vector<std::string> values;
  try {
    if (name.empty())
      throw FileError("cannot open " + *chosen + ": its name has no study name before its first point.");
    values = ReadValues(split.folder + split.fileName);
  } catch (const FileError& e) {
    // The file is read whole before anything changes, so a failure leaves the study as it was.
    ui.ShowMessage(std::string("The parameter file was not opened: ") + e.what(), "File error",
                   MessageIcon::Critical);
    return;
  }
  state.id.baseDir = split.folder;
  state.id.studyName = name;
  ParameterForm& form = ui.Form();
  // A file of fewer than 26 lines leaves the remaining boxes empty; lines after the 26th are ignored.
  for (int i = 0; i < kParameterCount; ++i)
    form.SetBoxText(i, static_cast<std::size_t>(i) < values.size() ? values[i] : std::string());
  state.id.loadedDir = state.id.baseDir;
  form.Show();
  form.SetStudyName(state.id.studyName);
  ReadParameters(state, ui);
}

}  // namespace pelarin
