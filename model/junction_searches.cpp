// The two-diode balance of one junction and the four multiplicative bracketing searches that solve it:
// CalcJ (current at a voltage), CalcV (voltage at a current), CalcV2Net and CalcV1Net (junction 2 or 1
// inside the coupling network). Each cycle rises past the root, then falls back below it, with a step ten
// times finer per phase; a voltage crosses zero only through the two flip rules.
//
// Skipped steps. A first phase can walk thousands of steps (a dark forward point of the independent study
// falls from -1e-12 A/cm2 at 0.5 % per step), each paying two exponentials. The loops below are the
// literal ones. When Constants::skipCertifiedSteps is set, a phase that has taken kLiteralLead steps calls
// Balance::SkipAhead at the top of its loop; it moves the phase over steps that the loop certainly
// continues through, and the literal loop goes on from there. Results and carried state (the guesses,
// curJ, curJset, eqLhs/eqRhs, cycleCount, stepFactor, flips, divergeFlag, the step counters, the longest
// phase) are those of the literal loop to the last bit, because:
//
// 1. Same guesses. The skipped guesses come from the loop's own StepUp/StepDown applied to the same
//    start, one rounded multiplication or division each, so the k-th is the loop's k-th. They cost no
//    exponential. Multiplying or dividing by 1+s >= 1 never crosses zero, so they are monotone in k.
// 2. No side rule is skipped. A jump ends before the first guess on which a flip, the 15 V test, a
//    network step cap or restart, or the phase cap would act; these depend only on the guess and the
//    step count, which are checked for every skipped step. The skipped steps are plain {step, evaluate,
//    test}.
// 3. Monotone evaluation. With Rp, m1*Vt, m2*Vt > 0, Jsd1, Jsd2 >= 0 and, where the current moves with
//    the guess, Rs >= 0 and Rl1, Rl2 > 0 (all finite), every intermediate of an evaluation (the network
//    current, Vd, lhs, the exponents, rhs) is a monotone function of the guess: it is built from correctly
//    rounded +, -, *, / with operands of known sign, and rounding to nearest is monotone. Only exp is not
//    guaranteed monotone. We allow it to be 4 ulps off (2^-50 relative, plus 4*2^-1074 absolute near
//    underflow): then at any exponent at or below one where exp gave e it gives at most Up(e), and at or
//    above it at least Down(e) (Up and Down widen e by 2^-48 relative and 2^-1020 absolute, which covers
//    both errors and their own rounding).
// 4. Trusted probes. Every skipped guess lies between the guess at the top of the loop (the base) and
//    the probed one. So its lhs lies between the two ends' lhs, and its rhs between Rhs(Up(e)) of the
//    upper end and Rhs(Down(e)) of the lower end, Rhs being the balance's own rounded right-hand side,
//    non-increasing in both exponentials. A probe is trusted only when (a) both ends, these bounds and
//    the differences lhs - rhs they allow are finite and the exponentials are below 2^1000, so that no
//    skipped evaluation can overflow or be invalid (where the literal loop evaluates again), and (b) the
//    balance's margin exceeds the rounding bound: in a rising phase (continue while lhs <= rhs) the
//    probe's lhs <= Rhs(Up(e)) at the probe; in a falling phase (continue while lhs >= rhs) the probe's
//    lhs >= Rhs(Down(e)) at the probe. Then every skipped step evaluates to a finite balance that
//    continues the loop, and the jump is one the literal loop makes.
// 5. Search. Probes gallop forward, each about 1.5 times the phase's steps so far, until one is not
//    trusted, then bisect the last stretch. The jump lands on a trusted probe; the rest of the phase,
//    stopping step included, is left to the literal loop. Nothing is concluded from an untrusted probe,
//    so the search order only affects the speed.
//
// A jump adds its steps to the phase's counters, so caps, restarts and the longest phase come out as in
// the literal loop; only the count of evaluations, a diagnostic, drops. With parameters of other signs,
// non-finite ones, or a step that is not positive, a search never jumps.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <limits>
#include <string>

#include "model/calc_error.h"
#include "model/number_text.h"
#include "model/solvers.h"

namespace pelarin {
namespace {

constexpr double kDivergeVoltage = 15.0;  // a network junction beyond this has run away
constexpr int kNetPhaseCap = 1000;        // steps after which a dark rising or any falling network phase ends
constexpr int kLitRestartSteps = 10000;   // steps after which a lit rising network phase restarts
constexpr std::int16_t kV1NetCycles = 6;
constexpr double kCurrentTolerance = 1e-5;  // relative change of curJ over a cycle that ends CalcJ

// Skipping (see the top of the file): literal steps of a phase before its first jump, and the most
// guesses between two probes (they are kept for the bisection).
constexpr int kLiteralLead = 16;
constexpr int kLongestStride = 4096;
// The exponential's allowed error, widened for the rounding of the bounds themselves, and the largest
// exponential a trusted probe may have, so that the widened value stays finite.
constexpr double kExpRelativeSlack = 0x1p-48;
constexpr double kExpAbsoluteSlack = 0x1p-1020;
constexpr double kLargestTrustedExp = 0x1p1000;

std::string Num(double x) { return GeneralText(x, 10); }

[[noreturn, gnu::cold, gnu::noinline]] void Fault(const char* search, const std::string& what,
                                                  const WorkingSet& ws) {
  throw CalcError(std::string(search) + ": " + what + " (junction Rs = " + Num(ws.curRs) +
                  ", Rp = " + Num(ws.curRp) + ", Jsc = " + Num(ws.curJsc) + ", Jsd1 = " + Num(ws.curJsd1) +
                  ", Jsd2 = " + Num(ws.curJsd2) + ", m1 = " + Num(ws.curM1) + ", m2 = " + Num(ws.curM2) +
                  ")");
}

[[noreturn, gnu::cold, gnu::noinline]] void Stopped(const char* search) {
  throw StoppedError(std::string(search) + ": stopped on request");
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

[[noreturn, gnu::cold, gnu::noinline]] void OutOfBudget(const char* search, const WorkingSet& ws) {
  Fault(search,
        "the study has done the work of " + std::to_string(ws.workBudget / 8000000) +
            " million evaluations of the junction balance without ending; it is stopped (the searches do not "
            "settle for this cell)",
        ws);
}

// One multiplicative step; zero is a fixed point of both.
inline void StepUp(double& x, double s) {
  if (x > 0) x = x * (1 + s);
  if (x < 0) x = x / (1 + s);
}
inline void StepDown(double& x, double s) {
  if (x > 0) x = x / (1 + s);
  if (x < 0) x = x * (1 + s);
}

enum class Phase { Rising, Falling };

// One evaluation of the balance at the guess x, with its intermediate values.
struct Sides {
  double x, J, Vd, lhs, e1, e2, rhs;
};

// The junction balance eqLhs = Vd/Rp + J - Jsc against eqRhs = -Jsd1*(exp(Vd/(m1*Vt)) - 1) - Jsd2*(...),
// with Vd = V + Rs*J, evaluated in exactly that order. With reverse breakdown the shunt current Vd/Rp is
// Vd/Rp*(1 + Abd*(1 - Vd/Vbd)^-nbd), which grows without bound as Vd falls to Vbd: at and below Vbd the
// balance takes the most negative double for it, so that every search turns back up above Vbd. It also counts
// the steps of the running phase, so that a phase that has lost its root ends with an error instead of
// running for ever, and jumps over steps whose outcome is certain (see the top of the file).
class Balance {
 public:
  Balance(const char* search, WorkingSet& ws, const Constants& k)
      : search_(search),
        ws_(ws),
        rs_(ws.curRs),
        rp_(ws.curRp),
        jsc_(ws.curJsc),
        jsd1_(ws.curJsd1),
        jsd2_(ws.curJsd2),
        m1Vt_(ws.curM1 * k.Vt),
        m2Vt_(ws.curM2 * k.Vt),
        abd_(ws.curAbd),
        vbd_(ws.curVbd),
        nbd_(ws.curNbd) {
    if (rp_ == 0) Fault(search_, "division by zero: the parallel resistance Rp is 0", ws_);
    if (m1Vt_ == 0) Fault(search_, "division by zero: the ideality factor m1 (times Vt) is 0", ws_);
    if (m2Vt_ == 0) Fault(search_, "division by zero: the ideality factor m2 (times Vt) is 0", ws_);
    if (abd_ != 0 && !(vbd_ < 0)) Fault(search_, "the breakdown voltage Vbd must be below 0", ws_);
    // The breakdown term's power is not known to round monotonically: with it no step is skipped.
    normal_ = k.skipCertifiedSteps && Positive(rp_) && Positive(m1Vt_) && Positive(m2Vt_) &&
              NotNegative(jsd1_) && NotNegative(jsd2_) && std::isfinite(jsc_) && std::isfinite(rs_) &&
              abd_ == 0;
  }

  [[gnu::always_inline]] void Evaluate(double V, double J) { EvaluateWithDrop(V, J, rs_ * J); }

  // The same evaluation when the series drop Rs*J is already known (the current is held for the search).
  [[gnu::always_inline]] void EvaluateWithDrop(double V, double J, double rsJ) {
    const Sides t = Compute(V, V, J, rsJ);
    lhs = t.lhs, rhs = t.rhs;
    CountEvaluation();
    // An infinite or invalid side makes the difference infinite or invalid too: one test covers both.
    if (!std::isfinite(lhs - rhs)) [[unlikely]]
      Saturate(V, J, t.Vd);
  }

  // The evaluation itself, for the guess x (V or J) at voltage V and current J: the literal steps and the
  // probes of a jump share it, so both compute the same operations in the same order.
  [[gnu::always_inline]] Sides Compute(double x, double V, double J, double rsJ) const {
    Sides t;
    t.x = x, t.J = J;
    t.Vd = V + rsJ;
    t.lhs = Shunt(t.Vd) + J - jsc_;
    t.e1 = std::exp(t.Vd / m1Vt_);
    t.e2 = std::exp(t.Vd / m2Vt_);
    t.rhs = Rhs(t.e1, t.e2);
    return t;
  }

  // Every evaluation counts against the study's budget: a study that would run for ever on an extreme
  // cell (a coupled iteration that never settles) ends with an error naming the search it was in.
  // An evaluation (two exponentials) costs as much as about eight guesses of a jump: both count, in eighths
  // of an evaluation.
  [[gnu::always_inline]] void CountEvaluation() {
    ++evals_;
    CountWork(8);
  }
  [[gnu::always_inline]] void CountWork(std::uint64_t eighths) {
    work_ += eighths;
    if (ws_.work + work_ > ws_.workLimit) [[unlikely]]
      OutOfBudget(search_, ws_);
    if (ws_.stop && ws_.stop->load(std::memory_order_relaxed)) [[unlikely]]
      Stopped(search_);
  }

  void StartPhase() {
    steps_ = 0;
    nextJump_ = kLiteralLead;
    jumpWait_ = kLiteralLead;
  }
  [[gnu::always_inline]] void CountStep(double x) {
    if (++steps_ > kPhaseStepCap) [[unlikely]]
      Endless(search_, ws_, x);
  }
  void EndPhase() {
    if (steps_ > longest_) longest_ = steps_;
  }

  Balance(const Balance&) = delete;
  Balance& operator=(const Balance&) = delete;
  // Adds this search's counts to the diagnostics of the working set, also when a fault ends the search.
  ~Balance() {
    ws_.balanceEvals += evals_;
    ws_.work += work_;
    if (longest_ > ws_.longestPhase) ws_.longestPhase = longest_;
  }

  [[nodiscard]] double SeriesDrop(double J) const { return rs_ * J; }

  // The search's own conditions for an evaluation monotone in its guess (the current's dependence on it);
  // without them no step is skipped.
  void AllowJumps(bool monotone) { jumps_ = normal_ && monotone; }

  // Whether the running phase has taken enough literal steps since its start or its last jump attempt.
  [[nodiscard]] bool JumpDue() const { return jumps_ && steps_ >= nextJump_; }

  // Moves the phase over the steps after x that the literal loop would certainly continue through: x
  // becomes the last of them, lhs/rhs its evaluation, and the step count grows by their number, which is
  // returned. At most `limit` steps, none whose guess `plain` rejects (a side rule would act on it).
  // `at` evaluates the balance at a guess as the literal step does.
  template <class At, class Plain>
  int SkipAhead(Phase phase, double& x, double s, int limit, const At& at, const Plain& plain) {
    limit = std::min(limit, kPhaseStepCap - steps_);
    const int jumped = (s > 0 && std::isfinite(s) && limit > 1) ? Jump(phase, x, s, limit, at, plain) : 0;
    steps_ += jumped;
    // After a jump the phase is near its end or at a side rule; after a failed attempt wait longer.
    jumpWait_ = jumped > 0 ? kLiteralLead : 2 * jumpWait_;
    nextJump_ = steps_ + jumpWait_;
    return jumped;
  }

  double lhs = 0, rhs = 0;

 private:
  static bool Positive(double v) { return v > 0 && std::isfinite(v); }
  static bool NotNegative(double v) { return v >= 0 && std::isfinite(v); }
  static double Up(double e) { return e * (1 + kExpRelativeSlack) + kExpAbsoluteSlack; }
  static double Down(double e) { return e * (1 - kExpRelativeSlack) - kExpAbsoluteSlack; }
  static bool Sound(const Sides& t) {
    return std::isfinite(t.x) && std::isfinite(t.J) && std::isfinite(t.Vd) && std::isfinite(t.lhs) &&
           std::isfinite(t.rhs) && t.e1 <= kLargestTrustedExp && t.e2 <= kLargestTrustedExp;
  }

  [[gnu::always_inline]] double Shunt(double Vd) const {
    if (abd_ == 0) [[likely]]
      return Vd / rp_;
    const double u = 1 - Vd / vbd_;
    if (!(u > 0)) return -std::numeric_limits<double>::max();
    const double shunt = Vd / rp_ * (1 + abd_ * std::pow(u, -nbd_));
    // Just above Vbd the term may pass the largest double: the current is then beyond any bound as well.
    return std::isfinite(shunt) ? shunt : -std::numeric_limits<double>::max();
  }

  [[gnu::always_inline]] double Rhs(double e1, double e2) const {
    return -jsd1_ * (e1 - 1) - jsd2_ * (e2 - 1);
  }

  // An exponential past the largest double. The sign of the balance is still certain wherever the diode's
  // current Jsd e^x is itself beyond any double, and its value is a number wherever it is not (a tiny Jsd
  // times an exponential that alone overflows): the right side is evaluated again with each diode current
  // as e^(x + ln Jsd) - Jsd, and one beyond the doubles takes the most negative double, as the breakdown
  // term does, so that the search turns back. Only an invalid or infinite left side, or an invalid
  // parameter, still ends the search. A balance that was finite never comes here: the searches' results
  // on every cell they solved before are unchanged.
  [[gnu::cold, gnu::noinline]] void Saturate(double V, double J, double Vd) {
    if (!std::isfinite(lhs) || std::isnan(Vd)) NotFinite(search_, ws_, V, J);
    const double d1 = DiodeCurrent(jsd1_, Vd / m1Vt_), d2 = DiodeCurrent(jsd2_, Vd / m2Vt_);
    if (std::isnan(d1) || std::isnan(d2)) NotFinite(search_, ws_, V, J);
    const double beyond = std::numeric_limits<double>::max();
    rhs = d1 == beyond || d2 == beyond ? -beyond : -d1 - d2;
    if (!std::isfinite(rhs)) rhs = -beyond;
  }

  // Jsd (e^x - 1), or the largest double when it is beyond them; NaN for an invalid saturation current.
  static double DiodeCurrent(double jsd, double x) {
    if (jsd == 0) return 0;
    const double e = std::exp(x);
    if (std::isfinite(e) && std::isfinite(jsd * (e - 1))) return jsd * (e - 1);
    const double exponent = x + std::log(jsd);
    if (std::isnan(exponent)) return exponent;
    if (exponent >= std::log(std::numeric_limits<double>::max())) return std::numeric_limits<double>::max();
    return std::exp(exponent) - jsd;
  }

  // Whether every step from the base to the probe evaluates to a finite balance that continues the
  // phase (point 4 at the top of the file).
  [[nodiscard]] bool Trusted(Phase phase, const Sides& base, const Sides& probe) const {
    if (!Sound(probe)) return false;
    const bool rising = phase == Phase::Rising;
    const Sides& lower = rising ? base : probe;
    const Sides& upper = rising ? probe : base;
    const double rhsLeast = Rhs(Up(upper.e1), Up(upper.e2));
    const double rhsMost = Rhs(Down(lower.e1), Down(lower.e2));
    if (!std::isfinite(rhsLeast) || !std::isfinite(rhsMost) || !std::isfinite(lower.lhs - rhsMost) ||
        !std::isfinite(upper.lhs - rhsLeast)) {
      return false;
    }
    return rising ? probe.lhs <= rhsLeast : probe.lhs >= rhsMost;
  }

  template <class At, class Plain>
  int Jump(Phase phase, double& x, double s, int limit, const At& at, const Plain& plain) {
    const Sides base = at(x);
    CountEvaluation();
    if (!Sound(base)) return 0;
    std::array<double, kLongestStride + 1> guesses;  // guesses[i]: i steps after the last trusted one
    int trusted = 0;                                 // steps after x, all certain to continue
    Sides last = base;
    double from = x;
    int reach = limit;  // steps that may be skipped at most: up to the first guess a side rule acts on
    bool untrusted = false;
    while (!untrusted && trusted < reach) {
      int stride =
          std::min({std::max(kLiteralLead, (steps_ + trusted) / 2), kLongestStride, reach - trusted});
      guesses[0] = from;
      CountWork(static_cast<std::uint64_t>(stride));
      for (int i = 1; i <= stride; ++i) {
        double g = guesses[i - 1];
        if (phase == Phase::Rising) {
          StepUp(g, s);
        } else {
          StepDown(g, s);
        }
        if (!plain(g)) {
          stride = i - 1;
          reach = trusted + stride;
          break;
        }
        guesses[i] = g;
      }
      if (stride == 0) break;
      // The longest trusted stretch of guesses[1..stride]: gallop to its end, else bisect it.
      int good = 0, bad = stride;
      Sides probe = at(guesses[stride]);
      CountEvaluation();
      if (Trusted(phase, base, probe)) {
        good = stride, last = probe;
      } else {
        untrusted = true;
        while (bad - good > 1) {
          const int mid = good + (bad - good) / 2;
          probe = at(guesses[mid]);
          CountEvaluation();
          if (Trusted(phase, base, probe)) {
            good = mid, last = probe;
          } else {
            bad = mid;
          }
        }
      }
      trusted += good;
      from = guesses[good];
    }
    if (trusted > 0) {
      x = from;
      lhs = last.lhs, rhs = last.rhs;
    }
    return trusted;
  }

  const char* search_;
  WorkingSet& ws_;
  const double rs_, rp_, jsc_, jsd1_, jsd2_, m1Vt_, m2Vt_, abd_, vbd_, nbd_;
  bool normal_ = false, jumps_ = false;
  std::uint64_t evals_ = 0;
  std::uint64_t work_ = 0;  // in eighths of an evaluation
  std::int32_t steps_ = 0, longest_ = 0, nextJump_ = kLiteralLead, jumpWait_ = kLiteralLead;
};

// The jumps across zero of the voltage searches (B is tested on the value A may have changed).
inline bool FlipAActs(double v, double limit) { return v > 0 && v < limit; }
inline bool FlipBActs(double v, double limit) { return v > -limit && v < 0; }
inline void FlipA(double& v, double limit) {
  if (FlipAActs(v, limit)) v = -10 * v;
}
inline void FlipB(double& v, double limit) {
  if (FlipBActs(v, limit)) v = -10 * v;
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
  ws.curAbd = k == 1 ? p.Abd1 : k == 2 ? p.Abd2 : p.Abd3;
  ws.curVbd = k == 1 ? p.Vbd1 : k == 2 ? p.Vbd2 : p.Vbd3;
  ws.curNbd = k == 1 ? p.nbd1 : k == 2 ? p.nbd2 : p.nbd3;
}

double RadiativeCurrent(const Parameters& p, double Vt, int k, double Vd) {
  const double Jsd1 = k == 1 ? p.Jsd11 : k == 2 ? p.Jsd21 : p.Jsd31;
  const double m1 = k == 1 ? p.m11 : k == 2 ? p.m21 : p.m31;
  return Jsd1 * (std::exp(Vd / (m1 * Vt)) - 1);
}

double CoupledPhotocurrent(const Parameters& p, double Vt, int k, double own, double Vd) {
  const double beta = LuminescentFraction(p, k);
  if (beta == 0) return own;
  const double coupled = own + beta * RadiativeCurrent(p, Vt, k, Vd);
  if (!std::isfinite(coupled))
    throw CalcError("junction " + std::to_string(k) + "'s radiative current at its diode voltage " + Num(Vd) +
                    " V overflows: the luminescent coupling into junction " + std::to_string(k - 1) +
                    " has no finite photocurrent");
  return coupled;
}

void CalcJ(State& state) {
  WorkingSet& ws = state.ws;
  const Constants& k = state.k;
  WithCleanExit(ws, k, [&] {
    RequireNonZeroGuess("CalcJ", "curJ", ws.curJ, ws);
    Balance bal("CalcJ", ws, k);
    double s = ws.stepJ;
    const double V = ws.curV;
    double J = ws.curJ;
    // The guess is the current: the series drop moves with it.
    bal.AllowJumps(ws.curRs >= 0 && std::isfinite(V));
    const auto at = [&](double x) { return bal.Compute(x, V, x, bal.SeriesDrop(x)); };
    const auto plain = [](double) { return true; };
    bal.Evaluate(V, J);
    ws.eqLhs = bal.lhs, ws.eqRhs = bal.rhs;
    // A positive guess that is already too large is handed back untouched.
    if (J > 0 && bal.lhs > bal.rhs) return;
    if (ws.cycleCount != k.cycleLimit) {
      for (;;) {
        ws.curJset = J;
        if (bal.lhs <= bal.rhs) {
          bal.StartPhase();
          do {
            if (bal.JumpDue()) bal.SkipAhead(Phase::Rising, J, s, kPhaseStepCap, at, plain);
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
            if (bal.JumpDue()) bal.SkipAhead(Phase::Falling, J, s, kPhaseStepCap, at, plain);
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
  });
}

void CalcV(State& state) {
  WorkingSet& ws = state.ws;
  const Constants& k = state.k;
  WithCleanExit(ws, k, [&] {
    RequireNonZeroGuess("CalcV", "curV", ws.curV, ws);
    RequireCycleCount("CalcV", k.cycleLimit, ws);
    Balance bal("CalcV", ws, k);
    const double J = ws.curJ;
    const double limit = k.flipLimit;
    // The falling phase jumps a positive voltage below zero only under a photocurrent-direction current,
    // and a negative one above zero only under a forward current.
    const bool flipA = J > 0;
    const bool flipB = J < 0;
    const double rsJ = bal.SeriesDrop(J);
    double V = ws.curV;
    bal.AllowJumps(std::isfinite(J) && std::isfinite(rsJ));
    const auto at = [&](double x) { return bal.Compute(x, x, J, rsJ); };
    const auto noRule = [](double) { return true; };
    const auto noFlip = [&](double v) {
      return !(flipA && FlipAActs(v, limit)) && !(flipB && FlipBActs(v, limit));
    };
    ws.stepFactor = k.stepInit;
    bal.EvaluateWithDrop(V, J, rsJ);
    if (ws.cycleCount != k.cycleLimit) {
      do {
        if (bal.lhs <= bal.rhs) {
          const double s = ws.stepFactor;
          bal.StartPhase();
          do {
            if (bal.JumpDue()) bal.SkipAhead(Phase::Rising, V, s, kPhaseStepCap, at, noRule);
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
            if (bal.JumpDue()) bal.SkipAhead(Phase::Falling, V, s, kPhaseStepCap, at, noFlip);
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
    Balance bal("CalcV2Net", ws, k);
    const double limit = k.flipLimit;
    const bool dark = ws.curJsc == 0;
    const double V1 = ws.V1, V3 = ws.V3, Jset = ws.curJset, V2start = ws.V2start, Rl2 = p.Rl2;
    const double leak3 = V3 / p.Rg3;  // through Rg3, out of the node between junctions 2 and 3
    // Junction 2's current with V2 = v: junction 3's plus the one through Rl2, less the one through Rg3.
    const auto netJ = [&](double v) { return (V1 + v) / Rl2 + Jset - leak3; };
    bal.AllowJumps(ws.curRs >= 0 && Rl2 > 0 && std::isfinite(Rl2) && std::isfinite(V1) &&
                   std::isfinite(Jset) && std::isfinite(leak3));
    const auto at = [&](double v) {
      const double Jv = netJ(v);
      return bal.Compute(v, v, Jv, bal.SeriesDrop(Jv));
    };
    const auto noFlip = [&](double v) { return !FlipAActs(v, limit) && !FlipBActs(v, limit); };
    const auto noRule = [](double) { return true; };
    const auto belowRunaway = [&](double v) { return !(v > kDivergeVoltage) && noFlip(v); };
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
            if (bal.JumpDue()) {
              n += dark ? bal.SkipAhead(Phase::Rising, V2, s, kNetPhaseCap - n, at, noFlip)
                        : bal.SkipAhead(Phase::Rising, V2, s, kLitRestartSteps - n, at, noRule);
            }
            bal.CountStep(V2);
            ++n;
            StepUp(V2, s);
            J = netJ(V2);
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
            if (bal.JumpDue()) n += bal.SkipAhead(Phase::Falling, V2, s, kNetPhaseCap - n, at, belowRunaway);
            bal.CountStep(V2);
            ++n;
            StepDown(V2, s);
            J = netJ(V2);
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
    Balance bal("CalcV1Net", ws, k);
    const double limit = k.flipLimit;
    const bool dark = ws.curJsc == 0;
    const double V2 = ws.V2, V3 = ws.V3, Jset = ws.curJset, V1start = ws.V1start, Rl1 = p.Rl1, Rl2 = p.Rl2;
    const double leak2 = (V3 + V2) / p.Rg2;  // through Rg2, out of the node between junctions 1 and 2
    const double leak3 = V3 / p.Rg3;
    // Junction 1's current with V1 = v: junction 2's plus the one through Rl1, less the one through Rg2.
    const auto netJ = [&](double v) { return v / Rl1 + Jset + (V2 + v) / Rl2 - leak2 - leak3; };
    bal.AllowJumps(ws.curRs >= 0 && Rl1 > 0 && std::isfinite(Rl1) && Rl2 > 0 && std::isfinite(Rl2) &&
                   std::isfinite(V2) && std::isfinite(Jset) && std::isfinite(leak2) && std::isfinite(leak3));
    const auto at = [&](double v) {
      const double Jv = netJ(v);
      return bal.Compute(v, v, Jv, bal.SeriesDrop(Jv));
    };
    const auto noFlip = [&](double v) { return !FlipAActs(v, limit) && !FlipBActs(v, limit); };
    const auto belowRunaway = [&](double v) { return !(v > kDivergeVoltage) && (!dark || noFlip(v)); };
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
            if (bal.JumpDue()) {
              n += bal.SkipAhead(Phase::Rising, V1, s, (dark ? kNetPhaseCap : kLitRestartSteps) - n, at,
                                 belowRunaway);
            }
            bal.CountStep(V1);
            ++n;
            StepUp(V1, s);
            J = netJ(V1);
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
            if (bal.JumpDue()) n += bal.SkipAhead(Phase::Falling, V1, s, kNetPhaseCap - n, at, noFlip);
            bal.CountStep(V1);
            ++n;
            StepDown(V1, s);
            J = netJ(V1);
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
  });
}

}  // namespace pelarin
