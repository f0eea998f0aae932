// A 1,000-cell scan of the three-junction study (Rs1 from 1 to 10 Ohm.cm2) on one and on two threads,
// summary written, nothing else, with each method of finding the figures (curve: the study run per cell;
// exact: the circuit solved). Its time per cell compares with BM_ScanCell, one cell of the same grid
// computed alone on this thread (its figures and its rows), and with BM_Study/StudyAllJunctions (one study
// as the window runs it, its sweeps on every core). Run them together,
// --benchmark_filter='BM_Scan|BM_Study/StudyAllJunctions$': each curve scan takes seconds.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <sstream>
#include <string>

#include "app/scan_cells.h"
#include "app/scan_engine.h"
#include "app/scan_records.h"
#include "batch/scan_command.h"
#include "workspace/read_parameters.h"

namespace pelarin {
namespace {

void BM_Scan(benchmark::State& bench, int threads, const char* method) {
  const auto folder =
      std::filesystem::temp_directory_path() / ("pelarin-scan-bench-" + std::to_string(::getpid()));
  std::filesystem::create_directories(folder);
  const std::string summary = (folder / "scan.csv").string();
  std::ostringstream err;
  auto options = ParseScanOptions({"all", "--vary", "Rs1=1:10:1000", "--summary", summary, "--overwrite",
                                   "-j", std::to_string(threads), "--figures", method},
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
void BM_ScanCell(benchmark::State& bench, FigureMethod method) {
  const auto start = std::filesystem::current_path();
  const auto folder =
      std::filesystem::temp_directory_path() / ("pelarin-scan-cell-bench-" + std::to_string(::getpid()));
  std::filesystem::create_directories(folder);
  std::filesystem::current_path(folder);
  ScanSetup setup;
  setup.method = method;
  ResetStartUpConstants(setup.base);
  std::string error;
  setup.grid.axes = {*ParseScanAxis("Rs1=1:10:1000", error)};
  if (CheckScan(setup, "all")) bench.SkipWithError("the scan is refused");
  std::int64_t cell = 0;
  for (auto _ : bench) benchmark::DoNotOptimize(ScanCellRows(setup, cell++ % 1000));
  std::filesystem::current_path(start);
  std::filesystem::remove_all(folder);
}
// The engine alone over a 200 x 200 exact grid of the stack (Rs1 x Rp1) on one thread, its rows handed to
// no sink, to the scan file, or to the records Python's ScanTable is made of: cells per second against the
// exact figures of one cell (BM_ExactFigures/StudyAllJunctions), the limit they approach.
enum class EngineSink { None, Csv, Records };
void BM_ScanEngine(benchmark::State& bench, EngineSink sinkKind) {
  const auto folder =
      std::filesystem::temp_directory_path() / ("pelarin-engine-bench-" + std::to_string(::getpid()));
  std::filesystem::create_directories(folder);
  ScanRequest request;
  request.study = "all";
  std::string error;
  request.grid.axes = {*ParseScanAxis("Rs1=0.1:10:200:log", error),
                       *ParseScanAxis("Rp1=100:1e6:200:log", error)};
  request.threads = 1;
  ResetStartUpConstants(request.base);
  if (sinkKind == EngineSink::Csv) request.file = (folder / "scan.csv").string();
  request.existing = ExistingFile::Replace;
  for (auto _ : bench) {
    ScanRecords records;
    const ScanOutcome outcome = RunScanEngine(request, sinkKind == EngineSink::Records ? &records : nullptr);
    if (outcome.end != ScanEnd::Done) bench.SkipWithError("the scan did not complete");
    benchmark::DoNotOptimize(records.Rows());
  }
  bench.counters["cells_per_s"] = benchmark::Counter(40000, benchmark::Counter::kIsIterationInvariantRate);
  std::filesystem::remove_all(folder);
}
BENCHMARK_CAPTURE(BM_ScanEngine, NullSink, EngineSink::None)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_ScanEngine, CsvSink, EngineSink::Csv)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_ScanEngine, RecordsSink, EngineSink::Records)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->UseRealTime();

BENCHMARK_CAPTURE(BM_ScanCell, Curve, FigureMethod::Curve)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ScanCell, Exact, FigureMethod::Exact)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Scan, CurveOneThread, 1, "curve")
    ->Unit(benchmark::kSecond)
    ->Iterations(1)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_Scan, CurveTwoThreads, 2, "curve")
    ->Unit(benchmark::kSecond)
    ->Iterations(1)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_Scan, ExactOneThread, 1, "exact")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_Scan, ExactTwoThreads, 2, "exact")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->UseRealTime();

}  // namespace
}  // namespace pelarin
