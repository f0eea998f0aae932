// Renders a recorded drawing as a figure: the drawing with its tick labels laid out from the font's metrics,
// the title above it, the axis titles beside it and the legend panel at its right. The plot windows show it,
// and a double click, "Save image as..." and the batch tool save it as BMP, PNG or SVG. Needs Qt Gui and
// Svg only (and a QGuiApplication for the text).
#pragma once

#include <QFont>
#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <QPointF>
#include <QRectF>
#include <QSize>
#include <QString>
#include <functional>
#include <optional>
#include <vector>

#include "plot/recording_surface.h"
#include "plot/surface.h"

namespace pelarin {

// How user coordinates map onto pixels: the scale's top-left corner and its signed extents (height
// negative when y grows upwards) span the viewport, a rectangle of the image.
struct UserMapping {
  double left = 0, top = 0, width = 1, height = 1;
  QPointF origin{0, 0};  // the viewport's top-left pixel
  QSize size{1, 1};      // the viewport's size
  [[nodiscard]] QPointF ToPixel(double x, double y) const;
  [[nodiscard]] QPointF ToUser(QPointF pixel) const;
};

// The plot windows' font: a bold sans-serif of about 8 pt (11 pixels).
[[nodiscard]] QFont PlotFont();

// A text as a render placed it.
struct PlacedText {
  enum class Kind { TickLabel, Marker, Title, AxisTitle, Legend };
  Kind kind = Kind::TickLabel;
  QString text;     // with its exponent after a '^' for a label that has one
  QRectF box;       // pixels, the exponent included
  QRectF base;      // pixels, the text without its exponent
  QRectF exponent;  // pixels, empty without one
  LabelPlace place = LabelPlace::LeftOf;
};

// Where a render put everything.
struct PlotLayout {
  UserMapping mapping;    // the drawing's user coordinates in pixels
  QRectF plotArea;        // the drawing and its labels stay inside it
  QRectF legend;          // the legend panel; empty without curves
  int labelsLeftOut = 0;  // tick labels left out so that the others do not overlap
  std::vector<PlacedText> texts;
};

// The room a plot window's read-out box takes at the top right corner, its margin included: two numbers at
// least, more for a longer read-out. Every render keeps the title clear of the box for two numbers, so that
// a window shows the picture it saves.
[[nodiscard]] double ReadoutBoxWidth(const QFontMetricsF& metrics, const QString& readout = {});

// Paints the drawing, its titles and legend onto painter, whose device is size pixels; layout, if given,
// receives where everything went.
void PaintPlot(QPainter& painter, const RecordingSurface& drawing, QSize size, PlotLayout* layout = nullptr);

// The figure on a white image of this size.
[[nodiscard]] QImage RenderPlot(const RecordingSurface& drawing, QSize size, PlotLayout* layout = nullptr);

enum class ImageFormat { Bmp, Png, Svg };

// The format a file name asks for by its suffix (.bmp, .png, .svg, any case); nothing for another suffix.
[[nodiscard]] std::optional<ImageFormat> ImageFormatOf(const QString& path);

// The usual suffix of a format, with its point: ".bmp", ".png", ".svg".
[[nodiscard]] QString SuffixOf(ImageFormat format);

// Saves the figure at this size in the format (SVG through Qt's SVG generator, from the same drawing),
// written whole under a temporary name and then put in place of any file at path. False when it could not
// be written.
[[nodiscard]] bool SavePlot(const RecordingSurface& drawing, QSize size, const QString& path,
                            ImageFormat format);

// Saves an image as a BMP file the same way.
[[nodiscard]] bool SaveBitmap(const QImage& image, const QString& path);

// The drawing surface that paints calls onto a painter through a mapping; its labels are placed by
// placeLabel, which draws them and gives back whether they were drawn. The renderer replays a recording
// onto it.
class ImageSurface : public DrawSurface {
 public:
  using LabelPainter = std::function<void(QPainter& painter, QPointF anchor, const std::string& text,
                                          const std::string& exponent, LabelPlace place)>;
  // Paints with painter on a device of deviceSize pixels; user coordinates map onto the viewport. The
  // scale starts as the viewport's pixels, the background white, the fore and fill colours black, the fill
  // transparent.
  ImageSurface(QPainter& painter, QSize deviceSize, QRectF viewport, LabelPainter labelPainter);

  void SetWindowStateNormal() override {}
  void SetScaleWidth(double width) override { mapping_.width = width; }
  void SetScaleHeight(double height) override { mapping_.height = height; }
  [[nodiscard]] double ScaleWidth() const override { return mapping_.width; }
  [[nodiscard]] double ScaleHeight() const override { return mapping_.height; }
  void SetUserCoordinates(double left, double top, double right, double bottom) override;
  // Setting the background colour erases the device to it, as on the original windows.
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
  void FillRect(double x1, double y1, double x2, double y2, Colour colour) override;
  void Print(const std::string& text) override;
  void Label(const std::string& text, const std::string& exponent, LabelPlace place) override;
  // Titles and the legend are painted around the drawing by the renderer, not here.
  void SetTitles(const PlotTitles&) override {}
  void BeginCurve(const LegendEntry&) override {}
  void Clear() override;

  [[nodiscard]] const UserMapping& Mapping() const { return mapping_; }

 private:
  QPainter& painter_;
  QSize deviceSize_;
  UserMapping mapping_;
  LabelPainter labelPainter_;
  Colour back_ = Rgb(255, 255, 255);
  Colour fore_ = 0;
  Colour fill_ = 0;
  FillStyle fillStyle_ = FillStyle::Transparent;
  int drawMode_ = kCopyPen;
  DrawStyle drawStyle_ = DrawStyle::Solid;
  int drawWidth_ = 1;
  double penX_ = 0, penY_ = 0;
};

}  // namespace pelarin
