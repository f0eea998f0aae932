// The curves of a drawing as a CSV table, the way "Export data as CSV..." writes them.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "model/figures_of_merit.h"
#include "plot/recording_surface.h"

namespace pelarin {

// A CSV field: as it stands, or in double quotes (inner quotes doubled) when it holds a comma, a quote or a
// line break.
[[nodiscard]] std::string CsvField(std::string_view text);

// The figure-of-merit columns of a CSV row, with their units: "Voc (V),Jsc (mA/cm2),FF,Pmax (mW/cm2),
// Vmp (V),Jmp (mA/cm2),efficiency (%),incident power (mW/cm2)".
[[nodiscard]] std::string FigureColumns();

// The values of those columns (current densities in mA/cm2, power in mW/cm2), each the shortest text that
// reads back to the same double; empty where a figure does not exist, all empty without figures.
[[nodiscard]] std::string FigureFields(const std::optional<FiguresOfMerit>& figures);
// The same fields appended to out.
void AppendFigureFields(std::string& out, const std::optional<FiguresOfMerit>& figures);

// The values of those columns as the fields hold them (the same doubles), NaN where a field is empty.
inline constexpr std::size_t kFigureColumnCount = 8;
[[nodiscard]] std::array<double, kFigureColumnCount> FigureValues(
    const std::optional<FiguresOfMerit>& figures);

// A header "curve,<x title>,<y title>" ("x" and "y" without titles), then one row per point drawn, curve
// by curve in drawing order, lines ending in CR LF. On a drawing whose y is a natural logarithm the value
// written is the quantity itself (the exponential of the coordinate). Numbers read back exactly.
[[nodiscard]] std::string CurvesCsv(const RecordingSurface& drawing);

}  // namespace pelarin
