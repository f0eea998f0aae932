// The EQE artefact study: its modes through the scripted interface, the solver and lit junctions of each
// mode, the dark sweeps, the pre-run, the interpolation against the point-by-point scan, the mended faults,
// the pair flags, and the physics at short circuit.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <deque>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "common/fake_ui.h"
#include "common/solver_fixtures.h"
#include "common/temp_folder.h"
#include "model/calc_error.h"
#include "model/number_text.h"
#include "model/parameter_table.h"
#include "model/solvers.h"
#include "studies/eqe_artefact_study.h"
#include "studies/studies.h"
#include "studies/study_registry.h"
#include "workspace/read_parameters.h"

namespace pelarin {
namespace {

namespace fs = std::filesystem;
using testing::FakeUi;
using testing_cell::DefaultParameters;

std::vector<std::vector<std::string>> Rows(const std::string& text) {
  std::vector<std::vector<std::string>> rows;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    EXPECT_EQ(line.back(), '\r');
    std::istringstream fields(line.substr(0, line.size() - 1));
    rows.emplace_back();
    for (std::string field; std::getline(fields, field, '\t');) rows.back().push_back(field);
  }
  return rows;
}

constexpr int kJsc1Box = 2, kJsc2Box = 9, kJsc3Box = 16;

// The default cell with one parameter box changed, read as the study reads it.
Parameters CellWith(int box = -1, const char* text = "") {
  State s;
  FakeUi ui;
  if (box >= 0) ui.form.boxes[static_cast<std::size_t>(box)] = text;
  ReadParameters(s, ui);
  return s.par;
}

// The flags of a mode: "ill", "dark", "12", "13" or "23".
ModeFlags Flags(const std::string& mode) {
  return {.darkFlag = mode == "dark" ? 1.0 : 0.0,
          .eqePair12 = mode == "12" ? 1.0 : 0.0,
          .eqePair13 = mode == "13" ? 1.0 : 0.0,
          .eqePair23 = mode == "23" ? 1.0 : 0.0};
}

// The computation alone, as the study runs it after reading the parameters; the state is left in *out.
EqeArtefacts Compute(const Parameters& par, const std::string& mode, State* out = nullptr) {
  State s;
  ResetStartUpConstants(s);
  s.par = par;
  s.flags = Flags(mode);
  EqeReferencePreRun(s);
  EqeArtefacts r = ComputeEqeArtefacts(s);
  if (out) *out = s;
  return r;
}

const EqeArtefacts& DefaultRun(const std::string& mode) {
  static std::map<std::string, EqeArtefacts> runs;
  auto found = runs.find(mode);
  if (found == runs.end()) found = runs.emplace(mode, Compute(DefaultParameters(), mode)).first;
  return found->second;
}

double At(const std::vector<double>& column, int point) { return column[static_cast<std::size_t>(point)]; }

class EqeStudyTest : public testing::TempFolderTest {
 protected:
  void SetUp() override {
    fs::current_path(dir);
    ResetStartUpConstants(state);
  }
  [[nodiscard]] std::string Table(const std::string& ending) const {
    return testing::Read(dir / "Test_plr" / ("Test" + ending));
  }
  State state;
  FakeUi ui;
};

// ---- The commands ----

struct ModeCase {
  const char* name;
  const char* mode;
  int darkBox;  // a photocurrent box set to 0, or -1
  const char* legend;
  const char* label;
  const char* file;
  std::array<Colour, 4> colour;
};
void PrintTo(const ModeCase& c, std::ostream* os) { *os << c.name; }

class EqeModes : public EqeStudyTest, public ::testing::WithParamInterface<ModeCase> {};

TEST_P(EqeModes, CaptionLabelColoursAndTableFromTheSecondPoint) {
  const ModeCase& c = GetParam();
  if (c.darkBox >= 0) ui.form.boxes[static_cast<std::size_t>(c.darkBox)] = "0";
  ui.answers = {true};
  FindStudy(std::string("eqe-") + c.mode)->run(state, ui);

  EXPECT_EQ(ui.linlin.caption,
            std::string("Test                    EQE contribution  [% vs V (V)]") + c.legend);
  EXPECT_EQ(state.id.studyLabel, c.label);
  EXPECT_FALSE(ui.linlog.visible);
  EXPECT_EQ(state.flags.dragLineOn, 0);
  EXPECT_EQ(state.flags.darkFlag, std::string(c.mode) == "dark" ? 1 : 0);
  EXPECT_EQ(state.flags.eqePair12 + state.flags.eqePair13 + state.flags.eqePair23, 0);

  const EqeArtefacts r = Compute(state.par, c.mode);
  const auto circles = ui.linlin.CirclesDrawn();
  for (int k = 1; k <= 3; ++k) {
    const auto n = std::count_if(circles.begin(), circles.end(), [&](const DrawOp& op) {
      return op.colour == c.colour[static_cast<std::size_t>(k)];
    });
    EXPECT_EQ(n, r.probed[k] ? r.sweepCount[0] - 2 : 0) << "junction " << k;
  }
  const auto rows = Rows(Table(c.file));
  EXPECT_EQ(rows[0], (std::vector<std::string>{"V (V)    ", "Current (A/cm2)", "% Junct. #1 ", "% Junct. #2 ",
                                               "% Junct. #3 "}));
  EXPECT_EQ(r.maxCount, r.sweepCount[0]);
  ASSERT_EQ(rows.size(), static_cast<std::size_t>(r.maxCount - 1));  // header, points 2..maxCount - 1
  for (const std::size_t row : {std::size_t{1}, rows.size() - 1}) {
    const int p = static_cast<int>(row) + 1;
    EXPECT_EQ(rows[row][0], Format(At(r.tables.eqeV[0], p), "#.#####E+##"));
    EXPECT_EQ(rows[row][1], Format(At(r.tables.eqeJ[0], p), "#.######E+##"));
    for (int k = 1; k <= 3; ++k)
      EXPECT_EQ(rows[row][static_cast<std::size_t>(k + 1)], Format(At(r.contrib[k], p), "#.######E+##"));
  }
}

constexpr Colour kRed = Rgb(255, 0, 0), kGreen = Rgb(0, 255, 0), kBlue = Rgb(0, 0, 255);
constexpr Colour kDarkRed = Rgb(128, 0, 0), kDarkGreen = Rgb(0, 128, 0), kDarkBlue = Rgb(0, 0, 128);

// clang-format off
const ModeCase kModes[] = {
    {"Ill", "ill", -1, "     3 junctions illuminated", "Test_EQE_All junctions", "_EQE.txt",
     {0, kRed, kGreen, kBlue}},
    {"Dark", "dark", -1, "      Dark", "Test_EQE_All junctions", "_EQE_dark.txt",
     {0, kDarkRed, kDarkGreen, kDarkBlue}},
    {"Pair12", "12", -1, "     #1&#2 illuminated", "Test_EQE_2 junctions_1&2", "_EQE_2Junc_#1&#2_ill.txt",
     {0, kRed, kGreen, kDarkBlue}},
    {"Pair13", "13", -1, "     #1&#3 illuminated", "Test_EQE_2 junctions_1&3", "_EQE_2Junc_#1&#3_ill.txt",
     {0, kRed, kDarkGreen, kBlue}},
    {"Pair23", "23", -1, "     #2&#3 illuminated", "Test_EQE_2 junctions_2&3", "_EQE_2Junc_#2&#3_ill.txt",
     {0, kDarkRed, kGreen, kBlue}},
    {"Pair23Jsc3Zero", "23", kJsc3Box, "     #2 illuminated", "Test_EQE_1 junction_#2", "_EQE_1Junc_#2_ill.txt",
     {0, kDarkRed, kGreen, kDarkBlue}},
};
// clang-format on
INSTANTIATE_TEST_SUITE_P(Commands, EqeModes, ::testing::ValuesIn(kModes),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- Sweeps ----

// The reference sweep of "2 and 3" run on its own by the given solver, from the study's start values.
std::vector<double> ReferenceAlone(const Parameters& par, void (*solver)(State&)) {
  State s;
  ResetStartUpConstants(s);
  s.par = par;
  s.sweep.Vinit = {0, 0.001, 0.001, 0.001, 0, 0};
  s.ws.V1 = s.ws.V2 = s.ws.V3 = 0.001;
  s.sweep.JscUse2 = par.Jsc2, s.sweep.JscUse3 = par.Jsc3;
  s.sweep.sweepStep = 0.1, s.sweep.Vend = -0.005, s.ws.curJset = 1e-13;
  solver(s);
  std::vector<double> v(s.sweep.resVtot.begin() + 1, s.sweep.resVtot.begin() + 1 + s.sweep.resCount);
  std::reverse(v.begin(), v.end());  // as the study keeps a lit curve: from short circuit up
  return v;
}

TEST(EqeSweeps, TwoAndThreeUsesTheCoupledSweepOnlyWithAllThreeLit) {
  for (const bool allLit : {true, false}) {
    const Parameters par = allLit ? DefaultParameters() : CellWith(kJsc3Box, "0");
    const EqeArtefacts r = Compute(par, "23");
    EXPECT_EQ(r.use, (std::array<double, 4>{0, 0, par.Jsc2, allLit ? par.Jsc3 : 0}));
    const std::vector<double> coupled = ReferenceAlone(par, CalcCoupled),
                              stack = ReferenceAlone(par, CalcStack);
    ASSERT_NE(coupled, stack);
    const std::vector<double> ref(r.tables.eqeV[0].begin() + 1,
                                  r.tables.eqeV[0].begin() + 1 + r.sweepCount[0]);
    EXPECT_EQ(ref, allLit ? coupled : stack);
    EXPECT_EQ(r.probed[3], allLit);
    if (!allLit) {
      EXPECT_EQ(r.sweepCount[3], 0);
      EXPECT_EQ(*std::max_element(r.contrib[3].begin(), r.contrib[3].end()), 0);
    }
  }
}

TEST(EqeSweeps, DarkSweepsRunFromTheShuntCurrentUpToVocRefUnreversed) {
  const Parameters par = DefaultParameters();
  State s;
  const EqeArtefacts r = Compute(par, "dark", &s);
  const double start = -5e-5 / testing_cell::ResistanceSum(par), vocRef = s.eqe.vocRef;
  const EqeTables& t = r.tables;
  EXPECT_NEAR(At(t.eqeJ[0], 1), start, 1e-6 * -start);
  EXPECT_LE(At(t.eqeV[0], r.sweepCount[0]), vocRef);
  EXPECT_GT(At(t.eqeV[0], r.sweepCount[0]), vocRef - 0.01);
  for (int p = 2; p <= r.sweepCount[0]; ++p) ASSERT_GT(At(t.eqeV[0], p), At(t.eqeV[0], p - 1)) << p;

  // Junction 2 probed again: the sweep down towards 0 V comes first, then the forward one, in rising voltage.
  EqeTables probed(s.k.maxPoints);
  probed.eqeV[0] = t.eqeV[0];
  s.sweep.JscUse1 = 0, s.sweep.JscUse2 = 1e-4, s.sweep.JscUse3 = 0;
  s.eqe.eqeJunction = 2;
  EqeProbeSweep(s, probed, r.allLit);
  const std::vector<double>&v = probed.eqeV[2], &j = probed.eqeJ[2];
  const int n = probed.eqeCount[2];
  int join = 0;
  for (int p = 1; p < n; ++p)
    if (At(j, p) > 0 && At(j, p + 1) < 0) join = p;
  ASSERT_GT(join, 10);
  const double leaks = 3 * vocRef / par.Rg1;  // terminal current = imposed one less the Rg leaks
  EXPECT_NEAR(At(j, join), -start, leaks);
  EXPECT_NEAR(At(j, join + 1), start, leaks);
  EXPECT_GE(v[1], 0);
  EXPECT_LT(v[1], 0.01);
  EXPECT_LE(At(v, n), vocRef);
  for (int p = 2; p <= n; ++p) ASSERT_GT(At(v, p), At(v, p - 1)) << p;
}

TEST_F(EqeStudyTest, PreRunLightsEveryJunctionWith1e4AndGivesTheFormsValuesBack) {
  ui.form.boxes[kJsc1Box] = "0.009";
  ui.answers = {false};
  EqeDarkStudy(state, ui);
  State alone;
  ResetStartUpConstants(alone);
  alone.par = state.par;
  alone.par.Jsc1 = alone.par.Jsc2 = alone.par.Jsc3 = 1e-4;
  (void)LitStackSweep(alone);
  EXPECT_EQ(state.eqe.vocRef, alone.sweep.stackVoc);
  EXPECT_EQ(state.par.Jsc1, 0.009);
  EXPECT_EQ(state.par.Jsc3, 0.016);
  EXPECT_EQ(state.flags.darkFlag, 1);
  EXPECT_EQ(state.flags.subStudyFlag, 0);

  // A fault in the pre-run gives them back as well.
  state.par.m21 = 0;
  EXPECT_THROW(EqeReferencePreRun(state), CalcError);
  EXPECT_EQ(state.par.Jsc1, 0.009);
  EXPECT_EQ(state.flags.darkFlag, 1);
  EXPECT_EQ(state.flags.subStudyFlag, 0) << "the next three-junction study would run as a sub-step";
}

// ---- Interpolation and contributions ----

TEST(EqeInterpolation, BinarySearchFindsThePointTheScanFinds) {
  int compared = 0;
  for (const char* mode : {"ill", "dark", "12", "13", "23"}) {
    const EqeArtefacts& r = DefaultRun(mode);
    for (int a = 1; a <= 3; ++a) {
      const FirstPointAbove search(r.tables.eqeV[a], r.sweepCount[a]);
      for (int p = 1; p <= r.sweepCount[0]; ++p, ++compared) {
        const double x = At(r.tables.eqeV[0], p);
        ASSERT_EQ(search(x), FirstPointAboveByScan(r.tables.eqeV[a], r.sweepCount[a], x))
            << mode << " junction " << a << " point " << p;
      }
    }
  }
  EXPECT_GT(compared, 15000);
  // Unordered voltages with ties; point 1 is never a result.
  const std::vector<double> v = {0, 9, 0.2, 0.1, 0.5, 0.5, 0.3, 0.7, -0.1, 0.7, 1.2};
  for (int count : {0, 1, 2, 3, 6, 10})
    for (double x : {-1.0, -0.1, 0.1, 0.15, 0.2, 0.3, 0.5, 0.6, 0.7, 1.2, 9.0})
      EXPECT_EQ(FirstPointAbove(v, count)(x), FirstPointAboveByScan(v, count, x)) << count << " " << x;
}

// One probed junction against five reference points 0.1 V apart, all at 10 mA/cm2, the probe adding 50 uA.
EqeArtefacts SmallTable(const std::vector<double>& probedV) {
  EqeArtefacts r(10);
  for (std::size_t p = 1; p <= 5; ++p) r.tables.eqeV[0][p] = 0.1 * static_cast<double>(p);
  std::fill_n(r.tables.eqeJ[0].begin() + 1, 5, 0.01);
  std::copy(probedV.begin(), probedV.end(), r.tables.eqeV[1].begin() + 1);
  std::fill_n(r.tables.eqeJ[1].begin() + 1, probedV.size(), 0.01005);
  r.tables.eqeCount = {5, static_cast<std::int16_t>(probedV.size())};
  r.probed[1] = true;
  r.dJsc[1] = 1e-4;
  return r;
}

TEST(EqeContributions, NothingToInterpolateFromGivesZeroNotAMadeUpFigure) {
  EqeArtefacts r = SmallTable({0.05, 0.15, 0.25});  // nothing above 0.3 V
  ComputeContributions(r);
  EXPECT_NEAR(r.contrib[1][2], 50, 1e-9);
  EXPECT_EQ(r.contrib[1][3], 0) << "not |J| / |dJsc| = 10000 %";
  EXPECT_EQ(r.contrib[1][4], 0);
  EXPECT_NEAR(r.cMax, 50, 1e-9);
  EqeArtefacts flat = SmallTable({0.3, 0.3, 0.6});  // the segment ending at point 2 has no width
  EXPECT_THROW(ComputeContributions(flat), CalcError);
}

// In "1 and 3" junction 2 is dark; its probed sweep has fewer points than the reference but still ends
// above it, so it contributes up to the last reference point but one.
TEST(EqeContributions, OneAndThreeJunction2ContributesAtEveryReferencePoint) {
  const EqeArtefacts& r = DefaultRun("13");
  ASSERT_EQ(r.sweepCount[0], 1125);
  ASSERT_EQ(r.sweepCount[2], 972);
  for (int p = 972; p <= 1124; ++p) ASSERT_NEAR(At(r.contrib[2], p), 99.84, 0.05) << p;
  EXPECT_EQ(r.tables.eqeCount[2], 1123);
}

// At short circuit the stack carries the smallest photocurrent: a probe in that junction reaches the
// terminals almost whole, one in another junction only through the limiting junction's shunt.
TEST(EqePhysics, AtShortCircuitTheLimitingJunctionContributesAlmostAll) {
  const Parameters par = DefaultParameters();
  const EqeArtefacts& r = DefaultRun("ill");
  int limiting = 1;
  for (int k = 2; k <= 3; ++k)
    if (Photocurrent(par, k) < Photocurrent(par, limiting)) limiting = k;
  int p0 = 1;
  for (int p = 2; p < r.sweepCount[0]; ++p)
    if (std::fabs(At(r.tables.eqeV[0], p)) < std::fabs(At(r.tables.eqeV[0], p0))) p0 = p;
  ASSERT_LT(std::fabs(At(r.tables.eqeV[0], p0)), 0.005);
  for (int k = 1; k <= 3; ++k) {
    if (k == limiting)
      EXPECT_GT(At(r.contrib[k], p0), 98);
    else
      EXPECT_LT(At(r.contrib[k], p0), 1) << k;
  }
}

// With junction 2 dark, a probe absorbed in junction 3 reaches the terminals only through the limiting
// junction 2: not at all without luminescent coupling, and as a large share once junction 3's emission
// lights junction 2.
TEST(EqePhysics, LuminescentCouplingMakesTheJunctionAboveTheLimitingOneRespond) {
  for (const double beta3 : {0.0, 0.5}) {
    Parameters par = DefaultParameters();
    par.beta3 = beta3;
    const EqeArtefacts r = Compute(par, "13");
    SCOPED_TRACE(beta3);
    int p0 = 1;  // nearest short circuit
    for (int p = 2; p < r.sweepCount[0]; ++p)
      if (std::fabs(At(r.tables.eqeV[0], p)) < std::fabs(At(r.tables.eqeV[0], p0))) p0 = p;
    if (beta3 == 0) {
      EXPECT_GT(At(r.contrib[2], p0), 98);
      EXPECT_LT(At(r.contrib[3], p0), 1);
    } else {
      EXPECT_GT(At(r.contrib[3], p0), 20);
      EXPECT_LT(At(r.contrib[2], p0), 80);
    }
  }
}

// ---- Saving, faults and the pair flags ----

TEST_F(EqeStudyTest, PairFlagsAreClearedWhateverTheAnswerOrFault) {
  const fs::path table = dir / "Test_plr" / "Test_EQE_2Junc_#1&#2_ill.txt";
  struct Case {
    std::deque<bool> answers;
    bool existing, written;
  };
  for (const Case& c :
       {Case{{false}, false, false}, Case{{true, false}, true, false}, Case{{true}, false, true}}) {
    fs::remove_all(dir / "Test_plr");
    if (c.existing) {
      fs::create_directory(dir / "Test_plr");
      testing::Write(table, "old");
    }
    FakeUi fresh;
    fresh.answers = c.answers;
    EqePair12Study(state, fresh);
    EXPECT_TRUE(fresh.answers.empty());
    EXPECT_EQ(state.flags.eqePair12, 0);
    EXPECT_EQ(fs::exists(table) && testing::Read(table) != "old", c.written);
  }
  fs::remove_all(dir / "Test_plr");
  ui.form.boxes[static_cast<std::size_t>(ParameterIndex("Rp2"))] = "1e-320";  // the shunt current overflows
  EXPECT_THROW(FindStudy("eqe-13")->run(state, ui), CalcError);
  EXPECT_EQ(state.flags.eqePair13, 0) << "the next \"Illuminated\" would run as \"1 and 3\"";
  EXPECT_TRUE(ui.questions.empty());
  EXPECT_FALSE(fs::exists(table.parent_path()) && !fs::is_empty(table.parent_path()));
}

TEST_F(EqeStudyTest, WithNoPhotocurrentAtAllTheFlatPlotIsDrawnAndZerosSaved) {
  for (int box : {kJsc1Box, kJsc2Box, kJsc3Box}) ui.form.boxes[static_cast<std::size_t>(box)] = "0";
  ui.answers = {true};
  EqeIlluminatedStudy(state, ui);
  EXPECT_TRUE(ui.linlin.CirclesDrawn().empty());
  EXPECT_FALSE(ui.linlin.surface.Ops().empty()) << "the axes are drawn";
  const auto rows = Rows(Table("_EQE.txt"));
  ASSERT_GT(rows.size(), 2u);
  for (std::size_t i = 1; i < rows.size(); ++i)
    for (std::size_t c = 2; c < 5; ++c) ASSERT_EQ(Val(rows[i][c]), 0) << i;
}

}  // namespace
}  // namespace pelarin
