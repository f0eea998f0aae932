// The stack with only some junctions lit: one curve per slot, each joined from a sweep towards reverse
// voltage and a sweep towards the fully lit stack's open-circuit voltage. The two-junction study darkens
// one junction per curve, the one-junction study lights one.
#include <array>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "model/solvers.h"
#include "plot/linear_axes.h"
#include "studies/curve_figures.h"
#include "studies/stack_curve.h"
#include "studies/studies.h"
#include "studies/study_output.h"
#include "workspace/read_parameters.h"
#include "workspace/study_folder.h"

namespace pelarin {
namespace {

// The two- and one-junction studies differ only in these settings.
struct PartialIllumination {
  bool slotIsTheLitJunction;     // one-junction study: slot k lights junction k; two-junction: darkens it
  std::array<Colour, 4> colour;  // index 1..3
  std::string labelSuffix;
  std::array<std::string, 4> fileName;  // index 1..3
  std::string caption;
  std::array<std::string_view, 5> masks;  // total V, J, V1, V2, V3
};

void RunPartialIllumination(State& s, Ui& ui, const PartialIllumination& study) {
  ReadStudyParameters(s, ui);
  const bool oneLit = study.slotIsTheLitJunction;
  if (oneLit && s.par.Jsc1 == 0 && s.par.Jsc2 == 0 && s.par.Jsc3 == 0)
    throw InputError(
        "The one-junction study lights each junction in turn, and every photocurrent is 0: "
        "there is no curve to compute.");
  s.id.illumFiles = {};
  std::array<bool, 4> computed = {false, true, true, true};
  double rpMax = 0;
  for (double rp : {s.par.Rp1, s.par.Rp2, s.par.Rp3})
    if (rp > rpMax) rpMax = rp;

  SweepState& w = s.sweep;
  w.Vinit.assign(6, 0.0);
  w.Vinit[1] = w.Vinit[2] = w.Vinit[3] = 1e-5;
  w.rgSwitch = 0;

  // The files are known before anything is computed: the study folder and the slots that will hold curves.
  StudyIdentity planned = s.id;
  planned.baseDir = s.id.loadedDir.empty() ? WorkDir(s.id) : s.id.loadedDir;
  planned.studyDir = StudyFolderOf(planned);
  StudyFiles files{
      .tables = {},
      .parameterFile = false,
      .images = PlotImages(planned.studyDir, s.id.studyName + study.labelSuffix, {PlotKind::linlin}, 0)};
  for (int k = 1; k <= 3; ++k)
    if (!oneLit || Photocurrent(s.par, k) != 0)
      files.tables.push_back(planned.studyDir + s.id.studyName + study.fileName[k]);
  ui.BeforeComputing(files);

  // The fully lit stack's open-circuit voltage ends the forward sweeps.
  s.flags.subStudyFlag = 1;
  StudyAllJunctions(s, ui);

  s.id.studyLabel = s.id.studyName + study.labelSuffix;
  s.flags.darkFlag = 0;
  s.id.baseDir = planned.baseDir;
  MakeStudyFolder(s.id);

  std::array<StackCurve, 4> curve;
  for (int k = 3; k >= 1; --k) {
    if (oneLit && Photocurrent(s.par, k) == 0) {
      computed[k] = false;
      continue;
    }
    const auto use = [&](int j) {
      const bool lit = oneLit ? j == k : j != k;
      return lit ? Photocurrent(s.par, j) : 0.0;
    };
    const double j0 = oneLit ? 1e-4 / rpMax : JsdMax(s.par, k) / 5;
    const auto sweeps = [&](double start) {
      // From near zero current towards reverse voltage; kept in reverse so the curve starts at -0.5 V.
      w.JscUse1 = use(1), w.JscUse2 = use(2), w.JscUse3 = use(3);
      w.sweepStep = 0.01;
      s.ws.cycleCount = 0;
      s.ws.curJset = start;
      w.Vend = -0.5;
      CalcStack(s);
      curve[k].AppendSweepReversed(w, 1, w.resCount);

      // From near zero current towards forward voltage, up to the lit stack's open-circuit voltage.
      w.JscUse1 = use(1), w.JscUse2 = use(2), w.JscUse3 = use(3);
      w.sweepStep = 0.01;
      s.ws.cycleCount = 0;
      s.ws.curJset = -start;
      w.Vend = w.stackVoc;
      CalcStack(s);
      curve[k].AppendSweep(w, 1, w.resCount);
    };
    sweeps(j0);
    // A dark junction's large saturation current (Jsd32 = 1 A/cm2) puts that start beyond the lit
    // junctions' photocurrents, where both sweeps end before their first point: the curve is swept again
    // from a hundredth of the smallest photocurrent, which is near zero current for every cell.
    if (curve[k].Size() == 0 && !oneLit) {
      double smallest = 0;
      for (int j = 1; j <= 3; ++j)
        if (use(j) > 0 && (smallest == 0 || use(j) < smallest)) smallest = use(j);
      if (smallest > 0 && smallest / 100 < j0) sweeps(smallest / 100);
    }
    s.id.illumFiles[k] = s.id.studyDir + s.id.studyName + study.fileName[k];
  }

  // Each curve crosses J = 0 between its two sweeps, where its figures are solved.
  std::array<LegendEntry, 4> entry;
  for (int k = 1; k <= 3; ++k) {
    std::array<bool, 4> lit{};
    std::array<double, 4> use{};
    for (int j = 1; j <= 3; ++j) {
      lit[j] = oneLit ? j == k : j != k;
      use[j] = lit[j] ? Photocurrent(s.par, j) : 0.0;
    }
    const StackCurve& c = curve[k];
    entry[k] = {.name = StackCurveName(lit),
                .colour = study.colour[k],
                .hollow = false,
                .figures = SeriesCurveFigures(s, c, {.photocurrents = use})};
  }

  ui.Plot(PlotId::linlog).Hide();
  CurveBounds bounds{1e12, -20, 1e12, -20};
  for (int k = 1; k <= 3; ++k) curve[k].Extend(bounds);
  PlotWindow& linlin = StartPlot(ui, PlotId::linlin, s.id.studyName + study.caption, s);
  DrawLinLinAxes(linlin, s.plot, bounds.xMin, bounds.xMax, bounds.yMin, bounds.yMax);
  for (int k = 1; k <= 3; ++k)
    if (computed[k]) DrawCurve(linlin, curve[k], entry[k], s.plot.markerRadius);

  // Only the first file of the set is checked before the set is written.
  if (AskToSave(ui, s.id.illumFiles[1]) != SaveAnswer::Yes) return;
  TableSet tables;
  std::vector<std::string> written;
  for (int k = 1; k <= 3; ++k) {
    if (!computed[k]) continue;
    ResultTable table({"V (V)    ", "Current (A/cm2)", "V1 (V)    ", "V2 (V)    ", "V3 (V)"});
    AddCurveRows(table, curve[k], 1, curve[k].Size(), study.masks);
    tables.Add(s.id.illumFiles[k], table);
    written.push_back(s.id.illumFiles[k]);
  }
  tables.Write();
  AnnounceSaved(ui, written);
}

}  // namespace

void StudyTwoJunctions(State& state, Ui& ui) {
  static const PartialIllumination kTwoJunctions = {
      false,
      {0, 128, 32768, 8388608},
      "_2 junctions",
      {"", "_J(V)_2Junctions_#2&#3.txt", "_J(V)_2Junctions_#1&#3.txt", "_J(V)_2Junctions_#1&#2.txt"},
      "                    J(V) 2 Junctions Illuminated [J (A/cm2) vs V (V)]",
      {"#.###E+##", "#.######E+##", "#.###E+##", "#.###E+##", "#.###E+##"}};
  RunPartialIllumination(state, ui, kTwoJunctions);
}

void StudyOneJunction(State& state, Ui& ui) {
  static const PartialIllumination kOneJunction = {
      true,
      {0, 255, 65280, 16711680},
      "_1 junction",
      {"", "_J(V)_1Junction_#1.txt", "_J(V)_1Junction_#2.txt", "_J(V)_1Junction_#3.txt"},
      "                    J(V) 1 Junction Illuminated [J (A/cm2) vs V (V)]",
      {"#.###E+##", "#.#####E+##", "#.####E+##", "#.###E+##", "#.###E+##"}};
  RunPartialIllumination(state, ui, kOneJunction);
}

}  // namespace pelarin
