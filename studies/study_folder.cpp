#include "studies/study_folder.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "model/calc_error.h"

namespace fs = std::filesystem;

namespace pelarin {

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
  if (!exists) {
    fs::create_directory(folder, ec);
    if (ec) throw FileError("cannot create the study folder " + folder.string() + ": " + ec.message() + ".");
  }
  id.studyDir = (folder / "").string();
}

}  // namespace pelarin
