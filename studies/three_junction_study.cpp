// The series stack of three junctions without coupling resistances: lit, dark reverse and dark forward
// current sweeps, drawn on both plot windows, with the measured-data overlay and two tables.
#include <array>
#include <functional>
#include <string>
#include <string_view>

#include "model/solvers.h"
#include "plot/linear_axes.h"
#include "plot/log_axes.h"
#include "studies/curve_figures.h"
#include "studies/experimental_data.h"
#include "studies/parallel_sweeps.h"
#include "studies/studies.h"
#include "studies/study_output.h"
#include "workspace/read_parameters.h"
#include "workspace/study_folder.h"

namespace pelarin {
namespace {

constexpr Colour kDarkColour = 16576;
constexpr Colour kLitColour = 33023;
constexpr std::array<std::string_view, 5> kHeader = {"V (V)     ", "Current (A/cm2)", "V1 (V)    ",
                                                     "V2 (V)    ", "V3 (V)"};

struct StackCurves {
  StackCurve lit;
  StackCurve dark;  // reverse branch (points 1..nRev), then the forward branch as |J|
  int nRev = 0;
};

// The dark sweeps start from a current that the shunts alone would carry at 50 uV: away from 0 V towards
// -1 V (the reverse branch), and towards 3 V (the forward branch).
void DarkReverseSweep(State& s) {
  SweepState& w = s.sweep;
  const double series = s.par.Rp2 + s.par.Rp1 + s.par.Rp3 + s.par.Rs1 + s.par.Rs2 + s.par.Rs3;
  w.sweepStep = 0.01;
  s.ws.cycleCount = 0;
  s.ws.curJset = 5e-5 / series;
  w.Vend = -1;
  w.JscUse1 = w.JscUse2 = w.JscUse3 = 0;
  CalcStack(s);
}

void DarkForwardSweep(State& s) {
  SweepState& w = s.sweep;
  const double series = s.par.Rp2 + s.par.Rp1 + s.par.Rp3 + s.par.Rs1 + s.par.Rs2 + s.par.Rs3;
  w.sweepStep = 0.01;
  s.ws.cycleCount = 0;
  s.ws.curJset = -5e-5 / series;
  w.Vend = 3;
  w.JscUse1 = w.JscUse2 = w.JscUse3 = 0;
  CalcStack(s);
}

void AddReverseBranch(const SweepState& w, StackCurves& curves) {
  curves.dark.AppendSweep(w, 1, w.resCount);
  curves.nRev = curves.dark.Size();
}

// The forward branch without its last kept point, current densities as absolute values.
void AddForwardBranch(const SweepState& w, StackCurves& curves) {
  curves.dark.AppendSweep(w, 1, w.resCount - 1, StackCurve::kAbsoluteCurrent);
}

std::string DarkTablePath(const StudyIdentity& id) {
  return id.studyDir + id.studyName + "_J(V)_AllJunctions_dark.txt";
}

// The lit sweep, then the two dark ones, in turn.
void ComputeInTurn(State& s, StackCurves& curves) {
  curves.lit = LitStackSweep(s);
  DarkReverseSweep(s);
  AddReverseBranch(s.sweep, curves);
  DarkForwardSweep(s);
  AddForwardBranch(s.sweep, curves);
}

// The three sweeps at once. Each sets its own start current, step, end and photocurrents; all three
// start from the junction voltages and the coupling switch that the lit sweep sets, and each junction
// search leaves its step and cycle count as it found them. So no sweep reads what another leaves, and
// run in turn they would end in the forward sweep's state, with the lit sweep's open-circuit voltage.
void ComputeAtOnce(State& s, StackCurves& curves) {
  State lit = CopyForSweep(s), reverse = CopyForSweep(s), forward = CopyForSweep(s);
  const std::function<void()> tasks[] = {
      [&] { curves.lit = LitStackSweep(lit); },
      [&] {
        SetStackStart(reverse);
        DarkReverseSweep(reverse);
      },
      [&] {
        SetStackStart(forward);
        DarkForwardSweep(forward);
      },
  };
  if (!RunAtOnce(tasks)) {
    curves = StackCurves{};
    ComputeInTurn(s, curves);
    return;
  }
  AddReverseBranch(reverse.sweep, curves);
  AddForwardBranch(forward.sweep, curves);
  const WorkingSet start = s.ws;
  s.ws = forward.ws;
  s.ws.balanceEvals = start.balanceEvals;
  for (const State* sweep : {&lit, &reverse, &forward}) AddDiagnostics(s.ws, start, sweep->ws);
  const double stackVoc = lit.sweep.stackVoc;
  s.sweep = std::move(forward.sweep);
  s.sweep.stackVoc = stackVoc;
}

void SaveTables(const State& s, Ui& ui, const StackCurves& c, const std::string& litPath) {
  ResultTable litTable(kHeader);
  constexpr std::array<std::string_view, 5> kLitMasks = {"#.########E+##", "#.########E+##", "#.#####E+##",
                                                         "#.#####E+##", "#.#####E+##"};
  AddCurveRows(litTable, c.lit, 1, c.lit.Size(), kLitMasks);
  // The reverse branch in ascending voltage (last point first), then the forward branch.
  ResultTable darkTable(kHeader);
  constexpr std::array<std::string_view, 5> kReverseMasks = {"#.#####E+##", "#.#######E+##", "#.#####E+##",
                                                             "##.#####E+##", "#.#####E+##"};
  constexpr std::array<std::string_view, 5> kForwardMasks = {"#.#####E+##", "#.#######E+##", "#.#####E+##",
                                                             "#.#####E+##", "#.#####E+##"};
  AddCurveRows(darkTable, c.dark, 1, c.nRev, kReverseMasks, RowOrder::Descending);
  AddCurveRows(darkTable, c.dark, c.nRev + 1, c.dark.Size(), kForwardMasks);
  TableSet tables;
  tables.Add(litPath, litTable);
  tables.Add(DarkTablePath(s.id), darkTable);
  tables.Write();
  AnnounceSaved(ui, {litPath, DarkTablePath(s.id)});
}

}  // namespace

void SetStackStart(State& s) {
  SweepState& w = s.sweep;
  w.Vinit.assign(6, 0.0);
  w.Vinit[1] = w.Vinit[2] = w.Vinit[3] = 1e-5;
  w.rgSwitch = 0;
}

StackCurve LitStackSweep(State& s) {
  SweepState& w = s.sweep;
  SetStackStart(s);
  // From near open circuit down to -0.5 V. The start current stays below every photocurrent.
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
  return lit;
}

void StudyAllJunctions(State& s, Ui& ui) {
  ReadStudyParameters(s, ui);
  s.id.studyLabel = s.id.studyName + "_All junctions";
  s.flags.darkFlag = 0;
  s.flags.dragLineOn = 1;
  s.id.baseDir = s.id.loadedDir.empty() ? WorkDir(s.id) : s.id.loadedDir;
  MakeStudyFolder(s.id);
  const std::string litPath = s.id.studyDir + s.id.studyName + "_J(V)_AllJunctions.txt";
  if (s.flags.subStudyFlag != 1)
    ui.BeforeComputing({.tables = {litPath, DarkTablePath(s.id)},
                        .parameterFile = false,
                        .images = PlotImages(s.id.studyDir, s.id.studyLabel,
                                             {PlotKind::linlin, PlotKind::linlog}, s.flags.darkFlag)});

  StackCurves curves;
  if (s.flags.subStudyFlag == 1) {
    LitStackSweep(s);
    s.flags.subStudyFlag = 0;
    ui.Form().Show();
    return;
  }
  if (s.k.parallelSweeps) {
    ComputeAtOnce(s, curves);
  } else {
    ComputeInTurn(s, curves);
  }

  const StackCurve& lit = curves.lit;
  const LegendEntry litEntry = {
      .name = "stack",
      .colour = kLitColour,
      .hollow = false,
      .figures = SeriesCurveFigures(s, lit, {.photocurrents = {0, s.par.Jsc1, s.par.Jsc2, s.par.Jsc3}})};

  const CurveBounds darkBounds = curves.dark.Bounds();
  PlotWindow& linlog =
      StartPlot(ui, PlotId::linlog,
                s.id.studyName + "                    J(V) All Junctions Dark [J (A/cm2) vs V (V)]", s);
  DrawLinLogAxes(linlog, s.plot, darkBounds.xMin, darkBounds.xMax, darkBounds.yMin, darkBounds.yMax);
  DrawCurveLog(linlog, curves.dark,
               {.name = "stack, dark", .colour = kDarkColour, .hollow = false, .figures = std::nullopt},
               s.plot.markerRadius);
  const double darkRadius = s.plot.markerRadius;

  const CurveBounds litBounds = lit.Bounds();
  PlotWindow& linlin = StartPlot(
      ui, PlotId::linlin,
      s.id.studyName + "                    J(V) All Junctions Illuminated [J (A/cm2) vs V (V)]", s);
  DrawLinLinAxes(linlin, s.plot, litBounds.xMin, litBounds.xMax, litBounds.yMin, litBounds.yMax);
  DrawCurve(linlin, lit, litEntry, s.plot.markerRadius);

  ExperimentalOverlay(s, ui, darkRadius, 500, 200);

  switch (AskToSave(ui, litPath)) {
    case SaveAnswer::No:
      ui.Form().Show();
      return;
    case SaveAnswer::Declined:
      return;
    case SaveAnswer::Yes:
      SaveTables(s, ui, curves, litPath);
      ui.Form().Show();
      return;
  }
}

}  // namespace pelarin
