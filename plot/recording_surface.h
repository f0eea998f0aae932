// A drawing surface that keeps every call as a list: tests read the list, and the plot windows replay it
// onto an image of whatever size the window has.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "plot/surface.h"

namespace pelarin {

struct DrawOp {
  enum class Kind {
    WindowStateNormal,
    ScaleWidth,
    ScaleHeight,
    UserCoordinates,
    BackColour,
    ForeColour,
    FillColour,
    FillStyle,
    DrawMode,
    DrawStyle,
    DrawWidth,
    Pen,
    LineTo,
    Circle,
    FillRect,
    Print,
    Clear,
    Label,
    Titles,
    Curve
  };
  Kind kind{};
  double x = 0, y = 0, x2 = 0, y2 = 0;  // coordinates, or the one value in x
  Colour colour = 0;
  int value = 0;  // fill style, draw mode, draw style (0 solid, 1 invisible), width, label place, curve index
  std::string text{};
  std::string exponent{};  // of a label
};

// The points of one curve as drawn (user coordinates), with its legend entry.
struct DrawnCurve {
  LegendEntry entry;
  std::vector<std::pair<double, double>> points;
};

class RecordingSurface : public DrawSurface {
 public:
  void SetWindowStateNormal() override;
  void SetScaleWidth(double width) override;
  void SetScaleHeight(double height) override;
  [[nodiscard]] double ScaleWidth() const override { return scaleWidth_; }
  [[nodiscard]] double ScaleHeight() const override { return scaleHeight_; }
  void SetUserCoordinates(double left, double top, double right, double bottom) override;
  void SetBackColour(Colour colour) override;
  void SetForeColour(Colour colour) override;
  void SetFillColour(Colour colour) override;
  void SetFillStyle(FillStyle style) override;
  void SetDrawMode(int mode) override;
  void SetDrawStyle(DrawStyle style) override;
  void SetDrawWidth(int width) override;
  void SetPen(double x, double y) override;
  void LineTo(double x, double y, Colour colour) override;
  void Circle(double x, double y, double radius, Colour colour) override;
  void FillRect(double x1, double y1, double x2, double y2, Colour colour) override;
  void Print(const std::string& text) override;
  void Label(const std::string& text, const std::string& exponent, LabelPlace place) override;
  void SetTitles(const PlotTitles& titles) override;
  void BeginCurve(const LegendEntry& entry) override;
  // Clear forgets everything drawn before (the state set before it, such as user coordinates, is kept).
  void Clear() override;
  // Forgets what was drawn, the titles and the legend, but keeps the settings in force (scale and user
  // coordinates, colours, fill style, draw mode and style, pen width, pen position), as a window's own
  // clear does.
  void ClearKeepingSettings();

  [[nodiscard]] const std::vector<DrawOp>& Ops() const { return ops_; }
  // Plays the recorded calls, in order, on another surface.
  void Replay(DrawSurface& target) const;
  [[nodiscard]] double PenX() const { return penX_; }
  [[nodiscard]] double PenY() const { return penY_; }
  [[nodiscard]] DrawStyle CurrentDrawStyle() const { return drawStyle_; }
  [[nodiscard]] int CurrentDrawWidth() const { return drawWidth_; }
  [[nodiscard]] const PlotTitles& Titles() const { return titles_; }
  // The curves begun, in order.
  [[nodiscard]] const std::vector<LegendEntry>& Legend() const { return legend_; }
  // Every curve with the circles drawn after it began; circles drawn before any curve began form a first
  // curve without a name.
  [[nodiscard]] std::vector<DrawnCurve> Curves() const;

 private:
  void Add(DrawOp op) { ops_.push_back(std::move(op)); }
  std::vector<DrawOp> ops_;
  std::vector<LegendEntry> legend_;
  PlotTitles titles_;
  double scaleWidth_ = 0, scaleHeight_ = 0;
  double penX_ = 0, penY_ = 0;
  DrawStyle drawStyle_ = DrawStyle::Solid;
  int drawWidth_ = 1;
};

}  // namespace pelarin
