// A fit of four free parameters to a lit and a dark curve of 300 points each, 16 starts on two threads:
// the case the fit is meant to handle in under two seconds. And a measurement campaign: the lit curve at
// three temperatures and the dark curve, a band gap, a saturation current and a shunt free, which the fit is
// meant to handle in under three seconds.
#include <benchmark/benchmark.h>

#include <cmath>
#include <optional>

#include "common/solver_fixtures.h"
#include "fit/fit.h"
#include "model/parameter_table.h"

namespace pelarin {
namespace {

// A curve of the cell's exact solution at 300 voltages, with 1 % relative noise of a fixed pattern.
fit::MeasuredCurve Curve(const Parameters& truth, const char* name, double from, double to,
                         std::optional<double> T = std::nullopt) {
  fit::MeasuredCurve c;
  c.name = name;
  c.T = T;
  c.circuit = exact::Stack(*fit::LitSetOf(name), false);
  for (int i = 0; i < 300; ++i) c.V.push_back(from + (to - from) * i / 299);
  c.J = fit::ModelCurrents(c, truth);
  for (std::size_t i = 0; i < c.J.size(); ++i)
    c.J[i] *= 1 + 0.01 * std::sin(12.9898 * static_cast<double>(i));
  return c;
}

void BM_Fit(benchmark::State& bench) {
  Parameters truth = testing_cell::DefaultParameters();
  truth.Rs2 = 8, truth.Rp1 = 2000, truth.Jsd11 = 1e-10, truth.Jsc3 = 0.014;
  fit::FitOptions options;
  options.curves = {Curve(truth, "lit", -0.3, 1.35), Curve(truth, "dark", 0.2, 2.2)};
  options.start = testing_cell::DefaultParameters();
  options.threads = 2;
  for (const char* name : {"Rs2", "Rp1", "Jsd11", "Jsc3"})
    options.free.push_back(fit::DefaultBounds(ParameterIndex(name)));
  int iterations = 0;
  for (auto _ : bench) {
    const fit::FitResult r = fit::Fit(options);
    iterations = r.iterations;
    benchmark::DoNotOptimize(r.cost);
  }
  bench.counters["lm_iterations"] = iterations;
}
BENCHMARK(BM_Fit)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_FitCampaign(benchmark::State& bench) {
  Parameters truth = testing_cell::DefaultParameters();
  truth.Eg3 = 1.8, truth.Jsd31 = 2e-8, truth.Rp2 = 3000;
  fit::FitOptions options;
  for (const double T : {10.0, 50.0, 90.0}) options.curves.push_back(Curve(truth, "lit", -0.3, 1.35, T));
  options.curves.push_back(Curve(truth, "dark", 0.2, 2.2));
  options.start = testing_cell::DefaultParameters();
  options.threads = 2;
  for (const char* name : {"Eg3", "Jsd31", "Rp2"})
    options.free.push_back(fit::DefaultBounds(ParameterIndex(name)));
  double Eg3 = 0;
  for (auto _ : bench) {
    const fit::FitResult r = fit::Fit(options);
    Eg3 = r.fitted.Eg3;
    benchmark::DoNotOptimize(r.cost);
  }
  bench.counters["Eg3"] = Eg3;
}
BENCHMARK(BM_FitCampaign)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace
}  // namespace pelarin
