// Timings of the junction searches and of the six default sweeps, each with the time per balance
// evaluation, and of two std::exp calls alone: the floor of one evaluation. Cases ending in "/literal"
// evaluate every step of every phase, the reference for the searches' jumps over certified steps.
#include <benchmark/benchmark.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <string>

#include "common/solver_fixtures.h"
#include "model/solvers.h"

namespace pelarin {
namespace {

// Reports the balance evaluations per iteration and the time each took.
void ReportEvaluations(benchmark::State& bm, std::uint64_t evals) {
  bm.counters["evals"] = benchmark::Counter(static_cast<double>(evals), benchmark::Counter::kAvgIterations);
  bm.counters["time/eval"] = benchmark::Counter(static_cast<double>(evals),
                                                benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// Junction 2 lit at 6 mA/cm2 from the sweeps' start guess, and from the root of a current 0.1 % away (the
// usual case inside a sweep).
void CalcVOnce(benchmark::State& bm, double guess) {
  State s = testing_cell::DefaultState();
  LoadJunction(s, 2, s.par.Jsc2);
  double start = guess;
  if (guess == 0) {
    s.ws.curJ = 0.006 * 1.001;
    s.ws.curV = 1e-5;
    CalcV(s);
    start = s.ws.curV;
  }
  const std::uint64_t before = s.ws.balanceEvals;
  for (auto _ : bm) {
    s.ws.curJ = 0.006;
    s.ws.curV = start;
    CalcV(s);
    benchmark::DoNotOptimize(s.ws.curV);
  }
  ReportEvaluations(bm, s.ws.balanceEvals - before);
}
void BM_CalcV_FromStartGuess(benchmark::State& bm) { CalcVOnce(bm, 1e-5); }
void BM_CalcV_FromNeighbourPoint(benchmark::State& bm) { CalcVOnce(bm, 0); }
BENCHMARK(BM_CalcV_FromStartGuess);
BENCHMARK(BM_CalcV_FromNeighbourPoint);

// One point of the independent-junction study: junction 1 lit at 0.3 V from its guess 1e-10, or dark at
// 1 V from -1e-12 (the long falling phase at 0.5 % per step that most of the study's evaluations go to).
void CalcJOnce(benchmark::State& bm, bool lit, bool literal) {
  State s = testing_cell::DefaultState();
  s.k.skipCertifiedSteps = !literal;
  LoadJunction(s, 1, lit ? s.par.Jsc1 : 0);
  s.ws.stepJ = 0.05;
  const std::uint64_t before = s.ws.balanceEvals;
  for (auto _ : bm) {
    s.ws.curV = lit ? 0.3 : 1.0;
    s.ws.curJ = lit ? 1e-10 : -1e-12;
    CalcJ(s);
    benchmark::DoNotOptimize(s.ws.curJ);
  }
  ReportEvaluations(bm, s.ws.balanceEvals - before);
}
void BM_CalcJ(benchmark::State& bm) { CalcJOnce(bm, true, false); }
void BM_CalcJ_literal(benchmark::State& bm) { CalcJOnce(bm, true, true); }
void BM_CalcJ_DarkForward(benchmark::State& bm) { CalcJOnce(bm, false, false); }
void BM_CalcJ_DarkForward_literal(benchmark::State& bm) { CalcJOnce(bm, false, true); }
BENCHMARK(BM_CalcJ);
BENCHMARK(BM_CalcJ_literal);
BENCHMARK(BM_CalcJ_DarkForward);
BENCHMARK(BM_CalcJ_DarkForward_literal);

// A default sweep with its study's start values; one State reused, so its arrays are not reallocated.
void BM_Sweep(benchmark::State& bm, const testing_cell::DefaultSweep& sweep, bool literal) {
  State s = testing_cell::DefaultState();
  s.k.skipCertifiedSteps = !literal;
  const std::uint64_t before = s.ws.balanceEvals;
  for (auto _ : bm) {
    sweep.setUp(s);
    sweep.run(s);
    benchmark::DoNotOptimize(s.sweep.resCount);
  }
  ReportEvaluations(bm, s.ws.balanceEvals - before);
  bm.counters["points"] = s.sweep.resCount;
}

const bool kSweepsRegistered = [] {
  for (const auto& sweep : testing_cell::DefaultSweeps()) {
    for (const bool literal : {false, true}) {
      const std::string name = std::string("BM_Sweep/") + sweep.name + (literal ? "/literal" : "");
      benchmark::RegisterBenchmark(name.c_str(), [&sweep, literal](benchmark::State& bm) {
        BM_Sweep(bm, sweep, literal);
      })->Unit(benchmark::kMillisecond);
    }
  }
  return true;
}();

// Two exponentials of arguments like the balance's (Vd over m*Vt, 10 to 40), nothing else.
void BM_TwoExp(benchmark::State& bm) {
  std::array<double, 1024> args{};
  for (std::size_t i = 0; i < args.size(); ++i) args[i] = 10 + 30 * static_cast<double>(i) / args.size();
  std::size_t i = 0;
  for (auto _ : bm) {
    const double x = args[i];
    i = (i + 1) & (args.size() - 1);
    benchmark::DoNotOptimize(std::exp(x));
    benchmark::DoNotOptimize(std::exp(0.5 * x));
  }
}
BENCHMARK(BM_TwoExp);

}  // namespace
}  // namespace pelarin
