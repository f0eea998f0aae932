#include "plot/qt/plot_image.h"

#include <QFontMetricsF>
#include <QPen>
#include <QSaveFile>
#include <cmath>

namespace pelarin {
namespace {

QColor ToQColor(Colour c) { return QColor(RedOf(c), GreenOf(c), BlueOf(c)); }

bool Finite(QPointF p) { return std::isfinite(p.x()) && std::isfinite(p.y()); }

}  // namespace

QPointF UserMapping::ToPixel(double x, double y) const {
  return {(x - left) / width * size.width(), (y - top) / height * size.height()};
}

QPointF UserMapping::ToUser(QPointF pixel) const {
  return {left + pixel.x() / size.width() * width, top + pixel.y() / size.height() * height};
}

QFont PlotFont() {
  QFont font(QStringLiteral("Sans Serif"));
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(11);
  font.setBold(true);
  return font;
}

ImageSurface::ImageSurface(QImage& image) : image_(image), painter_(&image) {
  mapping_.size = image.size();
  mapping_.width = image.width();
  mapping_.height = image.height();
  painter_.setFont(PlotFont());
}

void ImageSurface::SetUserCoordinates(double left, double top, double right, double bottom) {
  mapping_.left = left;
  mapping_.top = top;
  mapping_.width = right - left;
  mapping_.height = bottom - top;
}

void ImageSurface::SetBackColour(Colour colour) {
  back_ = colour;
  Clear();
}

void ImageSurface::Clear() { painter_.fillRect(image_.rect(), ToQColor(back_)); }

void ImageSurface::SetPen(double x, double y) {
  penX_ = x;
  penY_ = y;
}

void ImageSurface::LineTo(double x, double y, Colour colour) {
  const QPointF from = mapping_.ToPixel(penX_, penY_), to = mapping_.ToPixel(x, y);
  penX_ = x;
  penY_ = y;
  if (drawStyle_ == DrawStyle::Invisible || !Finite(from) || !Finite(to)) return;
  painter_.setRenderHint(QPainter::Antialiasing, false);
  painter_.setPen(QPen(ToQColor(colour), drawWidth_, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  painter_.drawLine(from, to);
}

void ImageSurface::Circle(double x, double y, double radius, Colour colour) {
  // The radius is measured along x; the circle stays round whatever the y scale.
  const QPointF centre = mapping_.ToPixel(x, y);
  const double r = std::abs(radius / mapping_.width * mapping_.size.width());
  if (!Finite(centre) || !std::isfinite(r)) return;
  painter_.setRenderHint(QPainter::Antialiasing, true);
  if (drawStyle_ == DrawStyle::Invisible)
    painter_.setPen(Qt::NoPen);
  else
    painter_.setPen(QPen(ToQColor(colour), drawWidth_));
  painter_.setBrush(fillStyle_ == FillStyle::Solid ? QBrush(ToQColor(fill_)) : QBrush(Qt::NoBrush));
  painter_.drawEllipse(centre, r, r);
  painter_.setBrush(Qt::NoBrush);
}

void ImageSurface::Print(const std::string& text) {
  const QPointF at = mapping_.ToPixel(penX_, penY_);
  if (!Finite(at)) return;
  // The text's top-left corner stands at the pen.
  painter_.setPen(ToQColor(fore_));
  painter_.drawText(QPointF(at.x(), at.y() + QFontMetricsF(painter_.font()).ascent()),
                    QString::fromStdString(text));
}

QImage RenderPlot(const RecordingSurface& drawing, QSize size, UserMapping* mapping) {
  QImage image(size.expandedTo(QSize(1, 1)), QImage::Format_RGB32);
  image.fill(Qt::white);
  {
    ImageSurface surface(image);
    drawing.Replay(surface);
    if (mapping) *mapping = surface.Mapping();
  }
  return image;
}

bool SaveBitmap(const QImage& image, const QString& path) {
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly)) return false;
  if (!image.save(&file, "BMP")) {
    file.cancelWriting();
    return false;
  }
  return file.commit();
}

bool SaveBitmap(const RecordingSurface& drawing, QSize size, const QString& path) {
  return SaveBitmap(RenderPlot(drawing, size), path);
}

}  // namespace pelarin
