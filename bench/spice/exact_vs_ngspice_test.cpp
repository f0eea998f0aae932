// The exact circuit solver against ngspice on the stack inside the Rl/Rg network: the same cell written as
// ngspice elements (the diodes as current sources of the exact law), swept from reverse bias to beyond open
// circuit and held open, with ngspice's tolerances far below the agreement asked for here. And ngspice's own
// diode element at the temperature written for the same Vt, where it follows the law.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <ostream>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "common/solver_fixtures.h"
#include "common/temp_folder.h"
#include "model/exact_circuit.h"
#include "model/operating_conditions.h"
#include "spice/cell_netlist.h"

namespace pelarin {
namespace {

constexpr double kVt = 0.025851;
constexpr double kAgreement = 1e-7;
constexpr int kPoints = 30;

struct Cell {
  const char* name;
  Parameters par;
};

Parameters Coupled(double Rl1, double Rl2, double Rg1, double Rg2, double Rg3) {
  Parameters p = testing_cell::DefaultParameters();
  p.Rl1 = Rl1, p.Rl2 = Rl2, p.Rg1 = Rg1, p.Rg2 = Rg2, p.Rg3 = Rg3;
  return p;
}

Parameters Shunted(Parameters p) {
  p.Rp2 = 20;
  return p;
}

// Luminescent coupling from both upper junctions and breakdown of the bottom one, inside the network.
Parameters WithCouplingPhysics(Parameters p) {
  p.beta3 = 0.6, p.beta2 = 0.4;
  p.Abd1 = 0.5, p.Vbd1 = -1.5, p.nbd1 = 3;
  p.Jsc1 = 0.004;  // limiting, so that junction 1 goes into reverse bias
  return p;
}

const Cell kCells[] = {
    {"Coupled", Coupled(300, 2000, 5000, 800, 400)},
    {"CouplingPhysics", WithCouplingPhysics(Coupled(300, 2000, 5000, 800, 400))},
    {"StronglyCoupled", Coupled(5, 10, 10, 10, 10)},  // every resistance at its lower limit
    {"ShuntedJunction2", Shunted(Coupled(300, 2000, 5000, 800, 400))},
};
const std::array<bool, 3> kLitSets[] = {{true, true, true}, {true, false, true}, {false, true, false}};

void PrintTo(const Cell& cell, std::ostream* os) { *os << cell.name; }

// The rows of numbers of a file that ngspice's wrdata wrote.
std::vector<std::vector<double>> ReadRows(const std::string& path) {
  std::vector<std::vector<double>> rows;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) {
    std::istringstream fields(line);
    std::vector<double> row;
    for (double x = 0; fields >> x;) row.push_back(x);
    if (!row.empty()) rows.push_back(row);
  }
  return rows;
}

// Runs ngspice on the netlist in the folder: empty if it ran, otherwise what went wrong.
std::string RunNgspice(const testing::fs::path& dir, const std::string& netlist) {
  testing::Write(dir / "cell.cir", netlist);
  if (std::system("command -v ngspice >/dev/null") != 0)
    return "ngspice is not installed (scripts/setup installs the Debian package ngspice)";
  if (std::system(("cd '" + dir.string() + "' && ngspice -b cell.cir >ngspice.log 2>&1").c_str()) != 0)
    return "ngspice failed:\n" + testing::Read(dir / "ngspice.log");
  return "";
}

// The cell twice: one on the source Vbias, swept if a sweep is given (i(vbias) to sweep.txt), and one open,
// whose voltage goes to open.txt.
std::string Netlist(const Parameters& p, const spice::CellCircuit& circuit, const spice::Sweep* sweep,
                    double VtAtCircuit = 0) {
  std::ostringstream netlist;
  netlist << "* cell\n" << spice::AccurateOptions(kVt, VtAtCircuit) << "\n.subckt cell lower upper\n";
  spice::WriteCell(netlist, p, circuit, "lower", "upper");
  netlist << ".ends\nXswept 0 t cell\nVbias t 0 dc 0\nXopen 0 open cell\n.control\nset numdgt=17\n";
  if (sweep) spice::WriteSweep(netlist, *sweep, "sweep.txt", "i(vbias)");
  netlist << "op\nwrdata open.txt v(open)\nquit\n.endc\n.end\n";
  return netlist.str();
}

std::string Scientific(double x) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2e", x);
  return text;
}

class ExactVsNgspice : public testing::TempFolderTest,
                       public ::testing::WithParamInterface<std::tuple<Cell, std::array<bool, 3>>> {};

TEST_P(ExactVsNgspice, CurrentAlongTheSweepAndOpenCircuitVoltage) {
  const auto& [cell, lit] = GetParam();
  const exact::CircuitSolver solver(cell.par, kVt, exact::Stack(lit, true));
  const FiguresOfMerit figures = solver.Figures(100);
  const double Voc = figures.Voc.value(), Jsc = figures.Jsc.value();
  const spice::Sweep sweep{kPoints, -0.3, Voc + 0.1};
  ASSERT_EQ(RunNgspice(dir, Netlist(cell.par, {.lit = lit, .coupled = true, .exactDiodesVt = kVt}, &sweep)),
            "");

  const auto rows = ReadRows(In("sweep.txt")), open = ReadRows(In("open.txt"));
  ASSERT_EQ(rows.size(), std::size_t{kPoints}) << testing::Read(dir / "ngspice.log");
  ASSERT_EQ(open.size(), 1u) << testing::Read(dir / "ngspice.log");
  // i(vbias) runs into the source's + terminal, which the cell's terminal feeds in the generator direction.
  double worst = 0, worstV = 0;
  for (const auto& row : rows) {
    const double V = row.at(0), J = row.at(1);
    const double difference =
        std::abs(J - solver.CurrentAt(V).J) / std::max(std::abs(J), 1e-3 * std::abs(Jsc));
    if (difference >= worst) worst = difference, worstV = V;
  }
  EXPECT_LE(worst, kAgreement) << "at V = " << worstV;
  EXPECT_NEAR(open[0].back(), Voc, kAgreement * std::abs(Voc));
  RecordProperty("current", Scientific(worst));
  RecordProperty("Voc", Scientific(std::abs(open[0].back() / Voc - 1)));
}

// ngspice's diode element at the temperature written for Vt: at open circuit every junction of the plain
// stack stands forward-biased at its own open-circuit voltage, where the element follows the exact law and
// the voltage is proportional to Vt, so that a thermal voltage off by 1e-7 shows.
using DiodeElementsVsExact = testing::TempFolderTest;

TEST_F(DiodeElementsVsExact, StackOpenCircuitVoltage) {
  const Parameters p = testing_cell::DefaultParameters();
  const exact::CircuitSolver solver(p, kVt, exact::Stack({true, true, true}, false));
  const double Voc = solver.Figures(100).Voc.value();
  ASSERT_EQ(RunNgspice(dir, Netlist(p, {.lit = {true, true, true}}, nullptr)), "");
  const auto open = ReadRows(In("open.txt"));
  ASSERT_EQ(open.size(), 1u) << testing::Read(dir / "ngspice.log");
  EXPECT_NEAR(open[0].back(), Voc, kAgreement * Voc);
  RecordProperty("Voc", Scientific(std::abs(open[0].back() / Voc - 1)));
}

// The cell at other temperatures and concentrations: ngspice's diode elements at the nominal temperature of
// the reference Vt, given the band gaps, move the saturation currents by the laws the cell follows; the
// photocurrents are written at the conditions. Voc of the plain stack against the exact solver's.
TEST_F(DiodeElementsVsExact, StackOpenCircuitVoltageAtOtherConditions) {
  for (const auto& [T, X] : {std::pair{-100.0, 1.0}, {80.0, 300.0}, {150.0, 5.0}}) {
    Parameters form = testing_cell::DefaultParameters();
    form.T = T, form.X = X, form.alpha2 = 4e-4;
    const CellAtConditions cell = AtConditions(form);
    const double Voc = exact::CircuitSolver(cell.par, cell.Vt, exact::Stack({true, true, true}, false))
                           .Figures(100)
                           .Voc.value();
    Parameters written = form;  // the reference saturation currents, the photocurrents at the conditions
    written.Jsc1 = cell.par.Jsc1, written.Jsc2 = cell.par.Jsc2, written.Jsc3 = cell.par.Jsc3;
    const spice::CellCircuit circuit{.lit = {true, true, true}, .bandGaps = {form.Eg1, form.Eg2, form.Eg3}};
    ASSERT_EQ(RunNgspice(dir, Netlist(written, circuit, nullptr, cell.Vt)), "");
    const auto open = ReadRows(In("open.txt"));
    ASSERT_EQ(open.size(), 1u) << testing::Read(dir / "ngspice.log");
    EXPECT_NEAR(open[0].back(), Voc, kAgreement * Voc) << "T = " << T << ", X = " << X;
    RecordProperty("Voc at T = " + std::to_string(T), Scientific(std::abs(open[0].back() / Voc - 1)));
  }
}

std::string CaseName(const ::testing::TestParamInfo<ExactVsNgspice::ParamType>& info) {
  std::string name = std::string(std::get<0>(info.param).name) + "_Lit";
  for (const bool on : std::get<1>(info.param)) name += on ? "1" : "0";
  return name;
}

INSTANTIATE_TEST_SUITE_P(Cells, ExactVsNgspice,
                         ::testing::Combine(::testing::ValuesIn(kCells), ::testing::ValuesIn(kLitSets)),
                         CaseName);

}  // namespace
}  // namespace pelarin
