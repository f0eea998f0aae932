// Time of each study's whole computation with the default cell (and, for the studies with Rl and Rg, a
// strongly coupled cell): sweeps, plots recorded, no files saved; with the searches jumping over certified
// steps (the default) and with every step evaluated (".../literal"). Compare the two side by side from one
// run, e.g. --benchmark_repetitions=5 --benchmark_enable_random_interleaving=true: the machine's load
// shifts between runs.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <span>
#include <string>

#include "common/declining_ui.h"
#include "studies/coupled_studies.h"
#include "studies/curve_figures.h"
#include "studies/eqe_artefact_study.h"
#include "studies/studies.h"
#include "studies/study_registry.h"
#include "ui/recorded_plot_window.h"
#include "ui/text_form.h"
#include "workspace/read_parameters.h"

namespace pelarin {
namespace {

using testing::DecliningUi;

// The studies create their study folder in the working directory: work in a temporary one.
class InTemporaryFolder {
 public:
  InTemporaryFolder() : start_(std::filesystem::current_path()) {
    std::string pattern = (std::filesystem::temp_directory_path() / "pelarin-bench-XXXXXX").string();
    if (::mkdtemp(pattern.data())) folder_ = pattern;
    std::filesystem::current_path(folder_);
  }
  ~InTemporaryFolder() {
    std::filesystem::current_path(start_);
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }

 private:
  std::filesystem::path start_, folder_;
};

// A cell: the parameter boxes typed over the default texts before the study runs.
struct BoxText {
  int index;
  const char* text;
};
struct Cell {
  const char* label;
  std::span<const BoxText> boxes;
};
constexpr BoxText kStrongCoupling[] = {{25, "50"}, {22, "200"}};  // Rg3, Rl2
constexpr Cell kDefaultCell{"computation and drawing, default cell", {}};
constexpr Cell kStronglyCoupled{"computation and drawing, Rg3 = 50, Rl2 = 200", kStrongCoupling};
// The coupling physics: luminescent coupling, reverse breakdown of a limiting bottom junction, both.
constexpr BoxText kLuminescentBoxes[] = {{ParameterIndex("beta3"), "0.5"}, {ParameterIndex("beta2"), "0.3"}};
constexpr BoxText kBreakdownBoxes[] = {
    {ParameterIndex("Jsc1"), "0.004"}, {ParameterIndex("Abd1"), "0.5"}, {ParameterIndex("Vbd1"), "-1"}};
constexpr BoxText kBothBoxes[] = {{ParameterIndex("beta3"), "0.5"},
                                  {ParameterIndex("beta2"), "0.3"},
                                  {ParameterIndex("Jsc1"), "0.004"},
                                  {ParameterIndex("Abd1"), "0.5"},
                                  {ParameterIndex("Vbd1"), "-1"}};
constexpr BoxText kMismatchedBoxes[] = {{ParameterIndex("Jsc1"), "0.004"}};
constexpr Cell kLuminescent{"beta3 = 0.5, beta2 = 0.3", kLuminescentBoxes};
constexpr Cell kBreakdown{"Jsc1 = 0.004, Abd1 = 0.5, Vbd1 = -1", kBreakdownBoxes};
constexpr Cell kBoth{"both", kBothBoxes};
constexpr Cell kMismatched{"Jsc1 = 0.004 (breakdown's reference)", kMismatchedBoxes};

void BM_Study(benchmark::State& bench, void (*study)(State&, Ui&), const Cell& cell, bool literal) {
  InTemporaryFolder folder;
  double evaluations = 0;
  for (auto _ : bench) {
    State state;
    ResetStartUpConstants(state);
    state.k.skipCertifiedSteps = !literal;
    DecliningUi ui;
    for (const BoxText& box : cell.boxes) ui.form.SetBoxText(box.index, box.text);
    study(state, ui);
    benchmark::DoNotOptimize(state.sweep.resCount);
    evaluations = static_cast<double>(state.ws.balanceEvals);
  }
  bench.counters["evaluations"] = evaluations;
  bench.counters["per_evaluation"] =
      benchmark::Counter(evaluations * static_cast<double>(bench.iterations()),
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  bench.SetLabel(cell.label);
}

struct NamedStudy {
  const char* name;
  void (*study)(State&, Ui&);
  const Cell* cell;
};
const bool kStudiesRegistered = [] {
  for (const NamedStudy& s : {
           NamedStudy{"IndependentStudy", IndependentStudy, &kDefaultCell},
           NamedStudy{"StudyAllJunctions", StudyAllJunctions, &kDefaultCell},
           NamedStudy{"StudyTwoJunctions", StudyTwoJunctions, &kDefaultCell},
           NamedStudy{"StudyOneJunction", StudyOneJunction, &kDefaultCell},
           NamedStudy{"StudyWithRl", StudyWithRl, &kDefaultCell},
           NamedStudy{"StudyTwoWithRl", StudyTwoWithRl, &kDefaultCell},
           NamedStudy{"StudyOneWithRl", StudyOneWithRl, &kDefaultCell},
           NamedStudy{"StudyWithRl_StronglyCoupled", StudyWithRl, &kStronglyCoupled},
           NamedStudy{"StudyTwoWithRl_StronglyCoupled", StudyTwoWithRl, &kStronglyCoupled},
           NamedStudy{"StudyOneWithRl_StronglyCoupled", StudyOneWithRl, &kStronglyCoupled},
           NamedStudy{"StudyAllJunctions_Luminescent", StudyAllJunctions, &kLuminescent},
           NamedStudy{"StudyAllJunctions_Mismatched", StudyAllJunctions, &kMismatched},
           NamedStudy{"StudyAllJunctions_Breakdown", StudyAllJunctions, &kBreakdown},
           NamedStudy{"StudyAllJunctions_CouplingPhysics", StudyAllJunctions, &kBoth},
           NamedStudy{"StudyWithRl_Luminescent", StudyWithRl, &kLuminescent},
           NamedStudy{"EqePair13_Luminescent", EqePair13Study, &kLuminescent},
           NamedStudy{"EqeIlluminated", EqeIlluminatedStudy, &kDefaultCell},
           NamedStudy{"EqeDark", EqeDarkStudy, &kDefaultCell},
           NamedStudy{"EqePair12", EqePair12Study, &kDefaultCell},
           NamedStudy{"EqePair13", EqePair13Study, &kDefaultCell},
           NamedStudy{"EqePair23", EqePair23Study, &kDefaultCell},
       }) {
    for (const bool literal : {false, true}) {
      const std::string name = std::string("BM_Study/") + s.name + (literal ? "/literal" : "");
      benchmark::RegisterBenchmark(name.c_str(), [s, literal](benchmark::State& bench) {
        BM_Study(bench, s.study, *s.cell, literal);
      })->Unit(benchmark::kMillisecond);
    }
  }
  return true;
}();
// The EQE interpolation's search for the first probed point above each reference voltage, on the sweeps
// of "1 and 2 Illuminated" (the most points of the five modes): point by point, and by binary search.
void BM_EqeSearch(benchmark::State& bench, bool binary) {
  State state;
  ResetStartUpConstants(state);
  DecliningUi ui;
  ReadParameters(state, ui);
  state.flags.eqePair12 = 1;
  EqeReferencePreRun(state);
  const EqeArtefacts r = SweepEqe(state);
  const EqeTables& t = r.tables;
  for (auto _ : bench) {
    long sum = 0;
    for (int a = 1; a <= 3; ++a) {
      const FirstPointAbove search(t.eqeV[a], t.eqeCount[a]);
      for (int p = 1; p <= t.eqeCount[0]; ++p) {
        const double x = t.eqeV[0][static_cast<std::size_t>(p)];
        sum += binary ? search(x) : FirstPointAboveByScan(t.eqeV[a], t.eqeCount[a], x);
      }
    }
    benchmark::DoNotOptimize(sum);
  }
  bench.SetLabel(std::to_string(t.eqeCount[0]) + " reference points, probed sweeps of " +
                 std::to_string(t.eqeCount[1]) + ", " + std::to_string(t.eqeCount[2]) + ", " +
                 std::to_string(t.eqeCount[3]) + " points");
}

BENCHMARK_CAPTURE(BM_EqeSearch, Scan, false)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_EqeSearch, BinarySearch, true)->Unit(benchmark::kMicrosecond);

// The figures of the default cell's lit stack curve: read off its points, solved by the junctions' voltage
// searches where the points say each figure lies (what the studies without Rl give), and solved by the
// coupling network's point solve (what the studies inside the Rl/Rg network give; with Rl and Rg at 1e12
// Ohm cm2 the curve is the same).
enum class FiguresPath { ReadOff, Series, Network };

void BM_CurveFigures(benchmark::State& bench, FiguresPath path) {
  InTemporaryFolder folder;
  State state;
  ResetStartUpConstants(state);
  DecliningUi ui;
  ReadParameters(state, ui);
  const StackCurve lit = LitStackSweep(state);
  const std::array<double, 4> photocurrents = {0, state.par.Jsc1, state.par.Jsc2, state.par.Jsc3};
  for (auto _ : bench) {
    const FiguresOfMerit f = path == FiguresPath::ReadOff ? LitCurveFigures(state, lit)
                             : path == FiguresPath::Series
                                 ? SeriesCurveFigures(state, lit, {.photocurrents = photocurrents})
                                 : NetworkCurveFigures(state, lit, photocurrents, 1e-8);
    benchmark::DoNotOptimize(f.Pmax);
  }
}
BENCHMARK_CAPTURE(BM_CurveFigures, ReadOffThePoints, FiguresPath::ReadOff)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_CurveFigures, Solved, FiguresPath::Series)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_CurveFigures, SolvedInTheNetwork, FiguresPath::Network)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace pelarin
