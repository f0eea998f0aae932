#include "studies/study_output.h"

#include <cmath>
#include <filesystem>

#include "model/calc_error.h"
#include "model/number_text.h"
#include "model/operating_conditions.h"
#include "model/parameter_table.h"
#include "workspace/read_parameters.h"
#include "workspace/study_folder.h"

namespace pelarin {

void ReadStudyParameters(State& state, Ui& ui) {
  ReadParameters(state, ui);
  if (const auto problem = BeyondTheSearches(state.par)) throw InputError(*problem);
}

std::string ConditionsNote(const Parameters& cell) {
  const Parameters reference;
  std::string note;
  if (cell.T != reference.T || cell.X != reference.X)
    note = "T = " + ShortestText(cell.T) +
           " \xC2\xB0"
           "C, X = " +
           ShortestText(cell.X) + (cell.X == 1 ? " sun" : " suns");
  // The coupling physics that is on: each fraction or breakdown strength that is not 0, with a breakdown's
  // voltage and exponent where they are not the defaults and the junction breaks down.
  std::string physics;
  for (int i = kFirstPhysicsIndex; i < kParameterCount; ++i) {
    const ParameterRow& row = kParameterRows[static_cast<std::size_t>(i)];
    const double value = cell.*row.member;
    if (value == reference.*row.member) continue;
    if (row.name.starts_with("Vbd") || row.name.starts_with("nbd")) {
      const int abd = ParameterIndex(std::string("Abd") + row.name.back());
      if (cell.*kParameterRows[static_cast<std::size_t>(abd)].member == 0) continue;
    }
    physics += (physics.empty() ? "" : ", ") + std::string(row.name) + " = " + GeneralText(value, 6);
  }
  if (!physics.empty()) note += (note.empty() ? "" : "; ") + physics;
  return note.empty() ? "" : " (" + note + ")";
}

PlotWindow& StartPlot(Ui& ui, PlotId id, const std::string& caption, const State& s,
                      std::string_view yTitle) {
  const std::string note = ConditionsNote(s.par);
  PlotWindow& window = ui.Plot(id);
  window.Clear();
  window.Show();
  window.SetReadoutBackground(PaletteColour(15));
  window.SetFillStyle(FillStyle::Solid);
  window.SetDrawMode(kCopyPen);
  window.SetCaption(caption + note);
  window.SetTitles({.title = s.id.studyLabel + note,
                    .xTitle = std::string(kVoltageTitle),
                    .yTitle = std::string(yTitle),
                    .logY = id == PlotId::linlog});
  return window;
}

void DrawCurve(PlotWindow& window, const StackCurve& curve, const LegendEntry& entry, double markerRadius) {
  // A curve the study lists is drawn, or the study fails naming it: never an empty table reported written.
  if (curve.Size() == 0)
    throw CalcError("the curve \"" + entry.name +
                    "\" has no point: its sweeps ended before their first step, at a current where this cell "
                    "has no voltage in the study's range.");
  window.BeginCurve(entry);
  window.SetFillColour(entry.colour);
  for (int i = 1; i <= curve.Size(); ++i) window.Circle(curve.V(i), curve.J(i), markerRadius, entry.colour);
}

void DrawCurveLog(PlotWindow& window, const StackCurve& curve, const LegendEntry& entry,
                  double markerRadius) {
  window.BeginCurve(entry);
  window.SetFillColour(entry.colour);
  for (int i = 1; i <= curve.Size(); ++i)
    if (curve.J(i) != 0) window.Circle(curve.V(i), std::log(curve.J(i)), markerRadius, entry.colour);
}

std::string StackCurveName(const std::array<bool, 4>& lit) {
  std::string lits, darks;
  for (int j = 1; j <= 3; ++j) {
    std::string& list = lit[static_cast<std::size_t>(j)] ? lits : darks;
    list += (list.empty() ? "#" : " #") + std::to_string(j);
  }
  if (darks.empty()) return "stack";
  if (lits.empty()) return "stack, dark";
  return lits + " lit, " + darks + " dark";
}

void AnnounceSaved(Ui& ui, const std::vector<std::string>& paths) {
  if (!paths.empty()) ui.FilesSaved(paths);
}

std::vector<std::string> PlotImages(const std::string& studyDir, const std::string& studyLabel,
                                    std::initializer_list<PlotKind> windows, double darkFlag) {
  std::vector<std::string> images;
  for (const PlotKind window : windows)
    images.push_back(studyDir + PlotImageName(studyLabel, window, darkFlag));
  return images;
}

SaveAnswer AskToSave(Ui& ui, const std::string& firstTable) {
  if (!ui.Ask(Question::SaveData)) return SaveAnswer::No;
  // Anything at the name counts, a link that leads nowhere and a FIFO included: the answer decides.
  if (SomethingAt(firstTable) && !ui.Ask(Question::OverwriteResults)) return SaveAnswer::Declined;
  return SaveAnswer::Yes;
}

void AddCurveRows(ResultTable& table, const StackCurve& curve, int first, int last,
                  std::span<const std::string_view> masks, RowOrder order) {
  for (int n = 0; n <= last - first; ++n) {
    const int i = order == RowOrder::Ascending ? first + n : last - n;
    if (masks.size() == 2)
      table.AddRow({{curve.V(i), masks[0]}, {curve.J(i), masks[1]}});
    else
      table.AddRow({{curve.V(i), masks[0]},
                    {curve.J(i), masks[1]},
                    {curve.V1(i), masks[2]},
                    {curve.V2(i), masks[3]},
                    {curve.V3(i), masks[4]}});
  }
}

}  // namespace pelarin
