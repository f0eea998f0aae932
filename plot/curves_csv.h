// The curves of a drawing as a CSV table, the way "Export data as CSV..." writes them.
#pragma once

#include <string>
#include <string_view>

#include "plot/recording_surface.h"

namespace pelarin {

// A CSV field: as it stands, or in double quotes (inner quotes doubled) when it holds a comma, a quote or a
// line break.
[[nodiscard]] std::string CsvField(std::string_view text);

// A header "curve,<x title>,<y title>" ("x" and "y" without titles), then one row per point drawn, curve
// by curve in drawing order, lines ending in CR LF. On a drawing whose y is a natural logarithm the value
// written is the quantity itself (the exponential of the coordinate). Numbers read back exactly.
[[nodiscard]] std::string CurvesCsv(const RecordingSurface& drawing);

}  // namespace pelarin
