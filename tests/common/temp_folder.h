// Tests that touch files work in a fresh temporary folder, removed afterwards, and get the working directory
// back as it was (the file dialogs move it to the chosen file's folder).
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace pelarin::testing {

namespace fs = std::filesystem;

inline void Write(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}
inline std::string Read(const fs::path& path) {
  return (std::ostringstream() << std::ifstream(path).rdbuf()).str();
}
inline bool RunningAsRoot() { return ::geteuid() == 0; }  // permission bits do not stop the superuser

class TempFolderTest : public ::testing::Test {
 protected:
  TempFolderTest() {
    std::string pattern = (fs::temp_directory_path() / "pelarin-XXXXXX").string();
    dir = ::mkdtemp(pattern.data()) ? pattern : throw std::runtime_error("no temporary folder");
  }
  ~TempFolderTest() override {
    std::error_code ec;
    fs::current_path(startDir_, ec);
    fs::remove_all(dir, ec);
  }
  [[nodiscard]] std::string In(const std::string& name) const { return (dir / name).string(); }
  [[nodiscard]] bool Has(const std::string& name) const { return fs::exists(fs::symlink_status(dir / name)); }

 private:
  const fs::path startDir_ = fs::current_path();

 protected:
  fs::path dir;
};

}  // namespace pelarin::testing
