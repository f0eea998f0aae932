// Writes an ngspice netlist of the three-junction stack (1 cm2, so amperes are A/cm2) that runs the same
// three DC sweeps as the three-junction study without Rl: dark reverse, dark forward and lit, each with as
// many points as the study computes and over the same voltage range, and writes each result to a file as
// the study writes its tables. It is the anchor of the whole-process benchmark:
//   pelarin_spice_netlist [NAME=VALUE...] > stack.cir && ngspice -b stack.cir
// The cell is the form's default one, with NAME=VALUE parameters typed over it (Rs1=10, Jsc2=0.01, ...).
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "common/declining_ui.h"
#include "model/parameter_table.h"
#include "studies/studies.h"
#include "studies/study_registry.h"
#include "ui/recorded_plot_window.h"
#include "ui/text_form.h"
#include "workspace/read_parameters.h"

namespace pelarin {
namespace {

using testing::DecliningUi;

struct Sweep {
  int points = 0;
  double from = 0, to = 0;
};

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

// One .dc line with the given number of points from `from` to `to`; the end is half a step further, so
// that rounding of the steps never loses the last point.
std::string Dc(const Sweep& s) {
  char line[160];
  const double step = s.points > 1 ? (s.to - s.from) / (s.points - 1) : 0.01;
  std::snprintf(line, sizeof line, "dc Vbias %.9g %.9g %.9g", s.from, s.to + step / 2, step);
  return line;
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
            << "* Vt = 0.025851 V: a temperature of 299.99 K, with the saturation currents given at it\n"
            << ".options temp=26.84 tnom=26.84\n";
  const double rs[] = {p.Rs1, p.Rs2, p.Rs3}, rp[] = {p.Rp1, p.Rp2, p.Rp3}, jsc[] = {p.Jsc1, p.Jsc2, p.Jsc3};
  const double jsd1[] = {p.Jsd11, p.Jsd21, p.Jsd31}, jsd2[] = {p.Jsd12, p.Jsd22, p.Jsd32};
  const double m1[] = {p.m11, p.m21, p.m31}, m2[] = {p.m12, p.m22, p.m32};
  // Junction 1 at the bottom (cathode on ground), junction 3 at the top terminal.
  for (int k = 0; k < 3; ++k) {
    const int j = k + 1;
    const std::string below = k == 0 ? "0" : "t" + std::to_string(k), top = "t" + std::to_string(j);
    const std::string anode = "a" + std::to_string(j);
    std::cout << "Rs" << j << " " << top << " " << anode << " " << rs[k] << "\n"
              << "Rp" << j << " " << anode << " " << below << " " << rp[k] << "\n"
              << "D" << j << "1 " << anode << " " << below << " dj" << j << "1\n"
              << "D" << j << "2 " << anode << " " << below << " dj" << j << "2\n"
              << "Iph" << j << " " << below << " " << anode << " dc 0\n"
              << ".model dj" << j << "1 d(is=" << jsd1[k] << " n=" << m1[k] << ")\n"
              << ".model dj" << j << "2 d(is=" << jsd2[k] << " n=" << m2[k] << ")\n";
  }
  std::cout << "Vbias t3 0 dc 0\n"
            << ".control\n"
            << Dc(reverse) << "\nwrdata stack_dark_reverse.txt i(vbias) v(a1) v(a2) v(a3)\n"
            << Dc(forward) << "\nwrdata stack_dark_forward.txt i(vbias) v(a1) v(a2) v(a3)\n";
  for (int k = 0; k < 3; ++k) std::cout << "alter @iph" << k + 1 << "[dc] = " << jsc[k] << "\n";
  std::cout << Dc(litSweep) << "\nwrdata stack_lit.txt i(vbias) v(a1) v(a2) v(a3)\n"
            << "quit\n.endc\n.end\n";
  std::cerr << "sweeps: dark reverse " << reverse.points << ", dark forward " << forward.points << ", lit "
            << litSweep.points << " points\n";
  return 0;
}
