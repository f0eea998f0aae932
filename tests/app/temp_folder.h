// A fixture for tests that touch files: a fresh temporary folder per test, removed afterwards, and the
// working directory put back as it was (the file dialogs move it to the chosen file's folder).
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace pelarin::testing {

inline void Write(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}
[[nodiscard]] inline std::string Read(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}
// Permission bits do not stop the superuser.
[[nodiscard]] inline bool RunningAsRoot() { return ::geteuid() == 0; }

class TempFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    startDir_ = std::filesystem::current_path();
    std::string pattern = (std::filesystem::temp_directory_path() / "pelarin-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir = pattern;
  }
  void TearDown() override {
    std::filesystem::current_path(startDir_);
    // Give back write permission a test took away, so that everything can be removed.
    std::error_code ec;
    for (auto it = std::filesystem::recursive_directory_iterator(dir, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
      if (!it->is_symlink())
        std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(dir, ec);
  }

  // The path of name inside the temporary folder, as a file dialog would return it.
  [[nodiscard]] std::string In(const std::string& name) const { return (dir / name).string(); }

  std::filesystem::path dir;

 private:
  std::filesystem::path startDir_;
};

}  // namespace pelarin::testing
