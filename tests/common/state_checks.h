// Compares two whole states field by field and bit for bit (doubles by their
// bits, so -0 against 0 or two different NaNs differ too), so that a failure names what differs.
#pragma once

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "model/parameter_table.h"
#include "model/state.h"

namespace pelarin::testing {

inline bool SameBits(double a, double b) {
  return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

// Whether the count of balance evaluations (a diagnostic) takes part in a comparison.
enum class Evaluations { Compared, Ignored };

// The first field where two states differ, or "" when they are the same. The two switches that choose how
// the model computes (jumping searches, sweeps at once) are left out: the comparisons run one against the
// other.
class StateDifference {
 public:
  static std::string Between(const State& a, const State& b, Evaluations evaluations) {
    StateDifference d;
    for (const ParameterRow& row : kParameterRows)
      d.Same(std::string(row.name).c_str(), a.par.*row.member, b.par.*row.member);
#define PELARIN_SAME(field) d.Same(#field, a.field, b.field)
    PELARIN_SAME(par.JsdMax1), PELARIN_SAME(par.JsdMax2), PELARIN_SAME(par.JsdMax3);
    PELARIN_SAME(id.studyName), PELARIN_SAME(id.baseDir), PELARIN_SAME(id.studyDir);
    PELARIN_SAME(id.loadedDir), PELARIN_SAME(id.studyLabel), PELARIN_SAME(id.illumFiles);
    PELARIN_SAME(id.darkFiles);
    PELARIN_SAME(flags.darkFlag), PELARIN_SAME(flags.eqePair12), PELARIN_SAME(flags.eqePair13);
    PELARIN_SAME(flags.eqePair23), PELARIN_SAME(flags.subStudyFlag), PELARIN_SAME(flags.dragLineOn);
    PELARIN_SAME(k.Vt), PELARIN_SAME(k.stepInit), PELARIN_SAME(k.cycleLimit), PELARIN_SAME(k.flipLimit);
    PELARIN_SAME(k.sweepGain), PELARIN_SAME(k.maxPoints);
    PELARIN_SAME(ws.curRs), PELARIN_SAME(ws.curRp), PELARIN_SAME(ws.curJsc), PELARIN_SAME(ws.curJsd1);
    PELARIN_SAME(ws.curJsd2), PELARIN_SAME(ws.curM1), PELARIN_SAME(ws.curM2), PELARIN_SAME(ws.curV);
    PELARIN_SAME(ws.curJ), PELARIN_SAME(ws.curJset), PELARIN_SAME(ws.eqLhs), PELARIN_SAME(ws.eqRhs);
    PELARIN_SAME(ws.V1), PELARIN_SAME(ws.V2), PELARIN_SAME(ws.V3), PELARIN_SAME(ws.V1start);
    PELARIN_SAME(ws.V2start), PELARIN_SAME(ws.stepFactor), PELARIN_SAME(ws.stepJ);
    PELARIN_SAME(ws.cycleCount), PELARIN_SAME(ws.divergeFlag), PELARIN_SAME(ws.longestPhase);
    if (evaluations == Evaluations::Compared) PELARIN_SAME(ws.balanceEvals);
    PELARIN_SAME(sweep.Vinit), PELARIN_SAME(sweep.sweepStep), PELARIN_SAME(sweep.Vend);
    PELARIN_SAME(sweep.JscUse1), PELARIN_SAME(sweep.JscUse2), PELARIN_SAME(sweep.JscUse3);
    PELARIN_SAME(sweep.rgSwitch), PELARIN_SAME(sweep.resVtot), PELARIN_SAME(sweep.resV1);
    PELARIN_SAME(sweep.resV2), PELARIN_SAME(sweep.resV3), PELARIN_SAME(sweep.resJ);
    PELARIN_SAME(sweep.resCount), PELARIN_SAME(sweep.stackVoc), PELARIN_SAME(sweep.Jstart);
    PELARIN_SAME(plot.markerRadius), PELARIN_SAME(plot.dragX0), PELARIN_SAME(plot.dragY0);
    PELARIN_SAME(eqe.vocRef), PELARIN_SAME(eqe.eqeStep), PELARIN_SAME(eqe.eqeJunction);
#undef PELARIN_SAME
    return d.first_;
  }

 private:
  void Same(const char* name, double x, double y) {
    if (first_.empty() && !SameBits(x, y)) {
      std::ostringstream os;
      os.precision(17);
      os << name << ": " << x << " against " << y;
      first_ = os.str();
    }
  }
  void Same(const char* name, const std::vector<double>& x, const std::vector<double>& y) {
    if (x.size() != y.size() && first_.empty()) first_ = std::string(name) + ": sizes differ";
    for (std::size_t i = 0; i < x.size() && i < y.size() && first_.empty(); ++i)
      Same((std::string(name) + "[" + std::to_string(i) + "]").c_str(), x[i], y[i]);
  }
  template <class T>
  void Same(const char* name, const T& x, const T& y) {
    if (first_.empty() && !(x == y)) first_ = std::string(name) + " differs";
  }
  std::string first_;
};

[[nodiscard]] inline std::string FirstDifference(const State& a, const State& b,
                                                 Evaluations evaluations = Evaluations::Compared) {
  return StateDifference::Between(a, b, evaluations);
}

inline void ExpectSameState(const State& a, const State& b) { EXPECT_EQ(FirstDifference(a, b), ""); }

}  // namespace pelarin::testing
