// The studies with the coupling network, run with the real solvers through the scripted interface: start
// currents, table layouts, the joined curves, the refusals and faults, and a check of computed points
// against an independent long-double Newton solution of the circuit.
#include "studies/coupled_studies.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "common/fake_ui.h"
#include "common/solver_fixtures.h"
#include "common/temp_folder.h"
#include "model/calc_error.h"
#include "model/number_text.h"
#include "plot/surface.h"
#include "studies/studies.h"
#include "workspace/read_parameters.h"

namespace pelarin {
namespace {

namespace fs = std::filesystem;
using testing::FakeUi;
using testing::Read;
using testing::TempFolderTest;
using testing::Write;

constexpr int kRl2Box = 22, kRg3Box = 25;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    const auto end = text.find("\r\n", start);
    EXPECT_NE(end, std::string::npos) << "every line ends in CR LF";
    if (end == std::string::npos) break;
    lines.push_back(text.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

// Column c of the data lines (from line 3 on: line 1 is the header, line 2 the resistances).
std::vector<double> Column(const std::vector<std::string>& lines, int column) {
  std::vector<double> values;
  for (std::size_t i = 2; i < lines.size(); ++i) {
    std::string field;
    std::istringstream row(lines[i]);
    for (int c = 0; c <= column; ++c) std::getline(row, field, '\t');
    values.push_back(Val(field));
  }
  return values;
}

std::size_t CountCircles(const testing::FakePlotWindow& window, Colour colour) {
  std::size_t n = 0;
  for (const DrawOp& op : window.CirclesDrawn()) n += op.colour == colour;
  return n;
}

const std::string kDefaultResistances =
    "Rl1 = 1.E+12\tRl2 = 1.E+12\tRg1 = 1.E+12\tRg2 = 1.E+12\tRg3 = 1.E+12\t(Ohm.cm2)";
const std::string kCurveTitles = "V (V)    \tCurrent (A/cm2)\tV1 (V)    \tV2 (V)    \tV3 (V)";

class CoupledStudyTest : public TempFolderTest {
 protected:
  void SetUp() override {
    TempFolderTest::SetUp();
    fs::current_path(dir);
    ResetStartUpConstants(state);
  }
  // Reads the form as a study does, then the fully lit stack's open-circuit voltage, as the sub-step does.
  void ReadFormAndOpenCircuit() {
    ReadParameters(state, ui);
    (void)LitStackSweep(state);
  }
  [[nodiscard]] std::vector<std::string> Table(const std::string& name) const {
    return Lines(Read(dir / "Test_plr" / ("Test" + name)));
  }
  State state;
  FakeUi ui;
};

// ---- All junctions ----

struct LitStartCase {
  const char* name;
  double jsc1, jsc2, jsc3, start;
};
void PrintTo(const LitStartCase& c, std::ostream* os) { *os << c.name; }

class LitStartCurrent : public ::testing::TestWithParam<LitStartCase> {};

// 1e-8 A/cm2 unless a photocurrent is small; Jsc3 is compared with 1e-8 itself, the others by their
// hundredth.
TEST_P(LitStartCurrent, FollowsTheSmallPhotocurrents) {
  const LitStartCase& c = GetParam();
  Parameters p = testing_cell::DefaultParameters();
  p.Jsc1 = c.jsc1, p.Jsc2 = c.jsc2, p.Jsc3 = c.jsc3;
  EXPECT_DOUBLE_EQ(LitStartCurrentWithRl(p), c.start);
}

INSTANTIATE_TEST_SUITE_P(Cases, LitStartCurrent,
                         ::testing::Values(LitStartCase{"Defaults", 0.008, 0.012, 0.016, 1e-8},
                                           LitStartCase{"SmallJsc3", 0.008, 0.012, 5e-9, 5e-11},
                                           LitStartCase{"Jsc3AboveTheLimitKeepsIt", 0.008, 0.012, 1e-7, 1e-8},
                                           LitStartCase{"SmallJsc1", 1e-7, 0.012, 0.016, 1e-9},
                                           LitStartCase{"SmallJsc2", 0.008, 5e-7, 0.016, 5e-9}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(CoupledStudyTest, StackSweepsStartWhereTheCellSays) {
  ReadParameters(state, ui);
  const StackCurvesWithRl c = ComputeStackWithRl(state);
  EXPECT_DOUBLE_EQ(c.litStart, 1e-8);
  // 0.5 mV over the six resistances of the default cell (5000 + 10000 + 500 + 3 x 5 Ohm.cm2).
  EXPECT_DOUBLE_EQ(c.reverseStart, 0.0005 / 15515);
  EXPECT_NEAR(c.reverseStart, 3.22e-8, 0.005e-8);
  // The terminal current of the first lit point is the start current less leaks of order 1e-12.
  EXPECT_NEAR(c.lit.J(1), 1e-8, 5e-12);
  EXPECT_LT(c.lit.J(1), 1e-8);
  // The forward branch's first point follows the reverse branch's first point (near 0 V) and starts at
  // |-1e-13| A/cm2.
  EXPECT_NEAR(c.dark.J(c.nRev + 1), 1e-13, 5e-12);
  EXPECT_NEAR(c.dark.V(c.nRev), 0, 1e-3);
  EXPECT_DOUBLE_EQ(state.sweep.Jstart, -1e-13);
}

TEST_F(CoupledStudyTest, AllJunctionsDrawsBothCurvesAndWritesTheTwoTables) {
  ui.answers = {false, true};  // no measured data; save
  StudyWithRl(state, ui);

  const auto lit = Table("_J(V)_AllJunctions_Rl.txt");
  const auto dark = Table("_J(V)_AllJunctions_dark_Rl.txt");
  ASSERT_GT(lit.size(), 100u);
  ASSERT_GT(dark.size(), 100u);
  EXPECT_EQ(lit[0], kCurveTitles + "\t        Jrg1 (A)\tJrg2 (A)\tJrg3 (A)\tJrl2 (A)\tJrl1 (A)");
  EXPECT_EQ(dark[0], kCurveTitles);
  EXPECT_EQ(lit[1], kDefaultResistances);
  EXPECT_EQ(dark[1], kDefaultResistances);

  // Lit: from near open circuit down past short circuit to about -0.5 V, the current rising.
  const auto v = Column(lit, 0), j = Column(lit, 1);
  EXPECT_GT(v.front(), 1.3);
  EXPECT_LT(v.back(), -0.45);
  EXPECT_GE(v.back(), -0.5);
  EXPECT_NEAR(j.front(), 1e-8, 1e-11);
  EXPECT_GT(j.back(), 0.008);
  // With every coupling resistance at 1e12, every leak current is at most a few 1e-12.
  double largestLeak = 0;
  for (int c = 5; c <= 9; ++c)
    for (double leak : Column(lit, c)) largestLeak = std::max(largestLeak, std::fabs(leak));
  EXPECT_GT(largestLeak, 1e-13);
  EXPECT_LT(largestLeak, 5e-12);

  // Dark: the first line holds the most negative voltage, and the voltage rises to about 3 V.
  const auto dv = Column(dark, 0), dj = Column(dark, 1);
  EXPECT_EQ(dv.front(), *std::min_element(dv.begin(), dv.end()));
  EXPECT_LT(dv.front(), -0.99);
  EXPECT_GT(dv.back(), 2.99);
  for (std::size_t i = 1; i < dv.size(); ++i) EXPECT_GE(dv[i], dv[i - 1]) << "line " << i + 3;
  for (double value : dj) EXPECT_GT(value, 0);

  EXPECT_EQ(CountCircles(ui.linlin, 33023), lit.size() - 2);
  EXPECT_EQ(CountCircles(ui.linlog, 16576), dark.size() - 2);
  EXPECT_EQ(ui.linlin.caption,
            "Test                    J(V) Junctions Illuminated with Rl [J (A/cm2) vs V (V)]");
  EXPECT_EQ(ui.linlog.caption, "Test                    J(V) Junctions Dark with Rl");
  EXPECT_EQ(state.id.studyLabel, "Test_3 junctions_wRl");
  EXPECT_EQ(state.flags.dragLineOn, 1);
  EXPECT_EQ(state.flags.darkFlag, 0);
  EXPECT_EQ(ui.form.showCount, 1);
}

// Rl2 = 5e3 and Rg3 = 1e4: the resistance line shows them, and the leak columns follow each row's voltages
// in their order (Jrg1, Jrg2, Jrg3, Jrl2, Jrl1).
TEST_F(CoupledStudyTest, LeakColumnsFollowTheVoltagesOfTheirRow) {
  ui.form.boxes[kRl2Box] = "5e3";
  ui.form.boxes[kRg3Box] = "1e4";
  ui.answers = {false, true};
  StudyWithRl(state, ui);
  const auto lit = Table("_J(V)_AllJunctions_Rl.txt");
  EXPECT_EQ(lit[1], "Rl1 = 1.E+12\tRl2 = 5.E+3\tRg1 = 1.E+12\tRg2 = 1.E+12\tRg3 = 1.E+4\t(Ohm.cm2)");
  EXPECT_EQ(Table("_J(V)_AllJunctions_dark_Rl.txt")[1], lit[1]);
  const auto v = Column(lit, 0), v2 = Column(lit, 3), v3 = Column(lit, 4);
  const auto jrg1 = Column(lit, 5), jrg2 = Column(lit, 6), jrg3 = Column(lit, 7), jrl2 = Column(lit, 8),
             jrl1 = Column(lit, 9);
  for (std::size_t i = 0; i < v.size(); i += 37) {
    // The voltages are written with 4 digits and the currents with 5: compare at the voltages' precision.
    const auto near = [](double got, double want) { return std::fabs(got - want) <= 2e-3 * std::fabs(want); };
    EXPECT_PRED2(near, jrg1[i], v[i] / 1e12) << "line " << i + 3;
    EXPECT_PRED2(near, jrg2[i], (v2[i] + v3[i]) / 1e12) << "line " << i + 3;
    EXPECT_PRED2(near, jrg3[i], v3[i] / 1e4) << "line " << i + 3;
    EXPECT_NEAR(jrl2[i], (v[i] - v3[i]) / 5e3, 1.5e-3 / 5e3) << "line " << i + 3;
    EXPECT_NEAR(jrl1[i], (v[i] - v3[i] - v2[i]) / 1e12, 1.5e-3 / 1e12) << "line " << i + 3;
  }
}

TEST_F(CoupledStudyTest, DecliningTheOverwriteLeavesBothOldTables) {
  fs::create_directory(dir / "Test_plr");
  Write(dir / "Test_plr" / "Test_J(V)_AllJunctions_Rl.txt", "old lit");
  Write(dir / "Test_plr" / "Test_J(V)_AllJunctions_dark_Rl.txt", "old dark");
  ui.answers = {false, true, false};
  StudyWithRl(state, ui);
  EXPECT_EQ(Read(dir / "Test_plr" / "Test_J(V)_AllJunctions_Rl.txt"), "old lit");
  EXPECT_EQ(Read(dir / "Test_plr" / "Test_J(V)_AllJunctions_dark_Rl.txt"), "old dark");
  EXPECT_EQ(ui.questions.back().question, Question::OverwriteResults);
  EXPECT_EQ(ui.form.showCount, 0) << "the study ends at once";

  // Accepting replaces both; only the lit table is asked about.
  ui.answers = {false, true, true};
  ui.questions.clear();
  StudyWithRl(state, ui);
  EXPECT_EQ(ui.questions.size(), 3u);
  EXPECT_EQ(Lines(Read(dir / "Test_plr" / "Test_J(V)_AllJunctions_dark_Rl.txt"))[1], kDefaultResistances);
}

// A measured file that cannot be drawn ends the overlay with a message; the save question follows once,
// and a table that cannot be written reaches the caller as a file error instead of asking again.
TEST_F(CoupledStudyTest, OverlayFailureGoesOnToTheSaveQuestionAndAWriteFailureReachesTheCaller) {
  Write(dir / "header_only.txt", "V\tJ\r\n");
  fs::create_directories(dir / "Test_plr" / "Test_J(V)_AllJunctions_dark_Rl.txt");  // a folder in the way
  ui.answers = {true, true};
  ui.fileChoices = {In("header_only.txt")};
  EXPECT_THROW(StudyWithRl(state, ui), FileError);
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].title, "Exp. data");
  ASSERT_EQ(ui.questions.size(), 2u);
  EXPECT_EQ(ui.questions[1].question, Question::SaveData);
  EXPECT_TRUE(fs::exists(dir / "Test_plr" / "Test_J(V)_AllJunctions_Rl.txt"));
}

TEST_F(CoupledStudyTest, OverlayReadsAtMost199PointsPerFile) {
  std::string lit = "V\tJ\r\n", dark = "V\tJ\r\n";
  for (int i = 1; i < 300; ++i) {
    lit += std::to_string(i * 0.001) + "\t0,005\r\n";
    dark += std::to_string(i * 0.001) + "\t1e-5\r\n";
  }
  fs::create_directory(dir / "exp");
  Write(dir / "exp" / "cell_lit.txt", lit);
  Write(dir / "exp" / "cell_Dark.txt", dark);
  ui.answers = {true, false};
  ui.fileChoices = {In("exp/cell_lit.txt")};
  StudyWithRl(state, ui);
  EXPECT_EQ(CountCircles(ui.linlin, PaletteColour(8)), 199u);
  EXPECT_EQ(CountCircles(ui.linlog, PaletteColour(8)), 199u);
  EXPECT_EQ(ui.form.showCount, 1);
}

// No point at all (maxPoints 0): the study still draws its axes and writes tables of two lines.
TEST_F(CoupledStudyTest, SweepsWithoutPointsLeaveEmptyCurvesAndTables) {
  state.k.maxPoints = 0;
  ui.answers = {false, true};
  StudyWithRl(state, ui);
  EXPECT_EQ(Table("_J(V)_AllJunctions_Rl.txt").size(), 2u);
  EXPECT_EQ(Table("_J(V)_AllJunctions_dark_Rl.txt").size(), 2u);
  EXPECT_TRUE(ui.linlin.CirclesDrawn().empty());
  EXPECT_TRUE(ui.linlog.visible);
}

// ---- One and two junctions ----

TEST_F(CoupledStudyTest, OneJunctionStartsAtAHundredMicrovoltsOverTheLargestShunt) {
  ReadFormAndOpenCircuit();
  const PartialCurvesWithRl c = ComputeOneLitWithRl(state, LargestParallelResistance(state.par));
  // maxRp = Rp2 = 10000: 1e-8 for junctions 1 and 3, a hundred times less for junction 2.
  EXPECT_DOUBLE_EQ(c.startCurrent[1], 1e-8);
  EXPECT_DOUBLE_EQ(c.startCurrent[2], 1e-10);
  EXPECT_DOUBLE_EQ(c.startCurrent[3], 1e-8);
  EXPECT_DOUBLE_EQ(state.sweep.Jstart, 1e-4);
  // The two sweeps meet where the current changes sign: +J0 on one side, -J0 on the other.
  for (int k = 1; k <= 3; ++k) {
    const StackCurve& curve = c.curve[k];
    int i = 1;
    while (i <= curve.Size() && curve.J(i) > 0) ++i;
    ASSERT_GT(i, 1) << k;
    ASSERT_LE(i, curve.Size()) << k;
    EXPECT_NEAR(curve.J(i - 1), c.startCurrent[k], 1e-11) << k;
    EXPECT_NEAR(curve.J(i), -c.startCurrent[k], 1e-11) << k;
    for (int n = i; n <= curve.Size(); ++n) EXPECT_LT(curve.J(n), 0) << "curve " << k << " point " << n;
  }
}

struct LargestShuntCase {
  double rp1, rp2, rp3, largest;
};
class LargestShunt : public ::testing::TestWithParam<LargestShuntCase> {};

TEST_P(LargestShunt, IsTheLargestPositiveOne) {
  Parameters p;
  p.Rp1 = GetParam().rp1, p.Rp2 = GetParam().rp2, p.Rp3 = GetParam().rp3;
  EXPECT_EQ(LargestParallelResistance(p), GetParam().largest);
}
INSTANTIATE_TEST_SUITE_P(Cases, LargestShunt,
                         ::testing::Values(LargestShuntCase{5000, 10000, 500, 10000},
                                           LargestShuntCase{1000, 5000, 200, 5000},
                                           LargestShuntCase{-1, -2, 0.001, 0.001},
                                           LargestShuntCase{300, -2, 100, 300}));

// No positive parallel resistance: a clear calculation message before anything is computed, never a
// division by zero.
TEST_F(CoupledStudyTest, NoPositiveShuntEndsTheOneJunctionStudyClearly) {
  ui.form.boxes[1] = ui.form.boxes[8] = ui.form.boxes[15] = "-5";
  try {
    StudyOneWithRl(state, ui);
    FAIL() << "expected a calculation error";
  } catch (const CalcError& e) {
    EXPECT_NE(std::string(e.what()).find("no parallel resistance is positive"), std::string::npos)
        << e.what();
  }
  EXPECT_TRUE(ui.questions.empty());
  EXPECT_FALSE(ui.linlin.visible);
  EXPECT_EQ(ui.form.showCount, 0) << "the sub-step did not run";
  EXPECT_FALSE(fs::exists(dir / "Test_plr"));
}

TEST_F(CoupledStudyTest, TwoJunctionSweepsStartAtMostAt1e12) {
  ReadFormAndOpenCircuit();
  const PartialCurvesWithRl defaults = ComputeTwoLitWithRl(state);
  for (int k = 1; k <= 3; ++k) EXPECT_DOUBLE_EQ(defaults.startCurrent[k], 1e-12) << k;

  ui.form.boxes[17] = ui.form.boxes[18] = "1e-12";  // Jsd31, Jsd32: JsdMax3 / 5 = 2e-13
  ReadFormAndOpenCircuit();
  const PartialCurvesWithRl small = ComputeTwoLitWithRl(state);
  EXPECT_DOUBLE_EQ(small.startCurrent[3], 2e-13);
  EXPECT_DOUBLE_EQ(small.startCurrent[2], 1e-12);
  EXPECT_DOUBLE_EQ(small.startCurrent[1], 1e-12);
  // Junction 3 dark is the last curve computed: its sweep B started at -2e-13, from a step of 0.1.
  EXPECT_GT(small.curve[3].Size(), 100);
  EXPECT_EQ(state.sweep.Vinit[3], 0.001);
}

// A sweep B that ends at its first point adds no point: sweep A's points stay, none is dropped. Every
// curve is then exactly its sweep A: the complete curve's points up to its change of sign, where sweep B
// begins.
TEST_F(CoupledStudyTest, AnEmptySweepAddsNoPointAndDropsNone) {
  ReadFormAndOpenCircuit();
  const double maxRp = LargestParallelResistance(state.par);
  const PartialCurvesWithRl whole = ComputeOneLitWithRl(state, maxRp);
  state.sweep.stackVoc = -1;  // every sweep B ends at its first point
  const PartialCurvesWithRl sweepAOnly = ComputeOneLitWithRl(state, maxRp);
  for (int k = 1; k <= 3; ++k) {
    const StackCurve& a = sweepAOnly.curve[k];
    const StackCurve& w = whole.curve[k];
    ASSERT_GT(a.Size(), 100) << k;
    ASSERT_GT(w.Size(), a.Size() + 100) << k;
    for (int i = 1; i <= a.Size(); ++i) {
      ASSERT_EQ(a.V(i), w.V(i)) << "curve " << k << " point " << i;
      ASSERT_EQ(a.J(i), w.J(i)) << "curve " << k << " point " << i;
    }
    EXPECT_NEAR(a.J(a.Size()), whole.startCurrent[k], 1e-11) << "sweep A's first point ends the curve";
    EXPECT_NEAR(w.J(a.Size() + 1), -whole.startCurrent[k], 1e-11) << "sweep B's first point follows it";
  }
}

// Each sweep fills its 40 points; the joined curve holds 40 + 39 of them.
TEST_F(CoupledStudyTest, AJoinedCurveMayHoldMoreThanOneSweepsPoints) {
  state.k.maxPoints = 40;
  ui.answers = {true};
  StudyOneWithRl(state, ui);
  for (const char* name :
       {"_J(V)_1junction_#1_Rl.txt", "_J(V)_1junction_#2_Rl.txt", "_J(V)_1junction_#3_Rl.txt"})
    EXPECT_EQ(Table(name).size(), 2u + 79u) << name;
}

TEST_F(CoupledStudyTest, OneJunctionDrawsThreeCurvesAndWritesThreeTables) {
  ui.answers = {true};
  StudyOneWithRl(state, ui);
  EXPECT_FALSE(ui.linlog.visible);
  EXPECT_EQ(ui.linlin.caption,
            "Test                    J(V) 1 Junction Illuminated with Rl [J (A/cm2) vs V (V)]");
  EXPECT_EQ(state.id.studyLabel, "Test_1 junction_wRl");
  EXPECT_EQ(ui.form.showCount, 1) << "only the sub-step shows the form";
  const Colour colour[] = {0, 255, 65280, 16711680};
  for (int k = 1; k <= 3; ++k) {
    const std::string name = "_J(V)_1junction_#" + std::to_string(k) + "_Rl.txt";
    EXPECT_EQ(state.id.illumFiles[k], (dir / "Test_plr" / ("Test" + name)).string());
    const auto lines = Table(name);
    ASSERT_GT(lines.size(), 100u) << name;
    EXPECT_EQ(lines[0], kCurveTitles + "\t        Jrg1 (A)\tJrg2 (A)\tJrg3 (A)");
    EXPECT_EQ(lines[1], kDefaultResistances);
    EXPECT_EQ(CountCircles(ui.linlin, colour[k]), lines.size() - 2) << name;
    // From about -0.5 V up to the lit stack's open-circuit voltage; the current changes sign once.
    const auto v = Column(lines, 0), j = Column(lines, 1);
    EXPECT_GE(v.front(), -0.5);
    EXPECT_LT(v.front(), -0.49);
    EXPECT_LE(v.back(), state.sweep.stackVoc + 1e-3);
    EXPECT_GT(v.back(), state.sweep.stackVoc - 0.01);
    int signChanges = 0;
    for (std::size_t i = 1; i < j.size(); ++i) signChanges += (j[i] > 0) != (j[i - 1] > 0);
    EXPECT_EQ(signChanges, 1) << name;
  }
}

TEST_F(CoupledStudyTest, TwoJunctionsChecksOnlyTheFirstTable) {
  fs::create_directory(dir / "Test_plr");
  const std::string names[] = {"", "_J(V)_2Junctions_#2&#3_Rl.txt", "_J(V)_2Junctions_#1&#3_Rl.txt",
                               "_J(V)_2Junctions_#1&#2_Rl.txt"};
  for (int k = 1; k <= 3; ++k) Write(dir / "Test_plr" / ("Test" + names[k]), "old");
  ui.answers = {true, false};  // save; keep the existing tables
  StudyTwoWithRl(state, ui);
  for (int k = 1; k <= 3; ++k) EXPECT_EQ(Read(dir / "Test_plr" / ("Test" + names[k])), "old") << names[k];
  EXPECT_EQ(ui.questions.back().question, Question::OverwriteResults);
  for (Colour c : {128u, 32768u, 8388608u}) EXPECT_GT(CountCircles(ui.linlin, c), 100u) << c;
  EXPECT_EQ(ui.linlin.caption,
            "Test                    J(V) 2 Junctions Illuminated with Rl [J (A/cm2) vs V (V)]");
  EXPECT_EQ(state.id.studyLabel, "Test_2 junctions_wRl");

  // Without the first table, the others are replaced without a question.
  fs::remove(dir / "Test_plr" / ("Test" + names[1]));
  ui.answers = {true};
  ui.questions.clear();
  StudyTwoWithRl(state, ui);
  EXPECT_EQ(ui.questions.size(), 1u);
  for (int k = 1; k <= 3; ++k) {
    const auto lines = Table(names[k]);
    ASSERT_GT(lines.size(), 100u) << names[k];
    EXPECT_EQ(lines[1], kDefaultResistances);
  }
}

// A dark junction: each study says what it needs and computes, draws and asks nothing.
class DarkJunction : public CoupledStudyTest, public ::testing::WithParamInterface<void (*)(State&, Ui&)> {};

TEST_P(DarkJunction, IsAClearRefusal) {
  ui.form.boxes[9] = "0";  // Jsc2
  GetParam()(state, ui);
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].text,
            "This study needs all three junctions illuminated (Jsc1, Jsc2 and Jsc3 nonzero).");
  EXPECT_EQ(ui.messages[0].icon, MessageIcon::Exclamation);
  EXPECT_TRUE(ui.questions.empty());
  EXPECT_FALSE(ui.linlin.visible);
  EXPECT_EQ(ui.form.showCount, 0);
  EXPECT_FALSE(fs::exists(dir / "Test_plr"));
}
INSTANTIATE_TEST_SUITE_P(Studies, DarkJunction,
                         ::testing::Values(&StudyWithRl, &StudyOneWithRl, &StudyTwoWithRl));

// ---- Against an independent solution of the circuit ----

// The circuit at junction 3's current J3, solved by Newton's method in long double: the three junction
// balances with J2 = J3 + Jrl2 - Jrg3 and J1 = J2 + Jrl1 - Jrg2 (Kirchhoff at the two inner nodes).
struct CircuitSolution {
  long double V1, V2, V3;
  // Contraction factor per pass of the alternating solution of junctions 2 and 1 near the solution:
  // each pass shrinks the distance to it by about this factor.
  long double passFactor;
  bool converged;
};

struct JunctionCell {
  long double Rs, Rp, Jsc, Jsd1, Jsd2, m1, m2;
};

CircuitSolution SolveCircuit(const Parameters& p, const std::array<double, 4>& jsc, long double J3,
                             std::array<long double, 3> guess) {
  const long double Vt = 0.025851L;
  const JunctionCell cell[4] = {{},
                                {p.Rs1, p.Rp1, jsc[1], p.Jsd11, p.Jsd12, p.m11, p.m12},
                                {p.Rs2, p.Rp2, jsc[2], p.Jsd21, p.Jsd22, p.m21, p.m22},
                                {p.Rs3, p.Rp3, jsc[3], p.Jsd31, p.Jsd32, p.m31, p.m32}};
  // Balance of a junction at (V, J) and its derivatives with respect to V and to J.
  struct Balance {
    long double f, dV, dJ;
  };
  const auto balance = [&](int k, long double V, long double J) {
    const JunctionCell& c = cell[k];
    const long double Vd = V + c.Rs * J;
    const long double e1 = std::exp(Vd / (c.m1 * Vt)), e2 = std::exp(Vd / (c.m2 * Vt));
    const long double g = 1 / c.Rp + c.Jsd1 * e1 / (c.m1 * Vt) + c.Jsd2 * e2 / (c.m2 * Vt);
    return Balance{Vd / c.Rp + J - c.Jsc + c.Jsd1 * (e1 - 1) + c.Jsd2 * (e2 - 1), g, c.Rs * g + 1};
  };
  const long double Rl1 = p.Rl1, Rl2 = p.Rl2, Rg2 = p.Rg2, Rg3 = p.Rg3;
  long double V1 = guess[0], V2 = guess[1], V3 = guess[2];
  for (int iteration = 0; iteration < 100; ++iteration) {
    const long double J2 = J3 + (V1 + V2) / Rl2 - V3 / Rg3;
    const long double J1 = J2 + V1 / Rl1 - (V2 + V3) / Rg2;
    const Balance b1 = balance(1, V1, J1), b2 = balance(2, V2, J2), b3 = balance(3, V3, J3);
    // Jacobian rows for (V1, V2, V3).
    long double a[3][4] = {{b1.dV + b1.dJ * (1 / Rl2 + 1 / Rl1), b1.dJ * (1 / Rl2 - 1 / Rg2),
                            -b1.dJ * (1 / Rg3 + 1 / Rg2), -b1.f},
                           {b2.dJ / Rl2, b2.dV + b2.dJ / Rl2, -b2.dJ / Rg3, -b2.f},
                           {0, 0, b3.dV, -b3.f}};
    const long double passFactor = std::fabs(a[1][0] * a[0][1] / (a[1][1] * a[0][0]));
    // Gaussian elimination with partial pivoting.
    for (int col = 0; col < 3; ++col) {
      int pivot = col;
      for (int r = col + 1; r < 3; ++r)
        if (std::fabs(a[r][col]) > std::fabs(a[pivot][col])) pivot = r;
      std::swap(a[col], a[pivot]);
      for (int r = col + 1; r < 3; ++r) {
        const long double f = a[r][col] / a[col][col];
        for (int c = col; c < 4; ++c) a[r][c] -= f * a[col][c];
      }
    }
    long double d[3];
    for (int r = 2; r >= 0; --r) {
      long double sum = a[r][3];
      for (int c = r + 1; c < 3; ++c) sum -= a[r][c] * d[c];
      d[r] = sum / a[r][r];
    }
    V1 += d[0], V2 += d[1], V3 += d[2];
    if (std::fabs(d[0]) + std::fabs(d[1]) + std::fabs(d[2]) < 1e-16L) return {V1, V2, V3, passFactor, true};
  }
  return {V1, V2, V3, 0, false};
}

struct CircuitCase {
  const char* name;
  double Rl2, Rg3;
};
void PrintTo(const CircuitCase& c, std::ostream* os) { *os << c.name; }

class AgainstNewton : public CoupledStudyTest, public ::testing::WithParamInterface<CircuitCase> {};

// Points of the lit and dark curves against the exact circuit at the same junction-3 current. The coupled
// iteration stops once a pass changes V1 and V2 by less than 0.1 %; with a pass factor r the distance left
// is then at most 0.1 % x r / (1 - r), which exceeds 0.1 % where the network ties junctions 1 and 2
// together (r near 1). V3 comes from the direct search at the imposed current and agrees to rounding.
TEST_P(AgainstNewton, PointsAgreeWithinTheCoupledIterationsTolerance) {
  ui.form.boxes[kRl2Box] = std::to_string(GetParam().Rl2);
  ui.form.boxes[kRg3Box] = std::to_string(GetParam().Rg3);
  ReadParameters(state, ui);
  const Parameters& p = state.par;
  const StackCurvesWithRl c = ComputeStackWithRl(state);
  long double worstV12 = 0, worstRelativeV12 = 0, worstV3 = 0, worstFactor = 0;
  const auto check = [&](const StackCurve& curve, int i, bool lit, bool absolute) {
    const long double V = curve.V(i), V1 = curve.V1(i), V2 = curve.V2(i), V3 = curve.V3(i);
    // Junction 3's current, recovered from the terminal current and the leaks to T0.
    const long double J = absolute ? -static_cast<long double>(curve.J(i)) : curve.J(i);
    const long double J3 = J + V / p.Rg1 + (V2 + V3) / p.Rg2 + V3 / p.Rg3;
    const std::array<double, 4> jsc = {0, lit ? p.Jsc1 : 0, lit ? p.Jsc2 : 0, lit ? p.Jsc3 : 0};
    const CircuitSolution exact = SolveCircuit(p, jsc, J3, {V1, V2, V3});
    ASSERT_TRUE(exact.converged) << "point " << i;
    const long double r = exact.passFactor;
    ASSERT_LT(r, 1) << "point " << i;
    const long double left = 1e-3L * std::max(1.0L, r / (1 - r));
    EXPECT_LE(std::fabs(V1 - exact.V1), left * std::fabs(exact.V1) + 1e-9L) << "point " << i << ", r = " << r;
    EXPECT_LE(std::fabs(V2 - exact.V2), left * std::fabs(exact.V2) + 1e-9L) << "point " << i << ", r = " << r;
    EXPECT_LE(std::fabs(V3 - exact.V3), 1e-12L * std::fabs(exact.V3) + 1e-15L) << "point " << i;
    worstV12 = std::max({worstV12, std::fabs(V1 - exact.V1), std::fabs(V2 - exact.V2)});
    worstRelativeV12 = std::max(
        {worstRelativeV12, std::fabs((V1 - exact.V1) / exact.V1), std::fabs((V2 - exact.V2) / exact.V2)});
    worstV3 = std::max(worstV3, std::fabs(V3 - exact.V3));
    worstFactor = std::max(worstFactor, r);
  };
  for (int i = 1; i <= c.lit.Size(); i += c.lit.Size() / 7) check(c.lit, i, true, false);
  for (int i = 1; i <= c.nRev; i += c.nRev / 4) check(c.dark, i, false, false);
  for (int i = c.nRev + 2; i <= c.dark.Size(); i += (c.dark.Size() - c.nRev) / 5)
    check(c.dark, i, false, true);
  std::cout << GetParam().name << ": largest difference of V1 or V2 " << static_cast<double>(worstV12)
            << " V (" << static_cast<double>(worstRelativeV12) << " relative), of V3 "
            << static_cast<double>(worstV3) << " V; largest pass factor " << static_cast<double>(worstFactor)
            << "\n";
}

INSTANTIATE_TEST_SUITE_P(Cells, AgainstNewton,
                         ::testing::Values(CircuitCase{"Default", 1e12, 1e12},
                                           CircuitCase{"Coupled", 5e3, 1e4},
                                           CircuitCase{"StronglyCoupled", 200, 50}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace pelarin
