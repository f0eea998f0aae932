// How a long computation reports its progress and learns whether to go on: one callback, called on the
// computing side between steps, whose answer continues or stops the work (as Ceres' IterationCallback does).
// The scan engine, the fit and the study runner call it; their faces (a terminal line, a progress bar,
// Python's Ctrl-C) answer it.
#pragma once

#include <cstdint>
#include <functional>

namespace pelarin {

enum class CallbackReturn { Continue, Stop };

struct ProgressReport {
  std::int64_t done = 0;  // steps done (cells, starts)
  std::int64_t of = 0;    // steps in all
  double seconds = 0;     // since the work began
  double best = 0;        // a fit's lowest cost so far (infinite before any start ends)
};

using ProgressCallback = std::function<CallbackReturn(const ProgressReport&)>;

}  // namespace pelarin
