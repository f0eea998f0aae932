// The series-stack sweep: where it stops, how its current steps, that each point solves every junction's
// own balance, the ideal-diode closed form; and the result arrays that both sweeps start afresh.
#include <gtest/gtest.h>

#include <cmath>
#include <ostream>
#include <string>

#include "common/solver_fixtures.h"
#include "model/calc_error.h"
#include "model/solvers.h"

namespace pelarin {
namespace {

using testing_cell::DefaultState;

class DefaultStackSweep : public ::testing::TestWithParam<testing_cell::DefaultSweep> {
 protected:
  void SetUp() override {
    GetParam().setUp(state);
    startJ = state.ws.curJset, startStep = state.sweep.sweepStep;
    CalcStack(state);
    const double sgn = startJ > 0 ? 1 : -1;
    while (stop < state.k.maxPoints && !(sgn * state.sweep.Vend > sgn * state.sweep.resVtot[++stop])) {
    }
    ASSERT_LT(stop, state.k.maxPoints);
  }
  State state = DefaultState();
  double startJ = 0, startStep = 0;
  int stop = 0;  // the first point past Vend
};

TEST_P(DefaultStackSweep, CountsUpToTwoPointsBeforeTheOnePastVend) {
  EXPECT_EQ(state.sweep.resCount, stop - 2);
  EXPECT_EQ(state.sweep.resVtot[stop + 1], 0.0) << "nothing computed beyond";
  EXPECT_EQ(state.ws.V1 + state.ws.V2 + state.ws.V3, state.sweep.resVtot[stop]);
}

// The current grows geometrically from the start value and the total voltage moves one way towards Vend in
// steps of at most 50 mV: the curve is drawn without gaps and without wasted points.
TEST_P(DefaultStackSweep, PointsMoveOneWayInSmallVoltageSteps) {
  const SweepState& sw = state.sweep;
  const double sgnV = sw.Vend > sw.resVtot[1] ? 1 : -1;
  EXPECT_EQ(sw.resJ[1], startJ);
  for (int j = 2; j <= stop; ++j) {
    ASSERT_GT(sw.resJ[j] / sw.resJ[j - 1], 1.0) << "point " << j;
    ASSERT_GT(sgnV * (sw.resVtot[j] - sw.resVtot[j - 1]), 0.0) << "point " << j;
    ASSERT_LT(std::fabs(sw.resVtot[j] - sw.resVtot[j - 1]), 0.05) << "point " << j;
  }
}

// Cross-check: every junction voltage of every point solves that junction's balance, to rounding.
TEST_P(DefaultStackSweep, EachJunctionSolvesItsOwnBalance) {
  const SweepState& sw = state.sweep;
  const double jsc[4] = {0, sw.JscUse1, sw.JscUse2, sw.JscUse3};
  const std::vector<double>* V[4] = {nullptr, &sw.resV1, &sw.resV2, &sw.resV3};
  for (int k = 1; k <= 3; ++k) {
    LoadJunction(state, k, jsc[k]);
    for (int j = 1; j <= stop; ++j) {
      const auto check = testing_cell::CheckBalance(state.ws, state.k.Vt, (*V[k])[j], sw.resJ[j]);
      ASSERT_LE(std::fabs(check.residual), check.bound) << "junction " << k << ", point " << j;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(ThreeJunctionStudy, DefaultStackSweep,
                         ::testing::ValuesIn(testing_cell::DefaultSweeps().begin(),
                                             testing_cell::DefaultSweeps().begin() + 3),
                         [](const auto& info) { return std::string(info.param.name); });

// Rs = 0, Rp practically infinite, one diode each: Vtot = sum of mk*Vt*ln(1 + (Jsck - J)/Jsdk).
TEST(CalcStack, IdealDiodesFollowTheClosedForm) {
  State s = DefaultState();
  Parameters& p = s.par;
  p.Rs1 = p.Rs2 = p.Rs3 = 0, p.Rp1 = p.Rp2 = p.Rp3 = 1e30, p.Jsd12 = p.Jsd22 = p.Jsd32 = 0, p.m21 = 1.5;
  testing_cell::SetUpStackLit(s);
  CalcStack(s);
  const double jsc[3] = {p.Jsc1, p.Jsc2, p.Jsc3}, jsd[3] = {p.Jsd11, p.Jsd21, p.Jsd31}, m[3] = {1, 1.5, 1};
  int j = 1;
  for (; s.sweep.resJ[j] < p.Jsc1 * 0.999; ++j) {
    long double expected = 0;
    for (int k = 0; k < 3; ++k) expected += m[k] * s.k.Vt * std::log1p((jsc[k] - s.sweep.resJ[j]) / jsd[k]);
    ASSERT_NEAR(s.sweep.resVtot[j] / expected, 1.0L, 1e-12) << "point " << j;
  }
  EXPECT_GT(j, 100);
}

// Three copies of junction 2, whose search returns exactly its start voltage at 1e-9 A/cm2: every point
// repeats the first, the caller's zero step stays in force, and the sweep fills the arrays.
TEST(CalcStack, EqualTotalVoltagesKeepTheStepAndTheSweepRunsToMaxPoints) {
  State s = DefaultState();
  Parameters& p = s.par;
  p.Rs1 = p.Rs3 = p.Rs2, p.Rp1 = p.Rp3 = p.Rp2, p.Jsc1 = p.Jsc3 = p.Jsc2, p.Jsd11 = p.Jsd31 = p.Jsd21;
  p.Jsd12 = p.Jsd32 = p.Jsd22, p.m11 = p.m31 = p.m21, p.m12 = p.m32 = p.m22;
  testing_cell::SetUpStackLit(s);
  s.sweep.sweepStep = 0;
  s.k.maxPoints = 25;
  CalcStack(s);
  ASSERT_EQ(s.sweep.resV1[1], s.sweep.resV1[2]) << "precondition: the junction reproduces its own root";
  for (int j = 2; j <= 25; ++j) EXPECT_EQ(s.sweep.resVtot[j], s.sweep.resVtot[1]) << "point " << j;
  EXPECT_EQ(s.sweep.sweepStep, 0);
  EXPECT_EQ(s.sweep.resCount, 24);
}

class BothSweeps : public ::testing::TestWithParam<testing_cell::DefaultSweep> {};

// Index 0 holds the start voltages and zeros; a call starts from zeroed arrays, whatever came before.
TEST_P(BothSweeps, StartFromFreshArraysWithTheStartVoltagesAtIndexZero) {
  State s = DefaultState();
  GetParam().setUp(s);
  GetParam().run(s);
  const int firstCount = s.sweep.resCount;
  GetParam().setUp(s);
  s.sweep.Vinit = {0, 0.11, 0.22, 0.33};
  s.sweep.Vend = 1.0;
  GetParam().run(s);
  const SweepState& sw = s.sweep;
  ASSERT_LT(sw.resCount + 3, firstCount);
  EXPECT_EQ(sw.resV1[0], 0.11);
  EXPECT_EQ(sw.resV2[0], 0.22);
  EXPECT_EQ(sw.resV3[0], 0.33);
  EXPECT_EQ(sw.resVtot[0], 0.0);
  EXPECT_EQ(sw.resJ[0], 0.0);
  for (int j = sw.resCount + 3; j <= firstCount; ++j) {
    ASSERT_TRUE(sw.resVtot[j] == 0 && sw.resJ[j] == 0 && sw.resV1[j] == 0) << "point " << j;
  }
}

TEST_P(BothSweeps, ZeroStartCurrentHasNoDirectionAndRaisesACalculationError) {
  State s = DefaultState();
  GetParam().setUp(s);
  s.ws.curJset = 0;
  EXPECT_THROW(
      try { GetParam().run(s); } catch (const CalcError& e) {
        EXPECT_NE(std::string(e.what()).find("curJset is 0"), std::string::npos) << e.what();
        throw;
      },
      CalcError);
}

INSTANTIATE_TEST_SUITE_P(Lit, BothSweeps,
                         ::testing::Values(testing_cell::DefaultSweeps()[0],
                                           testing_cell::DefaultSweeps()[3]),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace pelarin
