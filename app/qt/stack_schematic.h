// A drawing of the three-junction stack and its coupling resistances, shown on the parameter form.
#pragma once

#include <QIcon>
#include <QPainter>
#include <QWidget>

namespace pelarin {

// The program's icon, drawn from the schematic: light falling on the three junctions of the stack, each a
// diode in its colour, in a square of side `side`.
void DrawStackIcon(QPainter& p, double side);
// The icon at the sizes the desktop asks for.
[[nodiscard]] QIcon StackIcon();

class StackSchematic : public QWidget {
 public:
  explicit StackSchematic(QWidget* parent = nullptr);
  [[nodiscard]] QSize sizeHint() const override { return {250, 200}; }

 protected:
  void paintEvent(QPaintEvent* event) override;
};

}  // namespace pelarin
