// The linear-log axes of the plot window linlog (voltage along x, current density on decades
// along y; the window's y coordinate is the natural logarithm of the current density).
#pragma once

#include "model/state.h"
#include "plot/surface.h"

namespace pelarin {

// The whole decades a current-density range is shown on: 10^nLo to 10^nHi, D = nHi - nLo of them, with
// the natural logarithms of the bounds.
struct DecadeBounds {
  int nLo = 0;
  int nHi = 0;
  int decades = 0;  // D
  double yLo = 0, yHi = 0;
  double lnLo = 0, lnHi = 0, dl = 0;
};

// The decades for yMin..yMax. A range without positive values is shown as 1e-6 to 1, a non-positive lower
// bound as six decades below the upper one, and bounds that would leave no decade get the decade below
// the top. Bounds that are not finite or beyond 1e300 throw CalcError.
[[nodiscard]] DecadeBounds DecadesOf(double yMin, double yMax);

// Prepares linlog for a new set of curves: sets its user coordinates (x rounded as on linlin, y from the
// decades' logarithms), draws the frame with its decade and sub-decade ticks, the decade labels "10" with
// raised exponents, the x labels and marker, the grey vertical zero line, and sets plot.markerRadius.
// Does not clear the window. Degenerate voltage ranges are widened as on linlin.
void DrawLinLogAxes(DrawSurface& linlog, PlotState& plot, double xMin, double xMax, double yMin, double yMax);

}  // namespace pelarin
