// A plot window without a screen: it keeps the drawing as recorded calls, with its caption, visibility
// and read-out background. The batch tool renders it to images; the tests read it.
#pragma once

#include <string>
#include <vector>

#include "plot/recording_surface.h"
#include "studies/ui.h"

namespace pelarin {

class RecordedPlotWindow : public PlotWindow {
 public:
  void SetWindowStateNormal() override { surface.SetWindowStateNormal(); }
  void SetScaleWidth(double w) override { surface.SetScaleWidth(w); }
  void SetScaleHeight(double h) override { surface.SetScaleHeight(h); }
  [[nodiscard]] double ScaleWidth() const override { return surface.ScaleWidth(); }
  [[nodiscard]] double ScaleHeight() const override { return surface.ScaleHeight(); }
  void SetUserCoordinates(double l, double t, double r, double b) override {
    surface.SetUserCoordinates(l, t, r, b);
  }
  void SetBackColour(Colour c) override { surface.SetBackColour(c); }
  void SetForeColour(Colour c) override { surface.SetForeColour(c); }
  void SetFillColour(Colour c) override { surface.SetFillColour(c); }
  void SetFillStyle(FillStyle s) override { surface.SetFillStyle(s); }
  void SetDrawMode(int m) override { surface.SetDrawMode(m); }
  void SetDrawStyle(DrawStyle s) override { surface.SetDrawStyle(s); }
  void SetDrawWidth(int w) override { surface.SetDrawWidth(w); }
  void SetPen(double x, double y) override { surface.SetPen(x, y); }
  void LineTo(double x, double y, Colour c) override { surface.LineTo(x, y, c); }
  void Circle(double x, double y, double r, Colour c) override { surface.Circle(x, y, r, c); }
  void Print(const std::string& text) override { surface.Print(text); }
  void Clear() override {
    surface.Clear();
    ++clearCount;
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
};

}  // namespace pelarin
