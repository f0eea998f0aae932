#include "workspace/delete_study.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "workspace/parameter_file.h"
#include "workspace/study_folder.h"

namespace fs = std::filesystem;

namespace pelarin {
namespace {

constexpr const char* kTitle = "Deleting files";
constexpr std::size_t kListedAtMost = 20;

// What could not be removed, one "path: reason" per entry.
using LeftOver = std::vector<std::string>;

bool IsParameterFileName(const std::string& fileName) {
  std::string extension = fs::path(fileName).extension().string();
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return extension == ".plr";
}

// Removes an entry that is not a folder; a link goes, never what it points to. A file marked read-only is
// protected: it stays, and is listed.
bool RemoveEntry(const fs::path& path, const fs::file_status& status, LeftOver& left) {
  if (fs::is_directory(status)) {
    left.push_back(path.string() + ": a folder, left in place");
    return false;
  }
  if (!fs::is_symlink(status) && (status.permissions() & fs::perms::owner_write) == fs::perms::none) {
    left.push_back(path.string() + ": read-only, left in place");
    return false;
  }
  std::error_code ec;
  fs::remove(path, ec);
  if (ec) left.push_back(path.string() + ": " + ec.message());
  return !ec;
}

// Empties the study folder of its own files and removes it. A missing folder (no study was run) is no fault;
// a folder that is a link to another place is not followed.
void RemoveStudyFolder(const fs::path& folder, LeftOver& left) {
  std::error_code ec;
  const fs::file_status status = fs::symlink_status(folder, ec);
  if (!fs::exists(status)) return;
  if (fs::is_symlink(status) || !fs::is_directory(status)) {
    left.push_back(folder.string() + ": not a folder of its own (a link or a file), left in place");
    return;
  }
  const std::size_t before = left.size();
  std::vector<fs::directory_entry> entries;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) entries.push_back(*it);
  if (ec) left.push_back(folder.string() + ": " + ec.message());
  for (const fs::directory_entry& entry : entries) {
    std::error_code statusError;
    RemoveEntry(entry.path(), entry.symlink_status(statusError), left);
  }
  if (left.size() != before) {
    left.push_back(folder.string() + ": still holds what is listed above, left in place");
    return;
  }
  fs::remove(folder, ec);
  if (ec) left.push_back(folder.string() + ": " + ec.message());
}

void Report(Ui& ui, const std::string& heading, const LeftOver& left) {
  std::string text = heading;
  for (std::size_t i = 0; i < left.size() && i < kListedAtMost; ++i) text += "\n" + left[i];
  if (left.size() > kListedAtMost)
    text += "\n... and " + std::to_string(left.size() - kListedAtMost) + " more.";
  ui.ShowMessage(text, kTitle, MessageIcon::Exclamation);
}

}  // namespace

void DeleteStudy(State& state, Ui& ui) {
  const auto chosen = ChooseFileToOpen(
      ui, {.kind = FileKind::ParameterFile, .title = kTitle, .startDir = WorkDir(state.id), .fileName = ""});
  if (!chosen || chosen->empty()) {
    state.id.baseDir.clear();  // the folder part of no path at all
    return;
  }
  const ChosenPath split = SplitChosenPath(*chosen);
  state.id.baseDir = split.folder;
  const std::string name = StudyNameOf(split.fileName);
  if (name.empty()) {
    ui.ShowMessage(
        "Nothing was deleted: the name \"" + split.fileName + "\" has no study name before its first point.",
        kTitle, MessageIcon::Exclamation);
    return;
  }
  state.id.studyDir = state.id.baseDir + name + "_plr";
  // The question names what goes: the study, its parameter file and its folder.
  if (!ui.Ask(Question::DeleteStudy,
              "Study \"" + name + "\": " + name + ".plr and the folder " + name + "_plr with its files"))
    return;

  // The parameter file chosen, or the study's own one when the name was typed with another extension.
  const fs::path parameterFile =
      fs::path(split.folder) / (IsParameterFileName(split.fileName) ? split.fileName : name + ".plr");
  std::error_code ec;
  const fs::file_status status = fs::symlink_status(parameterFile, ec);
  if (!fs::exists(status)) {
    ui.ShowMessage("Nothing was deleted: " + parameterFile.string() + " does not exist.", kTitle,
                   MessageIcon::Exclamation);
    return;
  }
  LeftOver left;
  // The study folder goes only with its parameter file.
  if (!RemoveEntry(parameterFile, status, left)) {
    Report(ui, "Nothing was deleted:", left);
    return;
  }
  RemoveStudyFolder(state.id.studyDir, left);
  if (!left.empty()) {
    Report(ui, "The parameter file was erased, but not all of the study folder:", left);
    return;
  }
  state.id.studyName = "Test";
  ui.Form().SetStudyName("Test");
}

}  // namespace pelarin
