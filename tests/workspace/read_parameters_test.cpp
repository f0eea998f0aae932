// Reading the parameter form into the parameter set, and the menus that follow the photocurrents.
#include "workspace/read_parameters.h"

#include <gtest/gtest.h>

#include "common/fake_ui.h"
#include "common/parameter_checks.h"
#include "common/solver_fixtures.h"
#include "model/calc_error.h"
#include "model/number_text.h"

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
      {"Rs1", &Parameters::Rs1},       {"Rp1", &Parameters::Rp1},       {"Jsc1", &Parameters::Jsc1},
      {"Jsd11", &Parameters::Jsd11},   {"Jsd12", &Parameters::Jsd12},   {"m11", &Parameters::m11},
      {"m12", &Parameters::m12},       {"Rs2", &Parameters::Rs2},       {"Rp2", &Parameters::Rp2},
      {"Jsc2", &Parameters::Jsc2},     {"Jsd21", &Parameters::Jsd21},   {"Jsd22", &Parameters::Jsd22},
      {"m21", &Parameters::m21},       {"m22", &Parameters::m22},       {"Rs3", &Parameters::Rs3},
      {"Rp3", &Parameters::Rp3},       {"Jsc3", &Parameters::Jsc3},     {"Jsd31", &Parameters::Jsd31},
      {"Jsd32", &Parameters::Jsd32},   {"m31", &Parameters::m31},       {"m32", &Parameters::m32},
      {"Rl1", &Parameters::Rl1},       {"Rl2", &Parameters::Rl2},       {"Rg1", &Parameters::Rg1},
      {"Rg2", &Parameters::Rg2},       {"Rg3", &Parameters::Rg3},       {"T", &Parameters::T},
      {"X", &Parameters::X},           {"Eg1", &Parameters::Eg1},       {"Eg2", &Parameters::Eg2},
      {"Eg3", &Parameters::Eg3},       {"alpha1", &Parameters::alpha1}, {"alpha2", &Parameters::alpha2},
      {"alpha3", &Parameters::alpha3}, {"beta2", &Parameters::beta2},   {"beta3", &Parameters::beta3},
      {"Abd1", &Parameters::Abd1},     {"Abd2", &Parameters::Abd2},     {"Abd3", &Parameters::Abd3},
      {"Vbd1", &Parameters::Vbd1},     {"Vbd2", &Parameters::Vbd2},     {"Vbd3", &Parameters::Vbd3},
      {"nbd1", &Parameters::nbd1},     {"nbd2", &Parameters::nbd2},     {"nbd3", &Parameters::nbd3},
  };
  State state;
  FakeUi ui;
  // Distinct values each box takes: the conditions' within their ranges.
  const auto value = [](int i) {
    const ParameterRow& row = kParameterRows[static_cast<std::size_t>(i)];
    if (row.name.starts_with("Abd")) return (i - 30) * 0.1;  // strengths a monotone junction allows
    if (i >= kFirstPhysicsIndex) return row.low + (row.high - row.low) * (i - 30) * 0.01;
    return i < kCellParameterCount ? 100 + i : i < 28 ? i : i < 31 ? i * 0.05 : (i - 30) * 0.01;
  };
  for (int i = 0; i < kParameterCount; ++i) ui.form.boxes[i] = ShortestText(value(i));
  ReadParameters(state, ui);
  for (int i = 0; i < kParameterCount; ++i) {
    EXPECT_EQ(state.formValues.*boxes[i].member, value(i)) << boxes[i].name << " in box " << i;
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
        Correction{8, "  ", &Parameters::Rp2, 0.001, " .001"},
        Correction{14, "", &Parameters::Rs3, 0.001, " .001"}, Correction{21, "3", &Parameters::Rl1, 5, " 5"},
        Correction{21, "5", &Parameters::Rl1, 5, " 5"}, Correction{21, "5.5", &Parameters::Rl1, 5.5, "5.5"},
        Correction{22, "3", &Parameters::Rl2, 10, " 10"}, Correction{22, "-1e6", &Parameters::Rl2, 10, " 10"},
        Correction{21, "", &Parameters::Rl1, 5, " 5"}, Correction{25, "", &Parameters::Rg3, 10, " 10"},
        Correction{23, "1e14", &Parameters::Rg1, 1e13, "1.E+13"},
        Correction{24, "10", &Parameters::Rg2, 10, " 10"},
        Correction{25, "2e13", &Parameters::Rg3, 1e13, "1.E+13"},
        Correction{22, "1e13", &Parameters::Rl2, 1e13, "1e13"},
        // Every comma of every box is a decimal point, and the box shows it as one.
        Correction{2, "0,008", &Parameters::Jsc1, 0.008, "0.008"},
        Correction{0, "5,5", &Parameters::Rs1, 5.5, "5.5"},
        Correction{25, "1,5e12", &Parameters::Rg3, 1.5e12, "1.5e12"},
        // A dark junction and a junction with one diode are cells too.
        Correction{9, "0", &Parameters::Jsc2, 0, "0"}, Correction{4, "0", &Parameters::Jsd12, 0, "0"},
        Correction{5, " 1.5 ", &Parameters::m11, 1.5, " 1.5 "}));

// A box that holds no value a cell can have is marked with the reason, and the sentence names it.
struct Refusal {
  int box;
  const char* typed;
  const char* sentence;
};
void PrintTo(const Refusal& r, std::ostream* os) { *os << "box " << r.box << " '" << r.typed << "'"; }
class ReadParametersRefusal : public ::testing::TestWithParam<Refusal> {};

TEST_P(ReadParametersRefusal, MarksTheBoxAndKeepsThePreviousValue) {
  const Refusal& r = GetParam();
  State state;
  FakeUi ui;
  ReadParameters(state, ui);
  const Parameters before = state.par;
  ui.form.boxes[r.box] = r.typed;
  const auto bad = ReadParameterForm(state, ui);
  ASSERT_EQ(bad.size(), 1u);
  EXPECT_EQ(bad[0].index, r.box);
  EXPECT_EQ(bad[0].sentence, r.sentence);
  EXPECT_EQ(std::string(kParameterRows[r.box].name) + ": " + ui.form.marks[r.box] + ".", r.sentence);
  ExpectSameParameters(state.par, before);
  // The mark goes as soon as the box holds a value again.
  ui.form.boxes[r.box] = kParameterRows[r.box].defaultText;
  EXPECT_TRUE(ReadParameterForm(state, ui).empty());
  EXPECT_EQ(ui.form.marks[r.box], "");
}

INSTANTIATE_TEST_SUITE_P(
    Boxes, ReadParametersRefusal,
    ::testing::Values(
        Refusal{2, "abc", "Jsc1: \"abc\" is not a number."}, Refusal{2, "", "Jsc1: the box is empty."},
        Refusal{0, "1.5x", "Rs1: \"1.5x\" is not a number."},
        Refusal{3, "e3", "Jsd11: \"e3\" is not a number."}, Refusal{6, "  ", "m12: the box is empty."},
        Refusal{4, "4,0,1", "Jsd12: \"4.0.1\" is not a number."},
        Refusal{8, "-100", "Rp2: a resistance cannot be negative (\"-100\")."},
        Refusal{0, "-1e-9", "Rs1: a resistance cannot be negative (\"-1e-9\")."},
        Refusal{9, "-0.01",
                "Jsc2: a photocurrent cannot be negative (\"-0.01\"); 0 makes the junction dark."},
        Refusal{17, "-5e-8",
                "Jsd31: a saturation current cannot be negative (\"-5e-8\"); 0 leaves the junction "
                "one diode."},
        Refusal{5, "0", "m11: an ideality factor must be above 0 (\"0\")."},
        Refusal{20, "-2", "m32: an ideality factor must be above 0 (\"-2\")."},
        Refusal{1, "1e999", "Rp1: \"1e999\" is beyond the largest number, 1.79769313486232E+308."},
        Refusal{21, "9E999", "Rl1: \"9E999\" is beyond the largest number, 1.79769313486232E+308."},
        Refusal{16, "777777777777777777777777777777777777777777777777777777777777x",
                "Jsc3: \"7777777777777777777777777777777777777777...\" is not a number."}));

TEST(ReadParameters, ACommandIsRefusedWithOneMessageNamingEveryBadBox) {
  State state;
  FakeUi ui;
  ui.form.boxes[2] = "abc";
  ui.form.boxes[8] = "-100";
  ui.form.boxes[9] = "1,5";  // a good box among bad ones is still read
  try {
    ReadParameters(state, ui);
    FAIL() << "bad boxes must stop the command";
  } catch (const InputError& e) {
    EXPECT_EQ(std::string(e.what()),
              "these boxes hold no value a cell can have:\nJsc1: \"abc\" is not a number.\n"
              "Rp2: a resistance cannot be negative (\"-100\").");
  }
  EXPECT_EQ(state.par.Jsc2, 1.5);
  EXPECT_EQ(ui.form.boxes[9], "1.5");
  EXPECT_TRUE(ui.messages.empty()) << "reading the form never shows a message itself";
}

TEST(ReadParameters, MenusFollowOnlyTheBoxesThatCanBeUsed) {
  State state;
  FakeUi ui({{StudyMenuItem(0), MenuItem::TwoJunctions, "Without Rl", {.needsAllLit = true}},
             {StudyMenuItem(1),
              MenuItem::EqeTwoJunctions,
              "1 and 2",
              {.junction = 1, .allLitCaption = "1 and 2 illuminated", .partialCaption = "1 illuminated"}}});
  ReadParameters(state, ui);
  ui.form.boxes[2] = "0";  // Jsc1 dark: the menus change
  ASSERT_TRUE(ReadParameterForm(state, ui).empty());
  EXPECT_FALSE(ui.menus.Enabled(StudyMenuItem(0)));
  const auto dark = ui.menus;
  ui.form.boxes[2] = "abc";  // a typing slip keeps the junction as it was
  ASSERT_EQ(ReadParameterForm(state, ui).size(), 1u);
  EXPECT_EQ(state.par.Jsc1, 0);
  for (const StudyMenuEntry& entry : ui.menus.StudyEntries()) {
    EXPECT_EQ(ui.menus.Caption(entry.item), dark.Caption(entry.item));
    EXPECT_EQ(ui.menus.Enabled(entry.item), dark.Enabled(entry.item));
  }
}

TEST(ReadParameters, ARewrittenBoxReadsBackToTheSameValue) {
  State state;
  FakeUi ui;
  ui.form.boxes[1] = "";
  ui.form.boxes[23] = "1e20";
  ui.form.boxes[0] = "2,5";
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

// The incident power has one reading rule for every face: one number as a whole, a comma a decimal point,
// finite and above 0.
TEST(ReadIncidentPower, TakesOnlyAPowerAboveZero) {
  const std::pair<const char*, std::optional<double>> cases[] = {
      {"100", 100.0},        {" 2,5 ", 2.5},           {"1e3", 1000.0},
      {"0", std::nullopt},   {"-5", std::nullopt},     {"", std::nullopt},
      {"abc", std::nullopt}, {"100 mW", std::nullopt}, {"1e999", std::nullopt}};
  for (const auto& [text, power] : cases) EXPECT_EQ(ReadIncidentPower(text), power) << '"' << text << '"';
}

}  // namespace
}  // namespace pelarin
