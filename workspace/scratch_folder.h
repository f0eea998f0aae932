// A private folder of its own in the system's temporary folder, for work that leaves nothing behind: made
// when the object is, removed with everything in it when the object goes.
#pragma once

#include <string>
#include <string_view>

namespace pelarin {

class ScratchFolder {
 public:
  // Makes the folder <temporary folder>/<prefix>XXXXXX; throws FileError saying why it cannot.
  explicit ScratchFolder(std::string_view prefix);
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  [[nodiscard]] const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace pelarin
