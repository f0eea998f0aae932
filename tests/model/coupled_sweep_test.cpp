// The coupled sweep: with negligible coupling it reduces to independent junctions, a leak around junction
// 3 lowers the current of junction 2 and of the terminal, and the sweep's end, runaway and step rules.
#include <gtest/gtest.h>

#include <cmath>
#include <ostream>
#include <string>

#include "model/calc_error.h"
#include "model/solvers.h"
#include "tests/model/solver_fixtures.h"

namespace pelarin {
namespace {

using testing_cell::DefaultState;

// Junction k alone at the current density J, solved from the sweeps' start guess.
double JunctionAlone(int k, double photocurrent, double J, const Parameters& par) {
  State s = DefaultState();
  s.par = par;
  LoadJunction(s, k, photocurrent);
  s.ws.curJ = J;
  s.ws.curV = 1e-5;
  CalcV(s);
  return s.ws.curV;
}

// One point of the coupled sweep at the start current J0, V1 and V2 starting from v12.
State SinglePoint(Parameters par, bool lit, double J0, double v12) {
  State s = DefaultState();
  s.par = par;
  testing_cell::SetUpCoupledLit(s);
  testing_cell::UsePhotocurrents(s, lit);
  s.ws.curJset = J0;
  s.ws.V1 = s.ws.V2 = v12;
  s.sweep.Vend = J0 > 0 ? -1e3 : 1e3;  // out of reach
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

// All five coupling resistances at 1e13 Ohm.cm2: each junction sits at its own solution for the imposed
// current, and the terminal current loses less than 3e-13 A/cm2 per volt.
TEST_P(NegligibleCoupling, EachJunctionSitsAtItsOwnSolution) {
  const PointCase& c = GetParam();
  Parameters par = testing_cell::DefaultParameters();
  par.Rl1 = par.Rl2 = par.Rg1 = par.Rg2 = par.Rg3 = 1e13;
  const State s = SinglePoint(par, c.lit, c.J0, c.v12);
  const SweepState& sw = s.sweep;
  ASSERT_EQ(sw.resCount, 1);
  const double voltage[4] = {0, sw.resV1[1], sw.resV2[1], sw.resV3[1]};
  const double photocurrent[4] = {0, sw.JscUse1, sw.JscUse2, sw.JscUse3};
  for (int k = 1; k <= 3; ++k) {
    const double alone = JunctionAlone(k, photocurrent[k], c.J0, par);
    EXPECT_NEAR(voltage[k] / alone, 1.0, 1e-3) << "junction " << k << ": " << voltage[k] << " vs " << alone;
  }
  const double volts = std::fabs(voltage[1]) + std::fabs(voltage[2]) + std::fabs(voltage[3]);
  EXPECT_LE(std::fabs(sw.resJ[1] - c.J0), 3e-13 * volts);
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
// carry that much less than junction 3, and junction 2's voltage is its own solution at the lower current.
TEST(CalcCoupled, SmallRg3LeaksCurrentAroundJunction3) {
  Parameters par = testing_cell::DefaultParameters();
  par.Rg3 = 1000;
  const double J3 = 1e-3;
  const State s = SinglePoint(par, true, J3, 0.001);
  const SweepState& sw = s.sweep;
  const double leak = sw.resV3[1] / par.Rg3;
  EXPECT_GT(leak, 3e-4);
  EXPECT_NEAR(sw.resJ[1], J3 - leak, 1e-11) << "the other leaks are of order 1e-12";
  const double J2 = J3 - leak;
  EXPECT_NEAR(sw.resV2[1] / JunctionAlone(2, par.Jsc2, J2, par), 1.0, 1e-3);
  EXPECT_GT(sw.resV2[1], JunctionAlone(2, par.Jsc2, J3, par) * 1.001) << "J2 < J3 raises V2";
}

struct CoupledCase {
  const char* name;
  void (*setUp)(State&);
};
void PrintTo(const CoupledCase& c, std::ostream* os) { *os << c.name; }

class DefaultCoupledSweep : public ::testing::TestWithParam<CoupledCase> {
 protected:
  void SetUp() override {
    state = DefaultState();
    GetParam().setUp(state);
    startJ = state.ws.curJset;
    startStep = state.sweep.sweepStep;
    CalcCoupled(state);
    const double sgn = startJ > 0 ? 1 : -1;
    for (int j = 1; j <= state.k.maxPoints && stop == 0; ++j) {
      if (sgn * state.sweep.Vend > sgn * state.sweep.resVtot[j]) stop = j;
    }
    ASSERT_GT(stop, 2);
  }
  State state;
  double startJ = 0, startStep = 0;
  int stop = 0;
};

// The point past Vend stays in the arrays but is not counted.
TEST_P(DefaultCoupledSweep, CountsThePointsBeforeTheOnePastVend) {
  EXPECT_EQ(state.sweep.resCount, stop - 1);
  EXPECT_NE(state.sweep.resV1[stop], 0.0);
  EXPECT_EQ(state.sweep.resVtot[stop + 1], 0.0);
  EXPECT_EQ(state.ws.divergeFlag, 0);
}

// Junction 3's current starts at curJset, takes the caller's step to point 2 and then half of sweepGain
// over the last voltage change, also after the last point; resJ is that current less the leaks to T0.
TEST_P(DefaultCoupledSweep, JunctionCurrentStepsAndTerminalCurrent) {
  const SweepState& sw = state.sweep;
  const Parameters& p = state.par;
  double J3 = startJ, step = startStep;
  for (int j = 1; j <= stop; ++j) {
    const double terminal =
        J3 - sw.resVtot[j] / p.Rg1 - (sw.resV2[j] + sw.resV3[j]) / p.Rg2 - sw.resV3[j] / p.Rg3;
    ASSERT_EQ(sw.resJ[j], terminal) << "point " << j;
    if (j >= 2 && sw.resVtot[j - 1] != sw.resVtot[j])
      step = 5e-6 / std::fabs(sw.resVtot[j - 1] - sw.resVtot[j]) / 2;
    J3 = (step + 1) * J3;
  }
  EXPECT_EQ(sw.sweepStep, step);
  EXPECT_EQ(state.ws.curJset, J3);
}

INSTANTIATE_TEST_SUITE_P(
    StudyWithRl, DefaultCoupledSweep,
    ::testing::Values(CoupledCase{"Lit", testing_cell::SetUpCoupledLit},
                      CoupledCase{"DarkReverse", [](State& s) { testing_cell::SetUpCoupledDark(s, true); }},
                      CoupledCase{"DarkForward", [](State& s) { testing_cell::SetUpCoupledDark(s, false); }}),
    [](const auto& info) { return std::string(info.param.name); });

// Junction 1 behind a 1000 Ohm.cm2 series resistance passes 15 V as the forward current grows: the sweep
// ends there, keeping the points before.
TEST(CalcCoupled, RunawayEndsTheSweepWithoutTheDivergingPoint) {
  State s = DefaultState();
  s.par.Rs1 = 1000;
  testing_cell::SetUpCoupledDark(s, false);
  s.ws.curJset = -1e-5;
  s.sweep.Vend = 100;
  CalcCoupled(s);
  const SweepState& sw = s.sweep;
  EXPECT_EQ(s.ws.divergeFlag, 1);
  const int n = sw.resCount + 1;  // the point that diverged
  ASSERT_GT(n, 10);
  EXPECT_NE(sw.resV3[n], 0.0) << "junction 3 was solved";
  EXPECT_EQ(sw.resV1[n], 0.0);
  EXPECT_EQ(sw.resVtot[n], 0.0);
  EXPECT_LT(sw.resV1[n - 1], 15);
  EXPECT_GT(sw.resV1[n - 1], 14);
  EXPECT_GT(s.ws.V1, 15);
}

TEST(CalcCoupled, UnsetJunctionVoltagesRaiseACalculationError) {
  State s = DefaultState();
  testing_cell::SetUpCoupledLit(s);
  s.ws.V1 = s.ws.V2 = 0;
  EXPECT_THROW(CalcCoupled(s), CalcError);
}

// No default sweep comes near the phase cap: the no-hang guard never cuts a real computation short.
TEST(DefaultSweeps, StayFarBelowThePhaseCap) {
  for (const auto& sweep : testing_cell::DefaultSweeps()) {
    State s = DefaultState();
    sweep.setUp(s);
    ASSERT_NO_THROW(sweep.run(s)) << sweep.name;
    EXPECT_LT(s.ws.longestPhase, kPhaseStepCap / 10) << sweep.name;
    EXPECT_GT(s.sweep.resCount, 100) << sweep.name;
  }
}

}  // namespace
}  // namespace pelarin
