// The process-wide state of Pelarin, grouped by owner. The application creates one State and passes it by
// reference to every procedure; tests create a fresh one per case. Names follow the domain's own names.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace pelarin {

// The 26 parameters of the cell (two-diode model per junction, coupling resistances), the per-junction
// larger saturation current density derived from them, and the cell's operating conditions: temperature
// (degrees C), concentration (suns), each junction's band gap (eV) and the relative temperature coefficient
// of its photocurrent (1/K). The conditions start at the reference conditions, where the 26 are given.
struct Parameters {
  double Rs1 = 0, Rp1 = 0, Jsc1 = 0, Jsd11 = 0, Jsd12 = 0, m11 = 0, m12 = 0;
  double Rs2 = 0, Rp2 = 0, Jsc2 = 0, Jsd21 = 0, Jsd22 = 0, m21 = 0, m22 = 0;
  double Rs3 = 0, Rp3 = 0, Jsc3 = 0, Jsd31 = 0, Jsd32 = 0, m31 = 0, m32 = 0;
  double Rl1 = 0, Rl2 = 0, Rg1 = 0, Rg2 = 0, Rg3 = 0;
  double JsdMax1 = 0, JsdMax2 = 0, JsdMax3 = 0;
  double T = 26.85, X = 1;
  double Eg1 = 0.67, Eg2 = 1.40, Eg3 = 1.85;
  double alpha1 = 0, alpha2 = 0, alpha3 = 0;
  // Luminescent coupling: the fraction of junction k's radiative current (its first diode's) that junction
  // k-1 absorbs as photocurrent, for k = 3 and 2. Reverse breakdown of each junction (Bishop's term): its
  // shunt current Vd/Rp grows by the factor 1 + Abd (1 - Vd/Vbd)^-nbd. The defaults turn both off.
  double beta2 = 0, beta3 = 0;
  double Abd1 = 0, Abd2 = 0, Abd3 = 0;
  double Vbd1 = -20, Vbd2 = -20, Vbd3 = -20;
  double nbd1 = 3.28, nbd2 = 3.28, nbd3 = 3.28;
  // The natural logarithms of the six saturation currents (Jsd11, Jsd12, Jsd21, ... Jsd32) of a cell whose
  // conditions took one below the normal doubles (a deep-cold cell, where Jsd31 is some 1e-2000 A/cm2):
  // the exact solver then works with e^(ln Jsd + x). NaN where the value itself holds the current.
  static constexpr double kNoLogJsd = std::numeric_limits<double>::quiet_NaN();
  std::array<double, 6> logJsd{kNoLogJsd, kNoLogJsd, kNoLogJsd, kNoLogJsd, kNoLogJsd, kNoLogJsd};
};

// Junction j's (1..3) photocurrent density and larger saturation current density.
[[nodiscard]] inline double Photocurrent(const Parameters& p, int j) {
  return j == 1 ? p.Jsc1 : j == 2 ? p.Jsc2 : p.Jsc3;
}
[[nodiscard]] inline double JsdMax(const Parameters& p, int j) {
  return j == 1 ? p.JsdMax1 : j == 2 ? p.JsdMax2 : p.JsdMax3;
}
// The fraction of junction j's (1..3) radiative current that the junction below absorbs (junction 1 has
// none below it).
[[nodiscard]] inline double LuminescentFraction(const Parameters& p, int j) {
  return j == 3 ? p.beta3 : j == 2 ? p.beta2 : 0;
}
// Whether any luminescent coupling or reverse breakdown is on.
[[nodiscard]] inline bool CouplingPhysicsOn(const Parameters& p) {
  return p.beta2 != 0 || p.beta3 != 0 || p.Abd1 != 0 || p.Abd2 != 0 || p.Abd3 != 0;
}

// Which study is open and where its files go. Folder strings end with a path separator where noted.
struct StudyIdentity {
  std::string studyName;      // "Test" until a parameter file is saved, opened or deleted
  std::string baseDir;        // folder holding the study folder
  std::string studyDir;       // baseDir + studyName + "_plr" + separator
  std::string loadedDir;      // folder of the last opened parameter file, with separator; empty until then
  std::string workDir;        // the folder studies work in instead of the current directory, when not empty
  std::string studyLabel;     // studyName + study suffix; stem of saved plot images
  bool studyDirMade = false;  // the last study made its folder afresh (a failed one then removes it empty)
  // False when the run saves nothing in the study folder (the batch tool's --no-save): named, never made.
  bool studyDirNeeded = true;
  std::array<std::string, 4> illumFiles{};  // index 1..3 used
  std::array<std::string, 4> darkFiles{};   // index 1..3 used
};

// Flags that menus and studies pass to each other and to the plot windows.
struct ModeFlags {
  double darkFlag = 0;
  double eqePair12 = 0, eqePair13 = 0, eqePair23 = 0;
  double subStudyFlag = 0;
  double dragLineOn = 0;
};

// Numerical constants set at start-up.
struct Constants {
  double Vt = 0.025851;
  double stepInit = 0.005;
  std::int16_t cycleLimit = 7;
  double flipLimit = 1e-12;
  double sweepGain = 5e-6;
  std::int16_t maxPoints = 20000;
  // The coupled sweep's passes over junctions 2 and 1 at each point: at most maxPasses, the last one kept as
  // it is, ended once a pass changes V1 and V2 by less than settledChange (relative).
  int maxPasses = 200;
  double settledChange = 0.001;
  // Whether a study may run its sweeps that start from values of their own at once, each on a copy of the
  // state, on two processor cores; the results and the final state are those of the sweeps run in turn.
  bool parallelSweeps = true;
  // Long search phases jump over steps whose outcome is certain (junction_searches.cpp explains why the
  // results stay the same to the last bit); false evaluates every step, the reference the jumps are
  // tested against.
  bool skipCertifiedSteps = true;
  // Whether the studies of junctions in series take their legends' figures from the exact solver where it
  // gives their points' currents (microseconds); false solves every figure by the junctions' own searches,
  // the reference the exact figures are tested against.
  bool exactFigures = true;
};

// The working set of the junction searches: one junction's quantities, the guess/result, search state.
struct WorkingSet {
  double curRs = 0, curRp = 0, curJsc = 0, curJsd1 = 0, curJsd2 = 0, curM1 = 0, curM2 = 0;
  double curAbd = 0, curVbd = -20, curNbd = 3.28;  // the junction's reverse breakdown (Abd 0: none)
  double curV = 0, curJ = 0, curJset = 0;
  double eqLhs = 0, eqRhs = 0;
  double V1 = 0, V2 = 0, V3 = 0;
  double V1start = 0, V2start = 0;
  double stepFactor = 0.005;
  double stepJ = 0;
  std::int16_t cycleCount = 0;
  std::int16_t divergeFlag = 0;
  // Balance evaluations so far (they count against the budget below; benchmarks and tests read them too)
  // and the longest search phase seen, in steps (diagnostics only).
  std::uint64_t balanceEvals = 0;
  std::int32_t longestPhase = 0;
  // The work of the searches so far, in eighths of a balance evaluation (a guess a jump skips costs one),
  // and the work after which the running study stops with a calculation error, set when it reads the
  // form: every study ends in bounded time, however extreme the cell. The budget, the work of 100 million
  // evaluations (some seconds), is far beyond what a study that ends at all needs (a few million).
  std::uint64_t work = 0;
  std::uint64_t workBudget = 800'000'000;
  std::uint64_t workLimit = static_cast<std::uint64_t>(-1);
  // Set by a caller that can stop a running study (Ctrl-C in Python): the searches end at their next
  // evaluation with a calculation error; nothing else reads it.
  const std::atomic<bool>* stop = nullptr;
};

// Inputs and results of the stack and coupled sweeps.
struct SweepState {
  std::vector<double> Vinit = std::vector<double>(6, 0.0);  // indices 1..3 used
  double sweepStep = 0;
  double Vend = 0;
  double JscUse1 = 0, JscUse2 = 0, JscUse3 = 0;
  double rgSwitch = 0;
  std::vector<double> resVtot, resV1, resV2, resV3, resJ;  // 0..maxPoints after a sweep
  std::int16_t resCount = 0;
  double stackVoc = 0;  // total voltage of the first point of the last lit three-junction sweep
  double Jstart = 0;    // start current density of the next dark coupled sweep
};

// State shared by the plot windows and the axes procedures.
struct PlotState {
  double markerRadius = 0;
  double dragX0 = 0, dragY0 = 0;
};

// The EQE artefact study's settings and its reference voltage.
struct EqeState {
  double vocRef = 0;             // the stack's open-circuit voltage with 1e-4 A/cm2 in every junction
  double eqeStep = 0;            // first relative step of CalcJ and of the study's current sweeps
  std::int16_t eqeJunction = 0;  // the junction (1..3) that the running probed sweep perturbs
};

// What the figures of merit of lit curves refer to.
struct FigureSettings {
  double incidentPower = 100;  // mW/cm2, the light of one sun as the form states it
  double concentration = 1;    // suns, the cell's concentration (set with the cell)
  // The light the efficiency is stated for: the incident power times the concentration.
  [[nodiscard]] double LightPower() const { return incidentPower * concentration; }
};

// Everything together: created once by the application.
struct State {
  Parameters formValues;  // as the form holds them: the cell at the reference conditions, and its conditions
  Parameters par;         // the cell the solvers see: the form's values at their conditions
  StudyIdentity id;
  ModeFlags flags;
  Constants k;
  WorkingSet ws;
  SweepState sweep;
  PlotState plot;
  EqeState eqe;
  FigureSettings figures;
};

}  // namespace pelarin
