// A plot window as the studies see it: it keeps the drawing as recorded calls, with its caption,
// visibility and read-out background. The Qt plot windows derive from it and replay the record on screen;
// the batch tool renders the same record to images; the tests read it. Every renderer sees one record.
#pragma once

#include <string>
#include <vector>

#include "plot/recording_surface.h"
#include "ui/ui.h"

namespace pelarin {

class RecordedPlotWindow : public PlotWindow {
 public:
  void SetWindowStateNormal() override {
    Record([&] { surface.SetWindowStateNormal(); });
  }
  void SetScaleWidth(double w) final {
    Record([&] { surface.SetScaleWidth(w); });
  }
  void SetScaleHeight(double h) final {
    Record([&] { surface.SetScaleHeight(h); });
  }
  [[nodiscard]] double ScaleWidth() const final { return surface.ScaleWidth(); }
  [[nodiscard]] double ScaleHeight() const final { return surface.ScaleHeight(); }
  void SetUserCoordinates(double l, double t, double r, double b) final {
    Record([&] { surface.SetUserCoordinates(l, t, r, b); });
  }
  void SetBackColour(Colour c) final {
    Record([&] { surface.SetBackColour(c); });
  }
  void SetForeColour(Colour c) final {
    Record([&] { surface.SetForeColour(c); });
  }
  void SetFillColour(Colour c) final {
    Record([&] { surface.SetFillColour(c); });
  }
  void SetFillStyle(FillStyle s) final {
    Record([&] { surface.SetFillStyle(s); });
  }
  void SetDrawMode(int m) final {
    Record([&] { surface.SetDrawMode(m); });
  }
  void SetDrawStyle(DrawStyle s) final {
    Record([&] { surface.SetDrawStyle(s); });
  }
  void SetDrawWidth(int w) final {
    Record([&] { surface.SetDrawWidth(w); });
  }
  void SetPen(double x, double y) final {
    Record([&] { surface.SetPen(x, y); });
  }
  void LineTo(double x, double y, Colour c) final {
    Record([&] { surface.LineTo(x, y, c); });
  }
  void Circle(double x, double y, double r, Colour c) final {
    Record([&] { surface.Circle(x, y, r, c); });
  }
  void FillRect(double x1, double y1, double x2, double y2, Colour c) final {
    Record([&] { surface.FillRect(x1, y1, x2, y2, c); });
  }
  void Print(const std::string& text) final {
    Record([&] { surface.Print(text); });
  }
  void Label(const std::string& text, const std::string& exponent, LabelPlace place) final {
    Record([&] { surface.Label(text, exponent, place); });
  }
  void SetTitles(const PlotTitles& titles) final {
    Record([&] { surface.SetTitles(titles); });
  }
  void BeginCurve(const LegendEntry& entry) final {
    Record([&] { surface.BeginCurve(entry); });
  }
  // Erases the drawing as a window's own clear does: coordinates, colours, styles and pen stay in force.
  void Clear() final {
    Record([&] { surface.ClearKeepingSettings(); });
    ++clearCount;
    DrawingCleared();
  }
  void Show() override { visible = true; }
  void Hide() override { visible = false; }
  void SetCaption(const std::string& text) override { caption = text; }
  void SetReadoutBackground(Colour c) override { readoutBackground = c; }

  // The filled circles drawn since the last clear: the plotted points.
  [[nodiscard]] std::vector<DrawOp> CirclesDrawn() const {
    std::vector<DrawOp> circles;
    for (const DrawOp& op : surface.Ops())
      if (op.kind == DrawOp::Kind::Circle) circles.push_back(op);
    return circles;
  }

  RecordingSurface surface;
  bool visible = false;
  std::string caption;
  Colour readoutBackground = 0;
  int clearCount = 0;

 protected:
  // Called after every recorded call; a window on screen repaints.
  virtual void DrawingChanged() {}
  // Called when a new plot clears the drawing; a window on screen forgets its measurement.
  virtual void DrawingCleared() {}

 private:
  template <typename Call>
  void Record(const Call& call) {
    call();
    DrawingChanged();
  }
};

}  // namespace pelarin
