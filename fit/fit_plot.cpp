#include "fit/fit_plot.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "model/calc_error.h"
#include "plot/linear_axes.h"
#include "plot/log_axes.h"

namespace pelarin::fit {
namespace {

// Curve colours from the 16-colour palette, strong ones first.
constexpr int kPalette[] = {12, 9, 2, 13, 4, 1, 6, 5, 10, 3};

Colour ColourOf(std::size_t k) { return PaletteColour(kPalette[k % std::size(kPalette)]); }

// The model's current along a curve's voltage range, on a fine grid.
std::vector<std::pair<double, double>> ModelLine(const MeasuredCurve& curve, const Parameters& par) {
  const auto [lo, hi] = std::minmax_element(curve.V.begin(), curve.V.end());
  constexpr int kSteps = 200;
  MeasuredCurve grid = curve;
  grid.V.clear();
  for (int i = 0; i <= kSteps; ++i) grid.V.push_back(*lo + (*hi - *lo) * i / kSteps);
  const std::vector<double> J = ModelCurrents(grid, par);
  std::vector<std::pair<double, double>> line;
  for (std::size_t i = 0; i < J.size(); ++i)
    if (std::isfinite(J[i])) line.emplace_back(grid.V[i], J[i]);
  return line;
}

}  // namespace

bool HasPicture(const FitOptions& options, FitPicture picture) {
  if (picture == FitPicture::Residuals) return true;
  return std::any_of(options.curves.begin(), options.curves.end(),
                     [&](const MeasuredCurve& c) { return c.Dark() == (picture == FitPicture::Dark); });
}

void DrawFitPicture(const FitOptions& options, const FitResult& result, FitPicture picture,
                    RecordingSurface& surface) {
  const bool dark = picture == FitPicture::Dark;
  // y of a current: itself on linear axes, its natural logarithm (of |J|) on the linear-log ones.
  const auto y = [&](double J) { return dark ? std::log(std::abs(J)) : J; };
  std::vector<std::size_t> shown;
  double xLo = std::numeric_limits<double>::infinity(), xHi = -xLo, yLo = xLo, yHi = -xLo;
  std::vector<std::vector<double>> residuals(options.curves.size());
  for (std::size_t k = 0; k < options.curves.size(); ++k) {
    const MeasuredCurve& c = options.curves[k];
    if (picture != FitPicture::Residuals && c.Dark() != dark) continue;
    shown.push_back(k);
    const std::vector<double> model = ModelCurrents(c, result.fitted);
    for (std::size_t i = 0; i < c.V.size(); ++i) {
      xLo = std::min(xLo, c.V[i]), xHi = std::max(xHi, c.V[i]);
      double value = c.J[i];
      if (picture == FitPicture::Residuals) {
        // As the fit counts them: in fractions of the lit curve's largest |J|, in decades on a dark one.
        double largest = 0;
        for (const double J : c.J) largest = std::max(largest, std::abs(J));
        value = c.Dark() ? std::log10(std::abs(model[i])) - std::log10(std::abs(c.J[i]))
                         : (model[i] - c.J[i]) / largest;
        residuals[k].push_back(value);
        if (!std::isfinite(value)) continue;
        yLo = std::min(yLo, value), yHi = std::max(yHi, value);
      } else if (!dark || c.J[i] != 0) {
        yLo = std::min(yLo, dark ? std::abs(value) : value),
        yHi = std::max(yHi, dark ? std::abs(value) : value);
      }
    }
  }
  if (shown.empty() || !(xLo <= xHi) || !(yLo <= yHi)) throw CalcError("there is no curve to draw");
  PlotState plot;
  if (dark)
    DrawLinLogAxes(surface, plot, xLo, xHi, yLo, yHi);
  else
    DrawLinLinAxes(surface, plot, xLo, xHi, yLo, yHi);
  const char* titles[] = {"Fit: lit curves, measured (points) and fitted (lines)",
                          "Fit: dark curves, measured (points) and fitted (lines)",
                          "Fit: residuals (lit: of the curve's largest |J|; dark: decades)"};
  surface.SetTitles({.title = titles[static_cast<int>(picture)],
                     .xTitle = "V (V)",
                     .yTitle = picture == FitPicture::Residuals ? "residual" : "J (A/cm2)",
                     .logY = dark});
  surface.SetFillStyle(FillStyle::Transparent);  // measured points as rings, the fitted line through them
  for (std::size_t n = 0; n < shown.size(); ++n) {
    const std::size_t k = shown[n];
    const MeasuredCurve& c = options.curves[k];
    const Colour colour = ColourOf(n);
    // A curve of a campaign is named with its conditions: "lit" may be there at three temperatures. The
    // points and the line of a curve differ by their first word, which a narrow legend still shows.
    const std::string name = c.T || c.X ? c.Label(result.fitted) : c.name;
    const bool residual = picture == FitPicture::Residuals;
    surface.BeginCurve({.name = residual ? name : "measured: " + name,
                        .colour = colour,
                        .hollow = true,
                        .figures = std::nullopt});
    surface.SetFillColour(PaletteColour(15));  // white inside: rings, as the measured overlay draws them
    for (std::size_t i = 0; i < c.V.size(); ++i) {
      const double value = picture == FitPicture::Residuals ? residuals[k][i] : y(c.J[i]);
      if (std::isfinite(value)) surface.Circle(c.V[i], value, plot.markerRadius, colour);
    }
    if (residual) continue;
    // The fitted line in a colour of its own, with its own legend entry: the points are the measurement.
    const Colour lineColour = ColourOf(n + std::size(kPalette) / 2);
    surface.BeginCurve(
        {.name = "fitted: " + name, .colour = lineColour, .hollow = false, .figures = std::nullopt});
    surface.SetDrawWidth(2);
    bool first = true;
    for (const auto& [V, J] : ModelLine(c, result.fitted)) {
      const double value = y(J);
      if (!std::isfinite(value)) {
        first = true;
        continue;
      }
      if (first)
        surface.SetPen(V, value);
      else
        surface.LineTo(V, value, lineColour);
      first = false;
    }
    surface.SetDrawWidth(1);
  }
}

}  // namespace pelarin::fit
