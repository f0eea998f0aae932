// The studies with the coupling network, run with the real solvers through the scripted interface, and
// their computed points against an independent long-double Newton solution of the circuit.
#include "studies/coupled_studies.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <iostream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "common/fake_ui.h"
#include "common/solver_fixtures.h"
#include "common/table_reading.h"
#include "common/temp_folder.h"
#include "model/calc_error.h"
#include "model/number_text.h"
#include "studies/studies.h"
#include "workspace/read_parameters.h"

namespace pelarin {
namespace {

namespace fs = std::filesystem;
using testing::CountCircles;
using testing::Lines;
using testing::Read;
using testing::Write;

constexpr int kRl2Box = 22, kRg3Box = 25;
const std::string kTitles = "V (V)    \tCurrent (A/cm2)\tV1 (V)    \tV2 (V)    \tV3 (V)";
const std::string kResistances =
    "Rl1 = 1.E+12\tRl2 = 1.E+12\tRg1 = 1.E+12\tRg2 = 1.E+12\tRg3 = 1.E+12\t(Ohm.cm2)";

// A column of the data lines, from line 3 on (line 2 holds the resistances).
std::vector<double> Column(const std::vector<std::string>& lines, int column) {
  return testing::Column(lines, column, 2);
}

class CoupledStudy : public testing::TempFolderTest {
 protected:
  void SetUp() override {
    fs::current_path(dir);
    ResetStartUpConstants(state);
  }
  // Reads the form, then the fully lit stack's open-circuit voltage, as the studies' sub-step does.
  void ReadFormAndOpenCircuit() {
    ReadParameters(state, ui);
    (void)LitStackSweep(state);
  }
  [[nodiscard]] std::vector<std::string> Table(const std::string& name) const {
    return Lines(Read(dir / "Test_plr" / ("Test" + name)));
  }
  State state;
  testing::FakeUi ui;
};

// ---- All junctions ----

struct LitStartCase {
  double jsc1, jsc2, jsc3, start;
};
class LitStartCurrent : public ::testing::TestWithParam<LitStartCase> {};

// 1e-8 A/cm2 unless a photocurrent is small; Jsc3 is compared with 1e-8 itself, the others by their
// hundredth.
TEST_P(LitStartCurrent, FollowsTheSmallPhotocurrents) {
  Parameters p = testing_cell::DefaultParameters();
  p.Jsc1 = GetParam().jsc1, p.Jsc2 = GetParam().jsc2, p.Jsc3 = GetParam().jsc3;
  EXPECT_DOUBLE_EQ(LitStartCurrentWithRl(p), GetParam().start);
}
INSTANTIATE_TEST_SUITE_P(Cases, LitStartCurrent,
                         ::testing::Values(LitStartCase{0.008, 0.012, 0.016, 1e-8},
                                           LitStartCase{0.008, 0.012, 5e-9, 5e-11},
                                           LitStartCase{0.008, 0.012, 1e-7, 1e-8},
                                           LitStartCase{1e-7, 0.012, 0.016, 1e-9},
                                           LitStartCase{0.008, 5e-7, 0.016, 5e-9}));

TEST_F(CoupledStudy, AllJunctionsDrawsBothCurvesAndWritesTheTwoTables) {
  ui.answers = {false, true};  // no measured data; save
  StudyWithRl(state, ui);
  const auto lit = Table("_J(V)_AllJunctions_Rl.txt"), dark = Table("_J(V)_AllJunctions_dark_Rl.txt");
  ASSERT_GT(lit.size(), 100u);
  ASSERT_GT(dark.size(), 100u);
  EXPECT_EQ(lit[0], kTitles + "\t        Jrg1 (A)\tJrg2 (A)\tJrg3 (A)\tJrl2 (A)\tJrl1 (A)");
  EXPECT_EQ(dark[0], kTitles);
  EXPECT_EQ(lit[1], kResistances);
  EXPECT_EQ(dark[1], kResistances);

  // Lit: from 1e-8 A/cm2 (less leaks of order 1e-12) near open circuit down to about -0.5 V.
  const auto v = Column(lit, 0), j = Column(lit, 1);
  EXPECT_NEAR(j.front(), 1e-8, 1e-11);
  EXPECT_GT(v.front(), 1.3);
  EXPECT_LT(v.back(), -0.45);
  // Every coupling resistance at 1e12: every leak current is at most a few 1e-12.
  for (int c = 5; c <= 9; ++c)
    for (double leak : Column(lit, c)) EXPECT_LT(std::fabs(leak), 5e-12) << "column " << c + 1;

  // Dark: the first line holds the most negative voltage; the voltage rises to 3 V. The reverse branch
  // ends with its first point, at 0.5 mV over the six resistances (about 3.22e-8 A/cm2), and the forward
  // branch follows from |-1e-13| A/cm2.
  const auto dv = Column(dark, 0), dj = Column(dark, 1);
  EXPECT_EQ(dv.front(), *std::min_element(dv.begin(), dv.end()));
  EXPECT_LT(dv.front(), -0.99);
  EXPECT_GT(dv.back(), 2.99);
  EXPECT_TRUE(std::is_sorted(dv.begin(), dv.end()));
  const auto forward = std::find_if(dj.begin(), dj.end(), [](double x) { return x < 1e-12; }) - dj.begin();
  ASSERT_GT(forward, 100);
  EXPECT_NEAR(dj[forward - 1], 3.22e-8, 0.005e-8);
  EXPECT_NEAR(dj[forward - 1], 0.0005 / 15515, 1e-12);

  EXPECT_EQ(CountCircles(ui.linlin, 33023), lit.size() - 2);
  EXPECT_EQ(CountCircles(ui.linlog, 16576), dark.size() - 2);
  EXPECT_EQ(ui.linlin.caption,
            "Test                    J(V) Junctions Illuminated with Rl [J (A/cm2) vs V (V)]");
  EXPECT_EQ(ui.linlog.caption, "Test                    J(V) Junctions Dark with Rl");
  EXPECT_EQ(state.id.studyLabel, "Test_3 junctions_wRl");
  EXPECT_EQ(ui.form.showCount, 1);

  // A real network: its values in line 2, and the leak columns in their order (Jrg3 third, Jrl2 fourth).
  ui.form.boxes[kRl2Box] = "5e3";
  ui.form.boxes[kRg3Box] = "1e4";
  ui.answers = {false, true, true};
  StudyWithRl(state, ui);
  const auto coupled = Table("_J(V)_AllJunctions_Rl.txt");
  EXPECT_EQ(coupled[1], "Rl1 = 1.E+12\tRl2 = 5.E+3\tRg1 = 1.E+12\tRg2 = 1.E+12\tRg3 = 1.E+4\t(Ohm.cm2)");
  const std::size_t row = coupled.size() / 2 - 2;
  EXPECT_NEAR(Column(coupled, 7)[row], Column(coupled, 4)[row] / 1e4,
              1e-3 * std::fabs(Column(coupled, 7)[row]));
  EXPECT_NEAR(Column(coupled, 8)[row], (Column(coupled, 0)[row] - Column(coupled, 4)[row]) / 5e3, 3e-7);
}

// The overwrite question is asked for the lit table only; No keeps both old tables and ends the study.
TEST_F(CoupledStudy, DecliningTheOverwriteLeavesBothOldTables) {
  fs::create_directory(dir / "Test_plr");
  Write(dir / "Test_plr" / "Test_J(V)_AllJunctions_Rl.txt", "old lit");
  Write(dir / "Test_plr" / "Test_J(V)_AllJunctions_dark_Rl.txt", "old dark");
  ui.answers = {false, true, false};
  StudyWithRl(state, ui);
  EXPECT_EQ(Read(dir / "Test_plr" / "Test_J(V)_AllJunctions_Rl.txt"), "old lit");
  EXPECT_EQ(Read(dir / "Test_plr" / "Test_J(V)_AllJunctions_dark_Rl.txt"), "old dark");
  EXPECT_EQ(ui.questions.back().question, Question::OverwriteResults);
  EXPECT_EQ(ui.form.showCount, 0);
}

// Measured files of 300 lines draw 199 points each. A file that cannot be drawn ends the overlay with a
// message and the save question follows once; a table that cannot be written reaches the caller.
TEST_F(CoupledStudy, OverlayKeeps199PointsAndItsFailureGoesOnToTheSaveQuestion) {
  std::string data = "V\tJ\r\n";
  for (int i = 1; i < 300; ++i) data += std::to_string(i * 0.001) + "\t1,5e-5\r\n";
  fs::create_directory(dir / "exp");
  Write(dir / "exp" / "cell_lit.txt", data);
  Write(dir / "exp" / "cell_Dark.txt", data);
  ui.answers = {true, false};
  ui.fileChoices = {In("exp/cell_lit.txt")};
  StudyWithRl(state, ui);
  EXPECT_EQ(CountCircles(ui.linlin, PaletteColour(8)), 199u);
  EXPECT_EQ(CountCircles(ui.linlog, PaletteColour(8)), 199u);

  fs::current_path(dir);  // the file dialog moved it to the measured data's folder
  Write(dir / "header_only.txt", "V\tJ\r\n");
  fs::create_directories(dir / "Test_plr" / "Test_J(V)_AllJunctions_dark_Rl.txt");  // a folder in the way
  ui.answers = {true, true};
  ui.fileChoices = {In("header_only.txt")};
  ui.questions.clear();
  EXPECT_THROW(StudyWithRl(state, ui), FileError);
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].title, "Exp. data");
  ASSERT_EQ(ui.questions.size(), 2u);
  EXPECT_EQ(ui.questions[1].question, Question::SaveData);
}

// ---- One and two junctions ----

TEST_F(CoupledStudy, OneJunctionCurvesMeetAtPlusAndMinusTheirStartCurrent) {
  ReadFormAndOpenCircuit();
  const PartialCurvesWithRl c = ComputeOneLitWithRl(state, LargestParallelResistance(state.par));
  // maxRp = Rp2 = 10000: 1e-8 A/cm2 for junctions 1 and 3, a hundred times less for junction 2.
  const double start[] = {0, 1e-8, 1e-10, 1e-8};
  for (int k = 1; k <= 3; ++k) {
    EXPECT_DOUBLE_EQ(c.startCurrent[k], start[k]);
    const StackCurve& curve = c.curve[k];
    int i = 1;
    while (i <= curve.Size() && curve.J(i) > 0) ++i;
    ASSERT_TRUE(i > 1 && i <= curve.Size()) << k;
    EXPECT_NEAR(curve.J(i - 1), start[k], 1e-11) << k;
    EXPECT_NEAR(curve.J(i), -start[k], 1e-11) << k;
  }
}

TEST_F(CoupledStudy, TwoJunctionSweepsStartAtMostAt1e12) {
  ReadFormAndOpenCircuit();
  const PartialCurvesWithRl defaults = ComputeTwoLitWithRl(state);
  for (int k = 1; k <= 3; ++k) EXPECT_DOUBLE_EQ(defaults.startCurrent[k], 1e-12) << k;
  ui.form.boxes[17] = ui.form.boxes[18] = "1e-12";  // Jsd31, Jsd32: JsdMax3 / 5 = 2e-13
  ReadFormAndOpenCircuit();
  const PartialCurvesWithRl small = ComputeTwoLitWithRl(state);
  EXPECT_DOUBLE_EQ(small.startCurrent[3], 2e-13);
  EXPECT_DOUBLE_EQ(small.startCurrent[2], 1e-12);
  EXPECT_GT(small.curve[3].Size(), 100);
}

// A sweep B that ends at its first point adds no point and drops none of sweep A's: each curve is then the
// complete curve's points up to where sweep B begins (the change of sign).
TEST_F(CoupledStudy, AnEmptySweepAddsNoPointAndDropsNone) {
  ReadFormAndOpenCircuit();
  const PartialCurvesWithRl whole = ComputeOneLitWithRl(state, 10000);
  state.sweep.stackVoc = -1;  // every sweep B ends at its first point
  const PartialCurvesWithRl sweepA = ComputeOneLitWithRl(state, 10000);
  for (int k = 1; k <= 3; ++k) {
    const StackCurve &a = sweepA.curve[k], &w = whole.curve[k];
    ASSERT_GT(a.Size(), 100);
    ASSERT_GT(w.Size(), a.Size() + 100);
    for (int i = 1; i <= a.Size(); ++i) ASSERT_EQ(a.V(i), w.V(i)) << "curve " << k << " point " << i;
    EXPECT_GT(w.J(a.Size()), 0) << k;
    EXPECT_LT(w.J(a.Size() + 1), 0) << k;
  }
}

TEST_F(CoupledStudy, OneJunctionWritesThreeTablesThatMayOutgrowOneSweep) {
  state.k.maxPoints = 40;  // each sweep fills its 40 points; a curve holds 40 + 39
  ui.answers = {true};
  StudyOneWithRl(state, ui);
  EXPECT_FALSE(ui.linlog.visible);
  EXPECT_EQ(ui.linlin.caption,
            "Test                    J(V) 1 Junction Illuminated with Rl [J (A/cm2) vs V (V)]");
  EXPECT_EQ(ui.form.showCount, 1) << "only the sub-step shows the form";
  const Colour colour[] = {0, 255, 65280, 16711680};
  for (int k = 1; k <= 3; ++k) {
    const std::string name = "_J(V)_1junction_#" + std::to_string(k) + "_Rl.txt";
    EXPECT_EQ(state.id.illumFiles[k], (dir / "Test_plr" / ("Test" + name)).string());
    const auto lines = Table(name);
    ASSERT_EQ(lines.size(), 2u + 79u) << name;
    EXPECT_EQ(lines[0], kTitles + "\t        Jrg1 (A)\tJrg2 (A)\tJrg3 (A)");
    EXPECT_EQ(lines[1], kResistances);
    EXPECT_EQ(CountCircles(ui.linlin, colour[k]), 79u);
  }
}

// Only the "#2&#3" table is checked: declining keeps all three; without it the others are replaced.
TEST_F(CoupledStudy, TwoJunctionsChecksOnlyTheFirstTable) {
  fs::create_directory(dir / "Test_plr");
  const std::string names[] = {"", "_J(V)_2Junctions_#2&#3_Rl.txt", "_J(V)_2Junctions_#1&#3_Rl.txt",
                               "_J(V)_2Junctions_#1&#2_Rl.txt"};
  for (int k = 1; k <= 3; ++k) Write(dir / "Test_plr" / ("Test" + names[k]), "old");
  ui.answers = {true, false};
  StudyTwoWithRl(state, ui);
  for (int k = 1; k <= 3; ++k) EXPECT_EQ(Read(dir / "Test_plr" / ("Test" + names[k])), "old") << k;
  for (Colour c : {128u, 32768u, 8388608u}) EXPECT_GT(CountCircles(ui.linlin, c), 100u) << c;
  EXPECT_EQ(state.id.studyLabel, "Test_2 junctions_wRl");

  fs::remove(dir / "Test_plr" / ("Test" + names[1]));
  ui.answers = {true};
  ui.questions.clear();
  StudyTwoWithRl(state, ui);
  EXPECT_EQ(ui.questions.size(), 1u);
  for (int k = 1; k <= 3; ++k) EXPECT_EQ(Table(names[k])[1], kResistances) << k;
}

// No positive parallel resistance: a clear calculation message before anything runs, no division by zero.
TEST_F(CoupledStudy, NoPositiveShuntEndsTheOneJunctionStudyClearly) {
  ui.form.boxes[1] = ui.form.boxes[8] = ui.form.boxes[15] = "-5";
  try {
    StudyOneWithRl(state, ui);
    FAIL() << "expected a calculation error";
  } catch (const CalcError& e) {
    EXPECT_NE(std::string(e.what()).find("no parallel resistance is positive"), std::string::npos)
        << e.what();
  }
  EXPECT_EQ(ui.form.showCount, 0) << "the sub-step did not run";
  EXPECT_FALSE(fs::exists(dir / "Test_plr"));
}

// A dark junction: each study says what it needs, as the batch tool does, and computes nothing.
class DarkJunction : public CoupledStudy, public ::testing::WithParamInterface<void (*)(State&, Ui&)> {};
TEST_P(DarkJunction, IsAClearRefusal) {
  ui.form.boxes[9] = "0";  // Jsc2
  GetParam()(state, ui);
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].text,
            "This study needs all three junctions illuminated (Jsc1, Jsc2 and Jsc3 nonzero).");
  EXPECT_TRUE(ui.questions.empty());
  EXPECT_EQ(ui.form.showCount, 0);
  EXPECT_FALSE(fs::exists(dir / "Test_plr"));
}
INSTANTIATE_TEST_SUITE_P(Studies, DarkJunction,
                         ::testing::Values(&StudyWithRl, &StudyOneWithRl, &StudyTwoWithRl));

// ---- Against an independent solution of the circuit ----

// The circuit at junction 3's current J3 by Newton's method in long double: the three junction balances
// with J2 = J3 + Jrl2 - Jrg3 and J1 = J2 + Jrl1 - Jrg2 (Kirchhoff at the inner nodes). passFactor is the
// factor by which one pass of junction 2 then junction 1 shrinks the distance to the solution.
struct CircuitSolution {
  std::array<long double, 4> V;  // 1..3
  long double passFactor;
};

CircuitSolution SolveCircuit(const Parameters& p, const std::array<double, 4>& jsc, long double J3,
                             std::array<long double, 4> V) {
  const long double Vt = 0.025851L, Rl1 = p.Rl1, Rl2 = p.Rl2, Rg2 = p.Rg2, Rg3 = p.Rg3;
  const std::array<std::array<long double, 6>, 4> cell = {{{},
                                                           {p.Rs1, p.Rp1, p.Jsd11, p.Jsd12, p.m11, p.m12},
                                                           {p.Rs2, p.Rp2, p.Jsd21, p.Jsd22, p.m21, p.m22},
                                                           {p.Rs3, p.Rp3, p.Jsd31, p.Jsd32, p.m31, p.m32}}};
  // A junction's balance f(V, J) and its slopes along V and along J.
  const auto balance = [&](int k, long double v, long double J) {
    const auto& [Rs, Rp, Jsd1, Jsd2, m1, m2] = cell[k];
    const long double Vd = v + Rs * J, e1 = std::exp(Vd / (m1 * Vt)), e2 = std::exp(Vd / (m2 * Vt));
    const long double g = 1 / Rp + Jsd1 * e1 / (m1 * Vt) + Jsd2 * e2 / (m2 * Vt);
    return std::array<long double, 3>{Vd / Rp + J - jsc[k] + Jsd1 * (e1 - 1) + Jsd2 * (e2 - 1), g,
                                      Rs * g + 1};
  };
  for (int iteration = 0; iteration < 100; ++iteration) {
    const long double J2 = J3 + (V[1] + V[2]) / Rl2 - V[3] / Rg3, J1 = J2 + V[1] / Rl1 - (V[2] + V[3]) / Rg2;
    const auto [f1, g1, h1] = balance(1, V[1], J1);
    const auto [f2, g2, h2] = balance(2, V[2], J2);
    const auto [f3, g3, h3] = balance(3, V[3], J3);
    // The Jacobian is upper triangular in V3, so eliminate the 2 x 2 block of V1, V2 directly.
    const long double d3 = -f3 / g3;
    const long double a11 = g1 + h1 * (1 / Rl2 + 1 / Rl1), a12 = h1 * (1 / Rl2 - 1 / Rg2);
    const long double a21 = h2 / Rl2, a22 = g2 + h2 / Rl2;
    const long double b1 = -f1 + h1 * (1 / Rg3 + 1 / Rg2) * d3, b2 = -f2 + h2 / Rg3 * d3;
    const long double det = a11 * a22 - a12 * a21;
    const long double d1 = (b1 * a22 - a12 * b2) / det, d2 = (a11 * b2 - a21 * b1) / det;
    V[1] += d1, V[2] += d2, V[3] += d3;
    if (std::fabs(d1) + std::fabs(d2) + std::fabs(d3) < 1e-16L)
      return {V, std::fabs(a21 * a12 / (a22 * a11))};
  }
  ADD_FAILURE() << "Newton's method did not settle at J3 = " << static_cast<double>(J3);
  return {V, 0};
}

class AgainstNewton : public CoupledStudy, public ::testing::WithParamInterface<std::pair<double, double>> {};

// Lit and dark points against the exact circuit at the same junction-3 current. The coupled iteration
// stops once a pass changes V1 and V2 by less than 0.1 %; with a pass factor r the distance left is at
// most 0.1 % x r / (1 - r), more than 0.1 % where Rl2 and Rg3 tie the junctions closely (r near 1). V3
// comes from the direct search at the imposed current and agrees to rounding.
TEST_P(AgainstNewton, PointsAgreeWithinTheCoupledIterationsTolerance) {
  ui.form.boxes[kRl2Box] = std::to_string(GetParam().first);
  ui.form.boxes[kRg3Box] = std::to_string(GetParam().second);
  ReadParameters(state, ui);
  const Parameters& p = state.par;
  const StackCurvesWithRl c = ComputeStackWithRl(state);
  long double worst12 = 0, worstRelative12 = 0, worst3 = 0, worstFactor = 0;
  const auto check = [&](const StackCurve& curve, int i, bool lit, long double sign) {
    const std::array<long double, 4> V = {0, curve.V1(i), curve.V2(i), curve.V3(i)};
    const long double J3 = sign * curve.J(i) + curve.V(i) / p.Rg1 + (V[2] + V[3]) / p.Rg2 + V[3] / p.Rg3;
    const CircuitSolution exact =
        SolveCircuit(p, {0, lit ? p.Jsc1 : 0, lit ? p.Jsc2 : 0, lit ? p.Jsc3 : 0}, J3, V);
    const long double r = exact.passFactor, left = 1e-3L * std::max(1.0L, r / (1 - r));
    ASSERT_LT(r, 1);
    for (int k = 1; k <= 2; ++k) {
      const long double error = std::fabs(V[k] - exact.V[k]);
      EXPECT_LE(error, left * std::fabs(exact.V[k]) + 1e-9L)
          << "V" << k << " at point " << i << ", r = " << r;
      worst12 = std::max(worst12, error);
      worstRelative12 = std::max(worstRelative12, error / std::fabs(exact.V[k]));
    }
    EXPECT_LE(std::fabs(V[3] - exact.V[3]), 1e-12L * std::fabs(exact.V[3]) + 1e-15L) << "point " << i;
    worst3 = std::max(worst3, std::fabs(V[3] - exact.V[3]));
    worstFactor = std::max(worstFactor, r);
  };
  for (int i = 1; i <= c.lit.Size(); i += c.lit.Size() / 7) check(c.lit, i, true, 1);
  for (int i = 1; i <= c.nRev; i += c.nRev / 4) check(c.dark, i, false, 1);
  for (int i = c.nRev + 2; i <= c.dark.Size(); i += (c.dark.Size() - c.nRev) / 5) check(c.dark, i, false, -1);
  std::cout << "Rl2 = " << p.Rl2 << ", Rg3 = " << p.Rg3 << ": largest difference of V1 or V2 "
            << static_cast<double>(worst12) << " V (" << static_cast<double>(worstRelative12)
            << " relative), of V3 " << static_cast<double>(worst3) << " V; largest pass factor "
            << static_cast<double>(worstFactor) << "\n";
}
INSTANTIATE_TEST_SUITE_P(Cells, AgainstNewton,
                         ::testing::Values(std::pair{1e12, 1e12}, std::pair{5e3, 1e4},
                                           std::pair{200.0, 50.0}));

}  // namespace
}  // namespace pelarin
