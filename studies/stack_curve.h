// A curve of the stack as the studies keep it: total voltage, current density and the three junction
// voltages of points 1..Size(), copied out of the sweep results before the next sweep overwrites them.
// It grows as sweeps are appended, so a curve joined from two sweeps never overruns a fixed table.
#pragma once

#include <vector>

#include "model/state.h"

namespace pelarin {

struct CurveBounds {
  double xMin, xMax, yMin, yMax;
};

class StackCurve {
 public:
  static constexpr bool kAbsoluteCurrent = true;

  // Appends the sweep's points first..last (nothing when last < first), optionally as |J|.
  void AppendSweep(const SweepState& sweep, int first, int last, bool absoluteCurrent = false);
  // Appends the sweep's points last down to first, so the curve runs the other way.
  void AppendSweepReversed(const SweepState& sweep, int first, int last);

  // Appends one point.
  void AddPoint(double v, double j, double v1 = 0, double v2 = 0, double v3 = 0);

  [[nodiscard]] int Size() const { return static_cast<int>(v_.size()); }
  // Point i, 1-based.
  [[nodiscard]] double V(int i) const { return v_[static_cast<std::size_t>(i - 1)]; }
  [[nodiscard]] double J(int i) const { return j_[static_cast<std::size_t>(i - 1)]; }
  [[nodiscard]] double V1(int i) const { return v1_[static_cast<std::size_t>(i - 1)]; }
  [[nodiscard]] double V2(int i) const { return v2_[static_cast<std::size_t>(i - 1)]; }
  [[nodiscard]] double V3(int i) const { return v3_[static_cast<std::size_t>(i - 1)]; }

  // Extremes of the total voltage and the current density; minima start at 1e12 and maxima at -20.
  [[nodiscard]] CurveBounds Bounds() const;
  // Widens bounds by this curve's extremes.
  void Extend(CurveBounds& bounds) const;

 private:
  void Add(const SweepState& sweep, int index, bool absoluteCurrent);
  std::vector<double> v_, j_, v1_, v2_, v3_;
};

}  // namespace pelarin
