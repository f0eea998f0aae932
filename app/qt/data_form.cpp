#include "app/qt/data_form.h"

#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "app/qt/stack_schematic.h"

namespace pelarin {
namespace {

struct BoxSpec {
  const char* label;
  const char* unit;
  const char* defaultText;
};

constexpr BoxSpec kBoxes[kParameterCount] = {
    {"Rs1  = ", "Ohm.cm2", "5"},       {"Rp1  = ", "Ohm.cm2", "5000"},   {"Jsc1 = ", "A/cm2", "0.008"},
    {"Jsd11= ", "A/cm2", "40e-12"},    {"Jsd12= ", "A/cm2", "400e-9"},   {"md11=", "", "1"},
    {"md12=", "", "2"},                {"Rs2  = ", "Ohm.cm2", "5"},      {"Rp2  = ", "Ohm.cm2", "10000"},
    {"Jsc2 = ", "A/cm2", "0.012"},     {"Jsd21= ", "A/cm2", "1e-12"},    {"Jsd22= ", "A/cm2", "80e-9"},
    {"md21= ", "", "1"},               {"md22= ", "", "2"},              {"Rs3  = ", "Ohm.cm2", "5"},
    {"Rp3  = ", "Ohm.cm2", "500"},     {"Jsc3 = ", "A/cm2", "0.016"},    {"Jsd31= ", "A/cm2", "50e-9"},
    {"Jsd32= ", "A/cm2", "1e-6"},      {"md31= ", "", "1"},              {"md32= ", "", "2"},
    {"Rl1  =  ", "Ohm.cm2", "1e12"},   {"Rl2  = ", "Ohm.cm2", "1e12"},   {"Rg1 =", "Ohm.cm2", "1e12"},
    {"Rg2 = ", "Ohm.cm2", "1e12"},     {"Rg3 = ", "Ohm.cm2", "1e12"}};

// Bottom red, Middle green, Top blue.
const QColor kJunctionColour[3] = {QColor(0xFF, 0, 0), QColor(0, 0xC0, 0), QColor(0, 0, 0xFF)};
const char* kJunctionHeading[3] = {"Bottom", "Middle", "Top"};

QString Coloured(const QColor& colour) { return QString("color: %1;").arg(colour.name()); }

QFrame* Separator() {
  auto* line = new QFrame;
  line->setFrameShape(QFrame::VLine);
  line->setFrameShadow(QFrame::Sunken);
  return line;
}

}  // namespace

const char* DataForm::DefaultText(int index) { return kBoxes[index].defaultText; }

DataForm::DataForm(QWidget* parent) : QWidget(parent) {
  setObjectName("Data");
  setWindowTitle("Data");
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(8, 6, 8, 6);
  row->setSpacing(10);

  const auto makeBox = [this](int index, const QColor& colour) {
    auto* box = new QLineEdit(QString::fromLatin1(kBoxes[index].defaultText));
    box->setObjectName(QString("Text1_%1").arg(index));
    box->setStyleSheet(Coloured(colour));
    box->setMinimumWidth(70);
    box->setMaximumWidth(110);
    boxes_[static_cast<std::size_t>(index)] = box;
    return box;
  };
  const auto makeLabel = [](const char* text, const QColor& colour) {
    auto* label = new QLabel(QString::fromLatin1(text).trimmed());
    label->setStyleSheet(Coloured(colour));
    return label;
  };

  for (int j = 0; j < 3; ++j) {
    auto* column = new QGridLayout;
    column->setVerticalSpacing(2);
    column->setHorizontalSpacing(4);
    auto* heading = new QLabel(kJunctionHeading[j]);
    heading->setStyleSheet(Coloured(kJunctionColour[j]) + "font-weight: bold;");
    heading->setAlignment(Qt::AlignCenter);
    column->addWidget(heading, 0, 0, 1, 3);
    for (int r = 0; r < 7; ++r) {
      const int index = 7 * j + r;
      column->addWidget(makeLabel(kBoxes[index].label, kJunctionColour[j]), r + 1, 0);
      column->addWidget(makeBox(index, kJunctionColour[j]), r + 1, 1);
      column->addWidget(makeLabel(kBoxes[index].unit, kJunctionColour[j]), r + 1, 2);
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
    grid->addWidget(makeLabel(kBoxes[index].label, colour), r, c);
    grid->addWidget(makeBox(index, colour), r, c + 1);
  }
  right->addWidget(coupling);

  auto* nameRow = new QHBoxLayout;
  nameRow->addWidget(new QLabel("Study :"));
  text2_ = new QLineEdit("Test");
  text2_->setObjectName("Text2");
  text2_->setReadOnly(true);
  text2_->setStyleSheet("font-weight: bold;");
  nameRow->addWidget(text2_, 1);
  right->addLayout(nameRow);

  command1_ = new QPushButton("Calculation");
  command1_->setObjectName("Command1");
  command1_->setToolTip("Independent-junction study: each junction alone, illuminated and dark");
  connect(command1_, &QPushButton::clicked, this, &DataForm::calculationRequested);
  right->addWidget(command1_);
  right->addStretch(1);
  row->addLayout(right);
  row->addWidget(Separator());

  auto* picture = new StackSchematic;
  picture->setObjectName("Picture1");
  row->addWidget(picture, 1);
}

std::string DataForm::Text1(int index) const { return Box(index)->text().toStdString(); }

void DataForm::SetText1(int index, const std::string& text) { Box(index)->setText(QString::fromStdString(text)); }

void DataForm::SetText2(const std::string& text) { text2_->setText(QString::fromStdString(text)); }

void DataForm::Show() {
  if (parentWidget()) parentWidget()->show();
  show();
  command1_->setVisible(true);
}

}  // namespace pelarin
