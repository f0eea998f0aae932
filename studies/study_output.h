// What every study does with its computed curves: start a plot, mark a curve's points, ask whether to save
// (and whether to replace an existing table), and write a curve as a table.
#pragma once

#include <array>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "plot/plot_interaction.h"
#include "plot/surface.h"
#include "studies/result_table.h"
#include "studies/stack_curve.h"
#include "ui/ui.h"

namespace pelarin {

// A cleared, shown window with a white read-out box, solid fill, copy-pen drawing and the given caption.
PlotWindow& StartPlot(Ui& ui, PlotId id, const std::string& caption);

// Marks every point of the curve with a filled circle of the marker radius in the curve's colour.
void DrawCurve(PlotWindow& window, const StackCurve& curve, Colour colour, double markerRadius);

// The same on the lin-log window: at ln J, skipping points whose current density is 0.
void DrawCurveLog(PlotWindow& window, const StackCurve& curve, Colour colour, double markerRadius);

enum class SaveAnswer {
  No,        // the user does not want the tables
  Declined,  // the first table exists and the user keeps it: nothing is written
  Yes,
};

// The save question, then, when firstTable exists, the overwrite question.
[[nodiscard]] SaveAnswer AskToSave(Ui& ui, const std::string& firstTable);

// The plot images of a study that draws these windows, in its study folder, as the batch tool and a double
// click save them.
[[nodiscard]] std::vector<std::string> PlotImages(const std::string& studyDir, const std::string& studyLabel,
                                                  std::initializer_list<PlotKind> windows, double darkFlag);

enum class RowOrder { Ascending, Descending };

// Rows for points first..last of the curve (1-based; none when last < first), in ascending or descending
// point order, each with a mask per column: total voltage and current density, then V1, V2 and V3 when
// five masks are given.
void AddCurveRows(ResultTable& table, const StackCurve& curve, int first, int last,
                  std::span<const std::string_view> masks, RowOrder order = RowOrder::Ascending);

}  // namespace pelarin
