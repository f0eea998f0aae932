// The cell as ngspice elements (1 cm2, so amperes are A/cm2), shared by the netlists of the benchmarks and
// of the checks against ngspice. Junction k is its series resistance Rsk from its upper node to node ak, and
// from ak to its lower node the parallel resistance Rpk, its two diodes and the photocurrent source Iphk,
// which drives its current from the lower node up into ak. The diodes are ngspice's diode elements Dk1 and
// Dk2 (models djk1, djk2), or current sources Bk1 and Bk2 of the exact law.
#pragma once

#include <array>
#include <ostream>
#include <string>

#include "model/state.h"

namespace pelarin::spice {

// The shortest %g text of x that ngspice reads back as x, with at least the six digits of the stream's
// default: the usual texts of the form stay as they are and no value loses its last digits.
[[nodiscard]] std::string Number(double x);

// The temperature (degrees Celsius) at which ngspice's thermal voltage k T / q is Vt.
[[nodiscard]] double TemperatureFor(double Vt);

// An .options line at that temperature (also the nominal one, so that the saturation currents stay as
// given) with tolerances tight enough that ngspice's solution is good to far better than 1e-8 relative.
// With a second thermal voltage, the circuit stands at that one's temperature, the nominal one staying at
// the first's: ngspice then moves the diodes' saturation currents by its own temperature law.
[[nodiscard]] std::string AccurateOptions(double Vt, double VtAtCircuit = 0);

// Which junctions carry their photocurrent (the others' sources carry 0 A), whether the stack sits inside
// the coupling network, and how the diodes are written.
struct CellCircuit {
  std::array<bool, 3> lit{};
  bool coupled = false;
  // 0: ngspice's diode elements, at the netlist's temperature. They follow Jsd (exp(Vd / (m Vt)) - 1) down
  // to Vd = -3 m Vt only: below it their reverse current is SPICE's cubic approximation, off by up to 0.4 %
  // of Jsd (at -5.2 m Vt). A dark junction held in reverse inside the network turns that into 1e-5 of the
  // default cell's current near open circuit. Above 0: current sources of the law itself at every voltage,
  // at this thermal voltage.
  double exactDiodesVt = 0;
  // With diode elements: each junction's band gap (eV), which makes ngspice's own temperature law of the
  // saturation currents the cell's (n = 1 with xti = 3 for the first diode, n = 2 with xti = 5 for the
  // second: the laws of diodes of ideality 1 and 2); 0 leaves the models without eg and xti.
  std::array<double, 3> bandGaps{};
};

// Writes the cell's elements and diode models between the nodes `lower` and `upper` (the terminal in the
// generator direction). The plain stack runs from junction 1 on `lower` up to junction 3, its inner nodes
// t1 and t2 (junction k's upper node tk). Inside the network the reference node is junction 3's lower end:
// junction 3 sits on `lower` with its upper node t3 (node A), junction 2 above it up to t2 (node B), and
// junction 1 up to `upper`; Rg3, Rg2 and Rg1 join A, B and the terminal to `lower`, Rl1 and Rl2 join the
// terminal to B and to A.
void WriteCell(std::ostream& out, const Parameters& p, const CellCircuit& circuit, const std::string& lower,
               const std::string& upper);

// A DC sweep of the voltage source Vbias over `points` voltages from `from` to `to`.
struct Sweep {
  int points = 0;
  double from = 0, to = 0;
};

// The control lines that run the sweep and write the vectors (for example "i(vbias) v(a1)") to a file,
// each beside the swept voltage. The sweep is told to end half a step beyond `to`, so that rounding of the
// steps never loses the last point.
void WriteSweep(std::ostream& out, const Sweep& sweep, const std::string& file, const std::string& vectors);

}  // namespace pelarin::spice
