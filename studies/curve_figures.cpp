#include "studies/curve_figures.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <utility>
#include <vector>

#include "model/calc_error.h"
#include "model/exact_circuit.h"
#include "model/solvers.h"

namespace pelarin {
namespace {

std::vector<double> Voltages(const StackCurve& curve) {
  std::vector<double> v;
  for (int i = 1; i <= curve.Size(); ++i) v.push_back(curve.V(i));
  return v;
}

std::vector<double> Currents(const StackCurve& curve) {
  std::vector<double> j;
  for (int i = 1; i <= curve.Size(); ++i) j.push_back(curve.J(i));
  return j;
}

// The first point i whose neighbour i + 1 lies on the other side of 0 V, or 0 when none does before a
// point at 0 V exactly (which gives its own current).
int CrossingOfZeroVoltage(const StackCurve& curve) {
  for (int i = 1; i < curve.Size() && curve.V(i) != 0; ++i)
    if (curve.V(i + 1) != 0 && (curve.V(i) < 0) != (curve.V(i + 1) < 0)) return i;
  return 0;
}

// The point of the highest voltage (1-based; the curve holds one at least).
int HighestPoint(const StackCurve& curve) {
  int top = 1;
  for (int i = 2; i <= curve.Size(); ++i)
    if (curve.V(i) > curve.V(top)) top = i;
  return top;
}

// The junctions of a series curve at any current, by their voltage searches (CalcV), each started from
// where the junction stood at the nearest solve: a point of the curve or the last call.
class SeriesAtCurrent {
 public:
  SeriesAtCurrent(const State& state, const StackCurve& curve, const SeriesJunctions& junctions)
      : s_(std::make_unique<State>(state)),
        curve_(curve),
        junctions_(junctions),
        single_(std::count(junctions.in.begin() + 1, junctions.in.end(), true) == 1) {}

  // The curve's voltage at current J, the searches started from point i (1-based) or from the last solve
  // when that lies nearer; nothing when a search fails.
  std::optional<double> VoltageAt(double J, int i) {
    if (failures_ >= kFailures) return std::nullopt;
    const bool fromLast = haveLast_ && std::abs(J - lastJ_) < std::abs(J - curve_.J(i));
    double total = 0, above = 0;  // the diode voltage of the junction above, whose radiative current couples
    std::array<double, 4> solved{};
    for (int k = 3; k >= 1; --k) {
      const auto index = static_cast<std::size_t>(k);
      if (!junctions_.in[index]) continue;
      const double own = junctions_.photocurrents[index];
      const double photocurrent = k == 3 || !junctions_.in[index + 1]
                                      ? own
                                      : CoupledPhotocurrent(s_->par, s_->k.Vt, k + 1, own, above);
      double v = 0;
      // A dark junction carries no current at 0 V exactly, where its search has no side to turn on.
      if (J != 0 || photocurrent != 0) {
        const auto solvedV = Solve(k, photocurrent, J, fromLast ? last_[index] : PointVoltage(i, k));
        if (!solvedV) {
          ++failures_;
          return std::nullopt;
        }
        v = *solvedV;
      }
      solved[index] = v;
      total += v;
      above = v + s_->ws.curRs * J;
    }
    if (!std::isfinite(total)) return std::nullopt;
    last_ = solved, lastJ_ = J, haveLast_ = true;
    return total;
  }

 private:
  [[nodiscard]] double PointVoltage(int i, int k) const {
    if (single_) return curve_.V(i);
    return k == 1 ? curve_.V1(i) : k == 2 ? curve_.V2(i) : curve_.V3(i);
  }

  // Junction k's voltage at current J with the given photocurrent, its search started near v; nothing when
  // it fails. A search that cannot end (a root within 1e-12 V of zero, on the far side of the sign flip)
  // fails after a bounded amount of work.
  std::optional<double> Solve(int k, double photocurrent, double J, double v) {
    // A reverse-biased junction under a photocurrent-direction current is sought from its own side first:
    // a positive start reaches it only through the sign flip, thousands of steps away. Should its root
    // have moved to forward bias, the short budget ends that try and the positive start follows.
    if (J > 0 && v < 0)
      if (const auto reverse = Search(k, photocurrent, J, v, kReverseWork)) return reverse;
    return Search(k, photocurrent, J, v != 0 ? std::abs(v) : kSmallStart, kSolveWork);
  }

  std::optional<double> Search(int k, double photocurrent, double J, double start, std::uint64_t work) {
    LoadJunction(*s_, k, photocurrent);
    s_->ws.curJ = J;
    s_->ws.curV = start;
    s_->ws.cycleCount = 0;
    s_->ws.workLimit = s_->ws.work + work;
    try {
      CalcV(*s_);
    } catch (const CalcError&) {
      return std::nullopt;
    }
    return s_->ws.curV;
  }

  // A start of the size of a junction voltage, where none is known: the sweeps' own first start.
  static constexpr double kSmallStart = 1e-5;
  // Eighths of an evaluation of the balance.
  static constexpr std::uint64_t kSolveWork = std::uint64_t{8} * 100'000;
  static constexpr std::uint64_t kReverseWork = std::uint64_t{8} * 2'000;
  static constexpr int kFailures = 3;

  std::unique_ptr<State> s_;  // on the heap, as it holds the sweep arrays
  const StackCurve& curve_;
  const SeriesJunctions& junctions_;
  bool single_ = false;
  bool haveLast_ = false;
  int failures_ = 0;
  double lastJ_ = 0;
  std::array<double, 4> last_{};
};

// A solved place on a curve: the current its sweep imposes (the terminal current in series, junction 3's
// inside the coupling network), the voltage and current that gives, and the curve's point nearest it.
struct Place {
  double x, V, J;
  int point;
};

// A curve's place at an imposed current x, solved from point i: nothing when a search fails.
using PlaceAt = std::function<std::optional<Place>(double x, int i)>;

// The stack inside the coupling network at any current imposed on junction 3, by the coupled sweep's own
// solve of one point (junction 3's search, then the passes of junctions 2 and 1), started from where the
// junctions stood at the nearest solve: a point of the curve or the last call.
class NetworkAtCurrent {
 public:
  NetworkAtCurrent(const State& state, const StackCurve& curve, const std::array<double, 4>& photocurrents)
      : s_(std::make_unique<State>(state)), sweep_(state.k), curve_(curve), photocurrents_(photocurrents) {
    s_->k.maxPoints = 1;  // a sweep of one point, which its arrays hold
    Settle(true);
  }

  // The current junction 3 carries at point i (1-based): the terminal current and what leaks back through
  // Rg1, Rg2 and Rg3.
  [[nodiscard]] double Imposed(int i) const {
    const Parameters& p = s_->par;
    return curve_.J(i) + curve_.V(i) / p.Rg1 + (curve_.V2(i) + curve_.V3(i)) / p.Rg2 + curve_.V3(i) / p.Rg3;
  }

  // The curve's place with junction 3 carrying x, the searches started from point i or from the last solve
  // when that lies nearer; nothing when a search fails or the passes run away. orAsTheSweeps: where the
  // passes cannot settle further, they settle as the sweeps' do.
  std::optional<Place> At(double x, int i, bool orAsTheSweeps = false) {
    if (failures_ >= kFailures || x == 0 || !std::isfinite(x)) return std::nullopt;
    std::array<double, 4> start = {0, curve_.V1(i), curve_.V2(i), curve_.V3(i)};
    if (haveLast_ && std::abs(x - lastX_) < std::abs(x - Imposed(i))) start = last_;
    for (double& v : start) {
      // Under a forward current every junction's voltage is positive, where a negative start never arrives.
      if (x < 0) v = std::abs(v);
      if (v == 0) v = 1e-5;
    }
    SweepState& w = s_->sweep;
    WorkingSet& ws = s_->ws;
    w.Vinit.assign(6, 0.0);
    w.Vinit[1] = ws.V1 = start[1];
    w.Vinit[2] = ws.V2 = start[2];
    w.Vinit[3] = start[3];
    w.JscUse1 = photocurrents_[1];
    w.JscUse2 = photocurrents_[2];
    w.JscUse3 = photocurrents_[3];
    w.sweepStep = 0.005;
    w.Vend = 0;
    ws.cycleCount = 0;
    ws.curJset = x;
    ws.workLimit = ws.work + (tight_ ? kTightWork : kSolveWork);
    try {
      CalcCoupled(*s_);
    } catch (const CalcError&) {
      // Passes that do not settle so far, or a junction held within 1e-12 V of zero by them.
      if (tight_ && orAsTheSweeps) {
        Settle(false);
        const auto place = At(x, i);
        Settle(true);
        return place;
      }
      ++failures_;
      return std::nullopt;
    }
    if (ws.divergeFlag == 1 || !std::isfinite(w.resVtot[1]) || !std::isfinite(w.resJ[1])) {
      ++failures_;
      return std::nullopt;
    }
    last_ = {0, w.resV1[1], w.resV2[1], w.resV3[1]}, lastX_ = x, haveLast_ = true;
    return Place{x, w.resVtot[1], w.resJ[1], i};
  }

 private:
  // The passes over junctions 2 and 1 settle much further than a sweep's, which stop at a change of 1e-3
  // and under strong coupling end up a few 1e-3 from the circuit's solution.
  void Settle(bool tight) {
    tight_ = tight;
    s_->k.maxPasses = tight ? 5000 : sweep_.maxPasses;
    s_->k.settledChange = tight ? 1e-10 : sweep_.settledChange;
  }

  // Eighths of an evaluation of a balance, for the whole point.
  static constexpr std::uint64_t kTightWork = std::uint64_t{8} * 200'000;
  static constexpr std::uint64_t kSolveWork = std::uint64_t{8} * 2'000'000;
  static constexpr int kFailures = 3;

  std::unique_ptr<State> s_;
  const Constants sweep_;  // the sweeps' own
  const StackCurve& curve_;
  std::array<double, 4> photocurrents_;
  bool tight_ = true;
  bool haveLast_ = false;
  int failures_ = 0;
  double lastX_ = 0;
  std::array<double, 4> last_{};
};

// The place between a and b, whose values (V or J) lie on either side of 0, where the value is 0: by
// regula falsi over the imposed current with the Illinois halving. A solve that fails ends it on the line
// across the bracket reached so far (a lone junction's search cannot end within 1e-12 V of zero, where the
// bracket is narrow).
Place Zero(const PlaceAt& at, const Place& a, const Place& b, double Place::*value) {
  Place lo = a, hi = b;
  double flo = a.*value, fhi = b.*value;
  int side = 0;
  const auto line = [&] {
    const double x = (lo.x * fhi - hi.x * flo) / (fhi - flo);
    const double t = (x - lo.x) / (hi.x - lo.x);
    return Place{x, lo.V + t * (hi.V - lo.V), lo.J + t * (hi.J - lo.J), lo.point};
  };
  constexpr double kEps = std::numeric_limits<double>::epsilon();
  for (int iteration = 0; iteration < 100; ++iteration) {
    double x = (lo.x * fhi - hi.x * flo) / (fhi - flo);
    if (!(x > std::min(lo.x, hi.x) && x < std::max(lo.x, hi.x))) x = lo.x + (hi.x - lo.x) / 2;
    if (x == lo.x || x == hi.x) break;  // the bracket holds neighbouring doubles
    const auto place = at(x, std::abs(x - a.x) < std::abs(x - b.x) ? a.point : b.point);
    if (!place) return line();
    const double f = (*place).*value;
    if (f == 0) return *place;
    if ((f > 0) == (flo > 0)) {
      lo = *place, flo = f;
      if (side == -1) fhi /= 2;
      side = -1;
    } else {
      hi = *place, fhi = f;
      if (side == 1) flo /= 2;
      side = 1;
    }
    if (std::abs(hi.x - lo.x) <= 4 * kEps * std::max(std::abs(lo.x), std::abs(hi.x))) break;
  }
  return std::abs(flo) < std::abs(fhi) ? lo : hi;
}

// The maximum power point between 0 and Jsc: the best of the samples, refined over the current between its
// neighbours by Brent's method (parabolas through the three best places, golden sections where a parabola
// does not shrink the bracket enough) as long as the solves succeed.
// The last bracket, relative to the current: the power is flat at its maximum, so it is found to about the
// square of this, and Vmp and Jmp to this.
constexpr double kCurrentTolerance = 1e-7;

PowerPoint MaximumPower(const PlaceAt& at, const std::vector<Place>& samples) {
  std::size_t best = 0;
  for (std::size_t i = 1; i < samples.size(); ++i)
    if (samples[i].J * samples[i].V > samples[best].J * samples[best].V) best = i;
  // The nearest imposed currents on either side; points of a flat stretch of the curve share the best one's.
  double a = samples[best].x, b = a;
  for (const Place& sample : samples) {
    if (sample.x < samples[best].x && (a == samples[best].x || sample.x > a)) a = sample.x;
    if (sample.x > samples[best].x && (b == samples[best].x || sample.x < b)) b = sample.x;
  }
  const int point = samples[best].point;
  // The best sample solved again: a point of a coupled sweep, whose passes settle at a change of 1e-3, may
  // lie off the curve by more than the maximum's flatness resolves.
  const auto first = at(samples[best].x, point);
  const Place& start = first ? *first : samples[best];
  PowerPoint top{start.V, start.J, start.J * start.V};
  // The power's negative, to be minimised.
  const auto loss = [&](double x) -> std::optional<double> {
    const auto place = at(x, point);
    if (!place) return std::nullopt;
    const double P = place->J * place->V;
    if (P > top.P) top = {place->V, place->J, P};
    return -P;
  };
  constexpr double kGolden = 0.3819660112501051;  // (3 - sqrt 5) / 2
  // x the best place so far, w the second best, v the one before w; d the last step, e the one before it.
  double x = start.x, w = x, v = x, fx = -top.P, fw = fx, fv = fx, d = 0, e = 0;
  for (int iteration = 0; iteration < 100; ++iteration) {
    const double middle = (a + b) / 2;
    const double tol1 = kCurrentTolerance / 2 * std::abs(x) + std::numeric_limits<double>::min();
    const double tol2 = 2 * tol1;
    if (std::abs(x - middle) <= tol2 - (b - a) / 2) break;
    bool golden = true;
    if (std::abs(e) > tol1) {
      double r = (x - w) * (fx - fv), q = (x - v) * (fx - fw), p = (x - v) * q - (x - w) * r;
      q = 2 * (q - r);
      if (q > 0) p = -p;
      q = std::abs(q);
      const double before = e;
      e = d;
      // The parabola's vertex, if it lies inside the bracket and steps less than half the step before last.
      if (std::abs(p) < std::abs(q * before / 2) && p > q * (a - x) && p < q * (b - x)) {
        d = p / q;
        golden = false;
        if (x + d - a < tol2 || b - (x + d) < tol2) d = std::copysign(tol1, middle - x);
      }
    }
    if (golden) {
      e = x >= middle ? a - x : b - x;
      d = kGolden * e;
    }
    const double u = std::abs(d) >= tol1 ? x + d : x + std::copysign(tol1, d);
    const auto fu = loss(u);
    if (!fu) {
      // Without a point of the curve inside, whatever was solved before the failure need not be near the
      // maximum.
      if (!(samples[best].J * samples[best].V > 0)) return {};
      break;
    }
    if (*fu <= fx) {
      (u >= x ? a : b) = x;
      v = w, fv = fw, w = x, fw = fx, x = u, fx = *fu;
    } else {
      (u < x ? a : b) = u;
      if (*fu <= fw || w == x) {
        v = w, fv = fw, w = u, fw = *fu;
      } else if (*fu <= fv || v == x || v == w) {
        v = u, fv = *fu;
      }
    }
  }
  return top;
}

// The maximum power of a curve whose Voc and Jsc are solved (ends: the places there, where the power is 0),
// sampled at the points of the generator quadrant and at both ends and refined by the solves; sets Pmax,
// Vmp, Jmp, FF and the efficiency at the incident power light when it is found.
void SolveMaximumPower(FiguresOfMerit& f, const PlaceAt& solve, std::vector<Place> ends,
                       const StackCurve& curve, const std::function<Place(int)>& at, double light) {
  std::vector<Place> samples = std::move(ends);
  for (int i = 1; i <= curve.Size(); ++i)
    if (curve.V(i) > 0 && curve.J(i) > 0 && curve.V(i) < *f.Voc && curve.J(i) < *f.Jsc)
      samples.push_back(at(i));
  if (const PowerPoint top = MaximumPower(solve, samples); top.P > 0) {
    f.Pmax = top.P, f.Vmp = top.V, f.Jmp = top.J;
    f.FF = top.P / (*f.Voc * *f.Jsc);
    // W/cm2 against mW/cm2, in %.
    if (light > 0) f.efficiency = top.P * 1000 / light * 100;
  }
}

}  // namespace

namespace {

// The exact figures of a series curve, where the exact circuit is this curve: one junction alone or the
// three in series, with the state's photocurrents (or 0), and its current at the points nearest open
// circuit, short circuit and the maximum power equal to theirs to 1e-6 of the curve's largest |J|. It takes
// microseconds where the junctions' searches take milliseconds; elsewhere nothing, and the searches solve.
std::optional<FiguresOfMerit> ExactWhereItAgrees(const State& state, const StackCurve& curve,
                                                 const SeriesJunctions& junctions,
                                                 const FiguresOfMerit& read) {
  int count = 0, alone = 0;
  std::array<bool, 3> lit{};
  for (int k = 1; k <= 3; ++k) {
    const auto index = static_cast<std::size_t>(k);
    if (!junctions.in[index]) continue;
    ++count, alone = k;
    const double photocurrent = junctions.photocurrents[index];
    if (photocurrent != 0 && photocurrent != Photocurrent(state.par, k)) return std::nullopt;
    lit[index - 1] = photocurrent != 0;
  }
  if (count != 1 && count != 3) return std::nullopt;
  const int n = curve.Size();
  int nearVoc = 1, nearJsc = 1, best = 1;
  double largest = 0;
  for (int i = 1; i <= n; ++i) {
    if (std::abs(curve.J(i)) < std::abs(curve.J(nearVoc))) nearVoc = i;
    if (std::abs(curve.V(i)) < std::abs(curve.V(nearJsc))) nearJsc = i;
    if (curve.V(i) * curve.J(i) > curve.V(best) * curve.J(best)) best = i;
    largest = std::max(largest, std::abs(curve.J(i)));
  }
  try {
    const exact::CircuitSolver solver(state.par, state.k.Vt,
                                      count == 1 ? exact::JunctionAlone(alone) : exact::Stack(lit, false));
    for (const int i : {nearVoc, nearJsc, best})
      if (!(std::abs(solver.CurrentAt(curve.V(i)).J - curve.J(i)) <= 1e-6 * largest)) return std::nullopt;
    FiguresOfMerit f = solver.Figures(state.figures.LightPower());
    // Every figure the points give, the exact solution gives too.
    if ((read.Voc && !f.Voc) || (read.Jsc && !f.Jsc) || (read.Pmax && !f.Pmax)) return std::nullopt;
    return f;
  } catch (const CalcError&) {
    return std::nullopt;
  }
}

}  // namespace

FiguresOfMerit LitCurveFigures(const State& state, const StackCurve& curve) {
  return FiguresFromPoints(Voltages(curve), Currents(curve), std::nullopt, state.figures.LightPower());
}

FiguresOfMerit SeriesCurveFigures(const State& state, const StackCurve& curve,
                                  const SeriesJunctions& junctions) {
  const std::vector<double> v = Voltages(curve), j = Currents(curve);
  const int n = curve.Size();
  FiguresOfMerit f = FiguresFromPoints(v, j, std::nullopt, state.figures.LightPower());
  if (n == 0) return f;
  if (state.k.exactFigures)
    if (auto exactFigures = ExactWhereItAgrees(state, curve, junctions, f)) return *exactFigures;
  SeriesAtCurrent series(state, curve, junctions);
  const PlaceAt solve = [&](double J, int i) -> std::optional<Place> {
    const auto V = series.VoltageAt(J, i);
    if (!V) return std::nullopt;
    return Place{J, *V, J, i};
  };
  // The points nearest open circuit and short circuit.
  int nearVoc = 1, nearJsc = 1;
  for (int i = 2; i <= n; ++i) {
    if (std::abs(curve.J(i)) < std::abs(curve.J(nearVoc))) nearVoc = i;
    if (std::abs(curve.V(i)) < std::abs(curve.V(nearJsc))) nearJsc = i;
  }
  // Every series curve has an open circuit, also one whose points all lie past it.
  if (const auto Voc = series.VoltageAt(0, nearVoc)) f.Voc = Voc;
  // Between the first two points on either side of 0 V; a point at 0 V gives its own current.
  const auto at = [&](int i) { return Place{curve.J(i), curve.V(i), curve.J(i), i}; };
  if (const int i = CrossingOfZeroVoltage(curve); f.Jsc && i != 0)
    f.Jsc = Zero(solve, at(i), at(i + 1), &Place::V).x;
  // A curve that stops short of 0 V, still generating, passes it on the way to open circuit.
  const int top = HighestPoint(curve);
  if (!f.Jsc && f.Voc && *f.Voc > 0 && curve.V(top) < 0 && curve.J(top) > 0)
    f.Jsc = Zero(solve, at(top), {0, *f.Voc, 0, nearVoc}, &Place::V).x;
  // A curve whose points all lie above 0 V (a sweep that ended early, or one that starts past open
  // circuit): the current is doubled from the highest one it reached, or from 3/4 of the smallest
  // photocurrent, until the voltage falls below 0 V. (Doubling half of it would land on it exactly, where
  // that junction's voltage is 0 V exactly and no voltage search can end.)
  int bottom = 1;
  for (int i = 2; i <= n; ++i)
    if (curve.V(i) < curve.V(bottom)) bottom = i;
  if (!f.Jsc && f.Voc && *f.Voc > 0 && curve.V(bottom) > 0) {
    Place above = curve.J(bottom) > 0 ? at(bottom) : Place{0, *f.Voc, 0, nearVoc};
    double smallest = 0;
    for (const double photocurrent : junctions.photocurrents)
      if (photocurrent > 0 && (smallest == 0 || photocurrent < smallest)) smallest = photocurrent;
    double J = above.J > 0 ? 2 * above.J : smallest * 3 / 4;
    for (int doubling = 0; doubling < 64 && J > 0 && std::isfinite(J); ++doubling, J *= 2) {
      const auto V = series.VoltageAt(J, above.point);
      if (!V) break;
      if (*V < 0) {
        f.Jsc = Zero(solve, above, {J, *V, J, above.point}, &Place::V).x;
        break;
      }
      if (*V > 0) above = {J, *V, J, above.point};
    }
  }
  if (!(f.Voc && f.Jsc && *f.Voc > 0 && *f.Jsc > 0)) return f;
  SolveMaximumPower(f, solve, {{0, *f.Voc, 0, nearVoc}, {*f.Jsc, 0, *f.Jsc, nearJsc}}, curve, at,
                    state.figures.LightPower());
  return f;
}

FiguresOfMerit NetworkCurveFigures(const State& state, const StackCurve& curve,
                                   const std::array<double, 4>& photocurrents, double j0) {
  const std::vector<double> v = Voltages(curve), j = Currents(curve);
  const int n = curve.Size();
  const double light = state.figures.LightPower();
  FiguresOfMerit f = FiguresFromPoints(v, j, std::nullopt, light);
  if (n == 0) return f;
  NetworkAtCurrent network(state, curve, photocurrents);
  const PlaceAt solve = [&](double x, int i) { return network.At(x, i); };
  const auto at = [&](int i) { return Place{network.Imposed(i), curve.V(i), curve.J(i), i}; };
  // Open circuit: between the two neighbouring points on either side of J = 0 at the lowest voltage, as
  // the points are read; or, for a curve that stops short of it, past its end nearest it, where junction
  // 3 carries -j0.
  int openLo = 0, openHi = 0;
  for (int i = 1; i < n; ++i) {
    const int lo = curve.V(i) <= curve.V(i + 1) ? i : i + 1, hi = lo == i ? i + 1 : i;
    if (curve.J(lo) > 0 && curve.J(hi) < 0 && (openLo == 0 || curve.V(lo) < curve.V(openLo)))
      openLo = lo, openHi = hi;
  }
  std::optional<Place> open;
  if (openLo != 0) {
    open = Zero(solve, at(openLo), at(openHi), &Place::J);
  } else if (StopsShortOfOpenCircuit(v, j) && j0 > 0) {
    const int end = curve.V(n) > curve.V(1) ? n : 1;
    // That point need only lie past open circuit: it may settle as the sweeps' points do.
    if (const auto past = network.At(-j0, end, true); past && past->J < 0)
      open = Zero(solve, at(end), *past, &Place::J);
  }
  if (open) f.Voc = open->V;
  // Short circuit: between the first two neighbouring points on either side of 0 V.
  std::optional<Place> shorted;
  if (const int i = CrossingOfZeroVoltage(curve); f.Jsc && i != 0) {
    shorted = Zero(solve, at(i), at(i + 1), &Place::V);
    f.Jsc = shorted->J;
  }
  // A curve that stops short of 0 V, still generating, passes it on the way to open circuit.
  const int top = HighestPoint(curve);
  if (!f.Jsc && open && *f.Voc > 0 && curve.V(top) < 0 && curve.J(top) > 0) {
    shorted = Zero(solve, at(top), *open, &Place::V);
    f.Jsc = shorted->J;
  }
  if (!(open && shorted && *f.Voc > 0 && *f.Jsc > 0)) {
    if (f.Pmax && f.Voc && f.Jsc && *f.Voc * *f.Jsc > 0) f.FF = *f.Pmax / (*f.Voc * *f.Jsc);
    return f;
  }
  SolveMaximumPower(f, solve, {*open, *shorted}, curve, at, light);
  return f;
}

}  // namespace pelarin
