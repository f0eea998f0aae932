// Reads a recorded drawing back as what it shows: visible segments (colour, pen width), texts and labels at
// their pen positions, and the last user coordinates.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "plot/recording_surface.h"

namespace pelarin::testing {

struct Segment {
  double x1, y1, x2, y2;
  Colour colour;
  int width;
};
struct PlacedText {
  double x, y;
  std::string text;
  std::string exponent{};
  LabelPlace place = LabelPlace::LeftOf;
};

struct Drawing {
  std::vector<Segment> segments;
  std::vector<PlacedText> texts;
  std::optional<DrawOp> coordinates;  // x, y: top-left corner; x2, y2: bottom-right

  [[nodiscard]] std::vector<Segment> InColour(Colour colour) const {
    std::vector<Segment> found;
    for (const Segment& s : segments)
      if (s.colour == colour) found.push_back(s);
    return found;
  }
};

inline Drawing ReadDrawing(const RecordingSurface& surface) {
  Drawing d;
  bool invisible = false;
  int width = 1;
  for (const DrawOp& op : surface.Ops()) {
    if (op.kind == DrawOp::Kind::DrawStyle) invisible = op.value != 0;
    if (op.kind == DrawOp::Kind::DrawWidth) width = op.value;
    if (op.kind == DrawOp::Kind::LineTo && !invisible)
      d.segments.push_back({op.x, op.y, op.x2, op.y2, op.colour, width});
    if (op.kind == DrawOp::Kind::Print) d.texts.push_back({op.x, op.y, op.text});
    if (op.kind == DrawOp::Kind::Label)
      d.texts.push_back({op.x, op.y, op.text, op.exponent, static_cast<LabelPlace>(op.value)});
    if (op.kind == DrawOp::Kind::UserCoordinates) d.coordinates = op;
  }
  return d;
}

}  // namespace pelarin::testing
