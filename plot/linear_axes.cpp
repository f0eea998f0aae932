#include "plot/linear_axes.h"

#include "plot/axis_scale.h"

namespace pelarin {
namespace {

// The ticks of a vertical side at xFrame, bottom to top: a half-length tick at the middle of each interval
// and a full-length one at its end, drawn out to xFrame + 50 or 100 * tickUnit and back.
void DrawVerticalSideTicks(DrawSurface& window, const AxisRounding& y, double xFrame, double tickUnit,
                           Colour colour) {
  for (int k = 1; k <= y.intervals; ++k) {
    double yt = y.start + y.step * (k - 0.5);
    window.LineTo(xFrame, yt, colour);
    window.LineTo(xFrame + 50 * tickUnit, yt, colour);
    window.LineTo(xFrame, yt, colour);
    yt = y.start + y.step * k;
    window.LineTo(xFrame, yt, colour);
    window.LineTo(xFrame + 100 * tickUnit, yt, colour);
    window.LineTo(xFrame, yt, colour);
  }
}

}  // namespace

void DrawLinLinAxes(DrawSurface& linlin, PlotState& plot, double xMin, double xMax, double yMin,
                    double yMax) {
  const AxisRange xRange = DrawableRange(xMin, xMax);
  const AxisRange yRange = DrawableRange(yMin, yMax);

  const auto [W, H] = SetUpPlotWindow(linlin);
  plot.markerRadius = 30 * (xRange.hi - xRange.lo) / W;

  const AxisRounding x = RoundAxis(xRange.lo, xRange.hi);
  const AxisRounding y = RoundAxis(yRange.lo, yRange.hi);
  const double x0 = x.start, x1 = x.end, y0 = y.start, y1 = y.end;
  const double dx = x1 - x0, dy = y1 - y0;
  const double ty = 1.05 * dy / H;
  const double tx = 1.05 * dx / W;

  // A tenth of each span around the frame; y grows upwards.
  linlin.SetUserCoordinates(x0 - 0.1 * dx, y1 + 0.1 * dy, x1 + 0.1 * dx, y0 - 0.1 * dy);

  // Frame and ticks, all ticks pointing into the frame: left and top, then bottom and right.
  const Colour frame = PaletteColour(2);
  linlin.SetDrawStyle(DrawStyle::Invisible);
  linlin.LineTo(x0, y0, frame);
  linlin.SetDrawStyle(DrawStyle::Solid);
  DrawVerticalSideTicks(linlin, y, x0, tx, frame);
  DrawHorizontalSideTicks(linlin, x, y1, -ty, frame);
  linlin.SetDrawStyle(DrawStyle::Invisible);
  linlin.LineTo(x0, y0, frame);
  linlin.SetDrawStyle(DrawStyle::Solid);
  DrawHorizontalSideTicks(linlin, x, y0, ty, frame);
  DrawVerticalSideTicks(linlin, y, x1, -tx, frame);

  // Labels beside their ticks and power-of-ten markers at the frame's corners; the renderer lays them out.
  linlin.SetDrawStyle(DrawStyle::Invisible);
  for (int i = 0; i <= y.intervals; ++i) {
    const double v = y0 + y.step * i;
    linlin.SetPen(x0, v);
    linlin.Label(LabelText(v, y.step), "", LabelPlace::LeftOf);
  }
  DrawXLabels(linlin, x, y0);
  // The exponent comes from the interval, so a last label of exactly 0 does not drop the marker.
  const int L = LabelExponent(y.step);
  if (L != 0) {
    linlin.SetPen(x0, y1);
    linlin.Label("x10", MarkerExponent(L), LabelPlace::AboveLeft);
  }
  DrawXMarker(linlin, x, y0);

  // Zero lines last; a range starting or ending at 0 puts its zero line on the frame.
  if (Sgn(y1) != Sgn(y0)) {
    linlin.SetDrawMode(kCopyPen);
    linlin.SetDrawStyle(DrawStyle::Invisible);
    linlin.LineTo(x0, 0, PaletteColour(8));
    linlin.SetDrawStyle(DrawStyle::Solid);
    linlin.SetDrawWidth(2);
    linlin.LineTo(x1, 0, PaletteColour(8));
  }
  if (Sgn(x1) != Sgn(x0)) DrawVerticalZeroLine(linlin, y0, y1);
}

}  // namespace pelarin
