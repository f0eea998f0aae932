// The linear axes: rounding of an axis, tick labels and markers, the frame and its ticks, zero lines,
// and the ranges that have to be widened before they can be drawn.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "model/calc_error.h"
#include "model/state.h"
#include "plot/LINLIN1.h"
#include "plot/axis_scale.h"
#include "plot/drawing_reader.h"
#include "plot/recording_surface.h"

namespace pelarin {
namespace {

using testing::Drawing;
using testing::ReadDrawing;
using testing::Segment;

struct RoundingCase {
  double lo, hi;
  double start;
  int intervals;
  double step;
};

void PrintTo(const RoundingCase& c, std::ostream* os) { *os << c.lo << " to " << c.hi; }

class AxisRoundingTest : public ::testing::TestWithParam<RoundingCase> {};

TEST_P(AxisRoundingTest, GivesWholeIntervalsCoveringTheRange) {
  const RoundingCase& c = GetParam();
  const AxisRounding r = RoundAxis(c.lo, c.hi);
  const double tolerance = 1e-12 * std::abs(c.step);
  EXPECT_NEAR(r.start, c.start, tolerance);
  EXPECT_EQ(r.intervals, c.intervals);
  EXPECT_NEAR(r.step, c.step, tolerance);
  EXPECT_NEAR(r.end, c.start + c.intervals * c.step, 2 * c.intervals * tolerance);
  EXPECT_LE(r.start, c.lo);
  EXPECT_GE(r.end, c.hi);
}

INSTANTIATE_TEST_SUITE_P(
    Ranges, AxisRoundingTest,
    ::testing::Values(RoundingCase{0, 1, 0, 10, 0.1}, RoundingCase{0, 2.5, 0, 13, 0.2},
                      RoundingCase{0, 0.002, 0, 10, 0.0002}, RoundingCase{0, 5e4, 0, 10, 5e3},
                      RoundingCase{0, 0.01, 0, 20, 0.0005},
                      // A negative start is walked down from its mirror image above zero.
                      RoundingCase{-0.35, 0.65, -0.4, 11, 0.1}, RoundingCase{-0.5, 2.9, -0.6, 18, 0.2},
                      RoundingCase{-2.9, -0.5, -3.0, 13, 0.2},
                      // Mantissas of exactly 1.6 and 3.5 are not snapped.
                      RoundingCase{0, 1.6, 0, 10, 0.16}, RoundingCase{0, 3.5, 0, 10, 0.35},
                      // Just above 1.6 snaps to 2, just below to 1.
                      RoundingCase{0, 1.7, 0, 9, 0.2}, RoundingCase{0, 1.5, 0, 15, 0.1},
                      RoundingCase{1e6, 3e6, 1e6, 10, 2e5}, RoundingCase{0.25, 0.75, 0.25, 10, 0.05}));

struct LabelCase {
  double v, step;
  const char* zeroText;
  const char* text;
};

void PrintTo(const LabelCase& c, std::ostream* os) { *os << c.v << " step " << c.step; }

class AxisLabelTest : public ::testing::TestWithParam<LabelCase> {};

TEST_P(AxisLabelTest, WritesTheValueAsOnTheWindow) {
  const LabelCase& c = GetParam();
  EXPECT_EQ(AxisLabel(c.v, c.step, c.zeroText), c.text);
}

INSTANTIATE_TEST_SUITE_P(
    Values, AxisLabelTest,
    ::testing::Values(
        // Two decimals, rounded half away from zero, no leading zero; zero is a number here.
        LabelCase{0.1, 0.1, "0", " .1 "}, LabelCase{-0.4, 0.1, "0", "-.4 "}, LabelCase{0, 0.1, "0", " 0 "},
        LabelCase{0.125, 0.025, "0", " .13 "}, LabelCase{-0.125, 0.025, "0", "-.13 "},
        LabelCase{2.6, 0.2, "0", " 2.6 "}, LabelCase{3000, 1000, "0", " 3000 "},
        LabelCase{0.03, 0.01, "0", " .03 "},
        // Small intervals: times 10^L with one decimal; an exact zero is the zero text.
        LabelCase{0.0006, 0.0002, " 0", " 6 "}, LabelCase{0, 0.0002, " 0", " 0"},
        LabelCase{0, 0.0002, "0", "0"}, LabelCase{0.00025, 0.00005, "0", " 25 "},
        LabelCase{-0.0035, 0.0005, " 0", "-35 "},
        // Large intervals: divided by powers of ten, one decimal.
        LabelCase{15000, 5000, " 0", " 15 "}, LabelCase{2500, 2500, " 0", " 2.5 "},
        LabelCase{0, 5000, " 0", " 0"}));

TEST(LabelExponentTest, FollowsTheIntervalsMagnitude) {
  EXPECT_EQ(LabelExponent(0.0002), 4);
  EXPECT_EQ(LabelExponent(0.001), 4);  // 0.001 reaches 1 and is multiplied once more
  EXPECT_EQ(LabelExponent(0.005), 3);
  EXPECT_EQ(LabelExponent(5000), -3);
  EXPECT_EQ(LabelExponent(10000), -4);
  EXPECT_EQ(LabelExponent(0.01), 0);
  EXPECT_EQ(LabelExponent(1000), 0);
}

Drawing DrawLinLin(double xMin, double xMax, double yMin, double yMax, PlotState* plotOut = nullptr) {
  RecordingSurface surface;
  PlotState plot;
  DrawLinLinAxes(surface, plot, xMin, xMax, yMin, yMax);
  if (plotOut) *plotOut = plot;
  return ReadDrawing(surface);
}

TEST(LinLinAxesTest, SetsUpTheWindowAndTheMarkerRadiusFromTheRawRange) {
  RecordingSurface surface;
  PlotState plot;
  DrawLinLinAxes(surface, plot, -0.5, 2.9, 0, 0.01);
  using K = DrawOp::Kind;
  const std::vector<K> setUp = {K::WindowStateNormal, K::ScaleHeight, K::ScaleWidth,
                                K::DrawMode,          K::BackColour,  K::ForeColour};
  ASSERT_GE(surface.Ops().size(), setUp.size());
  for (std::size_t i = 0; i < setUp.size(); ++i) EXPECT_EQ(surface.Ops()[i].kind, setUp[i]) << i;
  EXPECT_EQ(surface.Ops()[1].x, 5595);
  EXPECT_EQ(surface.Ops()[2].x, 9375);
  EXPECT_EQ(surface.Ops()[3].value, kCopyPen);
  EXPECT_EQ(surface.Ops()[4].colour, Rgb(255, 255, 255));
  EXPECT_EQ(surface.Ops()[5].colour, Rgb(0, 0, 0));
  EXPECT_DOUBLE_EQ(plot.markerRadius, 30 * 3.4 / 9375);
}

TEST(LinLinAxesTest, LeavesATenthOfEachSpanAroundTheFrame) {
  const Drawing d = DrawLinLin(-0.5, 2.9, 0, 0.01);
  ASSERT_TRUE(d.coordinates);
  // x: -0.6 to 3.0, y: 0 to 0.01.
  EXPECT_NEAR(d.coordinates->left, -0.96, 1e-12);
  EXPECT_NEAR(d.coordinates->right, 3.36, 1e-12);
  EXPECT_NEAR(d.coordinates->top, 0.011, 1e-15);
  EXPECT_NEAR(d.coordinates->bottom, -0.001, 1e-15);
}

TEST(LinLinAxesTest, LabelsTheUnitRangeInTenthsWithoutMarker) {
  const Drawing d = DrawLinLin(0, 1, 0, 1);
  // The two-decimal rule writes zero as a number on both axes.
  const std::vector<std::string> expected = {" 0 ",  " .1 ", " .2 ", " .3 ", " .4 ", " .5 ",
                                             " .6 ", " .7 ", " .8 ", " .9 ", " 1 "};
  const std::vector<std::string> texts = d.Texts();
  ASSERT_EQ(texts.size(), 22u);  // 11 y labels, 11 x labels, no marker
  for (std::size_t i = 0; i < 11; ++i) {
    EXPECT_EQ(texts[i], expected[i]) << "y label " << i;
    EXPECT_EQ(texts[11 + i], expected[i]) << "x label " << i;
  }
  // Y labels left of the frame and a little above their value, x labels below the frame.
  EXPECT_NEAR(d.texts[3].x, -1.0 / 15, 1e-15);
  EXPECT_NEAR(d.texts[3].y, 0.3 + 1.0 / 70, 1e-12);
  EXPECT_NEAR(d.texts[11 + 3].x, 0.3 - 1.0 / 70, 1e-12);
  EXPECT_NEAR(d.texts[11 + 3].y, -0.05, 1e-15);
}

TEST(LinLinAxesTest, ScalesSmallCurrentsAndMarksTheirPowerOfTen) {
  const Drawing d = DrawLinLin(0, 1, 0, 0.002);
  const std::vector<std::string> texts = d.Texts();
  ASSERT_EQ(texts.size(), 11u + 11u + 2u);
  EXPECT_EQ(texts[0], " 0");
  EXPECT_EQ(texts[1], " 2 ");
  EXPECT_EQ(texts[5], " 10 ");
  EXPECT_EQ(texts[10], " 20 ");
  EXPECT_EQ(texts[22], " x10");
  EXPECT_EQ(texts[23], " -4");
  // The marker stands above the top left corner, its exponent raised beside it.
  EXPECT_NEAR(d.texts[22].x, -0.07, 1e-15);
  EXPECT_NEAR(d.texts[22].y, 0.002 + 0.06 * 0.002, 1e-15);
  EXPECT_NEAR(d.texts[23].x, -0.04, 1e-15);
  EXPECT_NEAR(d.texts[23].y, 0.002 + 0.08 * 0.002, 1e-15);
}

TEST(LinLinAxesTest, ScalesLargeCurrentsAndMarksTheirPowerOfTen) {
  const std::vector<std::string> texts = DrawLinLin(0, 1, 0, 5e4).Texts();
  ASSERT_EQ(texts.size(), 24u);
  EXPECT_EQ(texts[0], " 0");
  EXPECT_EQ(texts[1], " 5 ");
  EXPECT_EQ(texts[10], " 50 ");
  EXPECT_EQ(texts[22], " x10");
  EXPECT_EQ(texts[23], " +3");
}

TEST(LinLinAxesTest, MarksScaledVoltagesBesideTheLowerRightCorner) {
  const Drawing d = DrawLinLin(0, 0.002, 0, 1);
  const std::vector<std::string> texts = d.Texts();
  ASSERT_EQ(texts.size(), 24u);
  EXPECT_EQ(texts[11], "0");  // the x zero text has no blank
  EXPECT_EQ(texts[12], " 2 ");
  EXPECT_EQ(texts[22], "     x10");
  EXPECT_EQ(texts[23], "-4");
  EXPECT_NEAR(d.texts[22].x, 0.002 * 1.01, 1e-15);
  EXPECT_NEAR(d.texts[22].y, -0.01, 1e-15);
  EXPECT_NEAR(d.texts[23].x, 0.002 * 1.06, 1e-15);
  EXPECT_NEAR(d.texts[23].y, 0, 1e-15);
}

TEST(LinLinAxesTest, KeepsTheMarkerWhenTheLastScaledLabelIsZero) {
  // Currents from -5e4 to 0: the top label is exactly 0, the others are scaled by 10^-3.
  const std::vector<std::string> texts = DrawLinLin(0, 1, -5e4, 0).Texts();
  ASSERT_EQ(texts.size(), 24u);
  EXPECT_EQ(texts[0], "-50 ");
  EXPECT_EQ(texts[10], " 0");
  EXPECT_EQ(texts[22], " x10");
  EXPECT_EQ(texts[23], " +3");
}

// The ticks of the frame: segments leaving a side towards the inside.
struct Ticks {
  std::vector<double> left, right, top, bottom;  // lengths, in drawing order
};

// Ticks are told from the frame's own segments by their length: at most 100 of the 9375 or 5595 units.
Ticks TicksOf(const Drawing& d, double x0, double x1, double y0, double y1) {
  Ticks t;
  const double eps = 1e-12 * (std::abs(x1 - x0) + std::abs(y1 - y0));
  const double longestX = 0.02 * (x1 - x0), longestY = 0.03 * (y1 - y0);
  const auto near = [&](double a, double b) { return std::abs(a - b) <= eps; };
  const auto tickX = [&](double from, double to) {
    return std::abs(to - from) > eps && std::abs(to - from) < longestX;
  };
  const auto tickY = [&](double from, double to) {
    return std::abs(to - from) > eps && std::abs(to - from) < longestY;
  };
  for (const Segment& s : d.InColour(PaletteColour(2))) {
    if (near(s.y1, s.y2) && near(s.x1, x0) && tickX(s.x1, s.x2)) t.left.push_back(s.x2 - s.x1);
    if (near(s.y1, s.y2) && near(s.x1, x1) && tickX(s.x1, s.x2)) t.right.push_back(s.x1 - s.x2);
    if (near(s.x1, s.x2) && near(s.y1, y1) && tickY(s.y1, s.y2)) t.top.push_back(s.y1 - s.y2);
    if (near(s.x1, s.x2) && near(s.y1, y0) && tickY(s.y1, s.y2)) t.bottom.push_back(s.y2 - s.y1);
  }
  return t;
}

void ExpectAlternatingTicks(const std::vector<double>& lengths, int intervals, double unit,
                            const char* side) {
  ASSERT_EQ(lengths.size(), 2u * intervals) << side;
  for (std::size_t i = 0; i < lengths.size(); ++i)
    EXPECT_NEAR(lengths[i], (i % 2 == 0 ? 50 : 100) * unit, 1e-9 * unit) << side << " tick " << i;
}

TEST(LinLinAxesTest, DrawsHalfAndFullTicksIntoTheFrameOnAllSides) {
  // x: -0.6 to 3.0 in 18 intervals, y: -0.4 to 0.7 in 11 intervals.
  const Drawing d = DrawLinLin(-0.5, 2.9, -0.35, 0.65);
  const double tx = 1.05 * 3.6 / 9375, ty = 1.05 * 1.1 / 5595;
  const Ticks t = TicksOf(d, -0.6, 3.0, -0.4, 0.7);
  ExpectAlternatingTicks(t.left, 11, tx, "left");
  ExpectAlternatingTicks(t.right, 11, tx, "right");
  ExpectAlternatingTicks(t.top, 18, ty, "top");
  ExpectAlternatingTicks(t.bottom, 18, ty, "bottom");
}

TEST(LinLinAxesTest, ClosesTheFrameOnAllFourSides) {
  const Drawing d = DrawLinLin(-0.5, 2.9, -0.35, 0.65);
  double left = 0, right = 0, top = 0, bottom = 0;
  const auto near = [](double a, double b) { return std::abs(a - b) < 1e-12; };
  for (const Segment& s : d.InColour(PaletteColour(2))) {
    if (near(s.x1, -0.6) && near(s.x2, -0.6)) left += s.y2 - s.y1;
    if (near(s.x1, 3.0) && near(s.x2, 3.0)) right += s.y2 - s.y1;
    if (near(s.y1, 0.7) && near(s.y2, 0.7)) top += s.x2 - s.x1;
    if (near(s.y1, -0.4) && near(s.y2, -0.4)) bottom += s.x2 - s.x1;
  }
  EXPECT_NEAR(left, 1.1, 1e-12);
  EXPECT_NEAR(right, 1.1, 1e-12);
  EXPECT_NEAR(top, 3.6, 1e-12);
  EXPECT_NEAR(bottom, 3.6, 1e-12);
}

struct ZeroLineCase {
  double xMin, xMax, yMin, yMax;
  bool horizontal, vertical;
};

void PrintTo(const ZeroLineCase& c, std::ostream* os) {
  *os << "x " << c.xMin << ".." << c.xMax << " y " << c.yMin << ".." << c.yMax;
}

class LinLinZeroLines : public ::testing::TestWithParam<ZeroLineCase> {};

TEST_P(LinLinZeroLines, AreGreyOfWidthTwoWhereARangeCrossesZero) {
  const ZeroLineCase& c = GetParam();
  const AxisRounding x = RoundAxis(c.xMin, c.xMax), y = RoundAxis(c.yMin, c.yMax);
  const std::vector<Segment> grey = DrawLinLin(c.xMin, c.xMax, c.yMin, c.yMax).InColour(PaletteColour(8));
  ASSERT_EQ(grey.size(), static_cast<std::size_t>(c.horizontal + c.vertical));
  std::size_t i = 0;
  if (c.horizontal) {
    const Segment& s = grey[i++];
    EXPECT_EQ(s.width, 2);
    EXPECT_EQ(s.y1, 0);
    EXPECT_EQ(s.y2, 0);
    EXPECT_EQ(s.x1, x.start);
    EXPECT_EQ(s.x2, x.end);
  }
  if (c.vertical) {
    const Segment& s = grey[i];
    EXPECT_EQ(s.width, 2);
    EXPECT_EQ(s.x1, 0);
    EXPECT_EQ(s.x2, 0);
    EXPECT_EQ(s.y1, y.start);
    EXPECT_EQ(s.y2, y.end);
  }
}

INSTANTIATE_TEST_SUITE_P(Ranges, LinLinZeroLines,
                         ::testing::Values(ZeroLineCase{-0.5, 2.9, -0.35, 0.65, true, true},
                                           // A range starting at 0 has its zero line on the frame.
                                           ZeroLineCase{0, 1, 0, 1, true, true},
                                           ZeroLineCase{0.2, 1, 0.2, 1, false, false},
                                           ZeroLineCase{0.5, 2.9, -0.35, 0.65, true, false},
                                           ZeroLineCase{-2.9, -0.5, 0.001, 0.01, false, false}));

TEST(LinLinAxesTest, LeavesThePenWidthAtTwoAfterAZeroLineAndTheStyleSolid) {
  RecordingSurface surface;
  PlotState plot;
  DrawLinLinAxes(surface, plot, -0.5, 2.9, 0, 0.01);
  EXPECT_EQ(surface.CurrentDrawWidth(), 2);
  EXPECT_EQ(surface.CurrentDrawStyle(), DrawStyle::Solid);
}

struct DegenerateCase {
  double xMin, xMax, yMin, yMax;
};

void PrintTo(const DegenerateCase& c, std::ostream* os) {
  *os << "x " << c.xMin << ".." << c.xMax << " y " << c.yMin << ".." << c.yMax;
}

class LinLinDegenerateRanges : public ::testing::TestWithParam<DegenerateCase> {};

TEST_P(LinLinDegenerateRanges, AreWidenedSoAFramedPlotIsStillDrawn) {
  const DegenerateCase& c = GetParam();
  PlotState plot;
  const Drawing d = DrawLinLin(c.xMin, c.xMax, c.yMin, c.yMax, &plot);
  ASSERT_TRUE(d.coordinates);
  EXPECT_TRUE(std::isfinite(d.coordinates->left) && std::isfinite(d.coordinates->right));
  EXPECT_LT(d.coordinates->left, d.coordinates->right);
  EXPECT_GT(d.coordinates->top, d.coordinates->bottom);
  EXPECT_GT(plot.markerRadius, 0);
  // The data still lie inside the frame.
  for (double x : {c.xMin, c.xMax}) {
    EXPECT_GT(x, d.coordinates->left);
    EXPECT_LT(x, d.coordinates->right);
  }
  for (double y : {c.yMin, c.yMax}) {
    EXPECT_LT(y, d.coordinates->top);
    EXPECT_GT(y, d.coordinates->bottom);
  }
  EXPECT_GE(d.InColour(PaletteColour(2)).size(), 12u);  // four sides with at least one tick pair each
}

INSTANTIATE_TEST_SUITE_P(Ranges, LinLinDegenerateRanges,
                         ::testing::Values(DegenerateCase{1, 1, 0, 0.01}, DegenerateCase{0, 1, 0, 0},
                                           DegenerateCase{0, 1, 0.005, 0.005}, DegenerateCase{0, 1, -3, -3},
                                           DegenerateCase{2.9, -0.5, 0.01, 0},
                                           DegenerateCase{0, 1, 100, 100 + 1e-9},
                                           DegenerateCase{-1e6, -1e6 + 1e-7, 0, 1},
                                           DegenerateCase{0, 1, 1e-250, 1e-250}));

TEST(LinLinAxesTest, DrawsReversedBoundsAsTheOrderedRange) {
  RecordingSurface reversed, ordered;
  PlotState plot;
  DrawLinLinAxes(reversed, plot, 2.9, -0.5, 0.01, 0);
  DrawLinLinAxes(ordered, plot, -0.5, 2.9, 0, 0.01);
  ASSERT_EQ(reversed.Ops().size(), ordered.Ops().size());
  for (std::size_t i = 0; i < ordered.Ops().size(); ++i) {
    EXPECT_EQ(reversed.Ops()[i].kind, ordered.Ops()[i].kind) << i;
    EXPECT_EQ(reversed.Ops()[i].x2, ordered.Ops()[i].x2) << i;
    EXPECT_EQ(reversed.Ops()[i].y2, ordered.Ops()[i].y2) << i;
  }
}

TEST(LinLinAxesTest, RefusesBoundsThatAreNotNumbers) {
  RecordingSurface surface;
  PlotState plot;
  const double inf = std::numeric_limits<double>::infinity();
  EXPECT_THROW(DrawLinLinAxes(surface, plot, 0, std::nan(""), 0, 1), CalcError);
  EXPECT_THROW(DrawLinLinAxes(surface, plot, 0, 1, -inf, 1), CalcError);
  EXPECT_THROW(DrawLinLinAxes(surface, plot, -1e301, 1e301, 0, 1), CalcError);
}

}  // namespace
}  // namespace pelarin
