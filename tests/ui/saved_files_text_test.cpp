// The status line after saving names the folder once and the files in it.
#include "ui/saved_files_text.h"

#include <gtest/gtest.h>

namespace pelarin {
namespace {

TEST(SavedFilesTextTest, NamesTheFolderOnceForFilesOfOneFolder) {
  EXPECT_EQ(SavedFilesText({}), "");
  EXPECT_EQ(SavedFilesText({"/data/cellA.plr"}), "Saved /data/cellA.plr");
  EXPECT_EQ(SavedFilesText({"/data/Test_plr/Test_J(V)_AllJunctions.txt",
                            "/data/Test_plr/Test_J(V)_AllJunctions_dark.txt"}),
            "Saved 2 files in /data/Test_plr: Test_J(V)_AllJunctions.txt, Test_J(V)_AllJunctions_dark.txt");
  EXPECT_EQ(SavedFilesText({"/a/x.txt", "/b/y.txt"}), "Saved 2 files: /a/x.txt, /b/y.txt");
}

}  // namespace
}  // namespace pelarin
