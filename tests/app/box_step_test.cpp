// Stepping a box: each rule's factor, the shortest text that reads back, and the boxes that stay put.
#include "app/box_step.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>

#include "model/number_text.h"
#include "workspace/read_parameters.h"

namespace pelarin {
namespace {

const ParameterRow& Row(std::string_view name) {
  for (const ParameterRow& row : kParameterRows)
    if (row.name == name) return row;
  throw std::out_of_range(std::string(name));
}

struct StepCase {
  const char* name;
  const char* text;
  int steps;
  bool coarse;
  double ratio;  // new value / old value; 0 when the box must stay as it is
};

class BoxStep : public testing::TestWithParam<StepCase> {};

TEST_P(BoxStep, MovesByItsRuleOrStays) {
  const StepCase& c = GetParam();
  const ParameterRow& row = Row(c.name);
  const auto stepped = SteppedBoxText(row, c.text, c.steps, c.coarse);
  if (c.ratio == 0) {
    EXPECT_FALSE(stepped) << *stepped;
    return;
  }
  ASSERT_TRUE(stepped);
  const BoxReading before = ReadBox(row, c.text), after = ReadBox(row, *stepped);
  EXPECT_EQ(after.problem, "");
  EXPECT_EQ(after.shownText, *stepped);  // the form takes it as it stands
  // The box shows the few digits the step needs: within a thousandth of a step of the exact ratio.
  const double step = row.linearStep > 0 ? 0 : StepFactor(row.rule, c.coarse) - 1;
  EXPECT_NEAR(after.value / before.value, c.ratio, 1e-3 * step * c.ratio + 1e-14);
  EXPECT_LE(std::strtod(stepped->c_str(), nullptr) == after.value ? stepped->size() : 99u, 12u) << *stepped;
}

INSTANTIATE_TEST_SUITE_P(
    Rules, BoxStep,
    testing::Values(StepCase{"Rs1", "5", 1, false, std::pow(10, 0.05)},
                    StepCase{"Rp2", "10000", -1, true, 1 / std::sqrt(10.0)},
                    StepCase{"Jsd11", "40e-12", 2, false, std::pow(10, 0.1)},
                    StepCase{"Rg2", "1e12", 1, true, std::sqrt(10.0)},
                    StepCase{"Jsc1", "0,008", 1, false, 1.01},  // a decimal comma reads as the form reads it
                    StepCase{"Jsc3", "0.016", -1, true, 1 / 1.1}, StepCase{"m12", "2", 1, true, 1.1},
                    StepCase{"m31", "1", -3, false, std::pow(1.01, -3)},
                    // Conditions: the concentration as a resistance, the others by steps of their own.
                    StepCase{"X", "1", 1, false, std::pow(10, 0.05)},
                    StepCase{"T", "26.85", 1, false, 27.85 / 26.85},
                    StepCase{"Eg2", "1.40", -1, true, 1.3 / 1.4},
                    StepCase{"alpha3", "0.002", 2, false, 0.0022 / 0.002}, StepCase{"T", "400", 1, false, 0},
                    StepCase{"alpha1", "-0.1", -1, false, 0},
                    // A dark junction, a missing diode, text that does not read, and steps beyond the
                    // form's range stay as they are.
                    StepCase{"Jsc2", "0", 1, false, 0}, StepCase{"Jsd12", "0", -1, true, 0},
                    StepCase{"Rs2", "abc", 1, false, 0}, StepCase{"Rl1", "1e13", 1, false, 0},
                    StepCase{"Rp1", "1e308", 1, true, 0}, StepCase{"Rs1", "5", 0, false, 0}));

// Up multiplies and down divides: the value comes back to within rounding.
TEST(BoxStep, AStepDownUndoesAStepUpOnEveryDefault) {
  for (const ParameterRow& row : kParameterRows)
    for (const bool coarse : {false, true}) {
      const auto up = SteppedBoxText(row, row.defaultText, 1, coarse);
      ASSERT_TRUE(up) << row.name;
      const auto back = SteppedBoxText(row, *up, -1, coarse);
      ASSERT_TRUE(back) << row.name;
      const double start = ReadBox(row, row.defaultText).value;
      if (row.linearStep > 0)  // the default itself, as typed
        EXPECT_EQ(*back, ShortestText(start)) << row.name << " " << *up;
      else
        EXPECT_NEAR(ReadBox(row, *back).value / start, 1, 4e-16) << row.name << " " << *up << " " << *back;
    }
}

}  // namespace
}  // namespace pelarin
