// The four junction searches: accuracy against closed forms, the zero crossings, the early return and the
// stopping rules of CalcJ, the caps, restart and runaway rules of the network searches, and the faults.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <ostream>
#include <string>

#include "model/calc_error.h"
#include "model/solvers.h"
#include "tests/model/solver_fixtures.h"

namespace pelarin {
namespace {

using testing_cell::CheckBalance;
using testing_cell::DefaultState;

void LoadIdealDiode(WorkingSet& ws, double jsc, double jsd1, double m1) {
  ws.curRs = 0, ws.curRp = 1e30, ws.curJsc = jsc, ws.curJsd1 = jsd1, ws.curJsd2 = 0, ws.curM1 = m1,
  ws.curM2 = 2;
}

struct IdealCase {
  const char* name;
  double jsc, jsd1, m1, J, guess;
};
void PrintTo(const IdealCase& c, std::ostream* os) { *os << c.name; }

class CalcVIdealDiode : public ::testing::TestWithParam<IdealCase> {};

// With Rs = 0, a practically infinite Rp and no second diode, V = m1*Vt*ln(1 + (Jsc - J)/Jsd1).
TEST_P(CalcVIdealDiode, MatchesTheClosedForm) {
  const IdealCase& c = GetParam();
  State s = DefaultState();
  LoadIdealDiode(s.ws, c.jsc, c.jsd1, c.m1);
  s.ws.curJ = c.J;
  s.ws.curV = c.guess;
  CalcV(s);
  const long double expected =
      c.m1 * static_cast<long double>(s.k.Vt) *
      std::log1p((static_cast<long double>(c.jsc) - c.J) / static_cast<long double>(c.jsd1));
  EXPECT_NEAR(s.ws.curV / expected, 1.0L, 1e-12) << "V = " << s.ws.curV << ", expected " << double(expected);
  EXPECT_LT(s.ws.eqLhs, s.ws.eqRhs) << "the last phase falls just below the root";
  EXPECT_EQ(s.ws.cycleCount, 0);
  EXPECT_EQ(s.ws.stepFactor, s.k.stepInit);
}

INSTANTIATE_TEST_SUITE_P(Junctions, CalcVIdealDiode,
                         ::testing::Values(IdealCase{"LitMidCurve", 0.012, 1e-12, 1, 0.006, 1e-5},
                                           IdealCase{"LitNearOpenCircuit", 0.016, 50e-9, 1, 1e-9, 1e-5},
                                           IdealCase{"SecondIdealityFactor", 0.008, 400e-9, 2, 0.004, 0.3},
                                           IdealCase{"DarkForward", 0, 1e-12, 1, -1e-3, 1e-5},
                                           IdealCase{"ReverseThroughFlipA", 0.008, 1e-6, 1, 0.0080005, 0.01}),
                         [](const auto& info) { return std::string(info.param.name); });

struct DarkCase {
  const char* name;
  double J, guess;
  int expectedSign;
};
void PrintTo(const DarkCase& c, std::ostream* os) { *os << c.name; }

class CalcVDarkJunction : public ::testing::TestWithParam<DarkCase> {};

// A dark junction from a positive guess: forward current gives a positive voltage, a photocurrent-direction
// current a negative one, reached by falling below 1e-12 V and jumping across zero.
TEST_P(CalcVDarkJunction, ReachesTheRootOnTheRightSideOfZero) {
  const DarkCase& c = GetParam();
  State s = DefaultState();
  LoadJunction(s, 2, 0);
  s.ws.curJ = c.J;
  s.ws.curV = c.guess;
  CalcV(s);
  EXPECT_EQ(s.ws.curV > 0 ? 1 : -1, c.expectedSign) << s.ws.curV;
  const auto check = CheckBalance(s.ws, s.k.Vt, s.ws.curV, c.J);
  EXPECT_LE(std::fabs(check.residual), check.bound) << "V = " << s.ws.curV;
}

INSTANTIATE_TEST_SUITE_P(Junction2, CalcVDarkJunction,
                         ::testing::Values(DarkCase{"ForwardCurrent", -1e-6, 1e-5, 1},
                                           DarkCase{"ReverseCurrent", 1e-6, 1e-5, -1},
                                           DarkCase{"TinyReverseCurrent", 1e-12, 0.5, -1}),
                         [](const auto& info) { return std::string(info.param.name); });

// CalcJ on junction 1 lit, at a voltage where the current is positive.
State LitJunction1At(double V, double guess) {
  State s = DefaultState();
  LoadJunction(s, 1, s.par.Jsc1);
  s.ws.curV = V;
  s.ws.curJ = guess;
  s.ws.stepJ = 0.05;
  return s;
}

TEST(CalcJ, PositiveGuessAlreadyTooLargeIsHandedBackUntouched) {
  State s = LitJunction1At(0.3, 1.0);
  s.ws.cycleCount = 3;
  s.ws.curJset = -7;
  CalcJ(s);
  EXPECT_EQ(s.ws.curJ, 1.0);
  EXPECT_EQ(s.ws.cycleCount, 3);
  EXPECT_EQ(s.ws.curJset, -7);
  EXPECT_GT(s.ws.eqLhs, s.ws.eqRhs);
}

TEST(CalcJ, SolvesTheBalanceAndLeavesTheLastCycleStartInCurJset) {
  State s = LitJunction1At(-0.5, 1e-4);
  CalcJ(s);
  const double J = s.ws.curJ;
  EXPECT_GT(J, s.par.Jsc1) << "reverse bias adds the shunt current";
  EXPECT_EQ(s.ws.cycleCount, 0);
  EXPECT_LT(s.ws.eqLhs, s.ws.eqRhs);
  // The search stopped on the relative change of its last cycle, whose start curJset keeps.
  EXPECT_NE(s.ws.curJset, J);
  EXPECT_LT(std::fabs((s.ws.curJset - J) / J), 1e-5);
  // Shunt-dominated here: J ~ Jsc + (0.5 - Rs*J)/Rp, so the 1e-5 stop leaves J within ~1e-5 of the root.
  const auto check = CheckBalance(s.ws, s.k.Vt, -0.5, J);
  EXPECT_LT(std::fabs(check.residual), 1e-5 * J);
}

// The relative-change test ends the search long before a generous cycle limit: without it the step would
// shrink to nothing and the search could never end.
TEST(CalcJ, StopsOnTheRelativeChangeBeforeTheCycleLimit) {
  State seven = LitJunction1At(0.3, 1e-4);
  CalcJ(seven);
  State forty = LitJunction1At(0.3, 1e-4);
  forty.k.cycleLimit = 40;
  ASSERT_NO_THROW(CalcJ(forty));
  EXPECT_EQ(forty.ws.curJ, seven.ws.curJ);
  EXPECT_EQ(forty.ws.curJset, seven.ws.curJset);
}

TEST(CalcJ, StopsAtTheCycleLimitWhenTheChangeIsStillLarge) {
  State s = LitJunction1At(0.3, 1e-4);
  s.k.cycleLimit = 1;
  CalcJ(s);
  EXPECT_EQ(s.ws.cycleCount, 0);
  EXPECT_GT(std::fabs((s.ws.curJset - s.ws.curJ) / s.ws.curJ), 1e-5) << "one cycle at 5 % and 0.5 % steps";
}

// A network junction whose root lies beyond 15 V: junction k dark, a forward current of 1 A/cm2 through a
// 20 Ohm.cm2 series resistance, the other two voltages at 0.5 V.
State RunawayNetwork(int k, double guess) {
  State s = DefaultState();
  if (k == 1) s.par.Rs1 = 20;
  if (k == 2) s.par.Rs2 = 20;
  LoadJunction(s, k, 0);
  s.ws.curJset = -1;
  s.ws.curJ = -1;
  s.ws.V1 = s.ws.V2 = s.ws.V3 = 0.5;
  (k == 1 ? s.ws.V1 : s.ws.V2) = guess;
  s.ws.V1start = s.ws.V1, s.ws.V2start = s.ws.V2;
  return s;
}

TEST(CalcV1Net, RunawayInTheRisingPhaseEndsTheSearch) {
  State s = RunawayNetwork(1, 14.99);
  CalcV1Net(s);
  EXPECT_EQ(s.ws.divergeFlag, 1);
  EXPECT_EQ(s.ws.V1, 14.99 * (1 + 0.005)) << "the first step past 15 V is the last";
  EXPECT_EQ(s.ws.curJ, s.ws.curJset);
  EXPECT_EQ(s.ws.cycleCount, 0);
  EXPECT_EQ(s.ws.stepFactor, s.k.stepInit);
  EXPECT_LE(s.ws.eqLhs, s.ws.eqRhs) << "no evaluation beyond 15 V";
}

// CalcV2Net notices the runaway only when falling; it flags it and runs its remaining cycles, each falling
// by its own finer step.
TEST(CalcV2Net, RunawayInTheFallingPhaseIsFlaggedAndTheCyclesGoOn) {
  State one = RunawayNetwork(2, 14.99);
  one.k.cycleLimit = 1;
  CalcV2Net(one);
  State seven = RunawayNetwork(2, 14.99);
  CalcV2Net(seven);
  EXPECT_EQ(one.ws.divergeFlag, 1);
  EXPECT_EQ(seven.ws.divergeFlag, 1);
  EXPECT_GT(one.ws.V2, 20) << "the rising phase has no 15 V test";
  const double laterFalls = (1 + 5e-6) * (1 + 5e-8) * (1 + 5e-10) * (1 + 5e-12) * (1 + 5e-14) * (1 + 5e-16);
  EXPECT_NEAR(seven.ws.V2 / one.ws.V2, 1 / laterFalls, 1e-14);
  EXPECT_EQ(seven.ws.curJ, seven.ws.curJset);
}

// Junction 2 in a network of negligible coupling, sought from -0.5 V while its root is positive: a rising
// phase cannot move a negative voltage across zero, so a lit junction restarts from -V2start after 10000
// steps and a dark one gives up the phase after 1000.
State FarNegativeGuess(bool lit) {
  State s = DefaultState();
  LoadJunction(s, 2, lit ? s.par.Jsc2 : 0);
  s.ws.curJset = lit ? 1e-6 : -1e-6;
  s.ws.V1 = s.ws.V3 = 0.5;
  s.ws.V2 = s.ws.V2start = -0.5;
  s.ws.curJ = s.ws.curJset;
  return s;
}

TEST(CalcV2Net, LitJunctionRestartsFromTheNegatedStartAfter10000Steps) {
  State s = FarNegativeGuess(true);
  CalcV2Net(s);
  EXPECT_GT(s.ws.V2, 0.5);
  EXPECT_GT(s.ws.longestPhase, 10000);
  const auto check =
      CheckBalance(s.ws, s.k.Vt, s.ws.V2, (0.5 + s.ws.V2) / s.par.Rl2 + 1e-6 - 0.5 / s.par.Rg3);
  EXPECT_LE(std::fabs(check.residual), check.bound);
}

TEST(CalcV2Net, DarkJunctionEndsItsRisingPhaseAfter1000Steps) {
  State s = FarNegativeGuess(false);
  CalcV2Net(s);
  // Each capped phase shrinks |V2| by 1.005^-1001 at most once, then by far finer steps: it stays negative.
  EXPECT_LT(s.ws.V2, 0);
  EXPECT_NEAR(s.ws.V2 / (-0.5 * std::pow(1.005, -1001)), 1.0, 0.1);
  EXPECT_EQ(s.ws.longestPhase, 1001);
}

struct FaultCase {
  const char* name;
  std::function<void(State&)> setUp;
  void (*search)(State&);
  const char* expectedText;
};
void PrintTo(const FaultCase& c, std::ostream* os) { *os << c.name; }

class SearchFault : public ::testing::TestWithParam<FaultCase> {};

// Every fault raises CalcError at once, names the search and the junction, and leaves the search state as
// it is between calls.
TEST_P(SearchFault, RaisesACalculationError) {
  const FaultCase& c = GetParam();
  State s = DefaultState();
  LoadJunction(s, 2, s.par.Jsc2);
  s.ws.curV = 0.5, s.ws.curJ = 1e-3, s.ws.stepJ = 0.05;
  s.ws.V1 = s.ws.V2 = s.ws.V3 = s.ws.V1start = s.ws.V2start = 0.5;
  s.ws.curJset = 1e-3;
  c.setUp(s);
  try {
    c.search(s);
    FAIL() << "no CalcError";
  } catch (const CalcError& e) {
    const std::string text = e.what();
    EXPECT_NE(text.find(c.expectedText), std::string::npos) << text;
    EXPECT_NE(text.find("Rs = 5"), std::string::npos) << "names the junction: " << text;
  }
  EXPECT_EQ(s.ws.cycleCount, 0);
  EXPECT_EQ(s.ws.stepFactor, s.k.stepInit);
}

INSTANTIATE_TEST_SUITE_P(
    Searches, SearchFault,
    ::testing::Values(FaultCase{"CalcVZeroGuess", [](State& s) { s.ws.curV = 0; }, CalcV,
                                "CalcV: the start value curV is 0"},
                      FaultCase{"CalcJZeroGuess", [](State& s) { s.ws.curJ = 0; }, CalcJ,
                                "CalcJ: the start value curJ is 0"},
                      FaultCase{"CalcV2NetZeroGuess", [](State& s) { s.ws.V2 = 0; }, CalcV2Net,
                                "CalcV2Net: the start value V2"},
                      FaultCase{"CalcV1NetZeroGuess", [](State& s) { s.ws.V1 = 0; }, CalcV1Net,
                                "CalcV1Net: the start value V1"},
                      FaultCase{"ZeroIdealityFactor", [](State& s) { s.ws.curM1 = 0; }, CalcV, "m1"},
                      FaultCase{"ZeroShunt", [](State& s) { s.ws.curRp = 0; }, CalcJ, "Rp is 0"},
                      FaultCase{"ZeroRl2", [](State& s) { s.par.Rl2 = 0; }, CalcV2Net, "Rl2 is 0"},
                      FaultCase{"ZeroRg2", [](State& s) { s.par.Rg2 = 0; }, CalcV1Net, "Rg2 is 0"},
                      FaultCase{"ExponentialOverflow", [](State& s) { s.ws.curV = 30, s.ws.curJ = -1e-3; },
                                CalcJ, "not finite"},
                      FaultCase{"NotANumber",
                                [](State& s) { s.ws.curJsd2 = std::numeric_limits<double>::quiet_NaN(); },
                                CalcV, "not finite"},
                      FaultCase{"CycleCountBeyondTheLimit", [](State& s) { s.ws.cycleCount = 9; }, CalcV,
                                "cycleCount is 9"},
                      // A forward current has a positive root; from a negative guess the rising phase only
                      // creeps towards zero, and would for ever.
                      FaultCase{"WrongSidedGuess",
                                [](State& s) { LoadJunction(s, 2, 0), s.ws.curJ = -1e-3, s.ws.curV = -0.1; },
                                CalcV, "no root found"},
                      // A lit restart from a zero start voltage is stuck at zero.
                      FaultCase{"RestartAtZero",
                                [](State& s) { s.ws.V2 = -0.5, s.ws.V2start = 0, s.ws.curJset = 1e-6; },
                                CalcV2Net, "no root found"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace pelarin
