// A window's clear keeps its settings: the recording forgets the drawing but not what it was drawn with.
// Curves, titles and labels survive a replay, and a clear forgets them.
#include "plot/recording_surface.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace pelarin {
namespace {

TEST(ClearKeepingSettingsTest, KeepsTheLastSettingsInForceAndForgetsTheDrawing) {
  using K = DrawOp::Kind;
  RecordingSurface s;
  s.SetScaleWidth(100);
  s.SetUserCoordinates(-1, 2, 3, -4);
  s.SetScaleHeight(50);  // after the coordinates: changes their height only
  s.SetForeColour(Rgb(1, 2, 3));
  s.SetForeColour(Rgb(4, 5, 6));
  s.SetFillStyle(FillStyle::Solid);
  s.SetDrawStyle(DrawStyle::Invisible);
  s.LineTo(0.5, 0.25, 0);
  s.Print("x");
  s.Circle(0, 0, 1, 0);
  s.ClearKeepingSettings();

  std::vector<K> kinds;
  for (const DrawOp& op : s.Ops()) kinds.push_back(op.kind);
  EXPECT_EQ(kinds, (std::vector<K>{K::UserCoordinates, K::ScaleHeight, K::ForeColour, K::FillStyle,
                                   K::DrawStyle, K::Pen}));
  RecordingSurface replayed;
  s.Replay(replayed);
  EXPECT_EQ(replayed.ScaleWidth(), 4);
  EXPECT_EQ(replayed.ScaleHeight(), 50);
  EXPECT_EQ(replayed.Ops()[2].colour, Rgb(4, 5, 6));
  EXPECT_EQ(replayed.CurrentDrawStyle(), DrawStyle::Invisible);
  EXPECT_EQ(replayed.PenX(), 0.5);
  EXPECT_EQ(replayed.PenY(), 0.25);
}

TEST(RecordedCurvesTest, GroupTheCirclesAfterEachBeginAndReplayWithTheirTitlesAndLabels) {
  RecordingSurface s;
  s.SetTitles({.title = "Test_All junctions", .xTitle = "V (V)", .yTitle = "J (A/cm2)", .logY = true});
  s.Circle(9, 9, 1, 0);  // before any curve began
  FiguresOfMerit figures;
  figures.Voc = 1.383;
  s.BeginCurve({.name = "stack", .colour = 33023, .hollow = false, .figures = figures});
  s.Circle(1, 2, 1, 33023);
  s.Circle(3, 4, 1, 33023);
  s.SetPen(0.5, 0.25);
  s.Label("10", "-3", LabelPlace::LeftOf);
  s.BeginCurve({.name = "measured", .colour = Rgb(128, 128, 128), .hollow = true, .figures = std::nullopt});
  s.Circle(5, 6, 3, Rgb(128, 128, 128));

  RecordingSurface copy;
  s.Replay(copy);
  for (const RecordingSurface* r : {&s, &copy}) {
    const auto curves = r->Curves();
    ASSERT_EQ(curves.size(), 3u);
    EXPECT_EQ(curves[0].entry.name, "");
    EXPECT_EQ(curves[1].entry.name, "stack");
    EXPECT_EQ(curves[1].entry.figures->Voc, 1.383);
    EXPECT_EQ(curves[1].points, (std::vector<std::pair<double, double>>{{1, 2}, {3, 4}}));
    EXPECT_TRUE(curves[2].entry.hollow);
    EXPECT_EQ(curves[2].points.size(), 1u);
    EXPECT_EQ(r->Titles().yTitle, "J (A/cm2)");
    EXPECT_TRUE(r->Titles().logY);
    ASSERT_EQ(r->Legend().size(), 2u);
  }
  const auto found = std::find_if(copy.Ops().begin(), copy.Ops().end(),
                                  [](const DrawOp& op) { return op.kind == DrawOp::Kind::Label; });
  ASSERT_NE(found, copy.Ops().end());
  const DrawOp& label = *found;
  EXPECT_EQ(label.text, "10");
  EXPECT_EQ(label.exponent, "-3");
  EXPECT_EQ(label.x, 0.5);

  s.ClearKeepingSettings();
  EXPECT_TRUE(s.Legend().empty());
  EXPECT_TRUE(s.Curves().empty());
  EXPECT_EQ(s.Titles().title, "");
  copy.Clear();
  EXPECT_TRUE(copy.Legend().empty() && copy.Ops().empty());
}

}  // namespace
}  // namespace pelarin
