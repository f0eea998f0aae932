// The study folder: where a study writes its tables and where plot images are saved; and the two file
// helpers that the shell shares with the studies (defined here, inline, so that the shell's library, which
// the studies' library builds on, needs nothing from the studies' library).
#pragma once

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

#include "model/calc_error.h"
#include "model/state.h"

namespace pelarin {

// From baseDir: creates baseDir/<studyName>_plr unless an entry of that exact name exists, then sets
// studyDir to that folder with a final separator. Throws FileError when the folder cannot be created.
void MakeStudyFolder(StudyIdentity& id);

// The process's current working directory.
[[nodiscard]] inline std::string CurrentDir() {
  std::error_code ec;
  const std::filesystem::path cwd = std::filesystem::current_path(ec);
  return ec ? std::string(".") : cwd.string();
}

// Writes content to path through a temporary file in the same folder that then
// replaces path, so a failure never leaves a half-written file where a good one stood. Throws FileError.
inline void WriteTextFileAtomically(const std::string& path, const std::string& content) {
  namespace fs = std::filesystem;
  const fs::path target(path);
  fs::path temp = target;
  temp += ".tmp~";
  const auto reason = [](const char* guess) {
    return std::string(errno != 0 ? std::strerror(errno) : guess);
  };
  {
    errno = 0;
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    if (!out)
      throw FileError("cannot write " + path + ": " + reason("the folder is missing or not writable") + ".");
    out << content;
    out.flush();
    if (!out) {
      const std::string why = reason("writing failed");
      out.close();
      std::error_code ignored;
      fs::remove(temp, ignored);
      throw FileError("cannot write " + path + ": " + why + ".");
    }
  }
  std::error_code ec;
  fs::rename(temp, target, ec);
  if (ec) {
    std::error_code ignored;
    fs::remove(temp, ignored);
    throw FileError("cannot replace " + path + ": " + ec.message() + ".");
  }
}

}  // namespace pelarin
