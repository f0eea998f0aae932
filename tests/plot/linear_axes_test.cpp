// Linear axes: rounding of an axis, labels and power-of-ten markers, ticks, zero lines, and the ranges that
// are widened before they can be drawn.
#include "plot/linear_axes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <tuple>
#include <vector>

#include "model/calc_error.h"
#include "plot/axis_scale.h"
#include "plot/drawing_reader.h"

namespace pelarin {
namespace {

using testing::Drawing;
using testing::Segment;

Drawing DrawLinLin(double xMin, double xMax, double yMin, double yMax, PlotState* plot = nullptr) {
  RecordingSurface surface;
  PlotState unused;
  DrawLinLinAxes(surface, plot ? *plot : unused, xMin, xMax, yMin, yMax);
  return testing::ReadDrawing(surface);
}

struct RoundingCase {
  double lo, hi, start;
  int intervals;
  double step;
};

class AxisRounding_ : public ::testing::TestWithParam<RoundingCase> {};

TEST_P(AxisRounding_, GivesWholeIntervalsFromAStartAtOrBelowTheRange) {
  const RoundingCase& c = GetParam();
  const AxisRounding r = RoundAxis(c.lo, c.hi);
  EXPECT_NEAR(r.start, c.start, 1e-12 * c.step);
  EXPECT_EQ(r.intervals, c.intervals);
  EXPECT_NEAR(r.step, c.step, 1e-12 * c.step);
}

INSTANTIATE_TEST_SUITE_P(
    Ranges, AxisRounding_,
    ::testing::Values(RoundingCase{0, 1, 0, 10, 0.1}, RoundingCase{0, 2.5, 0, 13, 0.2},
                      RoundingCase{0, 0.002, 0, 10, 0.0002}, RoundingCase{0, 5e4, 0, 10, 5e3},
                      // A negative start is walked down from its mirror image above zero.
                      RoundingCase{-0.35, 0.65, -0.4, 11, 0.1}, RoundingCase{-2.9, -0.5, -3.0, 13, 0.2},
                      // Mantissas of exactly 1.6 and 3.5 stay; just above 1.6 snaps to 2, below to 1.
                      RoundingCase{0, 1.6, 0, 10, 0.16}, RoundingCase{0, 3.5, 0, 10, 0.35},
                      RoundingCase{0, 1.7, 0, 9, 0.2}, RoundingCase{0, 1.5, 0, 15, 0.1}));

TEST(AxisLabelTest, RoundsHalfAwayFromZeroWithoutLeadingZero) {
  EXPECT_EQ(AxisLabel(0.125, 0.025, "0"), " .13 ");
  EXPECT_EQ(AxisLabel(-0.125, 0.025, "0"), "-.13 ");
  EXPECT_EQ(AxisLabel(2500, 2500, "0"), " 2.5 ");
}

TEST(AxisLabelTest, LabelTextsAndMarkerExponentsAsPlaced) {
  EXPECT_EQ(LabelText(0.125, 0.025), ".13");
  EXPECT_EQ(LabelText(0, 0.0002), "0");
  EXPECT_EQ(LabelText(-2500, 2500), "-2.5");
  EXPECT_EQ(MarkerExponent(4), "-4");
  EXPECT_EQ(MarkerExponent(-3), "3");
}

struct LabelCase {
  double yMin, yMax;
  const char *first, *second, *last;
  const char* markerExponent;  // empty: no marker
};

class LinLinLabels : public ::testing::TestWithParam<LabelCase> {};

TEST_P(LinLinLabels, ScaleSmallAndLargeIntervalsAndMarkTheirPowerOfTen) {
  const LabelCase& c = GetParam();
  const int ny = RoundAxis(c.yMin, c.yMax).intervals;
  const Drawing d = DrawLinLin(0, 1, c.yMin, c.yMax);
  const std::size_t markers = *c.markerExponent ? 1 : 0;
  ASSERT_EQ(d.texts.size(), ny + 1 + 11 + markers);
  EXPECT_EQ(d.texts[0].text, c.first);
  EXPECT_EQ(d.texts[1].text, c.second);
  EXPECT_EQ(d.texts[ny].text, c.last);
  EXPECT_EQ(d.texts[ny + 2].text, ".1");  // the x labels follow
  if (markers == 0) return;
  const auto& marker = d.texts[ny + 12];
  EXPECT_EQ(marker.text, "x10");
  EXPECT_EQ(marker.exponent, c.markerExponent);
  EXPECT_EQ(marker.place, LabelPlace::AboveLeft);
}

INSTANTIATE_TEST_SUITE_P(Ranges, LinLinLabels,
                         ::testing::Values(LabelCase{0, 1, "0", ".1", "1", ""},
                                           LabelCase{0, 0.002, "0", "2", "20", "-4"},
                                           LabelCase{0, 5e4, "0", "5", "50", "3"},
                                           LabelCase{-0.35, 0.65, "-.4", "-.3", ".7", ""},
                                           // The top label is exactly 0: the marker still comes from the
                                           // interval.
                                           LabelCase{-5e4, 0, "-50", "-45", "0", "3"}));

TEST(LinLinAxesTest, SetsCoordinatesMarkerRadiusAndAnchorsLabelsAtTheirTicksAndMarkersAtTheCorners) {
  PlotState plot;
  const Drawing d = DrawLinLin(0, 0.002, 0, 0.002, &plot);
  EXPECT_DOUBLE_EQ(plot.markerRadius, 30 * 0.002 / 9375);
  ASSERT_TRUE(d.coordinates);
  EXPECT_NEAR(d.coordinates->x, -0.0002, 1e-17);
  EXPECT_NEAR(d.coordinates->y, 0.0022, 1e-17);
  EXPECT_NEAR(d.coordinates->x2, 0.0022, 1e-17);
  EXPECT_NEAR(d.coordinates->y2, -0.0002, 1e-17);
  const auto at = [&](std::size_t i, const char* text, const char* exponent, LabelPlace place, double x,
                      double y) {
    EXPECT_EQ(d.texts[i].text, text);
    EXPECT_EQ(d.texts[i].exponent, exponent);
    EXPECT_EQ(d.texts[i].place, place) << text;
    EXPECT_NEAR(d.texts[i].x, x, 1e-17) << text;
    EXPECT_NEAR(d.texts[i].y, y, 1e-17) << text;
  };
  ASSERT_EQ(d.texts.size(), 24u);
  at(3, "6", "", LabelPlace::LeftOf, 0, 0.0006);
  at(11, "0", "", LabelPlace::Below, 0, 0);
  at(12, "2", "", LabelPlace::Below, 0.0002, 0);
  at(22, "x10", "-4", LabelPlace::AboveLeft, 0, 0.002);
  at(23, "x10", "-4", LabelPlace::BelowRight, 0.002, 0);
}

TEST(LinLinAxesTest, DrawsHalfAndFullTicksIntoTheFrameOnAllSides) {
  // x: -0.6 to 3.0 in 18 intervals, y: -0.4 to 0.7 in 11; ticks are short segments leaving a side inwards.
  const Drawing d = DrawLinLin(-0.5, 2.9, -0.35, 0.65);
  const double tx = 1.05 * 3.6 / 9375, ty = 1.05 * 1.1 / 5595;
  std::vector<double> left, right, top, bottom;
  const auto near = [](double a, double b) { return std::abs(a - b) < 1e-12; };
  const auto tick = [](double from, double to, double unit) {
    return std::abs(to - from) > 1e-12 && std::abs(to - from) < 101 * unit;
  };
  for (const Segment& s : d.InColour(PaletteColour(2))) {
    // Lengths measured inwards: a tick pointing out of the frame would come out negative.
    if (near(s.y1, s.y2) && tick(s.x1, s.x2, tx) && near(s.x1, -0.6)) left.push_back(s.x2 - s.x1);
    if (near(s.y1, s.y2) && tick(s.x1, s.x2, tx) && near(s.x1, 3.0)) right.push_back(s.x1 - s.x2);
    if (near(s.x1, s.x2) && tick(s.y1, s.y2, ty) && near(s.y1, 0.7)) top.push_back(s.y1 - s.y2);
    if (near(s.x1, s.x2) && tick(s.y1, s.y2, ty) && near(s.y1, -0.4)) bottom.push_back(s.y2 - s.y1);
  }
  for (const auto& [lengths, count, unit] :
       {std::tuple{left, 11, tx}, {right, 11, tx}, {top, 18, ty}, {bottom, 18, ty}}) {
    ASSERT_EQ(lengths.size(), 2u * count);
    for (std::size_t i = 0; i < lengths.size(); ++i)
      EXPECT_NEAR(lengths[i], (i % 2 ? 100 : 50) * unit, 1e-9 * unit);
  }
}

struct ZeroLineCase {
  double xMin, xMax, yMin, yMax;
  bool horizontal, vertical;
};

class LinLinZeroLines : public ::testing::TestWithParam<ZeroLineCase> {};

TEST_P(LinLinZeroLines, AreGreyOfWidthTwoWhereARangeReachesZero) {
  const ZeroLineCase& c = GetParam();
  const AxisRounding x = RoundAxis(c.xMin, c.xMax), y = RoundAxis(c.yMin, c.yMax);
  std::vector<Segment> expected;
  if (c.horizontal) expected.push_back({x.start, 0, x.end, 0, PaletteColour(8), 2});
  if (c.vertical) expected.push_back({0, y.start, 0, y.end, PaletteColour(8), 2});
  const std::vector<Segment> grey = DrawLinLin(c.xMin, c.xMax, c.yMin, c.yMax).InColour(PaletteColour(8));
  ASSERT_EQ(grey.size(), expected.size());
  for (std::size_t i = 0; i < grey.size(); ++i) {
    EXPECT_EQ(grey[i].width, 2);
    EXPECT_EQ(std::tie(grey[i].x1, grey[i].y1, grey[i].x2, grey[i].y2),
              std::tie(expected[i].x1, expected[i].y1, expected[i].x2, expected[i].y2));
  }
}

INSTANTIATE_TEST_SUITE_P(Ranges, LinLinZeroLines,
                         ::testing::Values(ZeroLineCase{-0.5, 2.9, -0.35, 0.65, true, true},
                                           ZeroLineCase{0, 1, 0, 1, true, true},  // on the frame
                                           ZeroLineCase{0.2, 1, 0.2, 1, false, false},
                                           ZeroLineCase{0.5, 2.9, -0.35, 0.65, true, false}));

struct Bounds {
  double xMin, xMax, yMin, yMax;
};

class LinLinDegenerateRanges : public ::testing::TestWithParam<Bounds> {};

TEST_P(LinLinDegenerateRanges, AreWidenedSoTheDataLieInsideADrawnFrame) {
  const Bounds& c = GetParam();
  PlotState plot;
  const Drawing d = DrawLinLin(c.xMin, c.xMax, c.yMin, c.yMax, &plot);
  ASSERT_TRUE(d.coordinates);
  EXPECT_GT(plot.markerRadius, 0);
  for (double x : {c.xMin, c.xMax}) EXPECT_TRUE(d.coordinates->x < x && x < d.coordinates->x2) << x;
  for (double y : {c.yMin, c.yMax}) EXPECT_TRUE(d.coordinates->y2 < y && y < d.coordinates->y) << y;
  EXPECT_GE(d.InColour(PaletteColour(2)).size(), 12u);
}

INSTANTIATE_TEST_SUITE_P(Ranges, LinLinDegenerateRanges,
                         ::testing::Values(Bounds{1, 1, 0, 0.01}, Bounds{0, 1, 0, 0}, Bounds{0, 1, -3, -3},
                                           Bounds{2.9, -0.5, 0.01, 0}, Bounds{0, 1, 100, 100 + 1e-9},
                                           Bounds{-1e6, -1e6 + 1e-7, 0, 1}, Bounds{0, 1, 1e-250, 1e-250}));

TEST(LinLinAxesTest, RefusesBoundsThatAreNotFiniteNumbers) {
  RecordingSurface surface;
  PlotState plot;
  EXPECT_THROW(DrawLinLinAxes(surface, plot, 0, std::nan(""), 0, 1), CalcError);
  EXPECT_THROW(DrawLinLinAxes(surface, plot, 0, 1, -INFINITY, 1), CalcError);
}

}  // namespace
}  // namespace pelarin
