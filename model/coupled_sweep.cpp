// CalcCoupled: the current sweep of the stack inside the coupling network. Junction 3 between T0 and A,
// junction 2 between A and B, junction 1 between B and T1; Rg3, Rg2, Rg1 lead from A, B, T1 back to T0,
// Rl1 bridges junction 1 and Rl2 junctions 1 and 2. The current through junction 3 is imposed; junctions 2
// and 1 are solved in turn (Gauss-Seidel) until both voltages settle. Junction 2's photocurrent gains its
// share of junction 3's radiative current, and junction 1's of junction 2's, at their latest diode voltages.
#include <cmath>
#include <string>
#include <utility>

#include "model/calc_error.h"
#include "model/solvers.h"
#include "model/solvers_internal.h"

namespace pelarin {

void CalcCoupled(State& state) {
  WorkingSet& ws = state.ws;
  SweepState& sw = state.sweep;
  const Parameters& p = state.par;
  const int maxPoints = state.k.maxPoints;
  const double Vt = state.k.Vt;
  StartSweepArrays("CalcCoupled", sw, maxPoints);
  RequireSweepDirection("CalcCoupled", ws.curJset);
  const double s0 = ws.curJset / std::fabs(ws.curJset);
  ws.divergeFlag = 0;
  for (const auto& [name, r] : {std::pair{"Rl1", p.Rl1}, std::pair{"Rl2", p.Rl2}, std::pair{"Rg1", p.Rg1},
                                std::pair{"Rg2", p.Rg2}, std::pair{"Rg3", p.Rg3}}) {
    if (r == 0) throw CalcError(std::string("CalcCoupled: division by zero: ") + name + " is 0");
  }

  int j = 1;
  for (; j <= maxPoints; ++j) {
    // Junction 3 carries the imposed current whatever the other voltages are.
    LoadJunction(state, 3, sw.JscUse3);
    ws.curJ = ws.curJset;
    ws.curV = sw.resV3[j - 1];
    CalcV(state);
    ws.V3 = ws.curV;
    sw.resV3[j] = ws.V3;

    const double jsc2 = CoupledPhotocurrent(p, Vt, 3, sw.JscUse2, ws.V3 + p.Rs3 * ws.curJset);
    for (int pass = 1; pass <= state.k.maxPasses; ++pass) {
      LoadJunction(state, 2, jsc2);
      ws.V1start = ws.V1;
      ws.V2start = ws.V2;
      ws.curJ = (ws.V1 + ws.V2) / p.Rl2 + ws.curJset - ws.V3 / p.Rg3;
      CalcV2Net(state);

      // Junction 2's current, as its search held it (V1 from the pass before).
      const double J2 = (ws.V1start + ws.V2) / p.Rl2 + ws.curJset - ws.V3 / p.Rg3;
      // (After a runaway the point is dropped: no coupling is worked out from it.)
      LoadJunction(
          state, 1,
          ws.divergeFlag == 1 ? sw.JscUse1 : CoupledPhotocurrent(p, Vt, 2, sw.JscUse1, ws.V2 + p.Rs2 * J2));
      ws.curJ =
          (ws.V1 + ws.V2) / p.Rl2 + ws.V1 / p.Rl1 + ws.curJset - (ws.V2 + ws.V3) / p.Rg2 - ws.V3 / p.Rg3;
      CalcV1Net(state);

      // A runaway ends the sweep; this point is not kept.
      if (ws.divergeFlag == 1) {
        sw.resCount = static_cast<std::int16_t>(j - 1);
        return;
      }
      if (ws.V1 == 0 || ws.V2 == 0) {
        throw CalcError("CalcCoupled: division by zero in the convergence test: " +
                        std::string(ws.V1 == 0 ? "V1" : "V2") + " is exactly 0 at point " +
                        std::to_string(j));
      }
      const double change1 = (ws.V1start - ws.V1) / ws.V1;
      const double change2 = (ws.V2start - ws.V2) / ws.V2;
      if (std::fabs(change1) < state.k.settledChange && std::fabs(change2) < state.k.settledChange) break;
    }

    sw.resV2[j] = ws.V2;
    sw.resV1[j] = ws.V1;
    sw.resVtot[j] = ws.V2 + ws.V1 + ws.V3;
    // The terminal current: junction 3's less what leaks back to T0 through Rg1, Rg2 and Rg3.
    sw.resJ[j] = ws.curJset - sw.resVtot[j] / p.Rg1 - (ws.V2 + ws.V3) / p.Rg2 - ws.V3 / p.Rg3;

    if (j >= 2 && sw.resVtot[j - 1] - sw.resVtot[j] != 0) {
      sw.sweepStep = (state.k.sweepGain / std::fabs(sw.resVtot[j - 1] - sw.resVtot[j])) / 2;
    }
    ws.curJset = (sw.sweepStep + 1) * ws.curJset;
    // The point past Vend stays in the arrays but is not counted.
    if (s0 * sw.Vend > s0 * sw.resVtot[j]) break;
  }
  sw.resCount = static_cast<std::int16_t>(j - 1);
}

}  // namespace pelarin
