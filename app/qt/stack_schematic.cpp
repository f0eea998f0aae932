#include "app/qt/stack_schematic.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <algorithm>

namespace pelarin {
namespace {

const QColor kRed(0xFF, 0, 0), kGreen(0, 0xC0, 0), kBlue(0, 0, 0xFF);

// A diode symbol pointing in the forward direction (towards the lower terminal), centred on (cx, cy).
void Diode(QPainter& p, double cx, double cy, double s, const QColor& colour, double line) {
  QPainterPath triangle;
  triangle.moveTo(cx - s, cy + s * 0.8);
  triangle.lineTo(cx + s, cy + s * 0.8);
  triangle.lineTo(cx, cy - s * 0.8);
  triangle.closeSubpath();
  p.fillPath(triangle, colour);
  p.setPen(QPen(colour, line, Qt::SolidLine, Qt::FlatCap));
  p.drawLine(QPointF(cx - s, cy - s * 0.8), QPointF(cx + s, cy - s * 0.8));
}

// A resistor drawn as a rectangle on the vertical wire from (x, yFrom) to (x, yTo), labelled beside it.
void Resistor(QPainter& p, double x, double yFrom, double yTo, const QString& label, const QColor& colour,
              bool labelLeft) {
  const double mid = (yFrom + yTo) / 2;
  const double half = std::min(14.0, std::abs(yTo - yFrom) / 3);
  p.setPen(QPen(Qt::black, 1.2));
  p.drawLine(QPointF(x, yFrom), QPointF(x, mid + half));
  p.drawLine(QPointF(x, mid - half), QPointF(x, yTo));
  p.setBrush(Qt::white);
  p.setPen(QPen(colour, 1.6));
  p.drawRect(QRectF(x - 4, mid - half, 8, 2 * half));
  const QRectF text = labelLeft ? QRectF(x - 31, mid - 8, 25, 16) : QRectF(x + 6, mid - 8, 25, 16);
  p.drawText(text, static_cast<int>((labelLeft ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter), label);
}

void Junction(QPainter& p, const QRectF& box, const QString& name, const QColor& colour) {
  p.setPen(QPen(colour, 1.8));
  p.setBrush(QColor(colour.red(), colour.green(), colour.blue(), 40));
  p.drawRect(box);
  Diode(p, box.center().x() - box.width() * 0.25, box.center().y(), std::min(box.height() * 0.3, 9.0), colour,
        1.8);
  p.setPen(colour);
  p.drawText(QRectF(box.center().x() - 4, box.top(), box.width() / 2 + 4, box.height()),
             Qt::AlignVCenter | Qt::AlignLeft, name);
}

void Node(QPainter& p, QPointF at, const QString& name, bool labelRight = true) {
  p.setPen(Qt::black);
  p.setBrush(Qt::black);
  p.drawEllipse(at, 2.5, 2.5);
  p.setPen(Qt::darkGray);
  const QRectF text =
      labelRight ? QRectF(at.x() + 5, at.y() - 14, 24, 14) : QRectF(at.x() - 29, at.y() - 14, 24, 14);
  p.drawText(text, labelRight ? Qt::AlignLeft : Qt::AlignRight, name);
}

// The smallest size the drawing is laid out for.
constexpr double kDrawnWidth = 260, kDrawnHeight = 160;

}  // namespace

void DrawStackIcon(QPainter& p, double side) {
  p.save();
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(side / 64, side / 64);  // drawn on a 64 x 64 grid
  // Three rays of light onto the top junction.
  p.setPen(QPen(QColor(230, 170, 0), 3.2, Qt::SolidLine, Qt::RoundCap));
  for (int i = 0; i < 3; ++i) {
    const double x = 17 + i * 13;
    p.drawLine(QPointF(x + 6, 1.5), QPointF(x, 11));
  }
  // The stack: top (blue), middle (green), bottom (red), joined by the series wire.
  p.setPen(QPen(Qt::black, 2.4));
  p.drawLine(QPointF(32, 12), QPointF(32, 63));
  const QColor colours[] = {kBlue, kGreen, kRed};
  for (int j = 0; j < 3; ++j) {
    const QRectF box(6, 13 + j * 17, 52, 15);
    p.setPen(QPen(colours[j], 2.4));
    p.setBrush(QColor(colours[j].red(), colours[j].green(), colours[j].blue(), 60));
    p.drawRect(box);
    Diode(p, 32, box.center().y(), 5.5, colours[j], 2.4);
  }
  p.restore();
}

QIcon StackIcon() {
  QIcon icon;
  for (const int side : {16, 24, 32, 48, 64, 128, 256}) {
    QPixmap pixmap(side, side);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    DrawStackIcon(p, side);
    p.end();
    icon.addPixmap(pixmap);
  }
  return icon;
}

StackSchematic::StackSchematic(QWidget* parent) : QWidget(parent) {
  // Drawn for 260 x 160 pixels at least, and scaled down into a smaller form.
  setMinimumSize(210, 130);
  setToolTip(
      "Three junctions in series (Top, Middle, Bottom) with the coupling resistances Rl1, Rl2, Rg1, "
      "Rg2 and Rg3");
}

void StackSchematic::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  p.fillRect(rect(), Qt::white);
  QFont font = p.font();
  font.setPointSizeF(7.5);
  p.setFont(font);
  const double scale = std::min({1.0, width() / kDrawnWidth, height() / kDrawnHeight});
  p.scale(scale, scale);
  const double w = width() / scale, h = height() / scale;
  const double cx = w * 0.5, bw = std::min(w * 0.24, 80.0);
  const double yT0 = h * 0.12, yA = h * 0.40, yB = h * 0.64, yT1 = h * 0.88;
  const double boxH = (yA - yT0) * 0.55;
  const auto between = [&](double top, double bottom) {
    return QRectF(cx - bw / 2, (top + bottom) / 2 - boxH / 2, bw, boxH);
  };

  // Light falls on the top junction.
  p.setPen(QPen(QColor(230, 170, 0), 1.5));
  for (int i = 0; i < 3; ++i) {
    const double x = cx - bw * 0.45 + i * 10;
    p.drawLine(QPointF(x + 10, 2), QPointF(x, yT0 - 6));
    p.drawLine(QPointF(x, yT0 - 6), QPointF(x + 1, yT0 - 12));
    p.drawLine(QPointF(x, yT0 - 6), QPointF(x + 5, yT0 - 10));
  }

  // The series stack between the outer terminals T0 (reference, top) and T1 (bottom).
  const double xRg1 = cx - bw / 2 - 82, xRg2 = cx - bw / 2 - 50, xRg3 = cx - bw / 2 - 18;
  const double xRl1 = cx + bw / 2 + 18, xRl2 = cx + bw / 2 + 50;
  p.setPen(QPen(Qt::black, 1.2));
  p.drawLine(QPointF(cx, yT0), QPointF(cx, yT1));
  p.drawLine(QPointF(xRg1, yT0), QPointF(cx, yT0));
  Junction(p, between(yT0, yA), "Top 3", kBlue);
  Junction(p, between(yA, yB), "Mid 2", kGreen);
  Junction(p, between(yB, yT1), "Bot 1", kRed);

  // Rg leads from each node to T0; Rl bridges junction 1, and junctions 1 and 2, from T1.
  p.setPen(QPen(Qt::black, 1.2));
  p.drawLine(QPointF(xRg3, yA), QPointF(cx, yA));
  p.drawLine(QPointF(xRg2, yB), QPointF(cx, yB));
  p.drawLine(QPointF(xRg1, yT1), QPointF(xRl2, yT1));
  p.drawLine(QPointF(cx, yA), QPointF(xRl2, yA));
  p.drawLine(QPointF(cx, yB), QPointF(xRl1, yB));
  Resistor(p, xRg3, yA, yT0, "Rg3", kBlue, true);
  Resistor(p, xRg2, yB, yT0, "Rg2", kGreen, false);
  Resistor(p, xRg1, yT1, yT0, "Rg1", kRed, false);
  Resistor(p, xRl1, yT1, yB, "Rl1", kRed, false);
  Resistor(p, xRl2, yT1, yA, "Rl2", kGreen, false);

  Node(p, {cx, yT0}, "T0");
  Node(p, {cx, yA}, "A");
  Node(p, {cx, yB}, "B");
  Node(p, {cx, yT1}, "T1");
  p.setPen(Qt::black);
  p.drawText(QRectF(0, yT1 + 4, w, h - yT1 - 4), Qt::AlignHCenter | Qt::AlignTop,
             "Terminals: T0 (0 V) and T1 (V)");
}

}  // namespace pelarin
