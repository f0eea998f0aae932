// The exact circuit solver against an independent solution written here: each junction's voltage by
// bisection of its balance to the last bit, the stack as their sum, the short-circuit current by bisection
// and the maximum power point by bisection of the power's central difference. The coupled network is held
// to its node equations with junction currents from the same bisection; parameter derivatives to central
// differences; and faults end in CalcError, never in a NaN or a hang.
#include "model/exact_circuit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "common/solver_fixtures.h"
#include "model/calc_error.h"
#include "model/operating_conditions.h"

namespace pelarin {
namespace {

using exact::Circuit;
using exact::CircuitSolver;
constexpr double kVt = 0.025851;

// ---- The independent solution. ----

struct RefJunction {
  double Rs, Rp, Jsc, Jsd1, Jsd2, m1, m2;
  double Abd = 0, Vbd = -20, nbd = 3.28, Vt = kVt;  // reverse breakdown; the thermal voltage
};

RefJunction RefOf(const Parameters& p, int k, bool lit, double Vt = kVt) {
  const double* v = k == 1 ? &p.Rs1 : k == 2 ? &p.Rs2 : &p.Rs3;
  const double Abd = k == 1 ? p.Abd1 : k == 2 ? p.Abd2 : p.Abd3;
  const double Vbd = k == 1 ? p.Vbd1 : k == 2 ? p.Vbd2 : p.Vbd3;
  const double nbd = k == 1 ? p.nbd1 : k == 2 ? p.nbd2 : p.nbd3;
  return {v[0], v[1], lit ? v[2] : 0, v[3], v[4], v[5], v[6], Abd, Vbd, nbd, Vt};
}

// The balance eqLhs - eqRhs at terminal voltage V and current J: it grows with V and with J. Below the
// breakdown voltage the junction carries any reverse current.
double Balance(const RefJunction& j, double V, double J) {
  const double Vd = V + j.Rs * J;
  double shunt = Vd / j.Rp;
  if (j.Abd != 0) {
    if (Vd <= j.Vbd) return -HUGE_VAL;
    shunt *= 1 + j.Abd * std::pow(1 - Vd / j.Vbd, -j.nbd);
  }
  return shunt + J - j.Jsc + j.Jsd1 * (std::exp(Vd / (j.m1 * j.Vt)) - 1) +
         j.Jsd2 * (std::exp(Vd / (j.m2 * j.Vt)) - 1);
}

// The root of an increasing function by bisection to neighbouring doubles.
template <class F>
double Bisect(F&& f) {
  double lo = -1, hi = 1;
  while (f(lo) > 0) lo *= 2;
  while (f(hi) < 0) hi *= 2;
  for (;;) {
    const double mid = lo + (hi - lo) / 2;
    if (mid <= lo || mid >= hi) return std::abs(f(lo)) < std::abs(f(hi)) ? lo : hi;
    (f(mid) > 0 ? hi : lo) = mid;
  }
}

struct Reference {
  std::vector<RefJunction> junctions;  // bottom first
  std::vector<double> beta;            // beta[i]: the share of junction i's radiative current in junction i-1

  // Top first: each junction below gains beta times the first diode's current of the one above.
  double VoltageAt(double J) const {
    double V = 0, coupled = 0;
    for (std::size_t i = junctions.size(); i-- > 0;) {
      RefJunction j = junctions[i];
      j.Jsc += coupled;
      const double v = Bisect([&](double x) { return Balance(j, x, J); });
      V += v;
      coupled = beta.empty() ? 0 : beta[i] * j.Jsd1 * (std::exp((v + j.Rs * J) / (j.m1 * j.Vt)) - 1);
    }
    return V;
  }
  double CurrentAt(double V) const {
    return Bisect([&](double J) { return V - VoltageAt(J); });
  }
  double Power(double J) const { return J * VoltageAt(J); }
  // The current of the maximum power: the best of a dense sampling (a junction in breakdown gives the power
  // a maximum on each side of its step), then where the power's central difference changes sign beside it.
  double MaximumPowerCurrent(double Jsc) const {
    constexpr int kSamples = 1000;
    int best = 1;
    double bestP = Power(Jsc / kSamples);
    for (int i = 2; i < kSamples; ++i) {
      const double P = Power(Jsc * i / kSamples);
      if (P > bestP) bestP = P, best = i;
    }
    const double h = 1e-7 * Jsc;
    double lo = std::max(h, Jsc * (best - 1) / kSamples), hi = std::min(Jsc - h, Jsc * (best + 1) / kSamples);
    for (;;) {
      const double mid = lo + (hi - lo) / 2;
      if (mid <= lo || mid >= hi) return mid;
      (Power(mid + h) > Power(mid - h) ? lo : hi) = mid;
    }
  }
};

Reference ReferenceOf(const Parameters& p, const Circuit& c) {
  Reference r;
  for (int k = 1; k <= 3; ++k)
    if (c.alone == 0 || c.alone == k)
      r.junctions.push_back(RefOf(p, k, c.lit[static_cast<std::size_t>(k - 1)]));
  return r;
}

// ---- Cells. ----

struct Cell {
  std::string name;
  Parameters par;
  Circuit circuit;
};

Parameters With(Parameters p, double Parameters::*member, double value) {
  p.*member = value;
  return p;
}

// Random cells: resistances, saturation currents and photocurrents log-uniform over wide but physical
// ranges, ideality factors between 1 and 3.
Parameters RandomCell(std::mt19937_64& rng) {
  const auto logUniform = [&](double lo, double hi) {
    return std::exp(std::uniform_real_distribution<double>(std::log(lo), std::log(hi))(rng));
  };
  Parameters p = testing_cell::DefaultParameters();
  for (double* junction : {&p.Rs1, &p.Rs2, &p.Rs3}) {
    junction[0] = logUniform(1e-3, 30);
    junction[1] = logUniform(10, 1e7);
    junction[2] = logUniform(1e-3, 0.03);
    junction[3] = logUniform(1e-20, 1e-9);
    junction[4] = logUniform(1e-12, 1e-5);
    junction[5] = std::uniform_real_distribution<double>(1, 1.5)(rng);
    junction[6] = std::uniform_real_distribution<double>(1.5, 3)(rng);
  }
  return p;
}

std::vector<Cell> SeriesCells() {
  const Parameters d = testing_cell::DefaultParameters();
  std::vector<Cell> cells = {
      {"default", d, exact::Stack({true, true, true}, false)},
      {"shunted middle", With(d, &Parameters::Rp2, 50), exact::Stack({true, true, true}, false)},
      {"mismatched bottom", With(d, &Parameters::Jsc1, 0.002), exact::Stack({true, true, true}, false)},
      {"high series resistance", With(d, &Parameters::Rs3, 100), exact::Stack({true, true, true}, false)},
      {"one diode", With(d, &Parameters::Jsd12, 0), exact::Stack({true, true, true}, false)},
      {"two lit, bottom dark", d, exact::Stack({false, true, true}, false)},
      {"one lit, middle", d, exact::Stack({false, true, false}, false)},
      {"top alone", d, exact::JunctionAlone(3)},
      {"bottom alone, shunted", With(d, &Parameters::Rp1, 20), exact::JunctionAlone(1)},
  };
  // A lit junction whose photocurrent and diode currents cancel near its open circuit, in series with a dark
  // one whose reverse diode sets the stack's current, far below those terms: the current is resolved.
  Parameters cancelling = d;
  cancelling.Rs2 = 13734.6, cancelling.Rp2 = 1.52681e6, cancelling.Jsc2 = 0.229356;
  cancelling.Jsd21 = 4.92059e-5, cancelling.Jsd22 = 0.536648, cancelling.m21 = 6.81135,
  cancelling.m22 = 1.88207;
  cancelling.Rs3 = 5568.49, cancelling.Rp3 = 3.76353e9, cancelling.Jsd31 = 1.18365e-13;
  cancelling.Jsd32 = 2.59723e-9, cancelling.m31 = 2.34791, cancelling.m32 = 8.3666;
  cells.push_back(
      {"terms cancel in the lit junction", cancelling, exact::Stack({false, true, false}, false)});
  Parameters pair = d;
  pair.Rs1 = 16.6994, pair.Rp1 = 1.2767e6, pair.Jsc1 = 1.15333e-9, pair.Jsd11 = 1.10677e-20;
  pair.Jsd12 = 1.22079e-17, pair.m11 = 5.01324, pair.m12 = 2.33793, pair.Rs2 = 18.448, pair.Rp2 = 2.91104e9;
  pair.Jsd21 = 2.14139e-14, pair.Jsd22 = 3.76098e-27, pair.m21 = 2.96518, pair.m22 = 6.7547;
  pair.Rs3 = 0.00102982, pair.Rp3 = 4.42862e8, pair.Jsc3 = 0.150959, pair.Jsd31 = 8.0755e-28;
  pair.Jsd32 = 0.0173231, pair.m31 = 3.92997, pair.m32 = 7.79247;
  cells.push_back({"terms cancel at maximum power", pair, exact::Stack({true, false, true}, false)});
  std::mt19937_64 rng(20261208);
  const std::array<std::array<bool, 3>, 4> lit = {
      {{true, true, true}, {true, false, true}, {false, false, true}, {true, true, false}}};
  for (int i = 0; i < 16; ++i)
    cells.push_back({"random " + std::to_string(i), RandomCell(rng), exact::Stack(lit[i % 4], false)});
  return cells;
}

double Relative(double a, double b) { return std::abs(a - b) / std::abs(b); }

TEST(ExactCircuit, FiguresEqualTheIndependentSolution) {
  for (const Cell& cell : SeriesCells()) {
    SCOPED_TRACE(cell.name);
    const CircuitSolver solver(cell.par, kVt, cell.circuit);
    const Reference ref = ReferenceOf(cell.par, cell.circuit);
    const FiguresOfMerit f = solver.Figures(100);
    const double Voc = ref.VoltageAt(0), Jsc = ref.CurrentAt(0);
    EXPECT_LE(Relative(*f.Voc, Voc), 1e-12);
    EXPECT_LE(Relative(*f.Jsc, Jsc), 1e-12);
    const double Jmp = ref.MaximumPowerCurrent(Jsc), Vmp = ref.VoltageAt(Jmp);
    ASSERT_TRUE(f.Pmax.has_value());
    EXPECT_LE(Relative(*f.Pmax, Jmp * Vmp), 1e-12);
    EXPECT_LE(Relative(*f.Vmp, Vmp), 1e-8);
    EXPECT_LE(Relative(*f.Jmp, Jmp), 1e-8);
    EXPECT_DOUBLE_EQ(*f.FF, *f.Pmax / (*f.Voc * *f.Jsc));
    EXPECT_DOUBLE_EQ(*f.efficiency, *f.Pmax * 1000);  // W/cm2 at 100 mW/cm2, in %
    // Points away from the figures, both ways round.
    for (const double V : {-0.4, 0.2 * Voc, 0.9 * Voc, Voc + 0.3}) {
      const double J = ref.CurrentAt(V);
      EXPECT_LE(std::abs(solver.CurrentAt(V).J - J), 1e-12 * std::max(std::abs(J), Jsc)) << "V = " << V;
      EXPECT_LE(std::abs(solver.VoltageAt(J).V - V), 1e-12 * std::max(std::abs(V), Voc)) << "J = " << J;
    }
  }
}

// With luminescent coupling and reverse breakdown, at the reference conditions and away from them, the
// figures of the stack (any junctions lit) equal the independent solution of the same laws. The last cells
// have a maximum of the power on each side of a breakdown step: the one past it the higher, the one before
// it, two junctions that break down, the first with luminescent coupling, a step so shallow that the
// power falls on both sides of a sample past it and still rises in between, and a breakdown so strong that
// it bends the power down and up again before its junction's photocurrent runs out.
TEST(ExactCircuit, CouplingPhysicsFiguresEqualTheIndependentSolution) {
  std::mt19937_64 rng(20261208);
  const std::array<std::array<bool, 3>, 4> lit = {
      {{true, true, true}, {true, false, true}, {false, false, true}, {true, true, false}}};
  constexpr int kRandom = 24;
  std::vector<Parameters> steps(6, testing_cell::DefaultParameters());
  steps[0].Jsc1 = 0.002, steps[0].Abd1 = 0.5, steps[0].Vbd1 = -0.5;
  steps[1].Jsc1 = 0.005, steps[1].Abd1 = 1, steps[1].Vbd1 = -0.3;
  steps[2] = steps[0], steps[2].Vbd1 = -0.1, steps[2].Jsc2 = 0.007, steps[2].Abd2 = 1, steps[2].Vbd2 = -0.1;
  steps[3] = steps[0], steps[3].beta3 = 0.5, steps[3].beta2 = 0.3;
  Parameters& shallow = steps[4];
  shallow.Jsc1 = 0.00109, shallow.Jsc2 = 0.008556, shallow.Jsc3 = 0.001549, shallow.Rs1 = 0.01458;
  shallow.Rp1 = 473.7, shallow.Rp2 = 133, shallow.Rp3 = 204.4;
  shallow.Abd1 = 0.0105, shallow.Vbd1 = -0.07235, shallow.nbd1 = 3.643, shallow.Abd2 = 0.08516;
  shallow.Vbd2 = -3.677;
  Parameters& bent = steps[5];
  bent.Jsc1 = 0.004615, bent.Jsc2 = 0.009886, bent.Jsc3 = 0.005734, bent.Rs1 = 0.5812;
  bent.Rp1 = 280.8, bent.Rp2 = 1.632e4, bent.Rp3 = 7581;
  bent.Abd1 = 1.649, bent.Vbd1 = -0.2809, bent.nbd1 = 4.25, bent.Abd2 = 0.4299, bent.Vbd2 = -4.762;
  int solved = 0;
  for (int i = 0; i < kRandom + static_cast<int>(steps.size()); ++i) {
    const bool random = i < kRandom;
    Parameters form = i < 4         ? testing_cell::DefaultParameters()
                      : i < kRandom ? RandomCell(rng)
                                    : steps[static_cast<std::size_t>(i - kRandom)];
    const auto uniform = [&](double lo, double hi) {
      return std::uniform_real_distribution<double>(lo, hi)(rng);
    };
    if (random && i % 3 != 1) form.beta3 = uniform(0, 1), form.beta2 = uniform(0, 1);  // coupling
    if (random && i % 3 != 0) {                                                        // breakdown
      form.Abd1 = uniform(0.01, 2), form.Vbd1 = uniform(-5, -0.5), form.nbd1 = uniform(2, 5);
      form.Abd2 = uniform(0.01, 2), form.Vbd2 = uniform(-5, -0.5);
    }
    if (random && i % 4 == 3) form.T = 80, form.X = 20;
    const CellAtConditions cell = AtConditions(form);
    const Circuit circuit = exact::Stack(lit[static_cast<std::size_t>(random ? i % 4 : 0)], false);
    SCOPED_TRACE("cell " + std::to_string(i));
    Reference ref;
    for (int k = 1; k <= 3; ++k)
      ref.junctions.push_back(RefOf(cell.par, k, circuit.lit[static_cast<std::size_t>(k - 1)], cell.Vt));
    ref.beta = {0, cell.par.beta2, cell.par.beta3};
    const FiguresOfMerit f = CircuitSolver(cell.par, cell.Vt, circuit).Figures(100);
    const double Voc = ref.VoltageAt(0), Jsc = ref.CurrentAt(0);
    EXPECT_LE(Relative(*f.Voc, Voc), 1e-9);
    EXPECT_LE(Relative(*f.Jsc, Jsc), 1e-9);
    if (!f.Pmax) continue;
    const double Jmp = ref.MaximumPowerCurrent(Jsc), Vmp = ref.VoltageAt(Jmp);
    EXPECT_LE(Relative(*f.Pmax, Jmp * Vmp), 1e-9);
    EXPECT_LE(Relative(*f.Vmp, Vmp), 1e-6);
    EXPECT_LE(Relative(*f.Jmp, Jmp), 1e-6);
    ++solved;
  }
  EXPECT_GE(solved, 20);
}

// The junction currents of the reference at the solver's junction voltages satisfy the node equations.
TEST(ExactCircuit, CoupledPointsSatisfyTheNodeEquations) {
  std::mt19937_64 rng(7);
  for (int i = 0; i < 12; ++i) {
    Parameters p = RandomCell(rng);
    const auto logUniform = [&](double lo, double hi) {
      return std::exp(std::uniform_real_distribution<double>(std::log(lo), std::log(hi))(rng));
    };
    p.Rl1 = logUniform(5, 1e6), p.Rl2 = logUniform(10, 1e6), p.Rg1 = logUniform(10, 1e6);
    p.Rg2 = logUniform(10, 1e6), p.Rg3 = logUniform(10, 1e6);
    // Every other cell with luminescent coupling, and then reverse breakdown in junction 1 as well.
    if (i % 2 == 1) {
      p.beta3 = std::uniform_real_distribution<double>(0, 1)(rng);
      p.beta2 = std::uniform_real_distribution<double>(0, 1)(rng);
      p.Abd1 = 0.5, p.Vbd1 = -1;
    }
    const std::array<bool, 3> lit{i % 3 != 0, i % 3 != 1, true};
    const CircuitSolver solver(p, kVt, exact::Stack(lit, true));
    const FiguresOfMerit f = solver.Figures(100);
    SCOPED_TRACE("cell " + std::to_string(i));
    for (const double V : {-0.3, 0.0, 0.5 * *f.Voc, *f.Voc, *f.Voc + 0.2}) {
      const exact::OperatingPoint point = solver.CurrentAt(V);
      const double v1 = point.junctionV[0], v2 = point.junctionV[1], v3 = point.junctionV[2];
      // Top first, each junction below with its share of the radiative current of the one above.
      double J[3];
      double coupled = 0;
      for (int k = 2; k >= 0; --k) {
        RefJunction j = RefOf(p, k + 1, lit[static_cast<std::size_t>(k)]);
        j.Jsc += coupled;
        const double v = point.junctionV[static_cast<std::size_t>(k)];
        J[k] = Bisect([&](double x) { return Balance(j, v, x); });
        coupled = (k == 2 ? p.beta3 : p.beta2) * j.Jsd1 * (std::exp((v + j.Rs * J[k]) / (j.m1 * kVt)) - 1);
      }
      const double scale = std::abs(J[0]) + std::abs(J[1]) + std::abs(J[2]) + std::abs(V) / 5;
      EXPECT_NEAR(v1 + v2 + v3, V, 1e-15 * std::max(1.0, std::abs(V)));
      EXPECT_NEAR(J[1], J[2] + (v1 + v2) / p.Rl2 - v3 / p.Rg3, 1e-12 * scale) << "node A at " << V;
      EXPECT_NEAR(J[0], J[1] + v1 / p.Rl1 - (v2 + v3) / p.Rg2, 1e-12 * scale) << "node B at " << V;
      EXPECT_NEAR(point.J, J[0] - v1 / p.Rl1 - (v1 + v2) / p.Rl2 - V / p.Rg1, 1e-12 * scale) << "terminal";
      EXPECT_NEAR(solver.VoltageAt(point.J).V, V, 1e-10 * std::max(1.0, std::abs(V)));
      // The slope, which steers every search, is the curve's own.
      const double h = 1e-6;
      const double slope = (solver.CurrentAt(V + h).J - solver.CurrentAt(V - h).J) / (2 * h);
      EXPECT_NEAR(point.dJdV, slope, 1e-5 * std::abs(slope) + 1e-9) << "dJ/dV at " << V;
    }
    // The maximum power point is a maximum of V J(V) and the open-circuit voltage carries no current.
    EXPECT_NEAR(solver.CurrentAt(*f.Voc).J, 0, 1e-13 * *f.Jsc);
    for (const double dv : {-1e-3, 1e-3}) {
      const double V = *f.Vmp + dv;
      EXPECT_LE(V * solver.CurrentAt(V).J, *f.Pmax);
    }
  }
}

TEST(ExactCircuit, CouplingResistancesNearlyAbsentGiveTheSeriesFigures) {
  Parameters p = testing_cell::DefaultParameters();
  p.Rl1 = p.Rl2 = p.Rg1 = p.Rg2 = p.Rg3 = 1e13;
  for (const std::array<bool, 3> lit :
       {std::array<bool, 3>{true, true, true}, {true, false, true}, {false, true, false}}) {
    const FiguresOfMerit series = CircuitSolver(p, kVt, exact::Stack(lit, false)).Figures(100);
    const FiguresOfMerit coupled = CircuitSolver(p, kVt, exact::Stack(lit, true)).Figures(100);
    // The leaks are below 1e-13 A/cm2 per volt: far below the smallest short-circuit current here.
    EXPECT_LE(Relative(*coupled.Voc, *series.Voc), 1e-7);
    EXPECT_LE(Relative(*coupled.Jsc, *series.Jsc), 1e-7);
    EXPECT_LE(Relative(*coupled.Pmax, *series.Pmax), 1e-7);
  }
}

// Every derivative equals a central difference of the solution in that parameter, wherever the
// difference resolves it (a parameter that moves the point by less than 1e-9 of it is left out: the
// difference would be rounding).
TEST(ExactCircuit, ParameterDerivativesEqualCentralDifferences) {
  Parameters p = testing_cell::DefaultParameters();
  p.Rl1 = 300, p.Rl2 = 2000, p.Rg1 = 5000, p.Rg2 = 800, p.Rg3 = 400;
  int compared = 0;
  for (const bool coupled : {false, true}) {
    const Circuit circuit = exact::Stack({true, false, true}, coupled);
    const CircuitSolver solver(p, kVt, circuit);
    for (const double V : {0.1, 0.6}) {
      const exact::ParameterDerivatives dJ = solver.CurrentDerivatives(V);
      const double J = solver.CurrentAt(V).J;
      const exact::ParameterDerivatives dV = solver.VoltageDerivatives(J);
      for (int i = 0; i < kCellParameterCount; ++i) {
        const auto index = static_cast<std::size_t>(i);
        const auto member = kParameterRows[index].member;
        const double h = 1e-4 * p.*member;
        Parameters up = p, down = p;
        up.*member += h;
        down.*member -= h;
        const CircuitSolver upper(up, kVt, circuit), lower(down, kVt, circuit);
        const double numericJ = (upper.CurrentAt(V).J - lower.CurrentAt(V).J) / (2 * h);
        const double numericV = (upper.VoltageAt(J).V - lower.VoltageAt(J).V) / (2 * h);
        SCOPED_TRACE(std::string(kParameterRows[index].name) + (coupled ? " coupled" : " series"));
        if (std::abs(numericJ * h) > 1e-9 * std::abs(J)) {
          EXPECT_NEAR(dJ[index], numericJ, 1e-4 * std::abs(numericJ));
          ++compared;
        }
        if (std::abs(numericV * h) > 1e-9 * std::abs(V)) {
          EXPECT_NEAR(dV[index], numericV, 1e-4 * std::abs(numericV));
          ++compared;
        }
      }
    }
  }
  EXPECT_GT(compared, 60);
}

// Cells the form accepts at the edges of its ranges: each figure is finite or the solve names its fault.
TEST(ExactCircuit, ExtremeCellsGiveFiguresOrAClearError) {
  const Parameters d = testing_cell::DefaultParameters();
  struct Case {
    const char* name;
    Parameters par;
  };
  Parameters huge = d;
  huge.m12 = 50, huge.Rp2 = 1e300, huge.Jsd21 = 1e-300, huge.Jsd22 = 1e-40, huge.m22 = 1e-3, huge.Rs3 = 1e-9;
  huge.Jsc3 = 1e300, huge.Jsd31 = 1e-300, huge.m32 = 1e-3, huge.Rg1 = 1e13, huge.Rg2 = 10;
  Parameters tiny = d;
  tiny.m11 = 1e-3, tiny.m12 = 1e-3, tiny.Rs1 = 1e-9, tiny.Rp1 = 1e-9, tiny.Rl1 = 5, tiny.Rg3 = 10;
  Parameters noDiodes = d;
  noDiodes.Jsd21 = noDiodes.Jsd22 = 0;
  const std::vector<Case> cases = {{"huge", huge}, {"tiny", tiny}, {"no diodes", noDiodes}};
  for (const Case& c : cases) {
    for (const bool coupled : {false, true}) {
      SCOPED_TRACE(std::string(c.name) + (coupled ? " coupled" : ""));
      try {
        const FiguresOfMerit f =
            CircuitSolver(c.par, kVt, exact::Stack({true, true, true}, coupled)).Figures(100);
        for (const auto& figure : {f.Voc, f.Jsc, f.FF, f.Pmax, f.Vmp, f.Jmp}) {
          EXPECT_TRUE(!figure || std::isfinite(*figure));
        }
      } catch (const CalcError& e) {
        EXPECT_FALSE(std::string(e.what()).empty());
      }
    }
  }
  for (const double bad : {-1.0, 0.0, std::nan(""), HUGE_VAL}) {
    EXPECT_THROW(CircuitSolver(With(d, &Parameters::m21, bad), kVt, exact::Stack({true, true, true}, false)),
                 CalcError);
  }
}

}  // namespace
}  // namespace pelarin
