// Each study names its files before it computes (the batch tool refuses there when one is in the way): the
// files it then writes on Yes are exactly those it named, with a dark junction too.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <utility>

#include "common/fake_ui.h"
#include "common/temp_folder.h"
#include "studies/study_registry.h"
#include "workspace/read_parameters.h"

namespace pelarin {
namespace {

using namespace testing;

// Yes to saving and to replacing, no measured data, and the parameter file saved as Test.plr.
class SavingUi : public FakeUi {
 public:
  explicit SavingUi(std::string parameterFile)
      : FakeUi(StudyMenuEntries()), file_(std::move(parameterFile)) {}
  using Ui::Ask;
  bool Ask(Question question, const std::string&) override {
    return question != Question::ShowExperimentalData;
  }
  std::optional<std::string> SaveFileDialog(const FileDialogRequest&) override { return file_; }

 private:
  std::string file_;
};

struct Case {
  const char* study;
  const char* darkBox;  // a photocurrent typed as 0, or nullptr
};
void PrintTo(const Case& c, std::ostream* os) {
  *os << c.study << (c.darkBox ? " dark " : "") << (c.darkBox ? c.darkBox : "");
}

class StudyFilesTest : public TempFolderTest, public ::testing::WithParamInterface<Case> {};

TEST_P(StudyFilesTest, WritesExactlyTheFilesItNamedBeforeComputing) {
  fs::current_path(dir);
  State state;
  ResetStartUpConstants(state);
  SavingUi ui(In("Test.plr"));
  if (GetParam().darkBox) ui.form.boxes[ParameterIndex(GetParam().darkBox)] = "0";
  FindStudy(GetParam().study)->run(state, ui);
  ASSERT_EQ(ui.planned.size(), 1u) << "one list, from the study itself and not its sub-steps";
  std::set<std::string> named(ui.planned[0].tables.begin(), ui.planned[0].tables.end());
  if (ui.planned[0].parameterFile) named.insert(In("Test.plr"));
  std::set<std::string> written;
  for (const auto& entry : fs::recursive_directory_iterator(dir))
    if (entry.is_regular_file()) written.insert(entry.path().string());
  EXPECT_EQ(written, named);
  EXPECT_FALSE(named.empty());
  for (const std::string& image : ui.planned[0].images) {
    EXPECT_EQ(fs::path(image).parent_path(), dir / "Test_plr") << image;
    EXPECT_TRUE(image.ends_with("_ill.bmp") || image.ends_with("_dark.bmp")) << image;
  }
}

INSTANTIATE_TEST_SUITE_P(Studies, StudyFilesTest,
                         ::testing::Values(Case{"independent", nullptr}, Case{"independent", "Jsc2"},
                                           Case{"all", nullptr}, Case{"all-rl", nullptr},
                                           Case{"two", nullptr}, Case{"one", nullptr}, Case{"one", "Jsc1"},
                                           Case{"two-rl", nullptr}, Case{"one-rl", nullptr},
                                           Case{"eqe-ill", nullptr}, Case{"eqe-dark", nullptr},
                                           Case{"eqe-12", nullptr}, Case{"eqe-13", "Jsc1"},
                                           Case{"eqe-23", nullptr}),
                         [](const auto& info) {
                           std::string name = std::string(info.param.study) +
                                              (info.param.darkBox ? "_dark_" : "") +
                                              (info.param.darkBox ? info.param.darkBox : "");
                           std::replace(name.begin(), name.end(), '-', '_');
                           return name;
                         });

}  // namespace
}  // namespace pelarin
