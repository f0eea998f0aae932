#include "plot/log_axes.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <utility>

#include "model/calc_error.h"
#include "plot/axis_scale.h"

namespace pelarin {
namespace {

// Current densities are kept where their powers of ten are normal numbers.
constexpr double kSmallestCurrent = 1e-300;
constexpr double kLargestCurrent = 1e300;

// A tick at height y on a vertical side: out from xFrame to xEnd and back.
void Tick(DrawSurface& window, double xFrame, double xEnd, double y, Colour colour) {
  window.LineTo(xFrame, y, colour);
  window.LineTo(xEnd, y, colour);
  window.LineTo(xFrame, y, colour);
}

// The ticks of a vertical side at xFrame, decade by decade: long ticks at 1 to 10 times each decade, on
// two decades or fewer short ticks at 1.1 to 2.0 times, on four or fewer half ticks at 1.5 up to
// lastHalf + 0.5 times.
void DrawDecadeTicks(DrawSurface& window, const DecadeBounds& b, double xFrame, double tickUnit, int lastHalf,
                     Colour colour) {
  const int D = b.decades;
  for (int d = 0; d <= D - 1; ++d) {
    for (int k = 1; k <= 10; ++k) {
      Tick(window, xFrame, xFrame + 100 * tickUnit, b.lnLo + std::log(k * std::pow(10.0, d)), colour);
      if (D <= 2 && k == 1) {
        for (int j = 1; j <= 10; ++j) {
          const double y = b.lnLo + std::log(std::pow(10.0, d) + j * std::pow(10.0, d - 1));
          Tick(window, xFrame, xFrame + 50 * tickUnit, y, colour);
        }
      }
      if (D <= 4 && k <= lastHalf)
        Tick(window, xFrame, xFrame + 50 * tickUnit, b.lnLo + std::log((k + 0.5) * std::pow(10.0, d)),
             colour);
    }
  }
}

void SetLowerDecade(DecadeBounds& b, int nLo) {
  b.nLo = nLo;
  b.yLo = std::pow(10.0, nLo);
  b.lnLo = std::log(b.yLo);
  b.dl = b.lnHi - b.lnLo;
  b.decades = b.nHi - b.nLo;
}

}  // namespace

DecadeBounds DecadesOf(double yMin, double yMax) {
  if (!std::isfinite(yMin) || !std::isfinite(yMax) || std::max(yMin, yMax) > kLargestCurrent)
    throw CalcError("The current-density range cannot be drawn on decades.");
  if (yMax < yMin) std::swap(yMin, yMax);
  // A decade axis needs positive bounds.
  if (yMax <= 0) {
    yMin = 1e-6;
    yMax = 1;
  } else if (yMin <= 0) {
    yMin = yMax * 1e-6;
  }
  yMin = std::max(yMin, kSmallestCurrent);
  yMax = std::max(yMax, yMin);

  const double ln10 = std::log(10.0);
  DecadeBounds b;
  // The factor 1.001 keeps a lower bound that is an exact power of ten in its own decade.
  const int nLo = static_cast<int>(std::floor(std::log(1.001 * yMin) / ln10));
  b.yHi = std::pow(10.0, std::floor(std::log(yMax) / ln10));
  if (yMax / b.yHi > 1) b.yHi = 10 * b.yHi;
  b.lnHi = std::log(b.yHi);
  const double exponent = b.lnHi / ln10;
  b.nHi = static_cast<int>(std::floor(exponent));
  if (exponent - b.nHi > 0.5) b.nHi = b.nHi + 1;  // the quotient fell just short of the whole number
  SetLowerDecade(b, nLo);
  // A lower bound within the 0.1 % below a top that is an exact power of ten leaves no decade (and a
  // division by D = 0 in the labels): show the decade below the top.
  if (b.decades < 1) SetLowerDecade(b, b.nHi - 1);
  return b;
}

void DrawLinLogAxes(DrawSurface& linlog, PlotState& plot, double xMin, double xMax, double yMin,
                    double yMax) {
  const AxisRange xRange = DrawableRange(xMin, xMax);
  const DecadeBounds b = DecadesOf(yMin, yMax);

  const auto [W, H] = SetUpPlotWindow(linlog);
  plot.markerRadius = 30 * (xRange.hi - xRange.lo) / W;

  const AxisRounding x = RoundAxis(xRange.lo, xRange.hi);
  const double x0 = x.start, x1 = x.end, dx = x1 - x0;
  const double lnLo = b.lnLo, lnHi = b.lnHi, dl = b.dl;
  const int D = b.decades;
  const double tx = 1.05 * dx / W;
  const double ty = dl / H;

  linlog.SetUserCoordinates(x0 - 0.1 * dx, lnHi + 0.1 * dl, x1 + 0.1 * dx, lnLo - 0.1 * dl);

  // Current axis in dark red on the vertical sides, voltage axis in dark green on the horizontal ones.
  const Colour currentSide = PaletteColour(4);
  const Colour voltageSide = PaletteColour(2);
  linlog.SetDrawStyle(DrawStyle::Invisible);
  linlog.LineTo(x0, lnLo, currentSide);
  linlog.SetDrawStyle(DrawStyle::Solid);
  DrawDecadeTicks(linlog, b, x0, tx, 7, currentSide);
  DrawHorizontalSideTicks(linlog, x, lnHi, -ty, voltageSide);
  linlog.SetDrawStyle(DrawStyle::Invisible);
  linlog.LineTo(x0, lnLo, voltageSide);
  linlog.SetDrawStyle(DrawStyle::Solid);
  DrawHorizontalSideTicks(linlog, x, lnLo, ty, voltageSide);
  DrawDecadeTicks(linlog, b, x1, -tx, 8, currentSide);

  // Decade labels "10" with the exponent raised after them, then the x labels and marker.
  linlog.SetDrawStyle(DrawStyle::Invisible);
  for (int i = 0; i <= D; ++i) {
    linlog.SetPen(x0, lnLo + i * dl / D);
    linlog.Label("10", std::to_string(b.nLo + i), LabelPlace::LeftOf);
  }
  DrawXLabels(linlog, x, lnLo);
  DrawXMarker(linlog, x, lnLo);

  if (Sgn(x1) != Sgn(x0)) DrawVerticalZeroLine(linlog, lnLo, lnHi);
  linlog.SetDrawStyle(DrawStyle::Solid);
}

}  // namespace pelarin
