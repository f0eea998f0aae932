// Measured J(V) curves drawn over the computed ones: the file reader and the overlay of the stack studies.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "model/state.h"
#include "ui/ui.h"

namespace pelarin {

struct MeasuredPoint {
  double V = 0;
  double J = 0;
};

// Reads a measured curve as the fit does (studies/measured_columns.h: two columns, TAB, comma, semicolon
// or blanks between them, an optional header line, decimal commas) and keeps its first maxLines - 1
// points, as many as the overlay draws. A file that is not a regular file, cannot be opened, holds no
// point, or a line that is not two finite numbers throws FileError naming it (and the line).
[[nodiscard]] std::vector<MeasuredPoint> ReadMeasuredCurve(const std::string& path, int maxLines);

// The same, from the file's text; name stands for the file in messages.
[[nodiscard]] std::vector<MeasuredPoint> ReadMeasuredText(std::string_view text, int maxLines,
                                                          const std::string& name);

// The overlay: asks whether to display measured data; on Yes the user picks the illuminated file, drawn on
// linlin with 3 x the lit marker radius, and the first file of the same folder whose name contains "Dark"
// is drawn on linlog at (V, ln|J|) with 2.5 x darkMarkerRadius. Any failure ends the overlay quietly.
void ExperimentalOverlay(State& state, Ui& ui, double darkMarkerRadius, int maxLitLines, int maxDarkLines);

}  // namespace pelarin
