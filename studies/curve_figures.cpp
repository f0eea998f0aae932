#include "studies/curve_figures.h"

#include <cmath>
#include <memory>
#include <vector>

#include "model/calc_error.h"
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

// The voltage at J = 0 of the junction loaded in s, from guess; nothing when the search fails.
std::optional<double> VoltageAtZeroCurrentOf(State& s, double guess) {
  if (guess == 0 || !std::isfinite(guess)) return std::nullopt;
  s.ws.curJ = 0;
  s.ws.curV = guess;
  s.ws.cycleCount = 0;
  try {
    CalcV(s);
  } catch (const CalcError&) {
    return std::nullopt;
  }
  return s.ws.curV;
}

}  // namespace

FiguresOfMerit LitCurveFigures(const State& state, const StackCurve& curve, const OpenCircuitSolve& solve,
                               Crossing crossing) {
  const std::vector<double> v = Voltages(curve), j = Currents(curve);
  std::optional<double> solved;
  const bool across = crossing == Crossing::BetweenSweeps && VoltageAtZeroCurrent(v, j).has_value();
  if (solve && (across || StopsShortOfOpenCircuit(v, j))) solved = solve();
  FiguresOfMerit f = FiguresFromPoints(v, j, solved, state.figures.LightPower());
  if (across && solved) {
    f.Voc = solved;
    f.FF.reset();
    if (f.Pmax && f.Jsc && *f.Voc * *f.Jsc > 0) f.FF = *f.Pmax / (*f.Voc * *f.Jsc);
  }
  return f;
}

std::optional<double> JunctionOpenCircuitVoltage(const State& state, int junction, double photocurrent,
                                                 double guess) {
  // A copy: the solve leaves the state's working set alone. On the heap, as it holds the sweep arrays.
  const auto s = std::make_unique<State>(state);
  LoadJunction(*s, junction, photocurrent);
  return VoltageAtZeroCurrentOf(*s, guess);
}

std::optional<double> StackOpenCircuitVoltage(const State& state, const std::array<double, 4>& photocurrents,
                                              const std::array<double, 4>& guesses) {
  const auto s = std::make_unique<State>(state);
  double total = 0;
  // At open circuit each junction's diode voltage is its voltage: the one below gains its share of the
  // radiative current there.
  double above = 0;
  for (int k = 3; k >= 1; --k) {
    const double photocurrent =
        k == 3 ? photocurrents[k] : CoupledPhotocurrent(s->par, s->k.Vt, k + 1, photocurrents[k], above);
    above = 0;
    if (photocurrent == 0) continue;
    LoadJunction(*s, k, photocurrent);
    const auto v = VoltageAtZeroCurrentOf(*s, guesses[k]);
    if (!v) return std::nullopt;
    total += *v;
    above = *v;
  }
  return total;
}

std::optional<double> CoupledOpenCircuitVoltage(const State& state, const StackCurve& lit, double j0) {
  if (lit.Size() < 1 || j0 <= 0) return std::nullopt;
  const auto s = std::make_unique<State>(state);
  SweepState& w = s->sweep;
  w.Vinit.assign(6, 0.0);
  w.Vinit[1] = lit.V1(1);
  w.Vinit[2] = lit.V2(1);
  w.Vinit[3] = lit.V3(1);
  s->ws.V1 = lit.V1(1);
  s->ws.V2 = lit.V2(1);
  w.JscUse1 = s->par.Jsc1;
  w.JscUse2 = s->par.Jsc2;
  w.JscUse3 = s->par.Jsc3;
  w.sweepStep = 0.005;
  s->ws.cycleCount = 0;
  s->ws.curJset = -j0;
  // Towards forward voltage; the first point past the lit curve's first voltage ends the sweep, and the
  // coupled sweep keeps that point in its arrays without counting it.
  w.Vend = lit.V(1);
  try {
    CalcCoupled(*s);
  } catch (const CalcError&) {
    return std::nullopt;
  }
  std::vector<double> v, j;
  for (int i = w.resCount + 1; i >= 1; --i) {
    const auto n = static_cast<std::size_t>(i);
    if (w.resVtot[n] == 0 && w.resJ[n] == 0) continue;  // a point the sweep did not reach
    v.push_back(w.resVtot[n]);
    j.push_back(w.resJ[n]);
  }
  for (int i = 1; i <= lit.Size(); ++i) {
    v.push_back(lit.V(i));
    j.push_back(lit.J(i));
  }
  return VoltageAtZeroCurrent(v, j);
}

}  // namespace pelarin
