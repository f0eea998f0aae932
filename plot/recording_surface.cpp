#include "plot/recording_surface.h"

#include <optional>

namespace pelarin {

using K = DrawOp::Kind;

void RecordingSurface::SetWindowStateNormal() { Add({.kind = K::WindowStateNormal}); }
void RecordingSurface::SetScaleWidth(double width) {
  scaleWidth_ = width;
  Add({.kind = K::ScaleWidth, .x = width});
}
void RecordingSurface::SetScaleHeight(double height) {
  scaleHeight_ = height;
  Add({.kind = K::ScaleHeight, .x = height});
}
void RecordingSurface::SetUserCoordinates(double left, double top, double right, double bottom) {
  scaleWidth_ = right - left;
  scaleHeight_ = bottom - top;
  Add({.kind = K::UserCoordinates, .x = left, .y = top, .x2 = right, .y2 = bottom});
}
void RecordingSurface::SetBackColour(Colour colour) { Add({.kind = K::BackColour, .colour = colour}); }
void RecordingSurface::SetForeColour(Colour colour) { Add({.kind = K::ForeColour, .colour = colour}); }
void RecordingSurface::SetFillColour(Colour colour) { Add({.kind = K::FillColour, .colour = colour}); }
void RecordingSurface::SetFillStyle(FillStyle style) {
  Add({.kind = K::FillStyle, .value = static_cast<int>(style)});
}
void RecordingSurface::SetDrawMode(int mode) { Add({.kind = K::DrawMode, .value = mode}); }
void RecordingSurface::SetDrawStyle(DrawStyle style) {
  drawStyle_ = style;
  Add({.kind = K::DrawStyle, .value = style == DrawStyle::Invisible ? 1 : 0});
}
void RecordingSurface::SetDrawWidth(int width) {
  drawWidth_ = width;
  Add({.kind = K::DrawWidth, .value = width});
}
void RecordingSurface::SetPen(double x, double y) {
  penX_ = x;
  penY_ = y;
  Add({.kind = K::Pen, .x = x, .y = y});
}
void RecordingSurface::LineTo(double x, double y, Colour colour) {
  Add({.kind = K::LineTo, .x = penX_, .y = penY_, .x2 = x, .y2 = y, .colour = colour});
  penX_ = x;
  penY_ = y;
}
void RecordingSurface::FillRect(double x1, double y1, double x2, double y2, Colour colour) {
  Add({.kind = K::FillRect, .x = x1, .y = y1, .x2 = x2, .y2 = y2, .colour = colour});
}

void RecordingSurface::Circle(double x, double y, double radius, Colour colour) {
  Add({.kind = K::Circle, .x = x, .y = y, .x2 = radius, .colour = colour});
}
void RecordingSurface::Print(const std::string& text) {
  Add({.kind = K::Print, .x = penX_, .y = penY_, .text = text});
}
void RecordingSurface::Label(const std::string& text, const std::string& exponent, LabelPlace place) {
  Add({.kind = K::Label,
       .x = penX_,
       .y = penY_,
       .value = static_cast<int>(place),
       .text = text,
       .exponent = exponent});
}
void RecordingSurface::SetTitles(const PlotTitles& titles) {
  titles_ = titles;
  Add({.kind = K::Titles});
}
void RecordingSurface::BeginCurve(const LegendEntry& entry) {
  legend_.push_back(entry);
  Add({.kind = K::Curve, .value = static_cast<int>(legend_.size()) - 1});
}

void RecordingSurface::Clear() {
  ops_.clear();
  legend_.clear();
  titles_ = {};
}

std::vector<DrawnCurve> RecordingSurface::Curves() const {
  std::vector<DrawnCurve> curves;
  for (const DrawOp& op : ops_) {
    if (op.kind == K::Curve) curves.push_back({legend_[static_cast<std::size_t>(op.value)], {}});
    if (op.kind != K::Circle) continue;
    if (curves.empty()) curves.emplace_back();
    curves.back().points.emplace_back(op.x, op.y);
  }
  return curves;
}

void RecordingSurface::ClearKeepingSettings() {
  // User coordinates set the whole scale; extents set after them change only their own side.
  std::optional<DrawOp> coordinates, width, height;
  std::optional<DrawOp> last[static_cast<int>(K::Curve) + 1];
  for (const DrawOp& op : ops_) {
    switch (op.kind) {
      case K::UserCoordinates:
        coordinates = op;
        width.reset();
        height.reset();
        break;
      case K::ScaleWidth:
        width = op;
        break;
      case K::ScaleHeight:
        height = op;
        break;
      case K::BackColour:
      case K::ForeColour:
      case K::FillColour:
      case K::FillStyle:
      case K::DrawMode:
      case K::DrawStyle:
      case K::DrawWidth:
        last[static_cast<int>(op.kind)] = op;
        break;
      default:
        break;
    }
  }
  std::vector<DrawOp> settings;
  for (const auto& op : {coordinates, width, height})
    if (op) settings.push_back(*op);
  for (const auto& op : last)
    if (op) settings.push_back(*op);
  DrawOp pen;
  pen.kind = K::Pen;
  pen.x = penX_;
  pen.y = penY_;
  settings.push_back(pen);
  ops_ = std::move(settings);
  legend_.clear();
  titles_ = {};
}

void RecordingSurface::Replay(DrawSurface& target) const {
  for (const DrawOp& op : ops_) {
    switch (op.kind) {
      case K::WindowStateNormal:
        target.SetWindowStateNormal();
        break;
      case K::ScaleWidth:
        target.SetScaleWidth(op.x);
        break;
      case K::ScaleHeight:
        target.SetScaleHeight(op.x);
        break;
      case K::UserCoordinates:
        target.SetUserCoordinates(op.x, op.y, op.x2, op.y2);
        break;
      case K::BackColour:
        target.SetBackColour(op.colour);
        break;
      case K::ForeColour:
        target.SetForeColour(op.colour);
        break;
      case K::FillColour:
        target.SetFillColour(op.colour);
        break;
      case K::FillStyle:
        target.SetFillStyle(static_cast<FillStyle>(op.value));
        break;
      case K::DrawMode:
        target.SetDrawMode(op.value);
        break;
      case K::DrawStyle:
        target.SetDrawStyle(op.value ? DrawStyle::Invisible : DrawStyle::Solid);
        break;
      case K::DrawWidth:
        target.SetDrawWidth(op.value);
        break;
      case K::Pen:
        target.SetPen(op.x, op.y);
        break;
      case K::LineTo:
        target.SetPen(op.x, op.y);
        target.LineTo(op.x2, op.y2, op.colour);
        break;
      case K::Circle:
        target.Circle(op.x, op.y, op.x2, op.colour);
        break;
      case K::FillRect:
        target.FillRect(op.x, op.y, op.x2, op.y2, op.colour);
        break;
      case K::Print:
        target.SetPen(op.x, op.y);
        target.Print(op.text);
        break;
      case K::Clear:
        target.Clear();
        break;
      case K::Label:
        target.SetPen(op.x, op.y);
        target.Label(op.text, op.exponent, static_cast<LabelPlace>(op.value));
        break;
      case K::Titles:
        target.SetTitles(titles_);
        break;
      case K::Curve:
        target.BeginCurve(legend_[static_cast<std::size_t>(op.value)]);
        break;
    }
  }
}

}  // namespace pelarin
