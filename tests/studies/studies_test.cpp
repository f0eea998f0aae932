// The studies without coupling resistances, run with the real solvers through the scripted interface.
#include "studies/studies.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "common/fake_ui.h"
#include "common/table_reading.h"
#include "common/temp_folder.h"
#include "model/calc_error.h"
#include "model/number_text.h"
#include "model/parameter_table.h"
#include "plot/surface.h"
#include "studies/experimental_data.h"
#include "workspace/read_parameters.h"

namespace pelarin {
namespace {

namespace fs = std::filesystem;
using testing::Column;
using testing::CountCircles;
using testing::FakeUi;
using testing::Lines;
using testing::Read;
using testing::TempFolderTest;
using testing::Write;

class StudyTest : public TempFolderTest {
 protected:
  void SetUp() override {
    TempFolderTest::SetUp();
    fs::current_path(dir);
    ResetStartUpConstants(state);
  }
  State state;
  FakeUi ui;
};

// ---- Independent junctions ----

TEST_F(StudyTest, IndependentDefaultsDrawSixCurvesAndWriteSixTables) {
  ui.answers = {true};                 // save the data
  ui.fileChoices = {In("cellA.plr")};  // the parameter file
  IndependentStudy(state, ui);

  EXPECT_EQ(state.id.studyName, "cellA");
  EXPECT_EQ(state.id.studyLabel, "Test_All junctions_independent");
  EXPECT_TRUE(fs::exists(dir / "cellA.plr"));
  const fs::path folder = dir / "Test_plr";  // the folder of the name the run started with
  const Colour lit[] = {Rgb(255, 0, 0), Rgb(0, 255, 0), Rgb(0, 0, 255)};
  const Colour dark[] = {Rgb(128, 0, 0), Rgb(0, 128, 0), Rgb(0, 0, 128)};
  for (int j = 1; j <= 3; ++j) {
    const std::string d = std::to_string(j);
    const auto ill = Lines(Read(folder / ("cellA_J(V)_#" + d + ".txt")));
    const auto drk = Lines(Read(folder / ("cellA_J(V)_#" + d + "_dark.txt")));
    ASSERT_GT(ill.size(), 100u);
    EXPECT_EQ(ill[0], "V (V)    \tCurrent (A/cm2)");
    EXPECT_EQ(drk[0], "V (V)    \tCurrent (A/cm2)");
    ASSERT_EQ(drk.size(), 1001u);
    EXPECT_EQ(state.id.illumFiles[j], (folder / ("cellA_J(V)_#" + d + ".txt")).string());
    // The lit curve starts at -0.498 V and ends with a positive current below the open-circuit voltage.
    const auto v = Column(ill, 0), jj = Column(ill, 1);
    EXPECT_NEAR(v.front(), -0.498, 1e-9);
    EXPECT_GT(jj.back(), 0);
    EXPECT_LT(jj.back(), jj.front());
    EXPECT_EQ(CountCircles(ui.linlin, lit[j - 1]), ill.size() - 1);
    // The dark point at 0 V is written as 0 and left out of the plot.
    const auto dv = Column(drk, 0), dj = Column(drk, 1);
    EXPECT_NEAR(dv.front(), -0.996, 1e-9);
    EXPECT_NEAR(dv.back(), 3.0, 1e-9);
    EXPECT_EQ(dj[249], 0.0);
    EXPECT_NEAR(dv[249], 0.0, 1e-12);
    EXPECT_EQ(CountCircles(ui.linlog, dark[j - 1]), 999u);
    for (std::size_t k = 0; k < dj.size(); ++k)
      if (k != 249) {
        EXPECT_GT(dj[k], 0) << "dark point " << k + 1 << " of junction " << j;
      }
  }
  EXPECT_EQ(ui.questions[0].text, "     Do you want to save the data ?");
  EXPECT_EQ(ui.questions[0].title, "     **  Recording  **");
  EXPECT_EQ(ui.linlin.caption, "Test                    J(V) Junction Illuminated [J (A/cm2) vs V (V)]");
  EXPECT_EQ(ui.linlog.caption, "Test                    J(V) Junction Dark [J (A/cm2) vs V (V)]");
  EXPECT_EQ(ui.form.showCount, 1);
}

TEST_F(StudyTest, IndependentSkipsADarkJunctionEntirely) {
  ui.form.boxes[9] = "0";  // Jsc2
  ui.answers = {true};
  ui.fileChoices = {std::nullopt};  // cancelling the parameter file does not stop the tables
  IndependentStudy(state, ui);
  const fs::path folder = dir / "Test_plr";
  EXPECT_TRUE(fs::exists(folder / "Test_J(V)_#1.txt"));
  EXPECT_TRUE(fs::exists(folder / "Test_J(V)_#3_dark.txt"));
  EXPECT_FALSE(fs::exists(folder / "Test_J(V)_#2.txt"));
  EXPECT_FALSE(fs::exists(folder / "Test_J(V)_#2_dark.txt"));
  EXPECT_EQ(CountCircles(ui.linlin, Rgb(0, 255, 0)), 0u);
  EXPECT_EQ(CountCircles(ui.linlog, Rgb(0, 128, 0)), 0u);
  EXPECT_TRUE(state.id.illumFiles[2].empty());
}

TEST_F(StudyTest, IndependentWithNoLitJunctionIsRefusedAndDrawsNothing) {
  ui.form.boxes[2] = ui.form.boxes[9] = ui.form.boxes[16] = "0";
  try {
    IndependentStudy(state, ui);
    ADD_FAILURE() << "a study with nothing to compute must be refused";
  } catch (const InputError& e) {
    EXPECT_NE(std::string(e.what()).find("no junction is illuminated"), std::string::npos);
  }
  EXPECT_FALSE(fs::exists(dir / "Test_plr"));
  EXPECT_TRUE(ui.linlin.surface.Ops().empty());
  EXPECT_FALSE(ui.linlin.visible);
  EXPECT_TRUE(ui.questions.empty());
}

TEST_F(StudyTest, IndependentDeclinedSaveWritesNoTable) {
  ui.answers = {false};
  IndependentStudy(state, ui);
  EXPECT_TRUE(fs::is_empty(dir / "Test_plr"));
  EXPECT_EQ(ui.form.showCount, 1);
}

// ---- All junctions ----

TEST_F(StudyTest, AllJunctionsWritesBothTablesInTheirRowOrder) {
  ui.answers = {false, true};  // no experimental data; save
  StudyAllJunctions(state, ui);
  const fs::path folder = dir / "Test_plr";
  const auto lit = Lines(Read(folder / "Test_J(V)_AllJunctions.txt"));
  const auto dark = Lines(Read(folder / "Test_J(V)_AllJunctions_dark.txt"));
  const std::string header = "V (V)     \tCurrent (A/cm2)\tV1 (V)    \tV2 (V)    \tV3 (V)";
  EXPECT_EQ(lit[0], header);
  EXPECT_EQ(dark[0], header);
  // Lit: from near open circuit at 1e-9 A/cm2 down past -0.5 V (the two last points are not kept).
  const auto v = Column(lit, 0), j = Column(lit, 1);
  EXPECT_NEAR(j.front(), 1e-9, 1e-17);
  EXPECT_NEAR(v.front(), state.sweep.stackVoc, 1e-7);
  EXPECT_GT(v.front(), 1.2);  // about 0.47 + 0.58 + 0.33 V for the default cell
  EXPECT_GT(v.back(), -0.52);
  for (std::size_t i = 1; i < v.size(); ++i) EXPECT_LE(v[i], v[i - 1] + 1e-9);
  // Each row's total voltage is the sum of the junction voltages.
  const auto v1 = Column(lit, 2), v2 = Column(lit, 3), v3 = Column(lit, 4);
  for (std::size_t i = 0; i < v.size(); i += 97) EXPECT_NEAR(v[i], v1[i] + v2[i] + v3[i], 2e-4);
  // Dark: reverse branch in ascending voltage from about -1 V, then the forward branch up to about 3 V.
  const auto dv = Column(dark, 0), dj = Column(dark, 1);
  EXPECT_LT(dv.front(), -0.99);
  EXPECT_LT(dv.back(), 3.0);
  EXPECT_GT(dv.back(), 2.9);
  for (std::size_t i = 1; i < dv.size(); ++i) EXPECT_GT(dv[i], dv[i - 1] - 1e-9) << "row " << i + 1;
  for (double value : dj) EXPECT_GT(value, 0);
  EXPECT_EQ(CountCircles(ui.linlog, 16576), dark.size() - 1);
  EXPECT_EQ(CountCircles(ui.linlin, 33023), lit.size() - 1);
  EXPECT_EQ(state.flags.dragLineOn, 1);
  EXPECT_EQ(ui.form.showCount, 1);
}

TEST_F(StudyTest, AllJunctionsStartCurrentStaysBelowEveryPhotocurrent) {
  ui.form.boxes[16] = "5e-10";  // Jsc3 below 1e-9: start at Jsc3/10
  ui.answers = {false, true};
  StudyAllJunctions(state, ui);
  const auto lit = Lines(Read(dir / "Test_plr" / "Test_J(V)_AllJunctions.txt"));
  EXPECT_NEAR(Column(lit, 1).front(), 5e-11, 1e-19);
}

TEST_F(StudyTest, SubStepOnlySetsTheOpenCircuitVoltage) {
  state.flags.subStudyFlag = 1;
  StudyAllJunctions(state, ui);  // any question would throw
  EXPECT_EQ(state.flags.subStudyFlag, 0);
  EXPECT_GT(state.sweep.stackVoc, 1.2);
  EXPECT_EQ(ui.linlin.clearCount + ui.linlog.clearCount, 0);
  EXPECT_TRUE(ui.linlin.surface.Ops().empty());
  EXPECT_EQ(ui.form.showCount, 1);
  EXPECT_TRUE(fs::is_empty(dir / "Test_plr"));
}

TEST_F(StudyTest, DecliningTheOverwriteWritesNeitherTable) {
  fs::create_directory(dir / "Test_plr");
  Write(dir / "Test_plr" / "Test_J(V)_AllJunctions.txt", "old");
  ui.answers = {false, true, false};
  StudyAllJunctions(state, ui);
  EXPECT_EQ(Read(dir / "Test_plr" / "Test_J(V)_AllJunctions.txt"), "old");
  EXPECT_FALSE(fs::exists(dir / "Test_plr" / "Test_J(V)_AllJunctions_dark.txt"));
  EXPECT_EQ(ui.questions.back().text, "This file exists already ! Save again ?");
  EXPECT_EQ(ui.questions.back().title, "** Be Carefull **");
  EXPECT_EQ(ui.form.showCount, 0);
}

TEST_F(StudyTest, StudyFolderGoesBesideTheOpenedParameterFile) {
  fs::create_directory(dir / "opened");
  state.id.loadedDir = (dir / "opened" / "").string();
  ui.answers = {false, false};
  StudyAllJunctions(state, ui);
  EXPECT_TRUE(fs::is_directory(dir / "opened" / "Test_plr"));
  EXPECT_EQ(state.id.studyDir, (dir / "opened" / "Test_plr" / "").string());
}

TEST_F(StudyTest, UnwritableStudyFolderIsAClearFileError) {
  state.id.studyName = "Other";
  fs::create_directory(dir / "blocked");
  Write(dir / "blocked" / "Other_plr", "x");
  fs::current_path(dir / "blocked");
  // An entry of that name exists but is a file: the study cannot use it and says so before computing.
  try {
    StudyAllJunctions(state, ui);
    FAIL() << "expected a file error";
  } catch (const FileError& e) {
    EXPECT_NE(std::string(e.what()).find("Other_plr"), std::string::npos) << e.what();
  }
}

// ---- Experimental overlay ----

TEST_F(StudyTest, OverlayDrawsAtMost499LitPointsAndTheDarkFile) {
  std::string lit = "V\tJ\r\n", dark = "V\tJ\r\n";
  for (int i = 1; i < 700; ++i) lit += std::to_string(i * 0.001) + "\t0,00" + std::to_string(i % 9) + "\r\n";
  for (int i = 1; i < 10; ++i) dark += std::to_string(i * 0.1) + "\t-1e-" + std::to_string(i) + "\r\n";
  fs::create_directory(dir / "exp");
  Write(dir / "exp" / "cell_lit.txt", lit);
  Write(dir / "exp" / "cell_Dark.txt", dark);
  ui.answers = {true, false};  // display the data; do not save
  ui.fileChoices = {In("exp/cell_lit.txt")};
  StudyAllJunctions(state, ui);
  const Colour grey = PaletteColour(8);
  EXPECT_EQ(CountCircles(ui.linlin, grey), 499u);
  EXPECT_EQ(CountCircles(ui.linlog, grey), 9u);
  EXPECT_EQ(FileFilter(ui.dialogs[0].kind), "fichiers (*.txt)|*.txt|");
  // A decimal comma is read as a point; the dark points sit at ln|J|.
  const auto circles = ui.linlog.CirclesDrawn();
  EXPECT_NEAR(circles.back().y, std::log(1e-9), 1e-9);
  EXPECT_EQ(ui.linlin.CirclesDrawn().back().y, 0.004);
  EXPECT_EQ(ui.questions.back().text, "     Do you want to save the data ?");
}

TEST_F(StudyTest, AHeaderOnlyFileDrawsNothingAndTheStudyGoesOn) {
  Write(dir / "only_header.txt", "V\tJ\r\n");
  ui.answers = {true, false};
  ui.fileChoices = {In("only_header.txt")};
  StudyAllJunctions(state, ui);
  EXPECT_EQ(CountCircles(ui.linlin, PaletteColour(8)), 0u);
  EXPECT_EQ(ui.questions.size(), 2u);
  EXPECT_EQ(ui.form.showCount, 1);
}

// The overlay reads measured files as the fit does: a line of one number is refused, not drawn at 0 V, and
// no more points are kept than the overlay draws.
TEST(MeasuredCurve, IsReadAsTheFitReadsIt) {
  const fs::path file = fs::temp_directory_path() / "pelarin-measured-test.txt";
  Write(file, "header\r\n0,5\t1,5e-3\r\n0.6;2e-3\r\n0.7 3e-3\r\n");
  const auto points = ReadMeasuredCurve(file.string(), 3);
  ASSERT_EQ(points.size(), 2u);
  EXPECT_DOUBLE_EQ(points[0].V, 0.5);
  EXPECT_DOUBLE_EQ(points[0].J, 1.5e-3);
  EXPECT_DOUBLE_EQ(points[1].V, 0.6);
  Write(file, "header\r\n0,5\t1,5e-3\r\n2e-3\r\n");
  EXPECT_THROW(static_cast<void>(ReadMeasuredCurve(file.string(), 500)), FileError);
  fs::remove(file);
}

// Measured files that cannot be drawn end the overlay with a message that names them (and the line), never
// a hang on a FIFO, and the study goes on to its save question.
TEST_F(StudyTest, OverlayRefusesWhatItCannotDrawAndNamesIt) {
  fs::create_directory(dir / "exp");
  Write(dir / "exp" / "big.txt", "V\tJ\r\n0.1\t1e-3\r\n0.2\t1e999\r\n");
  Write(dir / "exp" / "good.txt", "V\tJ\r\n0.1\t1e-3\r\n");
  ASSERT_EQ(::mkfifo(In("fifo.txt").c_str(), 0600), 0);
  const struct {
    std::string chosen;
    std::string told;
  } cases[] = {
      {In("exp/big.txt"), In("exp/big.txt") + ", line 3 \"0.2 1e999\": is not two finite numbers"},
      {In("fifo.txt"), "cannot read " + In("fifo.txt") + ": it is a FIFO, not a file."},
      {In("exp"), "cannot read " + In("exp") + ": it is a folder, not a file."},
  };
  for (const auto& c : cases) {
    FakeUi fresh;
    fresh.answers = {true, false};
    fresh.fileChoices = {c.chosen};
    StudyAllJunctions(state, fresh);
    ASSERT_EQ(fresh.messages.size(), 1u) << c.chosen;
    EXPECT_NE(fresh.messages[0].text.find(c.told), std::string::npos) << fresh.messages[0].text;
    EXPECT_EQ(CountCircles(fresh.linlin, PaletteColour(8)), 0u);
    EXPECT_EQ(fresh.questions.size(), 2u);
  }
  // A FIFO named like the dark file beside good lit data: the lit points stay, the FIFO is named.
  ASSERT_EQ(::mkfifo(In("exp/cell_Dark.txt").c_str(), 0600), 0);
  FakeUi fresh;
  fresh.answers = {true, false};
  fresh.fileChoices = {In("exp/good.txt")};
  StudyAllJunctions(state, fresh);
  ASSERT_EQ(fresh.messages.size(), 1u);
  EXPECT_NE(fresh.messages[0].text.find(In("exp/cell_Dark.txt") + ": it is a FIFO"), std::string::npos);
  EXPECT_EQ(CountCircles(fresh.linlin, PaletteColour(8)), 1u);
}

// ---- Two and one junctions ----

TEST_F(StudyTest, OneJunctionSkipsADarkJunction) {
  ui.form.boxes[9] = "0";  // Jsc2
  ui.answers = {true};
  StudyOneJunction(state, ui);
  const fs::path folder = dir / "Test_plr";
  EXPECT_TRUE(fs::exists(folder / "Test_J(V)_1Junction_#1.txt"));
  EXPECT_TRUE(fs::exists(folder / "Test_J(V)_1Junction_#3.txt"));
  EXPECT_FALSE(fs::exists(folder / "Test_J(V)_1Junction_#2.txt"));
  EXPECT_TRUE(state.id.illumFiles[2].empty());
  EXPECT_GT(CountCircles(ui.linlin, 255), 10u);
  EXPECT_EQ(CountCircles(ui.linlin, 65280), 0u);
  EXPECT_GT(CountCircles(ui.linlin, 16711680), 10u);
  EXPECT_FALSE(ui.linlog.visible);
  EXPECT_EQ(ui.form.showCount, 1);  // only by the sub-step
  const auto lines = Lines(Read(folder / "Test_J(V)_1Junction_#3.txt"));
  EXPECT_EQ(lines[0], "V (V)    \tCurrent (A/cm2)\tV1 (V)    \tV2 (V)    \tV3 (V)");
  // From -0.5 V up to the lit stack's open-circuit voltage; the current changes sign once.
  const auto v = Column(lines, 0), j = Column(lines, 1);
  EXPECT_GT(v.front(), -0.53);
  EXPECT_LT(v.front(), -0.49);
  EXPECT_LE(v.back(), state.sweep.stackVoc + 1e-3);
  int signChanges = 0;
  for (std::size_t i = 1; i < j.size(); ++i) signChanges += (j[i] > 0) != (j[i - 1] > 0);
  EXPECT_EQ(signChanges, 1);
}

TEST_F(StudyTest, OneJunctionStartsAtAHundredMicrovoltsOverTheLargestShunt) {
  ui.form.boxes[1] = "1000";
  ui.form.boxes[8] = "5000";
  ui.form.boxes[15] = "200";
  ui.answers = {true};
  StudyOneJunction(state, ui);
  const auto j = Column(Lines(Read(dir / "Test_plr" / "Test_J(V)_1Junction_#1.txt")), 1);
  double smallestPositive = 1;
  for (double value : j)
    if (value > 0 && value < smallestPositive) smallestPositive = value;
  EXPECT_NEAR(smallestPositive, 2e-8, 1e-13);
}

TEST_F(StudyTest, TwoJunctionsComputesAllPairsAndChecksOnlyTheFirstFile) {
  fs::create_directory(dir / "Test_plr");
  Write(dir / "Test_plr" / "Test_J(V)_2Junctions_#1&#3.txt", "old");
  ui.form.boxes[16] = "0";  // Jsc3 = 0: all three pairs are still computed
  ui.answers = {true};
  StudyTwoJunctions(state, ui);
  const fs::path folder = dir / "Test_plr";
  for (const char* name : {"Test_J(V)_2Junctions_#2&#3.txt", "Test_J(V)_2Junctions_#1&#3.txt",
                           "Test_J(V)_2Junctions_#1&#2.txt"}) {
    const auto lines = Lines(Read(folder / name));
    EXPECT_GT(lines.size(), 10u) << name;
  }
  EXPECT_EQ(ui.questions.size(), 1u) << "the slot-2 file is overwritten without a question";
  for (Colour c : {128u, 32768u, 8388608u}) EXPECT_GT(CountCircles(ui.linlin, c), 10u) << c;
  EXPECT_EQ(state.id.studyLabel, "Test_2 junctions");
}

TEST_F(StudyTest, ACalculationFaultEndsTheStudyWithNothingWritten) {
  ui.form.boxes[static_cast<std::size_t>(ParameterIndex("Rp2"))] = "1e-320";  // the shunt current overflows
  EXPECT_THROW(StudyAllJunctions(state, ui), CalcError);
  EXPECT_TRUE(fs::is_empty(dir / "Test_plr"));
  EXPECT_TRUE(ui.questions.empty());
}

}  // namespace
}  // namespace pelarin
