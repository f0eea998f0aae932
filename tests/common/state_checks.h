// Compares two whole states, and two recorded drawings, field by field and bit for bit, so that a failure
// names what differs.
#pragma once

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <string>
#include <vector>

#include "common/parameter_checks.h"
#include "model/state.h"
#include "plot/recording_surface.h"

namespace pelarin::testing {

inline bool SameBits(double a, double b) {
  return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

#define PELARIN_EXPECT_SAME_BITS(a, b, what) \
  EXPECT_TRUE(::pelarin::testing::SameBits((a), (b))) << (what) << ": " << (a) << " against " << (b)

inline void ExpectSameValues(const std::vector<double>& a, const std::vector<double>& b, const char* what) {
  ASSERT_EQ(a.size(), b.size()) << what;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (!SameBits(a[i], b[i])) {
      ADD_FAILURE() << what << "[" << i << "]: " << a[i] << " against " << b[i];
      return;
    }
}

inline void ExpectSameState(const State& a, const State& b) {
  ExpectSameParameters(a.par, b.par);
  EXPECT_EQ(a.id.studyName, b.id.studyName);
  EXPECT_EQ(a.id.baseDir, b.id.baseDir);
  EXPECT_EQ(a.id.studyDir, b.id.studyDir);
  EXPECT_EQ(a.id.loadedDir, b.id.loadedDir);
  EXPECT_EQ(a.id.studyLabel, b.id.studyLabel);
  EXPECT_EQ(a.id.illumFiles, b.id.illumFiles);
  EXPECT_EQ(a.id.darkFiles, b.id.darkFiles);
  for (const auto& [x, y, what] : {std::tuple{a.flags.darkFlag, b.flags.darkFlag, "darkFlag"},
                                   {a.flags.eqePair12, b.flags.eqePair12, "eqePair12"},
                                   {a.flags.eqePair13, b.flags.eqePair13, "eqePair13"},
                                   {a.flags.eqePair23, b.flags.eqePair23, "eqePair23"},
                                   {a.flags.subStudyFlag, b.flags.subStudyFlag, "subStudyFlag"},
                                   {a.flags.dragLineOn, b.flags.dragLineOn, "dragLineOn"},
                                   {a.ws.curRs, b.ws.curRs, "curRs"},
                                   {a.ws.curRp, b.ws.curRp, "curRp"},
                                   {a.ws.curJsc, b.ws.curJsc, "curJsc"},
                                   {a.ws.curJsd1, b.ws.curJsd1, "curJsd1"},
                                   {a.ws.curJsd2, b.ws.curJsd2, "curJsd2"},
                                   {a.ws.curM1, b.ws.curM1, "curM1"},
                                   {a.ws.curM2, b.ws.curM2, "curM2"},
                                   {a.ws.curV, b.ws.curV, "curV"},
                                   {a.ws.curJ, b.ws.curJ, "curJ"},
                                   {a.ws.curJset, b.ws.curJset, "curJset"},
                                   {a.ws.eqLhs, b.ws.eqLhs, "eqLhs"},
                                   {a.ws.eqRhs, b.ws.eqRhs, "eqRhs"},
                                   {a.ws.V1, b.ws.V1, "V1"},
                                   {a.ws.V2, b.ws.V2, "V2"},
                                   {a.ws.V3, b.ws.V3, "V3"},
                                   {a.ws.V1start, b.ws.V1start, "V1start"},
                                   {a.ws.V2start, b.ws.V2start, "V2start"},
                                   {a.ws.stepFactor, b.ws.stepFactor, "stepFactor"},
                                   {a.ws.stepJ, b.ws.stepJ, "stepJ"},
                                   {a.sweep.sweepStep, b.sweep.sweepStep, "sweepStep"},
                                   {a.sweep.Vend, b.sweep.Vend, "Vend"},
                                   {a.sweep.JscUse1, b.sweep.JscUse1, "JscUse1"},
                                   {a.sweep.JscUse2, b.sweep.JscUse2, "JscUse2"},
                                   {a.sweep.JscUse3, b.sweep.JscUse3, "JscUse3"},
                                   {a.sweep.rgSwitch, b.sweep.rgSwitch, "rgSwitch"},
                                   {a.sweep.stackVoc, b.sweep.stackVoc, "stackVoc"},
                                   {a.sweep.Jstart, b.sweep.Jstart, "Jstart"},
                                   {a.plot.markerRadius, b.plot.markerRadius, "markerRadius"},
                                   {a.plot.dragX0, b.plot.dragX0, "dragX0"},
                                   {a.plot.dragY0, b.plot.dragY0, "dragY0"},
                                   {a.eqe.vocRef, b.eqe.vocRef, "vocRef"},
                                   {a.eqe.eqeStep, b.eqe.eqeStep, "eqeStep"}})
    PELARIN_EXPECT_SAME_BITS(x, y, what);
  EXPECT_EQ(a.ws.cycleCount, b.ws.cycleCount);
  EXPECT_EQ(a.ws.divergeFlag, b.ws.divergeFlag);
  EXPECT_EQ(a.ws.balanceEvals, b.ws.balanceEvals);
  EXPECT_EQ(a.ws.longestPhase, b.ws.longestPhase);
  EXPECT_EQ(a.sweep.resCount, b.sweep.resCount);
  EXPECT_EQ(a.eqe.eqeJunction, b.eqe.eqeJunction);
  ExpectSameValues(a.sweep.Vinit, b.sweep.Vinit, "Vinit");
  ExpectSameValues(a.sweep.resVtot, b.sweep.resVtot, "resVtot");
  ExpectSameValues(a.sweep.resV1, b.sweep.resV1, "resV1");
  ExpectSameValues(a.sweep.resV2, b.sweep.resV2, "resV2");
  ExpectSameValues(a.sweep.resV3, b.sweep.resV3, "resV3");
  ExpectSameValues(a.sweep.resJ, b.sweep.resJ, "resJ");
}

inline void ExpectSameDrawing(const RecordingSurface& a, const RecordingSurface& b, const char* what) {
  const auto &x = a.Ops(), &y = b.Ops();
  ASSERT_EQ(x.size(), y.size()) << what;
  for (std::size_t i = 0; i < x.size(); ++i) {
    const DrawOp &p = x[i], &q = y[i];
    const bool same = p.kind == q.kind && SameBits(p.x, q.x) && SameBits(p.y, q.y) && SameBits(p.x2, q.x2) &&
                      SameBits(p.y2, q.y2) && p.colour == q.colour && p.value == q.value && p.text == q.text;
    if (!same) {
      ADD_FAILURE() << what << ": drawing call " << i << " differs";
      return;
    }
  }
}

}  // namespace pelarin::testing
