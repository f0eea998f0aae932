// The coupled sweep: with negligible coupling each junction sits at its own solution, a leak around
// junction 3 lowers the current of junction 2 and of the terminal; the end, runaway and step rules.
#include <gtest/gtest.h>

#include <cmath>
#include <ostream>
#include <string>

#include "common/solver_fixtures.h"
#include "model/solvers.h"

namespace pelarin {
namespace {

using testing_cell::DefaultState;

// Junction k alone at the current density J, from the sweeps' start guess.
double JunctionAlone(const Parameters& par, int k, double photocurrent, double J) {
  State s = DefaultState();
  s.par = par;
  LoadJunction(s, k, photocurrent);
  s.ws.curJ = J, s.ws.curV = 1e-5;
  CalcV(s);
  return s.ws.curV;
}

// A one-point coupled sweep at junction 3's current J0, V1 and V2 starting from v12.
State SinglePoint(const Parameters& par, bool lit, double J0, double v12) {
  State s = DefaultState();
  s.par = par;
  testing_cell::SetUpSweep(s, lit, 1e-5, 1e-5, 1e-5, 0.005, J0 > 0 ? -1e3 : 1e3);
  s.ws.curJset = J0, s.ws.V1 = s.ws.V2 = v12;
  s.k.maxPoints = 1;
  CalcCoupled(s);
  return s;
}

struct PointCase {
  const char* name;
  bool lit;
  double J0, v12;
};
void PrintTo(const PointCase& c, std::ostream* os) { *os << c.name; }

class NegligibleCoupling : public ::testing::TestWithParam<PointCase> {};

// All five coupling resistances at 1e13 Ohm.cm2: each junction within the iteration's 0.1 % of its own
// solution at junction 3's current, and the terminal short of it by less than 3e-13 A/cm2 per volt.
TEST_P(NegligibleCoupling, EachJunctionSitsAtItsOwnSolution) {
  const PointCase& c = GetParam();
  Parameters par = testing_cell::DefaultParameters();
  par.Rl1 = par.Rl2 = par.Rg1 = par.Rg2 = par.Rg3 = 1e13;
  const State s = SinglePoint(par, c.lit, c.J0, c.v12);
  const SweepState& sw = s.sweep;
  ASSERT_EQ(sw.resCount, 1);
  const double V[4] = {0, sw.resV1[1], sw.resV2[1], sw.resV3[1]};
  const double jsc[4] = {0, sw.JscUse1, sw.JscUse2, sw.JscUse3};
  for (int k = 1; k <= 3; ++k) EXPECT_NEAR(V[k] / JunctionAlone(par, k, jsc[k], c.J0), 1.0, 1e-3) << k;
  EXPECT_LE(std::fabs(sw.resJ[1] - c.J0), 3e-13 * (std::fabs(V[1]) + std::fabs(V[2]) + std::fabs(V[3])));
  EXPECT_NE(sw.resJ[1], c.J0) << "the leaks are computed, however small";
}

INSTANTIATE_TEST_SUITE_P(CouplingAt1e13, NegligibleCoupling,
                         ::testing::Values(PointCase{"LitNearOpenCircuit", true, 1e-8, 0.001},
                                           PointCase{"LitMidCurve", true, 1e-3, 0.001},
                                           PointCase{"LitNearTheKnee", true, 0.006, 0.001},
                                           PointCase{"DarkReverse", false, 1e-9, -1e-4},
                                           PointCase{"DarkForward", false, -1e-4, 1e-4}),
                         [](const auto& info) { return std::string(info.param.name); });

// Rg3 = 1000 Ohm.cm2 drains V3/Rg3 from the node between junctions 2 and 3: junction 2 and the terminal
// carry that much less than junction 3, and junction 2 sits at its own solution for the lower current.
TEST(CalcCoupled, SmallRg3LeaksCurrentAroundJunction3) {
  Parameters par = testing_cell::DefaultParameters();
  par.Rg3 = 1000;
  const State s = SinglePoint(par, true, 1e-3, 0.001);
  const double J2 = 1e-3 - s.sweep.resV3[1] / par.Rg3;
  EXPECT_LT(J2, 1e-3 - 3e-4);
  EXPECT_NEAR(s.sweep.resJ[1], J2, 1e-11) << "the other leaks are of order 1e-12";
  EXPECT_NEAR(s.sweep.resV2[1] / JunctionAlone(par, 2, par.Jsc2, J2), 1.0, 1e-3);
  EXPECT_GT(s.sweep.resV2[1], JunctionAlone(par, 2, par.Jsc2, 1e-3) * 1.001) << "J2 < J3 raises V2";
}

class DefaultCoupledSweep : public ::testing::TestWithParam<testing_cell::DefaultSweep> {};

// The point past Vend stays in the arrays but is not counted; resJ is junction 3's current less the leaks
// back to T0; the total voltage moves one way towards Vend in steps of at most 50 mV.
TEST_P(DefaultCoupledSweep, CountsThePointsBeforeVendInSmallVoltageSteps) {
  State s = DefaultState();
  GetParam().setUp(s);
  const double sgn = s.ws.curJset > 0 ? 1 : -1;
  CalcCoupled(s);
  const SweepState& sw = s.sweep;
  const Parameters& p = s.par;
  const double sgnV = sw.Vend > sw.resVtot[1] ? 1 : -1;
  int j = 1;
  for (;; ++j) {
    const double leaks = sw.resVtot[j] / p.Rg1 + (sw.resV2[j] + sw.resV3[j]) / p.Rg2 + sw.resV3[j] / p.Rg3;
    ASSERT_GT(sgn * (sw.resJ[j] + leaks), 0.0) << "point " << j;
    if (j >= 2) {
      ASSERT_GT(sgnV * (sw.resVtot[j] - sw.resVtot[j - 1]), 0.0) << "point " << j;
      ASSERT_LT(std::fabs(sw.resVtot[j] - sw.resVtot[j - 1]), 0.05) << "point " << j;
    }
    if (sgn * sw.Vend > sgn * sw.resVtot[j]) break;
  }
  EXPECT_EQ(sw.resCount, j - 1);
  EXPECT_EQ(sw.resVtot[j + 1], 0.0);
  EXPECT_EQ(s.ws.divergeFlag, 0);
}

INSTANTIATE_TEST_SUITE_P(StudyWithRl, DefaultCoupledSweep,
                         ::testing::ValuesIn(testing_cell::DefaultSweeps().begin() + 3,
                                             testing_cell::DefaultSweeps().end()),
                         [](const auto& info) { return std::string(info.param.name); });

// Junction 1 behind 1000 Ohm.cm2 passes 15 V as the forward current grows: the sweep ends there, keeping
// the points before.
TEST(CalcCoupled, RunawayEndsTheSweepWithoutTheDivergingPoint) {
  State s = DefaultState();
  s.par.Rs1 = 1000;
  testing_cell::SetUpCoupledDark(s, false);
  s.ws.curJset = -1e-5;
  s.sweep.Vend = 100;
  CalcCoupled(s);
  const SweepState& sw = s.sweep;
  const int n = sw.resCount + 1;  // the point that diverged
  EXPECT_EQ(s.ws.divergeFlag, 1);
  ASSERT_GT(n, 10);
  EXPECT_NE(sw.resV3[n], 0.0) << "junction 3 was solved";
  EXPECT_EQ(sw.resV1[n], 0.0);
  EXPECT_EQ(sw.resVtot[n], 0.0);
  EXPECT_GT(sw.resV1[n - 1], 14);
  EXPECT_GT(s.ws.V1, 15);
}

// No default sweep comes near the phase cap: the no-hang guard never cuts a real computation short.
TEST(DefaultSweeps, StayFarBelowThePhaseCap) {
  for (const auto& sweep : testing_cell::DefaultSweeps()) {
    State s = DefaultState();
    sweep.setUp(s);
    ASSERT_NO_THROW(sweep.run(s)) << sweep.name;
    EXPECT_LT(s.ws.longestPhase, kPhaseStepCap / 10) << sweep.name;
  }
}

}  // namespace
}  // namespace pelarin
