#include "app/scan_plot.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <limits>
#include <map>
#include <sstream>

#include "model/number_text.h"
#include "model/parameter_table.h"
#include "model/state.h"
#include "plot/axis_scale.h"
#include "plot/linear_axes.h"

namespace pelarin {
namespace {

// One row of a scan file as the plot needs it.
struct ScanRow {
  std::int64_t cell = 0;
  std::string curve;
  std::optional<double> figure;
};

std::vector<ScanRow> RowsOf(const ScanFile& file, std::size_t axes, int figure) {
  std::vector<ScanRow> rows;
  const std::size_t curveColumn = 2 + axes + 1;
  const std::size_t figureColumn = curveColumn + 1 + static_cast<std::size_t>(figure);
  for (const ScanCell& cell : file.cells) {
    std::istringstream lines(cell.rows);
    for (std::string line; std::getline(lines, line);) {
      const auto fields = SplitScanRow(line);
      if (fields.size() <= figureColumn) continue;
      ScanRow row{cell.cell, fields[curveColumn], std::nullopt};
      const double value = fields[figureColumn].empty() ? NAN : Val(fields[figureColumn]);
      if (std::isfinite(value)) row.figure = value;
      rows.push_back(std::move(row));
    }
  }
  return rows;
}

// The coordinate of an axis value: the value, or its decimal logarithm on a log axis.
double Coordinate(const ScanAxis& axis, int i) {
  const double v = AxisValue(axis, i);
  return axis.log ? std::log10(v) : v;
}

std::string AxisTitle(const ScanAxis& axis) {
  const int box = ParameterIndex(axis.name);
  const std::string unit =
      box >= 0 ? std::string(kParameterRows[static_cast<std::size_t>(box)].unit) : std::string();
  if (axis.log) return "log10(" + axis.name + ")" + (unit.empty() ? "" : ", " + axis.name + " in " + unit);
  return unit.empty() ? axis.name : axis.name + " (" + unit + ")";
}

// The figure's column title, with its unit, from the file's header.
std::string FigureTitle(const ScanFile& file, std::size_t axes, int figure) {
  const auto header = SplitScanRow(file.header);
  const std::size_t column = 2 + axes + 2 + static_cast<std::size_t>(figure);
  return column < header.size() ? header[column] : std::string(kScanFigures[figure]);
}

// The borders of an axis's cells: halfway between neighbouring values; the end cells stop at the end
// values, so that the map covers the scanned range and no more.
std::vector<double> CellEdges(const ScanAxis& axis) {
  std::vector<double> t;
  t.reserve(static_cast<std::size_t>(axis.points));
  for (int i = 0; i < axis.points; ++i) t.push_back(Coordinate(axis, i));
  std::vector<double> edges;
  edges.push_back(t.front());
  for (std::size_t i = 1; i < t.size(); ++i) edges.push_back((t[i - 1] + t[i]) / 2);
  edges.push_back(t.back());
  return edges;
}

// Curve colours from the 16-colour palette, strong ones first.
constexpr int kCurvePalette[] = {12, 9, 2, 13, 4, 1, 6, 5, 10, 3, 8, 0};

// The colour bar is painted in this many bands, finer than the eye tells apart.
constexpr int kBarBands = 128;

std::string ShortLabel(double v) { return GeneralText(v, 4); }

void DrawCurves(const std::vector<ScanRow>& rows, const ScanAxis& axis, const std::string& title,
                const std::string& yTitle, const std::map<std::string, Colour>& colours,
                RecordingSurface& surface) {
  std::vector<std::string> names;
  std::map<std::string, std::vector<std::pair<double, double>>> points;
  double yLo = std::numeric_limits<double>::infinity(), yHi = -yLo;
  for (const ScanRow& row : rows) {
    if (!row.figure || row.cell < 0 || row.cell >= axis.points) continue;
    if (!points.contains(row.curve)) names.push_back(row.curve);
    points[row.curve].emplace_back(Coordinate(axis, static_cast<int>(row.cell)), *row.figure);
    yLo = std::min(yLo, *row.figure);
    yHi = std::max(yHi, *row.figure);
  }
  if (names.empty()) yLo = 0, yHi = 1;
  const double x0 = Coordinate(axis, 0), x1 = Coordinate(axis, axis.points - 1);
  PlotState plot;
  DrawLinLinAxes(surface, plot, std::min(x0, x1), std::max(x0, x1), yLo, yHi);
  surface.SetTitles({.title = title, .xTitle = AxisTitle(axis), .yTitle = yTitle, .logY = false});
  surface.SetFillStyle(FillStyle::Solid);
  std::vector<Colour> used;
  for (std::size_t k = 0; k < names.size(); ++k) {
    const auto own = colours.find(names[k]);
    Colour colour = PaletteColour(kCurvePalette[k % std::size(kCurvePalette)]);
    if (own != colours.end() && std::find(used.begin(), used.end(), own->second) == used.end())
      colour = own->second;
    used.push_back(colour);
    auto& curve = points[names[k]];
    std::sort(curve.begin(), curve.end());
    surface.BeginCurve({.name = names[k], .colour = colour, .hollow = false, .figures = std::nullopt});
    surface.SetDrawWidth(2);
    for (std::size_t i = 0; i < curve.size(); ++i) {
      if (i == 0)
        surface.SetPen(curve[i].first, curve[i].second);
      else
        surface.LineTo(curve[i].first, curve[i].second, colour);
    }
    surface.SetDrawWidth(1);
    surface.SetFillColour(colour);
    for (const auto& [x, y] : curve) surface.Circle(x, y, 2 * plot.markerRadius, colour);
  }
}

ScanMap MapOf(const std::vector<ScanRow>& rows, const std::vector<ScanAxis>& axes) {
  ScanMap map;
  const ScanGrid grid{axes};
  // The curve of the first row with the figure: a failed first cell names no curve.
  const auto first =
      std::find_if(rows.begin(), rows.end(), [](const ScanRow& row) { return row.figure.has_value(); });
  map.curve = first == rows.end() ? std::string() : first->curve;
  map.values.resize(static_cast<std::size_t>(grid.Cells()));
  for (const ScanRow& row : rows)
    if (row.curve == map.curve && row.figure && row.cell >= 0 && row.cell < grid.Cells())
      map.values[static_cast<std::size_t>(row.cell)] = row.figure;
  map.xEdges = CellEdges(axes[0]);
  map.yEdges = CellEdges(axes[1]);
  return map;
}

// The cell of an axis whose borders hold v (the borders run up or down), or -1.
int CellOf(const std::vector<double>& edges, double v) {
  const auto cells = static_cast<int>(edges.size()) - 1;
  const bool up = edges.back() >= edges.front();
  if (!(up ? edges.front() <= v && v <= edges.back() : edges.back() <= v && v <= edges.front())) return -1;
  int lo = 0, hi = cells;  // the cell lies in [lo, hi)
  while (hi - lo > 1) {
    const int mid = (lo + hi) / 2;
    if (up ? v < edges[static_cast<std::size_t>(mid)] : v > edges[static_cast<std::size_t>(mid)])
      hi = mid;
    else
      lo = mid;
  }
  return lo;
}

void DrawMap(const ScanMap& map, const std::vector<ScanAxis>& axes, const std::string& title,
             const std::string& figureTitle, RecordingSurface& surface) {
  const std::string& curve = map.curve;
  const auto& values = map.values;
  const int nx = axes[0].points, ny = axes[1].points;
  double vLo = std::numeric_limits<double>::infinity(), vHi = -vLo;
  for (const auto& v : values)
    if (v) vLo = std::min(vLo, *v), vHi = std::max(vHi, *v);
  const std::vector<double>&ex = map.xEdges, &ey = map.yEdges;
  const auto [xLo, xHi] = std::minmax(ex.front(), ex.back());
  const auto [yLo, yHi] = std::minmax(ey.front(), ey.back());
  PlotState plot;
  DrawLinLinAxes(surface, plot, xLo, xHi, yLo, yHi);
  surface.SetTitles({.title = title + (curve.empty() ? "" : ", " + curve),
                     .xTitle = AxisTitle(axes[0]),
                     .yTitle = AxisTitle(axes[1]),
                     .logY = false});

  auto colourOf = [&](double v) { return ScanMapColour(vHi > vLo ? (v - vLo) / (vHi - vLo) : 0.5); };
  // Each column of cells in runs of one colour: the same picture in fewer rectangles, as a smooth map has
  // long runs.
  for (int i = 0; i < nx; ++i) {
    const auto column = values.begin() + static_cast<std::ptrdiff_t>(i) * ny;
    for (int j = 0; j < ny;) {
      const auto& v = column[j];
      int end = j + 1;
      if (v) {
        const Colour colour = colourOf(*v);
        while (end < ny && column[end] && colourOf(*column[end]) == colour) ++end;
        surface.FillRect(ex[i], ey[j], ex[i + 1], ey[end], colour);
      }
      j = end;
    }
  }

  // The frame again, over the map's edges.
  surface.SetDrawStyle(DrawStyle::Solid);
  const AxisRounding fx = RoundAxis(DrawableRange(xLo, xHi).lo, DrawableRange(xLo, xHi).hi);
  const AxisRounding fy = RoundAxis(DrawableRange(yLo, yHi).lo, DrawableRange(yLo, yHi).hi);
  const double dx = fx.end - fx.start, dy = fy.end - fy.start;
  surface.SetDrawWidth(1);
  surface.SetPen(fx.start, fy.start);
  for (const auto& [x, y] :
       {std::pair{fx.end, fy.start}, {fx.end, fy.end}, {fx.start, fy.end}, {fx.start, fy.start}})
    surface.LineTo(x, y, PaletteColour(2));

  // The colour bar in the margin right of the frame, with its values written beside it.
  const double barLeft = fx.end + 0.015 * dx, barRight = fx.end + 0.04 * dx;
  for (int k = 0; k < kBarBands; ++k) {
    const double t0 = static_cast<double>(k) / kBarBands, t1 = static_cast<double>(k + 1) / kBarBands;
    surface.FillRect(barLeft, fy.start + t0 * dy, barRight, fy.start + t1 * dy, ScanMapColour((t0 + t1) / 2));
  }
  surface.SetForeColour(PaletteColour(0));
  if (vLo <= vHi) {
    constexpr int kTicks = 4;
    for (int k = 0; k <= kTicks; ++k) {
      const double t = static_cast<double>(k) / kTicks;
      surface.SetPen(barRight + 0.005 * dx, fy.start + t * dy + 0.02 * dy);
      surface.Print(ShortLabel(vLo + t * (vHi - vLo)));
    }
  }
  // The figure's title over the bar, reaching back over the frame so that a long one stays in the picture.
  surface.SetPen(fx.end - 0.1 * dx, fy.end + 0.08 * dy);
  surface.Print(figureTitle);
}

// A value at fraction p of the sorted values, linear between neighbours.
double Percentile(const std::vector<double>& sorted, double p) {
  const double h = (static_cast<double>(sorted.size()) - 1) * p;
  const auto lo = static_cast<std::size_t>(h);
  if (lo + 1 >= sorted.size()) return sorted.back();
  return sorted[lo] + (h - static_cast<double>(lo)) * (sorted[lo + 1] - sorted[lo]);
}

// The figure's values of each curve, curves in the order they first appear.
std::vector<std::pair<std::string, std::vector<double>>> ValuesByCurve(const std::vector<ScanRow>& rows) {
  std::vector<std::pair<std::string, std::vector<double>>> curves;
  for (const ScanRow& row : rows) {
    if (!row.figure) continue;
    auto it = std::find_if(curves.begin(), curves.end(), [&](const auto& c) { return c.first == row.curve; });
    if (it == curves.end()) it = curves.insert(curves.end(), {row.curve, {}});
    it->second.push_back(*row.figure);
  }
  return curves;
}

// Each curve's figure as a histogram drawn in outline: bins shared by the curves, about the square root of
// the largest count of them (5 to 50), over the range of all values.
void DrawHistogram(const std::vector<ScanRow>& rows, const std::string& title, const std::string& xTitle,
                   const std::map<std::string, Colour>& colours,
                   const std::map<std::string, FigureSpread>& spreads, RecordingSurface& surface) {
  const auto curves = ValuesByCurve(rows);
  double lo = std::numeric_limits<double>::infinity(), hi = -lo;
  std::size_t most = 0;
  for (const auto& [name, values] : curves) {
    most = std::max(most, values.size());
    for (const double v : values) lo = std::min(lo, v), hi = std::max(hi, v);
  }
  if (curves.empty()) lo = 0, hi = 1;
  if (!(hi > lo)) {  // one value: a bin around it
    const double half = lo == 0 ? 1 : std::abs(lo) * 0.01;
    lo -= half, hi += half;
  }
  const int bins = std::clamp(static_cast<int>(std::ceil(std::sqrt(static_cast<double>(most)))), 5, 50);
  const double width = (hi - lo) / bins;
  std::vector<std::vector<int>> counts;
  int top = 1;
  for (const auto& [name, values] : curves) {
    counts.emplace_back(bins, 0);
    for (const double v : values) ++counts.back()[std::min(bins - 1, static_cast<int>((v - lo) / width))];
    top = std::max(top, *std::max_element(counts.back().begin(), counts.back().end()));
  }
  PlotState plot;
  // Room above the bins for a line per curve with its spread, as the batch tool's table gives it.
  const double room = spreads.empty() ? 1 : 1.12 + 0.08 * static_cast<double>(curves.size());
  DrawLinLinAxes(surface, plot, lo, hi, 0, top * room);
  surface.SetTitles({.title = title, .xTitle = xTitle, .yTitle = "cells", .logY = false});
  for (std::size_t k = 0; k < curves.size(); ++k) {
    const auto spread = spreads.find(curves[k].first);
    if (spread == spreads.end()) continue;
    const FigureSpread& s = spread->second;
    const auto number = [](double x) { return SignificantText(x, 4); };
    surface.SetPen(lo + 0.02 * (hi - lo), top * (room - 0.04 - 0.08 * static_cast<double>(k)));
    surface.Print(curves[k].first + ": mean " + number(s.mean) + ", SD " + number(s.sd) +
                  ", 5/50/95 %: " + number(s.p5) + ", " + number(s.p50) + ", " + number(s.p95));
  }
  std::vector<Colour> used;
  for (std::size_t k = 0; k < curves.size(); ++k) {
    const auto own = colours.find(curves[k].first);
    Colour colour = PaletteColour(kCurvePalette[k % std::size(kCurvePalette)]);
    if (own != colours.end() && std::find(used.begin(), used.end(), own->second) == used.end())
      colour = own->second;
    used.push_back(colour);
    surface.BeginCurve({.name = curves[k].first, .colour = colour, .hollow = false, .figures = std::nullopt});
    surface.SetDrawWidth(2);
    surface.SetPen(lo, 0);
    for (int b = 0; b < bins; ++b) {
      const double left = lo + b * width, right = b + 1 == bins ? hi : left + width;
      const double count = counts[k][static_cast<std::size_t>(b)];
      surface.LineTo(left, count, colour);
      surface.LineTo(right, count, colour);
    }
    surface.LineTo(hi, 0, colour);
    surface.SetDrawWidth(1);
  }
}

}  // namespace

std::vector<FigureSpread> SpreadOf(const ScanFile& file, std::size_t axes) {
  std::vector<FigureSpread> spreads;
  std::vector<std::vector<std::pair<std::string, std::vector<double>>>> byFigure;
  byFigure.reserve(std::size(kScanFigures));
  for (int figure = 0; figure < static_cast<int>(std::size(kScanFigures)); ++figure)
    byFigure.push_back(ValuesByCurve(RowsOf(file, axes, figure)));
  if (byFigure.empty()) return spreads;
  // Curve by curve, in the order of the file, each figure that some cell has.
  for (const auto& first : byFigure[0]) {
    const std::string& curve = first.first;
    for (int figure = 0; figure < static_cast<int>(byFigure.size()); ++figure) {
      const auto& curves = byFigure[static_cast<std::size_t>(figure)];
      const auto it =
          std::find_if(curves.begin(), curves.end(), [&](const auto& c) { return c.first == curve; });
      if (it == curves.end() || it->second.empty()) continue;
      std::vector<double> v = it->second;
      std::sort(v.begin(), v.end());
      FigureSpread s{.curve = curve,
                     .figure = FigureTitle(file, axes, figure),
                     .count = static_cast<std::int64_t>(v.size())};
      double sum = 0;
      for (const double x : v) sum += x;
      s.mean = sum / static_cast<double>(v.size());
      double squares = 0;
      for (const double x : v) squares += (x - s.mean) * (x - s.mean);
      s.sd = v.size() > 1 ? std::sqrt(squares / static_cast<double>(v.size() - 1)) : 0;
      s.p5 = Percentile(v, 0.05), s.p50 = Percentile(v, 0.5), s.p95 = Percentile(v, 0.95);
      spreads.push_back(s);
    }
  }
  return spreads;
}

std::string SpreadTable(const std::vector<FigureSpread>& spreads) {
  std::size_t curveWidth = 5, figureWidth = 6;
  for (const FigureSpread& s : spreads)
    curveWidth = std::max(curveWidth, s.curve.size()), figureWidth = std::max(figureWidth, s.figure.size());
  char line[512];
  std::snprintf(line, sizeof line, "%-*s  %-*s  %7s  %12s  %12s  %12s  %12s  %12s\n",
                static_cast<int>(curveWidth), "curve", static_cast<int>(figureWidth), "figure", "cells",
                "mean", "sd", "5 %", "50 %", "95 %");
  std::string table = line;
  for (const FigureSpread& s : spreads) {
    std::snprintf(line, sizeof line, "%-*s  %-*s  %7lld  %12.6g  %12.6g  %12.6g  %12.6g  %12.6g\n",
                  static_cast<int>(curveWidth), s.curve.c_str(), static_cast<int>(figureWidth),
                  s.figure.c_str(), static_cast<long long>(s.count), s.mean, s.sd, s.p5, s.p50, s.p95);
    table += line;
  }
  return table;
}

Colour ScanMapColour(double t) {
  // A dark-blue to green to yellow ramp, light rising throughout, so that it reads in grey as well.
  static constexpr double kStops[][3] = {
      {68, 1, 84}, {59, 82, 139}, {33, 145, 140}, {94, 201, 98}, {253, 231, 37}};
  constexpr int kLast = static_cast<int>(std::size(kStops)) - 1;
  t = std::clamp(std::isfinite(t) ? t : 0.0, 0.0, 1.0) * kLast;
  const int i = std::min(static_cast<int>(t), kLast - 1);
  const double f = t - i;
  auto mix = [&](int c) {
    return static_cast<int>(std::lround(kStops[i][c] + f * (kStops[i + 1][c] - kStops[i][c])));
  };
  return Rgb(mix(0), mix(1), mix(2));
}

std::optional<int> ScanFigureIndex(std::string_view name) {
  for (std::size_t i = 0; i < std::size(kScanFigures); ++i)
    if (kScanFigures[i] == name) return static_cast<int>(i);
  return std::nullopt;
}

bool IsScanPlotPath(std::string_view path) {
  const auto dot = path.rfind('.');
  if (dot == std::string_view::npos || path.find('/', dot) != std::string_view::npos) return false;
  std::string suffix(path.substr(dot + 1));
  for (char& c : suffix) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return suffix == "png" || suffix == "svg";
}

std::optional<double> ScanMap::At(double x, double y) const {
  if (xEdges.size() < 2 || yEdges.size() < 2) return std::nullopt;
  const int i = CellOf(xEdges, x), j = CellOf(yEdges, y);
  if (i < 0 || j < 0) return std::nullopt;
  return values[static_cast<std::size_t>(i) * (yEdges.size() - 1) + static_cast<std::size_t>(j)];
}

ScanMap ScanMapOf(const ScanFile& file, const std::vector<ScanAxis>& axes, int figure) {
  return MapOf(RowsOf(file, axes.size(), figure), axes);
}

void DrawScanPlot(const ScanFile& file, const std::vector<ScanAxis>& axes, int figure,
                  const std::string& study, const std::map<std::string, Colour>& colours,
                  RecordingSurface& surface) {
  const std::vector<ScanRow> rows = RowsOf(file, axes.size(), figure);
  const std::string figureTitle = FigureTitle(file, axes.size(), figure);
  if (!axes.empty() && axes[0].spread) {
    std::int64_t cells = 0;
    for (const ScanCell& cell : file.cells) cells = std::max(cells, cell.cells);
    std::map<std::string, FigureSpread> spreads;
    for (const FigureSpread& s : SpreadOf(file, axes.size()))
      if (s.figure == figureTitle) spreads.emplace(s.curve, s);
    DrawHistogram(rows,
                  study + ": " + std::string(kScanFigures[figure]) + " over a sample of " +
                      std::to_string(cells) + " cells",
                  figureTitle, colours, spreads, surface);
  } else if (axes.size() == 1) {
    DrawCurves(rows, axes[0], study + ": " + std::string(kScanFigures[figure]) + " against " + axes[0].name,
               figureTitle, colours, surface);
  } else {
    DrawMap(
        MapOf(rows, axes), axes,
        study + ": " + std::string(kScanFigures[figure]) + " over " + axes[0].name + " and " + axes[1].name,
        figureTitle, surface);
  }
}

}  // namespace pelarin
