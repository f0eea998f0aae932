// The stack inside the coupling network with only some junctions lit: three curves, each joined from a
// coupled sweep towards reverse voltage and one towards the fully lit stack's open-circuit voltage. The
// one-junction study lights junction k in curve k, the two-junction study darkens it.
#include <array>
#include <string>
#include <string_view>

#include "model/calc_error.h"
#include "model/solvers.h"
#include "plot/linear_axes.h"
#include "studies/coupled_studies.h"
#include "studies/curve_figures.h"
#include "studies/studies.h"
#include "studies/study_output.h"
#include "workspace/read_parameters.h"
#include "workspace/study_folder.h"

namespace pelarin {
namespace {

// How a curve starts: sweep A's current density and first guesses of V1 and V2, sweep B's first step.
struct CurveStart {
  double j0;
  double v12;
  double stepB;
};

// Sweep A from +j0 towards -0.5 V, kept in reverse; then sweep B from -j0 towards stackVoc, continuing
// from the V1 and V2 that sweep A left. A sweep without points adds none and leaves the other's alone.
StackCurve JoinedCurve(State& s, const std::array<double, 4>& jscUse, const CurveStart& start) {
  SweepState& w = s.sweep;
  WorkingSet& ws = s.ws;
  StackCurve curve;

  ws.V1 = start.v12;
  ws.V2 = start.v12;
  w.sweepStep = 0.01;
  ws.cycleCount = 0;
  w.JscUse1 = jscUse[1], w.JscUse2 = jscUse[2], w.JscUse3 = jscUse[3];
  ws.curJset = start.j0;
  w.Vend = -0.5;
  CalcCoupled(s);
  curve.AppendSweepReversed(w, 1, w.resCount);

  w.sweepStep = start.stepB;
  ws.cycleCount = 0;
  w.JscUse1 = jscUse[1], w.JscUse2 = jscUse[2], w.JscUse3 = jscUse[3];
  ws.curJset = -start.j0;
  w.Vend = w.stackVoc;
  CalcCoupled(s);
  // Sweep B's last point is left out.
  curve.AppendSweep(w, 1, w.resCount - 1);
  return curve;
}

// Photocurrents in use when junctions are lit (lit[j]) or dark.
std::array<double, 4> Illumination(const Parameters& p, const std::array<bool, 4>& lit) {
  std::array<double, 4> use{};
  for (int j = 1; j <= 3; ++j) use[j] = lit[j] ? Photocurrent(p, j) : 0.0;
  return use;
}

// The one- and two-junction studies differ only in these settings and in their curves.
struct PartialStudyWithRl {
  bool slotIsTheLitJunction;     // one-junction study: curve k lights junction k; two-junction: darkens it
  std::array<Colour, 4> colour;  // index 1..3
  std::string labelSuffix;
  std::array<std::string, 4> fileName;  // index 1..3
  std::string caption;
};

void DrawAndSave(State& s, Ui& ui, const PartialStudyWithRl& study, const PartialCurvesWithRl& curves) {
  for (int k = 1; k <= 3; ++k) s.id.illumFiles[k] = s.id.studyDir + s.id.studyName + study.fileName[k];

  ui.Plot(PlotId::linlog).Hide();
  CurveBounds bounds{1e12, -20, 1e12, -20};
  for (int k = 1; k <= 3; ++k) curves.curve[k].Extend(bounds);
  PlotWindow& linlin = StartPlot(ui, PlotId::linlin, s.id.studyName + study.caption, s);
  DrawLinLinAxes(linlin, s.plot, bounds.xMin, bounds.xMax, bounds.yMin, bounds.yMax);
  // Each curve crosses J = 0 between its two sweeps; a curve whose second sweep ended before its first
  // point is continued past open circuit from its last point.
  for (int k = 1; k <= 3; ++k) {
    std::array<bool, 4> lit{};
    for (int j = 1; j <= 3; ++j) lit[j] = study.slotIsTheLitJunction ? j == k : j != k;
    DrawCurve(linlin, curves.curve[k],
              {.name = StackCurveName(lit),
               .colour = study.colour[k],
               .hollow = false,
               .figures =
                   NetworkCurveFigures(s, curves.curve[k], Illumination(s.par, lit), curves.startCurrent[k])},
              s.plot.markerRadius);
  }

  // Only the first table of the set is checked before the set is written.
  if (AskToSave(ui, s.id.illumFiles[1]) != SaveAnswer::Yes) return;
  TableSet tables;
  for (int k = 1; k <= 3; ++k) tables.Add(s.id.illumFiles[k], PartialTableWithRl(s.par, curves.curve[k]));
  tables.Write();
  AnnounceSaved(ui, {s.id.illumFiles[1], s.id.illumFiles[2], s.id.illumFiles[3]});
}

}  // namespace

double LargestParallelResistance(const Parameters& p) {
  double maxRp = 0;
  for (double rp : {p.Rp1, p.Rp2, p.Rp3})
    if (rp > maxRp) maxRp = rp;
  if (maxRp == 0) {
    throw CalcError(
        "no parallel resistance is positive (Rp1, Rp2 and Rp3 are all negative), so the one-junction start "
        "current, 1e-4 A/cm2 divided by the largest of them, cannot be set");
  }
  return maxRp;
}

PartialCurvesWithRl ComputeOneLitWithRl(State& s, double maxRp) {
  SweepState& w = s.sweep;
  w.Vinit.assign(6, 0.0);
  w.Vinit[1] = w.Vinit[2] = w.Vinit[3] = 1e-5;
  // The current 1e-4 V would drive through the largest shunt; a hundred times less for the middle junction.
  w.Jstart = 1e-4;
  PartialCurvesWithRl c;
  for (int k = 3; k >= 1; --k) {
    std::array<bool, 4> lit{};
    lit[k] = true;
    c.startCurrent[k] = k == 2 ? w.Jstart / maxRp / 100 : w.Jstart / maxRp;
    c.curve[k] =
        JoinedCurve(s, Illumination(s.par, lit), {.j0 = c.startCurrent[k], .v12 = 1e-4, .stepB = 0.01});
  }
  return c;
}

PartialCurvesWithRl ComputeTwoLitWithRl(State& s) {
  SweepState& w = s.sweep;
  w.Vinit.assign(6, 0.0);
  w.Vinit[1] = w.Vinit[2] = 1e-5;
  w.Vinit[3] = 0.001;
  PartialCurvesWithRl c;
  for (int k = 3; k >= 1; --k) {
    std::array<bool, 4> lit = {false, true, true, true};
    lit[k] = false;
    // A fifth of the dark junction's larger saturation current, and never above 1e-12 A/cm2.
    double j0 = JsdMax(s.par, k) / 5;
    if (1e-12 < j0) j0 = 1e-12;
    c.startCurrent[k] = j0;
    c.curve[k] =
        JoinedCurve(s, Illumination(s.par, lit), {.j0 = j0, .v12 = 1e-5, .stepB = k == 3 ? 0.1 : 0.01});
  }
  return c;
}

ResultTable PartialTableWithRl(const Parameters& p, const StackCurve& curve) {
  ResultTable table({"V (V)    ", "Current (A/cm2)", "V1 (V)    ", "V2 (V)    ", "V3 (V)", "        Jrg1 (A)",
                     "Jrg2 (A)", "Jrg3 (A)"});
  table.AddLine(CouplingResistanceLine(p));
  constexpr std::string_view kMask = "#.###E+##";
  for (int i = 1; i <= curve.Size(); ++i) {
    const LeakCurrents leak = LeaksAt(p, curve.V(i), curve.V2(i), curve.V3(i));
    table.AddRow({{curve.V(i), kMask},
                  {curve.J(i), "#.######E+##"},
                  {curve.V1(i), kMask},
                  {curve.V2(i), kMask},
                  {curve.V3(i), kMask},
                  {leak.Jrg1, kMask},
                  {leak.Jrg2, kMask},
                  {leak.Jrg3, kMask}});
  }
  return table;
}

namespace {

// Tells the user interface the study's files (in the working folder's study folder) before it computes.
void PlanFiles(const State& s, Ui& ui, const PartialStudyWithRl& study) {
  StudyIdentity planned = s.id;
  planned.baseDir = WorkDir(s.id);
  planned.studyDir = StudyFolderOf(planned);
  StudyFiles files{
      .tables = {},
      .parameterFile = false,
      .images = PlotImages(planned.studyDir, s.id.studyName + study.labelSuffix, {PlotKind::linlin}, 0)};
  for (int k = 1; k <= 3; ++k) files.tables.push_back(planned.studyDir + s.id.studyName + study.fileName[k]);
  ui.BeforeComputing(files);
}

}  // namespace

void StudyOneWithRl(State& s, Ui& ui) {
  static const PartialStudyWithRl kOneLit = {
      true,
      {0, 255, 65280, 16711680},
      "_1 junction_wRl",
      {"", "_J(V)_1junction_#1_Rl.txt", "_J(V)_1junction_#2_Rl.txt", "_J(V)_1junction_#3_Rl.txt"},
      "                    J(V) 1 Junction Illuminated with Rl [J (A/cm2) vs V (V)]"};
  ReadStudyParameters(s, ui);
  if (!AllJunctionsLitOrRefuse(s.par, ui)) return;
  PlanFiles(s, ui, kOneLit);
  s.id.illumFiles = {};
  const double maxRp = LargestParallelResistance(s.par);

  // The fully lit stack's open-circuit voltage ends the forward sweeps.
  s.flags.subStudyFlag = 1;
  StudyAllJunctions(s, ui);

  s.id.studyLabel = s.id.studyName + kOneLit.labelSuffix;
  s.flags.darkFlag = 0;
  s.id.baseDir = WorkDir(s.id);
  MakeStudyFolder(s.id);
  DrawAndSave(s, ui, kOneLit, ComputeOneLitWithRl(s, maxRp));
}

void StudyTwoWithRl(State& s, Ui& ui) {
  static const PartialStudyWithRl kTwoLit = {
      false,
      {0, 128, 32768, 8388608},
      "_2 junctions_wRl",
      {"", "_J(V)_2Junctions_#2&#3_Rl.txt", "_J(V)_2Junctions_#1&#3_Rl.txt", "_J(V)_2Junctions_#1&#2_Rl.txt"},
      "                    J(V) 2 Junctions Illuminated with Rl [J (A/cm2) vs V (V)]"};
  ReadStudyParameters(s, ui);
  if (!AllJunctionsLitOrRefuse(s.par, ui)) return;
  PlanFiles(s, ui, kTwoLit);
  s.id.illumFiles = {};

  s.flags.subStudyFlag = 1;
  StudyAllJunctions(s, ui);

  s.id.studyLabel = s.id.studyName + kTwoLit.labelSuffix;
  s.flags.darkFlag = 0;
  s.id.baseDir = WorkDir(s.id);
  MakeStudyFolder(s.id);
  DrawAndSave(s, ui, kTwoLit, ComputeTwoLitWithRl(s));
}

}  // namespace pelarin
