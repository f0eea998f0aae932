// What the linear and the linear-log axes share: making a data range drawable, rounding a linear axis to
// whole intervals, the tick labels and their power-of-ten marker, the ticks and labels of the voltage axis,
// and the grey zero line.
#pragma once

#include <string>
#include <string_view>

#include "plot/surface.h"

namespace pelarin {

// The extents a plot window's scale is set to before its user coordinates: tick and marker sizes refer to
// them.
inline constexpr double kReferenceWidth = 9375;
inline constexpr double kReferenceHeight = 5595;

struct AxisRange {
  double lo = 0;
  double hi = 0;
};

// One rounded linear axis: start a0, end a1, n intervals of step = (a1 - a0) / n.
struct AxisRounding {
  double start = 0;
  double end = 0;
  int intervals = 0;
  double step = 0;
};

// A linear range the rounding can work on: reversed bounds are swapped, and equal or nearly equal bounds
// (span below a millionth of their size) are widened around their middle. Throws CalcError for bounds
// that are not finite or beyond 1e300 in size.
[[nodiscard]] AxisRange DrawableRange(double lo, double hi);

// Rounds lo..hi (hi > lo, as DrawableRange gives) to whole intervals of a tenth of 1, 1.6, 2, 3.5 or 5
// times a power of ten.
[[nodiscard]] AxisRounding RoundAxis(double lo, double hi);

// The power of ten L by which labels of an axis with this interval are multiplied (0 when not scaled):
// positive for intervals below 0.01, negative above 1000.
[[nodiscard]] int LabelExponent(double step);

// The tick label of value v on an axis with this interval, as written on the window (trailing blank
// included); zeroText stands for an exact 0 on a scaled axis.
[[nodiscard]] std::string AxisLabel(double v, double step, std::string_view zeroText);

// The label of value v as the renderer places it: AxisLabel without its blanks, zero written "0".
[[nodiscard]] std::string LabelText(double v, double step);

// The exponent of a power-of-ten marker "x10" for labels scaled by 10^L: "-4" for L = 4, "3" for L = -3.
[[nodiscard]] std::string MarkerExponent(int L);

// -1, 0 or +1.
[[nodiscard]] int Sgn(double v);

// The reference extents W and H, as read back from the window's scale.
struct ReferenceExtents {
  int W = 0;
  int H = 0;
};

// The window set-up both axes begin with: normal window state, scale height and width set to the
// reference extents and read back, copy-pen mode, white background, black fore colour.
[[nodiscard]] ReferenceExtents SetUpPlotWindow(DrawSurface& window);

// Draws the ticks of a horizontal side at height yFrame: for each interval a half-length tick at its middle
// and a full-length tick at its end, each drawn out to yFrame + 50 or 100 * tickUnit and back.
void DrawHorizontalSideTicks(DrawSurface& window, const AxisRounding& x, double yFrame, double tickUnit,
                             Colour colour);

// The x labels below the frame's bottom side at yBase, each under its tick.
void DrawXLabels(DrawSurface& window, const AxisRounding& x, double yBase);

// The x power-of-ten marker "x10" with its exponent under the labels at the frame's bottom right corner,
// if the labels are scaled; then the solid style.
void DrawXMarker(DrawSurface& window, const AxisRounding& x, double yBase);

// The grey vertical zero line of pen width 2 from (0, yFrom) to (0, yTo).
void DrawVerticalZeroLine(DrawSurface& window, double yFrom, double yTo);

}  // namespace pelarin
