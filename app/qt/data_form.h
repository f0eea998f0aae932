// The parameter form Data: the 26 parameter boxes in three junction columns and a coupling block, the
// study name, the Calculation button and a schematic of the stack.
#pragma once

#include <QLineEdit>
#include <QPushButton>
#include <QWidget>
#include <array>

#include "studies/ui.h"

namespace pelarin {

class DataForm : public QWidget, public ParameterForm {
  Q_OBJECT

 public:
  explicit DataForm(QWidget* parent = nullptr);

  [[nodiscard]] std::string Text1(int index) const override;
  void SetText1(int index, const std::string& text) override;
  void SetText2(const std::string& text) override;
  void Show() override;

  [[nodiscard]] QLineEdit* Box(int index) const { return boxes_.at(static_cast<std::size_t>(index)); }
  [[nodiscard]] QLineEdit* StudyNameBox() const { return text2_; }
  [[nodiscard]] QPushButton* CalculationButton() const { return command1_; }

 signals:
  void calculationRequested();

 private:
  std::array<QLineEdit*, kParameterCount> boxes_{};
  QLineEdit* text2_ = nullptr;
  QPushButton* command1_ = nullptr;
};

}  // namespace pelarin
