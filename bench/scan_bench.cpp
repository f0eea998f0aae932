// A 1,000-cell scan of the three-junction study (Rs1 from 1 to 10 Ohm.cm2) on one and on two threads,
// summary written, nothing else. Its time per cell compares with BM_ScanCell, one cell of the same grid
// computed alone on this thread (the study, its figures and its rows), and with BM_Study/StudyAllJunctions
// (one study as the window runs it, its sweeps on every core). Run them together,
// --benchmark_filter='BM_Scan|BM_Study/StudyAllJunctions$': each scan takes seconds.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <sstream>
#include <string>

#include "app/scan_cells.h"
#include "batch/scan_command.h"
#include "workspace/read_parameters.h"

namespace pelarin {
namespace {

void BM_Scan(benchmark::State& bench, int threads) {
  const auto folder =
      std::filesystem::temp_directory_path() / ("pelarin-scan-bench-" + std::to_string(::getpid()));
  std::filesystem::create_directories(folder);
  const std::string summary = (folder / "scan.csv").string();
  std::ostringstream err;
  auto options = ParseScanOptions(
      {"all", "--vary", "Rs1=1:10:1000", "--summary", summary, "--overwrite", "-j", std::to_string(threads)},
      err);
  const std::atomic<bool> stop{false};
  for (auto _ : bench) {
    std::ostringstream out, progress;
    benchmark::DoNotOptimize(RunScan(*options, out, progress, stop));
  }
  bench.counters["per_cell"] =
      benchmark::Counter(1000, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
  std::filesystem::remove_all(folder);
}
void BM_ScanCell(benchmark::State& bench) {
  const auto start = std::filesystem::current_path();
  const auto folder =
      std::filesystem::temp_directory_path() / ("pelarin-scan-cell-bench-" + std::to_string(::getpid()));
  std::filesystem::create_directories(folder);
  std::filesystem::current_path(folder);
  ScanSetup setup;
  ResetStartUpConstants(setup.base);
  std::string error;
  setup.grid.axes = {*ParseScanAxis("Rs1=1:10:1000", error)};
  if (CheckScan(setup, "all")) bench.SkipWithError("the scan is refused");
  std::int64_t cell = 0;
  for (auto _ : bench) benchmark::DoNotOptimize(ScanCellRows(setup, cell++ % 1000));
  std::filesystem::current_path(start);
  std::filesystem::remove_all(folder);
}
BENCHMARK(BM_ScanCell)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Scan, OneThread, 1)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();
BENCHMARK_CAPTURE(BM_Scan, TwoThreads, 2)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

}  // namespace
}  // namespace pelarin
