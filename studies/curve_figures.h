// The figures of merit of the studies' lit curves: where the points say each figure lies, solved there by
// the junctions' own searches for the curves of junctions in series, by the coupled sweep's point solve
// inside the Rl/Rg network. The solves work on a copy of the state, so the sweeps' state that the
// studies carry from one call to the next is left as it was.
#pragma once

#include <array>
#include <optional>

#include "model/figures_of_merit.h"
#include "model/state.h"
#include "studies/stack_curve.h"

namespace pelarin {

// The figures of a lit curve read off its points, at the incident power of the state.
[[nodiscard]] FiguresOfMerit LitCurveFigures(const State& state, const StackCurve& curve);

// The junctions of a lit curve in series (index 1..3): whether each is in the circuit, and its own
// photocurrent (0: dark). The stack studies' curves hold all three, the independent study's one.
struct SeriesJunctions {
  std::array<bool, 4> in{false, true, true, true};
  std::array<double, 4> photocurrents{};
};

// The figures of a lit curve of junctions in series. Its points say where each figure lies; the junctions'
// own voltage searches then solve it there, at the current where it lies: Voc at J = 0, Jsc where the
// voltages add up to 0 between the two points on either side of 0 V (or beyond the last point, for a curve
// that does not reach 0 V), and the maximum power by Brent's method over the current between the neighbours
// of the best point (the ends at Jsc and J = 0 included).
// So the figures are as precise as the searches wherever the points fall: across the gap between two
// sweeps, within one voltage step of a curve whose Voc is smaller than the step, or on a curve too steep for
// its current steps. Where a search fails, the figure read off the points stands. The solves work on a copy
// of the state. Where the exact solver's circuit is the curve's (its currents at the points nearest open
// circuit, short circuit and the maximum power equal the points' to 1e-6), its figures are taken instead,
// unless state.k.exactFigures is false: they agree with the searches' to 1e-8 and take microseconds.
[[nodiscard]] FiguresOfMerit SeriesCurveFigures(const State& state, const StackCurve& curve,
                                                const SeriesJunctions& junctions);

// The figures of a lit curve of the stack inside the coupling network under the given photocurrents
// (index 1..3), solved as the series curves' are, by the coupled sweep's own solve of a point at the
// current imposed on junction 3: Voc and Jsc between the points on either side of J = 0 and V = 0, the
// maximum power by Brent's method between the best point's neighbours. A curve that stops short of open
// circuit is continued past it from its end nearest it (the first point of a curve swept from there, the
// last of one joined from reverse voltage) by the point where junction 3 carries -j0, its sweeps' start
// current. Where a solve fails, the figure read off the points stands.
[[nodiscard]] FiguresOfMerit NetworkCurveFigures(const State& state, const StackCurve& curve,
                                                 const std::array<double, 4>& photocurrents, double j0);

}  // namespace pelarin
