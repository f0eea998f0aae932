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

namespace pelarin {
namespace {

using exact::Circuit;
using exact::CircuitSolver;
constexpr double kVt = 0.025851;

// ---- The independent solution. ----

struct RefJunction {
  double Rs, Rp, Jsc, Jsd1, Jsd2, m1, m2;
};

RefJunction RefOf(const Parameters& p, int k, bool lit) {
  const double* v = k == 1 ? &p.Rs1 : k == 2 ? &p.Rs2 : &p.Rs3;
  return {v[0], v[1], lit ? v[2] : 0, v[3], v[4], v[5], v[6]};
}

// The balance eqLhs - eqRhs at terminal voltage V and current J: it grows with V and with J.
double Balance(const RefJunction& j, double V, double J) {
  const double Vd = V + j.Rs * J;
  return Vd / j.Rp + J - j.Jsc + j.Jsd1 * (std::exp(Vd / (j.m1 * kVt)) - 1) +
         j.Jsd2 * (std::exp(Vd / (j.m2 * kVt)) - 1);
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
  std::vector<RefJunction> junctions;

  double VoltageAt(double J) const {
    double V = 0;
    for (const RefJunction& j : junctions) V += Bisect([&](double v) { return Balance(j, v, J); });
    return V;
  }
  double CurrentAt(double V) const {
    return Bisect([&](double J) { return V - VoltageAt(J); });
  }
  double Power(double J) const { return J * VoltageAt(J); }
  // The current of the maximum power: where the power's central difference changes sign.
  double MaximumPowerCurrent(double Jsc) const {
    const double h = 1e-7 * Jsc;
    double lo = h, hi = Jsc - h;
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
    const std::array<bool, 3> lit{i % 3 != 0, i % 3 != 1, true};
    const CircuitSolver solver(p, kVt, exact::Stack(lit, true));
    const FiguresOfMerit f = solver.Figures(100);
    SCOPED_TRACE("cell " + std::to_string(i));
    for (const double V : {-0.3, 0.0, 0.5 * *f.Voc, *f.Voc, *f.Voc + 0.2}) {
      const exact::OperatingPoint point = solver.CurrentAt(V);
      const double v1 = point.junctionV[0], v2 = point.junctionV[1], v3 = point.junctionV[2];
      double J[3];
      for (int k = 0; k < 3; ++k) {
        const RefJunction j = RefOf(p, k + 1, lit[static_cast<std::size_t>(k)]);
        J[k] = Bisect([&](double x) { return Balance(j, point.junctionV[static_cast<std::size_t>(k)], x); });
      }
      const double scale = std::abs(J[0]) + std::abs(J[1]) + std::abs(J[2]) + std::abs(V) / 5;
      EXPECT_NEAR(v1 + v2 + v3, V, 1e-15 * std::max(1.0, std::abs(V)));
      EXPECT_NEAR(J[1], J[2] + (v1 + v2) / p.Rl2 - v3 / p.Rg3, 1e-12 * scale) << "node A at " << V;
      EXPECT_NEAR(J[0], J[1] + v1 / p.Rl1 - (v2 + v3) / p.Rg2, 1e-12 * scale) << "node B at " << V;
      EXPECT_NEAR(point.J, J[0] - v1 / p.Rl1 - (v1 + v2) / p.Rl2 - V / p.Rg1, 1e-12 * scale) << "terminal";
      EXPECT_NEAR(solver.VoltageAt(point.J).V, V, 1e-10 * std::max(1.0, std::abs(V)));
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
      for (int i = 0; i < kParameterCount; ++i) {
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
