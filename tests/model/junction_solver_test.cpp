// The four junction searches: closed-form accuracy and the zero crossing of CalcV, CalcJ's early return and
// relative-change stop, the runaway, restart and cap rules of the network searches, and the faults.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <ostream>
#include <string>

#include "common/solver_fixtures.h"
#include "model/calc_error.h"
#include "model/solvers.h"

namespace pelarin {
namespace {

using testing_cell::CheckBalance;
using testing_cell::DefaultState;

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
  WorkingSet& ws = s.ws;
  ws.curRs = 0, ws.curRp = 1e30, ws.curJsc = c.jsc, ws.curJsd1 = c.jsd1, ws.curJsd2 = 0, ws.curM1 = c.m1,
  ws.curM2 = 2;
  ws.curJ = c.J, ws.curV = c.guess;
  CalcV(s);
  const long double expected = c.m1 * static_cast<long double>(s.k.Vt) * std::log1p((c.jsc - c.J) / c.jsd1);
  EXPECT_NEAR(ws.curV / expected, 1.0L, 1e-12) << ws.curV << " vs " << double(expected);
  EXPECT_LT(ws.eqLhs, ws.eqRhs) << "the last phase falls just below the root";
  EXPECT_EQ(ws.cycleCount, 0);
  EXPECT_EQ(ws.stepFactor, s.k.stepInit);
}

INSTANTIATE_TEST_SUITE_P(Junctions, CalcVIdealDiode,
                         ::testing::Values(IdealCase{"LitMidCurve", 0.012, 1e-12, 1, 0.006, 1e-5},
                                           IdealCase{"LitNearOpenCircuit", 0.016, 50e-9, 1, 1e-9, 1e-5},
                                           IdealCase{"SecondIdealityFactor", 0.008, 400e-9, 2, 0.004, 0.3},
                                           IdealCase{"DarkForward", 0, 1e-12, 1, -1e-3, 1e-5},
                                           // From a positive guess through flip A to a negative root.
                                           IdealCase{"DarkReverseThroughFlipA", 0, 1e-6, 1, 5e-7, 0.01}),
                         [](const auto& info) { return std::string(info.param.name); });

State LitJunction1At(double V, double guess) {
  State s = DefaultState();
  LoadJunction(s, 1, s.par.Jsc1);
  s.ws.curV = V, s.ws.curJ = guess, s.ws.stepJ = 0.05;
  return s;
}

TEST(CalcJ, PositiveGuessAlreadyTooLargeIsHandedBackUntouched) {
  State s = LitJunction1At(0.3, 1.0);
  s.ws.cycleCount = 3, s.ws.curJset = -7;
  CalcJ(s);
  EXPECT_EQ(s.ws.curJ, 1.0);
  EXPECT_EQ(s.ws.cycleCount, 3);
  EXPECT_EQ(s.ws.curJset, -7);
  EXPECT_GT(s.ws.eqLhs, s.ws.eqRhs);
}

// The search ends on the first cycle that changes curJ by less than 1e-5, long before a generous cycle
// limit (without that test the step would shrink to nothing and the search never end); curJset keeps the
// start of that last cycle.
TEST(CalcJ, StopsOnTheRelativeChangeWithTheLastCycleStartInCurJset) {
  State seven = LitJunction1At(-0.5, 1e-4);
  CalcJ(seven);
  State forty = LitJunction1At(-0.5, 1e-4);
  forty.k.cycleLimit = 40;
  ASSERT_NO_THROW(CalcJ(forty));
  const double J = seven.ws.curJ;
  EXPECT_EQ(forty.ws.curJ, J);
  EXPECT_NE(seven.ws.curJset, J);
  EXPECT_LT(std::fabs((seven.ws.curJset - J) / J), 1e-5);
  EXPECT_GT(J, seven.par.Jsc1) << "reverse bias adds the shunt current";
  EXPECT_LT(std::fabs(CheckBalance(seven.ws, seven.k.Vt, -0.5, J).residual), 1e-5 * J);
}

// Junction k dark, a forward current of 1 A/cm2 through 20 Ohm.cm2: its root lies beyond 15 V.
State RunawayNetwork(int k, double guess) {
  State s = DefaultState();
  (k == 1 ? s.par.Rs1 : s.par.Rs2) = 20;
  LoadJunction(s, k, 0);
  s.ws.curJset = s.ws.curJ = -1;
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
  EXPECT_LE(s.ws.eqLhs, s.ws.eqRhs) << "no evaluation beyond 15 V";
  EXPECT_EQ(s.ws.curJ, s.ws.curJset);
  EXPECT_EQ(s.ws.cycleCount, 0);
  EXPECT_EQ(s.ws.stepFactor, s.k.stepInit);
}

// CalcV2Net rises past 15 V unchecked, flags the runaway on its first falling step, and its remaining
// cycles each fall by their own finer step.
TEST(CalcV2Net, RunawayInTheFallingPhaseIsFlaggedAndTheCyclesGoOn) {
  State one = RunawayNetwork(2, 14.99);
  one.k.cycleLimit = 1;
  CalcV2Net(one);
  State seven = RunawayNetwork(2, 14.99);
  CalcV2Net(seven);
  EXPECT_EQ(one.ws.divergeFlag, 1);
  EXPECT_EQ(seven.ws.divergeFlag, 1);
  EXPECT_GT(one.ws.V2, 20);
  const double laterFalls = (1 + 5e-6) * (1 + 5e-8) * (1 + 5e-10) * (1 + 5e-12) * (1 + 5e-14) * (1 + 5e-16);
  EXPECT_NEAR(seven.ws.V2 / one.ws.V2, 1 / laterFalls, 1e-14);
}

// Junction 2 sought from -0.5 V while its root is positive: a rising phase cannot carry a negative voltage
// across zero, so a lit junction restarts from -V2start after 10000 steps, a dark one ends the phase after
// 1000 and stays negative.
State FarNegativeGuess(bool lit) {
  State s = DefaultState();
  LoadJunction(s, 2, lit ? s.par.Jsc2 : 0);
  s.ws.curJset = s.ws.curJ = lit ? 1e-6 : -1e-6;
  s.ws.V1 = s.ws.V3 = 0.5;
  s.ws.V2 = s.ws.V2start = -0.5;
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

// Every fault raises CalcError at once, naming the search and the junction, and leaves the search state
// as it is between calls.
TEST_P(SearchFault, RaisesACalculationError) {
  const FaultCase& c = GetParam();
  State s = DefaultState();
  LoadJunction(s, 2, s.par.Jsc2);
  s.ws.curV = 0.5, s.ws.curJ = s.ws.curJset = 1e-3, s.ws.stepJ = 0.05;
  s.ws.V1 = s.ws.V2 = s.ws.V3 = s.ws.V1start = s.ws.V2start = 0.5;
  c.setUp(s);
  try {
    c.search(s);
    FAIL() << "no CalcError";
  } catch (const CalcError& e) {
    EXPECT_NE(std::string(e.what()).find(c.expectedText), std::string::npos) << e.what();
    EXPECT_NE(std::string(e.what()).find("Rs = 5"), std::string::npos) << e.what();
  }
  EXPECT_EQ(s.ws.cycleCount, 0);
  EXPECT_EQ(s.ws.stepFactor, s.k.stepInit);
}

const double kNaN = std::numeric_limits<double>::quiet_NaN();
INSTANTIATE_TEST_SUITE_P(
    Searches, SearchFault,
    ::testing::Values(FaultCase{"CalcVZeroGuess", [](State& s) { s.ws.curV = 0; }, CalcV,
                                "CalcV: the start value curV is 0"},
                      FaultCase{"CalcJZeroGuess", [](State& s) { s.ws.curJ = 0; }, CalcJ,
                                "CalcJ: the start value curJ is 0"},
                      FaultCase{"CalcV1NetZeroGuess", [](State& s) { s.ws.V1 = 0; }, CalcV1Net,
                                "CalcV1Net: the start value V1"},
                      FaultCase{"ZeroIdealityFactor", [](State& s) { s.ws.curM1 = 0; }, CalcV, "m1"},
                      FaultCase{"ZeroShunt", [](State& s) { s.ws.curRp = 0; }, CalcJ, "Rp is 0"},
                      FaultCase{"ZeroRl2", [](State& s) { s.par.Rl2 = 0; }, CalcV2Net, "Rl2 is 0"},
                      FaultCase{"NotANumber", [](State& s) { s.ws.curJsd2 = kNaN; }, CalcV, "not finite"},
                      FaultCase{"CycleCountBeyondTheLimit", [](State& s) { s.ws.cycleCount = 9; }, CalcV,
                                "cycleCount is 9"},
                      // A negative guess for a positive root only creeps towards zero: it would for ever.
                      FaultCase{"WrongSidedGuess",
                                [](State& s) { LoadJunction(s, 2, 0), s.ws.curJ = -1e-3, s.ws.curV = -0.1; },
                                CalcV, "no root found"},
                      FaultCase{"RestartAtZero",
                                [](State& s) { s.ws.V2 = -0.5, s.ws.V2start = 0, s.ws.curJset = 1e-6; },
                                CalcV2Net, "no root found"}),
    [](const auto& info) { return std::string(info.param.name); });

// Where an exponential of the balance passes the largest double, the searches go on to the root: a diode
// current beyond every double turns them back, and one within range (a tiny Jsd times an exponential that
// alone overflows) is its value. The root is checked against a bisection of the balance in long double.
TEST(JunctionSolver, SolvesPastAnOverflowingExponential) {
  struct Case {
    const char* name;
    double Rs, Rp, Jsc, Jsd1, m1;
    void (*search)(State&);
    double V, J;  // the given value and the guess of the sought one (curV and curJ)
  };
  const Case cases[] = {
      // A dark junction behind 3445 Ohm.cm2 carrying 0.148 A/cm2 in reverse: the first guess, 1e-5 V, puts
      // 510 V across its diode; the root lies near -512 V.
      {"DarkReverseFromAForwardGuess", 3445.257913, 12.94935604, 0, 0.74, 8.4, CalcV, 1e-5, 0.1480386312},
      // 30 V across the default junction's terminals: the diode voltage falls to the root through the
      // series resistance.
      {"ForwardThirtyVolts", 5, 1000, 0.01, 1e-20, 1, CalcJ, 30, -1e-3},
      // A root beyond the exponential's range: 1e-300 e^x reaches 1e10 A/cm2 only at x = 714.
      {"RootBeyondTheExponential", 1, 1e6, 1e10, 1e-300, 1, CalcJ, 0, 1e-12},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    State s = DefaultState();
    s.ws.curRs = c.Rs, s.ws.curRp = c.Rp, s.ws.curJsc = c.Jsc, s.ws.curJsd1 = c.Jsd1, s.ws.curJsd2 = 0;
    s.ws.curM1 = c.m1, s.ws.curM2 = 1, s.ws.stepJ = 0.05;
    s.ws.curV = c.V, s.ws.curJ = c.J;
    c.search(s);
    const bool voltage = c.search == CalcV;
    // The diode voltage at the root, by bisection of the balance written along Vd.
    const long double mVt = static_cast<long double>(c.m1) * s.k.Vt;
    const auto current = [&](long double Vd) {  // the junction's current at diode voltage Vd
      return c.Jsc - c.Jsd1 * (std::exp(Vd / mVt) - 1) - Vd / c.Rp;
    };
    const auto rootOf = [&](auto&& balance) {
      long double lo = -1e4, hi = 1e4;
      for (int i = 0; i < 200; ++i) ((balance((lo + hi) / 2) > 0) ? hi : lo) = (lo + hi) / 2;
      return (lo + hi) / 2;
    };
    if (voltage) {
      const long double Vd = rootOf([&](long double x) { return c.J - current(x); });
      EXPECT_NEAR(s.ws.curV, static_cast<double>(Vd - c.Rs * c.J), 1e-9 * std::abs(s.ws.curV));
    } else {
      // At terminal voltage V the current through Rs equals the diode's: (Vd - V) / Rs = current(Vd).
      const long double Vd = rootOf([&](long double x) { return (x - c.V) / c.Rs - current(x); });
      EXPECT_NEAR(s.ws.curJ, static_cast<double>((Vd - c.V) / c.Rs), 1e-4 * std::abs(s.ws.curJ));
    }
  }
}

}  // namespace
}  // namespace pelarin
