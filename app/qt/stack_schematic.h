// A drawing of the three-junction stack and its coupling resistances, shown on the parameter form.
#pragma once

#include <QWidget>

namespace pelarin {

class StackSchematic : public QWidget {
 public:
  explicit StackSchematic(QWidget* parent = nullptr);
  [[nodiscard]] QSize sizeHint() const override { return {250, 200}; }

 protected:
  void paintEvent(QPaintEvent* event) override;
};

}  // namespace pelarin
