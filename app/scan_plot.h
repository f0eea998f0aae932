// The picture of a scan: one figure of merit against the varied parameter, one line per curve, or, over a
// grid of two parameters, a colour map of the figure with its colour bar. Drawn on a recording surface
// from the rows of the scan file, so that a resumed scan is drawn whole.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/scan_file.h"
#include "app/scan_grid.h"
#include "plot/recording_surface.h"

namespace pelarin {

// The figures a scan can draw, in the order of the file's figure columns.
inline constexpr std::string_view kScanFigures[] = {"Voc", "Jsc", "FF", "Pmax", "Vmp", "Jmp", "efficiency"};

// The column of a figure among the figure columns (0 for Voc), or nothing for an unknown name.
[[nodiscard]] std::optional<int> ScanFigureIndex(std::string_view name);

// Whether a path ends in a suffix the plot can be saved as (.png or .svg, any case).
[[nodiscard]] bool IsScanPlotPath(std::string_view path);

// The image size of the plot, in pixels.
inline constexpr int kScanPlotWidth = 945;
inline constexpr int kScanPlotHeight = 626;

// The colour of the map for t from 0 (the lowest value) to 1 (the highest).
[[nodiscard]] Colour ScanMapColour(double t);

// The figure of a scan over two parameters, as its map paints it.
struct ScanMap {
  std::string curve;  // the curve shown: the file's first with the figure
  // The borders of the cells along each axis, in plot coordinates (log10 of the value on a log axis).
  std::vector<double> xEdges, yEdges;
  std::vector<std::optional<double>> values;  // by cell, first axis outermost
  // The value painted at plot coordinates (x, y); nothing off the map or in a cell without the figure.
  [[nodiscard]] std::optional<double> At(double x, double y) const;
};
[[nodiscard]] ScanMap ScanMapOf(const ScanFile& file, const std::vector<ScanAxis>& axes, int figure);

// The spread of one figure of one curve over the cells of a random sample: count, mean, standard
// deviation (n - 1 in the denominator) and the 5, 50 and 95 % percentiles (linear between order
// statistics, as numpy's default).
struct FigureSpread {
  std::string curve;
  std::string figure;  // the column title, with its unit
  std::int64_t count = 0;
  double mean = 0, sd = 0, p5 = 0, p50 = 0, p95 = 0;
};
[[nodiscard]] std::vector<FigureSpread> SpreadOf(const ScanFile& file, std::size_t axes);
// The spreads as a table of aligned columns, one line per curve and figure.
[[nodiscard]] std::string SpreadTable(const std::vector<FigureSpread>& spreads);

// Draws figure (an index of kScanFigures) of the scan file's rows on surface, titled after the study.
// A random sample (its axes have spreads) is drawn as a histogram of the figure, one outline per curve.
// Rows without the figure (failed cells, figures that do not exist) are left out. With one axis each curve
// is drawn in its colour in colours, as the study draws it, or in one of its own when it has none there or
// an earlier curve has it. With two axes the map shows the curve of the file's first row that has the
// figure, in every cell that has it. Throws CalcError when the figures span a range no axis can draw.
void DrawScanPlot(const ScanFile& file, const std::vector<ScanAxis>& axes, int figure,
                  const std::string& study, const std::map<std::string, Colour>& colours,
                  RecordingSurface& surface);

}  // namespace pelarin
