// Searches that jump over certified steps against the literal ones (every step evaluated): random cells over
// wide ranges, odd values included, the six default sweeps, and long phases that end at a side rule. Every
// result, every error and the whole State after each call must be the same to the last bit; only the
// count of evaluations may differ, and it must drop where phases are long.
//
// PELARIN_DIFFERENTIAL_CELLS and PELARIN_DIFFERENTIAL_SEED change the number of random cells and the seed
// (scripts/fast_search_soak runs a million).
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <ostream>
#include <random>
#include <sstream>
#include <string>
#include <typeinfo>
#include <vector>

#include "common/solver_fixtures.h"
#include "common/state_checks.h"
#include "model/calc_error.h"
#include "model/parameter_table.h"
#include "model/solvers.h"

namespace pelarin {
namespace {

using testing_cell::DefaultState;

// What a call did: returned, or threw an error of some type with some message.
struct Outcome {
  std::string error;  // "" when the call returned
  bool operator==(const Outcome&) const = default;
};
Outcome Run(const std::function<void(State&)>& call, State& s) {
  try {
    call(s);
    return {};
  } catch (const CalcError& e) {
    return {std::string("CalcError: ") + e.what()};
  } catch (const std::exception& e) {
    return {std::string(typeid(e).name()) + ": " + e.what()};
  }
}

// Two states, one per mode, driven through the same calls; each call's outcome and the states after it
// must agree.
struct Twins {
  explicit Twins(const State& start) : jumping(start), literal(start) {
    jumping.k.skipCertifiedSteps = true;
    literal.k.skipCertifiedSteps = false;
  }
  // "" when both modes agree, else what differs.
  std::string Call(const std::function<void(State&)>& call) {
    const auto before = static_cast<std::int64_t>(jumping.ws.balanceEvals);
    const auto literalBefore = static_cast<std::int64_t>(literal.ws.balanceEvals);
    const Outcome a = Run(call, jumping);
    const Outcome b = Run(call, literal);
    ++calls;
    if (static_cast<std::int64_t>(jumping.ws.balanceEvals) - before <
        static_cast<std::int64_t>(literal.ws.balanceEvals) - literalBefore) {
      ++callsThatJumped;
    }
    if (!a.error.empty()) ++callsThatThrew;
    lastError = a.error;
    if (!(a == b)) return "outcome '" + a.error + "' against literal '" + b.error + "'";
    return testing::FirstDifference(jumping, literal, testing::Evaluations::Ignored);
  }
  State jumping, literal;
  std::int64_t calls = 0, callsThatJumped = 0, callsThatThrew = 0;
  std::string lastError;
};

// Random cells: every quantity log-uniform over a wide range, now and then zero or of the other sign (the
// searches take those too, and must then keep to the literal steps or fault alike).
class Dice {
 public:
  explicit Dice(std::uint64_t seed) : rng_(seed) {}
  double Uniform(double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng_); }
  double LogUniform(double lo, double hi) { return std::exp(Uniform(std::log(lo), std::log(hi))); }
  bool Chance(double p) { return Uniform(0, 1) < p; }
  double Signed(double lo, double hi) { return Chance(0.5) ? LogUniform(lo, hi) : -LogUniform(lo, hi); }
  // Mostly positive; with probability `odd` zero or negative.
  double Quantity(double lo, double hi, double odd) {
    const double u = Uniform(0, 1);
    if (u < odd / 2) return 0;
    return u < odd ? -LogUniform(lo, hi) : LogUniform(lo, hi);
  }

 private:
  std::mt19937_64 rng_;
};

// The chance that a quantity is zero or negative. Such cells often walk to the phase cap, 3 million
// literal steps, and never jump: they are few so that the test stays quick.
constexpr double kOdd = 0.006;

// An ideality factor: mostly 0.3 to 8, sometimes near 0 (the exponentials overflow at once).
double IdealityFactor(Dice& dice) {
  return dice.Chance(0.08) ? dice.LogUniform(1e-4, 0.3) : dice.Quantity(0.3, 8, kOdd);
}

void LoadRandomJunction(Dice& dice, WorkingSet& ws) {
  ws.curRs = dice.Chance(0.1) ? 0 : dice.Quantity(1e-4, 1e5, kOdd);
  ws.curRp = dice.Quantity(1e-2, 1e14, kOdd);
  ws.curJsc = dice.Chance(0.3) ? 0 : dice.Quantity(1e-7, 10, kOdd);
  ws.curJsd1 = dice.Quantity(1e-25, 1e-2, kOdd);
  ws.curJsd2 = dice.Chance(0.1) ? 0 : dice.Quantity(1e-20, 1e-1, kOdd);
  ws.curM1 = IdealityFactor(dice);
  ws.curM2 = IdealityFactor(dice);
}

// The balance lhs - rhs at (V, J), computed independently, to place guesses on the side of their root.
double Imbalance(const WorkingSet& ws, double Vt, double V, double J) {
  const double Vd = V + ws.curRs * J;
  return Vd / ws.curRp + J - ws.curJsc + ws.curJsd1 * std::expm1(Vd / (ws.curM1 * Vt)) +
         ws.curJsd2 * std::expm1(Vd / (ws.curM2 * Vt));
}

// The side of zero of the current at V (the balance grows with the current for normal parameters).
double CurrentRootSide(const WorkingSet& ws, double Vt, double V) {
  return Imbalance(ws, Vt, V, 0) > 0 ? -1 : 1;
}

// The side of zero of the voltage where the current is J0 + slope*V; 0 when it lies within 1e-9 V of zero,
// where the flips may carry a voltage search to the far side, which it then never leaves.
double VoltageRootSide(const WorkingSet& ws, double Vt, double J0, double slope) {
  const auto at = [&](double V) { return Imbalance(ws, Vt, V, J0 + slope * V); };
  if (at(-1e-9) < 0 && at(1e-9) > 0) return 0;
  return at(0) > 0 ? -1 : 1;
}

// A network around the loaded junction: coupling resistances, neighbours' voltages, junction 3's current,
// and the sought voltage's guess, mostly on the side of its root.
void PlaceRandomNetwork(Dice& dice, const WorkingSet& junction, bool junction1, State& s) {
  Parameters& p = s.par;
  WorkingSet& ws = s.ws;
  p.Rl1 = dice.Quantity(1, 1e14, kOdd), p.Rl2 = dice.Quantity(1, 1e14, kOdd);
  p.Rg2 = dice.Quantity(1, 1e14, kOdd), p.Rg3 = dice.Quantity(1, 1e14, kOdd);
  ws.V1 = dice.Signed(1e-6, 3), ws.V2 = dice.Signed(1e-6, 3), ws.V3 = dice.Signed(1e-6, 3);
  ws.curJset = ws.curJ = dice.Signed(1e-12, 1);
  double& sought = junction1 ? ws.V1 : ws.V2;
  if (dice.Chance(0.998)) {
    // A side for the guess; junction 3's current drawn again while the root lies next to zero.
    double side = 0;
    for (int draw = 0; draw < 5 && side == 0; ++draw) {
      if (draw > 0) ws.curJset = ws.curJ = dice.Signed(1e-12, 1);
      const double J0 = junction1 ? ws.curJset + ws.V2 / p.Rl2 - (ws.V3 + ws.V2) / p.Rg2 - ws.V3 / p.Rg3
                                  : ws.V1 / p.Rl2 + ws.curJset - ws.V3 / p.Rg3;
      side = VoltageRootSide(junction, s.k.Vt, J0, junction1 ? 1 / p.Rl1 + 1 / p.Rl2 : 1 / p.Rl2);
    }
    sought = std::fabs(sought) * (side == 0 ? 1 : side);
  }
  ws.V1start = dice.Chance(0.99) ? ws.V1 : dice.Signed(1e-6, 3);
  ws.V2start = dice.Chance(0.99) ? ws.V2 : dice.Signed(1e-6, 3);
  // The first evaluation's current: the network's at the guess, as the coupled sweep passes it.
  if (dice.Chance(0.99)) {
    ws.curJ = junction1 ? (ws.V1 + ws.V2) / p.Rl2 + ws.V1 / p.Rl1 + ws.curJset - (ws.V2 + ws.V3) / p.Rg2 -
                              ws.V3 / p.Rg3
                        : (ws.V1 + ws.V2) / p.Rl2 + ws.curJset - ws.V3 / p.Rg3;
  }
  ws.cycleCount = 0, ws.divergeFlag = 0;
}

// Three random junctions of the kind a user studies, in a short sweep with one of the six default start-ups
// (from their start guesses, odd cells mostly walk to the phase cap, slowly without the jumps).
void RunRandomSweep(Dice& dice, State& s) {
  WorkingSet j[3];
  for (WorkingSet& junction : j) {
    junction.curRs = dice.LogUniform(0.1, 50), junction.curRp = dice.LogUniform(100, 1e6);
    junction.curJsc = dice.Chance(0.2) ? 0 : dice.LogUniform(1e-3, 0.05);
    junction.curJsd1 = dice.LogUniform(1e-20, 1e-8), junction.curJsd2 = dice.LogUniform(1e-14, 1e-5);
    junction.curM1 = dice.Uniform(0.8, 1.5), junction.curM2 = dice.Uniform(1.5, 3);
  }
  Parameters& p = s.par;
  p.Rs1 = j[0].curRs, p.Rp1 = j[0].curRp, p.Jsc1 = j[0].curJsc, p.Jsd11 = j[0].curJsd1,
  p.Jsd12 = j[0].curJsd2;
  p.m11 = j[0].curM1, p.m12 = j[0].curM2;
  p.Rs2 = j[1].curRs, p.Rp2 = j[1].curRp, p.Jsc2 = j[1].curJsc, p.Jsd21 = j[1].curJsd1,
  p.Jsd22 = j[1].curJsd2;
  p.m21 = j[1].curM1, p.m22 = j[1].curM2;
  p.Rs3 = j[2].curRs, p.Rp3 = j[2].curRp, p.Jsc3 = j[2].curJsc, p.Jsd31 = j[2].curJsd1,
  p.Jsd32 = j[2].curJsd2;
  p.m31 = j[2].curM1, p.m32 = j[2].curM2;
  p.Rl1 = dice.LogUniform(5, 1e13), p.Rl2 = dice.LogUniform(5, 1e13), p.Rg1 = dice.LogUniform(5, 1e13);
  p.Rg2 = dice.LogUniform(5, 1e13), p.Rg3 = dice.LogUniform(5, 1e13);
  const auto& sweep = testing_cell::DefaultSweeps()[static_cast<std::size_t>(dice.Uniform(0, 5.999))];
  s.k.maxPoints = 25;
  sweep.setUp(s);
  sweep.run(s);
}

// The calls made on one random cell, in both modes: a current at a voltage as the independent study asks
// it, a voltage at a current from a guess of either sign, a network search, and now and then a short
// sweep. Returns "" or what differed, with the call's name.
std::string ExerciseRandomCell(std::uint64_t seed, Twins& twins) {
  std::string diff;
  // Each call draws its random values inside, from its own copy of the dice: both twins see the same.
  const auto call = [&](const char* name, std::uint64_t salt,
                        const std::function<void(Dice&, State&)>& body) {
    if (diff.empty()) {
      diff = twins.Call([&](State& s) {
        Dice dice(seed * 8 + salt);
        body(dice, s);
      });
      if (!diff.empty()) diff = std::string(name) + ": " + diff;
    }
  };
  Dice dice(seed);
  WorkingSet junction;
  LoadRandomJunction(dice, junction);
  const auto load = [junction](State& s) {
    s.ws.curRs = junction.curRs, s.ws.curRp = junction.curRp, s.ws.curJsc = junction.curJsc;
    s.ws.curJsd1 = junction.curJsd1, s.ws.curJsd2 = junction.curJsd2;
    s.ws.curM1 = junction.curM1, s.ws.curM2 = junction.curM2;
  };

  // The independent study's points: lit from a small positive guess, dark forward from a small negative
  // one, dark reverse from a small positive one; or any voltage from a guess mostly on the root's side
  // (otherwise the literal search walks to its phase cap), with cycleCount as the last call left it.
  call("CalcJ", 0, [&](Dice& d, State& s) {
    load(s);
    s.ws.stepJ = d.Chance(0.8) ? 0.05 : d.LogUniform(0.005, 2);
    const double kind = d.Uniform(0, 1);
    if (kind < 0.3) {
      s.ws.curV = d.Uniform(-0.5, 3.5), s.ws.curJ = d.LogUniform(1e-12, 1e-8);
    } else if (kind < 0.65) {
      s.ws.curJsc = 0, s.ws.curV = d.Uniform(0.002, 3), s.ws.curJ = -d.LogUniform(1e-14, 1e-11);
    } else if (kind < 0.8) {
      s.ws.curJsc = 0, s.ws.curV = -d.Uniform(0.002, 1), s.ws.curJ = d.LogUniform(1e-14, 1e-11);
    } else {
      s.ws.curV = d.Uniform(-5, 5);
      s.ws.curJ = (d.Chance(0.995) ? CurrentRootSide(s.ws, s.k.Vt, s.ws.curV) : -1) * d.LogUniform(1e-13, 1);
    }
    if (kind < 0.8) s.ws.cycleCount = 0;
    CalcJ(s);
  });
  // Flip A or B may carry the guess across zero.
  call("CalcV", 1, [&](Dice& d, State& s) {
    load(s);
    double side = 0;
    for (int draw = 0; draw < 5 && side == 0; ++draw) {
      s.ws.curJ = d.Chance(0.001) ? 0 : d.Signed(1e-13, 1);
      side = VoltageRootSide(s.ws, s.k.Vt, s.ws.curJ, 0);
    }
    s.ws.curV = (d.Chance(0.998) && side != 0 ? side : -1) * d.LogUniform(1e-14, 2);
    s.ws.cycleCount = 0;
    CalcV(s);
  });
  const bool junction1 = dice.Chance(0.5);
  call(junction1 ? "CalcV1Net" : "CalcV2Net", 2, [&](Dice& d, State& s) {
    load(s);
    PlaceRandomNetwork(d, junction, junction1, s);
    junction1 ? CalcV1Net(s) : CalcV2Net(s);
  });
  if (dice.Chance(0.005)) call("sweep", 3, RunRandomSweep);
  return diff;
}

std::uint64_t FromEnvironment(const char* name, std::uint64_t otherwise) {
  const char* text = std::getenv(name);
  return text && *text ? std::strtoull(text, nullptr, 10) : otherwise;
}

TEST(JumpingSearches, MatchTheLiteralOnesOnRandomCells) {
  const std::uint64_t cells = FromEnvironment("PELARIN_DIFFERENTIAL_CELLS", 10000);
  const std::uint64_t seed = FromEnvironment("PELARIN_DIFFERENTIAL_SEED", 20240611);
  Twins twins(DefaultState());
  for (std::uint64_t cell = 0; cell < cells; ++cell) {
    const std::string diff = ExerciseRandomCell(seed + cell, twins);
    ASSERT_EQ(diff, "") << "cell " << cell << " (seed " << seed + cell << ")";
  }
  const double jumped = static_cast<double>(twins.callsThatJumped) / static_cast<double>(twins.calls);
  const double evals =
      static_cast<double>(twins.jumping.ws.balanceEvals) / static_cast<double>(twins.literal.ws.balanceEvals);
  std::printf(
      "%llu cells, %lld calls (%lld faults): %.1f %% jumped; evaluations %llu against %llu literal (%.4f)\n",
      static_cast<unsigned long long>(cells), static_cast<long long>(twins.calls),
      static_cast<long long>(twins.callsThatThrew), 100 * jumped,
      static_cast<unsigned long long>(twins.jumping.ws.balanceEvals),
      static_cast<unsigned long long>(twins.literal.ws.balanceEvals), evals);
  // The comparison means something only if the jumps happen, and errors are compared too.
  EXPECT_GT(jumped, 0.5);
  EXPECT_LT(evals, 0.5);
  EXPECT_GT(twins.callsThatThrew, 0);
}

// The six default sweeps: every point, the carried V1/V2/curJset/sweepStep and the phase lengths agree.
class DefaultSweepBothWays : public ::testing::TestWithParam<testing_cell::DefaultSweep> {};

TEST_P(DefaultSweepBothWays, GivesTheLiteralResults) {
  const testing_cell::DefaultSweep& sweep = GetParam();
  Twins twins(DefaultState());
  EXPECT_EQ(twins.Call([&](State& s) {
    sweep.setUp(s);
    sweep.run(s);
  }),
            "");
  EXPECT_GT(twins.literal.sweep.resCount, 100);
  EXPECT_EQ(twins.callsThatJumped, 1) << "the sweep's first point starts far from its root";
}

INSTANTIATE_TEST_SUITE_P(Sweeps, DefaultSweepBothWays, ::testing::ValuesIn(testing_cell::DefaultSweeps()),
                         [](const auto& info) { return std::string(info.param.name); });

// Long phases next to what ends or bends them: a jump must stop short of a flip, a network step cap or
// restart, the 15 V runaway, an overflow or the phase cap, and leave the step counters as the literal loop
// does. Searches whose balance is not certainly monotone never jump.
struct LongPhase {
  const char* name;
  std::function<void(State&)> setUp;
  void (*search)(State&);
  bool jumps;
  const char* error = "";  // how the search ends: "" when it returns
};
void PrintTo(const LongPhase& c, std::ostream* os) { *os << c.name; }

class LongPhaseBothWays : public ::testing::TestWithParam<LongPhase> {};

TEST_P(LongPhaseBothWays, EndsAsTheLiteralOne) {
  const LongPhase& c = GetParam();
  State start = DefaultState();
  c.setUp(start);
  Twins twins(start);
  EXPECT_EQ(twins.Call(c.search), "");
  EXPECT_EQ(twins.callsThatThrew, *c.error ? 1 : 0);
  EXPECT_NE(twins.lastError.find(c.error), std::string::npos) << twins.lastError;
  EXPECT_GT(twins.literal.ws.balanceEvals, 400u);
  const std::uint64_t jumping = twins.jumping.ws.balanceEvals, literal = twins.literal.ws.balanceEvals;
  if (c.jumps) {
    EXPECT_LT(jumping * 4, literal);
  } else {
    EXPECT_EQ(jumping, literal);
  }
}

// Junction 2 of the default cell inside a network around V1 = V3 = 0.5 V, with junction 3's current Jset.
void Network(State& s, bool lit, double Jset, double V2) {
  LoadJunction(s, 2, lit ? s.par.Jsc2 : 0);
  s.ws.V1 = s.ws.V3 = s.ws.V1start = 0.5;
  s.ws.V2 = s.ws.V2start = V2;
  s.ws.curJset = s.ws.curJ = Jset;
}

INSTANTIATE_TEST_SUITE_P(
    SideRules, LongPhaseBothWays,
    ::testing::Values(
        // The independent study's dark forward point: about 4,000 steps at 0.5 %.
        LongPhase{"DarkForwardPoint",
                  [](State& s) {
                    LoadJunction(s, 1, 0);
                    s.ws.curV = 1.0, s.ws.curJ = -1e-12, s.ws.stepJ = 0.05;
                  },
                  CalcJ, true},
        // A positive voltage falls 10 decades to below 1e-12 V, flips to negative and falls on to its root.
        LongPhase{"FallThroughFlipA",
                  [](State& s) {
                    s.ws.curRs = 0, s.ws.curRp = 1e30, s.ws.curJsc = 0, s.ws.curJsd1 = 1e-6, s.ws.curJsd2 = 0;
                    s.ws.curM1 = 1, s.ws.curM2 = 2, s.ws.curJ = 5e-7, s.ws.curV = 0.01;
                  },
                  CalcV, true},
        // A dark rising phase creeping towards zero from below ends after 1000 steps, every cycle.
        LongPhase{"DarkNetworkPhaseCap", [](State& s) { Network(s, false, -1e-6, -0.5); }, CalcV2Net, true},
        // A lit one restarts from -V2start after 10000 steps and then rises to the root.
        LongPhase{"LitNetworkRestart", [](State& s) { Network(s, true, 1e-6, -0.5); }, CalcV2Net, true},
        // Junction 1 behind 20 Ohm.cm2 under 1 A/cm2 rises from 0.1 V past 15 V.
        LongPhase{"RunawayPast15V",
                  [](State& s) {
                    s.par.Rs1 = 20;
                    LoadJunction(s, 1, 0);
                    s.ws.V1 = s.ws.V1start = 0.1, s.ws.V2 = s.ws.V3 = s.ws.V2start = 0.5;
                    s.ws.curJset = s.ws.curJ = -1;
                  },
                  CalcV1Net, true},
        // The root lies beyond the exponential's range: the rising current overflows it after ~640 steps,
        // and the phases go on past it with the diode current taken as e^(x + ln Jsd).
        LongPhase{"OverflowInsideThePhase",
                  [](State& s) {
                    s.ws.curRs = 1, s.ws.curRp = 1e6, s.ws.curJsc = 1e10, s.ws.curJsd1 = 1e-300;
                    s.ws.curJsd2 = 0, s.ws.curM1 = 1, s.ws.curM2 = 1;
                    s.ws.curV = 0, s.ws.curJ = 1e-12, s.ws.stepJ = 0.05;
                  },
                  CalcJ, true},
        // A wrong-sided voltage creeps towards zero until the phase cap.
        LongPhase{"PhaseCap",
                  [](State& s) {
                    LoadJunction(s, 2, 0);
                    s.ws.curJ = -1e-3, s.ws.curV = -0.1;
                  },
                  CalcV, true, "no root found after 3000000 steps"},
        // A step too small to move the guess: the same guess until the phase cap.
        LongPhase{"StepBelowRounding",
                  [](State& s) {
                    LoadJunction(s, 1, s.par.Jsc1);
                    s.ws.curV = 0.3, s.ws.curJ = 1e-10, s.ws.stepJ = 1e-17;
                  },
                  CalcJ, true, "no root found after 3000000 steps"},
        // A negative series resistance: the balance may not grow with the current, so no jump.
        LongPhase{"NegativeSeriesResistance",
                  [](State& s) {
                    s.par.Rs1 = -0.01;
                    LoadJunction(s, 1, 0);
                    s.ws.curV = 0.6, s.ws.curJ = -1e-12, s.ws.stepJ = 0.05;
                  },
                  CalcJ, false},
        // A negative Rl2: the current through junction 2 falls as its voltage rises.
        LongPhase{"NegativeCouplingResistance",
                  [](State& s) {
                    s.par.Rl2 = -1e6;
                    Network(s, false, -1e-6, -0.5);
                  },
                  CalcV2Net, false}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace pelarin
