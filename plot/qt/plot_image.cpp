#include "plot/qt/plot_image.h"

#include <QFileInfo>
#include <QFontMetricsF>
#include <QPen>
#include <QSaveFile>
#include <QSvgGenerator>
#include <algorithm>
#include <cmath>
#include <limits>
#include <set>

namespace pelarin {
namespace {

constexpr double kGap = 4;            // pixels between a label and its tick
constexpr double kPad = 6;            // pixels around titles and inside the legend panel
constexpr double kSwatch = 12;        // width of a legend entry's marker column
constexpr double kMinViewport = 40;   // the drawing keeps at least this many pixels each way
constexpr double kLegendShare = 0.4;  // the legend panel takes at most this part of the width

QColor ToQColor(Colour c) { return QColor(RedOf(c), GreenOf(c), BlueOf(c)); }
QString Q(const std::string& text) { return QString::fromStdString(text); }
bool Finite(QPointF p) { return std::isfinite(p.x()) && std::isfinite(p.y()); }

QFont ExponentFont() {
  QFont font = PlotFont();
  font.setPixelSize(9);
  return font;
}

QFont LegendFont() {
  QFont font = PlotFont();
  font.setBold(false);
  return font;
}

// A label's text and raised exponent, measured from the top-left corner of its text.
struct LabelShape {
  QString text, exponent;
  double ascent = 0, textHeight = 0;
  double exponentBaseline = 0;
  QRectF exponentBox;  // empty without an exponent
  QRectF box;          // text and exponent together
};

LabelShape ShapeOf(const QString& text, const QString& exponent, const QFontMetricsF& base,
                   const QFontMetricsF& small) {
  LabelShape s;
  s.text = text;
  s.exponent = exponent;
  s.ascent = base.ascent();
  s.textHeight = base.height();
  s.box = QRectF(0, 0, base.horizontalAdvance(text), base.height());
  if (!exponent.isEmpty()) {
    // The exponent's baseline stands at about half the digits' height above the text's.
    s.exponentBaseline = base.ascent() - 0.45 * base.ascent();
    s.exponentBox = QRectF(s.box.right() + 1, s.exponentBaseline - small.ascent(),
                           small.horizontalAdvance(exponent), small.height());
    s.box = s.box.united(s.exponentBox);
  }
  return s;
}

// The top-left corner of the label's text when its place is taken against the anchor pixel.
QPointF OriginOf(const LabelShape& s, QPointF anchor, LabelPlace place) {
  const double h = s.textHeight;
  switch (place) {
    case LabelPlace::LeftOf:
      return {anchor.x() - kGap - s.box.right(), anchor.y() - h / 2};
    case LabelPlace::Below:
      // Below the half line that the labels of a vertical axis reach under the frame's corner.
      return {anchor.x() - s.box.width() / 2, anchor.y() + h / 2 + 2 - s.box.top()};
    case LabelPlace::AboveLeft:
      return {anchor.x() - kGap - s.box.right(), anchor.y() - h / 2 - 2 - s.box.bottom()};
    case LabelPlace::BelowRight:
      return {anchor.x() - s.box.right(), anchor.y() + h / 2 + 2 + h + 2 - s.box.top()};
  }
  return anchor;
}

// A label of the recording: where its anchor is in user coordinates, and the coordinates then in force.
struct PendingLabel {
  double x = 0, y = 0;
  UserMapping coordinates;
  LabelShape shape;
  LabelPlace place = LabelPlace::LeftOf;
};

// Follows a replay just far enough to know where each label is anchored.
class LabelCollector : public DrawSurface {
 public:
  LabelCollector(const QFontMetricsF& base, const QFontMetricsF& small) : base_(base), small_(small) {}
  void SetWindowStateNormal() override {}
  void SetScaleWidth(double width) override { mapping_.width = width; }
  void SetScaleHeight(double height) override { mapping_.height = height; }
  [[nodiscard]] double ScaleWidth() const override { return mapping_.width; }
  [[nodiscard]] double ScaleHeight() const override { return mapping_.height; }
  void SetUserCoordinates(double left, double top, double right, double bottom) override {
    mapping_.left = left;
    mapping_.top = top;
    mapping_.width = right - left;
    mapping_.height = bottom - top;
  }
  void SetBackColour(Colour) override {}
  void SetForeColour(Colour) override {}
  void SetFillColour(Colour) override {}
  void SetFillStyle(FillStyle) override {}
  void SetDrawMode(int) override {}
  void SetDrawStyle(DrawStyle) override {}
  void SetDrawWidth(int) override {}
  void SetPen(double x, double y) override { penX_ = x, penY_ = y; }
  void LineTo(double x, double y, Colour) override { penX_ = x, penY_ = y; }
  void Circle(double, double, double, Colour) override {}
  void FillRect(double, double, double, double, Colour) override {}
  void Print(const std::string&) override {}
  void Label(const std::string& text, const std::string& exponent, LabelPlace place) override {
    labels.push_back({penX_, penY_, mapping_, ShapeOf(Q(text), Q(exponent), base_, small_), place});
  }
  void SetTitles(const PlotTitles&) override {}
  void BeginCurve(const LegendEntry&) override {}
  void Clear() override {}

  std::vector<PendingLabel> labels;

 private:
  const QFontMetricsF& base_;
  const QFontMetricsF& small_;
  UserMapping mapping_;
  double penX_ = 0, penY_ = 0;
};

UserMapping InViewport(UserMapping coordinates, const QRectF& viewport) {
  coordinates.origin = viewport.topLeft();
  coordinates.size = viewport.size().toSize();
  return coordinates;
}

QRectF BoxIn(const PendingLabel& label, const QRectF& viewport) {
  const QPointF anchor = InViewport(label.coordinates, viewport).ToPixel(label.x, label.y);
  return label.shape.box.translated(OriginOf(label.shape, anchor, label.place));
}

// The viewport inside area that keeps every label inside area too: each side moves in by what its labels
// stick out, until none does.
QRectF FitViewport(const std::vector<PendingLabel>& labels, const QRectF& area) {
  QRectF viewport = area;
  for (int pass = 0; pass < 12; ++pass) {
    QRectF bounds;
    for (const PendingLabel& label : labels) {
      const QRectF box = BoxIn(label, viewport);
      if (std::isfinite(box.left()) && std::isfinite(box.top()))
        bounds = bounds.isNull() ? box : bounds.united(box);
    }
    if (bounds.isNull()) break;
    const double left = std::max(area.left() - bounds.left(), 0.0);
    const double top = std::max(area.top() - bounds.top(), 0.0);
    const double right = std::max(bounds.right() - area.right(), 0.0);
    const double bottom = std::max(bounds.bottom() - area.bottom(), 0.0);
    if (left + top + right + bottom < 0.25) break;
    // A little more than the overshoot, since the anchors move inwards with the viewport.
    viewport.adjust(std::ceil(left), std::ceil(top), -std::ceil(right), -std::ceil(bottom));
    if (viewport.width() < kMinViewport) viewport.setWidth(kMinViewport);
    if (viewport.height() < kMinViewport) viewport.setHeight(kMinViewport);
  }
  return viewport;
}

// The labels of one axis left out so that the others keep clear of each other: every second, fifth,
// tenth ... is kept, the first at the lowest value.
void ThinOut(const std::vector<PendingLabel>& labels, const QRectF& viewport, LabelPlace place,
             std::set<std::size_t>& leftOut) {
  std::vector<std::pair<double, std::size_t>> order;
  std::vector<QRectF> boxes(labels.size());
  for (std::size_t i = 0; i < labels.size(); ++i) {
    if (labels[i].place != place) continue;
    boxes[i] = BoxIn(labels[i], viewport);
    // Along the axis from its lowest value: up a vertical axis, rightwards along a horizontal one.
    order.emplace_back(place == LabelPlace::LeftOf ? -boxes[i].center().y() : boxes[i].center().x(), i);
  }
  std::sort(order.begin(), order.end());
  for (std::size_t stride : {1, 2, 5, 10, 20, 50, 100, 1000}) {
    bool clear = true;
    for (std::size_t k = stride; k < order.size() && clear; k += stride)
      clear = !boxes[order[k - stride].second].adjusted(-1, -1, 1, 1).intersects(boxes[order[k].second]);
    if (!clear) continue;
    for (std::size_t k = 0; k < order.size(); ++k)
      if (k % stride != 0) leftOut.insert(order[k].second);
    return;
  }
}

// The rows of the legend panel: per curve its marker and name, then its figures.
struct LegendRow {
  QString text;
  bool isName = false;
  Colour colour = 0;
  bool hollow = false;
};

std::vector<LegendRow> LegendRows(const std::vector<LegendEntry>& legend) {
  std::vector<LegendRow> rows;
  for (const LegendEntry& entry : legend) {
    rows.push_back({Q(entry.name), true, entry.colour, entry.hollow});
    if (entry.figures)
      for (const std::string& figure : FigureTexts(*entry.figures))
        rows.push_back({Q(figure), false, 0, false});
  }
  return rows;
}

// The height the rows take, the gaps between curves included.
double LegendHeight(const std::vector<LegendRow>& rows, const QFontMetricsF& names,
                    const QFontMetricsF& figures) {
  double h = 0;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    if (rows[i].isName && i > 0) h += kPad / 2;
    h += (rows[i].isName ? names : figures).height();
  }
  return h;
}

void PaintLegend(QPainter& painter, const std::vector<LegendRow>& rows, const QRectF& space,
                 PlotLayout& layout) {
  const QFont nameFont = PlotFont(), figureFont = LegendFont();
  const QFontMetricsF nameMetrics(nameFont, painter.device()), figureMetrics(figureFont, painter.device());
  // As tall as its rows, within the space at the right of the drawing.
  QRectF panel = space;
  panel.setHeight(std::min(space.height(), LegendHeight(rows, nameMetrics, figureMetrics) + 2 * kPad));
  layout.legend = panel;
  painter.setPen(QPen(QColor(200, 200, 200), 1));
  painter.setBrush(Qt::NoBrush);
  painter.drawRect(panel);
  const double textLeft = panel.left() + kPad + kSwatch;
  const double textWidth = panel.right() - kPad - textLeft;
  double y = panel.top() + kPad;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const LegendRow& row = rows[i];
    const QFontMetricsF& metrics = row.isName ? nameMetrics : figureMetrics;
    if (row.isName && i > 0) y += kPad / 2;
    if (y + metrics.height() > panel.bottom() - kPad + 0.5) break;
    // The last row that fits says that more would follow.
    const bool more = i + 1 < rows.size() && y + 2 * metrics.height() > panel.bottom() - kPad + 0.5;
    const QString text =
        more ? QStringLiteral("...") : metrics.elidedText(row.text, Qt::ElideRight, textWidth);
    if (row.isName && !more) {
      const double r = 4;
      const QPointF centre(panel.left() + kPad + r, y + metrics.height() / 2);
      painter.setRenderHint(QPainter::Antialiasing, true);
      painter.setPen(QPen(ToQColor(row.colour), row.hollow ? 2 : 1));
      painter.setBrush(row.hollow ? QBrush(Qt::NoBrush) : QBrush(ToQColor(row.colour)));
      painter.drawEllipse(centre, r, r);
      painter.setBrush(Qt::NoBrush);
    }
    painter.setFont(row.isName ? nameFont : figureFont);
    painter.setPen(Qt::black);
    painter.drawText(QPointF(textLeft, y + metrics.ascent()), text);
    const QRectF box(textLeft, y, metrics.horizontalAdvance(text), metrics.height());
    layout.texts.push_back({PlacedText::Kind::Legend, text, box, box, QRectF(), LabelPlace::LeftOf});
    y += metrics.height();
    if (more) break;
  }
}

// The title's lines: the whole title when it fits in width, else split at the space that leaves the longer
// line shortest, each line cut to width if it must be.
QStringList TitleLines(const QString& title, const QFontMetricsF& metrics, double width) {
  if (metrics.horizontalAdvance(title) <= width) return {title};
  double best = std::numeric_limits<double>::infinity();
  QStringList lines{metrics.elidedText(title, Qt::ElideRight, width)};
  for (qsizetype at = title.indexOf(' '); at > 0; at = title.indexOf(' ', at + 1)) {
    const QString first = title.left(at), second = title.mid(at + 1).trimmed();
    const double longer = std::max(metrics.horizontalAdvance(first), metrics.horizontalAdvance(second));
    if (longer < best) {
      best = longer;
      lines = {metrics.elidedText(first, Qt::ElideRight, width),
               metrics.elidedText(second, Qt::ElideRight, width)};
    }
  }
  return lines;
}

// The title's lines centred over the drawing where they fit between left and right (the strip left of a
// window's read-out box), moved left where they would reach it; the axis titles beside the labels of their
// axes (labelBounds), inside the image.
void PaintTitles(QPainter& painter, const PlotTitles& titles, const QStringList& titleLines, double right,
                 QSize size, const QRectF& area, const QRectF& labelBounds, PlotLayout& layout) {
  const QFont font = PlotFont();
  const QFontMetricsF metrics(font, painter.device());
  const double h = metrics.height();
  painter.setFont(font);
  painter.setPen(Qt::black);
  const auto write = [&](const QString& text, QPointF centre, PlacedText::Kind kind, double room) {
    const QString shown = metrics.elidedText(text, Qt::ElideRight, room);
    const double w = metrics.horizontalAdvance(shown);
    const QRectF box(centre.x() - w / 2, centre.y() - h / 2, w, h);
    painter.drawText(QPointF(box.left(), box.top() + metrics.ascent()), shown);
    layout.texts.push_back({kind, shown, box, box, QRectF(), LabelPlace::LeftOf});
  };
  for (qsizetype i = 0; i < titleLines.size(); ++i) {
    const double w = metrics.horizontalAdvance(titleLines[i]);
    const double x = std::max(std::min(area.center().x(), right - w / 2), kPad + w / 2);
    const double y =
        area.top() / 2 + (static_cast<double>(i) - static_cast<double>(titleLines.size() - 1) / 2) * h;
    write(titleLines[i], QPointF(x, y), PlacedText::Kind::Title, right - kPad);
  }
  if (!titles.xTitle.empty()) {
    const double below = labelBounds.isNull() ? area.bottom() : labelBounds.bottom();
    const double y = std::min(below + kPad / 2 + h / 2, size.height() - kPad / 2 - h / 2);
    write(Q(titles.xTitle), QPointF(area.center().x(), y), PlacedText::Kind::AxisTitle, area.width());
  }
  if (!titles.yTitle.empty()) {
    // Written upwards along the left of the labels; its box is the rotated one.
    const QString text = metrics.elidedText(Q(titles.yTitle), Qt::ElideRight, area.height());
    const double w = metrics.horizontalAdvance(text);
    const double left = labelBounds.isNull() ? area.left() : labelBounds.left();
    const QPointF centre(std::max(left - kPad / 2 - h / 2, kPad / 2 + h / 2), area.center().y());
    painter.save();
    painter.translate(centre);
    painter.rotate(-90);
    painter.drawText(QPointF(-w / 2, -h / 2 + metrics.ascent()), text);
    painter.restore();
    const QRectF box(centre.x() - h / 2, centre.y() - w / 2, h, w);
    layout.texts.push_back({PlacedText::Kind::AxisTitle, text, box, box, QRectF(), LabelPlace::LeftOf});
  }
}

}  // namespace

QPointF UserMapping::ToPixel(double x, double y) const {
  return {origin.x() + (x - left) / width * size.width(), origin.y() + (y - top) / height * size.height()};
}

QPointF UserMapping::ToUser(QPointF pixel) const {
  return {left + (pixel.x() - origin.x()) / size.width() * width,
          top + (pixel.y() - origin.y()) / size.height() * height};
}

QFont PlotFont() {
  QFont font(QStringLiteral("Sans Serif"));
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(11);
  font.setBold(true);
  return font;
}

ImageSurface::ImageSurface(QPainter& painter, QSize deviceSize, QRectF viewport, LabelPainter labelPainter)
    : painter_(painter), deviceSize_(deviceSize), labelPainter_(std::move(labelPainter)) {
  mapping_.origin = viewport.topLeft();
  mapping_.size = viewport.size().toSize();
  mapping_.width = mapping_.size.width();
  mapping_.height = mapping_.size.height();
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

void ImageSurface::Clear() { painter_.fillRect(QRect(QPoint(0, 0), deviceSize_), ToQColor(back_)); }

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

void ImageSurface::FillRect(double x1, double y1, double x2, double y2, Colour colour) {
  const QPointF a = mapping_.ToPixel(x1, y1), b = mapping_.ToPixel(x2, y2);
  if (!Finite(a) || !Finite(b)) return;
  // Neighbouring cells of a map share their edges: no antialiasing, so that no seam shows between them.
  painter_.setRenderHint(QPainter::Antialiasing, false);
  painter_.fillRect(QRectF(a, b).normalized(), ToQColor(colour));
}

void ImageSurface::Print(const std::string& text) {
  const QPointF at = mapping_.ToPixel(penX_, penY_);
  if (!Finite(at)) return;
  // The text's top-left corner stands at the pen.
  painter_.setFont(PlotFont());
  painter_.setPen(ToQColor(fore_));
  painter_.drawText(QPointF(at.x(), at.y() + QFontMetricsF(painter_.font(), painter_.device()).ascent()),
                    Q(text));
}

void ImageSurface::Label(const std::string& text, const std::string& exponent, LabelPlace place) {
  const QPointF at = mapping_.ToPixel(penX_, penY_);
  if (!Finite(at)) return;
  painter_.setPen(ToQColor(fore_));
  labelPainter_(painter_, at, text, exponent, place);
}

void PaintPlot(QPainter& painter, const RecordingSurface& drawing, QSize size, PlotLayout* layoutOut) {
  PlotLayout layout;
  const QFont labelFont = PlotFont(), exponentFont = ExponentFont(), legendFont = LegendFont();
  const QFontMetricsF base(labelFont, painter.device()), small(exponentFont, painter.device());
  const QFontMetricsF names(labelFont, painter.device()), figures(legendFont, painter.device());
  const PlotTitles& titles = drawing.Titles();
  const double line = base.height();

  // Strips for the titles, the legend panel at the right, the drawing with its labels in what is left. The
  // title keeps clear of the top right corner, where a window shows its read-out box.
  const double titleRight = size.width() - ReadoutBoxWidth(base) - kPad;
  const QStringList titleLines =
      titles.title.empty() ? QStringList() : TitleLines(Q(titles.title), base, titleRight - kPad);
  const double top =
      titles.title.empty() ? kPad : std::ceil(line * static_cast<double>(titleLines.size()) + 2 * kPad);
  const double bottom = titles.xTitle.empty() ? kPad : std::ceil(line + kPad);
  const double left = titles.yTitle.empty() ? kPad : std::ceil(line + kPad);
  const std::vector<LegendRow> rows = LegendRows(drawing.Legend());
  double legendWidth = 0;
  for (const LegendRow& row : rows)
    legendWidth = std::max(legendWidth, (row.isName ? names : figures).horizontalAdvance(row.text));
  if (!rows.empty())
    legendWidth =
        std::min(std::ceil(legendWidth + kSwatch + 2 * kPad), std::floor(kLegendShare * size.width()));
  const double right = rows.empty() ? kPad : legendWidth + 2 * kPad;
  layout.plotArea = QRectF(left, top, std::max(size.width() - left - right, kMinViewport),
                           std::max(size.height() - top - bottom, kMinViewport));
  if (!rows.empty())
    layout.legend = QRectF(size.width() - right + kPad, top, legendWidth, size.height() - top - kPad);

  LabelCollector collector(base, small);
  drawing.Replay(collector);
  const QRectF viewport = FitViewport(collector.labels, layout.plotArea);
  std::set<std::size_t> leftOut;
  ThinOut(collector.labels, viewport, LabelPlace::LeftOf, leftOut);
  ThinOut(collector.labels, viewport, LabelPlace::Below, leftOut);
  layout.labelsLeftOut = static_cast<int>(leftOut.size());

  std::size_t next = 0;
  const auto paintLabel = [&](QPainter& p, QPointF anchor, const std::string& text,
                              const std::string& exponent, LabelPlace place) {
    const std::size_t index = next++;
    if (leftOut.count(index) != 0) return;
    const LabelShape shape = ShapeOf(Q(text), Q(exponent), base, small);
    const QPointF origin = OriginOf(shape, anchor, place);
    p.setFont(labelFont);
    p.drawText(QPointF(origin.x(), origin.y() + shape.ascent), shape.text);
    QRectF exponentBox;
    if (!shape.exponent.isEmpty()) {
      exponentBox = shape.exponentBox.translated(origin);
      p.setFont(exponentFont);
      p.drawText(QPointF(exponentBox.left(), origin.y() + shape.exponentBaseline), shape.exponent);
    }
    const bool marker = place == LabelPlace::AboveLeft || place == LabelPlace::BelowRight;
    const QRectF base(
        origin, QSizeF(QFontMetricsF(labelFont, p.device()).horizontalAdvance(shape.text), shape.textHeight));
    layout.texts.push_back({marker ? PlacedText::Kind::Marker : PlacedText::Kind::TickLabel,
                            shape.exponent.isEmpty() ? shape.text : shape.text + "^" + shape.exponent,
                            shape.box.translated(origin), base, exponentBox, place});
  };
  {
    ImageSurface surface(painter, size, viewport, paintLabel);
    drawing.Replay(surface);
    layout.mapping = surface.Mapping();
  }
  QRectF labelBounds;
  for (const PlacedText& text : layout.texts)
    labelBounds = labelBounds.isNull() ? text.box : labelBounds.united(text.box);
  PaintTitles(painter, titles, titleLines, titleRight, size, layout.plotArea, labelBounds, layout);
  if (!rows.empty()) PaintLegend(painter, rows, layout.legend, layout);
  if (layoutOut) *layoutOut = std::move(layout);
}

double ReadoutBoxWidth(const QFontMetricsF& metrics, const QString& readout) {
  const double twoNumbers = metrics.horizontalAdvance(QStringLiteral("x= -8.88E-88   y= -8.88E-88"));
  return std::ceil(std::max(twoNumbers, metrics.horizontalAdvance(readout))) + 16 + 2;
}

QImage RenderPlot(const RecordingSurface& drawing, QSize size, PlotLayout* layout) {
  QImage image(size.expandedTo(QSize(1, 1)), QImage::Format_RGB32);
  image.fill(Qt::white);
  QPainter painter(&image);
  PaintPlot(painter, drawing, image.size(), layout);
  return image;
}

std::optional<ImageFormat> ImageFormatOf(const QString& path) {
  const QString suffix = QFileInfo(path).suffix().toLower();
  if (suffix == QLatin1String("bmp")) return ImageFormat::Bmp;
  if (suffix == QLatin1String("png")) return ImageFormat::Png;
  if (suffix == QLatin1String("svg")) return ImageFormat::Svg;
  return std::nullopt;
}

QString SuffixOf(ImageFormat format) {
  switch (format) {
    case ImageFormat::Bmp:
      return QStringLiteral(".bmp");
    case ImageFormat::Png:
      return QStringLiteral(".png");
    case ImageFormat::Svg:
      return QStringLiteral(".svg");
  }
  return {};
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

bool SavePlot(const RecordingSurface& drawing, QSize size, const QString& path, ImageFormat format) {
  if (format == ImageFormat::Bmp) return SaveBitmap(RenderPlot(drawing, size), path);
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly)) return false;
  bool written = false;
  if (format == ImageFormat::Png) {
    written = RenderPlot(drawing, size).save(&file, "PNG");
  } else {
    QSvgGenerator svg;
    svg.setOutputDevice(&file);
    svg.setSize(size);
    svg.setResolution(96);  // a screen pixel: the figure keeps the size it has in the window
    svg.setViewBox(QRect(QPoint(0, 0), size));
    svg.setTitle(Q(drawing.Titles().title));
    svg.setDescription(QStringLiteral("Pelarin plot"));
    QPainter painter;
    written = painter.begin(&svg);
    if (written) {
      painter.fillRect(QRect(QPoint(0, 0), size), Qt::white);
      PaintPlot(painter, drawing, size);
      written = painter.end();
    }
  }
  if (!written) {
    file.cancelWriting();
    return false;
  }
  return file.commit();
}

}  // namespace pelarin
