// Linear-log axes: decade bounds, decade and sub-decade ticks with their conditions, decade labels, the zero
// line, and the current ranges that are mended before they can be drawn.
#include "plot/log_axes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "model/calc_error.h"
#include "plot/axis_scale.h"
#include "plot/drawing_reader.h"

namespace pelarin {
namespace {

using testing::Drawing;
using testing::Segment;

Drawing DrawLinLog(double xMin, double xMax, double yMin, double yMax, PlotState* plot = nullptr) {
  RecordingSurface surface;
  PlotState unused;
  DrawLinLogAxes(surface, plot ? *plot : unused, xMin, xMax, yMin, yMax);
  return testing::ReadDrawing(surface);
}

struct DecadeCase {
  double yMin, yMax;
  int nLo, nHi;
  std::size_t shortLeft, shortRight;  // sub-decade ticks per side
};

class LinLogDecades : public ::testing::TestWithParam<DecadeCase> {};

TEST_P(LinLogDecades, SpanWholeDecadesWithTenLongTicksEachAndShortOnesOnFew) {
  const DecadeCase& c = GetParam();
  const DecadeBounds b = DecadesOf(c.yMin, c.yMax);
  EXPECT_EQ(b.nLo, c.nLo);
  EXPECT_EQ(b.nHi, c.nHi);
  EXPECT_EQ(b.decades, c.nHi - c.nLo);
  EXPECT_NEAR(b.lnLo, c.nLo * std::log(10.0), 1e-12 * (1 + std::abs(c.nLo)));
  // Ticks of the current axis leave the sides at x = 0 and x = 1: long 100, short 50 reference units.
  const double full = 100 * 1.05 / 9375;
  std::size_t longTicks[2] = {0, 0}, shortTicks[2] = {0, 0};
  for (const Segment& s : DrawLinLog(0, 1, c.yMin, c.yMax).InColour(PaletteColour(4))) {
    const double length = std::abs(s.x2 - s.x1);
    if ((s.x1 != 0 && s.x1 != 1) || s.y1 != s.y2 || length == 0) continue;
    (std::abs(length - full) < 1e-9 ? longTicks : shortTicks)[s.x1 == 1]++;
  }
  EXPECT_EQ(longTicks[0], 10u * b.decades);
  EXPECT_EQ(longTicks[1], 10u * b.decades);
  EXPECT_EQ(shortTicks[0], c.shortLeft);
  EXPECT_EQ(shortTicks[1], c.shortRight);
}

INSTANTIATE_TEST_SUITE_P(
    Ranges, LinLogDecades,
    ::testing::Values(
        // Per decade: 1.1 to 2.0 (ten) on two decades or fewer; halves 1.5 to 7.5 left, 8.5 right on four.
        DecadeCase{1e-9, 0.05, -9, -1, 0, 0}, DecadeCase{0.002, 0.05, -3, -1, 34, 36},
        DecadeCase{0.02, 0.05, -2, -1, 17, 18}, DecadeCase{1e-4, 0.05, -4, -1, 21, 24},
        // An exact power of ten stays in its own decade at the bottom and is the top; just above adds one.
        DecadeCase{1e-6, 1e-2, -6, -2, 28, 32}, DecadeCase{1e-6, 1.0001e-2, -6, -1, 0, 0},
        DecadeCase{0.05, 1e-9, -9, -1, 0, 0},  // reversed
        // Mended: no decade (D = 0) gets the decade below the top; a bound <= 0 six decades below the top;
        // nothing positive shows 1e-6 to 1.
        DecadeCase{1e-3, 1e-3, -4, -3, 17, 18}, DecadeCase{9.995e-4, 1e-3, -4, -3, 17, 18},
        DecadeCase{0, 0.05, -8, -1, 0, 0}, DecadeCase{-1, -0.5, -6, 0, 0, 0}));

TEST(LinLogAxesTest, LabelsEachDecadeWithTenAndARaisedExponentBesideItsTick) {
  PlotState plot;
  const Drawing d = DrawLinLog(-0.5, 2.9, 1e-9, 0.05, &plot);
  EXPECT_DOUBLE_EQ(plot.markerRadius, 30 * 3.4 / 9375);
  const double lnLo = std::log(1e-9), dl = std::log(0.1) - lnLo;
  ASSERT_EQ(d.texts.size(), 9u + 19u);  // nine decade labels, x labels -0.6 to 3.0, no marker
  for (int i = 0; i <= 8; ++i) {
    const auto& ten = d.texts[static_cast<std::size_t>(i)];
    EXPECT_EQ(ten.text, "10");
    EXPECT_EQ(ten.exponent, std::to_string(i - 9));
    EXPECT_EQ(ten.place, LabelPlace::LeftOf);
    EXPECT_NEAR(ten.x, -0.6, 1e-12);
    EXPECT_NEAR(ten.y, lnLo + i * dl / 8, 1e-12);
  }
  EXPECT_EQ(d.texts[9].text, "-.6");
  EXPECT_EQ(d.texts[9].place, LabelPlace::Below);
  EXPECT_NEAR(d.texts[9].y, lnLo, 1e-12);
  // Exponents of decades at and above 1 carry no sign.
  const Drawing upper = DrawLinLog(0, 1, 0.5, 50);
  EXPECT_EQ(upper.texts[0].exponent, "-1");
  EXPECT_EQ(upper.texts[1].exponent, "0");
  EXPECT_EQ(upper.texts[3].exponent, "2");
}

TEST(LinLogAxesTest, DrawsOnlyAVerticalZeroLineAndOnlyWhenTheVoltagesReachZero) {
  const auto grey = DrawLinLog(-0.5, 2.9, 1e-9, 0.05).InColour(PaletteColour(8));
  ASSERT_EQ(grey.size(), 1u);
  EXPECT_EQ(grey[0].width, 2);
  EXPECT_EQ(grey[0].x1, 0);
  EXPECT_EQ(grey[0].x2, 0);
  EXPECT_NEAR(grey[0].y1, std::log(1e-9), 1e-12);
  EXPECT_NEAR(grey[0].y2, std::log(0.1), 1e-12);
  // 0.5 to 2.9 V rounds to 0.4 to 3.0.
  EXPECT_TRUE(DrawLinLog(0.5, 2.9, 1e-9, 0.05).InColour(PaletteColour(8)).empty());
}

TEST(LinLogAxesTest, MendedRangesStillFrameTheirData) {
  for (const auto& [yMin, yMax] : {std::pair{1e-3, 1e-3}, {0.0, 0.05}, {1e-320, 1e-320}}) {
    const Drawing d = DrawLinLog(1, 1, yMin, yMax);
    ASSERT_TRUE(d.coordinates);
    EXPECT_LT(d.coordinates->x, 1);
    EXPECT_GT(d.coordinates->x2, 1);
    if (yMin >= 1e-300) {  // no decade for 0 or below 1e-300
      EXPECT_LT(d.coordinates->y2, std::log(yMin));
    }
    EXPECT_GT(d.coordinates->y, std::log(yMax));
  }
  EXPECT_THROW((void)DecadesOf(std::nan(""), 1), CalcError);
}

}  // namespace
}  // namespace pelarin
