// Reads a recorded drawing back as what it shows: visible line segments with their colour and pen width,
// texts at their pen positions, and the last user coordinates.
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
};

struct UserCoordinates {
  double left, top, right, bottom;
};

struct Drawing {
  std::vector<Segment> segments;  // lines drawn with the solid style
  std::vector<PlacedText> texts;
  std::optional<UserCoordinates> coordinates;

  [[nodiscard]] std::vector<Segment> InColour(Colour colour) const {
    std::vector<Segment> found;
    for (const Segment& s : segments)
      if (s.colour == colour) found.push_back(s);
    return found;
  }
  [[nodiscard]] std::vector<std::string> Texts() const {
    std::vector<std::string> found;
    for (const PlacedText& t : texts) found.push_back(t.text);
    return found;
  }
};

inline Drawing ReadDrawing(const RecordingSurface& surface) {
  Drawing drawing;
  bool invisible = false;
  int width = 1;
  for (const DrawOp& op : surface.Ops()) {
    switch (op.kind) {
      case DrawOp::Kind::DrawStyle:
        invisible = op.value != 0;
        break;
      case DrawOp::Kind::DrawWidth:
        width = op.value;
        break;
      case DrawOp::Kind::LineTo:
        if (!invisible) drawing.segments.push_back({op.x, op.y, op.x2, op.y2, op.colour, width});
        break;
      case DrawOp::Kind::Print:
        drawing.texts.push_back({op.x, op.y, op.text});
        break;
      case DrawOp::Kind::UserCoordinates:
        drawing.coordinates = UserCoordinates{op.x, op.y, op.x2, op.y2};
        break;
      default:
        break;
    }
  }
  return drawing;
}

}  // namespace pelarin::testing
