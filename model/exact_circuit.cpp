#include "model/exact_circuit.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <sstream>

#include "model/calc_error.h"
#include "model/number_text.h"

namespace pelarin::exact {
namespace {

constexpr double kEps = std::numeric_limits<double>::epsilon();
constexpr int kIterationCap = 400;

std::string Num(double x) { return GeneralText(x, 6); }

// A point that splits the bracket [lo, hi]: the arithmetic middle where the ends are of one size, the
// geometric one where they are orders of magnitude apart (an end at 0 counts as 1e-30 of the other), and 0
// where they lie on either side of it. Every halving of a wide bracket halves the logarithm of the ratio
// of its ends, so any bracket of doubles shrinks to neighbouring doubles in a few hundred halvings at most.
// Geometric splits alternate with arithmetic ones, so that a root near the larger end is found as fast.
double Middle(double lo, double hi, bool geometric) {
  if (lo < 0 && hi > 0) return 0;
  const double a = std::abs(lo), b = std::abs(hi);
  const double big = std::max(a, b), small = std::max(std::min(a, b), big * 1e-30);
  if (!geometric || big <= 16 * small) return lo + (hi - lo) / 2;
  const double middle = std::sqrt(small) * std::sqrt(big);
  return hi > 0 ? middle : -middle;
}

struct Slope {
  double value = 0, derivative = 0;
};

// The root of a decreasing function f in [lo, hi] (f(lo) >= 0 >= f(hi)), by Newton steps from start that
// stay inside the bracket, which every evaluation narrows; a step that leaves it, or that does not at least
// halve the step before last, is replaced by a halving of the bracket. Ends at the root to the last bits.
template <class F>
double SolveDecreasing(F&& f, double lo, double hi, double start, const char* what) {
  constexpr double kLargest = std::numeric_limits<double>::max();
  lo = std::max(lo, -kLargest);
  hi = std::min(hi, kLargest);
  double x = std::clamp(start, lo, hi);
  double stepBeforeLast = std::numeric_limits<double>::infinity(), lastStep = stepBeforeLast;
  int halvings = 0;
  for (int iteration = 0; iteration < kIterationCap; ++iteration) {
    const Slope s = f(x);
    if (std::isnan(s.value))
      throw CalcError(std::string(what) + ": the balance is not a number at " + Num(x));
    if (s.value == 0) return x;
    if (s.value > 0)
      lo = x;
    else
      hi = x;
    const double step = s.value / s.derivative;
    if (std::abs(step) <= 2 * kEps * std::abs(x)) return x - step;  // rounding decides the last bit
    double next = x - step;
    const bool inside = std::isfinite(next) && next > lo && next < hi;
    if (!inside || std::abs(next - x) > 0.5 * stepBeforeLast) next = Middle(lo, hi, ++halvings % 2 == 0);
    if (next <= lo || next >= hi) return x;  // the bracket holds neighbouring doubles
    stepBeforeLast = lastStep;
    lastStep = std::abs(next - x);
    x = next;
  }
  throw CalcError(std::string(what) + " did not converge");
}

using Junction = CircuitSolver::Junction;

}  // namespace

// The junction's current density at diode voltage Vd (the photocurrent less the two diodes and the parallel
// resistance), the conductance G = -dJ/dVd, and dG/dVd.
struct DiodeState {
  double J = 0, G = 0, dG = 0;
  double scale = 0;  // the largest of the terms J is made of: its rounding bounds J's precision
};

namespace {

// Whether a diode is there: a saturation current of 0 leaves the junction with one diode.
bool Present(double lnJsd) { return lnJsd > -std::numeric_limits<double>::infinity(); }

// Above this x = Vd / (m Vt), e^x is near the end of the doubles: the diode's terms come from e^(x + ln Jsd).
constexpr double kLargestPlainExponent = 700;

// One diode's current Jsd (e^x - 1) into D, and Jsd e^x / mVt and Jsd e^x / mVt^2 into G and dG. A current
// carried by its logarithm (Jsd 0 here: the cold took it below the doubles), or an e^x beyond them, is
// taken as e^(x + ln Jsd), a number wherever the diode's current is.
void AddDiode(double Jsd, double lnJsd, double mVt, double Vd, double& D, double& G, double& dG) {
  if (!Present(lnJsd)) return;
  const double x = Vd / mVt;
  if (Jsd != 0 && x < kLargestPlainExponent) {
    const double em1 = std::expm1(x);
    D += Jsd * em1;
    G += Jsd / mVt * (em1 + 1);
    dG += Jsd / (mVt * mVt) * (em1 + 1);
    return;
  }
  const double e = std::exp(x + lnJsd);
  D += e - Jsd;
  G += e / mVt;
  dG += e / (mVt * mVt);
}

DiodeState AtDiodeVoltage(const Junction& j, double Vd) {
  double D = 0, G = 1 / j.Rp, dG = 0;
  AddDiode(j.Jsd1, j.lnJsd1, j.mVt1, Vd, D, G, dG);
  AddDiode(j.Jsd2, j.lnJsd2, j.mVt2, Vd, D, G, dG);
  double shunt = Vd / j.Rp;
  if (j.Abd != 0) {
    // Reverse breakdown: the shunt current times 1 + Abd u^-nbd, u = 1 - Vd/Vbd; at and below Vbd the
    // junction carries any reverse current.
    const double u = 1 - Vd / j.Vbd;
    if (!(u > 0)) {
      const double inf = std::numeric_limits<double>::infinity();
      return {inf, inf, 0, inf};
    }
    const double power = std::pow(u, -j.nbd);
    const double dPower = j.nbd * power / (u * j.Vbd);  // d(u^-nbd)/dVd
    const double d2Power = j.nbd / (u * j.Vbd) * (dPower + power / (u * j.Vbd));
    G += (j.Abd * power + Vd * j.Abd * dPower) / j.Rp;
    dG += (2 * j.Abd * dPower + Vd * j.Abd * d2Power) / j.Rp;
    shunt = shunt * (1 + j.Abd * power);
  }
  return {j.Jsc - D - shunt, G, dG, std::max({j.Jsc, std::abs(D), std::abs(shunt)})};
}

// A diode voltage above which the junction's current is at most J (J <= Jsc): each of the parallel
// resistance and the two diodes alone would carry the difference there.
double DiodeVoltageBelowCurrent(const Junction& j, double J) {
  const double excess = j.Jsc - J;
  double bound = j.Rp * excess;
  // mVt ln(1 + excess / Jsd), from the logarithms where Jsd is carried by its own.
  const auto diode = [excess](double Jsd, double lnJsd, double mVt) {
    if (Jsd > 0) return mVt * std::log1p(excess / Jsd);
    const double L = std::log(excess) - lnJsd;
    return mVt * (L > 0 ? L + std::log1p(std::exp(-L)) : std::log1p(std::exp(L)));
  };
  if (Present(j.lnJsd1)) bound = std::min(bound, diode(j.Jsd1, j.lnJsd1, j.mVt1));
  if (Present(j.lnJsd2)) bound = std::min(bound, diode(j.Jsd2, j.lnJsd2, j.mVt2));
  return bound;
}

}  // namespace

// One junction solved at a current density or a voltage.
struct JunctionPoint {
  double Vd = 0, V = 0, J = 0, G = 0, dG = 0;
  double scale = 0;  // as DiodeState's
  double Jsc = 0;    // the photocurrent it was solved with (luminescent coupling included)
};

namespace {

// The junction's voltage at current density J; hint is a diode voltage to start from (NaN: none).
// A voltage beyond the range of doubles (a parallel resistance so large that the current through it
// needs more) comes back as an infinity: the searches take it as a side of their bracket, and the public
// functions refuse it.
JunctionPoint JunctionAtCurrent(const Junction& j, double J, double hint) {
  double lo = 0, hi = 0;
  if (J <= j.Jsc) {
    hi = DiodeVoltageBelowCurrent(j, J);
  } else {
    lo = -j.Rp * (J - j.Jsc);  // the diodes carry at most their saturation currents backwards
    // (breakdown makes the reverse current larger still, so the bound holds) and never below the
    // breakdown voltage, where no current is enough
    if (lo < j.floorVd) {
      lo = j.floorVd;
      if (AtDiodeVoltage(j, lo).J < J)
        throw CalcError("junction " + std::to_string(j.number) + " carries no reverse current of " + Num(J) +
                        " A/cm2 above its breakdown voltage " + Num(j.Vbd) + " V");
    }
  }
  if (!std::isfinite(lo) || !std::isfinite(hi)) {
    const double beyond = std::isfinite(lo) ? hi : lo;
    return {beyond, beyond, J, 1 / j.Rp, 0, std::abs(J), j.Jsc};
  }
  const double start = hint > lo && hint < hi ? hint : hi;
  // The conductance at the root is that of the last evaluation, which lies within rounding of it.
  DiodeState last = lo == hi ? AtDiodeVoltage(j, lo) : DiodeState{};
  const double Vd = lo == hi ? lo
                             : SolveDecreasing(
                                   [&](double x) {
                                     last = AtDiodeVoltage(j, x);
                                     return Slope{last.J - J, -last.G};
                                   },
                                   lo, hi, start, "the junction voltage search");
  return {Vd, Vd - j.Rs * J, J, last.G, last.dG, last.scale, j.Jsc};
}

// The junction's current density at terminal voltage V; hint as above.
JunctionPoint JunctionAtVoltage(const Junction& j, double V, double hint, int number) {
  // The diode voltage lies between min(V, 0) and max(V, open circuit); without a start inside, the current
  // at V tells which side of V it lies on.
  double lo = std::min(V, 0.0), hi = std::max(V, j.openBound);
  if (!(hint > lo && hint < hi)) {
    const double atV = AtDiodeVoltage(j, V).J;
    if (std::isnan(atV))
      throw CalcError("junction " + std::to_string(number) + ": no current at " + Num(V) + " V");
    if (atV >= 0)
      lo = V;  // a generator current: the series resistance raises the diode voltage above V
    else
      hi = V;  // forward current: the diode voltage lies between 0 (where J = Jsc >= 0) and V
  }
  // With breakdown the diode voltage stays above the breakdown voltage, however far below it V lies: the
  // series resistance takes the rest.
  lo = std::max(lo, j.floorVd);
  if (hi < lo)
    throw CalcError("junction " + std::to_string(number) + " has no current at " + Num(V) +
                    " V above its breakdown voltage " + Num(j.Vbd) + " V");
  const double start = hint > lo && hint < hi ? hint : hi;
  DiodeState last = lo == hi ? AtDiodeVoltage(j, lo) : DiodeState{};
  double lastX = lo;
  const double Vd = lo == hi ? lo
                             : SolveDecreasing(
                                   [&](double x) {
                                     last = AtDiodeVoltage(j, x);
                                     lastX = x;
                                     return Slope{last.J - (x - V) / j.Rs, -last.G - 1 / j.Rs};
                                   },
                                   lo, hi, start, "the junction current search");
  // The last evaluation lies within rounding of the root: its current moved along the tangent.
  double J = Vd == lastX ? last.J : last.J - last.G * (Vd - lastX);
  if (!std::isfinite(J)) J = (Vd - V) / j.Rs;  // an overflowing diode: the series resistance's current
  return {Vd, V, J, last.G, last.dG, last.scale, j.Jsc};
}

// The share beta of a junction's radiative current (its first diode's) at diode voltage Vd that the junction
// below absorbs, and its slope in Vd: luminescent coupling in the stack and in the network alike.
struct Emission {
  double current = 0, slope = 0;
};
Emission EmissionOf(const Junction& j, double beta, double Vd) {
  const double x = Vd / j.mVt1;
  Emission e{beta * j.Jsd1 * std::expm1(x), beta * j.Jsd1 / j.mVt1 * std::exp(x)};
  if (j.Jsd1 == 0 || x >= kLargestPlainExponent) {
    const double exponential = std::exp(x + j.lnJsd1);
    e = {beta * (exponential - j.Jsd1), beta * exponential / j.mVt1};
  }
  if (!std::isfinite(e.current) || !std::isfinite(e.slope))
    throw CalcError("junction " + std::to_string(j.number) + "'s radiative current at its diode voltage " +
                    Num(Vd) + " V overflows: the luminescent coupling into junction " +
                    std::to_string(j.number - 1) + " has no finite photocurrent");
  return e;
}

// dJ/dV of a junction at its terminals, from its diode conductance.
double TerminalSlope(const Junction& j, double G) { return -G / (1 + j.Rs * G); }

// The partial derivatives of the junction's current at fixed diode voltage Vd with respect to its seven
// parameters (Rs, Rp, Jsc, Jsd1, Jsd2, m1, m2); Rs does not enter at fixed Vd.
std::array<double, 7> CurrentPartials(const Junction& j, double Vd, bool lit) {
  std::array<double, 7> d{};
  d[1] = Vd / (j.Rp * j.Rp);
  d[2] = lit ? 1 : 0;
  const double x1 = Vd / j.mVt1, x2 = Vd / j.mVt2;
  d[3] = -std::expm1(x1);
  d[4] = -std::expm1(x2);
  d[5] = j.Jsd1 == 0 ? 0 : j.Jsd1 * std::exp(x1) * x1 / j.m1;
  d[6] = j.Jsd2 == 0 ? 0 : j.Jsd2 * std::exp(x2) * x2 / j.m2;
  return d;
}

// The root of a function f in [a, b] where f(a) > 0 >= f(b), by false position with the Illinois
// halving, which keeps the bracket and converges superlinearly; bisection when a step would leave it.
template <class F>
double SolveSignChange(F&& f, double a, double fa, double b, double fb) {
  int side = 0;
  for (int iteration = 0; iteration < kIterationCap; ++iteration) {
    double c = a - fa * (b - a) / (fb - fa);
    if (!(c > a && c < b)) c = Middle(a, b, false);
    if (c <= a || c >= b) break;
    const double fc = f(c);
    if (std::isnan(fc)) throw CalcError("the maximum power search met a value that is not a number");
    if (fc == 0) return c;
    if (fc < 0) {
      b = c;
      fb = fc;
      if (side == -1) fa /= 2;
      side = -1;
    } else {
      a = c;
      fa = fc;
      if (side == 1) fb /= 2;
      side = 1;
    }
    if (b - a <= 1e-13 * std::max(std::abs(a), std::abs(b))) break;
  }
  return fa < -fb ? a : b;
}

// How the power rises along J at one current density: -g = -(J + V / V'), of the sign of dP/dJ, and its
// derivative in J.
struct PowerSample {
  double J = 0, rise = 0, derivative = 0;
  double P = 0;  // the power there
};

// Where the cubic through the rises and their slopes at a and b turns inside (a, b) to the other side of
// zero from the rise at a: the rise may cross zero there and back between the samples. None when not.
std::optional<double> TurnAcrossZero(const PowerSample& a, const PowerSample& b) {
  const double h = b.J - a.J;
  // rise(a + t h) ~ c0 + c1 t + c2 t^2 + c3 t^3 on 0 <= t <= 1.
  const double c0 = a.rise, c1 = h * a.derivative;
  const double c2 = 3 * (b.rise - a.rise) - h * (2 * a.derivative + b.derivative);
  const double c3 = 2 * (a.rise - b.rise) + h * (a.derivative + b.derivative);
  // Its turns, the roots of c1 + 2 c2 t + 3 c3 t^2.
  std::array<double, 2> turns{-1, -1};
  if (c3 == 0) {
    if (c2 != 0) turns[0] = -c1 / (2 * c2);
  } else {
    const double discriminant = c2 * c2 - 3 * c3 * c1;
    if (discriminant >= 0) {
      const double root = std::sqrt(discriminant);
      turns = {(-c2 - root) / (3 * c3), (-c2 + root) / (3 * c3)};
      if (turns[1] < turns[0]) std::swap(turns[0], turns[1]);
    }
  }
  for (const double t : turns) {
    if (!(t > 0 && t < 1)) continue;
    const double value = c0 + t * (c1 + t * (c2 + t * c3));
    if ((value > 0) != (a.rise > 0)) return a.J + t * h;
  }
  return std::nullopt;
}

FiguresOfMerit WithPower(FiguresOfMerit f, double Vmp, double Jmp, double incidentPower) {
  f.Vmp = Vmp;
  f.Jmp = Jmp;
  f.Pmax = Vmp * Jmp;
  f.FF = *f.Pmax / (*f.Voc * *f.Jsc);
  if (incidentPower > 0) f.efficiency = *f.Pmax * 1000 / incidentPower * 100;
  return f;
}

constexpr double kNoHint = std::numeric_limits<double>::quiet_NaN();

}  // namespace

std::string Circuit::Describe() const {
  if (alone != 0) return "junction " + std::to_string(alone) + " alone";
  std::string text = "the stack";
  std::string litList;
  for (int k = 0; k < 3; ++k)
    if (lit[static_cast<std::size_t>(k)]) litList += " " + std::to_string(k + 1);
  text += litList.empty() ? " in the dark" : ", junctions" + litList + " lit";
  if (coupled) text += ", with Rl + Rg";
  return text;
}

CircuitSolver::CircuitSolver(const Parameters& par, double Vt, const Circuit& circuit)
    : circuit_(circuit), par_(par), Vt_(Vt) {
  if (circuit.alone < 0 || circuit.alone > 3 || (circuit.alone != 0 && circuit.coupled))
    throw CalcError("no such circuit: " + circuit.Describe());
  if (!(Vt > 0) || !std::isfinite(Vt)) throw CalcError("the thermal voltage must be a positive number");
  for (int i = 0; i < kCellParameterCount; ++i) {
    const ParameterRow& row = kParameterRows[static_cast<std::size_t>(i)];
    const double value = par.*row.member;
    const bool positive = row.rule != ReadRule::Photocurrent && row.rule != ReadRule::SaturationCurrent;
    if (!std::isfinite(value) || (positive ? !(value > 0) : !(value >= 0)))
      throw CalcError(std::string(row.name) + " = " + Num(value) + " cannot be solved: it must be a finite " +
                      (positive ? "positive" : "non-negative") + " number");
  }
  // Rows 7(k-1) to 7(k-1)+6 of the parameter table are junction k's Rs, Rp, Jsc, Jsd1, Jsd2, m1, m2.
  for (std::size_t k = 0; k < 3; ++k) {
    std::array<double, 7> v{};
    for (std::size_t i = 0; i < 7; ++i) v[i] = par.*kParameterRows[7 * k + i].member;
    Junction& j = junctions_[k];
    j = {v[0], v[1], circuit.lit[k] ? v[2] : 0, v[3], v[4], v[5], v[6], v[5] * Vt, v[6] * Vt};
    // A saturation current carried by its logarithm is worked with by it alone.
    const double log1 = par.logJsd[2 * k], log2 = par.logJsd[2 * k + 1];
    j.lnJsd1 = std::isnan(log1) ? std::log(j.Jsd1) : log1;
    j.lnJsd2 = std::isnan(log2) ? std::log(j.Jsd2) : log2;
    if (!std::isnan(log1)) j.Jsd1 = 0;
    if (!std::isnan(log2)) j.Jsd2 = 0;
    inLogs_ = inLogs_ || !std::isnan(log1) || !std::isnan(log2);
    j.openBound = DiodeVoltageBelowCurrent(j, 0);
    j.number = static_cast<int>(k) + 1;
  }
  const auto check = [](const char* name, double value, bool ok, const char* range) {
    if (!std::isfinite(value) || !ok)
      throw CalcError(std::string(name) + " = " + Num(value) + " cannot be solved: it must be " + range);
  };
  const std::array<double, 3> Abd{par.Abd1, par.Abd2, par.Abd3}, Vbd{par.Vbd1, par.Vbd2, par.Vbd3},
      nbd{par.nbd1, par.nbd2, par.nbd3};
  for (std::size_t k = 0; k < 3; ++k) {
    const std::string n = std::to_string(k + 1);
    check(("Abd" + n).c_str(), Abd[k], Abd[k] >= 0, "0 or above");
    check(("Vbd" + n).c_str(), Vbd[k], Vbd[k] < 0, "below 0");
    check(("nbd" + n).c_str(), nbd[k], nbd[k] > 0, "above 0");
    Junction& j = junctions_[k];
    j.Abd = Abd[k], j.Vbd = Vbd[k], j.nbd = nbd[k];
    if (j.Abd != 0) {
      // Just above Vbd, where u^-nbd is at most 1e250 / max(Abd, 1): the breakdown current stays a number.
      const double u = std::max(1e-14, std::pow(std::max(j.Abd, 1.0) * 1e-250, 1 / j.nbd));
      j.floorVd = j.Vbd * (1 - u);
    }
  }
  check("beta2", par.beta2, par.beta2 >= 0 && par.beta2 <= 1, "from 0 to 1");
  check("beta3", par.beta3, par.beta3 >= 0 && par.beta3 <= 1, "from 0 to 1");
  beta_ = {0, par.beta2, par.beta3};
  if (circuit.alone != 0) first_ = last_ = circuit.alone - 1;
  // A junction alone has no junction below it to light.
  luminescent_ = circuit.alone == 0 && (par.beta2 != 0 || par.beta3 != 0);
  for (int k = first_; k <= last_; ++k)
    breakdown_ = breakdown_ || junctions_[static_cast<std::size_t>(k)].Abd != 0;
  physics_ = luminescent_ || breakdown_;
  Rl1_ = par.Rl1;
  Rl2_ = par.Rl2;
  Rg1_ = par.Rg1;
  Rg2_ = par.Rg2;
  Rg3_ = par.Rg3;
}

// ---- The series stack (or one junction): every junction carries the terminal current. ----

// The stack's voltage at current density J with its first two derivatives, each junction's solve starting
// from its diode voltage of the previous call.
struct SeriesState {
  double V = 0, dV = 0, d2V = 0;
  std::array<double, 3> junctionV{};
  // Each junction's last solution, from which the next solve starts along the tangent.
  std::array<JunctionPoint, 3> last{};
  std::array<bool, 3> haveLast{};
  std::array<double, 3> lastdVd{};  // d(diode voltage)/dJ there, the coupled photocurrent's change included
};

void CircuitSolver::JunctionsAtCurrent(double J, const std::array<double, 3>& hints,
                                       std::array<JunctionPoint, 3>& points, std::array<double, 3>& dVd,
                                       std::array<double, 3>& d2Vd) const {
  // From the top junction down: each one below gains its share of the radiative current of the one above at
  // the diode voltage just found, and with it the way that share moves with J. A junction's balance
  // Jph(J) - F(Vd) = J gives dVd/dJ = (Jph' - 1)/G and d2Vd/dJ2 = (Jph'' - dG (dVd/dJ)^2)/G.
  double coupled = 0, dCoupled = 0, d2Coupled = 0;
  for (int k = last_; k >= first_; --k) {
    const auto index = static_cast<std::size_t>(k);
    Junction j = junctions_[index];
    j.Jsc += coupled;
    points[index] = JunctionAtCurrent(j, J, hints[index]);
    const JunctionPoint& p = points[index];
    if (luminescent_) {
      dVd[index] = (dCoupled - 1) / p.G;
      d2Vd[index] = (d2Coupled - p.dG * dVd[index] * dVd[index]) / p.G;
    } else {
      dVd[index] = -1 / p.G;
      d2Vd[index] = -p.dG / (p.G * p.G * p.G);
    }
    coupled = dCoupled = d2Coupled = 0;
    if (luminescent_ && k > first_ && beta_[index] != 0 && Present(j.lnJsd1)) {
      const Emission e = EmissionOf(j, beta_[index], p.Vd);
      coupled = e.current;
      dCoupled = e.slope * dVd[index];
      d2Coupled = e.slope / j.mVt1 * dVd[index] * dVd[index] + e.slope * d2Vd[index];
    }
  }
}

OperatingPoint CircuitSolver::SeriesVoltageAt(double J) const {
  OperatingPoint point{.V = 0, .J = J};
  std::array<JunctionPoint, 3> points{};
  std::array<double, 3> dVd{}, d2Vd{};
  JunctionsAtCurrent(J, {kNoHint, kNoHint, kNoHint}, points, dVd, d2Vd);
  double dV = 0;
  for (int k = first_; k <= last_; ++k) {
    const auto index = static_cast<std::size_t>(k);
    point.V += points[index].V;
    point.junctionV[index] = points[index].V;
    dV += dVd[index] - junctions_[index].Rs;
  }
  point.dJdV = 1 / dV;
  if (!std::isfinite(point.V))
    throw CalcError(circuit_.Describe() + " has no finite voltage at J = " + Num(J) + " A/cm2");
  return point;
}

void CircuitSolver::SeriesAt(double J, SeriesState& s) const {
  s.V = s.dV = s.d2V = 0;
  std::array<double, 3> hints{kNoHint, kNoHint, kNoHint};
  for (int k = first_; k <= last_; ++k) {
    const auto index = static_cast<std::size_t>(k);
    const JunctionPoint& before = s.last[index];
    if (s.haveLast[index])
      hints[index] = luminescent_ ? before.Vd + s.lastdVd[index] * (J - before.J)
                                  : before.Vd - (J - before.J) / before.G;
  }
  std::array<double, 3> dVd{}, d2Vd{};
  JunctionsAtCurrent(J, hints, s.last, dVd, d2Vd);
  s.lastdVd = dVd;
  for (int k = first_; k <= last_; ++k) {
    const auto index = static_cast<std::size_t>(k);
    const JunctionPoint& p = s.last[index];
    s.haveLast[index] = true;
    s.junctionV[index] = p.V;
    s.V += p.V;
    s.dV += dVd[index] - junctions_[index].Rs;
    s.d2V += d2Vd[index];
  }
}

namespace {

// The current density whose rounding bounds the stack's current at its last solve. Each junction's
// voltage at a current is found to the rounding of its balance (a few 1e-16 of its largest term, scale)
// over its conductance G; the stack's current, to the sum of those over the stack's slope |dV/dJ|. So a
// junction whose terms cancel weighs only by its share of that slope: a lit junction near its open circuit
// beside a dark one in reverse, whose large parallel resistance sets the current, leaves the current
// resolved, however large the lit junction's terms.
double RoundingScale(const SeriesState& s) {
  double voltage = 0, largest = 0;
  for (std::size_t k = 0; k < 3; ++k) {
    if (!s.haveLast[k]) continue;
    const JunctionPoint& p = s.last[k];
    largest = std::max(largest, p.scale);
    voltage += p.G > 0 && std::isfinite(p.G) ? p.scale / p.G : p.scale * std::abs(s.lastdVd[k]);
  }
  const double slope = std::abs(s.dV);
  return slope > 0 && std::isfinite(slope) && std::isfinite(voltage) ? std::min(largest, voltage / slope)
                                                                     : largest;
}

// Whether a root found in [lo, hi] lies on one of its ends, to rounding.
bool AtBracketEnd(double x, double lo, double hi) {
  return x <= lo + 4 * kEps * std::abs(lo) || x >= hi - 4 * kEps * std::abs(hi);
}

}  // namespace

// A walk along a curve of the series stack: each solve starts from the last point's solution.
struct CircuitSolver::SeriesWalk {
  SeriesState s;                         // the junctions at the last point
  std::array<JunctionPoint, 3> third{};  // each junction at a third of the last voltage, for the bracket
  bool started = false;
  double V = 0, J = 0, dVdJ = 0;
};

OperatingPoint CircuitSolver::SeriesCurrentAt(double V) const {
  SeriesWalk walk;
  return SeriesCurrentAt(V, walk);
}

OperatingPoint CircuitSolver::SeriesCurrentAt(double V, SeriesWalk& walk) const {
  SeriesState& s = walk.s;
  // A junction's diode voltage at terminal voltage v, from where it stood at the last one.
  const auto hintAt = [&](const JunctionPoint& p, std::size_t k, double v, double was) {
    return walk.started ? p.Vd + (v - was) / (1 + junctions_[k].Rs * p.G) : kNoHint;
  };
  if (first_ == last_) {
    const auto k = static_cast<std::size_t>(first_);
    const Junction& j = junctions_[k];
    const JunctionPoint p = JunctionAtVoltage(j, V, hintAt(s.last[k], k, V, walk.V), first_ + 1);
    s.last[k] = p;
    walk.started = true;
    walk.V = V;
    // At a terminal voltage the series resistance damps the balance's rounding by 1 + Rs G.
    const double damping = 1 + j.Rs * p.G;
    OperatingPoint point{
        .V = V,
        .J = p.J,
        .currentScale = damping >= 1 && std::isfinite(damping) ? p.scale / damping : p.scale};
    point.junctionV[k] = V;
    point.dJdV = TerminalSlope(j, p.G);
    return point;
  }
  // Where every junction takes a third of V, the one carrying the least current bounds the stack's current
  // from below (the others then take more than a third) and the one carrying the most from above.
  double lo = std::numeric_limits<double>::infinity(), hi = -lo;
  for (int k = first_; k <= last_; ++k) {
    const auto index = static_cast<std::size_t>(k);
    const double hint = hintAt(walk.third[index], index, V / 3, walk.V / 3);
    walk.third[index] = JunctionAtVoltage(junctions_[index], V / 3, hint, k + 1);
    lo = std::min(lo, walk.third[index].J);
    hi = std::max(hi, walk.third[index].J);
  }
  // Newton from the last point moved along its tangent, or from the lower bound.
  const double predicted = walk.started ? walk.J + (V - walk.V) / walk.dVdJ : lo;
  const auto search = [&] {
    return lo == hi
               ? lo
               : SolveDecreasing(
                     [&](double x) {
                       SeriesAt(x, s);
                       return Slope{s.V - V, s.dV};
                     },
                     lo, hi, predicted > lo && predicted < hi ? predicted : lo, "the stack's current search");
  };
  double J = search();
  // Luminescent coupling can carry the current past the junctions' own bounds: a root found at an end of
  // the bracket is looked for again in a widened one.
  if (luminescent_ && AtBracketEnd(J, lo, hi)) {
    WidenSeriesBracket(V, lo, hi, s);
    J = search();
  }
  SeriesAt(J, s);
  if (!std::isfinite(s.V))
    throw CalcError(circuit_.Describe() + " has no finite current at V = " + Num(V) + " V");
  walk.started = true;
  walk.V = V, walk.J = J, walk.dVdJ = s.dV;
  return {.V = V, .J = J, .junctionV = s.junctionV, .dJdV = 1 / s.dV, .currentScale = RoundingScale(s)};
}

void CircuitSolver::WidenSeriesBracket(double V, double& lo, double& hi, SeriesState& s) const {
  const auto above = [&](double J) {
    SeriesAt(J, s);
    return s.V - V;
  };
  constexpr int kWidenings = 2000;
  for (int i = 0; above(lo) < 0; ++i) {
    if (i == kWidenings)
      throw CalcError(circuit_.Describe() + " reaches no voltage of " + Num(V) + " V at any current");
    lo -= std::max({hi - lo, std::abs(lo), 1e-12});
  }
  for (int i = 0; above(hi) > 0; ++i) {
    if (i == kWidenings)
      throw CalcError(circuit_.Describe() + " reaches no voltage of " + Num(V) + " V at any current");
    hi += std::max({hi - lo, std::abs(hi), 1e-12});
  }
}

void CircuitSolver::CheckResolved(double J, double currentScale, const char* figure) const {
  if (std::abs(J) * 1e9 < currentScale)
    throw CalcError(circuit_.Describe() + ": its " + figure + " of " + Num(J) +
                    " A/cm2 is lost in the rounding of the currents of " + Num(currentScale) +
                    " A/cm2 that cancel there");
}

double CircuitSolver::SeriesShortCircuit(double& currentScale, SeriesState& s) const {
  if (first_ == last_) {
    const OperatingPoint point = SeriesCurrentAt(0);
    currentScale = point.currentScale;
    return point.J;
  }
  // At 0 V the stack's current lies between 0 (where it stands at open circuit) and the largest
  // photocurrent (where every junction is reverse biased); Newton starts from the smallest lit photocurrent,
  // near which the limiting junction turns.
  double largest = 0, smallest = std::numeric_limits<double>::infinity();
  for (int k = first_; k <= last_; ++k) {
    const double Jsc = junctions_[static_cast<std::size_t>(k)].Jsc;
    largest = std::max(largest, Jsc);
    if (Jsc > 0) smallest = std::min(smallest, Jsc);
  }
  if (largest == 0) return 0;
  // With luminescent coupling a junction below may carry more than its own photocurrent.
  double lo = 0, hi = largest;
  double start = smallest < largest ? smallest : largest / 2;
  if (luminescent_) {
    // The limiting junction turns near the smallest photocurrent, coupled ones included: taken where the
    // junctions stand at the uncoupled start.
    SeriesAt(start, s);
    double least = std::numeric_limits<double>::infinity();
    for (int k = first_; k <= last_; ++k) {
      const double Jsc = s.last[static_cast<std::size_t>(k)].Jsc;
      if (Jsc > 0) least = std::min(least, Jsc);
    }
    if (std::isfinite(least)) start = least;
  }
  const auto search = [&] {
    return SolveDecreasing(
        [&](double x) {
          SeriesAt(x, s);
          return Slope{s.V, s.dV};
        },
        lo, hi, std::clamp(start, lo, hi), "the stack's short-circuit current search");
  };
  double J = search();
  if (luminescent_ && AtBracketEnd(J, lo, hi)) {  // as in SeriesCurrentAt
    WidenSeriesBracket(0, lo, hi, s);
    J = search();
  }
  currentScale = RoundingScale(s);
  return J;
}

FiguresOfMerit CircuitSolver::SeriesFigures(double incidentPower) const {
  FiguresOfMerit f;
  f.incidentPower = incidentPower;
  f.Voc = SeriesVoltageAt(0).V;
  double scale = 0;
  SeriesState atShortCircuit;
  f.Jsc = SeriesShortCircuit(scale, atShortCircuit);
  CheckResolved(*f.Jsc, scale, "short-circuit current");
  if (!(*f.Voc > 0 && *f.Jsc > 0)) return f;
  // The maximum of V J(V) lies where J + V J'(V) = 0, that is where g(J) = J + V(J) / V'(J) = 0: g is
  // the power's slope in V written along J, so it needs no solve for the current, and it stays smooth
  // where V(J) bends sharply (a junction's photocurrent running out, its parallel resistance taking over):
  // there V / V' is small against J. g rises from -V / |V'| at open circuit to Jsc at short circuit.
  SeriesState s;
  const auto slope = [&](double J) {
    SeriesAt(J, s);
    return Slope{-(J + s.V / s.dV), -(2 - s.V * s.d2V / (s.dV * s.dV))};
  };
  // Each diode voltage falls as J rises: a junction that breaks down is reverse biased somewhere on the
  // curve only if it is at short circuit. Its diode voltage crosses 0 where J equals its photocurrent; with
  // luminescent coupling that photocurrent moves with J, so the crossing is solved for.
  double bestP = -1, bestJ = 0, bestV = 0, bestScale = 0;
  const auto sampleAt = [&](double J) {
    const Slope rise = slope(J);
    if (J * s.V > bestP) bestP = J * s.V, bestJ = J, bestV = s.V, bestScale = RoundingScale(s);
    return PowerSample{J, rise.value, rise.derivative, J * s.V};
  };
  std::vector<double> knees;
  PowerSample atJsc{};
  if (breakdown_) {
    s = atShortCircuit;
    atJsc = sampleAt(*f.Jsc);
    std::vector<std::size_t> reversed;
    for (int k = first_; k <= last_; ++k) {
      const auto index = static_cast<std::size_t>(k);
      if (junctions_[index].Abd != 0 && s.last[index].Vd < 0) reversed.push_back(index);
    }
    for (const std::size_t index : reversed)
      knees.push_back(!luminescent_ ? std::clamp(junctions_[index].Jsc, 0.0, *f.Jsc)
                                    : SolveDecreasing(
                                          [&](double J) {
                                            SeriesAt(J, s);
                                            return Slope{s.last[index].Vd, s.lastdVd[index]};
                                          },
                                          0, *f.Jsc, junctions_[index].Jsc, "the breakdown knee search"));
  }
  if (knees.empty()) {
    const double Jmp = SolveDecreasing(slope, 0, *f.Jsc, 0.9 * *f.Jsc, "the maximum power search");
    SeriesAt(Jmp, s);
    CheckResolved(Jmp, RoundingScale(s), "current at maximum power");
    return WithPower(f, s.V, Jmp, incidentPower);
  }
  // A reverse-biased junction in breakdown clamps its voltage, as a bypass diode does: the curve steps down
  // where its photocurrent runs out, and the power can have a maximum on each side of the step. Below the
  // first step every junction is forward and V(J) concave: one maximum, found as without breakdown. Past
  // a step the breaking junction's voltage is convex in J (its breakdown current grows ever faster towards
  // Vbd), so the power's rise is sampled there with its slope, a stretch whose cubic through them turns
  // across zero is split where it turns, and each fall of the rise through zero is refined. The largest
  // power is kept.
  std::sort(knees.begin(), knees.end());
  const auto refine = [&](const PowerSample& a, const PowerSample& b) {
    const double start = a.J + a.rise / (a.rise - b.rise) * (b.J - a.J);
    (void)sampleAt(SolveDecreasing(slope, a.J, b.J, start, "the maximum power search"));
  };
  const auto stretch = [&](auto& self, const PowerSample& a, const PowerSample& b, int splits) -> void {
    if (a.rise > 0 && b.rise <= 0) return refine(a, b);
    if (splits == 0) return;
    std::optional<double> turn = TurnAcrossZero(a, b);
    // A power that ends higher though it falls at both ends (or lower though it rises at both) turns twice
    // in between, whatever the cubic says.
    if (!turn && (a.rise > 0) == (b.rise > 0) && (b.P > a.P) != (a.rise > 0)) turn = a.J + (b.J - a.J) / 2;
    if (!turn) return;
    const PowerSample m = sampleAt(*turn);
    self(self, a, m, splits - 1);
    self(self, m, b, splits - 1);
  };
  constexpr int kSamples = 3, kSplits = 3;
  // Samples the stretch from `from` to `to` (which has been sampled already when given).
  const auto sampled = [&](PowerSample from, double to, const PowerSample* atTo) {
    if (!(to > from.J)) return from;
    for (int n = 1; n <= kSamples; ++n) {
      const PowerSample next =
          n == kSamples && atTo ? *atTo : sampleAt(from.J + (to - from.J) * n / kSamples);
      stretch(stretch, from, next, kSplits);
      from = next;
    }
    return from;
  };
  knees.push_back(*f.Jsc);
  PowerSample last = knees.front() > 0 ? sampleAt(knees.front()) : sampleAt(0);
  if (knees.front() > 0) {
    // The power rises at J = 0 (-g = -V / V' > 0) and falls at the knee: Newton as without breakdown.
    // Where it still rises at the knee, the breakdown's own shunt current (concave in a forward voltage
    // below 2 |Vbd| / (nbd - 1)) may have bent it down and up again on the way: sampled as past a knee.
    if (last.rise <= 0) {
      (void)sampleAt(SolveDecreasing(slope, 0, last.J, 0.9 * last.J, "the maximum power search"));
    } else {
      const PowerSample knee = last;
      last = sampled(sampleAt(0), knee.J, &knee);
    }
  }
  for (std::size_t i = 1; i < knees.size(); ++i)
    last = sampled(last, knees[i], i + 1 == knees.size() ? &atJsc : nullptr);
  if (bestP <= 0) return f;
  CheckResolved(bestJ, bestScale, "current at maximum power");
  return WithPower(f, bestV, bestJ, incidentPower);
}

// ---- The stack inside the coupling network. ----
// Node potentials with the outer terminal of junction 3 as reference: A = V3, B = V2 + V3, and V at the
// outer terminal of junction 1. Each junction is a monotone element, so the node equations are the gradient
// of a strictly convex function of (A, B) (the network's co-content): Newton's direction always descends
// it, and a step is halved until the directional derivative has not grown past most of its start, which
// makes the iteration converge from any start.

struct CircuitSolver::NetworkSolution {
  double V = 0, A = 0, B = 0;
  std::array<JunctionPoint, 3> junction{};  // index 0..2: junctions 1..3
  std::array<double, 3> c{};                // -dJ/dV of each junction at its terminals
  double kclA = 0, kclB = 0;                // current densities left over at nodes A and B
  double h11 = 0, h12 = 0, h22 = 0, det = 0;
  // With luminescent coupling the node equations' Jacobian (-M) is no longer symmetric: h21 is its lower
  // left entry (h12 without coupling), and tA, tB the terminal current's partial derivatives in A and B.
  double h21 = 0, tA = 0, tB = 0;
  double Jterm = 0, dJdV = 0;
  double dAdV = 0, dBdV = 0;  // how the nodes move with V
  double currentScale = 0;    // as OperatingPoint's
};

CircuitSolver::NetworkSolution CircuitSolver::SolveNetwork(double V, const std::array<double, 2>* start,
                                                           const NetworkSolution* near) const {
  NetworkSolution n;
  n.V = V;
  // Each junction's solve starts from its diode voltage in the last evaluation, or in a nearby solution
  // moved along the junction's tangent to the start's terminal voltage.
  std::array<double, 3> hints{kNoHint, kNoHint, kNoHint};
  if (near && start) {
    const double v[3] = {V - (*start)[1], (*start)[1] - (*start)[0], (*start)[0]};
    const double was[3] = {near->V - near->B, near->B - near->A, near->A};
    for (std::size_t k = 0; k < 3; ++k)
      hints[k] = near->junction[k].Vd + (v[k] - was[k]) / (1 + junctions_[k].Rs * near->junction[k].G);
  }
  const auto evaluate = [&](NetworkSolution& s, double A, double B) {
    s.V = V;
    s.A = A;
    s.B = B;
    const double v[3] = {V - B, B - A, A};
    const double ra = 1 / Rl2_ + 1 / Rg3_, rb = 1 / Rl1_ + 1 / Rg2_;
    if (!luminescent_) {
      for (std::size_t k = 0; k < 3; ++k) {
        s.junction[k] = JunctionAtVoltage(junctions_[k], v[k], hints[k], static_cast<int>(k) + 1);
        hints[k] = s.junction[k].Vd;
        s.c[k] = -TerminalSlope(junctions_[k], s.junction[k].G);
      }
      s.h11 = s.c[2] + s.c[1] + ra;
      s.h12 = -s.c[1];
      s.h22 = s.c[1] + s.c[0] + rb;
      s.det = s.c[1] * (s.c[2] + ra + s.c[0] + rb) + (s.c[2] + ra) * (s.c[0] + rb);
      s.h21 = s.h12;
      s.tA = 1 / Rl2_;
      s.tB = s.c[0] + 1 / Rl1_;
    } else {
      // Top first: each junction below gains its share of the radiative current of the one above. share:
      // dJ/dJsc and dVd/dv of a junction at its terminals; rho: d(coupled photocurrent)/dVd of the one above.
      double coupled = 0;
      std::array<double, 3> share{}, rho{};
      for (int k = 2; k >= 0; --k) {
        const auto index = static_cast<std::size_t>(k);
        Junction j = junctions_[index];
        if (coupled != 0) {
          j.Jsc += coupled;
          if (coupled > 0) j.openBound = DiodeVoltageBelowCurrent(j, 0);
        }
        s.junction[index] = JunctionAtVoltage(j, v[index], hints[index], k + 1);
        const JunctionPoint& p = s.junction[index];
        hints[index] = p.Vd;
        s.c[index] = -TerminalSlope(j, p.G);
        share[index] = 1 / (1 + j.Rs * p.G);
        coupled = 0;
        if (k > 0 && beta_[index] != 0 && Present(j.lnJsd1)) {
          const Emission e = EmissionOf(j, beta_[index], p.Vd);
          coupled = e.current;
          rho[index] = e.slope;
        }
      }
      const double dJ2dA = s.c[1] + share[1] * rho[2] * share[2];
      const double dVd2dA = -share[1] + junctions_[1].Rs * share[1] * rho[2] * share[2];
      const double dJ1dA = share[0] * rho[1] * dVd2dA;
      const double dJ1dB = s.c[0] + share[0] * rho[1] * share[1];
      s.h11 = s.c[2] + ra + dJ2dA;
      s.h12 = -s.c[1];
      s.h21 = dJ1dA - dJ2dA;
      s.h22 = s.c[1] + rb + dJ1dB;
      s.det = s.h11 * s.h22 - s.h12 * s.h21;
      s.tA = dJ1dA + 1 / Rl2_;
      s.tB = dJ1dB + 1 / Rl1_;
    }
    s.kclA = s.junction[2].J + (V - A) / Rl2_ - s.junction[1].J - A / Rg3_;
    s.kclB = s.junction[1].J + (V - B) / Rl1_ - s.junction[0].J - B / Rg2_;
  };
  double A = 0, B = 0;
  if (start) {
    A = (*start)[0];
    B = (*start)[1];
  } else {
    const OperatingPoint series = SeriesCurrentAt(V);
    A = series.junctionV[2];
    B = series.junctionV[1] + series.junctionV[2];
  }
  evaluate(n, A, B);
  NetworkSolution trial;
  double lastStep = std::numeric_limits<double>::infinity();
  bool converged = false;
  for (int iteration = 0; iteration < 200 && !converged; ++iteration) {
    const double dA = (n.h22 * n.kclA - n.h12 * n.kclB) / n.det;
    const double dB = (n.h11 * n.kclB - n.h21 * n.kclA) / n.det;
    if (!std::isfinite(dA) || !std::isfinite(dB))
      throw CalcError("the Rl/Rg network has no finite solution at V = " + Num(V) + " V");
    const double step = std::max(std::abs(dA), std::abs(dB));
    const double scale = std::max({std::abs(n.A), std::abs(n.B), std::abs(V)});
    if (step <= 4 * kEps * scale) break;
    // Rounding keeps the last steps from shrinking further: the point is as exact as doubles allow.
    if (step <= 1e-11 * std::max(scale, Vt_) && step > 0.5 * lastStep) break;
    lastStep = step;
    // Along the step the co-content's slope rises from -descent; a step is taken once that slope has not
    // risen above 0.9 descent (near the root a full step leaves it at rounding level, of either sign).
    // With luminescent coupling the node equations are no gradient: a step is taken once it lowers the
    // currents left over at the nodes (damped Newton), and the continuation from short circuit remains the
    // fallback of the callers.
    const double descent = n.kclA * dA + n.kclB * dB;
    const double residual = std::hypot(n.kclA, n.kclB);
    double t = 1;
    for (;;) {
      evaluate(trial, n.A + t * dA, n.B + t * dB);
      if (luminescent_ ? std::hypot(trial.kclA, trial.kclB) <= (1 - 1e-4 * t) * residual
                       : -(trial.kclA * dA + trial.kclB * dB) <= 0.9 * descent)
        break;
      t /= 2;
      if (t < 1e-20) {
        converged = step <= 1e-9 * std::max(scale, Vt_);
        if (!converged) throw CalcError("the Rl/Rg network did not converge at V = " + Num(V) + " V");
        break;
      }
    }
    if (!converged) n = trial;
    if (iteration == 199) throw CalcError("the Rl/Rg network did not converge at V = " + Num(V) + " V");
  }
  // The terminal current: junction 1's less the three resistances that leave its outer terminal; its slope
  // includes how the nodes move with V (b = the nodes' share, which equals dKCL/dV).
  n.Jterm = n.junction[0].J - (V - n.B) / Rl1_ - (V - n.A) / Rl2_ - V / Rg1_;
  n.currentScale =
      std::max({n.junction[0].scale, n.junction[1].scale, n.junction[2].scale, std::abs((V - n.B) / Rl1_),
                std::abs((V - n.A) / Rl2_), std::abs(V / Rg1_), std::abs(n.A / Rg3_), std::abs(n.B / Rg2_)});
  if (!std::isfinite(n.Jterm))
    throw CalcError("the Rl/Rg network has no finite solution at V = " + Num(V) + " V");
  const double b1 = 1 / Rl2_, b2 = n.c[0] + 1 / Rl1_;
  n.dAdV = (n.h22 * b1 - n.h12 * b2) / n.det;
  n.dBdV = (n.h11 * b2 - n.h21 * b1) / n.det;
  n.dJdV = -(n.c[0] + 1 / Rl1_ + 1 / Rl2_ + 1 / Rg1_) + n.tA * n.dAdV + n.tB * n.dBdV;
  return n;
}

namespace {

OperatingPoint PointOf(double V, double J, double A, double B, double dJdV, double scale) {
  return {.V = V, .J = J, .junctionV = {V - B, B - A, A}, .dJdV = dJdV, .currentScale = scale};
}

}  // namespace

OperatingPoint CircuitSolver::CurrentAt(double V) const {
  if (!std::isfinite(V)) throw CalcError("no current density at a voltage that is not a finite number");
  if (!circuit_.coupled) return SeriesCurrentAt(V);
  NetworkSolution n;
  try {
    n = SolveNetwork(V, nullptr);
  } catch (const CalcError&) {
    n = SolveNetworkFromShortCircuit(V);
  }
  return PointOf(V, n.Jterm, n.A, n.B, n.dJdV, n.currentScale);
}

CircuitSolver::NetworkSolution CircuitSolver::SolveNetworkFromShortCircuit(double V) const {
  // Continuation: from short circuit, where the series start is closest, towards V in small steps.
  NetworkSolution n = SolveNetwork(0, nullptr);
  constexpr int kSteps = 32;
  for (int i = 1; i <= kSteps; ++i) {
    const std::array<double, 2> start{n.A, n.B};
    n = SolveNetwork(V * i / kSteps, &start);
  }
  return n;
}

OperatingPoint CircuitSolver::VoltageAt(double J) const {
  if (!std::isfinite(J)) throw CalcError("no voltage at a current density that is not a finite number");
  return circuit_.coupled ? CoupledVoltageAt(J) : SeriesVoltageAt(J);
}

// Solves the network at voltage after voltage, each from the last solution moved along its tangent.
class CircuitSolver::NetworkTrack {
 public:
  explicit NetworkTrack(const CircuitSolver& solver) : solver_(solver) {}
  NetworkSolution At(double V) {
    if (!have_) {
      last_ = solver_.SolveNetwork(V, nullptr);
    } else {
      const std::array<double, 2> start{last_.A + (V - last_.V) * last_.dAdV,
                                        last_.B + (V - last_.V) * last_.dBdV};
      last_ = std::isfinite(start[0]) && std::isfinite(start[1]) ? solver_.SolveNetwork(V, &start, &last_)
                                                                 : solver_.SolveNetwork(V, nullptr);
    }
    have_ = true;
    return last_;
  }
  // Goes on from a solution found otherwise.
  void Restart(const NetworkSolution& n) {
    last_ = n;
    have_ = true;
  }

 private:
  const CircuitSolver& solver_;
  NetworkSolution last_;
  bool have_ = false;
};

OperatingPoint CircuitSolver::CoupledVoltageAt(double J) const {
  // The terminal current falls as the terminal voltage rises (a network of monotone elements): from the
  // series stack's voltage at J, Newton steps (lengthened, and at least doubling) run until the current
  // passes J, then Newton inside the bracket.
  NetworkTrack track(*this);
  const auto solve = [&](double V) { return track.At(V); };
  double V0 = 0;
  try {
    V0 = SeriesVoltageAt(J).V;
  } catch (const CalcError&) {
    V0 = 0;
  }
  NetworkSolution n = solve(V0);
  if (n.Jterm == J) return PointOf(V0, n.Jterm, n.A, n.B, n.dJdV, n.currentScale);
  double lo = V0, hi = V0;
  const double direction = n.Jterm > J ? 1 : -1;
  double least = 1e-6 * std::max(std::abs(V0), Vt_), near = V0;
  for (int i = 0;; ++i) {
    const double newton = std::abs((n.Jterm - J) / n.dJdV);
    const double V = near + direction * std::max(std::isfinite(newton) ? 1.5 * newton : 0, least);
    if (!std::isfinite(V) || i > 2000)
      throw CalcError(circuit_.Describe() + " has no finite voltage at J = " + Num(J) + " A/cm2");
    n = solve(V);
    if ((n.Jterm - J) * direction <= 0) {
      (direction > 0 ? hi : lo) = V;
      break;
    }
    (direction > 0 ? lo : hi) = V;
    near = V;
    least *= 2;
  }
  const double V = SolveDecreasing(
      [&](double x) {
        n = solve(x);
        return Slope{n.Jterm - J, n.dJdV};
      },
      lo, hi, near, "the Rl/Rg network's voltage search");
  n = solve(V);
  return PointOf(V, n.Jterm, n.A, n.B, n.dJdV, n.currentScale);
}

FiguresOfMerit CircuitSolver::Figures(double incidentPower) const {
  const FiguresOfMerit f = circuit_.coupled ? CoupledFigures(incidentPower) : SeriesFigures(incidentPower);
  // A power below the smallest double (a cell of 1e-247 V, say) comes out as 0: out of range as well.
  for (const auto& figure : {f.Voc, f.Jsc, f.FF, f.Pmax, f.Vmp, f.Jmp, f.efficiency})
    if (figure && !std::isfinite(*figure))
      throw CalcError("the figures of merit of " + circuit_.Describe() + " are beyond the range of numbers");
  if (f.Pmax && !(*f.Pmax > 0 && *f.FF > 0))
    throw CalcError("the maximum power of " + circuit_.Describe() + " is below the range of numbers");
  // The current falls as the voltage rises, so the maximum power point lies inside the rectangle of Voc
  // and Jsc: a point outside it is rounding, not an answer.
  constexpr double kRoom = 1 + 1e-9;
  if (f.Pmax && !(*f.Vmp <= *f.Voc * kRoom && *f.Jmp <= *f.Jsc * kRoom))
    throw CalcError(
        "the maximum power point of " + circuit_.Describe() +
        " is lost in rounding: it falls outside the open-circuit voltage and the short-circuit current");
  return f;
}

FiguresOfMerit CircuitSolver::CoupledFigures(double incidentPower) const {
  FiguresOfMerit f;
  f.incidentPower = incidentPower;
  const OperatingPoint shortCircuit = CurrentAt(0);
  f.Jsc = shortCircuit.J;
  CheckResolved(shortCircuit.J, shortCircuit.currentScale, "short-circuit current");
  f.Voc = CoupledVoltageAt(0).V;
  const double Voc = *f.Voc;
  if (!(Voc > 0 && *f.Jsc > 0)) return f;
  // The power V J(V) need not have one maximum inside a network: its slope J + V J' is sampled across
  // [0, Voc], each fall through zero is refined, and the largest maximum is kept.
  constexpr int kSamples = 16;
  NetworkTrack track(*this);
  double scale = 0;
  const auto slopeOfPower = [&](double V, double* J) {
    const NetworkSolution n = track.At(V);
    if (J) *J = n.Jterm, scale = n.currentScale;
    return n.Jterm + V * n.dJdV;
  };
  double bestP = -1, bestV = 0, bestJ = 0;
  double previousV = 0, previousSlope = *f.Jsc;
  for (int i = 1; i <= kSamples; ++i) {
    const double V = Voc * i / kSamples;
    const double slope = slopeOfPower(V, nullptr);
    if (previousSlope > 0 && slope <= 0) {
      const double Vm = SolveSignChange([&](double x) { return slopeOfPower(x, nullptr); }, previousV,
                                        previousSlope, V, slope);
      double Jm = 0;
      (void)slopeOfPower(Vm, &Jm);
      if (Vm * Jm > bestP) {
        bestP = Vm * Jm;
        bestV = Vm;
        bestJ = Jm;
      }
    }
    previousV = V;
    previousSlope = slope;
  }
  if (bestP <= 0) return f;
  (void)slopeOfPower(bestV, &bestJ);
  CheckResolved(bestJ, scale, "current at maximum power");
  return WithPower(f, bestV, bestJ, incidentPower);
}

// ---- Derivatives with respect to the parameters. ----

namespace {

// dJ/d(parameter) of one junction at a fixed terminal voltage, its seven parameters in table order.
std::array<double, 7> JunctionCurrentDerivatives(const Junction& j, const JunctionPoint& p, bool lit) {
  std::array<double, 7> d = CurrentPartials(j, p.Vd, lit);
  const double share = 1 + j.Rs * p.G;
  for (double& x : d) x /= share;
  d[0] = -p.G * p.J / share;
  return d;
}

}  // namespace

template <class Quantity>
std::vector<ParameterDerivatives> CircuitSolver::Differenced(const Quantity& quantity) const {
  // With luminescent coupling or breakdown the analytic chain of the plain junctions no longer holds: each
  // parameter is shifted by a relative 1e-5 (about the cube root of the rounding, where the truncation and
  // rounding errors of a central difference balance) both ways. A parameter at 0 (a saturation current of a
  // one-diode junction) may not go below it: a forward difference there.
  std::vector<ParameterDerivatives> d;
  for (int i = 0; i < kCellParameterCount; ++i) {
    const ParameterRow& row = kParameterRows[static_cast<std::size_t>(i)];
    const double value = par_.*row.member;
    const bool atZero = value == 0;
    const double h = atZero ? 1e-20 : 1e-5 * std::abs(value);
    Parameters up = par_, down = par_;
    up.*row.member = value + h;
    if (!atZero) down.*row.member = value - h;
    const std::vector<double> upper = quantity(CircuitSolver(up, Vt_, circuit_));
    const std::vector<double> lower = quantity(CircuitSolver(down, Vt_, circuit_));
    if (d.empty()) d.resize(upper.size(), ParameterDerivatives{});
    for (std::size_t p = 0; p < upper.size(); ++p)
      d[p][static_cast<std::size_t>(i)] =
          (upper[p] - lower[p]) / ((value + h) - (atZero ? value : value - h));
  }
  return d;
}

void CircuitSolver::RefuseDerivativesInLogs() const {
  if (inLogs_)
    throw CalcError(circuit_.Describe() +
                    " has a saturation current below the doubles: its derivatives in the parameters are "
                    "beyond them");
}

ParameterDerivatives CircuitSolver::VoltageDerivatives(double J, OperatingPoint* point) const {
  RefuseDerivativesInLogs();
  ParameterDerivatives d{};
  if (physics_) {
    const OperatingPoint p = VoltageAt(J);
    if (point) *point = p;
    return Differenced(
               [J](const CircuitSolver& solver) { return std::vector<double>{solver.VoltageAt(J).V}; })
        .front();
  }
  if (circuit_.coupled) {
    OperatingPoint p = CoupledVoltageAt(J);
    d = CurrentDerivatives(p.V, nullptr);
    for (double& x : d) x = -x / p.dJdV;
    if (point) *point = p;
    return d;
  }
  for (int k = first_; k <= last_; ++k) {
    const auto index = static_cast<std::size_t>(k);
    const Junction& j = junctions_[index];
    const JunctionPoint p = JunctionAtCurrent(j, J, kNoHint);
    const std::array<double, 7> partials = CurrentPartials(j, p.Vd, circuit_.lit[index]);
    for (std::size_t i = 1; i < 7; ++i) d[7 * index + i] = partials[i] / p.G;
    d[7 * index] = -J;
  }
  if (point) *point = SeriesVoltageAt(J);
  return d;
}

ParameterDerivatives CircuitSolver::SeriesCurrentDerivatives(const OperatingPoint& point,
                                                             const SeriesWalk& walk) const {
  // dV/d(parameter) at the point's current, from each junction's solution there; then dJ = -dV dJ/dV.
  ParameterDerivatives d{};
  for (int k = first_; k <= last_; ++k) {
    const auto index = static_cast<std::size_t>(k);
    const JunctionPoint& p = walk.s.last[index];
    const std::array<double, 7> partials = CurrentPartials(junctions_[index], p.Vd, circuit_.lit[index]);
    for (std::size_t i = 1; i < 7; ++i) d[7 * index + i] = partials[i] / p.G;
    d[7 * index] = -point.J;
  }
  for (double& x : d) x = -x * point.dJdV;
  return d;
}

ParameterDerivatives CircuitSolver::NetworkCurrentDerivatives(const NetworkSolution& n) const {
  // The partial derivatives of the two node equations and of the terminal current at fixed nodes; the
  // nodes then move by H^-1 dKCL, which the terminal current sees through b.
  const double V = n.V;
  ParameterDerivatives d{}, kclA{}, kclB{}, terminal{};
  std::array<std::array<double, 7>, 3> junction{};
  for (std::size_t k = 0; k < 3; ++k)
    junction[k] = JunctionCurrentDerivatives(junctions_[k], n.junction[k], circuit_.lit[k]);
  for (std::size_t i = 0; i < 7; ++i) {
    kclA[14 + i] += junction[2][i];
    kclA[7 + i] -= junction[1][i];
    kclB[7 + i] += junction[1][i];
    kclB[i] -= junction[0][i];
    terminal[i] += junction[0][i];
  }
  constexpr std::size_t kRl1 = 21, kRl2 = 22, kRg1 = 23, kRg2 = 24, kRg3 = 25;
  kclA[kRl2] = -(V - n.A) / (Rl2_ * Rl2_);
  kclA[kRg3] = n.A / (Rg3_ * Rg3_);
  kclB[kRl1] = -(V - n.B) / (Rl1_ * Rl1_);
  kclB[kRg2] = n.B / (Rg2_ * Rg2_);
  terminal[kRl1] = (V - n.B) / (Rl1_ * Rl1_);
  terminal[kRl2] = (V - n.A) / (Rl2_ * Rl2_);
  terminal[kRg1] = V / (Rg1_ * Rg1_);
  const double b1 = 1 / Rl2_, b2 = n.c[0] + 1 / Rl1_;
  for (std::size_t i = 0; i < d.size(); ++i) {
    const double dA = (n.h22 * kclA[i] - n.h12 * kclB[i]) / n.det;
    const double dB = (n.h11 * kclB[i] - n.h12 * kclA[i]) / n.det;
    d[i] = terminal[i] + b1 * dA + b2 * dB;
  }
  return d;
}

ParameterDerivatives CircuitSolver::CurrentDerivatives(double V, OperatingPoint* point) const {
  std::vector<OperatingPoint> points;
  std::vector<ParameterDerivatives> derivatives;
  CurrentsAlong(std::span<const double>(&V, 1), points, &derivatives);
  if (point) *point = points.front();
  return derivatives.front();
}

void CircuitSolver::CurrentsAlong(std::span<const double> V, std::vector<OperatingPoint>& points,
                                  std::vector<ParameterDerivatives>* derivatives) const {
  points.clear();
  if (derivatives) derivatives->clear();
  for (const double v : V)
    if (!std::isfinite(v)) throw CalcError("no current density at a voltage that is not a finite number");
  if (derivatives) RefuseDerivativesInLogs();
  if (derivatives && physics_) {
    CurrentsAlong(V, points);
    *derivatives = Differenced([V](const CircuitSolver& solver) {
      std::vector<OperatingPoint> shifted;
      solver.CurrentsAlong(V, shifted);
      std::vector<double> J;
      J.reserve(shifted.size());
      for (const OperatingPoint& p : shifted) J.push_back(p.J);
      return J;
    });
    return;
  }
  if (!circuit_.coupled) {
    SeriesWalk walk;
    for (const double v : V) {
      points.push_back(SeriesCurrentAt(v, walk));
      if (derivatives) derivatives->push_back(SeriesCurrentDerivatives(points.back(), walk));
    }
    return;
  }
  NetworkTrack track(*this);
  for (const double v : V) {
    NetworkSolution n;
    try {
      n = track.At(v);
    } catch (const CalcError&) {
      n = SolveNetworkFromShortCircuit(v);  // and the walk goes on from it
      track.Restart(n);
    }
    points.push_back(PointOf(v, n.Jterm, n.A, n.B, n.dJdV, n.currentScale));
    if (derivatives) derivatives->push_back(NetworkCurrentDerivatives(n));
  }
}

}  // namespace pelarin::exact
