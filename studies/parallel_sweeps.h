// Running a study's sweeps at once where no sweep reads what another one leaves behind: each runs on its
// own copy of the state, and the study then puts together the state the sweeps would have left run in turn.
#pragma once

#include <functional>
#include <span>

#include "model/state.h"

namespace pelarin {

// A copy of the state without the sweep result arrays, which every sweep fills afresh anyway (they are
// large: copying them would cost more than a short sweep).
[[nodiscard]] State CopyForSweep(State& state);

// Runs the tasks, each on a thread of its own except the first, which runs on the caller's. Returns true
// when every task finished; false when one threw (its exception is dropped: the caller then runs the
// sweeps again in turn, so that the fault and the state it leaves are exactly those of the plain run).
[[nodiscard]] bool RunAtOnce(std::span<const std::function<void()>> tasks);

// Adds a task's search diagnostics (its balance evaluations and longest phase) to the combined state, where
// start holds the values the task began from.
void AddDiagnostics(WorkingSet& combined, const WorkingSet& start, const WorkingSet& task);

}  // namespace pelarin
