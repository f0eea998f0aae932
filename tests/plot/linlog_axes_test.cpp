// The linear-log axes: decade bounds, the decade and sub-decade ticks with their conditions, the decade
// labels, the zero line, and the current ranges that have to be mended before they can be drawn.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "model/calc_error.h"
#include "model/state.h"
#include "plot/LINLOG1.h"
#include "plot/axis_scale.h"
#include "plot/drawing_reader.h"
#include "plot/recording_surface.h"

namespace pelarin {
namespace {

using testing::Drawing;
using testing::ReadDrawing;
using testing::Segment;

struct DecadeCase {
  double yMin, yMax;
  int nLo, nHi;
};

void PrintTo(const DecadeCase& c, std::ostream* os) { *os << c.yMin << " to " << c.yMax; }

class DecadeBoundsTest : public ::testing::TestWithParam<DecadeCase> {};

TEST_P(DecadeBoundsTest, SpanWholeDecadesAroundTheRange) {
  const DecadeCase& c = GetParam();
  const DecadeBounds b = DecadesOf(c.yMin, c.yMax);
  EXPECT_EQ(b.nLo, c.nLo);
  EXPECT_EQ(b.nHi, c.nHi);
  EXPECT_EQ(b.decades, c.nHi - c.nLo);
  EXPECT_NEAR(b.lnLo, c.nLo * std::log(10.0), 1e-12 * (1 + std::abs(c.nLo)));
  EXPECT_NEAR(b.lnHi, c.nHi * std::log(10.0), 1e-12 * (1 + std::abs(c.nHi)));
  EXPECT_DOUBLE_EQ(b.dl, b.lnHi - b.lnLo);
}

INSTANTIATE_TEST_SUITE_P(
    Ranges, DecadeBoundsTest,
    ::testing::Values(DecadeCase{1e-9, 0.05, -9, -1}, DecadeCase{0.002, 0.05, -3, -1},
                      // An exact power of ten stays in its own decade at the bottom and is the top.
                      DecadeCase{1e-6, 0.05, -6, -1}, DecadeCase{1e-6, 1e-2, -6, -2},
                      DecadeCase{1e-6, 1.0001e-2, -6, -1}, DecadeCase{0.5, 50, -1, 2},
                      DecadeCase{3, 7e3, 0, 4},
                      // Reversed bounds are taken in order.
                      DecadeCase{0.05, 1e-9, -9, -1},
                      // Mended: no decade left (D = 0) shows the decade below the top.
                      DecadeCase{1e-3, 1e-3, -4, -3}, DecadeCase{9.995e-4, 1e-3, -4, -3},
                      // Mended: a zero or negative lower bound is six decades below the top.
                      DecadeCase{0, 0.05, -8, -1}, DecadeCase{-1e-3, 0.05, -8, -1},
                      // Mended: nothing positive shows 1e-6 to 1.
                      DecadeCase{-1, -0.5, -6, 0}, DecadeCase{0, 0, -6, 0}));

TEST(DecadeBoundsTest, RefusesBoundsThatAreNotNumbers) {
  EXPECT_THROW((void)DecadesOf(std::nan(""), 1), CalcError);
  EXPECT_THROW((void)DecadesOf(1e-9, std::numeric_limits<double>::infinity()), CalcError);
}

RecordingSurface DrawLinLogTo(double xMin, double xMax, double yMin, double yMax,
                              PlotState* plotOut = nullptr) {
  RecordingSurface surface;
  PlotState plot;
  DrawLinLogAxes(surface, plot, xMin, xMax, yMin, yMax);
  if (plotOut) *plotOut = plot;
  return surface;
}

Drawing DrawLinLog(double xMin, double xMax, double yMin, double yMax, PlotState* plotOut = nullptr) {
  return ReadDrawing(DrawLinLogTo(xMin, xMax, yMin, yMax, plotOut));
}

TEST(LinLogAxesTest, SetsTheLogarithmicUserCoordinatesAndMarkerRadius) {
  PlotState plot;
  const Drawing d = DrawLinLog(-0.5, 2.9, 1e-9, 0.05, &plot);
  ASSERT_TRUE(d.coordinates);
  const double lnLo = std::log(1e-9), lnHi = std::log(0.1), dl = lnHi - lnLo;
  EXPECT_NEAR(d.coordinates->left, -0.96, 1e-12);
  EXPECT_NEAR(d.coordinates->right, 3.36, 1e-12);
  EXPECT_NEAR(d.coordinates->top, lnHi + 0.1 * dl, 1e-12);
  EXPECT_NEAR(d.coordinates->bottom, lnLo - 0.1 * dl, 1e-12);
  EXPECT_DOUBLE_EQ(plot.markerRadius, 30 * 3.4 / 9375);
}

// The ticks of the current axis on one side, as multiples of the lowest decade, with their lengths.
struct DecadeTick {
  double multiple;
  bool full;
};

std::vector<DecadeTick> DecadeTicks(const Drawing& d, double xFrame, double lnLo, double fullLength) {
  std::vector<DecadeTick> ticks;
  for (const Segment& s : d.InColour(PaletteColour(4))) {
    const double length = std::abs(s.x2 - s.x1);
    if (s.x1 == xFrame && s.y1 == s.y2 && length > 0)
      ticks.push_back({std::exp(s.y1 - lnLo), std::abs(length - fullLength) < 1e-9 * fullLength});
  }
  return ticks;
}

struct TickCountCase {
  double yMin, yMax;
  int decades;
  std::size_t shortLeft, shortRight;
};

void PrintTo(const TickCountCase& c, std::ostream* os) { *os << c.yMin << " to " << c.yMax; }

class LinLogTickCounts : public ::testing::TestWithParam<TickCountCase> {};

TEST_P(LinLogTickCounts, HaveTenLongTicksPerDecadeAndShortOnesOnFewDecades) {
  const TickCountCase& c = GetParam();
  const AxisRounding x = RoundAxis(0, 1);
  const double fullLength = 100 * 1.05 * (x.end - x.start) / 9375;
  const double lnLo = DecadesOf(c.yMin, c.yMax).lnLo;
  const Drawing d = DrawLinLog(0, 1, c.yMin, c.yMax);
  for (const bool left : {true, false}) {
    const auto ticks = DecadeTicks(d, left ? x.start : x.end, lnLo, fullLength);
    std::size_t full = 0;
    for (const DecadeTick& t : ticks) full += t.full;
    EXPECT_EQ(full, 10u * c.decades) << (left ? "left" : "right");
    EXPECT_EQ(ticks.size() - full, left ? c.shortLeft : c.shortRight) << (left ? "left" : "right");
  }
}

INSTANTIATE_TEST_SUITE_P(
    Ranges, LinLogTickCounts,
    ::testing::Values(
        // Per decade: 1.1 to 2.0 (ten) on two decades or fewer; halves 1.5 to 7.5 left, to 8.5 right on four.
        TickCountCase{0.02, 0.05, 1, 17, 18}, TickCountCase{0.002, 0.05, 2, 34, 36},
        TickCountCase{1e-4, 0.05, 3, 21, 24}, TickCountCase{1e-5, 0.05, 4, 28, 32},
        TickCountCase{1e-6, 0.05, 5, 0, 0}, TickCountCase{1e-9, 0.05, 8, 0, 0}));

TEST(LinLogAxesTest, DrawsEachDecadesTicksInOrder) {
  const AxisRounding x = RoundAxis(0, 1);
  const double fullLength = 100 * 1.05 * (x.end - x.start) / 9375;
  const Drawing d = DrawLinLog(0, 1, 0.002, 0.05);
  const double lnLo = std::log(1e-3);
  const std::vector<DecadeTick> firstDecadeLeft = {
      {1, true},    {1.1, false}, {1.2, false}, {1.3, false}, {1.4, false}, {1.5, false}, {1.6, false},
      {1.7, false}, {1.8, false}, {1.9, false}, {2, false},   {1.5, false}, {2, true},    {2.5, false},
      {3, true},    {3.5, false}, {4, true},    {4.5, false}, {5, true},    {5.5, false}, {6, true},
      {6.5, false}, {7, true},    {7.5, false}, {8, true},    {9, true},    {10, true}};
  for (const bool left : {true, false}) {
    std::vector<DecadeTick> expected = firstDecadeLeft;
    if (!left) expected.insert(expected.begin() + 25, {8.5, false});
    const std::size_t perDecade = expected.size();
    for (std::size_t i = 0; i < perDecade; ++i)
      expected.push_back({10 * expected[i].multiple, expected[i].full});
    const auto ticks = DecadeTicks(d, left ? x.start : x.end, lnLo, fullLength);
    ASSERT_EQ(ticks.size(), expected.size()) << (left ? "left" : "right");
    for (std::size_t i = 0; i < ticks.size(); ++i) {
      EXPECT_NEAR(ticks[i].multiple, expected[i].multiple, 1e-12 * expected[i].multiple) << i;
      EXPECT_EQ(ticks[i].full, expected[i].full) << i;
    }
  }
}

TEST(LinLogAxesTest, ColoursTheCurrentSidesDarkRedAndTheVoltageSidesDarkGreen) {
  const Drawing d = DrawLinLog(0, 1, 1e-9, 0.05);
  const double lnLo = std::log(1e-9), lnHi = std::log(0.1);
  const double reach = 100 * 1.05 * 1.0 / 9375 * 1.000001;
  ASSERT_FALSE(d.InColour(PaletteColour(4)).empty());
  for (const Segment& s : d.InColour(PaletteColour(4)))
    for (double x : {s.x1, s.x2}) EXPECT_TRUE(x <= reach || x >= 1 - reach) << x;
  const double yReach = 100 * (lnHi - lnLo) / 5595 * 1.000001;
  ASSERT_FALSE(d.InColour(PaletteColour(2)).empty());
  for (const Segment& s : d.InColour(PaletteColour(2)))
    for (double y : {s.y1, s.y2}) EXPECT_TRUE(y <= lnLo + yReach || y >= lnHi - yReach) << y;
}

TEST(LinLogAxesTest, LabelsEveryDecadeWithTenAndARaisedExponent) {
  const Drawing d = DrawLinLog(-0.5, 2.9, 1e-9, 0.05);
  const double lnLo = std::log(1e-9), dl = std::log(0.1) - lnLo;
  ASSERT_GE(d.texts.size(), 18u);
  for (int i = 0; i <= 8; ++i) {
    const auto& ten = d.texts[2 * i];
    const auto& exponent = d.texts[2 * i + 1];
    EXPECT_EQ(ten.text, "10");
    EXPECT_EQ(exponent.text, " -" + std::to_string(9 - i) + " ");
    EXPECT_NEAR(ten.x, -0.6 - 3.6 / 20, 1e-12);
    EXPECT_NEAR(ten.y, lnLo + i * dl / 8 + dl / 100, 1e-12);
    EXPECT_NEAR(exponent.x, -0.6 - 3.6 / 30, 1e-12);
    EXPECT_NEAR(exponent.y, ten.y + dl / 70, 1e-12);
  }
  // Then the x labels below the frame, and no marker for the current axis.
  EXPECT_EQ(d.texts[18].text, "-.6 ");
  EXPECT_NEAR(d.texts[18].y, lnLo - 0.05 * dl, 1e-12);
  EXPECT_EQ(d.texts.size(), 18u + 19u);
}

TEST(LinLogAxesTest, PrecedesNonNegativeExponentsByTwoBlanks) {
  const std::vector<std::string> texts = DrawLinLog(0, 1, 0.5, 50).Texts();
  ASSERT_GE(texts.size(), 8u);
  EXPECT_EQ(texts[1], " -1 ");
  EXPECT_EQ(texts[3], "  0 ");
  EXPECT_EQ(texts[5], "  1 ");
  EXPECT_EQ(texts[7], "  2 ");
}

TEST(LinLogAxesTest, MarksScaledVoltagesAsOnTheLinearAxes) {
  const std::vector<std::string> texts = DrawLinLog(0, 0.002, 1e-9, 0.05).Texts();
  ASSERT_GE(texts.size(), 2u);
  EXPECT_EQ(texts[texts.size() - 2], "     x10");
  EXPECT_EQ(texts.back(), "-4");
}

TEST(LinLogAxesTest, DrawsOnlyAVerticalZeroLineWhenTheVoltagesCrossZero) {
  const Drawing crossing = DrawLinLog(-0.5, 2.9, 1e-9, 0.05);
  const auto grey = crossing.InColour(PaletteColour(8));
  ASSERT_EQ(grey.size(), 1u);
  EXPECT_EQ(grey[0].width, 2);
  EXPECT_EQ(grey[0].x1, 0);
  EXPECT_EQ(grey[0].x2, 0);
  EXPECT_NEAR(grey[0].y1, std::log(1e-9), 1e-12);
  EXPECT_NEAR(grey[0].y2, std::log(0.1), 1e-12);
  // 0.5 to 2.9 V rounds to 0.4 to 3.0: no zero line (0.1 to 2.9 would start at 0, on the frame).
  EXPECT_TRUE(DrawLinLog(0.5, 2.9, 1e-9, 0.05).InColour(PaletteColour(8)).empty());
}

TEST(LinLogAxesTest, EndsWithTheSolidStyle) {
  const RecordingSurface surface = DrawLinLogTo(0.1, 2.9, 1e-9, 0.05);
  EXPECT_EQ(surface.CurrentDrawStyle(), DrawStyle::Solid);
}

struct DegenerateCase {
  double xMin, xMax, yMin, yMax;
};

void PrintTo(const DegenerateCase& c, std::ostream* os) {
  *os << "x " << c.xMin << ".." << c.xMax << " y " << c.yMin << ".." << c.yMax;
}

class LinLogDegenerateRanges : public ::testing::TestWithParam<DegenerateCase> {};

TEST_P(LinLogDegenerateRanges, AreMendedSoAFramedPlotIsStillDrawn) {
  const DegenerateCase& c = GetParam();
  PlotState plot;
  const Drawing d = DrawLinLog(c.xMin, c.xMax, c.yMin, c.yMax, &plot);
  ASSERT_TRUE(d.coordinates);
  EXPECT_TRUE(std::isfinite(d.coordinates->top) && std::isfinite(d.coordinates->bottom));
  EXPECT_LT(d.coordinates->left, d.coordinates->right);
  EXPECT_GT(d.coordinates->top, d.coordinates->bottom);
  EXPECT_GT(plot.markerRadius, 0);
  for (double y : {c.yMin, c.yMax}) {
    if (y < 1e-300) continue;  // no decade is shown below 1e-300
    EXPECT_LT(std::log(y), d.coordinates->top);
    EXPECT_GT(std::log(y), d.coordinates->bottom);
  }
  // At least one decade: two labels "10".
  int tens = 0;
  for (const auto& t : d.texts) tens += t.text == "10";
  EXPECT_GE(tens, 2);
}

INSTANTIATE_TEST_SUITE_P(Ranges, LinLogDegenerateRanges,
                         ::testing::Values(DegenerateCase{0, 3, 1e-3, 1e-3},
                                           DegenerateCase{0, 3, 9.995e-4, 1e-3},
                                           DegenerateCase{0, 3, 0, 0.05}, DegenerateCase{0, 3, -1, -0.5},
                                           DegenerateCase{0, 3, 0.05, 1e-9}, DegenerateCase{1, 1, 1e-9, 0.05},
                                           DegenerateCase{0, 3, 1e-320, 1e-320}));

}  // namespace
}  // namespace pelarin
