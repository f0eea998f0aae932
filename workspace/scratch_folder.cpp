#include "workspace/scratch_folder.h"

#include <stdlib.h>  // mkdtemp

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "model/calc_error.h"

namespace fs = std::filesystem;

namespace pelarin {

ScratchFolder::ScratchFolder(std::string_view prefix) {
  std::error_code ec;
  std::string pattern = (fs::temp_directory_path(ec) / (std::string(prefix) + "XXXXXX")).string();
  if (::mkdtemp(pattern.data()) == nullptr)
    throw FileError("cannot make a folder in " + fs::path(pattern).parent_path().string() + ": " +
                    std::strerror(errno));
  path_ = pattern;
}

ScratchFolder::~ScratchFolder() {
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

}  // namespace pelarin
