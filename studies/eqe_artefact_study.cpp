#include "studies/eqe_artefact_study.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string>

#include "model/calc_error.h"
#include "model/solvers.h"
#include "plot/linear_axes.h"
#include "studies/result_table.h"
#include "studies/studies.h"
#include "studies/study_output.h"
#include "workspace/read_parameters.h"
#include "workspace/study_folder.h"

namespace pelarin {
namespace {

constexpr double kProbe = 1e-4;  // the probe's photocurrent density (A/cm2)
constexpr double kLitEndVoltage = -0.005;

bool DarkMode(const ModeFlags& f) { return f.darkFlag != 0; }

double ResistanceSum(const Parameters& p) { return p.Rp2 + p.Rp1 + p.Rp3 + p.Rs1 + p.Rs2 + p.Rs3; }

// The dark sweeps start from the forward current that the shunts alone carry at 50 uV, at least 1e-13.
double DarkForwardStart(const Parameters& p) { return std::min(-5e-5 / ResistanceSum(p), -1e-13); }
double DarkReverseStart(const Parameters& p) { return std::max(5e-5 / ResistanceSum(p), 1e-13); }

void RunSweep(State& s, bool allLit) {
  if (allLit)
    CalcCoupled(s);
  else
    CalcStack(s);
}

// Points 1..resCount of the last sweep into column k; the junction voltages into eqeVj.
void CopySweep(const SweepState& w, EqeTables& t, int k) {
  for (int i = 1; i <= w.resCount; ++i) {
    const auto n = static_cast<std::size_t>(i);
    t.eqeV[k][n] = w.resVtot[n];
    t.eqeJ[k][n] = w.resJ[n];
    t.eqeVj[3][n] = w.resV3[n];
    t.eqeVj[2][n] = w.resV2[n];
    t.eqeVj[1][n] = w.resV1[n];
  }
  t.eqeCount[k] = w.resCount;
}

// Lit sweeps run from open circuit down to short circuit; the curves are kept from short circuit up.
void ReverseColumn(EqeTables& t, int k) {
  const auto n = static_cast<std::ptrdiff_t>(t.eqeCount[k]);
  if (n < 1) return;
  std::reverse(t.eqeJ[k].begin() + 1, t.eqeJ[k].begin() + 1 + n);
  std::reverse(t.eqeV[k].begin() + 1, t.eqeV[k].begin() + 1 + n);
}

// The dark probed curve starts above the reference's first voltage: a second sweep from there down
// towards 0 V is put in front of it, in rising voltage, so that the curve covers the reference's range.
void JoinSweepTowardsZero(const SweepState& w, EqeTables& t, int k, int maxPoints) {
  const int a = w.resCount;
  const int n = t.eqeCount[k];
  if (a < 1) return;
  if (n + a > maxPoints) {
    throw CalcError("EQE study: the dark curve of junction " + std::to_string(k) + " has " +
                    std::to_string(n + a) + " points, more than the tables hold (" +
                    std::to_string(maxPoints) + ")");
  }
  const std::array<std::vector<double>*, 5> columns = {&t.eqeV[k], &t.eqeJ[k], &t.eqeVj[1], &t.eqeVj[2],
                                                       &t.eqeVj[3]};
  const std::array<const std::vector<double>*, 5> swept = {&w.resVtot, &w.resJ, &w.resV1, &w.resV2, &w.resV3};
  for (std::size_t c = 0; c < columns.size(); ++c) {
    std::vector<double>& col = *columns[c];
    for (int i = n; i >= 1; --i) {
      const auto from = static_cast<std::size_t>(i);
      col[from + static_cast<std::size_t>(a)] = col[from];
    }
    for (int j = 1; j <= a; ++j)
      col[static_cast<std::size_t>(j)] = (*swept[c])[static_cast<std::size_t>(a + 1 - j)];
  }
  t.eqeCount[k] = static_cast<std::int16_t>(n + a);
}

// Junction k's current at 0 V alone, with the given photocurrent, from the study's start guess.
double ShortCircuitCurrent(State& s, int k, double photocurrent) {
  LoadJunction(s, k, photocurrent);
  s.ws.curV = 0;
  s.ws.cycleCount = 0;
  s.ws.curJ = s.sweep.Jstart;
  s.ws.stepJ = s.eqe.eqeStep;
  CalcJ(s);
  return s.ws.curJ;
}

// The probed current at each reference voltage, interpolated on the segment that ends at the first
// probed point above it; found[p] is 0 where no probed point lies above the reference voltage.
struct Interpolated {
  std::vector<double> Jint;
  std::vector<char> found;
};

Interpolated Interpolate(const EqeTables& t, int a, std::size_t size) {
  Interpolated r{std::vector<double>(size, 0.0), std::vector<char>(size, 0)};
  const std::vector<double>& v = t.eqeV[a];
  const std::vector<double>& j = t.eqeJ[a];
  const FirstPointAbove firstAbove(v, t.eqeCount[a]);
  for (int p = 1; p <= t.eqeCount[0]; ++p) {
    const auto pp = static_cast<std::size_t>(p);
    const double vRef = t.eqeV[0][pp];
    const int i = firstAbove(vRef);
    if (i == 0) continue;
    const auto n = static_cast<std::size_t>(i);
    const double dV = v[n] - v[n - 1];
    if (dV == 0) {
      throw CalcError("EQE study: division by zero in the interpolation of junction " + std::to_string(a) +
                      ": its points " + std::to_string(i - 1) + " and " + std::to_string(i) +
                      " have the same voltage");
    }
    const double jint = (j[n] - j[n - 1]) / dV * (vRef - v[n]) + j[n];
    if (!std::isfinite(jint))
      throw CalcError("EQE study: the interpolated current of junction " + std::to_string(a) + " overflows");
    r.Jint[pp] = jint;
    r.found[pp] = 1;
  }
  return r;
}

void Require(bool ok, const std::string& what) {
  if (!ok) throw CalcError("EQE study: " + what);
}

}  // namespace

EqeTables::EqeTables(int maxPoints) {
  Require(maxPoints >= 0, "maxPoints is negative");
  const auto size = static_cast<std::size_t>(maxPoints) + 1;
  for (int c = 0; c < 4; ++c) {
    eqeV[c].assign(size, 0.0);
    eqeJ[c].assign(size, 0.0);
    eqeVj[c].assign(size, 0.0);
  }
}

std::array<double, 4> PhotocurrentsInUse(const Parameters& par, const ModeFlags& f) {
  const bool allLit = par.Jsc1 != 0 && par.Jsc2 != 0 && par.Jsc3 != 0;
  std::array<double, 4> use = {0, par.Jsc1, par.Jsc2, par.Jsc3};
  if (DarkMode(f)) use = {0, 0, 0, 0};
  if (f.eqePair23 != 0) use = {0, 0, par.Jsc2, allLit ? par.Jsc3 : 0};
  if (f.eqePair13 != 0) use = {0, allLit ? par.Jsc1 : 0, 0, par.Jsc3};
  if (f.eqePair12 != 0) use = {0, par.Jsc1, allLit ? par.Jsc2 : 0, 0};
  return use;
}

EqeLook LookOf(const ModeFlags& f, bool allLit) {
  EqeLook look;
  std::array<Colour, 4>& c = look.colour;
  if (f.darkFlag != 1)
    c = {0, Rgb(255, 0, 0), Rgb(0, 255, 0), Rgb(0, 0, 255)};
  else
    c = {0, Rgb(128, 0, 0), Rgb(0, 128, 0), Rgb(0, 0, 128)};
  if (f.eqePair23 != 0) {
    look.labelSuffix = allLit ? "_EQE_2 junctions_2&3" : "_EQE_1 junction_#2";
    c[3] = allLit ? Rgb(0, 0, 255) : Rgb(0, 0, 128);
    c[2] = Rgb(0, 255, 0);
    c[1] = Rgb(128, 0, 0);
  }
  if (f.eqePair13 != 0) {
    look.labelSuffix = allLit ? "_EQE_2 junctions_1&3" : "_EQE_1 junction_#3";
    c[3] = Rgb(0, 0, 255);
    c[2] = Rgb(0, 128, 0);
    c[1] = allLit ? Rgb(255, 0, 0) : Rgb(128, 0, 0);
  }
  if (f.eqePair12 != 0) {
    look.labelSuffix = allLit ? "_EQE_2 junctions_1&2" : "_EQE_1 junction_#1";
    c[3] = Rgb(0, 0, 128);
    c[2] = allLit ? Rgb(0, 255, 0) : Rgb(0, 128, 0);
    c[1] = Rgb(255, 0, 0);
  }

  if (DarkMode(f)) look.legend = "      Dark";
  if (allLit) {
    if (f.eqePair23 != 0) look.legend = "     #2&#3 illuminated";
    if (f.eqePair13 != 0) look.legend = "     #1&#3 illuminated";
    if (f.eqePair12 != 0) look.legend = "     #1&#2 illuminated";
  } else {
    if (f.eqePair23 != 0) look.legend = "     #2 illuminated";
    if (f.eqePair13 != 0) look.legend = "     #3 illuminated";
    if (f.eqePair12 != 0) look.legend = "     #1 illuminated";
  }
  if (f.darkFlag == 0 && f.eqePair12 == 0 && f.eqePair13 == 0 && f.eqePair23 == 0)
    look.legend = allLit ? "     3 junctions illuminated" : "     2 junctions illuminated";

  look.fileEnding = DarkMode(f) ? "_EQE_dark.txt" : "_EQE.txt";
  if (f.eqePair12 != 0) look.fileEnding = allLit ? "_EQE_2Junc_#1&#2_ill.txt" : "_EQE_1Junc_#1_ill.txt";
  if (f.eqePair13 != 0) look.fileEnding = allLit ? "_EQE_2Junc_#1&#3_ill.txt" : "_EQE_1Junc_#3_ill.txt";
  if (f.eqePair23 != 0) look.fileEnding = allLit ? "_EQE_2Junc_#2&#3_ill.txt" : "_EQE_1Junc_#2_ill.txt";
  return look;
}

void EqeReferencePreRun(State& s) {
  // The photocurrents, darkFlag and the sub-step flag are given back however the sweep ends.
  struct Restore {
    State& s;
    double jsc1, jsc2, jsc3, darkFlag;
    ~Restore() {
      s.par.Jsc1 = jsc1, s.par.Jsc2 = jsc2, s.par.Jsc3 = jsc3;
      s.flags.darkFlag = darkFlag;
      s.flags.subStudyFlag = 0;
    }
  } restore{s, s.par.Jsc1, s.par.Jsc2, s.par.Jsc3, s.flags.darkFlag};
  s.par.Jsc1 = s.par.Jsc2 = s.par.Jsc3 = kProbe;
  s.flags.subStudyFlag = 1;
  // The three-junction study's sub-step, without reading the form again: it would put the form's
  // photocurrents back. Its study label and folder are not taken either, so that the EQE plot images keep
  // their own name instead of replacing the three-junction study's.
  s.flags.darkFlag = 0;
  s.flags.dragLineOn = 1;
  (void)LitStackSweep(s);
  s.eqe.vocRef = s.sweep.stackVoc;
}

void EqeProbeSweep(State& s, EqeTables& t, bool allLit) {
  SweepState& w = s.sweep;
  const int k = s.eqe.eqeJunction;
  Require(k >= 1 && k <= 3, "there is no junction " + std::to_string(k) + " to probe");
  const bool dark = DarkMode(s.flags);
  w.sweepStep = s.eqe.eqeStep;
  s.ws.curJset = w.Jstart;
  w.Vend = kLitEndVoltage;
  s.ws.cycleCount = 0;
  if (dark) {
    s.ws.curJset = DarkForwardStart(s.par);
    w.Vend = s.eqe.vocRef;
  }
  RunSweep(s, allLit);
  CopySweep(w, t, k);
  if (dark && t.eqeV[k][1] > t.eqeV[0][1]) {
    s.ws.curJset = DarkReverseStart(s.par);
    w.Vend = 0;
    RunSweep(s, allLit);
    JoinSweepTowardsZero(w, t, k, s.k.maxPoints);
  }
  if (!dark) ReverseColumn(t, k);
}

int FirstPointAboveByScan(std::span<const double> v, int count, double x) {
  for (int i = 2; i <= count; ++i)
    if (v[static_cast<std::size_t>(i)] > x) return i;
  return 0;
}

FirstPointAbove::FirstPointAbove(std::span<const double> v, int count) {
  if (count < 2) return;
  runningMax_.reserve(static_cast<std::size_t>(count - 1));
  double highest = v[2];
  for (int i = 2; i <= count; ++i) {
    highest = std::max(highest, v[static_cast<std::size_t>(i)]);
    runningMax_.push_back(highest);
  }
}

int FirstPointAbove::operator()(double x) const {
  const auto found = std::upper_bound(runningMax_.begin(), runningMax_.end(), x);
  return found == runningMax_.end() ? 0 : 2 + static_cast<int>(found - runningMax_.begin());
}

EqeArtefacts SweepEqe(State& s) {
  const Parameters& par = s.par;
  SweepState& w = s.sweep;
  const bool dark = DarkMode(s.flags);
  EqeArtefacts r(s.k.maxPoints);
  EqeTables& t = r.tables;
  r.allLit = par.Jsc1 != 0 && par.Jsc2 != 0 && par.Jsc3 != 0;

  w.Vend = kLitEndVoltage;
  w.Jstart = 1e-13;
  w.Vinit.assign(6, 0.0);
  w.Vinit[1] = w.Vinit[2] = w.Vinit[3] = 0.001;
  s.eqe.eqeStep = 0.1;
  s.ws.V1 = s.ws.V2 = s.ws.V3 = 0.001;
  r.use = PhotocurrentsInUse(par, s.flags);

  // The probe's effect on each lit junction alone at short circuit, also in the dark mode.
  for (int k = 1; k <= 3; ++k) {
    const double jsc = Photocurrent(par, k);
    if (jsc == 0) continue;
    const double j0 = ShortCircuitCurrent(s, k, jsc);
    const double j1 = ShortCircuitCurrent(s, k, jsc + kProbe);
    r.dJsc[k] = j1 - j0;
  }

  // The reference sweep.
  w.sweepStep = s.eqe.eqeStep;
  w.Vend = kLitEndVoltage;
  w.JscUse1 = r.use[1], w.JscUse2 = r.use[2], w.JscUse3 = r.use[3];
  s.ws.curJset = w.Jstart;
  s.ws.cycleCount = 0;
  if (dark) {
    w.Vend = s.eqe.vocRef;
    s.ws.curJset = DarkForwardStart(par);
  }
  RunSweep(s, r.allLit);
  CopySweep(w, t, 0);
  if (!dark) ReverseColumn(t, 0);

  // Each junction with a photocurrent in the parameters is probed, whether it is lit in this mode or not.
  for (int k = 1; k <= 3; ++k) {
    if (Photocurrent(par, k) == 0) continue;
    r.probed[k] = true;
    w.JscUse1 = r.use[1] + (k == 1 ? kProbe : 0);
    w.JscUse2 = r.use[2] + (k == 2 ? kProbe : 0);
    w.JscUse3 = r.use[3] + (k == 3 ? kProbe : 0);
    s.eqe.eqeJunction = static_cast<std::int16_t>(k);
    EqeProbeSweep(s, t, r.allLit);
  }
  for (int j = 0; j <= 3; ++j) r.sweepCount[j] = t.eqeCount[j];
  return r;
}

void ComputeContributions(EqeArtefacts& r) {
  EqeTables& t = r.tables;
  const std::size_t size = t.eqeV[0].size();
  std::array<Interpolated, 4> in;
  for (int a = 1; a <= 3; ++a) in[a] = Interpolate(t, a, size);

  // A probed junction gets a contribution at every reference point but the last; the others get none.
  const int n0 = t.eqeCount[0];
  for (int a = 1; a <= 3; ++a) {
    t.eqeCount[a] = static_cast<std::int16_t>(r.probed[a] ? n0 - 1 : std::min<int>(t.eqeCount[a], n0) - 1);
    for (int p = 1; p <= t.eqeCount[a]; ++p) {
      const auto pp = static_cast<std::size_t>(p);
      t.eqeJ[a][pp] = in[a].Jint[pp];
    }
  }
  r.maxCount = 0;
  for (int j = 0; j <= 3; ++j) r.maxCount = std::max<int>(r.maxCount, t.eqeCount[j]);

  // Where no probed point lies above the reference voltage there is nothing to compare: 0, as for a
  // junction that was not probed.
  r.cMax = 0;
  for (int k = 1; k <= 3; ++k) {
    r.contrib[k].assign(size, 0.0);
    if (r.dJsc[k] == 0) continue;
    for (int p = 1; p <= t.eqeCount[k]; ++p) {
      const auto pp = static_cast<std::size_t>(p);
      if (!in[k].found[pp]) continue;
      const double c = std::fabs((in[k].Jint[pp] - t.eqeJ[0][pp]) / r.dJsc[k]) * 100;
      Require(std::isfinite(c), "the contribution of junction " + std::to_string(k) + " overflows");
      r.contrib[k][pp] = c;
      r.cMax = std::max(r.cMax, c);
    }
  }
  for (int j = 0; j <= 3; ++j) --t.eqeCount[j];

  r.vMax = -1;
  for (int j = 0; j <= 3; ++j) {
    if (t.eqeCount[j] <= 1) continue;
    const double last = t.eqeV[j][static_cast<std::size_t>(t.eqeCount[j])];
    if (last > r.vMax) r.vMax = last;
  }
}

EqeArtefacts ComputeEqeArtefacts(State& s) {
  EqeArtefacts r = SweepEqe(s);
  ComputeContributions(r);
  return r;
}

namespace {

void DrawContributions(State& s, Ui& ui, const EqeArtefacts& r, const EqeLook& look) {
  ui.Plot(PlotId::linlog).Hide();
  s.flags.dragLineOn = 0;
  PlotWindow& linlin = StartPlot(
      ui, PlotId::linlin, s.id.studyName + "                    EQE contribution  [% vs V (V)]" + look.legend,
      s, kContributionTitle);
  DrawLinLinAxes(linlin, s.plot, 0, r.vMax, 0, r.cMax);
  const double radius = 1.5 * s.plot.markerRadius;
  for (int k = 1; k <= 3; ++k) {
    // Contributions in %, not J(V) curves: no figures of merit.
    if (r.tables.eqeCount[k] >= 1)
      linlin.BeginCurve({.name = "junction #" + std::to_string(k),
                         .colour = look.colour[k],
                         .hollow = false,
                         .figures = std::nullopt});
    linlin.SetFillColour(look.colour[k]);
    for (int p = 1; p <= r.tables.eqeCount[k]; ++p) {
      const auto pp = static_cast<std::size_t>(p);
      linlin.Circle(r.tables.eqeV[0][pp], r.contrib[k][pp], radius, look.colour[k]);
    }
  }
}

void SaveContributions(const EqeArtefacts& r, const std::string& path) {
  ResultTable table({"V (V)    ", "Current (A/cm2)", "% Junct. #1 ", "% Junct. #2 ", "% Junct. #3 "});
  const EqeTables& t = r.tables;
  for (int i = 2; i <= r.maxCount - 1; ++i) {
    const auto n = static_cast<std::size_t>(i);
    table.AddRow({{t.eqeV[0][n], "#.#####E+##"},
                  {t.eqeJ[0][n], "#.######E+##"},
                  {r.contrib[1][n], "#.######E+##"},
                  {r.contrib[2][n], "#.######E+##"},
                  {r.contrib[3][n], "#.######E+##"}});
  }
  table.Write(path);
}

void ClearPairFlags(ModeFlags& f) { f.eqePair12 = f.eqePair13 = f.eqePair23 = 0; }

void RunEqeArtefactStudy(State& s, Ui& ui) {
  ReadStudyParameters(s, ui);
  const bool allLit = s.par.Jsc1 != 0 && s.par.Jsc2 != 0 && s.par.Jsc3 != 0;
  s.id.studyLabel = s.id.studyName + "_EQE_All junctions";
  {
    const EqeLook look = LookOf(s.flags, allLit);
    StudyIdentity planned = s.id;
    planned.baseDir = WorkDir(s.id);
    planned.studyDir = StudyFolderOf(planned);
    const std::string label = look.labelSuffix.empty() ? s.id.studyLabel : s.id.studyName + look.labelSuffix;
    ui.BeforeComputing({.tables = {planned.studyDir + s.id.studyName + look.fileEnding},
                        .parameterFile = false,
                        .images = PlotImages(planned.studyDir, label, {PlotKind::linlin}, s.flags.darkFlag)});
  }

  EqeReferencePreRun(s);
  ui.Form().Show();  // as the three-junction sub-step does when it ends

  s.id.baseDir = WorkDir(s.id);
  MakeStudyFolder(s.id);
  const EqeLook look = LookOf(s.flags, allLit);
  if (!look.labelSuffix.empty()) s.id.studyLabel = s.id.studyName + look.labelSuffix;

  const EqeArtefacts result = ComputeEqeArtefacts(s);
  DrawContributions(s, ui, result, look);

  const std::string path = s.id.studyDir + s.id.studyName + look.fileEnding;
  const bool save = ui.Ask(Question::SaveData);
  ClearPairFlags(s.flags);
  if (!save) return;
  if (SomethingAt(path) && !ui.Ask(Question::OverwriteResults)) return;
  SaveContributions(result, path);
  AnnounceSaved(ui, {path});
}

}  // namespace

void EqeArtefactStudy(State& s, Ui& ui) {
  // A command that ends early must not leave its pair flag for the next EQE command.
  try {
    RunEqeArtefactStudy(s, ui);
  } catch (...) {
    ClearPairFlags(s.flags);
    throw;
  }
}

void EqeIlluminatedStudy(State& s, Ui& ui) {
  s.flags.darkFlag = 0;
  EqeArtefactStudy(s, ui);
}

void EqeDarkStudy(State& s, Ui& ui) {
  s.flags.darkFlag = 1;
  EqeArtefactStudy(s, ui);
}

void EqePair12Study(State& s, Ui& ui) {
  s.flags.eqePair12 = 1;
  s.flags.darkFlag = 0;
  EqeArtefactStudy(s, ui);
}

void EqePair13Study(State& s, Ui& ui) {
  s.flags.eqePair13 = 1;
  s.flags.darkFlag = 0;
  EqeArtefactStudy(s, ui);
}

void EqePair23Study(State& s, Ui& ui) {
  s.flags.eqePair23 = 1;
  s.flags.darkFlag = 0;
  EqeArtefactStudy(s, ui);
}

}  // namespace pelarin
