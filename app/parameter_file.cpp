#include "app/parameter_file.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <vector>

#include "app/shell.h"
#include "app/study_files.h"
#include "model/calc_error.h"
#include "model/numtext.h"

namespace fs = std::filesystem;

namespace pelarin {
namespace {

constexpr const char* kExponentMask = "#.##E+##";
constexpr const char* kIdealityMask = "#.##";
constexpr std::size_t kLinesRead = 50;
constexpr const char* kLineEnd = "\r\n";

struct FileLine {
  const char* label;
  double Parameters::*value;
  const char* mask;
};

// Line n holds box n - 1 of the form; the masks keep three significant digits, two decimals for m.
constexpr std::array<FileLine, kParameterCount> kLines{{
    {"Rs1=  ", &Parameters::Rs1, kExponentMask},    {"Rp1= ", &Parameters::Rp1, kExponentMask},
    {"Jsc1= ", &Parameters::Jsc1, kExponentMask},   {"Jsd11= ", &Parameters::Jsd11, kExponentMask},
    {"Jsd12= ", &Parameters::Jsd12, kExponentMask}, {"m11= ", &Parameters::m11, kIdealityMask},
    {"m12= ", &Parameters::m12, kIdealityMask},     {"Rs2=  ", &Parameters::Rs2, kExponentMask},
    {"Rp2= ", &Parameters::Rp2, kExponentMask},     {"Jsc2= ", &Parameters::Jsc2, kExponentMask},
    {"Jsd21= ", &Parameters::Jsd21, kExponentMask}, {"Jsd22= ", &Parameters::Jsd22, kExponentMask},
    {"m21= ", &Parameters::m21, kIdealityMask},     {"m22= ", &Parameters::m22, kIdealityMask},
    {"Rs3=  ", &Parameters::Rs3, kExponentMask},    {"Rp3= ", &Parameters::Rp3, kExponentMask},
    {"Jsc3= ", &Parameters::Jsc3, kExponentMask},   {"Jsd31= ", &Parameters::Jsd31, kExponentMask},
    {"Jsd32= ", &Parameters::Jsd32, kExponentMask}, {"m31= ", &Parameters::m31, kIdealityMask},
    {"m32= ", &Parameters::m32, kIdealityMask},     {"Rl1= ", &Parameters::Rl1, kExponentMask},
    {"Rl2= ", &Parameters::Rl2, kExponentMask},     {"Rg1= ", &Parameters::Rg1, kExponentMask},
    {"Rg2= ", &Parameters::Rg2, kExponentMask},     {"Rg3= ", &Parameters::Rg3, kExponentMask},
}};

std::string FileText(const Parameters& par) {
  std::string text;
  for (const FileLine& line : kLines) text += line.label + Format(par.*line.value, line.mask) + kLineEnd;
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
      ui, {.title = "", .filter = kParameterFileFilter, .startDir = CurrentDir(), .fileName = ""});
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
  ui.Form().SetText2(base);
  const std::string path = state.id.baseDir + base + ".plr";
  std::error_code ec;
  if (fs::exists(fs::symlink_status(path, ec)) &&
      !ui.AskYesNo(kOverwriteQuestion, kOverwriteTitle, MessageIcon::Exclamation))
    return;
  ReadParameters(state, ui);
  try {
    WriteTextFileAtomically(path, FileText(state.par));
  } catch (const FileError& e) {
    ui.ShowMessage(std::string("The parameters were not saved: ") + e.what(), "File error",
                   MessageIcon::Critical);
  }
}

void LoadParameters(State& state, Ui& ui) {
  const auto chosen = ChooseFileToOpen(
      ui, {.title = "", .filter = kParameterFileFilter, .startDir = CurrentDir(), .fileName = ""});
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
    form.SetText1(i, static_cast<std::size_t>(i) < values.size() ? values[i] : std::string());
  state.id.loadedDir = state.id.baseDir;
  form.Show();
  form.SetText2(state.id.studyName);
  ReadParameters(state, ui);
}

}  // namespace pelarin
