// The figures of merit of the studies' lit curves, and the solves that give the open-circuit voltage of a
// curve that stops short of it. The solves work on a copy of the state, so the sweeps' state that the
// studies carry from one call to the next is left as it was.
#pragma once

#include <array>
#include <functional>
#include <optional>

#include "model/figures_of_merit.h"
#include "model/state.h"
#include "studies/stack_curve.h"

namespace pelarin {

// The open-circuit voltage of a curve that stops short of it, or nothing when it cannot be solved.
using OpenCircuitSolve = std::function<std::optional<double>()>;

// Where a curve crosses J = 0: within its points, or across the gap between two sweeps that start on either
// side of it.
enum class Crossing { WithinPoints, BetweenSweeps };

// The figures of a lit curve from its points at the incident power of the state; solve is asked when the
// curve stops short of open circuit, and, for a curve that crosses J = 0 between two sweeps, always: a
// straight line across that gap misses the curve's bend (a dark junction's diode over +-Jsd/5 bends it by
// 1e-4 V), where the solve finds the voltage at J = 0 itself.
[[nodiscard]] FiguresOfMerit LitCurveFigures(const State& state, const StackCurve& curve,
                                             const OpenCircuitSolve& solve = {},
                                             Crossing crossing = Crossing::WithinPoints);

// Junction j (1..3) alone with this photocurrent: its voltage at J = 0, by the voltage search from guess.
[[nodiscard]] std::optional<double> JunctionOpenCircuitVoltage(const State& state, int junction,
                                                               double photocurrent, double guess);

// The series stack with these photocurrents (index 1..3): each junction's voltage at J = 0 by the voltage
// search from its guess (index 1..3), added up. A dark junction carries no current at 0 V exactly.
[[nodiscard]] std::optional<double> StackOpenCircuitVoltage(const State& state,
                                                            const std::array<double, 4>& photocurrents,
                                                            const std::array<double, 4>& guesses);

// The stack inside the coupling network, all junctions lit: its terminal current is not imposed, so the
// lit curve (from near open circuit, first point first) is continued by one coupled point with junction
// 3's current -j0, past open circuit, and the open-circuit voltage is read where the points cross J = 0.
[[nodiscard]] std::optional<double> CoupledOpenCircuitVoltage(const State& state, const StackCurve& lit,
                                                              double j0);

}  // namespace pelarin
