// Interim plot window until the real plot windows land: records the drawing and paints nothing.
#pragma once

#include <QMdiSubWindow>
#include <QWidget>

#include "model/state.h"
#include "plot/recording_surface.h"
#include "studies/ui.h"

namespace pelarin {

class PlotWindowWidget : public QWidget, public PlotWindow {
 public:
  PlotWindowWidget(PlotId id, State&, QWidget* parent = nullptr) : QWidget(parent) {
    setWindowTitle(id == PlotId::linlin ? "I(V)" : "linlogplot");
  }
  void SetWindowStateNormal() override {}
  void SetScaleWidth(double w) override { s_.SetScaleWidth(w); }
  void SetScaleHeight(double h) override { s_.SetScaleHeight(h); }
  double ScaleWidth() const override { return s_.ScaleWidth(); }
  double ScaleHeight() const override { return s_.ScaleHeight(); }
  void SetUserCoordinates(double l, double t, double r, double b) override { s_.SetUserCoordinates(l, t, r, b); }
  void SetBackColour(Colour c) override { s_.SetBackColour(c); }
  void SetForeColour(Colour c) override { s_.SetForeColour(c); }
  void SetFillColour(Colour c) override { s_.SetFillColour(c); }
  void SetFillStyle(FillStyle f) override { s_.SetFillStyle(f); }
  void SetDrawMode(int m) override { s_.SetDrawMode(m); }
  void SetDrawStyle(DrawStyle d) override { s_.SetDrawStyle(d); }
  void SetDrawWidth(int w) override { s_.SetDrawWidth(w); }
  void SetPen(double x, double y) override { s_.SetPen(x, y); }
  void LineTo(double x, double y, Colour c) override { s_.LineTo(x, y, c); }
  void Circle(double x, double y, double r, Colour c) override { s_.Circle(x, y, r, c); }
  void Print(const std::string& t) override { s_.Print(t); }
  void Clear() override { s_.Clear(); }
  void Show() override {
    if (parentWidget()) parentWidget()->show();
    show();
  }
  void Hide() override {
    if (parentWidget()) parentWidget()->hide();
  }
  void SetCaption(const std::string& c) override { setWindowTitle(QString::fromStdString(c)); }
  void SetReadoutBackground(Colour) override {}

 private:
  RecordingSurface s_;
};

}  // namespace pelarin
