// A window's clear keeps its settings: the recording forgets the drawing but not what it was drawn with.
#include "plot/recording_surface.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace pelarin
