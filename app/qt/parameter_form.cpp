#include "app/qt/parameter_form.h"

#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QTabWidget>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <algorithm>

#include "app/box_step.h"
#include "app/qt/stack_schematic.h"
#include "model/number_text.h"
#include "model/parameter_table.h"
#include "workspace/read_parameters.h"

namespace pelarin {
namespace {

// Bottom red, Middle green, Top blue.
const QColor kJunctionColour[3] = {QColor(0xFF, 0, 0), QColor(0, 0xC0, 0), QColor(0, 0, 0xFF)};
const char* kJunctionHeading[3] = {"Bottom", "Middle", "Top"};

QString Latin1(std::string_view text) {
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

QString Coloured(const QColor& colour) { return QString("color: %1;").arg(colour.name()); }

QFrame* Separator() {
  auto* line = new QFrame;
  line->setFrameShape(QFrame::VLine);
  line->setFrameShadow(QFrame::Sunken);
  return line;
}

}  // namespace

ParameterFormWidget::ParameterFormWidget(QWidget* parent) : QWidget(parent) {
  setObjectName("Data");
  setWindowTitle("Data");
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(6, 3, 6, 3);
  row->setSpacing(6);

  const auto makeBox = [this](int index, const QColor& colour) {
    auto* box = new QLineEdit(Latin1(kParameterRows[index].defaultText));
    box->setObjectName(QString("parameterBox_%1").arg(index));
    boxStyle_[static_cast<std::size_t>(index)] = Coloured(colour);
    box->setStyleSheet(Coloured(colour));
    box->setMinimumWidth(60);
    box->setMaximumWidth(110);
    boxes_[static_cast<std::size_t>(index)] = box;
    // A mark follows the user's typing at once; the value itself is read when a command needs it.
    connect(box, &QLineEdit::textEdited, this, [this, index](const QString& text) {
      MarkBox(index, ReadBox(kParameterRows[static_cast<std::size_t>(index)], text.toStdString()).problem);
      emit boxEdited(index);
    });
    connect(box, &QLineEdit::returnPressed, this, [this, index] { emit boxCommitted(index); });
    box->installEventFilter(this);
    return box;
  };
  const auto makeLabel = [](std::string_view text, const QColor& colour) {
    auto* label = new QLabel(Latin1(text).trimmed());
    label->setStyleSheet(Coloured(colour));
    return label;
  };

  for (int j = 0; j < 3; ++j) {
    auto* column = new QGridLayout;
    column->setVerticalSpacing(1);
    column->setHorizontalSpacing(4);
    auto* heading = new QLabel(kJunctionHeading[j]);
    heading->setStyleSheet(Coloured(kJunctionColour[j]) + "font-weight: bold;");
    heading->setAlignment(Qt::AlignCenter);
    column->addWidget(heading, 0, 0, 1, 3);
    for (int r = 0; r < 7; ++r) {
      const int index = 7 * j + r;
      column->addWidget(makeLabel(kParameterRows[index].label, kJunctionColour[j]), r + 1, 0);
      column->addWidget(makeBox(index, kJunctionColour[j]), r + 1, 1);
      column->addWidget(makeLabel(kParameterRows[index].unit, kJunctionColour[j]), r + 1, 2);
    }
    column->setRowStretch(8, 1);
    row->addLayout(column);
    row->addWidget(Separator());
  }

  // Coupling resistances: Rl1 and Rl2 on one row, Rg1, Rg2 and Rg3 below, one unit label for the block.
  auto* right = new QVBoxLayout;
  auto* coupling = new QGroupBox("Coupling resistances (Ohm.cm2)");
  auto* grid = new QGridLayout(coupling);
  grid->setVerticalSpacing(4);
  const int couplingColour[5] = {0, 1, 0, 1, 2};
  for (int i = 0; i < 5; ++i) {
    const int index = 21 + i;
    const int r = i < 2 ? 0 : 1;
    const int c = i < 2 ? 2 * i : 2 * (i - 2);
    const QColor& colour = kJunctionColour[couplingColour[i]];
    grid->addWidget(makeLabel(kParameterRows[index].label, colour), r, c);
    grid->addWidget(makeBox(index, colour), r, c + 1);
  }
  right->addWidget(coupling);

  // Operating conditions and coupling physics, compact, on two tabs: T and X on the first row of the
  // conditions; then each family of a junction's quantities on a row (band gaps, photocurrent coefficients;
  // coupling fractions, breakdown strengths, voltages and exponents), a box per junction in its colour and
  // in the order of the columns.
  auto* extras = new QTabWidget;
  extras->setObjectName("conditionsTabs");
  extras->setDocumentMode(true);
  const QColor black(0, 0, 0);
  const auto heading = [](std::string_view name, std::string_view unit) {
    const QString text = QString::fromUtf8(std::string(name).c_str());
    return new QLabel(unit.empty() ? text : text + " (" + QString::fromUtf8(std::string(unit).c_str()) + ")");
  };
  const auto makeGroup = [&](const char* objectName, FormGroup group,
                             std::vector<std::string_view> families) {
    auto* page = new QWidget;
    page->setObjectName(objectName);
    auto* grid = new QGridLayout(page);
    grid->setContentsMargins(4, 1, 4, 0);
    grid->setVerticalSpacing(0);
    grid->setHorizontalSpacing(4);
    int single = 0;  // quantities of the whole cell share the first row
    // Above the junctions' columns, which junction each is.
    const int headingRow = families.front().empty() ? 1 : 0;
    for (int k = 0; k < 3; ++k) {
      static const char* const kWhere[3] = {"1 bottom", "2 middle", "3 top"};
      auto* label = new QLabel(kWhere[k]);
      label->setStyleSheet(QString("color: %1;").arg(kJunctionColour[k].name()));
      grid->addWidget(label, headingRow, 1 + k);
    }
    for (int i = kCellParameterCount; i < kParameterCount; ++i) {
      const ParameterRow& row = kParameterRows[static_cast<std::size_t>(i)];
      if (row.group != group) continue;
      const char last = row.name.back();
      const int junction = last >= '1' && last <= '3' ? last - '1' : -1;
      const std::string_view family = junction < 0 ? row.name : row.name.substr(0, row.name.size() - 1);
      QLineEdit* box = makeBox(i, junction < 0 ? black : kJunctionColour[junction]);
      box->setMinimumWidth(48);
      box->setMaximumWidth(70);
      QString tip =
          QString::fromUtf8(std::string(row.name).c_str()) + " (" +
          (row.unit.empty() ? QString("no unit") : QString::fromUtf8(std::string(row.unit).c_str())) + ")";
      if (family == "alpha")
        tip += QString(": the relative temperature coefficient of junction %1's photocurrent Jsc%1")
                   .arg(junction + 1);
      box->setToolTip(tip);
      box->setProperty("ownToolTip", tip);
      if (junction < 0) {
        const int c = 2 * single++;
        grid->addWidget(heading(row.name, row.unit), 0, c);
        grid->addWidget(box, 0, c + 1);
        continue;
      }
      const auto at = std::find(families.begin(), families.end(), family);
      const int familyRow = static_cast<int>(at - families.begin());
      const int r = familyRow + (familyRow >= headingRow ? 1 : 0);
      if (grid->itemAtPosition(r, 0) == nullptr) grid->addWidget(heading(family, row.unit), r, 0);
      grid->addWidget(box, r, 1 + junction);
    }
    grid->setColumnStretch(grid->columnCount(), 1);  // the boxes stay beside their headings
    grid->setRowStretch(grid->rowCount(), 1);        // and the rows at their height on the shorter tab
    return page;
  };
  auto* conditions = makeGroup("conditionsGroup", FormGroup::Conditions, {"", "Eg", "alpha"});
  auto* physics = makeGroup("physicsGroup", FormGroup::Physics, {"beta", "Abd", "Vbd", "nbd"});
  physics->setToolTip(
      "Luminescent coupling: beta3 and beta2 are the fractions of junction 3's and 2's radiative current "
      "that "
      "the junction below absorbs. Reverse breakdown: a junction's shunt current grows by the factor "
      "1 + Abd (1 - Vd/Vbd)^-nbd. The defaults turn both off.");
  extras->addTab(conditions, "Conditions");
  extras->addTab(physics, "Coupling physics");
  right->addWidget(extras);

  auto* nameRow = new QHBoxLayout;
  nameRow->addWidget(new QLabel("Study :"));
  studyNameBox_ = new QLineEdit("Test");
  studyNameBox_->setObjectName("studyNameBox");
  studyNameBox_->setReadOnly(true);
  studyNameBox_->setStyleSheet("font-weight: bold;");
  nameRow->addWidget(studyNameBox_, 1);
  right->addLayout(nameRow);

  auto* powerRow = new QHBoxLayout;
  powerRow->addWidget(new QLabel("Incident power :"));
  incidentPowerBox_ = new QLineEdit("100");
  incidentPowerBox_->setObjectName("incidentPowerBox");
  incidentPowerBox_->setMaximumWidth(80);
  incidentPowerBox_->setToolTip("The light the efficiencies in the plots' legends refer to");
  powerRow->addWidget(incidentPowerBox_);
  powerRow->addWidget(new QLabel("mW/cm2"));
  powerRow->addStretch(1);
  right->addLayout(powerRow);

  calculationButton_ = new QPushButton("Calculation");
  calculationButton_->setObjectName("calculationButton");
  calculationButton_->setToolTip("Independent-junction study: each junction alone, illuminated and dark");
  connect(calculationButton_, &QPushButton::clicked, this, &ParameterFormWidget::calculationRequested);
  liveBox_ = new QCheckBox("Live");
  liveBox_->setObjectName("liveBox");
  liveBox_->setToolTip(
      "Live curves: a change of a box redraws the open plots of the stack or independent study, without "
      "saving");
  auto* buttonRow = new QHBoxLayout;
  buttonRow->addWidget(calculationButton_, 1);
  buttonRow->addWidget(liveBox_);
  right->addLayout(buttonRow);
  right->addStretch(1);
  row->addLayout(right);
  row->addWidget(Separator());

  schematic_ = new StackSchematic;
  schematic_->setObjectName("stackSchematic");
  row->addWidget(schematic_, 1);
}

void ParameterFormWidget::FitWidth(int width) {
  // What the schematic adds to the form's least width: itself and the row's spacing before it.
  const int schematicNeed = schematic_->minimumWidth() + layout()->spacing();
  const int without = minimumSizeHint().width() - (schematic_->isVisibleTo(this) ? schematicNeed : 0);
  schematic_->setVisible(without + schematicNeed <= width);
}

std::optional<double> ParameterFormWidget::IncidentPower() const {
  return ReadIncidentPower(incidentPowerBox_->text().toStdString());
}

std::string ParameterFormWidget::BoxText(int index) const { return Box(index)->text().toStdString(); }

void ParameterFormWidget::SetBoxText(int index, const std::string& text) {
  const QString shown = QString::fromStdString(text);
  if (Box(index)->text() == shown) return;
  Box(index)->setText(shown);
  // A value the program puts in (Apply to form, an opened parameter file) is a change of the form like
  // typing: the live curves follow it.
  emit boxEdited(index);
}

void ParameterFormWidget::SetStudyName(const std::string& text) {
  studyNameBox_->setText(QString::fromStdString(text));
}

void ParameterFormWidget::MarkBox(int index, const std::string& problem) {
  QLineEdit* box = Box(index);
  const QString reason = QString::fromStdString(problem);
  if (box->property("inputProblem").toString() == reason) return;  // a new style sheet re-polishes the box
  const QString& style = boxStyle_.at(static_cast<std::size_t>(index));
  box->setStyleSheet(problem.empty() ? style : style + "border: 2px solid #FF0000; border-radius: 2px;");
  // A corrected box gets its own tooltip back.
  box->setToolTip(problem.empty() ? box->property("ownToolTip").toString() : reason);
  box->setProperty("inputProblem", reason);
}

bool ParameterFormWidget::StepBox(int index, int steps, bool coarse) {
  QLineEdit* box = Box(index);
  const auto stepped = SteppedBoxText(kParameterRows.at(static_cast<std::size_t>(index)),
                                      box->text().toStdString(), steps, coarse);
  if (!stepped) return false;
  box->setText(QString::fromStdString(*stepped));
  MarkBox(index, {});
  emit boxEdited(index);
  return true;
}

bool ParameterFormWidget::eventFilter(QObject* watched, QEvent* event) {
  const auto found = std::find(boxes_.begin(), boxes_.end(), watched);
  if (found == boxes_.end()) return QWidget::eventFilter(watched, event);
  const int index = static_cast<int>(found - boxes_.begin());
  if (event->type() == QEvent::Wheel) {
    const auto* wheel = static_cast<QWheelEvent*>(event);
    // Shift turns a vertical wheel into a horizontal one on some platforms.
    const QPoint turn = wheel->angleDelta();
    wheelRest_ += turn.y() != 0 ? turn.y() : turn.x();
    const int steps = wheelRest_ / QWheelEvent::DefaultDeltasPerStep;
    wheelRest_ -= steps * QWheelEvent::DefaultDeltasPerStep;
    if (steps != 0) {
      (*found)->setFocus(Qt::MouseFocusReason);
      StepBox(index, steps, (wheel->modifiers() & Qt::ShiftModifier) != 0);
    }
    return true;
  }
  if (event->type() == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() != Qt::Key_Up && key->key() != Qt::Key_Down) return false;
    StepBox(index, key->key() == Qt::Key_Up ? 1 : -1, (key->modifiers() & Qt::ShiftModifier) != 0);
    return true;
  }
  return QWidget::eventFilter(watched, event);
}

void ParameterFormWidget::Show() {
  if (parentWidget()) parentWidget()->show();
  show();
  calculationButton_->setVisible(true);
}

}  // namespace pelarin
