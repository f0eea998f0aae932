// Deleting a study: the chosen parameter file and its own study folder go, nothing else; what stays is told.
#include "workspace/delete_study.h"

#include <gtest/gtest.h>

#include "common/fake_ui.h"
#include "common/temp_folder.h"

namespace pelarin {
namespace {

using namespace testing;

class DeleteStudyTest : public TempFolderTest {
 protected:
  DeleteStudyTest() {
    state.id.studyName = "cellA";
    for (const char* file : {"cellA.plr", "cellA.txt", "cellA.old.plr", "cellB.plr"}) Write(dir / file, "p");
    fs::create_directories(dir / "outside" / "sub");
  }
  void StudyFolder() {  // results, a hidden file, and links to places outside
    fs::create_directory(dir / "cellA_plr");
    for (const char* file : {"r_ill.txt", "r_dark.bmp", ".hidden"}) Write(dir / "cellA_plr" / file, "r");
    fs::create_directory_symlink(dir / "outside", dir / "cellA_plr" / "link");
    fs::create_symlink(dir / "cellB.plr", dir / "cellA_plr" / "cellB.plr");
  }
  void Delete(const std::string& chosen, bool answer) {
    ui.fileChoices.push_back(In(chosen));
    ui.answers = {answer};
    DeleteStudy(state, ui);
  }
  State state;
  FakeUi ui;
};

TEST_F(DeleteStudyTest, YesErasesTheParameterFileAndTheStudyFolderOnly) {
  StudyFolder();
  Delete("cellA.plr", false);  // No, then Cancel: nothing happens
  ui.fileChoices.push_back(std::nullopt);
  DeleteStudy(state, ui);
  EXPECT_TRUE(Has("cellA_plr/r_ill.txt") && state.id.studyName == "cellA");
  Delete("cellA.plr", true);
  EXPECT_EQ(ui.dialogs.at(0).title, "Deleting files");
  EXPECT_EQ(FileFilter(ui.dialogs.at(0).kind), "fichiers (*.plr)|*.plr|");
  EXPECT_EQ(ui.questions.at(1).text + ui.questions.at(1).title,
            " ALL the related files will be erased ! Are you SURE ?");
  EXPECT_FALSE(Has("cellA.plr") || Has("cellA_plr"));
  EXPECT_TRUE(Has("cellA.txt") && Has("cellA.old.plr") && Has("cellB.plr") && Has("outside/sub"));
  EXPECT_EQ(state.id.studyName + ui.form.text2 + state.id.studyDir, "TestTest" + In("cellA_plr"));
  EXPECT_TRUE(ui.messages.empty());
}

TEST_F(DeleteStudyTest, WithoutItsParameterFileNothingIsErased) {
  StudyFolder();
  fs::remove(dir / "cellA.plr");
  Delete("cellA.plr", true);
  EXPECT_NE(ui.messages.at(0).text.find(In("cellA.plr")), std::string::npos);
  EXPECT_TRUE(Has("cellA_plr/r_ill.txt") && state.id.studyName == "cellA");
}

// The file erased for a chosen name, and one that stays; no study was run, so there is no study folder.
class ChosenName : public DeleteStudyTest,
                   public ::testing::WithParamInterface<std::array<const char*, 3>> {};
TEST_P(ChosenName, ErasesOnlyThatParameterFile) {
  Delete(GetParam()[0], true);
  EXPECT_TRUE(!Has(GetParam()[1]) && Has(GetParam()[2]));
  EXPECT_EQ(state.id.studyName, "Test");
  EXPECT_TRUE(ui.messages.empty());
}
INSTANTIATE_TEST_SUITE_P(Names, ChosenName,
                         ::testing::Values(std::array{"cellA.txt", "cellA.plr", "cellA.txt"},
                                           std::array{"cellA", "cellA.plr", "cellA.old.plr"},
                                           std::array{"cellA.old.plr", "cellA.old.plr", "cellA.plr"}));

// Read-only files, sub-folders and a study folder that is a link stay and are told; the study keeps its name.
class LeftInPlace : public DeleteStudyTest, public ::testing::WithParamInterface<std::string> {};
TEST_P(LeftInPlace, IsToldAndKept) {
  const fs::path left = dir / GetParam();
  if (GetParam() == "cellA_plr") {
    fs::create_directory_symlink(dir / "outside", left);
  } else {
    StudyFolder();
    if (left.extension() == "") fs::create_directory(left);
    fs::permissions(left, fs::perms::owner_read | fs::perms::owner_exec);
  }
  Delete("cellA.plr", true);
  EXPECT_NE(ui.messages.at(0).text.find(left.string()), std::string::npos) << ui.messages[0].text;
  EXPECT_TRUE(Has(GetParam()) && Has("outside/sub"));
  EXPECT_EQ(Has("cellA_plr/r_ill.txt"), GetParam() == "cellA.plr");  // the folder goes only with its file
  EXPECT_EQ(state.id.studyName, "cellA");
}
INSTANTIATE_TEST_SUITE_P(Cases, LeftInPlace,
                         ::testing::Values("cellA_plr/r_dark.bmp", "cellA_plr/deeper", "cellA_plr",
                                           "cellA.plr"));

}  // namespace
}  // namespace pelarin
