// The default cell, the start values of the six default sweeps (three-junction study without and with Rl
// and Rg), and an independent check of the junction balance; shared by the solver tests and benchmarks.
#pragma once

#include <array>
#include <cmath>
#include <ostream>
#include <vector>

#include "model/solvers.h"
#include "model/state.h"

namespace pelarin::testing_cell {

// The parameter set that the default form texts read into.
inline Parameters DefaultParameters() {
  Parameters p;
  p.Rs1 = 5, p.Rp1 = 5000, p.Jsc1 = 0.008, p.Jsd11 = 40e-12, p.Jsd12 = 400e-9, p.m11 = 1, p.m12 = 2;
  p.Rs2 = 5, p.Rp2 = 10000, p.Jsc2 = 0.012, p.Jsd21 = 1e-12, p.Jsd22 = 80e-9, p.m21 = 1, p.m22 = 2;
  p.Rs3 = 5, p.Rp3 = 500, p.Jsc3 = 0.016, p.Jsd31 = 50e-9, p.Jsd32 = 1e-6, p.m31 = 1, p.m32 = 2;
  p.Rl1 = p.Rl2 = p.Rg1 = p.Rg2 = p.Rg3 = 1e12;
  p.JsdMax1 = 400e-9, p.JsdMax2 = 80e-9, p.JsdMax3 = 1e-6;
  return p;
}

inline State DefaultState() {
  State state;
  state.par = DefaultParameters();
  return state;
}

// Sweep inputs common to all six: Vinit(1..3), the photocurrents in use, cycleCount 0.
inline void SetUpSweep(State& s, bool lit, double v1, double v2, double v3, double step, double Vend) {
  s.sweep.Vinit = {0, v1, v2, v3, 0, 0};
  s.sweep.JscUse1 = lit ? s.par.Jsc1 : 0, s.sweep.JscUse2 = lit ? s.par.Jsc2 : 0;
  s.sweep.JscUse3 = lit ? s.par.Jsc3 : 0;
  s.sweep.rgSwitch = 0, s.sweep.sweepStep = step, s.sweep.Vend = Vend;
  s.ws.cycleCount = 0;
}

inline double ResistanceSum(const Parameters& p) { return p.Rp2 + p.Rp1 + p.Rp3 + p.Rs1 + p.Rs2 + p.Rs3; }

inline void SetUpStackLit(State& s) {
  SetUpSweep(s, true, 1e-5, 1e-5, 1e-5, 0.005, -0.5);
  double j0 = 1e-9;
  for (const double jsc : {s.par.Jsc3, s.par.Jsc2, s.par.Jsc1}) {
    if (jsc != 0 && j0 > jsc) j0 = jsc / 10;
  }
  s.ws.curJset = j0;
}
inline void SetUpStackDark(State& s, bool reverse) {
  SetUpSweep(s, false, 1e-5, 1e-5, 1e-5, 0.01, reverse ? -1 : 3);
  s.ws.curJset = (reverse ? 5e-5 : -5e-5) / ResistanceSum(s.par);
}
inline void SetUpCoupledLit(State& s) {
  SetUpSweep(s, true, 1e-5, 1e-5, 1e-5, 0.005, -0.5);
  s.ws.V1 = s.ws.V2 = 0.001;
  double j0 = 1e-8;
  if (s.par.Jsc3 < 1e-8) j0 = s.par.Jsc3 / 100;
  if (s.par.Jsc2 / 100 < j0) j0 = s.par.Jsc2 / 100;
  if (s.par.Jsc1 / 100 < j0) j0 = s.par.Jsc1 / 100;
  s.ws.curJset = j0;
}
inline void SetUpCoupledDark(State& s, bool reverse) {
  const double v12 = reverse ? -0.0001 : 0.0001;
  SetUpSweep(s, false, v12, v12, 1e-5, 0.0005, reverse ? -1 : 3);
  s.ws.V1 = s.ws.V2 = v12;
  s.ws.curJset = reverse ? std::fmax(0.0005 / ResistanceSum(s.par), 1e-13) : -1e-13;
}

struct DefaultSweep {
  const char* name;
  void (*setUp)(State&);
  void (*run)(State&);
};
inline void PrintTo(const DefaultSweep& d, std::ostream* os) { *os << d.name; }

inline const std::array<DefaultSweep, 6>& DefaultSweeps() {
  static const std::array<DefaultSweep, 6> sweeps{{
      {"StackLit", SetUpStackLit, CalcStack},
      {"StackDarkReverse", [](State& s) { SetUpStackDark(s, true); }, CalcStack},
      {"StackDarkForward", [](State& s) { SetUpStackDark(s, false); }, CalcStack},
      {"CoupledLit", SetUpCoupledLit, CalcCoupled},
      {"CoupledDarkReverse", [](State& s) { SetUpCoupledDark(s, true); }, CalcCoupled},
      {"CoupledDarkForward", [](State& s) { SetUpCoupledDark(s, false); }, CalcCoupled},
  }};
  return sweeps;
}

// The junction balance at (V, J) computed independently in long double, and the size that rounding
// explains: a search ends within a few ulps of its root, and each term carries a few ulps.
struct BalanceCheck {
  long double residual, bound;
};
inline BalanceCheck CheckBalance(const WorkingSet& ws, double Vt, double V, double J) {
  const long double Vd = V + static_cast<long double>(ws.curRs) * J;
  const long double mVt1 = static_cast<long double>(ws.curM1) * Vt,
                    mVt2 = static_cast<long double>(ws.curM2) * Vt;
  const long double e1 = std::exp(Vd / mVt1), e2 = std::exp(Vd / mVt2);
  const long double residual = Vd / ws.curRp + J - ws.curJsc + ws.curJsd1 * (e1 - 1) + ws.curJsd2 * (e2 - 1);
  const long double slope = 1.0L / ws.curRp + ws.curJsd1 * e1 / mVt1 + ws.curJsd2 * e2 / mVt2;
  const long double terms = std::fabs(Vd / ws.curRp) + std::fabs(J) + std::fabs(ws.curJsc) +
                            ws.curJsd1 * (e1 + 1) + ws.curJsd2 * (e2 + 1);
  const long double eps = 16 * 2.220446049250313e-16L;
  return {residual, eps * (std::fabs(Vd) + std::fabs(V)) * slope + eps * terms};
}

}  // namespace pelarin::testing_cell
