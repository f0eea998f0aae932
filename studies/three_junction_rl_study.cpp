// The stack of three junctions inside the coupling network: a lit sweep and two dark sweeps of the coupled
// solver, drawn on both plot windows, with the measured-data overlay and two tables that list the coupling
// resistances and, for the lit curve, the current through each of them.
#include <array>
#include <string>
#include <string_view>

#include "model/solvers.h"
#include "plot/linear_axes.h"
#include "plot/log_axes.h"
#include "studies/coupled_studies.h"
#include "studies/curve_figures.h"
#include "studies/experimental_data.h"
#include "studies/study_output.h"
#include "workspace/read_parameters.h"
#include "workspace/study_folder.h"

namespace pelarin {
namespace {

constexpr Colour kDarkColour = 16576;
constexpr Colour kLitColour = 33023;
constexpr int kMeasuredLines = 200;  // lines read from each measured file, header included

}  // namespace

double LitStartCurrentWithRl(const Parameters& p) {
  double j0 = 1e-8;
  if (p.Jsc3 < 1e-8) j0 = p.Jsc3 / 100;
  if (p.Jsc2 / 100 < j0) j0 = p.Jsc2 / 100;
  if (p.Jsc1 / 100 < j0) j0 = p.Jsc1 / 100;
  return j0;
}

StackCurvesWithRl ComputeStackWithRl(State& s) {
  SweepState& w = s.sweep;
  WorkingSet& ws = s.ws;
  const Parameters& p = s.par;
  StackCurvesWithRl c;
  w.Vinit.assign(6, 0.0);

  // Lit: from near open circuit, past short circuit, down to -0.5 V.
  w.Vinit[1] = w.Vinit[2] = w.Vinit[3] = 1e-5;
  ws.V1 = 0.001;
  ws.V2 = 0.001;
  ws.curJset = LitStartCurrentWithRl(p);
  w.sweepStep = 0.005;
  ws.cycleCount = 0;
  w.JscUse3 = p.Jsc3;
  w.JscUse2 = p.Jsc2;
  w.JscUse1 = p.Jsc1;
  w.Vend = -0.5;
  CalcCoupled(s);
  c.lit.AppendSweep(w, 1, w.resCount);

  // Dark towards -1 V, from the current the resistances alone would carry at 0.5 mV.
  w.Jstart = 0.0005 / (p.Rp2 + p.Rp1 + p.Rp3 + p.Rs1 + p.Rs2 + p.Rs3);
  if (w.Jstart < 1e-13) w.Jstart = 1e-13;
  w.Vinit[1] = w.Vinit[2] = -0.0001;
  w.sweepStep = 0.0005;
  ws.cycleCount = 0;
  w.JscUse1 = w.JscUse2 = w.JscUse3 = 0;
  w.Vend = -1;
  ws.curJset = w.Jstart;
  ws.V1 = w.Vinit[1];
  ws.V2 = w.Vinit[2];
  CalcCoupled(s);
  // Kept from its last point, so the dark curve's voltage rises from about -1 V.
  c.dark.AppendSweepReversed(w, 1, w.resCount);
  c.nRev = c.dark.Size();

  // Dark towards 3 V; the forward currents are kept as absolute values for the log axis.
  w.Vinit[1] = w.Vinit[2] = 0.0001;
  w.Vinit[3] = 1e-5;
  w.Jstart = -1e-13;
  ws.V1 = w.Vinit[1];
  ws.V2 = w.Vinit[2];
  w.sweepStep = 0.0005;
  ws.cycleCount = 0;
  w.JscUse1 = w.JscUse2 = w.JscUse3 = 0;
  w.Vend = 3;
  ws.curJset = w.Jstart;
  CalcCoupled(s);
  c.dark.AppendSweep(w, 1, w.resCount, StackCurve::kAbsoluteCurrent);
  return c;
}

ResultTable LitTableWithRl(const Parameters& p, const StackCurve& lit) {
  ResultTable table({"V (V)    ", "Current (A/cm2)", "V1 (V)    ", "V2 (V)    ", "V3 (V)", "        Jrg1 (A)",
                     "Jrg2 (A)", "Jrg3 (A)", "Jrl2 (A)", "Jrl1 (A)"});
  table.AddLine(CouplingResistanceLine(p));
  constexpr std::string_view kVolts = "#.###E+##", kLeak = "#.####E+##";
  for (int i = 1; i <= lit.Size(); ++i) {
    const LeakCurrents leak = LeaksAt(p, lit.V(i), lit.V2(i), lit.V3(i));
    table.AddRow({{lit.V(i), kVolts},
                  {lit.J(i), "#.#####E+##"},
                  {lit.V1(i), kVolts},
                  {lit.V2(i), kVolts},
                  {lit.V3(i), kVolts},
                  {leak.Jrg1, kLeak},
                  {leak.Jrg2, kLeak},
                  {leak.Jrg3, kLeak},
                  {leak.Jrl2, kLeak},
                  {leak.Jrl1, kLeak}});
  }
  return table;
}

ResultTable DarkTableWithRl(const Parameters& p, const StackCurve& dark) {
  ResultTable table({"V (V)    ", "Current (A/cm2)", "V1 (V)    ", "V2 (V)    ", "V3 (V)"});
  table.AddLine(CouplingResistanceLine(p));
  constexpr std::array<std::string_view, 5> kMasks = {"#.###E+##", "#.#####E+##", "#.###E+##", "#.###E+##",
                                                      "#.###E+##"};
  AddCurveRows(table, dark, 1, dark.Size(), kMasks);
  return table;
}

void StudyWithRl(State& s, Ui& ui) {
  ReadStudyParameters(s, ui);
  if (!AllJunctionsLitOrRefuse(s.par, ui)) return;
  s.id.studyLabel = s.id.studyName + "_3 junctions_wRl";
  s.flags.darkFlag = 0;
  s.flags.dragLineOn = 1;
  // This study's folder is always in the working folder, wherever the parameter file came from.
  s.id.baseDir = WorkDir(s.id);
  MakeStudyFolder(s.id);
  const std::string litPath = s.id.studyDir + s.id.studyName + "_J(V)_AllJunctions_Rl.txt";
  const std::string darkPath = s.id.studyDir + s.id.studyName + "_J(V)_AllJunctions_dark_Rl.txt";
  ui.BeforeComputing({.tables = {litPath, darkPath},
                      .parameterFile = false,
                      .images = PlotImages(s.id.studyDir, s.id.studyLabel,
                                           {PlotKind::linlin, PlotKind::linlog}, s.flags.darkFlag)});

  const StackCurvesWithRl curves = ComputeStackWithRl(s);

  // The lit sweep starts just below open circuit; a coupled point past it brackets the crossing of J = 0.
  const LegendEntry litEntry = {
      .name = "stack",
      .colour = kLitColour,
      .hollow = false,
      .figures = NetworkCurveFigures(s, curves.lit, {0, s.par.Jsc1, s.par.Jsc2, s.par.Jsc3},
                                     LitStartCurrentWithRl(s.par))};

  const CurveBounds darkBounds = curves.dark.Bounds();
  PlotWindow& linlog =
      StartPlot(ui, PlotId::linlog, s.id.studyName + "                    J(V) Junctions Dark with Rl", s);
  DrawLinLogAxes(linlog, s.plot, darkBounds.xMin, darkBounds.xMax, darkBounds.yMin, darkBounds.yMax);
  DrawCurveLog(linlog, curves.dark,
               {.name = "stack, dark", .colour = kDarkColour, .hollow = false, .figures = std::nullopt},
               s.plot.markerRadius);
  const double darkRadius = s.plot.markerRadius;

  const CurveBounds litBounds = curves.lit.Bounds();
  PlotWindow& linlin = StartPlot(
      ui, PlotId::linlin,
      s.id.studyName + "                    J(V) Junctions Illuminated with Rl [J (A/cm2) vs V (V)]", s);
  DrawLinLinAxes(linlin, s.plot, litBounds.xMin, litBounds.xMax, litBounds.yMin, litBounds.yMax);
  DrawCurve(linlin, curves.lit, litEntry, s.plot.markerRadius);

  ExperimentalOverlay(s, ui, darkRadius, kMeasuredLines, kMeasuredLines);

  switch (AskToSave(ui, litPath)) {
    case SaveAnswer::No:
      ui.Form().Show();
      return;
    case SaveAnswer::Declined:
      return;
    case SaveAnswer::Yes: {
      TableSet tables;
      tables.Add(litPath, LitTableWithRl(s.par, curves.lit));
      tables.Add(darkPath, DarkTableWithRl(s.par, curves.dark));
      tables.Write();
      AnnounceSaved(ui, {litPath, darkPath});
      ui.Form().Show();
      return;
    }
  }
}

}  // namespace pelarin
