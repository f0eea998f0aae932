// The default cell and the start values of the six default sweeps (the three-junction study without and
// with Rl and Rg), shared by the solver tests and the benchmarks.
#pragma once

#include <array>
#include <cmath>
#include <functional>
#include <string>

#include "model/solvers.h"
#include "model/state.h"

namespace pelarin::testing_cell {

// The parameter set that the default form texts read into.
inline Parameters DefaultParameters() {
  Parameters p;
  p.Rs1 = 5, p.Rp1 = 5000, p.Jsc1 = 0.008, p.Jsd11 = 40e-12, p.Jsd12 = 400e-9, p.m11 = 1, p.m12 = 2;
  p.Rs2 = 5, p.Rp2 = 10000, p.Jsc2 = 0.012, p.Jsd21 = 1e-12, p.Jsd22 = 80e-9, p.m21 = 1, p.m22 = 2;
  p.Rs3 = 5, p.Rp3 = 500, p.Jsc3 = 0.016, p.Jsd31 = 50e-9, p.Jsd32 = 1e-6, p.m31 = 1, p.m32 = 2;
  p.Rl1 = 1e12, p.Rl2 = 1e12, p.Rg1 = 1e12, p.Rg2 = 1e12, p.Rg3 = 1e12;
  p.JsdMax1 = 400e-9, p.JsdMax2 = 80e-9, p.JsdMax3 = 1e-6;
  return p;
}

inline State DefaultState() {
  State state;
  state.par = DefaultParameters();
  return state;
}

inline double SeriesResistanceSum(const Parameters& p) {
  return p.Rp2 + p.Rp1 + p.Rp3 + p.Rs1 + p.Rs2 + p.Rs3;
}

inline void UsePhotocurrents(State& s, bool lit) {
  s.sweep.JscUse1 = lit ? s.par.Jsc1 : 0;
  s.sweep.JscUse2 = lit ? s.par.Jsc2 : 0;
  s.sweep.JscUse3 = lit ? s.par.Jsc3 : 0;
}

// Three-junction study without Rl: all lit from at most 1e-9 down to -0.5 V.
inline void SetUpStackLit(State& s) {
  s.sweep.Vinit = std::vector<double>(6, 0.0);
  s.sweep.Vinit[1] = s.sweep.Vinit[2] = s.sweep.Vinit[3] = 1e-5;
  s.sweep.rgSwitch = 0;
  s.sweep.sweepStep = 0.005;
  s.ws.cycleCount = 0;
  s.sweep.Vend = -0.5;
  UsePhotocurrents(s, true);
  double j0 = 1e-9;
  for (const double jsc : {s.par.Jsc3, s.par.Jsc2, s.par.Jsc1}) {
    if (jsc != 0 && j0 > jsc) j0 = jsc / 10;
  }
  s.ws.curJset = j0;
}

// Dark, towards reverse bias (-1 V) and towards forward bias (3 V), continuing from the lit sweep's Vinit.
inline void SetUpStackDark(State& s, bool reverse) {
  s.sweep.Vinit = std::vector<double>(6, 0.0);
  s.sweep.Vinit[1] = s.sweep.Vinit[2] = s.sweep.Vinit[3] = 1e-5;
  s.sweep.rgSwitch = 0;
  s.sweep.sweepStep = 0.01;
  s.ws.cycleCount = 0;
  s.ws.curJset = (reverse ? 5e-5 : -5e-5) / SeriesResistanceSum(s.par);
  s.sweep.Vend = reverse ? -1 : 3;
  UsePhotocurrents(s, false);
}

// Three-junction study with Rl and Rg: all lit down to -0.5 V.
inline void SetUpCoupledLit(State& s) {
  s.sweep.Vinit = std::vector<double>(6, 0.0);
  s.sweep.Vinit[1] = s.sweep.Vinit[2] = s.sweep.Vinit[3] = 1e-5;
  s.ws.V1 = 0.001, s.ws.V2 = 0.001;
  double j0 = 1e-8;
  if (s.par.Jsc3 < 1e-8) j0 = s.par.Jsc3 / 100;
  if (s.par.Jsc2 / 100 < j0) j0 = s.par.Jsc2 / 100;
  if (s.par.Jsc1 / 100 < j0) j0 = s.par.Jsc1 / 100;
  s.ws.curJset = j0;
  s.sweep.sweepStep = 0.005;
  s.ws.cycleCount = 0;
  UsePhotocurrents(s, true);
  s.sweep.Vend = -0.5;
}

inline void SetUpCoupledDark(State& s, bool reverse) {
  s.sweep.Vinit = std::vector<double>(6, 0.0);
  s.sweep.Vinit[3] = 1e-5;
  if (reverse) {
    double jstart = 0.0005 / SeriesResistanceSum(s.par);
    if (jstart < 1e-13) jstart = 1e-13;
    s.sweep.Vinit[1] = s.sweep.Vinit[2] = -0.0001;
    s.ws.curJset = jstart;
    s.sweep.Vend = -1;
  } else {
    s.sweep.Vinit[1] = s.sweep.Vinit[2] = 0.0001;
    s.ws.curJset = -1e-13;
    s.sweep.Vend = 3;
  }
  s.ws.V1 = s.sweep.Vinit[1], s.ws.V2 = s.sweep.Vinit[2];
  s.sweep.sweepStep = 0.0005;
  s.ws.cycleCount = 0;
  UsePhotocurrents(s, false);
}

struct DefaultSweep {
  const char* name;
  void (*setUp)(State&);
  void (*run)(State&);
  double Vend;
};

// The six default sweeps, each set up on a fresh default state.
inline const std::array<DefaultSweep, 6>& DefaultSweeps() {
  static const std::array<DefaultSweep, 6> sweeps{{
      {"StackLit", SetUpStackLit, CalcStack, -0.5},
      {"StackDarkReverse", [](State& s) { SetUpStackDark(s, true); }, CalcStack, -1},
      {"StackDarkForward", [](State& s) { SetUpStackDark(s, false); }, CalcStack, 3},
      {"CoupledLit", SetUpCoupledLit, CalcCoupled, -0.5},
      {"CoupledDarkReverse", [](State& s) { SetUpCoupledDark(s, true); }, CalcCoupled, -1},
      {"CoupledDarkForward", [](State& s) { SetUpCoupledDark(s, false); }, CalcCoupled, 3},
  }};
  return sweeps;
}

}  // namespace pelarin::testing_cell

namespace pelarin::testing_cell {

// How far the junction balance at (V, J) is from zero, computed independently in long double, and the
// size that rounding alone explains: a search ends within a few ulps of its root, and the balance's own
// terms carry a few ulps each.
struct BalanceCheck {
  long double residual;
  long double bound;
};

inline BalanceCheck CheckBalance(const WorkingSet& ws, double Vt, double V, double J) {
  const long double Vd = static_cast<long double>(V) + static_cast<long double>(ws.curRs) * J;
  const long double mVt1 = static_cast<long double>(ws.curM1) * Vt;
  const long double mVt2 = static_cast<long double>(ws.curM2) * Vt;
  const long double e1 = std::exp(Vd / mVt1), e2 = std::exp(Vd / mVt2);
  const long double residual = Vd / ws.curRp + J - ws.curJsc + ws.curJsd1 * (e1 - 1) + ws.curJsd2 * (e2 - 1);
  const long double slope = 1.0L / ws.curRp + ws.curJsd1 * e1 / mVt1 + ws.curJsd2 * e2 / mVt2;
  const long double terms = std::fabs(Vd / ws.curRp) + std::fabs(J) + std::fabs(ws.curJsc) +
                            ws.curJsd1 * (e1 + 1) + ws.curJsd2 * (e2 + 1);
  constexpr long double eps = 2.220446049250313e-16L;
  const long double bound =
      16 * eps * (std::fabs(Vd) + std::fabs(static_cast<long double>(V))) * slope + 16 * eps * terms;
  return {residual, bound};
}

}  // namespace pelarin::testing_cell
