// The parameter form Data: the 26 parameter boxes in three junction columns and a coupling block, the
// operating conditions' group (temperature, concentration, band gaps, photocurrent coefficients), the
// study name, the incident power the efficiencies refer to, the Calculation button and a schematic of the
// stack.
#pragma once

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QWidget>
#include <array>
#include <optional>

#include "model/parameter_table.h"
#include "ui/ui.h"

namespace pelarin {

class ParameterFormWidget : public QWidget, public ParameterForm {
  Q_OBJECT

 public:
  explicit ParameterFormWidget(QWidget* parent = nullptr);

  [[nodiscard]] std::string BoxText(int index) const override;
  void SetBoxText(int index, const std::string& text) override;
  void SetStudyName(const std::string& text) override;
  void MarkBox(int index, const std::string& problem) override;
  void Show() override;

  [[nodiscard]] QLineEdit* Box(int index) const { return boxes_.at(static_cast<std::size_t>(index)); }
  [[nodiscard]] QLineEdit* StudyNameBox() const { return studyNameBox_; }
  [[nodiscard]] QPushButton* CalculationButton() const { return calculationButton_; }
  // The switch of the live curves, by the Calculation button.
  [[nodiscard]] QCheckBox* LiveBox() const { return liveBox_; }
  [[nodiscard]] QLineEdit* IncidentPowerBox() const { return incidentPowerBox_; }
  // The incident power typed (mW/cm2), read as the parameter boxes are; 0 when it is not above 0, which
  // leaves the efficiencies blank.
  // The incident power as the box reads it (mW/cm2), or nothing when it holds no power above 0.
  [[nodiscard]] std::optional<double> IncidentPower() const;
  // Shows the schematic only when the boxes and it fit in this width, so that the boxes need no scroll bar
  // on a narrow screen.
  void FitWidth(int width);
  [[nodiscard]] QWidget* Schematic() const { return schematic_; }
  // Steps box index as the wheel or an arrow key does (see box_step.h); false when it stays as it is.
  bool StepBox(int index, int steps, bool coarse);

 signals:
  void calculationRequested();
  // The user changed a box: typed into it or stepped it.
  void boxEdited(int index);
  // Enter was pressed in a box.
  void boxCommitted(int index);

 protected:
  // The wheel and the Up and Down keys step the parameter boxes; Shift makes the step coarse.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  std::array<QLineEdit*, kParameterCount> boxes_{};
  std::array<QString, kParameterCount> boxStyle_{};  // the box's own colours, without a mark
  QLineEdit* studyNameBox_ = nullptr;
  QLineEdit* incidentPowerBox_ = nullptr;
  QWidget* schematic_ = nullptr;
  QPushButton* calculationButton_ = nullptr;
  QCheckBox* liveBox_ = nullptr;
  int wheelRest_ = 0;  // wheel turn not yet a whole step (fine-grained wheels and touchpads)
};

}  // namespace pelarin
