// What every study does with its computed curves: start a plot with its titles, mark a curve's points under
// its legend entry, ask whether to save (and whether to replace an existing table), write a curve as a
// table, and say where the files went.
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

// What every study does first: reads the form (ReadParameters), and refuses a cell whose conditions took a
// saturation current below the numbers its junction searches hold, naming T, the junction and the diode.
void ReadStudyParameters(State& state, Ui& ui);

// The axis titles of the J(V) plots and of the EQE plot.
inline constexpr std::string_view kVoltageTitle = "V (V)";
inline constexpr std::string_view kCurrentDensityTitle = "J (A/cm2)";
inline constexpr std::string_view kContributionTitle = "contribution (%)";

// " (T = 80 degrees C, X = 500 suns)" for a cell away from the reference conditions, with the coupling
// physics that is on (" (T = 80 degrees C, X = 500 suns; beta2 = 0.1, Abd1 = 0.5)", " (beta3 = 0.2)"), or
// nothing.
[[nodiscard]] std::string ConditionsNote(const Parameters& cell);

// A cleared, shown window with a white read-out box, solid fill, copy-pen drawing and the given caption,
// titled with the study's label, "V (V)" along x and yTitle along y (a logarithmic y on linlog). Caption and
// title name the cell's temperature and concentration when they are not the reference ones.
PlotWindow& StartPlot(Ui& ui, PlotId id, const std::string& caption, const State& s,
                      std::string_view yTitle = kCurrentDensityTitle);

// Begins the curve under its legend entry and marks every point with a filled circle of the marker radius
// in the entry's colour.
void DrawCurve(PlotWindow& window, const StackCurve& curve, const LegendEntry& entry, double markerRadius);

// The same on the lin-log window: at ln J, skipping points whose current density is 0.
void DrawCurveLog(PlotWindow& window, const StackCurve& curve, const LegendEntry& entry, double markerRadius);

// The legend's name of the stack curve with junctions lit[1..3] lit and the others dark: "stack" when all
// are lit, "#1 lit, #2 #3 dark" and "#1 #2 lit, #3 dark" otherwise.
[[nodiscard]] std::string StackCurveName(const std::array<bool, 4>& lit);

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

// Tells the user where the files just written went.
void AnnounceSaved(Ui& ui, const std::vector<std::string>& paths);

enum class RowOrder { Ascending, Descending };

// Rows for points first..last of the curve (1-based; none when last < first), in ascending or descending
// point order, each with a mask per column: total voltage and current density, then V1, V2 and V3 when
// five masks are given.
void AddCurveRows(ResultTable& table, const StackCurve& curve, int first, int last,
                  std::span<const std::string_view> masks, RowOrder order = RowOrder::Ascending);

}  // namespace pelarin
