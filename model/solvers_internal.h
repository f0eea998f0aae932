// Start-of-sweep steps shared by the stack and coupled sweeps (internal to the model layer).
#pragma once

#include <cmath>
#include <string>

#include "model/calc_error.h"
#include "model/state.h"

namespace pelarin {

// Fresh zeroed result arrays 0..maxPoints; index 0 of the junction arrays holds the start voltages Vinit.
inline void StartSweepArrays(const char* sweep, SweepState& sw, int maxPoints) {
  if (maxPoints < 0) throw CalcError(std::string(sweep) + ": maxPoints is negative");
  if (sw.Vinit.size() < 4) throw CalcError(std::string(sweep) + ": Vinit has no elements 1 to 3");
  const auto size = static_cast<std::size_t>(maxPoints) + 1;
  sw.resVtot.assign(size, 0.0);
  sw.resV1.assign(size, 0.0);
  sw.resV2.assign(size, 0.0);
  sw.resV3.assign(size, 0.0);
  sw.resJ.assign(size, 0.0);
  sw.resV1[0] = sw.Vinit[1];
  sw.resV2[0] = sw.Vinit[2];
  sw.resV3[0] = sw.Vinit[3];
}

// The sign of the start current density is the sweep direction; zero (0/0) or a non-number has none.
inline void RequireSweepDirection(const char* sweep, double curJset) {
  if (curJset == 0 || !std::isfinite(curJset)) {
    throw CalcError(std::string(sweep) + ": the start current density curJset is " +
                    (curJset == 0 ? std::string("0") : std::string("not finite")) +
                    ", so the sweep has no direction");
  }
}

}  // namespace pelarin
