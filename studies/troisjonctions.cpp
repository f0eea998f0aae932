// The series stack of three junctions without coupling resistances: lit, dark reverse and dark forward
// current sweeps, drawn on both plot windows, with the measured-data overlay and two tables.
#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "app/shell.h"
#include "app/study_files.h"
#include "model/solvers.h"
#include "plot/LINLIN1.h"
#include "plot/LINLOG1.h"
#include "studies/experimental_data.h"
#include "studies/plot_setup.h"
#include "studies/result_table.h"
#include "studies/stack_curve.h"
#include "studies/studies.h"

namespace pelarin {

void StudyAllJunctions(State& s, Ui& ui) {
  ReadParameters(s, ui);
  s.id.studyLabel = s.id.studyName + "_All junctions";
  s.flags.darkFlag = 0;
  s.flags.dragLineOn = 1;
  s.id.baseDir = s.id.loadedDir.empty() ? CurrentDir() : s.id.loadedDir;
  MakeStudyFolder(s.id);

  SweepState& w = s.sweep;
  w.Vinit.assign(6, 0.0);
  w.Vinit[1] = w.Vinit[2] = w.Vinit[3] = 1e-5;
  w.rgSwitch = 0;

  // Lit sweep from near open circuit down to -0.5 V. The start current stays below every photocurrent.
  w.sweepStep = 0.005;
  s.ws.cycleCount = 0;
  w.Vend = -0.5;
  w.JscUse1 = s.par.Jsc1;
  w.JscUse2 = s.par.Jsc2;
  w.JscUse3 = s.par.Jsc3;
  double j0 = 1e-9;
  for (double jsc : {s.par.Jsc3, s.par.Jsc2, s.par.Jsc1})
    if (jsc != 0 && j0 > jsc) j0 = jsc / 10;
  s.ws.curJset = j0;
  CalcStack(s);
  StackCurve lit;
  lit.AppendSweep(w, 1, w.resCount);
  w.stackVoc = w.resVtot[1];

  if (s.flags.subStudyFlag == 1) {
    s.flags.subStudyFlag = 0;
    ui.Form().Show();
    return;
  }

  // Dark reverse and forward sweeps, from a current that the shunts alone would carry at 50 uV.
  const double series = s.par.Rp2 + s.par.Rp1 + s.par.Rp3 + s.par.Rs1 + s.par.Rs2 + s.par.Rs3;
  w.sweepStep = 0.01;
  s.ws.cycleCount = 0;
  s.ws.curJset = 5e-5 / series;
  w.Vend = -1;
  w.JscUse1 = w.JscUse2 = w.JscUse3 = 0;
  CalcStack(s);
  StackCurve dark;
  dark.AppendSweep(w, 1, w.resCount);
  const int nRev = dark.Size();

  w.sweepStep = 0.01;
  s.ws.cycleCount = 0;
  s.ws.curJset = -5e-5 / series;
  w.Vend = 3;
  w.JscUse1 = w.JscUse2 = w.JscUse3 = 0;
  CalcStack(s);
  // The forward branch without its last kept point, current densities as absolute values.
  dark.AppendSweep(w, 1, w.resCount - 1, StackCurve::kAbsoluteCurrent);

  // Dark curve on the log axis.
  const CurveBounds darkBounds = dark.Bounds();
  PlotWindow& linlog =
      StartPlot(ui, PlotId::linlog,
                s.id.studyName + "                    J(V) All Junctions Dark [J (A/cm2) vs V (V)]");
  DrawLinLogAxes(linlog, s.plot, darkBounds.xMin, darkBounds.xMax, darkBounds.yMin, darkBounds.yMax);
  constexpr Colour kDarkColour = 16576;
  linlog.SetFillColour(kDarkColour);
  for (int i = 1; i <= dark.Size(); ++i)
    if (dark.J(i) != 0) linlog.Circle(dark.V(i), std::log(dark.J(i)), s.plot.markerRadius, kDarkColour);
  const double darkRadius = s.plot.markerRadius;

  // Lit curve on linear axes.
  const CurveBounds litBounds = lit.Bounds();
  PlotWindow& linlin =
      StartPlot(ui, PlotId::linlin,
                s.id.studyName + "                    J(V) All Junctions Illuminated [J (A/cm2) vs V (V)]");
  DrawLinLinAxes(linlin, s.plot, litBounds.xMin, litBounds.xMax, litBounds.yMin, litBounds.yMax);
  constexpr Colour kLitColour = 33023;
  linlin.SetFillColour(kLitColour);
  for (int i = 1; i <= lit.Size(); ++i) linlin.Circle(lit.V(i), lit.J(i), s.plot.markerRadius, kLitColour);

  ExperimentalOverlay(s, ui, darkRadius, 500, 200);

  if (!ui.AskYesNo(kSaveQuestion, kSaveTitle)) {
    ui.Form().Show();
    return;
  }
  const std::string litPath = s.id.studyDir + s.id.studyName + "_J(V)_AllJunctions.txt";
  if (std::filesystem::exists(litPath) && !ui.AskYesNo(kOverwriteQuestion, kOverwriteTitle)) return;

  ResultTable litTable({"V (V)     ", "Current (A/cm2)", "V1 (V)    ", "V2 (V)    ", "V3 (V)"});
  for (int i = 1; i <= lit.Size(); ++i)
    litTable.AddRow({{lit.V(i), "#.########E+##"},
                     {lit.J(i), "#.########E+##"},
                     {lit.V1(i), "#.#####E+##"},
                     {lit.V2(i), "#.#####E+##"},
                     {lit.V3(i), "#.#####E+##"}});
  ResultTable darkTable({"V (V)     ", "Current (A/cm2)", "V1 (V)    ", "V2 (V)    ", "V3 (V)"});
  // The reverse branch in ascending voltage (last point first), then the forward branch.
  for (int i = nRev; i >= 1; --i)
    darkTable.AddRow({{dark.V(i), "#.#####E+##"},
                      {dark.J(i), "#.#######E+##"},
                      {dark.V1(i), "#.#####E+##"},
                      {dark.V2(i), "##.#####E+##"},
                      {dark.V3(i), "#.#####E+##"}});
  for (int i = nRev + 1; i <= dark.Size(); ++i)
    darkTable.AddRow({{dark.V(i), "#.#####E+##"},
                      {dark.J(i), "#.#######E+##"},
                      {dark.V1(i), "#.#####E+##"},
                      {dark.V2(i), "#.#####E+##"},
                      {dark.V3(i), "#.#####E+##"}});
  litTable.Write(litPath);
  darkTable.Write(s.id.studyDir + s.id.studyName + "_J(V)_AllJunctions_dark.txt");
  ui.Form().Show();
}

}  // namespace pelarin
