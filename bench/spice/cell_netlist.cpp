#include "spice/cell_netlist.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace pelarin::spice {
namespace {

// ngspice's Boltzmann constant (J/K), elementary charge (C) and 0 degrees Celsius (K), CODATA 2014 in its
// const.h. ngspice-39 shows them in behaviour: a diode of is = 1 A and n = 1 carrying e - 1 A stands at
// 2.58649170071574563e-02 V at 27 degrees, k / q times 300.15 K to the last printed digit; the exact SI
// values of 2019 miss it by 3e-7, the older SPICE ones by 3e-5.
constexpr double kBoltzmann = 1.38064852e-23;
constexpr double kCharge = 1.6021766208e-19;
constexpr double kZeroCelsius = 273.15;

}  // namespace

std::string Number(double x) {
  char text[32];
  for (int digits = 6;; ++digits) {
    std::snprintf(text, sizeof text, "%.*g", digits, x);
    if (digits >= 17 || std::strtod(text, nullptr) == x) return text;
  }
}

double TemperatureFor(double Vt) { return Vt / (kBoltzmann / kCharge) - kZeroCelsius; }

std::string AccurateOptions(double Vt, double VtAtCircuit) {
  const std::string t = Number(TemperatureFor(Vt));
  const std::string circuit = VtAtCircuit > 0 ? Number(TemperatureFor(VtAtCircuit)) : t;
  // Newton ends once every node moves by less than reltol |v| + vntol and every diode current by less than
  // reltol |i| + abstol; gmin is the conductance ngspice puts across every diode, which the cell lacks.
  return ".options temp=" + circuit + " tnom=" + t + " reltol=1e-12 abstol=1e-20 vntol=1e-15 gmin=1e-30";
}

void WriteCell(std::ostream& out, const Parameters& p, const CellCircuit& circuit, const std::string& lower,
               const std::string& upper) {
  const double rs[] = {p.Rs1, p.Rs2, p.Rs3}, rp[] = {p.Rp1, p.Rp2, p.Rp3}, jsc[] = {p.Jsc1, p.Jsc2, p.Jsc3};
  const double jsd1[] = {p.Jsd11, p.Jsd21, p.Jsd31}, jsd2[] = {p.Jsd12, p.Jsd22, p.Jsd32};
  const double m1[] = {p.m11, p.m21, p.m31}, m2[] = {p.m12, p.m22, p.m32};
  const double abd[] = {p.Abd1, p.Abd2, p.Abd3}, vbd[] = {p.Vbd1, p.Vbd2, p.Vbd3};
  const double nbd[] = {p.nbd1, p.nbd2, p.nbd3}, beta[] = {0, p.beta2, p.beta3};
  const auto inner = [](int j) { return "t" + std::to_string(j); };
  std::array<std::string, 3> anodes, belows;
  for (int k = 0; k < 3; ++k) {
    const int j = k + 1;
    std::string below, top;
    if (circuit.coupled) {
      below = j == 3 ? lower : inner(j + 1);
      top = j == 1 ? upper : inner(j);
    } else {
      below = j == 1 ? lower : inner(j - 1);
      top = j == 3 ? upper : inner(j);
    }
    const std::string anode = "a" + std::to_string(j);
    anodes[static_cast<std::size_t>(k)] = anode, belows[static_cast<std::size_t>(k)] = below;
    out << "Rs" << j << " " << top << " " << anode << " " << Number(rs[k]) << "\n";
    if (abd[k] == 0) {
      out << "Rp" << j << " " << anode << " " << below << " " << Number(rp[k]) << "\n";
    } else {
      // Reverse breakdown: the shunt's current times 1 + Abd u^-nbd, u = 1 - Vd/Vbd kept above 1e-9, so
      // that Newton's trial steps past Vbd meet a steep current rather than no number.
      std::string vd = "V(";
      vd.append(anode).append(",").append(below).append(")");
      out << "Bbd" << j << " " << anode << " " << below << " I=" << vd << "/" << Number(rp[k]) << "*(1+"
          << Number(abd[k]) << "*pow(max(1-" << vd << "/(" << Number(vbd[k]) << "),1e-9),-" << Number(nbd[k])
          << "))\n";
    }
    // The first diode's current passes a zero-volt source: luminescent coupling reads it there.
    const std::string diode1 = "d" + std::to_string(j);
    out << "Vsense" << j << " " << anode << " " << diode1 << " dc 0\n";
    const bool exactDiodes = circuit.exactDiodesVt > 0;
    if (exactDiodes) {
      // Above Vd = 100 m Vt the exponential goes on along its tangent. No solution of the cell comes near
      // (2.6 V across one diode of m = 1), but Newton's first steps from 0 V do, and ngspice answers 1e99
      // for any exponential beyond e^228: a flat current that gives the open cell a false solution near
      // 1e42 V. Continued along its tangent the law stays monotone, and the cell keeps its one solution.
      // A diode without saturation current is left out.
      const double mVt[] = {m1[k] * circuit.exactDiodesVt, m2[k] * circuit.exactDiodesVt};
      const double jsd[] = {jsd1[k], jsd2[k]};
      for (int d = 0; d < 2; ++d) {
        if (jsd[d] == 0) continue;
        std::string x = "V(";
        x.append(anode).append(",").append(below).append(")/").append(Number(mVt[d]));
        out << "B" << j << d + 1 << " " << (d == 0 ? diode1 : anode) << " " << below
            << " I=" << Number(jsd[d]) << "*((" << x << "<100 ? exp(" << x << ") : exp(100)*(" << x
            << "-99))-1)\n";
      }
    } else {
      out << "D" << j << "1 " << diode1 << " " << below << " dj" << j << "1\n"
          << "D" << j << "2 " << anode << " " << below << " dj" << j << "2\n";
    }
    out << "Iph" << j << " " << below << " " << anode << " dc " << Number(circuit.lit[k] ? jsc[k] : 0)
        << "\n";
    const double Eg = circuit.bandGaps[static_cast<std::size_t>(k)];
    const auto law = [Eg](int xti) {
      return Eg > 0 ? " eg=" + Number(Eg) + " xti=" + std::to_string(xti) : std::string();
    };
    if (!exactDiodes)
      out << ".model dj" << j << "1 d(is=" << Number(jsd1[k]) << " n=" << Number(m1[k]) << law(3) << ")\n"
          << ".model dj" << j << "2 d(is=" << Number(jsd2[k]) << " n=" << Number(m2[k]) << law(5) << ")\n";
  }
  // Luminescent coupling: junction j's first diode current, beta_j of it, lights junction j-1.
  for (int j = 2; j <= 3; ++j) {
    if (beta[j - 1] == 0) continue;
    const auto below = static_cast<std::size_t>(j - 2);
    out << "Blc" << j - 1 << " " << belows[below] << " " << anodes[below] << " I=" << Number(beta[j - 1])
        << "*i(Vsense" << j << ")\n";
  }
  if (!circuit.coupled) return;
  const std::string A = inner(3), B = inner(2);
  out << "Rl1 " << upper << " " << B << " " << Number(p.Rl1) << "\n"
      << "Rl2 " << upper << " " << A << " " << Number(p.Rl2) << "\n"
      << "Rg1 " << upper << " " << lower << " " << Number(p.Rg1) << "\n"
      << "Rg2 " << B << " " << lower << " " << Number(p.Rg2) << "\n"
      << "Rg3 " << A << " " << lower << " " << Number(p.Rg3) << "\n";
}

void WriteSweep(std::ostream& out, const Sweep& sweep, const std::string& file, const std::string& vectors) {
  char line[160];
  const double step = sweep.points > 1 ? (sweep.to - sweep.from) / (sweep.points - 1) : 0.01;
  std::snprintf(line, sizeof line, "dc Vbias %.9g %.9g %.9g", sweep.from, sweep.to + step / 2, step);
  out << line << "\nwrdata " << file << " " << vectors << "\n";
}

}  // namespace pelarin::spice
