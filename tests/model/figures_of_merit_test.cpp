// Figures of merit from computed points: a curve whose figures are exact, in either voltage order, curves
// that stop short of open circuit, and the figures that must stay empty. (The figures of an ideal junction
// computed by the solvers are held to the closed form in the study tests.)
#include "model/figures_of_merit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace pelarin {
namespace {

struct Curve {
  std::vector<double> v, j;
};

template <class F>
Curve Sample(double from, double to, double step, F current) {
  Curve c;
  for (double v = from; v <= to + 1e-12; v += step) {
    c.v.push_back(v);
    c.j.push_back(current(v));
  }
  return c;
}

Curve Reversed(Curve c) {
  std::reverse(c.v.begin(), c.v.end());
  std::reverse(c.j.begin(), c.j.end());
  return c;
}

// A straight J(V) = Jsc (1 - V/Voc): its power is a parabola, so every figure is exact.
TEST(FiguresOfMerit, OfAStraightCurveAreExactInEitherVoltageOrder) {
  const double jsc = 0.012, voc = 0.9;
  const Curve rising = Sample(-0.21, 1.13, 0.037, [&](double v) { return jsc * (1 - v / voc); });
  for (const Curve& c : {rising, Reversed(rising)}) {
    const FiguresOfMerit f = FiguresFromPoints(c.v, c.j, std::nullopt, 100);
    ASSERT_TRUE(f.Voc && f.Jsc && f.Pmax && f.Vmp && f.Jmp && f.FF && f.efficiency);
    EXPECT_NEAR(*f.Voc, voc, 1e-14);
    EXPECT_NEAR(*f.Jsc, jsc, 1e-16);
    EXPECT_NEAR(*f.Vmp, voc / 2, 1e-12);
    EXPECT_NEAR(*f.Pmax, jsc * voc / 4, 1e-15);
    EXPECT_NEAR(*f.Jmp, jsc / 2, 1e-14);
    EXPECT_NEAR(*f.FF, 0.25, 1e-12);
    EXPECT_NEAR(*f.efficiency, jsc * voc / 4 * 1000, 1e-10);  // % of 100 mW/cm2
  }
}

TEST(FiguresOfMerit, TakeTheSolvedOpenCircuitVoltageOnlyForACurveThatStopsShort) {
  const double jsc = 0.008, voc = 1.4;
  const Curve full = Sample(-0.5, 1.5, 0.01, [&](double v) { return jsc * (1 - std::pow(v / voc, 9)); });
  Curve shortOf = full;
  while (shortOf.j.back() <= 0) {
    shortOf.v.pop_back();
    shortOf.j.pop_back();
  }
  EXPECT_FALSE(StopsShortOfOpenCircuit(full.v, full.j));
  EXPECT_TRUE(StopsShortOfOpenCircuit(shortOf.v, shortOf.j));
  EXPECT_TRUE(StopsShortOfOpenCircuit(Reversed(shortOf).v, Reversed(shortOf).j));

  const FiguresOfMerit unsolved = FiguresFromPoints(shortOf.v, shortOf.j, std::nullopt, 100);
  EXPECT_FALSE(unsolved.Voc);
  EXPECT_FALSE(unsolved.FF);
  ASSERT_TRUE(unsolved.Pmax && unsolved.Jsc);

  const FiguresOfMerit solved = FiguresFromPoints(shortOf.v, shortOf.j, 1.4, 100);
  ASSERT_TRUE(solved.Voc && solved.FF);
  EXPECT_EQ(*solved.Voc, 1.4);
  EXPECT_DOUBLE_EQ(*solved.FF, *solved.Pmax / (1.4 * *solved.Jsc));
  // A curve that crosses J = 0 has its Voc from its own points, whatever was solved.
  EXPECT_NEAR(*FiguresFromPoints(full.v, full.j, 99.0, 100).Voc, voc, 1e-3);
}

TEST(FiguresOfMerit, ThatThePointsDoNotDetermineStayEmpty) {
  // A dark curve: no power point, so no Pmax, fill factor or efficiency; it passes through the origin.
  const Curve dark = Sample(-1, 3, 0.05, [](double v) { return -1e-12 * std::expm1(v / 0.05); });
  const FiguresOfMerit d = FiguresFromPoints(dark.v, dark.j, std::nullopt, 100);
  EXPECT_FALSE(d.Pmax || d.Vmp || d.Jmp || d.FF || d.efficiency);
  ASSERT_TRUE(d.Jsc && d.Voc);
  EXPECT_NEAR(*d.Jsc, 0, 1e-24);
  EXPECT_NEAR(*d.Voc, 0, 1e-12);

  // Entirely at positive voltage: no Jsc, so no fill factor, though the other figures exist.
  const Curve forward = Sample(0.1, 1.2, 0.01, [](double v) { return 0.01 * (1 - v); });
  const FiguresOfMerit f = FiguresFromPoints(forward.v, forward.j, std::nullopt, 100);
  EXPECT_FALSE(f.Jsc || f.FF);
  EXPECT_TRUE(f.Voc && f.Pmax);

  // The largest power at the end of the points: the maximum may lie beyond them.
  const Curve cut = Sample(-0.2, 0.4, 0.01, [](double v) { return 0.01 * (1 - v); });
  EXPECT_FALSE(MaximumPowerPoint(cut.v, cut.j));
  EXPECT_FALSE(FiguresFromPoints(cut.v, cut.j, 1.0, 100).Pmax);

  // No stated incident power, no efficiency.
  const Curve line = Sample(-0.2, 1.2, 0.01, [](double v) { return 0.01 * (1 - v); });
  EXPECT_FALSE(FiguresFromPoints(line.v, line.j, std::nullopt, 0).efficiency);
  EXPECT_FALSE(FiguresFromPoints({}, {}, 1.0, 100).Voc);
}

TEST(FiguresOfMerit, CrossingsBetweenPointsAndAtAPoint) {
  // A point exactly at J = 0 between a generator and a load point is the crossing.
  const std::vector<double> v = {-0.1, 0.0, 0.5, 1.0, 1.5}, j = {0.02, 0.01, 0.005, 0, -0.005};
  EXPECT_EQ(VoltageAtZeroCurrent(v, j), 1.0);
  EXPECT_EQ(CurrentAtZeroVoltage(v, j), 0.01);
  // Two sweeps joined across a gap around J = 0 (from +j0 to -j0): the crossing lies in the gap.
  const std::vector<double> gv = {0.8, 0.9, 1.1, 1.2}, gj = {2e-3, 1e-12, -1e-12, -2e-3};
  EXPECT_NEAR(*VoltageAtZeroCurrent(gv, gj), 1.0, 1e-15);
  // J rising with voltage is no open circuit of a generator.
  const std::vector<double> rv = {0.5, 1.0}, rj = {-0.01, 0.01};
  EXPECT_FALSE(VoltageAtZeroCurrent(rv, rj));
}

TEST(FiguresOfMerit, ReadAsNamesValuesAndUnitsWithEmptyFiguresLeftBlank) {
  FiguresOfMerit f;
  f.Voc = 1.38349;
  f.Jsc = 0.0081449;
  f.FF = 0.72996;
  f.Pmax = 0.0082249;
  f.Vmp = 1.0911;
  f.Jmp = 0.0075381;
  f.efficiency = 8.2249;
  EXPECT_EQ(FigureTexts(f),
            (std::vector<std::string>{"Voc 1.383 V", "Jsc 8.14 mA/cm2", "FF 0.730", "Pmax 8.22 mW/cm2",
                                      "Vmp 1.091 V", "Jmp 7.54 mA/cm2", "Eff 8.22 % at 100 mW/cm2"}));
  EXPECT_EQ(FigureTexts(FiguresOfMerit{}),
            (std::vector<std::string>{"Voc", "Jsc", "FF", "Pmax", "Vmp", "Jmp", "Eff"}));
}

}  // namespace
}  // namespace pelarin
