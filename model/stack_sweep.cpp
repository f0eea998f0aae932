// CalcStack: the current sweep of the three junctions in series. The current density is imposed and grows
// geometrically away from zero; each point solves junctions 3, 2 and 1 for their voltages, each from its
// own voltage at the point before, and the next relative current step is tied to the last voltage change.
// Junctions 3 and 2 are solved before the junction below each, whose photocurrent gains its share of their
// radiative current (luminescent coupling) at the diode voltage just found.
#include <cmath>
#include <string>

#include "model/calc_error.h"
#include "model/solvers.h"
#include "model/solvers_internal.h"

namespace pelarin {

void CalcStack(State& state) {
  WorkingSet& ws = state.ws;
  SweepState& sw = state.sweep;
  const Parameters& p = state.par;
  const int maxPoints = state.k.maxPoints;
  const double Vt = state.k.Vt;
  StartSweepArrays("CalcStack", sw, maxPoints);
  RequireSweepDirection("CalcStack", ws.curJset);
  if (p.Rg3 == 0) throw CalcError("CalcStack: division by zero: Rg3 is 0");
  if (p.Rg2 == 0) throw CalcError("CalcStack: division by zero: Rg2 is 0");
  const double sgn = ws.curJset / std::fabs(ws.curJset);

  int j = 1;
  for (; j <= maxPoints; ++j) {
    ws.curJ = ws.curJset;

    LoadJunction(state, 3, sw.JscUse3);
    ws.curV = sw.resV3[j - 1];
    CalcV(state);
    ws.V3 = ws.curV;
    sw.resV3[j] = ws.V3;

    LoadJunction(state, 2, CoupledPhotocurrent(p, Vt, 3, sw.JscUse2, ws.V3 + p.Rs3 * ws.curJ));
    ws.curJ = ws.curJ - sw.rgSwitch * ws.V3 / p.Rg3;
    ws.curV = sw.resV2[j - 1];
    CalcV(state);
    ws.V2 = ws.curV;
    sw.resV2[j] = ws.V2;

    LoadJunction(state, 1, CoupledPhotocurrent(p, Vt, 2, sw.JscUse1, ws.V2 + p.Rs2 * ws.curJ));
    ws.curJ = ws.curJ - sw.rgSwitch * (ws.V2 + ws.V3) / p.Rg2;
    ws.curV = sw.resV1[j - 1];
    CalcV(state);
    ws.V1 = ws.curV;
    sw.resV1[j] = ws.V1;

    sw.resVtot[j] = ws.V1 + ws.V2 + ws.V3;
    sw.resJ[j] = ws.curJ;

    // The next relative current step: a small voltage change enlarges it, a large one shrinks it.
    if (j >= 2 && sw.resVtot[j - 1] - sw.resVtot[j] != 0) {
      sw.sweepStep = state.k.sweepGain / std::fabs(sw.resVtot[j - 1] - sw.resVtot[j]);
    }
    if (sgn * sw.Vend > sgn * sw.resVtot[j]) break;
    ws.curJset = ws.curJset * (1 + sw.sweepStep);
  }
  // The point that crossed Vend and the one before it are not part of the curve.
  sw.resCount = static_cast<std::int16_t>(j - 2);
}

}  // namespace pelarin
