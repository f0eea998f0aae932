// The exact figures of every study's lit curves against the figures the study reads off its own swept
// curves: the same curves, names and colours in the same order, and figures that agree within the sweeps'
// resolution. The worst relative difference of each figure is printed for the record.
#include "studies/exact_figures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "common/declining_ui.h"
#include "common/temp_folder.h"
#include "model/parameter_table.h"
#include "studies/study_registry.h"
#include "workspace/read_parameters.h"

namespace pelarin {
namespace {

namespace fs = std::filesystem;

struct Variant {
  const char* name;
  std::vector<std::pair<const char*, const char*>> boxes;
};

// Solved where the points put them, by the studies' own searches: Vmp and Jmp sit on a flat maximum.
// Seen on the cells below: 7e-13 for Voc, 8e-10 for Jsc and FF, 8e-13 for Pmax, 1e-7 for Vmp and Jmp.
const std::map<std::string, double> kTolerance = {{"Voc", 1e-8},  {"Jsc", 1e-8}, {"FF", 1e-8},
                                                  {"Pmax", 1e-8}, {"Vmp", 1e-6}, {"Jmp", 1e-6}};
// On extreme cells a lone junction's search cannot end within 1e-12 V of zero, nor its figures closer.
const std::map<std::string, double> kExtremeTolerance = {{"Voc", 5e-5},  {"Jsc", 5e-5}, {"FF", 5e-5},
                                                         {"Pmax", 5e-5}, {"Vmp", 2e-3}, {"Jmp", 2e-3}};

std::map<std::string, double> Figures(const FiguresOfMerit& f) {
  std::map<std::string, double> m;
  const std::pair<const char*, const std::optional<double>*> all[] = {
      {"Voc", &f.Voc}, {"Jsc", &f.Jsc}, {"FF", &f.FF}, {"Pmax", &f.Pmax}, {"Vmp", &f.Vmp}, {"Jmp", &f.Jmp}};
  for (const auto& [name, value] : all)
    if (value->has_value()) m[name] = **value;
  return m;
}

class ExactFiguresTest : public testing::TempFolderTest {
 protected:
  void SetUp() override {
    TempFolderTest::SetUp();
    fs::current_path(dir);
  }
};

TEST_F(ExactFiguresTest, AgreeWithTheFiguresReadOffEveryStudysCurves) {
  const std::vector<Variant> variants = {
      {"default", {}},
      {"shunted middle", {{"Rp2", "50"}}},
      {"mismatched bottom", {{"Jsc1", "0.004"}}},
      {"coupling in play",
       {{"Rl1", "300"}, {"Rl2", "2000"}, {"Rg1", "5000"}, {"Rg2", "800"}, {"Rg3", "400"}}},
      // A dark junction's diode bends the two-junction curve between the start currents of its sweeps,
      // where a straight line missed the open-circuit voltage by 1.6e-4.
      {"bent near open circuit",
       {{"Rs1", "0.418687"},
        {"Rp1", "35362.6"},
        {"Jsd11", "3.01638e-11"},
        {"Jsd12", "1.41968e-06"},
        {"m12", "1.69162"},
        {"Jsd22", "3.74028e-08"},
        {"m21", "1.19054"},
        {"m22", "1.76021"},
        {"Rs3", "1.46194"},
        {"Jsc3", "0.0213362"},
        {"Jsd31", "1.28334e-07"},
        {"Jsd32", "5.03841e-07"},
        {"m31", "0.89132"},
        {"m32", "2.17907"}}},
      {"luminescent coupling", {{"beta3", "0.5"}, {"beta2", "0.3"}}},
      {"breakdown, mismatched bottom",
       {{"Jsc1", "0.004"}, {"Abd1", "0.5"}, {"Vbd1", "-1"}, {"Abd3", "0.3"}, {"Vbd3", "-2"}}},
      // Junction 1 clamped near 0 V once its photocurrent runs out, as by a bypass diode: the power has a
      // maximum on each side of the step, the higher one before it.
      {"breakdown as a bypass", {{"Abd1", "7"}, {"Vbd1", "-0.01"}, {"nbd1", "100"}}},
      {"both, hot and concentrated",
       {{"beta3", "0.7"}, {"beta2", "0.2"}, {"Abd2", "0.2"}, {"Vbd2", "-1.5"}, {"T", "80"}, {"X", "10"}}},
  };
  std::map<std::string, double> worst;
  int compared = 0;
  for (const StudyEntry& study : Studies()) {
    if (study.exact.curves == LitCurves::None) continue;
    for (const Variant& variant : variants) {
      SCOPED_TRACE(std::string(study.batchName) + ", " + variant.name);
      testing::DecliningUi ui;
      for (const auto& [name, text] : variant.boxes) ui.form.SetBoxText(ParameterIndex(name), text);
      State state;
      ResetStartUpConstants(state);
      state.k.exactFigures = false;  // the junctions' own searches, against the exact solver
      study.run(state, ui);
      ASSERT_TRUE(ui.messages.empty()) << ui.messages.front();

      std::vector<const DrawnCurve*> drawn;
      const std::vector<DrawnCurve> curves = ui.linlin.surface.Curves();
      for (const DrawnCurve& curve : curves)
        if (curve.entry.figures) drawn.push_back(&curve);
      const std::vector<ExactCurveFigures> exact = ExactFigures(study.exact, state);
      ASSERT_EQ(exact.size(), drawn.size());
      for (std::size_t i = 0; i < exact.size(); ++i) {
        EXPECT_EQ(exact[i].curve.name, drawn[i]->entry.name);
        EXPECT_EQ(exact[i].curve.colour, drawn[i]->entry.colour) << exact[i].curve.name;
        ASSERT_TRUE(exact[i].figures.has_value()) << exact[i].problem;
        const auto solved = Figures(*exact[i].figures), read = Figures(*drawn[i]->entry.figures);
        for (const auto& [name, value] : read) {
          ASSERT_TRUE(solved.contains(name)) << name;
          const double difference = std::abs(solved.at(name) - value) / std::abs(solved.at(name));
          EXPECT_LE(difference, kTolerance.at(name)) << exact[i].curve.name << " " << name;
          worst[name] = std::max(worst[name], difference);
          ++compared;
        }
      }
    }
  }
  EXPECT_GT(compared, 300);
  for (const auto& [name, difference] : worst)
    std::cout << "worst relative difference of " << name << ": " << difference << "\n";
}

// By default the series studies' legends carry the exact solver's figures themselves wherever its circuit
// is their curve's: the independent study and the stack, for the default cell and a breakdown.
TEST_F(ExactFiguresTest, SeriesStudiesTakeTheExactFiguresWhereTheyAgree) {
  for (const char* name : {"independent", "all", "two"})
    for (const Variant& variant :
         std::vector<Variant>{{"default", {}}, {"breakdown", {{"Abd1", "0.5"}, {"Vbd1", "-1"}}}}) {
      SCOPED_TRACE(std::string(name) + ", " + variant.name);
      const StudyEntry& study = *FindStudy(name);
      testing::DecliningUi ui;
      for (const auto& [box, text] : variant.boxes) ui.form.SetBoxText(ParameterIndex(box), text);
      State state;
      ResetStartUpConstants(state);
      study.run(state, ui);
      std::vector<FiguresOfMerit> drawn;
      for (const DrawnCurve& curve : ui.linlin.surface.Curves())
        if (curve.entry.figures) drawn.push_back(*curve.entry.figures);
      const std::vector<ExactCurveFigures> exact = ExactFigures(study.exact, state);
      ASSERT_EQ(exact.size(), drawn.size());
      for (std::size_t i = 0; i < exact.size(); ++i) {
        ASSERT_TRUE(exact[i].figures.has_value()) << exact[i].problem;
        EXPECT_EQ(Figures(drawn[i]), Figures(*exact[i].figures)) << exact[i].curve.name;
      }
    }
}

// Extreme cells, drawn over tens of decades: the studies without Rl give every curve every figure that the
// exact solver gives it, and the same values, where their points alone did not (a curve whose open
// circuit lies between its two sweeps or within one voltage step, one that stops short of 0 V, a sweep
// ended early) or where a search overflowed on the way.
TEST_F(ExactFiguresTest, ExtremeCellsGetTheExactSolversFiguresFromTheSeriesStudies) {
  const std::vector<Variant> variants = {
      {"overflow at the first guess",
       {{"Rs1", "0.0138574"},     {"Rp1", "33943"},         {"Jsc1", "2.13598e-06"},
        {"Jsd11", "1.311e-12"},   {"Jsd12", "5.91029e-12"}, {"m11", "0.93563"},
        {"m12", "0.42773"},       {"Rs2", "3445.26"},       {"Rp2", "12.9494"},
        {"Jsc2", "1.28522e-07"},  {"Jsd21", "0.740193"},    {"Jsd22", "1.28205e-16"},
        {"m21", "8.41368"},       {"m22", "4.92063"},       {"Rs3", "56.4434"},
        {"Rp3", "0.641796"},      {"Jsc3", "0.000517304"},  {"Jsd31", "0.000109992"},
        {"Jsd32", "4.95948e-15"}, {"m31", "7.49014"},       {"m32", "6.81269"}}},
      {"open circuit between the sweeps",
       {{"Rs1", "43.635"},        {"Rp1", "40.9557"},       {"Jsc1", "3.6744e-05"},
        {"Jsd11", "3.76693e-19"}, {"Jsd12", "3.36755e-20"}, {"m11", "5.97522"},
        {"m12", "5.96724"},       {"Rs2", "13734.6"},       {"Rp2", "1.52681e+06"},
        {"Jsc2", "0.229356"},     {"Jsd21", "4.92059e-05"}, {"Jsd22", "0.536648"},
        {"m21", "6.81135"},       {"m22", "1.88207"},       {"Rs3", "5568.49"},
        {"Rp3", "3.76353e+09"},   {"Jsc3", "0.13876"},      {"Jsd31", "1.18365e-13"},
        {"Jsd32", "2.59723e-09"}, {"m31", "2.34791"},       {"m32", "8.3666"}}},
      {"open circuit within a step",
       {{"Rs1", "3354.58"},       {"Rp1", "2.68495e+09"},   {"Jsc1", "0.000162813"},
        {"Jsd11", "9.17102e-07"}, {"Jsd12", "1.22484e-29"}, {"m11", "7.74396"},
        {"m12", "5.25986"},       {"Rs2", "273.163"},       {"Rp2", "0.190952"},
        {"Jsc2", "0.00550407"},   {"Jsd21", "0.0108861"},   {"Jsd22", "6.82629e-29"},
        {"m21", "3.44519"},       {"m22", "5.77058"},       {"Rs3", "2834.88"},
        {"Rp3", "8.04475"},       {"Jsc3", "4.14908e-08"},  {"Jsd31", "3.15488e-23"},
        {"Jsd32", "3.01599e-12"}, {"m31", "7.60937"},       {"m32", "4.11918"}}},
      {"stops short of 0 V",
       {{"Rs1", "14.5141"},      {"Rp1", "26.2718"},       {"Jsc1", "3.72516e-09"},  {"Jsd11", "4.15217e-05"},
        {"Jsd12", "0.494516"},   {"m11", "1.15863"},       {"m12", "8.06577"},       {"Rs2", "0.494489"},
        {"Rp2", "0.644443"},     {"Jsc2", "4.41592e-07"},  {"Jsd21", "1.15813e-07"}, {"Jsd22", "0.000152409"},
        {"m21", "0.728644"},     {"m22", "6.26097"},       {"Rs3", "0.000253783"},   {"Rp3", "4.18105e+06"},
        {"Jsc3", "9.51891e-07"}, {"Jsd31", "0.000267399"}, {"Jsd32", "0.262466"},    {"m31", "5.20258"},
        {"m32", "9.98554"}}},
      {"sweep ended above 0 V", {{"Rs1", "61725.5"},       {"Rp1", "17.2604"},       {"Jsc1", "1.28414e-08"},
                                 {"Jsd11", "1.05732e-15"}, {"Jsd12", "9.25677e-09"}, {"m11", "3.60783"},
                                 {"m12", "6.55919"},       {"Rs2", "0.0347962"},     {"Rp2", "4.0104e+09"},
                                 {"Jsc2", "1.19159e-05"},  {"Jsd21", "2.16678e-16"}, {"Jsd22", "8.76841e-15"},
                                 {"m21", "8.78654"},       {"m22", "9.86935"},       {"Rs3", "5.70577"},
                                 {"Rp3", "1989.14"},       {"Jsc3", "0.000363248"},  {"Jsd31", "1.19774e-28"},
                                 {"Jsd32", "5.8128e-18"},  {"m31", "8.52055"},       {"m32", "7.84087"}}},
      // Junction 1 has the smallest photocurrent: a doubling that lands on it exactly finds junction 1 at
      // 0 V, where no voltage search ends.
      {"doubled onto a photocurrent",
       {{"Rs1", "0.000360734"},   {"Rp1", "1.9762e+09"},    {"Jsc1", "6.98346e-07"},
        {"Jsd11", "1.10707e-28"}, {"Jsd12", "5.90529e-23"}, {"m11", "0.564897"},
        {"m12", "3.02867"},       {"Rs2", "245.129"},       {"Rp2", "7.2816e+09"},
        {"Jsc2", "0.000481114"},  {"Jsd21", "4.17031e-05"}, {"Jsd22", "4.6633e-06"},
        {"m21", "7.23276"},       {"m22", "4.02849"},       {"Rs3", "0.0184533"},
        {"Rp3", "0.745394"},      {"Jsc3", "8.36982e-05"},  {"Jsd31", "1.33351e-24"},
        {"Jsd32", "1.57655e-08"}, {"m31", "3.40873"},       {"m32", "5.91885"}}},
      // Junction 1 alone stays at its photocurrent to within nine digits up to the end of its sweep, short
      // of its maximum power: the points there share one current.
      {"maximum power past a flat sweep",
       {{"Rs1", "186.978"},      {"Rp1", "2.93765e+07"},   {"Jsc1", "0.000151749"},  {"Jsd11", "7.56991e-22"},
        {"Jsd12", "1.2835e-20"}, {"m11", "8.52573"},       {"m12", "5.33667"},       {"Rs2", "0.000284153"},
        {"Rp2", "1119.74"},      {"Jsc2", "1.38209e-07"},  {"Jsd21", "9.67987e-11"}, {"Jsd22", "1.58953e-28"},
        {"m21", "2.92909"},      {"m22", "1.23139"},       {"Rs3", "1.98616"},       {"Rp3", "6.5418e+09"},
        {"Jsc3", "7.45139e-05"}, {"Jsd31", "3.87793e-19"}, {"Jsd32", "0.0104079"},   {"m31", "1.19065"},
        {"m32", "3.75096"}}},
  };
  int compared = 0;
  for (const char* name : {"independent", "all", "two", "one"}) {
    const StudyEntry& study = *FindStudy(name);
    for (const Variant& variant : variants) {
      SCOPED_TRACE(std::string(name) + ", " + variant.name);
      testing::DecliningUi ui;
      for (const auto& [box, text] : variant.boxes) ui.form.SetBoxText(ParameterIndex(box), text);
      State state;
      ResetStartUpConstants(state);
      state.k.exactFigures = false;
      study.run(state, ui);
      ASSERT_TRUE(ui.messages.empty()) << ui.messages.front();
      std::map<std::string, std::map<std::string, double>> read;
      for (const DrawnCurve& curve : ui.linlin.surface.Curves())
        if (curve.entry.figures) read[curve.entry.name] = Figures(*curve.entry.figures);
      for (const ExactCurveFigures& exact : ExactFigures(study.exact, state)) {
        if (!exact.figures) continue;  // lost in rounding: the study's figures are no better there
        ASSERT_TRUE(read.contains(exact.curve.name)) << exact.curve.name;
        const auto solved = Figures(*exact.figures);
        for (const auto& [figure, value] : solved) {
          ASSERT_TRUE(read[exact.curve.name].contains(figure)) << exact.curve.name << " " << figure;
          const double difference = std::abs(read[exact.curve.name][figure] - value) / std::abs(value);
          EXPECT_LE(difference, kExtremeTolerance.at(figure)) << exact.curve.name << " " << figure;
          ++compared;
        }
      }
    }
  }
  EXPECT_EQ(compared, 7 * 10 * 6);  // seven cells, ten curves each (3 + 1 + 3 + 3), all six figures
}

// Inside the coupling network, a two-junction curve whose sweep towards open circuit ended before its first
// point (its start lies past this curve's open circuit) is continued from its last point; junction 3 sits
// reverse-biased there and forward past it, where only a forward start reaches it.
TEST_F(ExactFiguresTest, NetworkCurvesThatStopShortOfOpenCircuitAreContinuedPastIt) {
  testing::DecliningUi ui;
  for (const auto& [box, text] : std::vector<std::pair<const char*, const char*>>{
           {"Rs1", "91.3285"},       {"Rp1", "4.44756e+08"},   {"Jsc1", "0.0135589"},
           {"Jsd11", "1.06377e-10"}, {"Jsd12", "1.02815e-08"}, {"m11", "5.76929"},
           {"m12", "1.30039"},       {"Rs2", "19.4908"},       {"Rp2", "0.0114503"},
           {"Jsc2", "1.95734e-08"},  {"Jsd21", "1.69481e-07"}, {"Jsd22", "2.13494e-29"},
           {"m21", "1.19045"},       {"m22", "1.26321"},       {"Rs3", "8398.68"},
           {"Rp3", "1.41203"},       {"Jsc3", "1.627e-09"},    {"Jsd31", "1.76225e-05"},
           {"Jsd32", "4.35015e-27"}, {"m31", "8.48625"},       {"m32", "6.83329"}})
    ui.form.SetBoxText(ParameterIndex(box), text);
  const StudyEntry& study = *FindStudy("two-rl");
  State state;
  ResetStartUpConstants(state);
  study.run(state, ui);
  ASSERT_TRUE(ui.messages.empty()) << ui.messages.front();
  std::map<std::string, FiguresOfMerit> read;
  for (const DrawnCurve& curve : ui.linlin.surface.Curves())
    if (curve.entry.figures) read[curve.entry.name] = *curve.entry.figures;
  int compared = 0;
  for (const ExactCurveFigures& exact : ExactFigures(study.exact, state)) {
    if (exact.curve.name == "#2 #3 lit, #1 dark")
      continue;  // its currents, below 1e-12 A/cm2, lost in rounding
    ASSERT_TRUE(exact.figures && read[exact.curve.name].Voc) << exact.curve.name;
    EXPECT_NEAR(*read[exact.curve.name].Voc / *exact.figures->Voc, 1, kTolerance.at("Voc"))
        << exact.curve.name;
    ++compared;
  }
  EXPECT_EQ(compared, 2);
}

}  // namespace
}  // namespace pelarin
