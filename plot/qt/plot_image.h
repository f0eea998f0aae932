// Paints drawing-surface calls onto a QImage, and renders a recorded drawing at any size: the plot windows
// show it, and a double click or the batch tool saves it as a bitmap. Needs Qt Gui only (and a
// QGuiApplication for the text).
#pragma once

#include <QFont>
#include <QImage>
#include <QPainter>
#include <QPointF>
#include <QSize>
#include <QString>

#include "plot/recording_surface.h"
#include "plot/surface.h"

namespace pelarin {

// How user coordinates map onto an image's pixels: the scale's top-left corner and its signed extents
// (height negative when y grows upwards) span the whole image.
struct UserMapping {
  double left = 0, top = 0, width = 1, height = 1;
  QSize size{1, 1};
  [[nodiscard]] QPointF ToPixel(double x, double y) const;
  [[nodiscard]] QPointF ToUser(QPointF pixel) const;
};

// The plot windows' font: a bold sans-serif of about 8 pt (11 pixels).
[[nodiscard]] QFont PlotFont();

class ImageSurface : public DrawSurface {
 public:
  // Paints into image, which must outlive the surface. The scale starts as the image's pixels, the
  // background white, the fore and fill colours black, the fill transparent.
  explicit ImageSurface(QImage& image);

  void SetWindowStateNormal() override {}
  void SetScaleWidth(double width) override { mapping_.width = width; }
  void SetScaleHeight(double height) override { mapping_.height = height; }
  [[nodiscard]] double ScaleWidth() const override { return mapping_.width; }
  [[nodiscard]] double ScaleHeight() const override { return mapping_.height; }
  void SetUserCoordinates(double left, double top, double right, double bottom) override;
  // Setting the background colour erases the image to it, as on the original windows.
  void SetBackColour(Colour colour) override;
  void SetForeColour(Colour colour) override { fore_ = colour; }
  void SetFillColour(Colour colour) override { fill_ = colour; }
  void SetFillStyle(FillStyle style) override { fillStyle_ = style; }
  // Only copy-pen is drawn; the mode is kept but every mode paints as copy-pen.
  void SetDrawMode(int mode) override { drawMode_ = mode; }
  void SetDrawStyle(DrawStyle style) override { drawStyle_ = style; }
  void SetDrawWidth(int width) override { drawWidth_ = width; }
  void SetPen(double x, double y) override;
  void LineTo(double x, double y, Colour colour) override;
  void Circle(double x, double y, double radius, Colour colour) override;
  void Print(const std::string& text) override;
  void Clear() override;

  [[nodiscard]] const UserMapping& Mapping() const { return mapping_; }

 private:
  QImage& image_;
  QPainter painter_;
  UserMapping mapping_;
  Colour back_ = Rgb(255, 255, 255);
  Colour fore_ = 0;
  Colour fill_ = 0;
  FillStyle fillStyle_ = FillStyle::Transparent;
  int drawMode_ = kCopyPen;
  DrawStyle drawStyle_ = DrawStyle::Solid;
  int drawWidth_ = 1;
  double penX_ = 0, penY_ = 0;
};

// The recorded drawing replayed onto a white image of this size; mapping, if given, receives the user
// coordinates in force at the end.
[[nodiscard]] QImage RenderPlot(const RecordingSurface& drawing, QSize size, UserMapping* mapping = nullptr);

// Saves an image as a BMP file, written whole under a temporary name and then put in place of any file
// at path. False when it could not be written.
[[nodiscard]] bool SaveBitmap(const QImage& image, const QString& path);
[[nodiscard]] bool SaveBitmap(const RecordingSurface& drawing, QSize size, const QString& path);

}  // namespace pelarin
