// The series-stack sweep: where it stops, how its current steps, that every point solves each junction's
// own balance, agreement with the ideal-diode closed form, and the result arrays both sweeps share.
#include <gtest/gtest.h>

#include <cmath>
#include <ostream>
#include <string>

#include "model/calc_error.h"
#include "model/solvers.h"
#include "tests/model/solver_fixtures.h"

namespace pelarin {
namespace {

using testing_cell::CheckBalance;
using testing_cell::DefaultState;

// Index of the first point whose total voltage lies beyond vend in the sweep's direction, or 0.
int FirstPointPast(const SweepState& sw, double sgn, double vend, int maxPoints) {
  for (int j = 1; j <= maxPoints; ++j) {
    if (sgn * vend > sgn * sw.resVtot[j]) return j;
  }
  return 0;
}

struct StackCase {
  const char* name;
  void (*setUp)(State&);
};
void PrintTo(const StackCase& c, std::ostream* os) { *os << c.name; }

class DefaultStackSweep : public ::testing::TestWithParam<StackCase> {
 protected:
  void SetUp() override {
    state = DefaultState();
    GetParam().setUp(state);
    startJ = state.ws.curJset;
    startStep = state.sweep.sweepStep;
    sgn = startJ > 0 ? 1 : -1;
    CalcStack(state);
    stop = FirstPointPast(state.sweep, sgn, state.sweep.Vend, state.k.maxPoints);
    ASSERT_GT(stop, 2) << "the sweep reaches its end voltage";
  }
  State state;
  double startJ = 0, startStep = 0, sgn = 0;
  int stop = 0;
};

// The point past Vend and the one before it are not counted, and nothing is computed beyond it.
TEST_P(DefaultStackSweep, StopsAtTheFirstPointPastVend) {
  const SweepState& sw = state.sweep;
  EXPECT_EQ(sw.resCount, stop - 2);
  EXPECT_EQ(sw.resVtot[stop + 1], 0.0);
  EXPECT_EQ(sw.resV1[stop + 1], 0.0);
  EXPECT_EQ(state.ws.V1 + state.ws.V2 + state.ws.V3, sw.resVtot[stop]) << "V1..V3 of the last point";
}

// resJ is the imposed current (rgSwitch = 0): the caller's step takes point 1 to point 2, then each step
// is sweepGain over the last change of the total voltage.
TEST_P(DefaultStackSweep, CurrentStepFollowsTheLastVoltageChange) {
  const SweepState& sw = state.sweep;
  EXPECT_EQ(sw.resJ[1], startJ);
  EXPECT_EQ(sw.resJ[2], startJ * (1 + startStep));
  double step = startStep;
  for (int j = 2; j < stop; ++j) {
    const double dV = sw.resVtot[j - 1] - sw.resVtot[j];
    if (dV != 0) step = 5e-6 / std::fabs(dV);
    ASSERT_EQ(sw.resJ[j + 1], sw.resJ[j] * (1 + step)) << "point " << j + 1;
  }
  // The stop point still updates the step, and the current after it.
  const double dV = sw.resVtot[stop - 1] - sw.resVtot[stop];
  if (dV != 0) step = 5e-6 / std::fabs(dV);
  EXPECT_EQ(sw.sweepStep, step);
  EXPECT_EQ(state.ws.curJset, sw.resJ[stop]) << "no step after the stop";
}

// Each junction voltage of every point satisfies that junction's own balance, to rounding.
TEST_P(DefaultStackSweep, EachJunctionSolvesItsOwnBalance) {
  const SweepState& sw = state.sweep;
  const double photocurrent[4] = {0, sw.JscUse1, sw.JscUse2, sw.JscUse3};
  const std::vector<double>* voltage[4] = {nullptr, &sw.resV1, &sw.resV2, &sw.resV3};
  for (int k = 1; k <= 3; ++k) {
    LoadJunction(state, k, photocurrent[k]);
    for (int j = 1; j <= stop; ++j) {
      const auto check = CheckBalance(state.ws, state.k.Vt, (*voltage[k])[j], sw.resJ[j]);
      ASSERT_LE(std::fabs(check.residual), check.bound) << "junction " << k << ", point " << j;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    ThreeJunctionStudy, DefaultStackSweep,
    ::testing::Values(StackCase{"Lit", testing_cell::SetUpStackLit},
                      StackCase{"DarkReverse", [](State& s) { testing_cell::SetUpStackDark(s, true); }},
                      StackCase{"DarkForward", [](State& s) { testing_cell::SetUpStackDark(s, false); }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CalcStack, LitSweepRunsFromOpenCircuitPastShortCircuit) {
  State s = DefaultState();
  testing_cell::SetUpStackLit(s);
  CalcStack(s);
  const SweepState& sw = s.sweep;
  EXPECT_GT(sw.resVtot[1], 1.3);
  int j = 1;
  while (sw.resVtot[j + 1] > 0) ++j;
  // Junction 1 has the smallest photocurrent and limits the stack; reverse biased by the other two
  // (about 0.9 V), its 5000 Ohm.cm2 shunt lets some 2e-4 A/cm2 more through.
  EXPECT_GT(sw.resJ[j], s.par.Jsc1 + 0.5 / s.par.Rp1);
  EXPECT_LT(sw.resJ[j], s.par.Jsc1 + 1.2 / s.par.Rp1);
}

// Rs = 0, Rp practically infinite, one diode: Vtot = sum of mk*Vt*ln(1 + (Jsck - J)/Jsdk).
TEST(CalcStack, IdealDiodesFollowTheClosedForm) {
  State s = DefaultState();
  Parameters& p = s.par;
  p.Rs1 = p.Rs2 = p.Rs3 = 0;
  p.Rp1 = p.Rp2 = p.Rp3 = 1e30;
  p.Jsd12 = p.Jsd22 = p.Jsd32 = 0;
  p.m21 = 1.5;
  testing_cell::SetUpStackLit(s);
  CalcStack(s);
  const double jsc[3] = {p.Jsc1, p.Jsc2, p.Jsc3}, jsd[3] = {p.Jsd11, p.Jsd21, p.Jsd31};
  const double m[3] = {p.m11, p.m21, p.m31};
  int compared = 0;
  for (int j = 1; j <= s.sweep.resCount && s.sweep.resJ[j] < p.Jsc1 * 0.999; ++j, ++compared) {
    long double expected = 0;
    for (int k = 0; k < 3; ++k) {
      expected += m[k] * static_cast<long double>(s.k.Vt) *
                  std::log1p((static_cast<long double>(jsc[k]) - s.sweep.resJ[j]) / jsd[k]);
    }
    ASSERT_NEAR(s.sweep.resVtot[j] / expected, 1.0L, 1e-12) << "point " << j;
  }
  EXPECT_GT(compared, 100);
}

// With rgSwitch = 1, junction 2 carries the imposed current less V3/Rg3, junction 1 that less (V2+V3)/Rg2.
TEST(CalcStack, LeakTermsLowerTheCurrentOfTheUpperJunctions) {
  State s = DefaultState();
  s.par.Rg3 = 1000, s.par.Rg2 = 2000;
  testing_cell::SetUpStackLit(s);
  s.sweep.rgSwitch = 1;
  s.ws.curJset = 1e-3;
  s.k.maxPoints = 1;
  CalcStack(s);
  const SweepState& sw = s.sweep;
  const double J2 = 1e-3 - sw.resV3[1] / s.par.Rg3;
  const double J1 = J2 - (sw.resV2[1] + sw.resV3[1]) / s.par.Rg2;
  EXPECT_EQ(sw.resJ[1], J1);
  const double currents[4] = {0, J1, J2, 1e-3};
  const double photocurrent[4] = {0, s.par.Jsc1, s.par.Jsc2, s.par.Jsc3};
  const double voltage[4] = {0, sw.resV1[1], sw.resV2[1], sw.resV3[1]};
  for (int k = 1; k <= 3; ++k) {
    LoadJunction(s, k, photocurrent[k]);
    const auto check = CheckBalance(s.ws, s.k.Vt, voltage[k], currents[k]);
    EXPECT_LE(std::fabs(check.residual), check.bound) << "junction " << k;
  }
}

// Three identical junctions that each return exactly their start voltage: every point repeats the first,
// the caller's zero step stays in force, and the sweep fills the arrays.
TEST(CalcStack, EqualTotalVoltagesKeepTheStepAndTheSweepRunsToMaxPoints) {
  State s = DefaultState();
  Parameters& p = s.par;
  p.Rs1 = p.Rs3 = p.Rs2, p.Rp1 = p.Rp3 = p.Rp2, p.Jsc1 = p.Jsc3 = p.Jsc2, p.Jsd11 = p.Jsd31 = p.Jsd21;
  p.Jsd12 = p.Jsd32 = p.Jsd22, p.m11 = p.m31 = p.m21, p.m12 = p.m32 = p.m22;
  testing_cell::SetUpStackLit(s);
  s.sweep.sweepStep = 0;
  s.k.maxPoints = 25;
  CalcStack(s);
  const SweepState& sw = s.sweep;
  ASSERT_EQ(sw.resV1[1], sw.resV1[2]) << "the junction's search must reproduce its own root for this test";
  for (int j = 2; j <= 25; ++j) EXPECT_EQ(sw.resVtot[j], sw.resVtot[1]) << "point " << j;
  EXPECT_EQ(sw.sweepStep, 0);
  EXPECT_EQ(sw.resCount, 24);
}

TEST(CalcStack, SweepThatNeverPassesVendEndsWithMaxPointsLessOne) {
  State s = DefaultState();
  testing_cell::SetUpStackLit(s);
  s.sweep.Vend = -1e6;
  s.k.maxPoints = 600;
  CalcStack(s);
  EXPECT_EQ(s.sweep.resCount, 599);
  EXPECT_EQ(s.sweep.resVtot.size(), 601u);
  EXPECT_LT(s.sweep.resVtot[600], -0.5) << "well past short circuit by then";
}

struct SweepKind {
  const char* name;
  void (*setUp)(State&);
  void (*run)(State&);
};
void PrintTo(const SweepKind& c, std::ostream* os) { *os << c.name; }

class BothSweeps : public ::testing::TestWithParam<SweepKind> {};

// Index 0 holds the start voltages and zeros; a call starts from zeroed arrays, whatever came before.
TEST_P(BothSweeps, StartFromFreshArraysWithTheStartVoltagesAtIndexZero) {
  State s = DefaultState();
  GetParam().setUp(s);
  GetParam().run(s);
  const int firstCount = s.sweep.resCount;
  GetParam().setUp(s);
  s.sweep.Vinit[1] = 0.11, s.sweep.Vinit[2] = 0.22, s.sweep.Vinit[3] = 0.33;
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
    ASSERT_EQ(sw.resVtot[j], 0.0) << j;
    ASSERT_EQ(sw.resJ[j], 0.0) << j;
    ASSERT_EQ(sw.resV1[j], 0.0) << j;
  }
}

TEST_P(BothSweeps, ZeroStartCurrentHasNoDirectionAndRaisesACalculationError) {
  State s = DefaultState();
  GetParam().setUp(s);
  s.ws.curJset = 0;
  try {
    GetParam().run(s);
    FAIL() << "no CalcError";
  } catch (const CalcError& e) {
    EXPECT_NE(std::string(e.what()).find("curJset is 0"), std::string::npos) << e.what();
  }
}

INSTANTIATE_TEST_SUITE_P(Lit, BothSweeps,
                         ::testing::Values(SweepKind{"CalcStack", testing_cell::SetUpStackLit, CalcStack},
                                           SweepKind{"CalcCoupled", testing_cell::SetUpCoupledLit,
                                                     CalcCoupled}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace pelarin
