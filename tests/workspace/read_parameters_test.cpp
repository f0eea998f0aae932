// Reading the parameter form into the parameter set, and the menus that follow the photocurrents.
#include "workspace/read_parameters.h"

#include <gtest/gtest.h>

#include "common/fake_ui.h"
#include "model/calc_error.h"

namespace pelarin {
namespace {

using testing::FakeUi;

TEST(ReadParameters, DefaultFormGivesTheDefaultCellAndRewritesNothing) {
  State state;
  FakeUi ui;
  ReadParameters(state, ui);
  const Parameters& p = state.par;
  EXPECT_EQ(ui.form.writes, 0);
  EXPECT_DOUBLE_EQ(p.Rs1, 5);
  EXPECT_DOUBLE_EQ(p.Rp1, 5000);
  EXPECT_DOUBLE_EQ(p.Jsc1, 0.008);
  EXPECT_DOUBLE_EQ(p.Jsd11, 40e-12);
  EXPECT_DOUBLE_EQ(p.Jsd12, 400e-9);
  EXPECT_DOUBLE_EQ(p.m11, 1);
  EXPECT_DOUBLE_EQ(p.m12, 2);
  EXPECT_DOUBLE_EQ(p.Rp2, 10000);
  EXPECT_DOUBLE_EQ(p.Jsc2, 0.012);
  EXPECT_DOUBLE_EQ(p.Jsd21, 1e-12);
  EXPECT_DOUBLE_EQ(p.Jsd22, 80e-9);
  EXPECT_DOUBLE_EQ(p.Rp3, 500);
  EXPECT_DOUBLE_EQ(p.Jsc3, 0.016);
  EXPECT_DOUBLE_EQ(p.Jsd31, 50e-9);
  EXPECT_DOUBLE_EQ(p.Jsd32, 1e-6);
  EXPECT_DOUBLE_EQ(p.m32, 2);
  EXPECT_DOUBLE_EQ(p.JsdMax1, 4e-7);
  EXPECT_DOUBLE_EQ(p.JsdMax2, 8e-8);
  EXPECT_DOUBLE_EQ(p.JsdMax3, 1e-6);
  for (double r : {p.Rl1, p.Rl2, p.Rg1, p.Rg2, p.Rg3}) EXPECT_DOUBLE_EQ(r, 1e12);
}

TEST(ReadParameters, JsdMaxTakesTheLargerSaturationCurrent) {
  State state;
  FakeUi ui;
  ui.form.boxes[3] = "3e-6";    // Jsd11 above Jsd12
  ui.form.boxes[11] = "1e-12";  // Jsd22 equal to Jsd21
  ReadParameters(state, ui);
  EXPECT_DOUBLE_EQ(state.par.JsdMax1, 3e-6);
  EXPECT_DOUBLE_EQ(state.par.JsdMax2, 1e-12);
}

struct Correction {
  int box;
  const char* typed;
  double Parameters::*field;
  double value;
  const char* shown;
};
void PrintTo(const Correction& c, std::ostream* os) { *os << "box " << c.box << " '" << c.typed << "'"; }

class ReadParametersCorrection : public ::testing::TestWithParam<Correction> {};

TEST_P(ReadParametersCorrection, ClampsAndShowsTheValueUsed) {
  const Correction& c = GetParam();
  State state;
  FakeUi ui;
  ui.form.boxes[c.box] = c.typed;
  ReadParameters(state, ui);
  EXPECT_DOUBLE_EQ(state.par.*c.field, c.value);
  EXPECT_EQ(ui.form.boxes[c.box], c.shown);
}

INSTANTIATE_TEST_SUITE_P(
    Boxes, ReadParametersCorrection,
    ::testing::Values(
        Correction{1, "", &Parameters::Rp1, 0.001, " .001"},
        Correction{0, "0", &Parameters::Rs1, 0.001, " .001"},
        Correction{8, "abc", &Parameters::Rp2, 0.001, " .001"},
        Correction{14, "", &Parameters::Rs3, 0.001, " .001"}, Correction{21, "3", &Parameters::Rl1, 5, " 5"},
        Correction{21, "5", &Parameters::Rl1, 5, " 5"}, Correction{21, "5.5", &Parameters::Rl1, 5.5, "5.5"},
        Correction{22, "3", &Parameters::Rl2, 10, " 10"}, Correction{22, "-1e6", &Parameters::Rl2, 10, " 10"},
        Correction{23, "1e14", &Parameters::Rg1, 1e13, "1.E+13"},
        Correction{24, "10", &Parameters::Rg2, 10, " 10"},
        Correction{25, "2e13", &Parameters::Rg3, 1e13, "1.E+13"},
        Correction{21, "1e999", &Parameters::Rl1, 1e13, "1.E+13"},
        Correction{22, "1e13", &Parameters::Rl2, 1e13, "1e13"},
        // Box 2 with a decimal comma is converted first; box 0 is never converted.
        Correction{2, "0,008", &Parameters::Jsc1, 0.008, "0.008"},
        Correction{0, "5,5", &Parameters::Rs1, 5, "5,5"},
        // Box 25 is not converted either, so its comma ends the number.
        Correction{25, "1,5e12", &Parameters::Rg3, 10, " 10"},
        // Only the first comma of a box becomes a point.
        Correction{4, "4,0,1", &Parameters::Jsd12, 4.0, "4.0,1"},
        // Nothing else is checked: negative values and zero ideality factors pass unchanged.
        Correction{5, "0", &Parameters::m11, 0, "0"},
        Correction{9, "-0.01", &Parameters::Jsc2, -0.01, "-0.01"}));

TEST(ReadParameters, ARewrittenBoxReadsBackToTheSameValue) {
  State state;
  FakeUi ui;
  ui.form.boxes[1] = "";
  ui.form.boxes[23] = "1e20";
  ReadParameters(state, ui);
  const int writes = ui.form.writes;
  ReadParameters(state, ui);
  EXPECT_EQ(ui.form.writes, writes) << "a corrected box must not be corrected again";
  EXPECT_DOUBLE_EQ(state.par.Rp1, 0.001);
  EXPECT_DOUBLE_EQ(state.par.Rg1, 1e13);
}

// ---- Menus ----

TEST(StartUpConstants, SetTheSearchConstantsAndTheFirstStudyName) {
  State state;
  state.k.maxPoints = 3;
  state.flags.subStudyFlag = 1;
  state.ws.divergeFlag = 1;
  ResetStartUpConstants(state);
  EXPECT_EQ(state.k.maxPoints, 20000);
  EXPECT_DOUBLE_EQ(state.k.Vt, 0.025851);
  EXPECT_DOUBLE_EQ(state.ws.stepFactor, 0.005);
  EXPECT_EQ(state.flags.subStudyFlag, 0);
  EXPECT_EQ(state.ws.divergeFlag, 0);
  EXPECT_EQ(state.id.studyName, "Test");
  state.id.studyName = "cellA";
  ResetStartUpConstants(state);
  EXPECT_EQ(state.id.studyName, "cellA");
}

}  // namespace
}  // namespace pelarin
