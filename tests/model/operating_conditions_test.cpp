// The cell at its operating conditions against the laws written out here in long double: the transformed
// parameters, the stack's Voc and Jsc by bisection of the transformed junctions, the chain rule of the
// derivatives against central differences, and the reference conditions leaving the cell bit for bit.
#include "model/operating_conditions.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "common/solver_fixtures.h"
#include "model/calc_error.h"
#include "model/exact_circuit.h"

namespace pelarin {
namespace {

struct ConditionsCase {
  const char* name;
  double T, X;
  std::array<double, 3> Eg, alpha;
};

const ConditionsCase kCases[] = {
    {"space_cold", -150, 1, {0.67, 1.40, 1.85}, {0, 0, 0}},
    {"concentrator", 70, 500, {0.67, 1.40, 1.85}, {1e-4, 5e-4, 2e-4}},
    {"hot_wide_gaps", 120, 3, {1.1, 1.6, 2.1}, {-3e-4, 1e-3, 0}},
    {"one_tenth_sun", 10, 0.1, {0.7, 1.42, 1.9}, {0.002, -0.001, 0.0005}},
};

Parameters FormOf(const ConditionsCase& c) {
  Parameters p = testing_cell::DefaultParameters();
  p.T = c.T, p.X = c.X;
  p.Eg1 = c.Eg[0], p.Eg2 = c.Eg[1], p.Eg3 = c.Eg[2];
  p.alpha1 = c.alpha[0], p.alpha2 = c.alpha[1], p.alpha3 = c.alpha[2];
  return p;
}

// Junction k's (0..2) quantities under the laws, in long double.
struct LawJunction {
  long double Rs, Rp, Jsc, Jsd1, Jsd2, m1, m2;
};
struct LawCell {
  long double Vt;
  std::array<LawJunction, 3> j;
};

LawCell ByTheLaws(const Parameters& p) {
  const long double Tk = p.T + 273.15L, r = Tk / 300.0L, vt0 = 0.025851L;
  const double* rows[3] = {&p.Rs1, &p.Rs2, &p.Rs3};
  const double Eg[3] = {p.Eg1, p.Eg2, p.Eg3}, alpha[3] = {p.alpha1, p.alpha2, p.alpha3};
  LawCell cell{vt0 * r, {}};
  for (int k = 0; k < 3; ++k) {
    const double* v = rows[k];
    cell.j[k] = {v[0],
                 v[1],
                 v[2] * p.X * (1 + alpha[k] * (p.T - 26.85L)),
                 v[3] * std::pow(r, 3.0L) * std::exp(Eg[k] / vt0 * (1 - 1 / r)),
                 v[4] * std::pow(r, 2.5L) * std::exp(Eg[k] / (2 * vt0) * (1 - 1 / r)),
                 v[5],
                 v[6]};
  }
  return cell;
}

// The root of an increasing function by bisection, to the last bit of a long double.
template <class F>
long double Bisect(F&& f, long double lo, long double hi) {
  for (int i = 0; i < 200; ++i) {
    const long double mid = (lo + hi) / 2;
    (f(mid) > 0 ? hi : lo) = mid;
  }
  return (lo + hi) / 2;
}

// The stack's voltage at current J: each junction's diode voltage from its balance, less Rs J.
long double StackVoltage(const LawCell& c, long double J) {
  long double V = 0;
  for (const LawJunction& j : c.j) {
    const long double Vd = Bisect(
        [&](long double vd) {
          return vd / j.Rp + J - j.Jsc + j.Jsd1 * std::expm1(vd / (j.m1 * c.Vt)) +
                 j.Jsd2 * std::expm1(vd / (j.m2 * c.Vt));
        },
        -50, 10);
    V += Vd - j.Rs * J;
  }
  return V;
}

class AtConditionsTest : public ::testing::TestWithParam<ConditionsCase> {};

TEST_P(AtConditionsTest, FollowsTheLawsAndTheStackItMakesMatchesABisection) {
  const Parameters form = FormOf(GetParam());
  const CellAtConditions cell = AtConditions(form);
  const LawCell law = ByTheLaws(form);
  EXPECT_NEAR(cell.Vt / static_cast<double>(law.Vt), 1, 1e-15);
  EXPECT_EQ(cell.concentration, form.X);
  for (int k = 0; k < 3; ++k) {
    const double* v = k == 0 ? &cell.par.Rs1 : k == 1 ? &cell.par.Rs2 : &cell.par.Rs3;
    const LawJunction& j = law.j[k];
    const long double expected[7] = {j.Rs, j.Rp, j.Jsc, j.Jsd1, j.Jsd2, j.m1, j.m2};
    for (int i = 0; i < 7; ++i)
      EXPECT_NEAR(v[i] / static_cast<double>(expected[i]), 1, 1e-13) << "junction " << k + 1 << " row " << i;
  }
  EXPECT_EQ(cell.par.JsdMax2, std::max(cell.par.Jsd21, cell.par.Jsd22));

  // The exact solver on the transformed cell against the independent stack.
  const FiguresOfMerit f = exact::CircuitSolver(cell.par, cell.Vt, exact::Stack({true, true, true}, false))
                               .Figures(100 * cell.concentration);
  const long double Voc = StackVoltage(law, 0);
  const long double Jsc = Bisect([&](long double J) { return -StackVoltage(law, J); }, 0, 1e3);
  EXPECT_NEAR(f.Voc.value() / static_cast<double>(Voc), 1, 1e-11);
  EXPECT_NEAR(f.Jsc.value() / static_cast<double>(Jsc), 1, 1e-10);
}

// d(current)/d(form's value) of the chain rule against central differences of the solved cell.
TEST_P(AtConditionsTest, DerivativesInTheConditionsAreThoseOfTheLaws) {
  const Parameters form = FormOf(GetParam());
  const CellAtConditions cell = AtConditions(form);
  const exact::Circuit circuit = exact::Stack({true, true, true}, false);
  const double V = 0.8 * exact::CircuitSolver(cell.par, cell.Vt, circuit).Figures(100).Voc.value();
  const ConditionsChain chain(form, cell);
  const FormDerivatives d =
      chain.Apply(exact::CircuitSolver(cell.par, cell.Vt, circuit).CurrentDerivatives(V));
  for (const char* name :
       {"T", "X", "Eg1", "Eg2", "Eg3", "alpha1", "alpha3", "Jsd11", "Jsd32", "Jsc2", "m21"}) {
    const int index = ParameterIndex(name);
    double Parameters::*const member = kParameterRows[static_cast<std::size_t>(index)].member;
    const double h = form.*member != 0 ? 1e-5 * std::abs(form.*member) : 1e-6;
    const auto J = [&](double delta) {
      Parameters p = form;
      p.*member += delta;
      const CellAtConditions c = AtConditions(p);
      return exact::CircuitSolver(c.par, c.Vt, circuit).CurrentAt(V).J;
    };
    const double numeric = (J(h) - J(-h)) / (2 * h);
    // The difference resolves a derivative to the rounding of J over the step, and no better.
    const double resolution = 1e-14 * std::abs(J(0)) / h;
    EXPECT_NEAR(d[static_cast<std::size_t>(index)], numeric, 1e-5 * std::abs(numeric) + resolution) << name;
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, AtConditionsTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(AtConditions, TheReferenceConditionsLeaveTheCellBitForBit) {
  const Parameters form = testing_cell::DefaultParameters();
  const CellAtConditions cell = AtConditions(form);
  EXPECT_EQ(cell.Vt, 0.025851);
  EXPECT_EQ(cell.concentration, 1);
  for (const ParameterRow& row : kParameterRows)
    EXPECT_EQ(cell.par.*row.member, form.*row.member) << row.name;
  EXPECT_EQ(cell.par.JsdMax3, form.JsdMax3);
}

// The default stack deep in the cold, where the saturation currents fall to 1e-2000 A/cm2 and below, against
// tests/data/reference/cold_stack_figures.py (mpmath, 50 digits): Voc, Jsc, Pmax.
struct ColdCase {
  const char* T;
  double Voc, Jsc, Pmax;
};
const ColdCase kCold[] = {
    {"-273", 3.9196313088469864888, 0.0086240064483320363756, 0.029902067386089085667},
    {"-270", 3.9048164463404802009, 0.0086205940406289668193, 0.029759202142240841118},
    {"-250", 3.7724349204178981849, 0.0085933853041163743954, 0.028563702276597778316},
    {"-200", 3.3871431449250591208, 0.0085182160857152993802, 0.025176703934646501354},
    {"-100", 2.5368975448224015942, 0.0083576054137065188728, 0.017850250157381035649},
};

TEST(AtConditions, TheExactFiguresHoldDeepInTheColdWhereTheStudiesRefuse) {
  for (const ColdCase& c : kCold) {
    Parameters form = testing_cell::DefaultParameters();
    form.T = std::stod(c.T);
    const CellAtConditions cell = AtConditions(form);
    const FiguresOfMerit f =
        exact::CircuitSolver(cell.par, cell.Vt, exact::Stack({true, true, true}, false)).Figures(100);
    EXPECT_NEAR(f.Voc.value(), c.Voc, 1e-9 * c.Voc) << c.T;
    EXPECT_NEAR(f.Jsc.value(), c.Jsc, 1e-9 * c.Jsc) << c.T;
    EXPECT_NEAR(f.Pmax.value(), c.Pmax, 1e-9 * c.Pmax) << c.T;
    // The studies' searches cannot hold a current below the normal doubles: they name it and refuse.
    const auto refusal = BeyondTheSearches(cell.par);
    EXPECT_EQ(refusal.has_value(), form.T <= -247) << c.T;
    if (refusal) {
      EXPECT_NE(refusal->find("T: at T = " + std::string(c.T)), std::string::npos) << *refusal;
    }
  }
}

TEST(AtConditions, ATemperatureThatWouldMakeAPhotocurrentNegativeIsRefusedNamingItsCoefficient) {
  Parameters form = testing_cell::DefaultParameters();
  form.T = -150, form.alpha2 = 0.01;
  const auto problem = CheckConditions(form);
  ASSERT_TRUE(problem);
  EXPECT_EQ(problem->box, ParameterIndex("alpha2"));
  EXPECT_NE(problem->sentence.find("the photocurrent Jsc2 would be negative"), std::string::npos);
  EXPECT_THROW(static_cast<void>(AtConditions(form)), InputError);
  form.Jsc2 = 0;  // a dark junction stays dark at any temperature
  EXPECT_FALSE(CheckConditions(form));
}

}  // namespace
}  // namespace pelarin
