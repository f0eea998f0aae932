#include "plot/axis_scale.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "model/calc_error.h"
#include "model/number_text.h"

namespace pelarin {
namespace {

// Below this span relative to the bounds' size, a range counts as flat: the start of a negative range is
// walked down by single intervals, which would take too long (or never end) for a sliver of a range.
constexpr double kMinRelativeSpan = 1e-6;
// Spans and bounds are kept where the powers of ten of the rounding and the labels stay finite and non-zero.
constexpr double kSmallestSpan = 1e-200;
constexpr double kLargestBound = 1e300;

// A number on a plot window: the plain numeric text followed by a blank.
std::string PlotNumber(double value) { return PlainNumber(value) + " "; }

std::string InMessage(double value) {
  std::string text = PlainNumber(value);
  if (!text.empty() && text.front() == ' ') text.erase(0, 1);
  return text;
}

}  // namespace

int Sgn(double v) { return (v > 0) - (v < 0); }

ReferenceExtents SetUpPlotWindow(DrawSurface& window) {
  window.SetWindowStateNormal();
  window.SetScaleHeight(kReferenceHeight);
  window.SetScaleWidth(kReferenceWidth);
  // The extents are read back as whole numbers.
  const ReferenceExtents extents{static_cast<int>(std::lround(window.ScaleWidth())),
                                 static_cast<int>(std::lround(window.ScaleHeight()))};
  window.SetDrawMode(kCopyPen);
  // Frames and ticks are thin, whatever width the zero lines or an overlay of the previous plot left.
  window.SetDrawWidth(1);
  window.SetBackColour(PaletteColour(15));
  window.SetForeColour(PaletteColour(0));
  return extents;
}

AxisRange DrawableRange(double lo, double hi) {
  if (!std::isfinite(lo) || !std::isfinite(hi) || std::max(std::abs(lo), std::abs(hi)) > kLargestBound)
    throw CalcError("The plot range from " + InMessage(lo) + " to " + InMessage(hi) + " cannot be drawn.");
  if (hi < lo) std::swap(lo, hi);
  const double span = hi - lo;
  if (span > std::max(std::abs(lo), std::abs(hi)) * kMinRelativeSpan && span > kSmallestSpan) return {lo, hi};
  // A flat range (a curve at one value): show a tenth of the value on each side, or -1 to 1 around zero.
  const double centre = lo + span / 2;
  const double half = std::abs(centre) > 100 * kSmallestSpan ? std::abs(centre) / 10 : 1;
  return {centre - half, centre + half};
}

AxisRounding RoundAxis(double lo, double hi) {
  double s = hi - lo;
  int e = 0;
  if (s < 1) {
    while (s <= 1) {
      s = s * 10;
      e = e + 1;
    }
  } else {
    while (s >= 10) {
      s = s / 10;
      e = e - 1;
    }
  }
  // Snap the mantissa; exactly 1.6 and 3.5 are left as they are.
  if (s < 1.6) s = 1;
  if (s > 1.6 && s < 3.5) s = 2;
  if (s > 3.5) s = 5;
  s = s / std::pow(10.0, e);

  // For a negative lo the first value is its mirror image above zero, walked down by single intervals.
  double a0 = std::floor(10 * lo / s) * (Sgn(lo) * s / 10);
  while (a0 > lo) a0 = a0 - s / 10;
  int n = 0;
  double a1 = a0;
  while (a1 < hi) {
    n = n + 1;
    a1 = a0 + n * s / 10;
  }
  return {a0, a1, n, (a1 - a0) / n};
}

int LabelExponent(double step) {
  int L = 0;
  double p = step;
  if (step > 1000) {
    while (p >= 10) {
      p = p / 10;
      L = L - 1;
    }
  } else if (step < 0.01) {
    while (p <= 1) {
      p = p * 10;
      L = L + 1;
    }
  }
  return L;
}

std::string AxisLabel(double v, double step, std::string_view zeroText) {
  if (step > 1000 || step < 0.01) {
    if (v == 0) return std::string(zeroText);
    const double scaled = v * std::pow(10.0, LabelExponent(step));
    return PlotNumber(Sgn(scaled) * std::floor(10 * std::abs(scaled) + 0.5) / 10);
  }
  return PlotNumber(Sgn(v) * std::floor(100 * std::abs(v) + 0.5) / 100);
}

void DrawHorizontalSideTicks(DrawSurface& window, const AxisRounding& x, double yFrame, double tickUnit,
                             Colour colour) {
  for (int k = 1; k <= x.intervals; ++k) {
    double xt = x.start + x.step * (k - 0.5);
    window.LineTo(xt, yFrame, colour);
    window.LineTo(xt, yFrame + 50 * tickUnit, colour);
    window.LineTo(xt, yFrame, colour);
    xt = x.start + x.step * k;
    window.LineTo(xt, yFrame, colour);
    window.LineTo(xt, yFrame + 100 * tickUnit, colour);
    window.LineTo(xt, yFrame, colour);
  }
}

std::string LabelText(double v, double step) {
  std::string text = AxisLabel(v, step, "0");
  const auto first = text.find_first_not_of(' ');
  if (first == std::string::npos) return "0";
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

std::string MarkerExponent(int L) { return std::to_string(-L); }

void DrawXLabels(DrawSurface& window, const AxisRounding& x, double yBase) {
  for (int i = 0; i <= x.intervals; ++i) {
    const double v = x.start + x.step * i;
    window.SetPen(v, yBase);
    window.Label(LabelText(v, x.step), "", LabelPlace::Below);
  }
}

void DrawXMarker(DrawSurface& window, const AxisRounding& x, double yBase) {
  // The exponent comes from the interval, so a last label of exactly 0 does not drop the marker.
  const int L = LabelExponent(x.step);
  if (L != 0) {
    window.SetPen(x.end, yBase);
    window.Label("x10", MarkerExponent(L), LabelPlace::BelowRight);
  }
  window.SetDrawStyle(DrawStyle::Solid);
}

void DrawVerticalZeroLine(DrawSurface& window, double yFrom, double yTo) {
  window.SetDrawMode(kCopyPen);
  window.SetDrawStyle(DrawStyle::Invisible);
  window.LineTo(0, yFrom, PaletteColour(8));
  window.SetDrawStyle(DrawStyle::Solid);
  window.SetDrawWidth(2);
  window.LineTo(0, yTo, PaletteColour(8));
}

}  // namespace pelarin
