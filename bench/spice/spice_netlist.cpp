// Writes an ngspice netlist of the three-junction stack (1 cm2, so amperes are A/cm2) that runs the same
// three DC sweeps as the three-junction study without Rl: dark reverse, dark forward and lit, each with as
// many points as the study computes and over the same voltage range, and writes each result to a file as
// the study writes its tables. It is the anchor of the whole-process benchmark:
//   pelarin_spice_netlist [NAME=VALUE...] > stack.cir && ngspice -b stack.cir
// The cell is the form's default one, with NAME=VALUE parameters typed over it (Rs1=10, Jsc2=0.01, ...).
#include <algorithm>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "common/declining_ui.h"
#include "model/parameter_table.h"
#include "spice/cell_netlist.h"
#include "studies/studies.h"
#include "studies/study_registry.h"
#include "ui/recorded_plot_window.h"
#include "ui/text_form.h"
#include "workspace/read_parameters.h"

namespace pelarin {
namespace {

using spice::Sweep;
using testing::DecliningUi;

// The voltages of the points the study drew in a window, in drawing order.
std::vector<double> DrawnVoltages(const RecordedPlotWindow& window) {
  std::vector<double> v;
  for (const DrawOp& op : window.surface.Ops())
    if (op.kind == DrawOp::Kind::Circle) v.push_back(op.x);
  return v;
}

Sweep SweepOf(const std::vector<double>& v, std::size_t first, std::size_t last) {
  return {static_cast<int>(last - first), v[first], v[last - 1]};
}

}  // namespace
}  // namespace pelarin

int main(int argc, char** argv) {
  using namespace pelarin;
  DecliningUi ui;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const auto eq = arg.find('=');
    const int box = eq == std::string::npos ? -1 : ParameterIndex(arg.substr(0, eq));
    if (box < 0) {
      std::cerr << "usage: pelarin_spice_netlist [NAME=VALUE...]; unknown parameter in " << arg << "\n";
      return 2;
    }
    ui.form.SetBoxText(box, arg.substr(eq + 1));
  }
  // The study makes its folder where it runs: run it in a scratch folder.
  const auto start = std::filesystem::current_path();
  const auto scratch = std::filesystem::temp_directory_path() / "pelarin-spice-netlist";
  std::filesystem::create_directories(scratch);
  std::filesystem::current_path(scratch);
  State state;
  ResetStartUpConstants(state);
  StudyAllJunctions(state, ui);
  std::filesystem::current_path(start);
  std::filesystem::remove_all(scratch);

  // The dark window holds the reverse branch (voltages at or below 0) then the forward branch.
  const std::vector<double> dark = DrawnVoltages(ui.linlog), lit = DrawnVoltages(ui.linlin);
  if (dark.empty() || lit.empty()) {
    std::cerr << "pelarin_spice_netlist: the study drew no curve\n";
    for (const std::string& message : ui.messages) std::cerr << message << "\n";
    return 1;
  }
  const auto forwardStart = static_cast<std::size_t>(
      std::find_if(dark.begin(), dark.end(), [](double v) { return v > 0; }) - dark.begin());
  const Sweep reverse = SweepOf(dark, 0, std::max<std::size_t>(forwardStart, 1));
  const Sweep forward = SweepOf(dark, forwardStart, dark.size());
  const Sweep litSweep = SweepOf(lit, 0, lit.size());
  const Parameters& p = state.par;

  std::cout << "* Three-junction stack, 1 cm2, the two-diode model of each junction; written by "
               "pelarin_spice_netlist\n"
            << "* Vt = 0.025851 V: the temperature of that thermal voltage, with the saturation currents "
               "given at it\n"
            << ".options temp=" << spice::Number(spice::TemperatureFor(0.025851))
            << " tnom=" << spice::Number(spice::TemperatureFor(0.025851)) << "\n";
  // Junction 1 at the bottom (cathode on ground), junction 3 at the top terminal; every photocurrent
  // source at 0 A until the lit sweep.
  spice::WriteCell(std::cout, p, {}, "0", "t3");
  const std::string vectors = "i(vbias) v(a1) v(a2) v(a3)";
  std::cout << "Vbias t3 0 dc 0\n.control\n";
  spice::WriteSweep(std::cout, reverse, "stack_dark_reverse.txt", vectors);
  spice::WriteSweep(std::cout, forward, "stack_dark_forward.txt", vectors);
  const double jsc[] = {p.Jsc1, p.Jsc2, p.Jsc3};
  for (int k = 0; k < 3; ++k)
    std::cout << "alter @iph" << k + 1 << "[dc] = " << spice::Number(jsc[k]) << "\n";
  spice::WriteSweep(std::cout, litSweep, "stack_lit.txt", vectors);
  std::cout << "quit\n.endc\n.end\n";
  std::cerr << "sweeps: dark reverse " << reverse.points << ", dark forward " << forward.points << ", lit "
            << litSweep.points << " points\n";
  return 0;
}
