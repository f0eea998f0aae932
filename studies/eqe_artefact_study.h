// The EQE artefact study: a probe adds 1e-4 A/cm2 of photocurrent to one junction at a time, and the study
// shows, against the applied voltage, how much of the short-circuit response that the probe gives the
// junction alone reaches the terminal current of the stack (in %). Five commands start it: all junctions
// lit, the dark stack, and each pair of junctions lit.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "model/state.h"
#include "plot/surface.h"
#include "ui/ui.h"

namespace pelarin {

// The sweeps of one run, indexed (column, point): column 0 holds the reference sweep, column k = 1..3 the
// sweep with junction k probed; points 1..eqeCount[column], index 0 unused.
struct EqeTables {
  explicit EqeTables(int maxPoints);
  std::array<std::vector<double>, 4> eqeV;   // total voltage (V)
  std::array<std::vector<double>, 4> eqeJ;   // terminal current density (A/cm2)
  std::array<std::vector<double>, 4> eqeVj;  // junction voltages (index 1..3) of the last sweep copied
  std::array<std::int16_t, 6> eqeCount{};
};

// How a mode looks: curve colours (index 1..3), study label suffix, caption legend, table file ending.
struct EqeLook {
  std::array<Colour, 4> colour{};
  std::string labelSuffix;  // empty: the label stays studyName + "_EQE_All junctions"
  std::string legend;
  std::string fileEnding;
};

// Everything a run computes, ready to draw and save.
struct EqeArtefacts {
  explicit EqeArtefacts(int maxPoints) : tables(maxPoints) {}
  bool allLit = false;
  std::array<double, 4> use{};      // photocurrents in use, index 1..3
  std::array<double, 4> dJsc{};     // short-circuit response of each junction alone to the probe, index 1..3
  std::array<bool, 4> probed{};     // index 1..3: the junction had a probed sweep
  std::array<int, 4> sweepCount{};  // points of the reference (0) and probed (1..3) sweeps as computed
  // The tables after the counts were set for the plot: eqeJ of a probed column holds its interpolated
  // currents, eqeCount[j] the points plotted.
  EqeTables tables;
  std::array<std::vector<double>, 4> contrib;  // index 1..3: contribution in % at each reference point
  int maxCount = 0;                            // the table's rows are points 2..maxCount - 1
  double cMax = 0;                             // largest contribution
  double vMax = -1;                            // largest last voltage of the curves
};

// The photocurrents of the junctions in this mode (index 1..3).
[[nodiscard]] std::array<double, 4> PhotocurrentsInUse(const Parameters& par, const ModeFlags& flags);

// Colours, label suffix, legend and file ending of the mode the flags select.
[[nodiscard]] EqeLook LookOf(const ModeFlags& flags, bool allLit);

// The three-junction stack's lit sweep with 1e-4 A/cm2 in every junction, with the parameters as they
// stand: sets vocRef from its open-circuit voltage and gives back the photocurrents and darkFlag.
void EqeReferencePreRun(State& state);

// One probed sweep: junction eqeJunction carries the probe in the photocurrents in use already set;
// fills that column of the tables and its count. Dark mode joins a second sweep down towards 0 V.
void EqeProbeSweep(State& state, EqeTables& tables, bool allLit);

// The index i in 2..count of the first point with v[i] > x, 0 when there is none: the reference scan,
// point by point.
[[nodiscard]] int FirstPointAboveByScan(std::span<const double> v, int count, double x);

// The same search in logarithmic time: the running maximum of v[2..count] rises with i and passes x at
// the first point above x, so a binary search of it finds that point.
class FirstPointAbove {
 public:
  FirstPointAbove(std::span<const double> v, int count);
  [[nodiscard]] int operator()(double x) const;

 private:
  std::vector<double> runningMax_;
};

// The short-circuit responses, the reference sweep and the probed sweeps, after the parameters were read
// and the pre-run set vocRef.
[[nodiscard]] EqeArtefacts SweepEqe(State& state);

// From the sweeps: each probed sweep interpolated at the reference voltages, the contributions in %, the
// counts of the plot and table, cMax and vMax. Throws CalcError on an arithmetic fault.
void ComputeContributions(EqeArtefacts& artefacts);

// Both of the above.
[[nodiscard]] EqeArtefacts ComputeEqeArtefacts(State& state);

// The whole study for the mode set in darkFlag and the pair flags: computes, draws on linlin and offers
// to save the table. The pair flags are cleared when it ends, however it ends.
void EqeArtefactStudy(State& state, Ui& ui);

// The five commands of the EQE menu: each sets the mode flags, then runs the study.
void EqeIlluminatedStudy(State& state, Ui& ui);
void EqeDarkStudy(State& state, Ui& ui);
void EqePair12Study(State& state, Ui& ui);
void EqePair13Study(State& state, Ui& ui);
void EqePair23Study(State& state, Ui& ui);

}  // namespace pelarin
