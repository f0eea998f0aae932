// The sentence that tells where the files just written went: the status line of the window.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace pelarin {

// "Saved <path>" for one file; "Saved 2 files in <folder>: a.txt, b.txt" for files of one folder; the full
// paths otherwise. Empty for no file.
[[nodiscard]] inline std::string SavedFilesText(const std::vector<std::string>& paths) {
  if (paths.empty()) return {};
  if (paths.size() == 1) return "Saved " + paths.front();
  const std::filesystem::path folder = std::filesystem::path(paths.front()).parent_path();
  bool oneFolder = true;
  for (const std::string& path : paths)
    oneFolder = oneFolder && std::filesystem::path(path).parent_path() == folder;
  std::string text = "Saved " + std::to_string(paths.size()) + " files";
  if (oneFolder) text += " in " + folder.string();
  text += ": ";
  for (std::size_t i = 0; i < paths.size(); ++i) {
    if (i > 0) text += ", ";
    text += oneFolder ? std::filesystem::path(paths[i]).filename().string() : paths[i];
  }
  return text;
}

}  // namespace pelarin
