// Each junction on its own, as a separate cell: illuminated and dark J(V) by the current search at imposed
// voltages, drawn together, and six tables on request.
#include <array>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "model/calc_error.h"
#include "model/solvers.h"
#include "plot/linear_axes.h"
#include "plot/log_axes.h"
#include "studies/curve_figures.h"
#include "studies/parallel_sweeps.h"
#include "studies/stack_curve.h"
#include "studies/studies.h"
#include "studies/study_output.h"
#include "workspace/parameter_file.h"
#include "workspace/read_parameters.h"
#include "workspace/study_folder.h"

namespace pelarin {
namespace {

constexpr double kVoltageStep = 0.002;
constexpr double kSpan = 4;
constexpr double kDarkBand = 0.002;  // a dark point closer to 0 V than this gets J = 0 without a search

// Start guesses of the current search; their sign selects the branch of the curve.
constexpr std::array<double, 4> kLitGuess = {0, 1e-10, 1e-9, 1e-11};
constexpr std::array<double, 4> kDarkGuessForward = {0, -1e-12, -1e-13, -1e-12};
constexpr std::array<double, 4> kDarkGuessReverse = {0, 1e-12, 1e-13, 1e-13};

constexpr std::array<Colour, 4> kLitColour = {0, Rgb(0xFF, 0, 0), Rgb(0, 0xFF, 0), Rgb(0, 0, 0xFF)};
constexpr std::array<Colour, 4> kDarkColour = {0, Rgb(0x80, 0, 0), Rgb(0, 0x80, 0), Rgb(0, 0, 0x80)};
constexpr std::array<std::string_view, 2> kLitMasks = {"#.#####E+##", "#.######E+##"};
constexpr std::array<std::string_view, 2> kDarkMasks = {"#.#####E+##", "#.#####E+##"};

// One junction's two curves and the ranges they span.
struct JunctionCurves {
  StackCurve lit, dark;
  CurveBounds litBounds{-0.5, -3, 1e7, -5};
  CurveBounds darkBounds{5, -3, 1e7, -5};
};

// The same comparisons as point by point, so that of equal values the earlier one stays.
void Widen(CurveBounds& into, const CurveBounds& b) {
  if (b.xMin < into.xMin) into.xMin = b.xMin;
  if (b.xMax > into.xMax) into.xMax = b.xMax;
  if (b.yMin < into.yMin) into.yMin = b.yMin;
  if (b.yMax > into.yMax) into.yMax = b.yMax;
}

// Junction j alone: illuminated from -0.5 V upwards until the voltage passes the open-circuit voltage,
// then dark from -1 V to 3 V as the absolute current density.
void ComputeJunction(State& s, int j, JunctionCurves& c) {
  const int npts = static_cast<int>(std::lround(kSpan / kVoltageStep));
  const int ndark = npts / 2;
  LoadJunction(s, j, Photocurrent(s.par, j));
  s.ws.curV = -0.5;
  s.ws.stepJ = 0.05;
  s.ws.cycleCount = 0;
  for (int k = 1; k <= npts; ++k) {
    s.ws.curV = s.ws.curV + kVoltageStep;
    const double v = s.ws.curV;
    s.ws.curJ = kLitGuess[j];
    CalcJ(s);
    if (s.ws.eqLhs > s.ws.eqRhs) break;  // no current of the guess's sign exists beyond Voc
    const double jj = s.ws.curJ;
    c.lit.AddPoint(v, jj);
    if (v > c.litBounds.xMax) c.litBounds.xMax = v;
    if (jj < c.litBounds.yMin) c.litBounds.yMin = jj;
    if (jj > c.litBounds.yMax) c.litBounds.yMax = jj;
  }
  LoadJunction(s, j, 0);
  s.ws.stepJ = 0.05;
  s.ws.cycleCount = 0;
  s.ws.curV = -1;
  for (int k = 1; k <= ndark; ++k) {
    s.ws.curV = s.ws.curV + 2 * kVoltageStep;
    const double v = s.ws.curV;
    if (std::abs(v) >= kDarkBand) {
      s.ws.curJ = v >= 0 ? kDarkGuessForward[j] : kDarkGuessReverse[j];
      CalcJ(s);
    } else {
      s.ws.curJ = 0;
    }
    const double jj = std::abs(s.ws.curJ);
    c.dark.AddPoint(v, jj);
    if (v < c.darkBounds.xMin) c.darkBounds.xMin = v;
    if (v > c.darkBounds.xMax) c.darkBounds.xMax = v;
    if (jj < c.darkBounds.yMin && s.ws.curJ != 0) c.darkBounds.yMin = jj;
    if (jj > c.darkBounds.yMax) c.darkBounds.yMax = jj;
  }
}

// The lit junctions in turn.
void ComputeInTurn(State& s, const std::array<bool, 4>& lit, std::array<JunctionCurves, 4>& curves) {
  for (int j = 1; j <= 3; ++j)
    if (lit[j]) ComputeJunction(s, j, curves[j]);
}

// The lit junctions at once. A junction's curves read only the parameters and the search state they set
// themselves (its quantities, start voltage, step and cycle count; every guess), so run in turn the
// junctions would leave the last one's state, except for the last set current of the current search when
// the last junction never got that far: that comes from the junction before it.
void ComputeAtOnce(State& s, const std::array<bool, 4>& lit, std::array<JunctionCurves, 4>& curves) {
  std::array<State, 4> copies;
  std::vector<std::function<void()>> tasks;
  for (int j = 1; j <= 3; ++j) {
    if (!lit[j]) continue;
    copies[j] = CopyForSweep(s);
    copies[j].ws.curJset = std::numeric_limits<double>::quiet_NaN();  // marks a set current never set
    tasks.emplace_back([&, j] { ComputeJunction(copies[j], j, curves[j]); });
  }
  if (!RunAtOnce(tasks)) {
    curves = {};
    ComputeInTurn(s, lit, curves);
    return;
  }
  const WorkingSet start = s.ws;
  for (int j = 1; j <= 3; ++j) {
    if (!lit[j]) continue;
    const double curJset = std::isnan(copies[j].ws.curJset) ? s.ws.curJset : copies[j].ws.curJset;
    const std::uint64_t evaluations = s.ws.balanceEvals;
    const std::int32_t longest = s.ws.longestPhase;
    s.ws = copies[j].ws;
    s.ws.curJset = curJset;
    s.ws.balanceEvals = evaluations, s.ws.longestPhase = longest;
    AddDiagnostics(s.ws, start, copies[j].ws);
  }
}

}  // namespace

void IndependentStudy(State& s, Ui& ui) {
  ReadStudyParameters(s, ui);
  if (s.par.Jsc1 == 0 && s.par.Jsc2 == 0 && s.par.Jsc3 == 0)
    throw InputError(
        "no junction is illuminated (Jsc1, Jsc2 and Jsc3 are all 0): there is nothing to compute.");

  s.id.baseDir = WorkDir(s.id);
  MakeStudyFolder(s.id);

  s.id.illumFiles = {};
  s.id.darkFiles = {};
  s.id.studyLabel = s.id.studyName + "_All junctions_independent";
  s.flags.darkFlag = 0;
  const auto tablePath = [&s](int j, bool dark) {
    return s.id.studyDir + s.id.studyName + "_J(V)_#" + std::to_string(j) + (dark ? "_dark.txt" : ".txt");
  };
  StudyFiles files{.tables = {},
                   .parameterFile = true,
                   .images = PlotImages(s.id.studyDir, s.id.studyLabel, {PlotKind::linlin, PlotKind::linlog},
                                        s.flags.darkFlag)};
  for (int j = 1; j <= 3; ++j)
    if (Photocurrent(s.par, j) != 0)
      files.tables.insert(files.tables.end(), {tablePath(j, false), tablePath(j, true)});
  ui.BeforeComputing(files);
  CurveBounds lit{-0.5, -3, 1e7, -5};
  CurveBounds dark{5, -3, 1e7, -5};
  std::array<bool, 4> computed = {false, true, true, true};
  for (int j = 1; j <= 3; ++j) computed[j] = Photocurrent(s.par, j) != 0;
  std::array<JunctionCurves, 4> curves;
  if (s.k.parallelSweeps) {
    ComputeAtOnce(s, computed, curves);
  } else {
    ComputeInTurn(s, computed, curves);
  }
  std::array<StackCurve, 4> ill, drk;
  for (int j = 1; j <= 3; ++j) {
    if (!computed[j]) continue;
    ill[j] = std::move(curves[j].lit), drk[j] = std::move(curves[j].dark);
    Widen(lit, curves[j].litBounds);
    Widen(dark, curves[j].darkBounds);
  }

  std::array<LegendEntry, 4> litEntry, darkEntry;
  for (int j = 1; j <= 3; ++j) {
    const std::string name = "#" + std::to_string(j) + " alone";
    darkEntry[j] = {
        .name = name + ", dark", .colour = kDarkColour[j], .hollow = false, .figures = std::nullopt};
    const StackCurve& curve = ill[j];
    SeriesJunctions junction{.in = {}, .photocurrents = {}};
    junction.in[static_cast<std::size_t>(j)] = true;
    junction.photocurrents[static_cast<std::size_t>(j)] = Photocurrent(s.par, j);
    litEntry[j] = {.name = name,
                   .colour = kLitColour[j],
                   .hollow = false,
                   .figures = SeriesCurveFigures(s, curve, junction)};
  }

  PlotWindow& linlog = StartPlot(
      ui, PlotId::linlog, s.id.studyName + "                    J(V) Junction Dark [J (A/cm2) vs V (V)]", s);
  DrawLinLogAxes(linlog, s.plot, dark.xMin, dark.xMax, dark.yMin, dark.yMax);
  for (int j = 1; j <= 3; ++j)
    if (computed[j]) DrawCurveLog(linlog, drk[j], darkEntry[j], s.plot.markerRadius);

  PlotWindow& linlin =
      StartPlot(ui, PlotId::linlin,
                s.id.studyName + "                    J(V) Junction Illuminated [J (A/cm2) vs V (V)]", s);
  DrawLinLinAxes(linlin, s.plot, lit.xMin, lit.xMax, lit.yMin, lit.yMax);
  for (int j = 1; j <= 3; ++j)
    if (computed[j]) DrawCurve(linlin, ill[j], litEntry[j], s.plot.markerRadius);

  if (ui.Ask(Question::SaveData)) {
    // The parameter file first; cancelling it does not stop the tables. A new name renames the tables,
    // which stay in this run's study folder.
    SaveParameters(s, ui);
    TableSet tables;
    std::vector<std::string> written;
    for (int j = 1; j <= 3; ++j) {
      if (!computed[j]) continue;
      s.id.illumFiles[j] = tablePath(j, false);
      s.id.darkFiles[j] = tablePath(j, true);
      ResultTable illTable({"V (V)    ", "Current (A/cm2)"});
      AddCurveRows(illTable, ill[j], 1, ill[j].Size(), kLitMasks);
      tables.Add(s.id.illumFiles[j], illTable);
      ResultTable darkTable({"V (V)    ", "Current (A/cm2)"});
      AddCurveRows(darkTable, drk[j], 1, drk[j].Size(), kDarkMasks);
      tables.Add(s.id.darkFiles[j], darkTable);
      written.push_back(s.id.illumFiles[j]);
      written.push_back(s.id.darkFiles[j]);
    }
    tables.Write();
    AnnounceSaved(ui, written);
  }
  ui.Form().Show();
}

}  // namespace pelarin
