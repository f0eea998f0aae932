// Reading the parameter form into the parameter set, and the menus that follow the photocurrents.
#include "workspace/read_parameters.h"

#include <gtest/gtest.h>

#include "common/fake_ui.h"
#include "common/parameter_checks.h"
#include "common/solver_fixtures.h"
#include "model/calc_error.h"

namespace pelarin {
namespace {

using testing::ExpectSameParameters;
using testing::FakeUi;

TEST(ReadParameters, DefaultFormGivesTheDefaultCellAndRewritesNothing) {
  State state;
  FakeUi ui;
  ReadParameters(state, ui);
  EXPECT_EQ(ui.form.writes, 0);
  ExpectSameParameters(state.par, testing_cell::DefaultParameters());
}

// Box n holds the parameter named here, written out independently of the parameter table, so that two
// swapped rows, labels or members fail. Every box gets its own value inside the range it accepts.
TEST(ReadParameters, EachBoxSetsItsOwnParameter) {
  struct Box {
    const char* name;
    double Parameters::*member;
  };
  const Box boxes[kParameterCount] = {
      {"Rs1", &Parameters::Rs1},     {"Rp1", &Parameters::Rp1},     {"Jsc1", &Parameters::Jsc1},
      {"Jsd11", &Parameters::Jsd11}, {"Jsd12", &Parameters::Jsd12}, {"m11", &Parameters::m11},
      {"m12", &Parameters::m12},     {"Rs2", &Parameters::Rs2},     {"Rp2", &Parameters::Rp2},
      {"Jsc2", &Parameters::Jsc2},   {"Jsd21", &Parameters::Jsd21}, {"Jsd22", &Parameters::Jsd22},
      {"m21", &Parameters::m21},     {"m22", &Parameters::m22},     {"Rs3", &Parameters::Rs3},
      {"Rp3", &Parameters::Rp3},     {"Jsc3", &Parameters::Jsc3},   {"Jsd31", &Parameters::Jsd31},
      {"Jsd32", &Parameters::Jsd32}, {"m31", &Parameters::m31},     {"m32", &Parameters::m32},
      {"Rl1", &Parameters::Rl1},     {"Rl2", &Parameters::Rl2},     {"Rg1", &Parameters::Rg1},
      {"Rg2", &Parameters::Rg2},     {"Rg3", &Parameters::Rg3},
  };
  State state;
  FakeUi ui;
  for (int i = 0; i < kParameterCount; ++i) ui.form.boxes[i] = std::to_string(100 + i);
  ReadParameters(state, ui);
  for (int i = 0; i < kParameterCount; ++i) {
    EXPECT_EQ(state.par.*boxes[i].member, 100 + i) << boxes[i].name << " in box " << i;
    EXPECT_EQ(ParameterIndex(boxes[i].name), i) << boxes[i].name;
  }
  EXPECT_EQ(ui.form.writes, 0);
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

TEST(StartUpConstants, KeepTheStudyNameTheUserTyped) {
  State state;
  state.id.studyName = "cellA";
  ResetStartUpConstants(state);
  EXPECT_EQ(state.id.studyName, "cellA");
}

}  // namespace
}  // namespace pelarin
