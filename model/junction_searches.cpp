// The two-diode balance of one junction and the four multiplicative bracketing searches that solve it:
// CalcJ (current at a voltage), CalcV (voltage at a current), CalcV2Net and CalcV1Net (junction 2 or 1
// inside the coupling network). Each cycle rises past the root, then falls back below it, with a step ten
// times finer per phase; a voltage crosses zero only through the two flip rules.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <string>

#include "model/calc_error.h"
#include "model/solvers.h"

namespace pelarin {
namespace {

constexpr double kDivergeVoltage = 15.0;  // a network junction beyond this has run away
constexpr int kNetPhaseCap = 1000;        // steps after which a dark rising or any falling network phase ends
constexpr int kLitRestartSteps = 10000;   // steps after which a lit rising network phase restarts
constexpr std::int16_t kV1NetCycles = 6;
constexpr double kCurrentTolerance = 1e-5;  // relative change of curJ over a cycle that ends CalcJ

std::string Num(double x) {
  char text[32];
  std::snprintf(text, sizeof text, "%.10g", x);
  return text;
}

[[noreturn, gnu::cold, gnu::noinline]] void Fault(const char* search, const std::string& what,
                                                  const WorkingSet& ws) {
  throw CalcError(std::string(search) + ": " + what + " (junction Rs = " + Num(ws.curRs) +
                  ", Rp = " + Num(ws.curRp) + ", Jsc = " + Num(ws.curJsc) + ", Jsd1 = " + Num(ws.curJsd1) +
                  ", Jsd2 = " + Num(ws.curJsd2) + ", m1 = " + Num(ws.curM1) + ", m2 = " + Num(ws.curM2) +
                  ")");
}

[[noreturn, gnu::cold, gnu::noinline]] void NotFinite(const char* search, const WorkingSet& ws, double V,
                                                      double J) {
  Fault(search,
        "the junction balance is not finite (overflow or invalid operation) at V = " + Num(V) +
            ", J = " + Num(J),
        ws);
}

[[noreturn, gnu::cold, gnu::noinline]] void Endless(const char* search, const WorkingSet& ws, double x) {
  Fault(search,
        "no root found after " + std::to_string(kPhaseStepCap) + " steps of one phase (value now " + Num(x) +
            "; a zero or wrong-signed guess never reaches it)",
        ws);
}

// The junction balance eqLhs = Vd/Rp + J - Jsc against eqRhs = -Jsd1*(exp(Vd/(m1*Vt)) - 1) - Jsd2*(...),
// with Vd = V + Rs*J, evaluated in exactly that order. It also counts the steps of the running phase, so
// that a phase that has lost its root ends with an error instead of running for ever.
class Balance {
 public:
  Balance(const char* search, const WorkingSet& ws, double Vt)
      : search_(search),
        ws_(ws),
        rs_(ws.curRs),
        rp_(ws.curRp),
        jsc_(ws.curJsc),
        jsd1_(ws.curJsd1),
        jsd2_(ws.curJsd2),
        m1Vt_(ws.curM1 * Vt),
        m2Vt_(ws.curM2 * Vt) {
    if (rp_ == 0) Fault(search_, "division by zero: the parallel resistance Rp is 0", ws_);
    if (m1Vt_ == 0) Fault(search_, "division by zero: the ideality factor m1 (times Vt) is 0", ws_);
    if (m2Vt_ == 0) Fault(search_, "division by zero: the ideality factor m2 (times Vt) is 0", ws_);
  }

  [[gnu::always_inline]] void Evaluate(double V, double J) { EvaluateWithDrop(V, J, rs_ * J); }

  // The same evaluation when the series drop Rs*J is already known (the current is held for the search).
  [[gnu::always_inline]] void EvaluateWithDrop(double V, double J, double rsJ) {
    const double Vd = V + rsJ;
    lhs = Vd / rp_ + J - jsc_;
    rhs = -jsd1_ * (std::exp(Vd / m1Vt_) - 1) - jsd2_ * (std::exp(Vd / m2Vt_) - 1);
    ++evals_;
    // An infinite or invalid side makes the difference infinite or invalid too: one test covers both.
    if (!std::isfinite(lhs - rhs)) [[unlikely]]
      NotFinite(search_, ws_, V, J);
  }

  void StartPhase() { steps_ = 0; }
  [[gnu::always_inline]] void CountStep(double x) {
    if (++steps_ > kPhaseStepCap) [[unlikely]]
      Endless(search_, ws_, x);
  }
  void EndPhase() {
    if (steps_ > longest_) longest_ = steps_;
  }

  // Adds this search's counts to the diagnostics of the working set.
  void Record(WorkingSet& ws) const {
    ws.balanceEvals += evals_;
    if (longest_ > ws.longestPhase) ws.longestPhase = longest_;
  }

  [[nodiscard]] double SeriesDrop(double J) const { return rs_ * J; }

  double lhs = 0, rhs = 0;

 private:
  const char* search_;
  const WorkingSet& ws_;
  const double rs_, rp_, jsc_, jsd1_, jsd2_, m1Vt_, m2Vt_;
  std::uint64_t evals_ = 0;
  std::int32_t steps_ = 0, longest_ = 0;
};

// One multiplicative step; zero is a fixed point of both.
inline void StepUp(double& x, double s) {
  if (x > 0) x = x * (1 + s);
  if (x < 0) x = x / (1 + s);
}
inline void StepDown(double& x, double s) {
  if (x > 0) x = x / (1 + s);
  if (x < 0) x = x * (1 + s);
}

// The jumps across zero of the voltage searches (B is tested on the value A may have changed).
inline void FlipA(double& v, double limit) {
  if (v > 0 && v < limit) v = -10 * v;
}
inline void FlipB(double& v, double limit) {
  if (v > -limit && v < 0) v = -10 * v;
}

void RequireNonZeroGuess(const char* search, const char* name, double guess, const WorkingSet& ws) {
  if (guess == 0) {
    Fault(search,
          std::string("the start value ") + name + " is 0, a fixed point of the multiplicative search", ws);
  }
}

// A voltage search runs cycles until cycleCount reaches its limit; a count outside 0..limit on entry would
// run past the finest step and never end.
void RequireCycleCount(const char* search, std::int16_t limit, const WorkingSet& ws) {
  if (ws.cycleCount < 0 || ws.cycleCount > limit) {
    Fault(search,
          "cycleCount is " + std::to_string(ws.cycleCount) + " on entry, outside 0.." + std::to_string(limit),
          ws);
  }
}

// Restores the between-calls state of the searches when a fault abandons one, so the next command starts
// clean, and lets the fault go on to the command that called.
template <class Body>
void WithCleanExit(WorkingSet& ws, const Constants& k, Body&& body) {
  try {
    body();
  } catch (...) {
    ws.cycleCount = 0;
    ws.stepFactor = k.stepInit;
    throw;
  }
}

}  // namespace

void LoadJunction(State& state, int k, double photocurrent) {
  const Parameters& p = state.par;
  WorkingSet& ws = state.ws;
  switch (k) {
    case 1:
      ws.curRs = p.Rs1, ws.curRp = p.Rp1, ws.curJsd1 = p.Jsd11, ws.curJsd2 = p.Jsd12;
      ws.curM1 = p.m11, ws.curM2 = p.m12;
      break;
    case 2:
      ws.curRs = p.Rs2, ws.curRp = p.Rp2, ws.curJsd1 = p.Jsd21, ws.curJsd2 = p.Jsd22;
      ws.curM1 = p.m21, ws.curM2 = p.m22;
      break;
    case 3:
      ws.curRs = p.Rs3, ws.curRp = p.Rp3, ws.curJsd1 = p.Jsd31, ws.curJsd2 = p.Jsd32;
      ws.curM1 = p.m31, ws.curM2 = p.m32;
      break;
    default:
      throw CalcError("LoadJunction: there is no junction " + std::to_string(k));
  }
  ws.curJsc = photocurrent;
}

void CalcJ(State& state) {
  WorkingSet& ws = state.ws;
  const Constants& k = state.k;
  WithCleanExit(ws, k, [&] {
    RequireNonZeroGuess("CalcJ", "curJ", ws.curJ, ws);
    Balance bal("CalcJ", ws, k.Vt);
    double s = ws.stepJ;
    const double V = ws.curV;
    double J = ws.curJ;
    bal.Evaluate(V, J);
    ws.eqLhs = bal.lhs, ws.eqRhs = bal.rhs;
    // A positive guess that is already too large is handed back untouched.
    if (J > 0 && bal.lhs > bal.rhs) {
      bal.Record(ws);
      return;
    }
    if (ws.cycleCount != k.cycleLimit) {
      for (;;) {
        ws.curJset = J;
        if (bal.lhs <= bal.rhs) {
          bal.StartPhase();
          do {
            bal.CountStep(J);
            StepUp(J, s);
            bal.Evaluate(V, J);
          } while (bal.lhs <= bal.rhs);
          bal.EndPhase();
        }
        s = s / 10;
        if (bal.lhs >= bal.rhs) {
          bal.StartPhase();
          do {
            bal.CountStep(J);
            StepDown(J, s);
            bal.Evaluate(V, J);
          } while (bal.lhs >= bal.rhs);
          bal.EndPhase();
        }
        s = s / 10;
        ++ws.cycleCount;
        ws.curJ = J, ws.eqLhs = bal.lhs, ws.eqRhs = bal.rhs;
        if (J == 0) Fault("CalcJ", "division by zero: curJ is 0 in the relative change test", ws);
        const double change = (ws.curJset - J) / J;
        if (std::fabs(change) < kCurrentTolerance) break;
        if (ws.cycleCount == k.cycleLimit) break;
      }
    }
    ws.cycleCount = 0;
    ws.curJ = J, ws.eqLhs = bal.lhs, ws.eqRhs = bal.rhs;
    bal.Record(ws);
  });
}

void CalcV(State& state) {
  WorkingSet& ws = state.ws;
  const Constants& k = state.k;
  WithCleanExit(ws, k, [&] {
    RequireNonZeroGuess("CalcV", "curV", ws.curV, ws);
    RequireCycleCount("CalcV", k.cycleLimit, ws);
    Balance bal("CalcV", ws, k.Vt);
    const double J = ws.curJ;
    const double limit = k.flipLimit;
    // The falling phase jumps a positive voltage below zero only under a photocurrent-direction current,
    // and a negative one above zero only under a forward current.
    const bool flipA = J > 0;
    const bool flipB = J < 0;
    const double rsJ = bal.SeriesDrop(J);
    double V = ws.curV;
    ws.stepFactor = k.stepInit;
    bal.EvaluateWithDrop(V, J, rsJ);
    if (ws.cycleCount != k.cycleLimit) {
      do {
        if (bal.lhs <= bal.rhs) {
          const double s = ws.stepFactor;
          bal.StartPhase();
          do {
            bal.CountStep(V);
            StepUp(V, s);
            bal.EvaluateWithDrop(V, J, rsJ);
          } while (bal.lhs <= bal.rhs);
          bal.EndPhase();
        }
        ws.stepFactor = ws.stepFactor / 10;
        if (bal.lhs >= bal.rhs) {
          const double s = ws.stepFactor;
          bal.StartPhase();
          do {
            bal.CountStep(V);
            StepDown(V, s);
            bal.EvaluateWithDrop(V, J, rsJ);
            if (flipA) FlipA(V, limit);
            if (flipB) FlipB(V, limit);
          } while (bal.lhs >= bal.rhs);
          bal.EndPhase();
        }
        ws.stepFactor = ws.stepFactor / 10;
        ++ws.cycleCount;
      } while (ws.cycleCount != k.cycleLimit);
    }
    ws.stepFactor = k.stepInit;
    ws.cycleCount = 0;
    ws.curV = V, ws.eqLhs = bal.lhs, ws.eqRhs = bal.rhs;
    bal.Record(ws);
  });
}

void CalcV2Net(State& state) {
  WorkingSet& ws = state.ws;
  const Constants& k = state.k;
  const Parameters& p = state.par;
  WithCleanExit(ws, k, [&] {
    RequireNonZeroGuess("CalcV2Net", "V2", ws.V2, ws);
    RequireCycleCount("CalcV2Net", k.cycleLimit, ws);
    if (p.Rl2 == 0) Fault("CalcV2Net", "division by zero: Rl2 is 0", ws);
    if (p.Rg3 == 0) Fault("CalcV2Net", "division by zero: Rg3 is 0", ws);
    Balance bal("CalcV2Net", ws, k.Vt);
    const double limit = k.flipLimit;
    const bool dark = ws.curJsc == 0;
    const double V1 = ws.V1, V3 = ws.V3, Jset = ws.curJset, V2start = ws.V2start, Rl2 = p.Rl2;
    const double leak3 = V3 / p.Rg3;  // through Rg3, out of the node between junctions 2 and 3
    double V2 = ws.V2;
    double J = ws.curJ;
    ws.stepFactor = k.stepInit;
    bal.Evaluate(V2, J);
    if (ws.cycleCount != k.cycleLimit) {
      do {
        double s = ws.stepFactor;
        int n = 0;
        if (bal.lhs <= bal.rhs) {
          bal.StartPhase();
          do {
            bal.CountStep(V2);
            ++n;
            StepUp(V2, s);
            J = (V1 + V2) / Rl2 + Jset - leak3;
            bal.Evaluate(V2, J);
            if (dark) {
              FlipA(V2, limit);
              FlipB(V2, limit);
              if (n > kNetPhaseCap) break;
            } else if (n > kLitRestartSteps) {
              V2 = -V2start;
              n = 0;
            }
          } while (bal.lhs <= bal.rhs);
          bal.EndPhase();
        }
        ws.stepFactor = ws.stepFactor / 10;
        s = ws.stepFactor;
        n = 0;
        if (bal.lhs >= bal.rhs) {
          bal.StartPhase();
          do {
            bal.CountStep(V2);
            ++n;
            StepDown(V2, s);
            J = (V1 + V2) / Rl2 + Jset - leak3;
            if (V2 > kDivergeVoltage) {
              ws.divergeFlag = 1;  // reported to the coupled sweep; this search runs its cycles on
              break;
            }
            bal.Evaluate(V2, J);
            FlipA(V2, limit);
            FlipB(V2, limit);
            if (n > kNetPhaseCap) break;
          } while (bal.lhs >= bal.rhs);
          bal.EndPhase();
        }
        ws.stepFactor = ws.stepFactor / 10;
        ++ws.cycleCount;
      } while (ws.cycleCount != k.cycleLimit);
    }
    ws.stepFactor = k.stepInit;
    ws.cycleCount = 0;
    ws.curJ = ws.curJset;
    ws.V2 = V2, ws.eqLhs = bal.lhs, ws.eqRhs = bal.rhs;
    bal.Record(ws);
  });
}

void CalcV1Net(State& state) {
  WorkingSet& ws = state.ws;
  const Constants& k = state.k;
  const Parameters& p = state.par;
  WithCleanExit(ws, k, [&] {
    RequireNonZeroGuess("CalcV1Net", "V1", ws.V1, ws);
    RequireCycleCount("CalcV1Net", kV1NetCycles, ws);
    if (p.Rl1 == 0) Fault("CalcV1Net", "division by zero: Rl1 is 0", ws);
    if (p.Rl2 == 0) Fault("CalcV1Net", "division by zero: Rl2 is 0", ws);
    if (p.Rg2 == 0) Fault("CalcV1Net", "division by zero: Rg2 is 0", ws);
    if (p.Rg3 == 0) Fault("CalcV1Net", "division by zero: Rg3 is 0", ws);
    Balance bal("CalcV1Net", ws, k.Vt);
    const double limit = k.flipLimit;
    const bool dark = ws.curJsc == 0;
    const double V2 = ws.V2, V3 = ws.V3, Jset = ws.curJset, V1start = ws.V1start, Rl1 = p.Rl1, Rl2 = p.Rl2;
    const double leak2 = (V3 + V2) / p.Rg2;  // through Rg2, out of the node between junctions 1 and 2
    const double leak3 = V3 / p.Rg3;
    double V1 = ws.V1;
    double J = ws.curJ;
    ws.stepFactor = k.stepInit;
    bal.Evaluate(V1, J);
    if (ws.cycleCount != kV1NetCycles) {
      do {
        double s = ws.stepFactor;
        int n = 0;
        if (bal.lhs <= bal.rhs) {
          bal.StartPhase();
          do {
            bal.CountStep(V1);
            ++n;
            StepUp(V1, s);
            J = V1 / Rl1 + Jset + (V2 + V1) / Rl2 - leak2 - leak3;
            if (V1 > kDivergeVoltage) {
              ws.divergeFlag = 1;
              break;
            }
            bal.Evaluate(V1, J);
            if (dark) {
              FlipA(V1, limit);
              FlipB(V1, limit);
              if (n > kNetPhaseCap) break;
            } else if (n > kLitRestartSteps) {
              V1 = -V1start;
              n = 0;
            }
          } while (bal.lhs <= bal.rhs);
          bal.EndPhase();
        }
        ws.stepFactor = ws.stepFactor / 10;
        // A runaway seen by either network search ends this one here.
        if (ws.divergeFlag == 1) break;
        s = ws.stepFactor;
        n = 0;
        if (bal.lhs >= bal.rhs) {
          bal.StartPhase();
          do {
            bal.CountStep(V1);
            ++n;
            StepDown(V1, s);
            J = V1 / Rl1 + Jset + (V2 + V1) / Rl2 - leak2 - leak3;
            bal.Evaluate(V1, J);
            FlipA(V1, limit);
            FlipB(V1, limit);
            if (n > kNetPhaseCap) break;
          } while (bal.lhs >= bal.rhs);
          bal.EndPhase();
        }
        ws.stepFactor = ws.stepFactor / 10;
        ++ws.cycleCount;
      } while (ws.cycleCount != kV1NetCycles);
    }
    ws.stepFactor = k.stepInit;
    ws.cycleCount = 0;
    ws.curJ = ws.curJset;
    ws.V1 = V1, ws.eqLhs = bal.lhs, ws.eqRhs = bal.rhs;
    bal.Record(ws);
  });
}

}  // namespace pelarin
