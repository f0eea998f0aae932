// The equivalent circuit of the cell solved to machine precision, beside the studies' bracketing searches:
// the same junction balance, the same Vt and the parameters as the form corrected them, but solved by
// safeguarded Newton iterations that converge quadratically and cannot run away. It answers the terminal
// current at a voltage, the voltage at a current, the figures of merit found directly (not read off a
// sweep), and the derivatives of the terminal current and voltage with respect to every parameter
// (implicit differentiation of the same equations), for a junction alone, the series stack with any set of
// junctions lit, or the stack inside the Rl/Rg network. Pure functions of their inputs: safe on any thread.
// A circuit without a finite solution raises CalcError naming the computation.
#pragma once

#include <array>
#include <limits>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "model/figures_of_merit.h"
#include "model/parameter_table.h"
#include "model/state.h"

namespace pelarin::exact {

struct JunctionPoint;
struct SeriesState;

// Which circuit: one junction alone, or the three in series, plain or inside the coupling network; and
// which junctions have their photocurrent (a dark junction's is 0).
struct Circuit {
  int alone = 0;                              // 1..3: that junction by itself; 0: the stack
  std::array<bool, 3> lit{true, true, true};  // junctions 1..3 (index 0..2)
  bool coupled = false;                       // the stack inside Rl1, Rl2, Rg1, Rg2, Rg3

  // For example "stack, junctions 1 3 lit, with Rl + Rg" or "junction 2 alone": for error messages.
  [[nodiscard]] std::string Describe() const;
};

[[nodiscard]] inline Circuit JunctionAlone(int junction) { return {.alone = junction}; }
[[nodiscard]] inline Circuit Stack(std::array<bool, 3> lit, bool coupled) {
  return {.alone = 0, .lit = lit, .coupled = coupled};
}

// The derivative of a terminal quantity with respect to each parameter, in the order of the parameter
// table (Rs1, Rp1, Jsc1, Jsd11, ..., Rg3): the 26 of the cell the solver was given.
using ParameterDerivatives = std::array<double, kCellParameterCount>;

// A terminal operating point: voltage (V) and current density (A/cm2, generator direction positive), the
// junction voltages (index 0..2; the stack's add up to V), and the slope dJ/dV of the terminal curve there.
struct OperatingPoint {
  double V = 0, J = 0;
  std::array<double, 3> junctionV{};
  double dJdV = 0;
  // J is exact to the rounding of this current density (a few 1e-16 of it), which is all of J when the
  // terms of a balance that sets J cancel to far below themselves: the largest term of each junction's
  // balance, weighed by how much that junction sets the current (its share of the stack's slope dV/dJ,
  // the series resistance's share included); inside the network, the largest current of any branch.
  double currentScale = 0;
};

// The circuit of one set of parameters, ready to be solved many times. Construction checks that the
// parameters are finite and in the ranges the form accepts (CalcError otherwise).
class CircuitSolver {
 public:
  CircuitSolver(const Parameters& par, double Vt, const Circuit& circuit);

  // The terminal current density at terminal voltage V.
  [[nodiscard]] OperatingPoint CurrentAt(double V) const;
  // The terminal voltage at terminal current density J.
  [[nodiscard]] OperatingPoint VoltageAt(double J) const;

  // dJ/d(parameter) at fixed terminal voltage V, with the point itself.
  [[nodiscard]] ParameterDerivatives CurrentDerivatives(double V, OperatingPoint* point = nullptr) const;
  // The current at each voltage of a curve, with its derivatives when asked for, each point solved from
  // the one before: several times faster than point by point over a curve's close voltages.
  void CurrentsAlong(std::span<const double> V, std::vector<OperatingPoint>& points,
                     std::vector<ParameterDerivatives>* derivatives = nullptr) const;
  // dV/d(parameter) at fixed terminal current density J, with the point itself.
  [[nodiscard]] ParameterDerivatives VoltageDerivatives(double J, OperatingPoint* point = nullptr) const;

  // Voc (J = 0), Jsc (V = 0), and the maximum of J V in the generator quadrant with FF and the efficiency
  // at incidentPower (mW/cm2). A circuit without a generator quadrant (no photocurrent reaching the
  // terminals) leaves the power figures empty.
  [[nodiscard]] FiguresOfMerit Figures(double incidentPower) const;

  [[nodiscard]] const Circuit& circuit() const { return circuit_; }

  // One junction's quantities with its photocurrent as lit or dark.
  struct Junction {
    double Rs = 0, Rp = 0, Jsc = 0, Jsd1 = 0, Jsd2 = 0, m1 = 0, m2 = 0;
    double mVt1 = 0, mVt2 = 0;  // m Vt of each diode
    // ln Jsd of each diode (minus infinity: no diode); where the cell carries a saturation current by its
    // logarithm, that Jsd is 0 here and its logarithm holds it.
    double lnJsd1 = 0, lnJsd2 = 0;
    double openBound = 0;  // a diode voltage at or above the junction's open-circuit one
    // Reverse breakdown (Abd 0: none) and the lowest diode voltage searched: just above Vbd, where the
    // breakdown current is still a finite number, or minus infinity without breakdown.
    double Abd = 0, Vbd = -20, nbd = 3.28;
    double floorVd = -std::numeric_limits<double>::infinity();
    int number = 0;  // 1..3
  };

 private:
  struct NetworkSolution;
  class NetworkTrack;
  [[nodiscard]] NetworkSolution SolveNetworkFromShortCircuit(double V) const;
  [[nodiscard]] NetworkSolution SolveNetwork(double V, const std::array<double, 2>* start,
                                             const NetworkSolution* near = nullptr) const;
  struct SeriesWalk;
  // The junctions of the stack at current density J (each solve from its hint, NaN: none), top first, with
  // the first and second derivatives of each diode voltage in J, luminescent coupling included.
  void JunctionsAtCurrent(double J, const std::array<double, 3>& hints, std::array<JunctionPoint, 3>& points,
                          std::array<double, 3>& dVd, std::array<double, 3>& d2Vd) const;
  void SeriesAt(double J, SeriesState& s) const;
  // Widens [lo, hi] until the decreasing f is >= 0 at lo and <= 0 at hi (f: the stack's voltage less a
  // target, in J), as luminescent coupling can move the stack's current past the junctions' own bounds.
  void WidenSeriesBracket(double V, double& lo, double& hi, SeriesState& s) const;
  // The derivatives by central differences of the solves at shifted parameters, where the coupling physics
  // is on; quantity(solver) gives the values differentiated (a curve's currents, say).
  template <class Quantity>
  [[nodiscard]] std::vector<ParameterDerivatives> Differenced(const Quantity& quantity) const;
  [[nodiscard]] OperatingPoint SeriesCurrentAt(double V) const;
  [[nodiscard]] OperatingPoint SeriesCurrentAt(double V, SeriesWalk& walk) const;
  [[nodiscard]] ParameterDerivatives SeriesCurrentDerivatives(const OperatingPoint& point,
                                                              const SeriesWalk& walk) const;
  [[nodiscard]] ParameterDerivatives NetworkCurrentDerivatives(const NetworkSolution& n) const;
  // The stack's short-circuit current; s holds its junctions there after, to start the searches that follow.
  [[nodiscard]] double SeriesShortCircuit(double& currentScale, SeriesState& s) const;
  // Throws CalcError for a cell with a saturation current carried by its logarithm.
  void RefuseDerivativesInLogs() const;
  // Throws CalcError when a figure's current is lost in the rounding of the currents it is made of.
  void CheckResolved(double J, double currentScale, const char* figure) const;
  [[nodiscard]] OperatingPoint SeriesVoltageAt(double J) const;
  [[nodiscard]] OperatingPoint CoupledVoltageAt(double J) const;
  [[nodiscard]] FiguresOfMerit SeriesFigures(double incidentPower) const;
  [[nodiscard]] FiguresOfMerit CoupledFigures(double incidentPower) const;

  Circuit circuit_;
  Parameters par_;  // as given, for the differenced derivatives
  double Vt_;
  // beta_[k]: the fraction of junction k+1's radiative current that junction k absorbs (index 0 unused);
  // luminescent_: the stack has some; breakdown_: a junction of the circuit breaks down; physics_: either.
  std::array<double, 3> beta_{};
  bool luminescent_ = false, breakdown_ = false, physics_ = false;
  // A saturation current is carried by its logarithm: the derivatives in it are beyond the doubles.
  bool inLogs_ = false;
  std::array<Junction, 3> junctions_{};
  int first_ = 0, last_ = 2;  // the junctions in the circuit (index 0..2)
  double Rl1_ = 0, Rl2_ = 0, Rg1_ = 0, Rg2_ = 0, Rg3_ = 0;
};

}  // namespace pelarin::exact
