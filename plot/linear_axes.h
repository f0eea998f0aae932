// The linear axes of the plot window linlin.
#pragma once

#include "model/state.h"
#include "plot/surface.h"

namespace pelarin {

// Prepares linlin for a new set of curves: sets its user coordinates from the data ranges (voltage x,
// current density y) rounded to whole intervals, draws the frame with its ticks, the labels with their
// power-of-ten markers and the grey zero lines, and sets plot.markerRadius. Does not clear the window.
// Reversed, equal or nearly equal bounds are widened to a drawable range first; bounds that are not finite
// throw CalcError.
void DrawLinLinAxes(DrawSurface& linlin, PlotState& plot, double xMin, double xMax, double yMin, double yMax);

}  // namespace pelarin
