#include "workspace/study_folder.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "model/calc_error.h"

namespace fs = std::filesystem;

namespace pelarin {

std::string CurrentDir() {
  std::error_code ec;
  const fs::path cwd = fs::current_path(ec);
  return ec ? std::string(".") : cwd.string();
}

void WriteTextFileAtomically(const std::string& path, const std::string& content) {
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

void MakeStudyFolder(StudyIdentity& id) {
  const std::string folderName = id.studyName + "_plr";
  const fs::path folder = fs::path(id.baseDir) / folderName;
  std::error_code ec;
  bool exists = false;
  for (fs::directory_iterator it(id.baseDir.empty() ? "." : id.baseDir, ec), end; !ec && it != end;
       it.increment(ec)) {
    if (it->path().filename().string() == folderName) {
      exists = true;
      break;
    }
  }
  if (exists && !fs::is_directory(folder, ec))
    throw FileError("cannot use the study folder " + folder.string() +
                    ": a file of that name is in the way.");
  if (!exists) {
    fs::create_directory(folder, ec);
    if (ec) throw FileError("cannot create the study folder " + folder.string() + ": " + ec.message() + ".");
  }
  id.studyDir = (folder / "").string();
}

}  // namespace pelarin
