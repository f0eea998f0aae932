// The studies' legends and figures of merit, with the real solvers: an ideal junction whose figures are
// known in closed form, the default cell's figures as read by hand from its tables, the names and titles
// each study gives its curves, and the open-circuit solves that leave the studies' state alone.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "common/fake_ui.h"
#include "common/temp_folder.h"
#include "studies/coupled_studies.h"
#include "studies/curve_figures.h"
#include "studies/eqe_artefact_study.h"
#include "studies/studies.h"
#include "studies/study_output.h"
#include "workspace/read_parameters.h"

namespace pelarin {
namespace {

namespace fs = std::filesystem;
using testing::FakeUi;
using testing::TempFolderTest;

std::vector<std::string> Names(const testing::FakePlotWindow& window) {
  std::vector<std::string> names;
  for (const LegendEntry& entry : window.surface.Legend()) names.push_back(entry.name);
  return names;
}

class FiguresTest : public TempFolderTest {
 protected:
  void SetUp() override {
    TempFolderTest::SetUp();
    fs::current_path(dir);
    ResetStartUpConstants(state);
  }
  // The figures of the lit curve the legend of linlin lists at index i.
  const FiguresOfMerit& Lit(std::size_t i) const {
    const auto& legend = ui.linlin.surface.Legend();
    EXPECT_LT(i, legend.size());
    EXPECT_TRUE(legend.at(i).figures.has_value()) << legend.at(i).name;
    return *legend.at(i).figures;
  }
  State state;
  FakeUi ui;
};

// One junction with Rs ~ 0 (0 reads as 0.001), Rp = 1e12 and a single ideal diode, Jsd = 1e-12 A/cm2,
// m = 1, lit with 0.01 A/cm2: J = Jsc - Jsd (exp(V/Vt) - 1), so Voc = Vt ln(Jsc/Jsd + 1) = 0.5952 V (no
// current, no drop in Rs), and the maximum power point solves exp(Vmp/Vt) (1 + Vmp/Vt) = Jsc/Jsd + 1.
TEST_F(FiguresTest, OfAnIdealJunctionMatchTheClosedForm) {
  const char* texts[7] = {"0", "1e12", "0.01", "1e-12", "0", "1", "2"};
  for (int i = 0; i < 7; ++i) ui.form.SetBoxText(i, texts[i]);
  ui.form.SetBoxText(9, "0");  // junctions 2 and 3 dark: not computed
  ui.form.SetBoxText(16, "0");
  ui.answers = {false};
  IndependentStudy(state, ui);

  const double vt = state.k.Vt, ratio = 0.01 / 1e-12 + 1;
  double x = 20;  // Vmp / Vt by Newton's method
  for (int i = 0; i < 50; ++i) x -= (std::exp(x) * (1 + x) - ratio) / (std::exp(x) * (2 + x));
  const double vmp = x * vt, jmp = 0.01 - 1e-12 * std::expm1(x);
  // The series resistance of 0.001 Ohm.cm2 costs Rs Jmp^2 at the maximum, to first order.
  const double pmax = vmp * jmp - 0.001 * jmp * jmp;

  ASSERT_EQ(Names(ui.linlin), std::vector<std::string>{"#1 alone"});
  const FiguresOfMerit& f = Lit(0);
  ASSERT_TRUE(f.Voc && f.Jsc && f.Pmax && f.Vmp && f.FF && f.efficiency);
  // The curve stops a step short of open circuit; its Voc is solved there, to far better than the step.
  const auto points = ui.linlin.surface.Curves().at(0).points;
  EXPECT_GT(points.back().second, 0);
  EXPECT_GT(*f.Voc, points.back().first);
  EXPECT_NEAR(*f.Voc, vt * std::log(ratio), 1e-9);
  EXPECT_NEAR(vt * std::log(ratio), 0.5952, 5e-5);
  // The current search stops at a relative change of 1e-5; the parabola places the maximum within a
  // fortieth of the 2 mV step, its value within a few millionths.
  EXPECT_NEAR(*f.Jsc, 0.01, 1e-7);
  EXPECT_NEAR(*f.Vmp, vmp, 5e-5);
  EXPECT_NEAR(*f.Pmax, pmax, pmax * 3e-6);
  EXPECT_DOUBLE_EQ(*f.FF, *f.Pmax / (*f.Voc * *f.Jsc));
  EXPECT_DOUBLE_EQ(*f.efficiency, *f.Pmax * 1000);  // % of the default 100 mW/cm2
}

// By hand, from the default stack table: Voc 1.383 V, Jsc 8.14 mA/cm2, Pmax 8.22 mW/cm2 near 1.09 V,
// FF 0.73.
TEST_F(FiguresTest, OfTheDefaultStackAreThoseReadFromItsTable) {
  state.figures.incidentPower = 80;
  ui.answers = {false, false};  // no measured data, no tables
  StudyAllJunctions(state, ui);
  EXPECT_EQ(Names(ui.linlin), std::vector<std::string>{"stack"});
  EXPECT_EQ(Names(ui.linlog), std::vector<std::string>{"stack, dark"});
  EXPECT_FALSE(ui.linlog.surface.Legend()[0].figures) << "a dark curve has no figures";
  const FiguresOfMerit stack = Lit(0);
  ASSERT_TRUE(stack.Voc && stack.Jsc && stack.Pmax && stack.Vmp && stack.FF && stack.efficiency);
  EXPECT_NEAR(*stack.Voc, 1.383, 5e-4);
  EXPECT_NEAR(*stack.Jsc, 8.14e-3, 5e-6);
  EXPECT_NEAR(*stack.Pmax, 8.22e-3, 5e-6);
  EXPECT_NEAR(*stack.Vmp, 1.09, 2e-3);
  EXPECT_NEAR(*stack.FF, 0.73, 5e-3);
  EXPECT_DOUBLE_EQ(*stack.efficiency, *stack.Pmax * 1000 / 80 * 100);

  // The stack's Voc is the sum of its junctions' own, each solved at J = 0.
  ui.answers = {false};
  IndependentStudy(state, ui);
  EXPECT_NEAR(*Lit(0).Voc + *Lit(1).Voc + *Lit(2).Voc, *stack.Voc, 1e-9);

  // Inside a network of 1e12 Ohm.cm2 the stack keeps that Voc, to the coupled iteration's 0.1 %.
  ui.answers = {false, false};
  StudyWithRl(state, ui);
  ASSERT_TRUE(Lit(0).Voc);
  EXPECT_NEAR(*Lit(0).Voc, *stack.Voc, 2e-3);
  EXPECT_NEAR(*Lit(0).Jsc, *stack.Jsc, 1e-5);
}

TEST_F(FiguresTest, PartlyLitStacksCrossJZeroAtTheirLitJunctionsVoltages) {
  ui.answers = {false};
  StudyOneJunction(state, ui);
  // With the others dark and carrying no current, the stack's open circuit is the lit junction's.
  EXPECT_EQ(Names(ui.linlin),
            (std::vector<std::string>{"#1 lit, #2 #3 dark", "#2 lit, #1 #3 dark", "#3 lit, #1 #2 dark"}));
  std::vector<double> alone;
  for (std::size_t k = 0; k < 3; ++k) alone.push_back(*Lit(k).Voc);
  ui.answers = {false};
  IndependentStudy(state, ui);
  for (std::size_t k = 0; k < 3; ++k) EXPECT_NEAR(alone[k], *Lit(k).Voc, 2e-4) << "junction " << k + 1;

  ui.answers = {false};
  StudyTwoJunctions(state, ui);
  EXPECT_EQ(Names(ui.linlin),
            (std::vector<std::string>{"#2 #3 lit, #1 dark", "#1 #3 lit, #2 dark", "#1 #2 lit, #3 dark"}));
  for (std::size_t k = 0; k < 3; ++k) EXPECT_TRUE(Lit(k).Voc && Lit(k).Pmax);
}

TEST_F(FiguresTest, PlotsCarryTheStudyLabelAndAxisTitles) {
  ui.answers = {false, false};
  StudyAllJunctions(state, ui);
  const PlotTitles& lit = ui.linlin.surface.Titles();
  EXPECT_EQ(lit.title, "Test_All junctions");
  EXPECT_EQ(lit.xTitle, "V (V)");
  EXPECT_EQ(lit.yTitle, "J (A/cm2)");
  EXPECT_FALSE(lit.logY);
  EXPECT_TRUE(ui.linlog.surface.Titles().logY);

  ui.answers = {false};
  EqeIlluminatedStudy(state, ui);
  EXPECT_EQ(ui.linlin.surface.Titles().yTitle, "contribution (%)");
  EXPECT_EQ(Names(ui.linlin), (std::vector<std::string>{"junction #1", "junction #2", "junction #3"}));
  for (const LegendEntry& entry : ui.linlin.surface.Legend())
    EXPECT_FALSE(entry.figures) << "contributions are no J(V) curves";
}

TEST_F(FiguresTest, MeasuredDataJoinTheLegendAsOpenCircles) {
  testing::Write(dir / "cell.txt", "V\tJ\r\n0\t0.008\r\n1\t0.004\r\n");
  ui.answers = {true, false};  // measured data, no tables
  ui.fileChoices = {In("cell.txt")};
  StudyAllJunctions(state, ui);
  ASSERT_EQ(Names(ui.linlin), (std::vector<std::string>{"stack", "measured"}));
  const auto curves = ui.linlin.surface.Curves();
  EXPECT_TRUE(curves[1].entry.hollow);
  EXPECT_EQ(curves[1].points.size(), 2u);
}

TEST_F(FiguresTest, SavedTablesAreAnnounced) {
  ui.answers = {false, true};
  StudyAllJunctions(state, ui);
  ASSERT_EQ(ui.saved.size(), 1u);
  EXPECT_EQ(ui.saved[0], (std::vector<std::string>{state.id.studyDir + "Test_J(V)_AllJunctions.txt",
                                                   state.id.studyDir + "Test_J(V)_AllJunctions_dark.txt"}));
  ui.answers = {false};
  StudyOneJunction(state, ui);
  EXPECT_EQ(ui.saved.size(), 1u) << "nothing saved, nothing announced";
}

// The figures' solves run on a copy: what the sweeps carry from one call to the next stays as it was.
TEST_F(FiguresTest, FigureSolvesLeaveTheStateAlone) {
  ReadParameters(state, ui);
  const StackCurve lit = LitStackSweep(state);
  const State before = state;
  const FiguresOfMerit f =
      SeriesCurveFigures(state, lit, {.photocurrents = {0, state.par.Jsc1, state.par.Jsc2, state.par.Jsc3}});
  ASSERT_TRUE(f.Voc);
  EXPECT_GT(*f.Voc, lit.V(1));  // the sweep's first point carries 1e-9 A/cm2, just below open circuit
  EXPECT_LT(*f.Voc - lit.V(1), 1e-6);
  EXPECT_TRUE(
      NetworkCurveFigures(state, lit, {0, state.par.Jsc1, state.par.Jsc2, state.par.Jsc3}, 1e-8).Pmax);
  EXPECT_EQ(state.ws.V1, before.ws.V1);
  EXPECT_EQ(state.ws.V2, before.ws.V2);
  EXPECT_EQ(state.ws.curJset, before.ws.curJset);
  EXPECT_EQ(state.ws.curV, before.ws.curV);
  EXPECT_EQ(state.sweep.resCount, before.sweep.resCount);
  EXPECT_EQ(state.sweep.resVtot, before.sweep.resVtot);
  EXPECT_EQ(state.sweep.stackVoc, before.sweep.stackVoc);
}

TEST(StackCurveNameTest, NamesTheLitAndTheDarkJunctions) {
  EXPECT_EQ(StackCurveName({false, true, true, true}), "stack");
  EXPECT_EQ(StackCurveName({false, true, false, false}), "#1 lit, #2 #3 dark");
  EXPECT_EQ(StackCurveName({false, true, true, false}), "#1 #2 lit, #3 dark");
  EXPECT_EQ(StackCurveName({false, false, false, false}), "stack, dark");
}

TEST(ConditionsNoteTest, NamesTheConditionsAndTheCouplingPhysicsThatIsOn) {
  const auto note = [](const std::function<void(Parameters&)>& change) {
    Parameters p;
    change(p);
    return ConditionsNote(p);
  };
  EXPECT_EQ(note([](Parameters&) {}), "");
  EXPECT_EQ(note([](Parameters& p) { p.T = 80, p.X = 500; }),
            " (T = 80 \xC2\xB0"
            "C, X = 500 suns)");
  EXPECT_EQ(note([](Parameters& p) { p.beta3 = 0.2; }), " (beta3 = 0.2)");
  // A breakdown voltage or exponent counts only where that junction breaks down.
  EXPECT_EQ(note([](Parameters& p) { p.Vbd1 = -5, p.nbd2 = 4, p.Abd2 = 0.5; }), " (Abd2 = 0.5, nbd2 = 4)");
  EXPECT_EQ(note([](Parameters& p) { p.T = 0, p.beta2 = 0.1; }),
            " (T = 0 \xC2\xB0"
            "C, X = 1 sun; beta2 = 0.1)");
}

}  // namespace
}  // namespace pelarin
