#include "studies/partial_illumination.h"

#include <filesystem>

#include "app/shell.h"
#include "app/study_files.h"
#include "model/solvers.h"
#include "plot/LINLIN1.h"
#include "studies/plot_setup.h"
#include "studies/result_table.h"
#include "studies/stack_curve.h"
#include "studies/studies.h"

namespace pelarin {
void RunPartialIllumination(State& s, Ui& ui, const PartialIllumination& study) {
  ReadParameters(s, ui);
  const bool oneLit = study.slotIsTheLitJunction;
  s.id.illumFiles = {};
  std::array<bool, 4> computed = {false, true, true, true};
  double rpMax = 0;
  for (double rp : {s.par.Rp1, s.par.Rp2, s.par.Rp3})
    if (rp > rpMax) rpMax = rp;

  SweepState& w = s.sweep;
  w.Vinit.assign(6, 0.0);
  w.Vinit[1] = w.Vinit[2] = w.Vinit[3] = 1e-5;
  w.rgSwitch = 0;

  // The fully lit stack's open-circuit voltage ends the forward sweeps.
  s.flags.subStudyFlag = 1;
  StudyAllJunctions(s, ui);

  s.id.studyLabel = s.id.studyName + study.labelSuffix;
  s.flags.darkFlag = 0;
  s.id.baseDir = s.id.loadedDir.empty() ? CurrentDir() : s.id.loadedDir;
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

    // From near zero current towards reverse voltage; kept in reverse so the curve starts at -0.5 V.
    w.JscUse1 = use(1), w.JscUse2 = use(2), w.JscUse3 = use(3);
    w.sweepStep = 0.01;
    s.ws.cycleCount = 0;
    s.ws.curJset = j0;
    w.Vend = -0.5;
    CalcStack(s);
    curve[k].AppendSweepReversed(w, 1, w.resCount);

    // From near zero current towards forward voltage, up to the lit stack's open-circuit voltage.
    w.JscUse1 = use(1), w.JscUse2 = use(2), w.JscUse3 = use(3);
    w.sweepStep = 0.01;
    s.ws.cycleCount = 0;
    s.ws.curJset = -j0;
    w.Vend = w.stackVoc;
    CalcStack(s);
    curve[k].AppendSweep(w, 1, w.resCount);
    s.id.illumFiles[k] = s.id.studyDir + s.id.studyName + study.fileName[k];
  }

  ui.Plot(PlotId::linlog).Hide();
  CurveBounds bounds{1e12, -20, 1e12, -20};
  for (int k = 1; k <= 3; ++k) curve[k].Extend(bounds);
  PlotWindow& linlin = StartPlot(ui, PlotId::linlin, s.id.studyName + study.caption);
  DrawLinLinAxes(linlin, s.plot, bounds.xMin, bounds.xMax, bounds.yMin, bounds.yMax);
  for (int k = 1; k <= 3; ++k) {
    linlin.SetFillColour(study.colour[k]);
    for (int i = 1; i <= curve[k].Size(); ++i)
      linlin.Circle(curve[k].V(i), curve[k].J(i), s.plot.markerRadius, study.colour[k]);
  }

  if (!ui.AskYesNo(kSaveQuestion, kSaveTitle)) return;
  // Only the first file of the set is checked before the set is written.
  if (std::filesystem::exists(s.id.illumFiles[1]) && !ui.AskYesNo(kOverwriteQuestion, kOverwriteTitle))
    return;
  const auto& m = study.masks;
  for (int k = 1; k <= 3; ++k) {
    if (!computed[k]) continue;
    ResultTable table({"V (V)    ", "Current (A/cm2)", "V1 (V)    ", "V2 (V)    ", "V3 (V)"});
    for (int i = 1; i <= curve[k].Size(); ++i)
      table.AddRow({{curve[k].V(i), m[0]},
                    {curve[k].J(i), m[1]},
                    {curve[k].V1(i), m[2]},
                    {curve[k].V2(i), m[3]},
                    {curve[k].V3(i), m[4]}});
    table.Write(s.id.illumFiles[k]);
  }
}

}  // namespace pelarin
