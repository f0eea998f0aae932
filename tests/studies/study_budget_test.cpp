// Every study ends in bounded time: the searches' work counts against a budget set when the study reads
// the form, and a study that would run on and on (a coupled iteration that never settles on an extreme
// cell) ends with a calculation error naming the search it was in, while the ordinary studies keep far
// below the budget and their tables stay as they were (the golden tables check that).
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "common/declining_ui.h"
#include "common/temp_folder.h"
#include "model/calc_error.h"
#include "model/parameter_table.h"
#include "studies/coupled_studies.h"
#include "studies/studies.h"
#include "workspace/read_parameters.h"

namespace pelarin {
namespace {

namespace fs = std::filesystem;

class StudyBudgetTest : public testing::TempFolderTest {
 protected:
  void SetUp() override {
    TempFolderTest::SetUp();
    fs::current_path(dir);
  }
  static std::string Run(void (*study)(State&, Ui&),
                         const std::vector<std::pair<const char*, const char*>>& boxes, std::uint64_t budget,
                         std::uint64_t* work = nullptr) {
    testing::DecliningUi ui;
    for (const auto& [name, text] : boxes) ui.form.SetBoxText(ParameterIndex(name), text);
    State state;
    ResetStartUpConstants(state);
    state.ws.workBudget = budget;
    try {
      study(state, ui);
    } catch (const CalcError& e) {
      return e.what();
    }
    if (work) *work = state.ws.work;
    return "";
  }
};

TEST_F(StudyBudgetTest, AStudyThatWouldNotEndStopsNamingItsSearch) {
  // The default coupled study needs a few million evaluations: a budget of half a million stops it.
  std::uint64_t work = 0;
  EXPECT_EQ(Run(StudyWithRl, {}, State().ws.workBudget, &work), "");
  EXPECT_GT(work, std::uint64_t{8} * 500'000);
  EXPECT_LT(work, State().ws.workBudget / 20) << "the default study keeps far below its budget";
  const std::string stopped = Run(StudyWithRl, {}, std::uint64_t{8} * 500'000);
  EXPECT_NE(stopped.find("the study has done the work of 0 million evaluations"), std::string::npos)
      << stopped;
  EXPECT_TRUE(stopped.starts_with("CalcV") || stopped.starts_with("CalcCoupled")) << stopped;

  // A cell on which the coupled iteration never settles (it ran for ever): stopped within seconds.
  const auto start = std::chrono::steady_clock::now();
  const std::string endless = Run(StudyTwoWithRl,
                                  {{"m12", "50"},
                                   {"Rp2", "1e300"},
                                   {"Jsd21", "1e-300"},
                                   {"Jsd22", "1e-40"},
                                   {"m22", "1e-3"},
                                   {"Rs3", "1e-9"},
                                   {"Jsc3", "1e300"},
                                   {"Jsd31", "1e-300"},
                                   {"m32", "1e-3"},
                                   {"Rg1", "1e14"},
                                   {"Rg2", "10"}},
                                  State().ws.workBudget);
  EXPECT_NE(endless.find("without ending; it is stopped"), std::string::npos) << endless;
  EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 120)
      << "bounded even in a sanitizer build";
}

}  // namespace
}  // namespace pelarin
