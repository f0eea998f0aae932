// The exact figures of every lit curve a study draws, beside the study itself (BM_Study/<name>): the same
// cells, so that one run gives the ratio, e.g.
//   pelarin_bench --benchmark_filter='BM_ExactFigures|BM_Study/Study[A-Za-z_]*$'
// and the exact solver's building blocks for a fit: the terminal current at a voltage, alone and with its
// derivatives in the 26 parameters.
#include <benchmark/benchmark.h>

#include <string>

#include "common/declining_ui.h"
#include "model/exact_circuit.h"
#include "model/operating_conditions.h"
#include "model/parameter_table.h"
#include "studies/exact_figures.h"
#include "studies/study_registry.h"
#include "workspace/read_parameters.h"

namespace pelarin {
namespace {

struct BenchCell {
  const char* label;
  std::vector<std::pair<const char*, const char*>> boxes;
};

State StateOf(const BenchCell& cell) {
  testing::DecliningUi ui;
  for (const auto& [name, text] : cell.boxes) ui.form.SetBoxText(ParameterIndex(name), text);
  State state;
  ResetStartUpConstants(state);
  ReadParameters(state, ui);
  return state;
}

void BM_ExactFigures(benchmark::State& bench, const StudyEntry& study, const BenchCell& cell) {
  const State state = StateOf(cell);
  for (auto _ : bench) benchmark::DoNotOptimize(ExactFigures(study.exact, state));
  bench.SetLabel(cell.label);
}

const BenchCell kDefault{"default cell", {}};
const BenchCell kStronglyCoupled{"Rg3 = 50, Rl2 = 200", {{"Rg3", "50"}, {"Rl2", "200"}}};

// Named as the studies' benchmarks are, for reading side by side.
const bool kRegistered = [] {
  const std::pair<const char*, const char*> names[] = {
      {"independent", "IndependentStudy"}, {"all", "StudyAllJunctions"}, {"two", "StudyTwoJunctions"},
      {"one", "StudyOneJunction"},         {"all-rl", "StudyWithRl"},    {"two-rl", "StudyTwoWithRl"},
      {"one-rl", "StudyOneWithRl"}};
  for (const auto& [batchName, name] : names) {
    const StudyEntry* study = FindStudy(batchName);
    benchmark::RegisterBenchmark(
        (std::string("BM_ExactFigures/") + name).c_str(),
        [study](benchmark::State& bench) { BM_ExactFigures(bench, *study, kDefault); })
        ->Unit(benchmark::kMicrosecond);
    if (study->exact.coupled)
      benchmark::RegisterBenchmark(
          (std::string("BM_ExactFigures/") + name + "_StronglyCoupled").c_str(),
          [study](benchmark::State& bench) { BM_ExactFigures(bench, *study, kStronglyCoupled); })
          ->Unit(benchmark::kMicrosecond);
  }
  return true;
}();

// The figures of the stack from the form's values, the cell put at its conditions inside the loop: at the
// reference conditions, at 60 degrees C, and at 60 degrees C and 20 suns; beside each, the same cell given at
// its conditions (BM_ExactFigures/StudyAllJunctions_...), so that the difference is the transform's cost: a
// few exponentials against the hundreds of a solve.
void BM_ExactFiguresFromTheForm(benchmark::State& bench, const BenchCell& cell) {
  const State read = StateOf(cell);
  State state = read;
  const StudyEntry& study = *FindStudy("all");
  for (auto _ : bench) {
    UseCell(state, read.formValues);
    benchmark::DoNotOptimize(ExactFigures(study.exact, state));
  }
  bench.SetLabel(cell.label);
}
const BenchCell kWarm{"T = 60", {{"T", "60"}}};
const BenchCell kConcentrated{"T = 60, X = 20", {{"T", "60"}, {"X", "20"}}};
BENCHMARK_CAPTURE(BM_ExactFiguresFromTheForm, Reference, kDefault)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_ExactFiguresFromTheForm, Warm, kWarm)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_ExactFiguresFromTheForm, Concentrated, kConcentrated)->Unit(benchmark::kMicrosecond);
// The same two cells given already at their conditions: what the solve alone costs there.
BENCHMARK_CAPTURE(BM_ExactFigures, StudyAllJunctions_Warm, *FindStudy("all"), kWarm)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_ExactFigures, StudyAllJunctions_Concentrated, *FindStudy("all"), kConcentrated)
    ->Unit(benchmark::kMicrosecond);
// Deep cold, where every saturation current is carried by its logarithm.
const BenchCell kCold{"T = -270", {{"T", "-270"}}};
BENCHMARK_CAPTURE(BM_ExactFigures, StudyAllJunctions_Cold, *FindStudy("all"), kCold)
    ->Unit(benchmark::kMicrosecond);

// The coupling physics beside the default cell: the stack's figures with luminescent coupling, with the
// breakdown of a limiting bottom junction (beside the same mismatch without it), and with both.
const BenchCell kLuminescent{"beta3 = 0.5, beta2 = 0.3", {{"beta3", "0.5"}, {"beta2", "0.3"}}};
const BenchCell kMismatched{"Jsc1 = 0.004", {{"Jsc1", "0.004"}}};
const BenchCell kBreakdown{"Jsc1 = 0.004, Abd1 = 0.5, Vbd1 = -1",
                           {{"Jsc1", "0.004"}, {"Abd1", "0.5"}, {"Vbd1", "-1"}}};
const BenchCell kBoth{
    "both", {{"beta3", "0.5"}, {"beta2", "0.3"}, {"Jsc1", "0.004"}, {"Abd1", "0.5"}, {"Vbd1", "-1"}}};
BENCHMARK_CAPTURE(BM_ExactFigures, StudyAllJunctions_Luminescent, *FindStudy("all"), kLuminescent)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_ExactFigures, StudyAllJunctions_Mismatched, *FindStudy("all"), kMismatched)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_ExactFigures, StudyAllJunctions_Breakdown, *FindStudy("all"), kBreakdown)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_ExactFigures, StudyAllJunctions_CouplingPhysics, *FindStudy("all"), kBoth)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_ExactFigures, StudyWithRl_Luminescent, *FindStudy("all-rl"), kLuminescent)
    ->Unit(benchmark::kMicrosecond);
// A power with a maximum on each side of the breakdown step, the one past it the higher; and the breakdown
// inside the Rl/Rg network, beside the same mismatch without it.
const BenchCell kTwoMaxima{"Jsc1 = 0.002, Abd1 = 0.5, Vbd1 = -0.5",
                           {{"Jsc1", "0.002"}, {"Abd1", "0.5"}, {"Vbd1", "-0.5"}}};
BENCHMARK_CAPTURE(BM_ExactFigures, StudyAllJunctions_TwoMaxima, *FindStudy("all"), kTwoMaxima)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_ExactFigures, StudyWithRl_Mismatched, *FindStudy("all-rl"), kMismatched)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_ExactFigures, StudyWithRl_Breakdown, *FindStudy("all-rl"), kBreakdown)
    ->Unit(benchmark::kMicrosecond);

void BM_ExactCurrentAt(benchmark::State& bench, bool coupled, bool derivatives) {
  const State state = StateOf(coupled ? kStronglyCoupled : kDefault);
  const exact::CircuitSolver solver(state.par, state.k.Vt, exact::Stack({true, true, true}, coupled));
  double V = 0;
  for (auto _ : bench) {
    V = V > 1.3 ? 0 : V + 0.01;  // across the curve
    if (derivatives)
      benchmark::DoNotOptimize(solver.CurrentDerivatives(V));
    else
      benchmark::DoNotOptimize(solver.CurrentAt(V));
  }
}
BENCHMARK_CAPTURE(BM_ExactCurrentAt, Stack, false, false);
BENCHMARK_CAPTURE(BM_ExactCurrentAt, StackWithDerivatives, false, true);
BENCHMARK_CAPTURE(BM_ExactCurrentAt, Coupled, true, false);
BENCHMARK_CAPTURE(BM_ExactCurrentAt, CoupledWithDerivatives, true, true);

}  // namespace
}  // namespace pelarin
