// A window's clear keeps its settings: the recording forgets the drawing but not what it was drawn with.
#include "plot/recording_surface.h"

#include <gtest/gtest.h>

namespace pelarin {
namespace {

using K = DrawOp::Kind;

TEST(ClearKeepingSettingsTest, KeepsTheSettingsInForceAndForgetsTheDrawing) {
  RecordingSurface s;
  s.SetScaleWidth(100);
  s.SetUserCoordinates(-1, 2, 3, -4);
  s.SetScaleHeight(50);  // after the coordinates: changes their height only
  s.SetForeColour(Rgb(1, 2, 3));
  s.SetForeColour(Rgb(4, 5, 6));
  s.SetFillStyle(FillStyle::Solid);
  s.SetFillColour(Rgb(7, 8, 9));
  s.SetDrawStyle(DrawStyle::Invisible);
  s.SetDrawWidth(2);
  s.LineTo(0.5, 0.25, 0);
  s.Print("x");
  s.Circle(0, 0, 1, 0);
  s.ClearKeepingSettings();

  RecordingSurface replayed;
  s.Replay(replayed);
  std::vector<K> kinds;
  for (const DrawOp& op : replayed.Ops()) kinds.push_back(op.kind);
  const std::vector<K> expected = {K::UserCoordinates, K::ScaleHeight, K::ForeColour, K::FillColour,
                                   K::FillStyle,       K::DrawStyle,   K::DrawWidth,  K::Pen};
  EXPECT_EQ(kinds, expected);
  const auto& ops = replayed.Ops();
  EXPECT_EQ(ops[0].x, -1);
  EXPECT_EQ(ops[0].y2, -4);
  EXPECT_EQ(ops[1].x, 50);
  EXPECT_EQ(ops[2].colour, Rgb(4, 5, 6));
  EXPECT_EQ(ops[5].value, 1);
  EXPECT_EQ(replayed.PenX(), 0.5);
  EXPECT_EQ(replayed.PenY(), 0.25);
  EXPECT_EQ(replayed.ScaleHeight(), 50);
}

TEST(ClearKeepingSettingsTest, KeepsBothExtentsWithoutUserCoordinates) {
  RecordingSurface s;
  s.SetScaleHeight(5595);
  s.SetScaleWidth(9375);
  s.SetScaleWidth(10);
  s.ClearKeepingSettings();
  ASSERT_EQ(s.Ops().size(), 3u);
  EXPECT_EQ(s.Ops()[0].kind, K::ScaleWidth);
  EXPECT_EQ(s.Ops()[0].x, 10);
  EXPECT_EQ(s.Ops()[1].kind, K::ScaleHeight);
  EXPECT_EQ(s.Ops()[2].kind, K::Pen);
}

}  // namespace
}  // namespace pelarin
