#include "studies/parallel_sweeps.h"

#include <exception>
#include <thread>
#include <utility>
#include <vector>

namespace pelarin {

State CopyForSweep(State& state) {
  SweepState& sweep = state.sweep;
  auto vtot = std::move(sweep.resVtot), v1 = std::move(sweep.resV1), v2 = std::move(sweep.resV2);
  auto v3 = std::move(sweep.resV3), j = std::move(sweep.resJ);
  State copy = state;
  sweep.resVtot = std::move(vtot), sweep.resV1 = std::move(v1), sweep.resV2 = std::move(v2);
  sweep.resV3 = std::move(v3), sweep.resJ = std::move(j);
  return copy;
}

bool RunAtOnce(std::span<const std::function<void()>> tasks) {
  std::vector<char> failed(tasks.size(), 0);  // one byte per task: the threads write apart
  const auto run = [&](std::size_t i) {
    try {
      tasks[i]();
    } catch (...) {
      failed[i] = 1;
    }
  };
  {
    std::vector<std::jthread> threads;
    threads.reserve(tasks.size());
    for (std::size_t i = 1; i < tasks.size(); ++i) threads.emplace_back(run, i);
    if (!tasks.empty()) run(0);
  }
  for (const char f : failed)
    if (f) return false;
  return true;
}

void AddDiagnostics(WorkingSet& combined, const WorkingSet& start, const WorkingSet& task) {
  combined.balanceEvals += task.balanceEvals - start.balanceEvals;
  if (task.longestPhase > combined.longestPhase) combined.longestPhase = task.longestPhase;
}

}  // namespace pelarin
