// The cell model's solvers: the four bracketing searches of one junction's two-diode balance, the current
// sweep of the series stack, and the sweep of the stack inside the Rl/Rg coupling network. They work on the
// shared State: a caller loads the working set (or the sweep inputs), calls, and reads the results back.
// Every arithmetic fault and every search that would never end throws CalcError.
#pragma once

#include "model/state.h"

namespace pelarin {

// A search phase longer than this has lost its root and is stopped with CalcError. A first falling phase,
// at 0.05 % per step, crosses the whole range of doubles (largest finite to smallest subnormal) in about
// 2.9 million steps; the default sweeps need under 100,000, and it takes about 50 ms to reach the cap.
inline constexpr int kPhaseStepCap = 3000000;

// Loads junction k's (1..3) resistances, saturation current densities, ideality factors and breakdown into
// the working set, with curJsc set to the given photocurrent density (0 for a dark junction).
void LoadJunction(State& state, int k, double photocurrent);

// Junction k's (2 or 3) radiative current density, its first diode's Jsd_k1 (exp(Vd/(m_k1 Vt)) - 1) at its
// diode voltage Vd, and the photocurrent of junction k-1 when it absorbs beta_k of it on top of its own: the
// own one itself, to the bit, when beta_k is 0.
[[nodiscard]] double RadiativeCurrent(const Parameters& p, double Vt, int k, double Vd);
[[nodiscard]] double CoupledPhotocurrent(const Parameters& p, double Vt, int k, double own, double Vd);

// Current density curJ of the loaded junction at the voltage curV, from the guess in curJ (step stepJ).
void CalcJ(State& state);

// Voltage curV of the loaded junction at the current density curJ, from the guess in curV.
void CalcV(State& state);

// Voltage V2 of junction 2 (loaded) inside the coupling network, V1, V3 and junction 3's curJset held.
void CalcV2Net(State& state);

// Voltage V1 of junction 1 (loaded) inside the coupling network, V2, V3 and junction 3's curJset held.
void CalcV1Net(State& state);

// Current sweep of the three junctions in series, from curJset until the total voltage passes Vend.
void CalcStack(State& state);

// Current sweep of the stack inside the Rl/Rg network (junction 3's current imposed), until the total
// voltage passes Vend or the coupled iteration diverges.
void CalcCoupled(State& state);

}  // namespace pelarin
