#include "app/qt/fit_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QStyle>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <limits>

#include "app/headless_ui.h"
#include "fit/fit_report.h"
#include "fit/measured_curves.h"
#include "model/calc_error.h"
#include "model/number_text.h"
#include "workspace/read_parameters.h"

namespace fs = std::filesystem;

namespace pelarin {
namespace {

QString Q(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// A number to read at a glance: "%.4g" for a cost, "%.6g" for a parameter's value.
std::string Short(double x, int digits) { return GeneralText(x, digits); }

// A number typed in a box, decimal commas read as points as the form reads them.
std::optional<double> Typed(const QString& text) {
  QString typed = text;
  typed.replace(',', '.');
  const WholeNumber number = ReadWholeNumber(typed.toStdString());
  if (number.kind != NumberKind::Number) return std::nullopt;
  return number.value;
}

enum Column { kName, kLow, kHigh, kFormValue, kUnit };
enum CurveColumn {
  kFile,
  kColumns,
  kConfiguration,
  kUnits,
  kSign,
  kTemperature,
  kConcentration,
  kWeight,
  kRemove
};

// The last parts of a path, count of them at most, the file's name last.
std::string PathTail(const std::string& path, std::size_t count) {
  const fs::path whole(path);
  const std::vector<fs::path> parts(whole.begin(), whole.end());
  if (count >= parts.size()) return path;
  fs::path tail;
  for (std::size_t i = parts.size() - count; i < parts.size(); ++i) tail /= parts[i];
  return tail.string();
}

// The files as the table names them: each with its folder ("run2/lit.txt"), and with as many folders more
// as it takes to tell it from another file of the same name.
std::vector<std::string> ShownFileNames(const std::vector<std::string>& paths) {
  std::vector<std::size_t> depth(paths.size(), 2);
  std::vector<std::string> shown(paths.size());
  for (bool alike = true; alike;) {
    for (std::size_t i = 0; i < paths.size(); ++i) shown[i] = PathTail(paths[i], depth[i]);
    alike = false;
    for (std::size_t i = 0; i < paths.size(); ++i)
      for (std::size_t j = 0; j < paths.size(); ++j)
        if (i != j && shown[i] == shown[j] && shown[i] != paths[i]) {
          ++depth[i];
          alike = true;
          break;
        }
  }
  return shown;
}

// "Rp1 and Jsd11", "Rs1, Rp1 and Jsd11".
std::string NameList(const std::vector<fit::ParameterEstimate>& estimates) {
  std::string names;
  for (std::size_t i = 0; i < estimates.size(); ++i)
    names += std::string(i == 0                      ? ""
                         : i + 1 == estimates.size() ? " and "
                                                     : ", ") +
             std::string(kParameterRows[static_cast<std::size_t>(estimates[i].index)].name);
  return names;
}

}  // namespace

FitDialog::FitDialog(const State& state, const ParameterForm& form, Ui& ui, QWidget* parent)
    : QDialog(parent),
      state_(state),
      ui_(ui),
      curves_(new QTableWidget(0, 9)),
      coupled_(new QCheckBox("Rl + Rg network")),
      parameters_(new QTableWidget(kParameterCount, 5)),
      starts_(new QSpinBox),
      loss_(new QComboBox),
      darkFloor_(new QLineEdit("1e-9")),
      picture_(new QComboBox),
      report_(new QPlainTextEdit),
      status_(new QLabel),
      progress_(new QProgressBar),
      add_(new QPushButton("Add...")),
      run_(new QPushButton("Run")),
      apply_(new QPushButton("Apply to form")),
      cancel_(new QPushButton("Close")) {
  setObjectName("FitDialog");
  setWindowTitle("Fit to measured data");
  setModal(true);
  for (int i = 0; i < kParameterCount; ++i) form_.SetBoxText(i, form.BoxText(i));
  const QFontMetrics metrics = fontMetrics();
  const int rowHeight = metrics.height() + 6;

  // The measured curves: the file, and how to read it.
  curves_->setObjectName("curves");
  curves_->setHorizontalHeaderLabels(
      {"File", "Columns", "Configuration", "Units", "Sign", "T (\u00B0C)", "X (suns)", "Weight", ""});
  curves_->verticalHeader()->hide();
  curves_->verticalHeader()->setDefaultSectionSize(rowHeight + 4);
  curves_->setSelectionMode(QAbstractItemView::NoSelection);
  curves_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  // The boxes' columns as wide as their boxes; the file takes what they leave, cut at its left so that its
  // own name stays in sight (the tooltip has the whole path). Nothing hides behind a sideways scroll bar.
  curves_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
  curves_->horizontalHeader()->setSectionResizeMode(kFile, QHeaderView::Stretch);
  curves_->horizontalHeader()->setStretchLastSection(false);
  curves_->setTextElideMode(Qt::ElideLeft);
  curves_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  curves_->setWordWrap(false);
  curves_->setMinimumHeight(5 * (rowHeight + 4));
  ShowFileNames();
  coupled_->setToolTip("The curves are of the stack inside the Rl/Rg network.");
  connect(add_, &QPushButton::clicked, this, [this] { static_cast<void>(AddCurve()); });
  auto* curveButtons = new QHBoxLayout;
  curveButtons->addWidget(add_);
  curveButtons->addSpacing(12);
  curveButtons->addWidget(coupled_);
  curveButtons->addStretch(1);
  auto* curveGroup = new QGroupBox("Measured curves");
  auto* curveLayout = new QVBoxLayout(curveGroup);
  curveLayout->addWidget(curves_);
  curveLayout->addLayout(curveButtons);

  // The parameters: the ticked ones are fitted within their bounds, the others keep the form's values.
  parameters_->setObjectName("parameters");
  parameters_->setHorizontalHeaderLabels({"Free", "LO", "HI", "Form value", "Unit"});
  parameters_->verticalHeader()->hide();
  parameters_->verticalHeader()->setDefaultSectionSize(rowHeight);
  parameters_->setSelectionMode(QAbstractItemView::SingleSelection);
  parameters_->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                               QAbstractItemView::AnyKeyPressed);
  for (int i = 0; i < kParameterCount; ++i) {
    const ParameterRow& row = kParameterRows[static_cast<std::size_t>(i)];
    const fit::FreeParameter bounds = fit::DefaultBounds(i);
    // The form's label beside the name where they differ ("m11 (md11)"), so that a box is found on the form.
    std::string_view label = row.label;
    while (!label.empty() && (label.back() == ' ' || label.back() == '=')) label.remove_suffix(1);
    const std::string shown =
        label == row.name ? std::string(row.name) : std::string(row.name) + " (" + std::string(label) + ")";
    auto* name = new QTableWidgetItem(Q(shown));
    name->setFlags(row.fittable ? Qt::ItemIsEnabled | Qt::ItemIsUserCheckable : Qt::ItemFlags());
    name->setCheckState(Qt::Unchecked);
    name->setToolTip(!row.fittable  ? "A curve's condition: give each curve its own in the T column"
                     : bounds.Log() ? "Fitted on a log scale"
                                    : "Fitted on a linear scale");
    parameters_->setItem(i, kName, name);
    for (const auto& [column, value] : {std::pair{kLow, bounds.lo}, std::pair{kHigh, bounds.hi}}) {
      auto* item = new QTableWidgetItem(Q(ShortestText(value)));
      item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
      item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEditable);  // enabled once ticked
      parameters_->setItem(i, column, item);
    }
    auto* value = new QTableWidgetItem;
    value->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    value->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    parameters_->setItem(i, kFormValue, value);
    auto* unit = new QTableWidgetItem(Q(row.unit));
    unit->setFlags(Qt::ItemIsEnabled);
    parameters_->setItem(i, kUnit, unit);
  }
  // The bounds of a parameter can be typed while it is free.
  connect(parameters_, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* item) {
    if (item->column() != kName) return;
    const bool free = item->checkState() == Qt::Checked;
    for (const int column : {kLow, kHigh}) {
      QTableWidgetItem* bound = parameters_->item(item->row(), column);
      bound->setFlags(free ? bound->flags() | Qt::ItemIsEnabled : bound->flags() & ~Qt::ItemIsEnabled);
    }
  });
  // Every row at once, and columns wide enough for six significant digits with an exponent.
  const int numberWidth = metrics.horizontalAdvance("-1.23456e-12") + 16;
  parameters_->resizeColumnToContents(kName);
  for (const int column : {kLow, kHigh, kFormValue}) parameters_->setColumnWidth(column, numberWidth);
  const int unitWidth = metrics.horizontalAdvance("Ohm.cm2") + 16;
  parameters_->horizontalHeader()->setStretchLastSection(true);
  parameters_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  // Room for a vertical scroll bar too, should the screen be too low for every row.
  int tableWidth = 2 * parameters_->frameWidth() + style()->pixelMetric(QStyle::PM_ScrollBarExtent);
  tableWidth += parameters_->columnWidth(kName) + 3 * numberWidth + unitWidth;
  parameters_->setFixedWidth(tableWidth);
  // Sixteen rows at least; the rest scroll inside the table, so the dialog fits a 768 pixel high screen.
  parameters_->setMinimumHeight(std::min(kParameterCount, 16) * rowHeight +
                                parameters_->horizontalHeader()->sizeHint().height() +
                                2 * parameters_->frameWidth());
  auto* parameterGroup = new QGroupBox("Parameters");
  auto* parameterLayout = new QVBoxLayout(parameterGroup);
  parameterLayout->addWidget(parameters_);
  ShowFormValues();

  // How the fit runs.
  starts_->setRange(1, 10000);
  starts_->setValue(16);
  starts_->setToolTip(
      "The form's values, then points spread over the bounds; of 8 or more, the last quarter from the best "
      "point "
      "so far, "
      "one parameter drawn anew in each");
  loss_->addItem("squared", static_cast<int>(fit::Loss::Squared));
  loss_->addItem("cauchy", static_cast<int>(fit::Loss::Cauchy));
  loss_->addItem("huber", static_cast<int>(fit::Loss::Huber));
  loss_->setToolTip(
      "cauchy and huber: outliers beyond a tenth (of a lit curve's largest |J|, or of a decade of a dark "
      "one) count less");
  darkFloor_->setToolTip("Dark points below this |J| do not count");
  darkFloor_->setMaximumWidth(numberWidth);
  auto* floorRow = new QHBoxLayout;
  floorRow->addWidget(darkFloor_);
  floorRow->addWidget(new QLabel("A/cm2"));
  floorRow->addStretch(1);
  auto* settings = new QGroupBox("Fit");
  auto* settingsLayout = new QHBoxLayout(settings);
  auto* left = new QFormLayout;
  left->addRow("Starts", starts_);
  left->addRow("Loss", loss_);
  auto* right = new QFormLayout;
  right->addRow("Dark floor", floorRow);
  settingsLayout->addLayout(left);
  settingsLayout->addSpacing(24);
  settingsLayout->addLayout(right, 1);

  // The report, laid out in columns as the batch tool prints it.
  report_->setObjectName("report");
  report_->setReadOnly(true);
  report_->setLineWrapMode(QPlainTextEdit::NoWrap);
  report_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  report_->setPlaceholderText("The report of the fit appears here.");
  // The report's lines scroll sideways in a narrow dialog rather than widen it past the screen.
  report_->setMinimumWidth(QFontMetrics(report_->font()).horizontalAdvance(QString(46, '0')) + 24);
  report_->setMinimumHeight(10 * QFontMetrics(report_->font()).lineSpacing());
  picture_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  picture_->setMinimumContentsLength(12);
  picture_->setToolTip("The picture of the fit shown in its plot window");
  connect(picture_, &QComboBox::currentIndexChanged, this, [this] { ShowPicture(); });
  auto* pictureRow = new QHBoxLayout;
  pictureRow->addWidget(new QLabel("Plot"));
  pictureRow->addWidget(picture_);
  pictureRow->addStretch(1);
  auto* reportGroup = new QGroupBox("Report");
  auto* reportLayout = new QVBoxLayout(reportGroup);
  reportLayout->addWidget(report_, 1);
  reportLayout->addLayout(pictureRow);

  status_->setObjectName("status");
  status_->setWordWrap(true);
  status_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  progress_->setRange(0, 1);
  progress_->setValue(0);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  for (QPushButton* button : {run_, apply_, cancel_}) buttons->addWidget(button);
  run_->setDefault(true);
  apply_->setToolTip("Puts the fitted values of the free parameters into the form");
  connect(run_, &QPushButton::clicked, this, [this] { static_cast<void>(Start()); });
  connect(apply_, &QPushButton::clicked, this, &FitDialog::ApplyToForm);
  connect(cancel_, &QPushButton::clicked, this, &FitDialog::reject);

  auto* grid = new QGridLayout;
  // The curves across the whole width, so that a file's folders and every box of its row are in sight; the
  // parameters beside the settings and the report below them.
  grid->addWidget(curveGroup, 0, 0, 1, 2);
  grid->addWidget(settings, 1, 0);
  grid->addWidget(reportGroup, 2, 0);
  grid->addWidget(parameterGroup, 1, 1, 2, 1);
  grid->setRowStretch(2, 1);
  grid->setColumnStretch(0, 1);
  // The inputs scroll inside the dialog on a small screen; the progress, the status and the buttons stay in
  // sight below them.
  auto* inputs = new QWidget;
  inputs->setLayout(grid);
  auto* scroll = new QScrollArea;
  scroll->setWidget(inputs);
  scroll->setWidgetResizable(true);
  scroll->setFrameShape(QFrame::NoFrame);
  scroll->setMinimumWidth(std::min(inputs->sizeHint().width(), 900));
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(scroll, 1);
  layout->addWidget(progress_);
  layout->addWidget(status_);
  layout->addLayout(buttons);

  EnableInputs(true);
  // As large as its contents ask, within the screen it opens on.
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect available = screen->availableGeometry();
    const int bar = style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    const QSize wanted(inputs->sizeHint().width() + 2 * bar + 24,
                       inputs->sizeHint().height() + bar + progress_->sizeHint().height() +
                           run_->sizeHint().height() + 4 * layout->spacing() + 48);
    resize(std::min(wanted.width(), available.width() - 16),
           std::min(wanted.height(), available.height() - 40));
  }
}

FitDialog::~FitDialog() {
  stop_ = true;
  if (worker_.joinable()) worker_.join();
}

QTableWidgetItem* FitDialog::FreeItem(int index) const { return parameters_->item(index, kName); }
QTableWidgetItem* FitDialog::LowItem(int index) const { return parameters_->item(index, kLow); }
QTableWidgetItem* FitDialog::HighItem(int index) const { return parameters_->item(index, kHigh); }
QTableWidgetItem* FitDialog::FormValueItem(int index) const { return parameters_->item(index, kFormValue); }

bool FitDialog::AddCurve() {
  std::error_code ec;
  const std::string folder =
      rows_.empty() ? fs::current_path(ec).string() : fs::path(rows_.back().path).parent_path().string();
  const auto path = ui_.OpenFileDialog(
      {.kind = FileKind::CurveToFit, .title = "Measured curve", .startDir = folder, .fileName = ""});
  if (!path || path->empty()) return false;
  AddCurveRow(*path);
  return true;
}

void FitDialog::AddCurveRow(const std::string& path) {
  const int r = curves_->rowCount();
  curves_->insertRow(r);
  CurveRow row{.path = path};
  const QFileInfo info(Q(path));
  auto* file = new QTableWidgetItem;
  file->setToolTip(QDir::toNativeSeparators(Q(path)));
  curves_->setItem(r, kFile, file);
  row.configuration = new QComboBox;
  for (const std::string_view name : fit::kCurveConfigurations)
    row.configuration->addItem(QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())));
  row.configuration->setToolTip(
      "Which junctions the light reaches: all (lit), none (dark), one (lit:1 ...) or a pair (lit:12 ...)");
  // A file named for a dark measurement most likely holds one.
  row.configuration->setCurrentText(info.fileName().contains("dark", Qt::CaseInsensitive) ? "dark" : "lit");
  row.unit = new QComboBox;
  row.unit->addItems({"A/cm2", "mA/cm2"});
  row.sign = new QComboBox;
  row.sign->addItems({"generator", "load"});
  row.sign->setToolTip(
      "generator: a lit cell's current positive; load: negative, as most measurements write it");
  // The files of one measurement are written alike: a new row reads as the last one.
  if (!rows_.empty()) {
    row.unit->setCurrentIndex(rows_.back().unit->currentIndex());
    row.sign->setCurrentIndex(rows_.back().sign->currentIndex());
  }
  // The V and J columns of a file of more than two; empty: the file's two, or a table's own by its header.
  row.columns = new QLineEdit;
  row.columns->setAlignment(Qt::AlignRight);
  row.columns->setPlaceholderText("auto");
  row.columns->setMaximumWidth(fontMetrics().horizontalAdvance("00,00") + 16);
  row.columns->setToolTip(
      "The columns of V and J in a file of more than two, such as 1,2; empty: a file of two columns, or "
      "the program's own table by its header");
  // The conditions the curve was measured at; empty: the form's.
  for (QLineEdit** box : {&row.temperature, &row.concentration}) {
    *box = new QLineEdit;
    (*box)->setAlignment(Qt::AlignRight);
    (*box)->setPlaceholderText("form");
    (*box)->setMaximumWidth(fontMetrics().horizontalAdvance("-123.45") + 12);
  }
  row.temperature->setToolTip("The temperature the curve was measured at (\u00B0C); empty: the form's T");
  row.concentration->setToolTip("The concentration the curve was measured at (suns); empty: the form's X");
  if (!rows_.empty()) {
    row.temperature->setText(rows_.back().temperature->text());
    row.concentration->setText(rows_.back().concentration->text());
  }
  row.weight = new QLineEdit("1");
  row.weight->setAlignment(Qt::AlignRight);
  row.weight->setMaximumWidth(fontMetrics().horizontalAdvance("0.00001") + 12);
  row.weight->setToolTip("How much the curve's residuals count");
  row.remove = new QPushButton("Remove");
  const QPushButton* remove = row.remove;
  connect(row.remove, &QPushButton::clicked, this, [this, remove] { RemoveCurveRow(remove); });
  curves_->setCellWidget(r, kConfiguration, row.configuration);
  curves_->setCellWidget(r, kUnits, row.unit);
  curves_->setCellWidget(r, kSign, row.sign);
  curves_->setCellWidget(r, kColumns, row.columns);
  curves_->setCellWidget(r, kTemperature, row.temperature);
  curves_->setCellWidget(r, kConcentration, row.concentration);
  curves_->setCellWidget(r, kWeight, row.weight);
  curves_->setCellWidget(r, kRemove, row.remove);
  rows_.push_back(row);
  ShowFileNames();
}

void FitDialog::ShowFileNames() {
  std::vector<std::string> paths;
  for (const CurveRow& row : rows_) paths.push_back(row.path);
  const std::vector<std::string> shown = ShownFileNames(paths);
  for (std::size_t r = 0; r < rows_.size(); ++r)
    curves_->item(static_cast<int>(r), kFile)->setText(QDir::toNativeSeparators(Q(shown[r])));
  // The table as wide as the boxes' columns and a file name of some length.
  const QAbstractItemView* view = curves_;
  int width = 2 * curves_->frameWidth() + fontMetrics().horizontalAdvance(QString(16, 'x'));
  for (int column = kColumns; column <= kRemove; ++column)
    width += std::max(view->sizeHintForColumn(column), curves_->horizontalHeader()->sectionSizeHint(column));
  curves_->setMinimumWidth(width);
}

void FitDialog::RemoveCurveRow(const QPushButton* button) {
  const auto found =
      std::find_if(rows_.begin(), rows_.end(), [&](const CurveRow& row) { return row.remove == button; });
  if (found == rows_.end() || Running()) return;
  curves_->removeRow(static_cast<int>(found - rows_.begin()));
  rows_.erase(found);
  ShowFileNames();
}

std::optional<State> FitDialog::FormState(std::string& error) const {
  State state = state_;
  HeadlessUi ui(false, false);
  ui.form = form_;
  try {
    ReadParameters(state, ui);
  } catch (const std::exception& e) {
    ui.problems.emplace_back(e.what());
  }
  if (ui.problems.empty()) return state;
  error = ui.problems.front();
  return std::nullopt;
}

void FitDialog::ShowFormValues() {
  for (int i = 0; i < kParameterCount; ++i) {
    const BoxReading box = ReadBox(kParameterRows[static_cast<std::size_t>(i)], form_.BoxText(i));
    QTableWidgetItem* item = FormValueItem(i);
    // Six digits to read; the tooltip holds the box's text, or why the form cannot use it.
    item->setText(Q(box.problem.empty() ? Short(box.value, 6) : form_.BoxText(i)));
    item->setForeground(box.problem.empty() ? palette().text() : QBrush(Qt::red));
    item->setToolTip(Q(box.problem.empty() ? form_.BoxText(i) : box.problem));
  }
}

std::unique_ptr<fit::FitOptions> FitDialog::Options() {
  const auto refuse = [this](const std::string& sentence) {
    ui_.ShowMessage("The fit cannot run: " + sentence, "Fit", MessageIcon::Exclamation);
    return nullptr;
  };
  std::string error;
  const auto state = FormState(error);
  if (!state) {
    ui_.ShowMessage("The fit starts from the form's values, and " + error, "Fit", MessageIcon::Exclamation);
    return nullptr;
  }
  auto options = std::make_unique<fit::FitOptions>();
  options->start = state->formValues;
  for (int i = 0; i < kParameterCount; ++i) {
    if (FreeItem(i)->checkState() != Qt::Checked) continue;
    fit::FreeParameter free = fit::DefaultBounds(i);
    const std::string name(kParameterRows[static_cast<std::size_t>(i)].name);
    for (const auto& [item, bound, which] :
         {std::tuple{LowItem(i), &free.lo, "LO"}, std::tuple{HighItem(i), &free.hi, "HI"}}) {
      const auto value = Typed(item->text());
      if (!value)
        return refuse(std::string(which) + " of " + name + " is not a number (\"" +
                      item->text().toStdString() + "\").");
      *bound = *value;
    }
    options->free.push_back(free);
  }
  options->starts = starts_->value();
  options->loss = static_cast<fit::Loss>(loss_->currentData().toInt());
  const auto floor = Typed(darkFloor_->text());
  if (!floor) return refuse("the dark floor is not a number (\"" + darkFloor_->text().toStdString() + "\").");
  options->darkFloor = *floor;
  for (const CurveRow& row : rows_) {
    const auto weight = Typed(row.weight->text());
    if (!weight)
      return refuse("the weight of " + row.path + " is not a number (\"" + row.weight->text().toStdString() +
                    "\").");
    const fit::CurveFile file{
        .name = row.configuration->currentText().toStdString(),
        .path = row.path,
        .coupled = coupled_->isChecked(),
        .unit = row.unit->currentIndex() == 1 ? fit::CurrentUnit::MilliamperesPerCm2
                                              : fit::CurrentUnit::AmperesPerCm2,
        .sign = row.sign->currentIndex() == 1 ? fit::SignConvention::Load : fit::SignConvention::Generator,
        .weight = *weight};
    fit::CurveFile atConditions = file;
    if (const QString text = row.columns->text().trimmed(); !text.isEmpty()) {
      const QStringList parts = text.split(',');
      bool okV = false, okJ = false;
      const int v = parts.size() == 2 ? parts[0].trimmed().toInt(&okV) : 0;
      const int j = parts.size() == 2 ? parts[1].trimmed().toInt(&okJ) : 0;
      if (!okV || !okJ || v < 1 || j < 1 || v == j)
        return refuse("the columns of " + row.path + " are two different numbers from 1, such as 1,2 (\"" +
                      text.toStdString() + "\").");
      atConditions.columns = std::pair{v, j};
    }
    for (const auto& [box, value, name] : {std::tuple{row.temperature, &atConditions.T, "T"},
                                           std::tuple{row.concentration, &atConditions.X, "X"}}) {
      if (box->text().trimmed().isEmpty()) continue;
      const BoxReading reading =
          ReadBox(kParameterRows[static_cast<std::size_t>(ParameterIndex(name))], box->text().toStdString());
      if (!reading.problem.empty())
        return refuse(std::string(name) + " of " + row.path + ": " + reading.problem + ".");
      *value = reading.value;
    }
    try {
      options->curves.push_back(fit::LoadCurve(atConditions));
    } catch (const std::exception& e) {  // FileError naming the file and its line, or InputError
      return refuse(e.what());
    }
  }
  if (const auto problem = options->Problem()) return refuse(*problem + ".");
  return options;
}

void FitDialog::EnableInputs(bool enabled) {
  for (QWidget* w : std::initializer_list<QWidget*>{curves_, add_, coupled_, parameters_, starts_, loss_,
                                                    darkFloor_, run_})
    w->setEnabled(enabled);
  apply_->setEnabled(enabled && result_.has_value());
  picture_->setEnabled(enabled && result_.has_value());
  cancel_->setText(enabled ? "Close" : "Cancel");
}

bool FitDialog::Start() {
  if (Running()) return false;
  auto options = Options();
  if (!options) return false;
  options_ = std::move(options);
  result_.reset();
  report_->clear();
  {
    const QSignalBlocker quiet(picture_);
    picture_->clear();
  }
  stop_ = false;
  progress_->setRange(0, options_->starts);
  progress_->setValue(0);
  status_->setText(Q("Fitting " + std::to_string(options_->free.size()) + " free parameters to " +
                     std::to_string(options_->curves.size()) + " curves from " +
                     std::to_string(options_->starts) + " starts ..."));
  EnableInputs(false);
  // The fit runs on a thread of its own; each start's end and the fit's end come back to the dialog's
  // thread as events.
  worker_ = std::thread([this] {
    std::optional<fit::FitResult> result;
    std::string failure;
    try {
      result = fit::Fit(*options_, [this](const ProgressReport& report) {
        if (report.done > 0)
          QMetaObject::invokeMethod(
              this, [this, report] { ShowProgress(report); }, Qt::QueuedConnection);
        return stop_ ? CallbackReturn::Stop : CallbackReturn::Continue;
      });
    } catch (const std::exception& e) {
      failure = e.what();
    }
    QMetaObject::invokeMethod(
        this, [this, result = std::move(result), failure]() mutable { Finish(std::move(result), failure); },
        Qt::QueuedConnection);
  });
  return true;
}

void FitDialog::Cancel() {
  if (!Running()) return;
  stop_ = true;
  status_->setText("Stopping after the starts under way ...");
}

void FitDialog::reject() {
  if (Running())
    Cancel();
  else
    QDialog::reject();
}

void FitDialog::ShowProgress(const ProgressReport& report) {
  progress_->setValue(static_cast<int>(report.done));
  if (!stop_)
    status_->setText(Q("start " + std::to_string(report.done) + " of " + std::to_string(report.of) +
                       ", best cost " + Short(report.best, 4)));
}

void FitDialog::Finish(std::optional<fit::FitResult> result, const std::string& failure) {
  worker_.join();
  if (!result) {
    EnableInputs(true);
    status_->setText("The fit ended without a result.");
    ui_.ShowMessage("The fit ended without a result: " + failure, "Fit", MessageIcon::Critical);
    return;
  }
  result_ = std::move(result);
  EnableInputs(true);
  report_->setPlainText(Q(fit::FitReportText(*options_, *result_)));
  const fit::FitResult& r = *result_;
  if (r.stopped)
    status_->setText(Q("Stopped after " + std::to_string(r.startsRun) + " of " +
                       std::to_string(options_->starts) +
                       " starts; the report is of the best point so far."));
  else if (r.converged)
    status_->setText(Q("Done: converged, cost " + Short(r.cost, 4) + "."));
  else
    status_->setText(Q("Done, but the best start did not converge (cost " + Short(r.cost, 4) + ")."));
  // The lit curves first: the dark ones when there is none.
  {
    const QSignalBlocker quiet(picture_);
    picture_->clear();
    const std::pair<fit::FitPicture, const char*> pictures[] = {{fit::FitPicture::Lit, "lit curves"},
                                                                {fit::FitPicture::Dark, "dark curves"},
                                                                {fit::FitPicture::Residuals, "residuals"}};
    for (const auto& [picture, caption] : pictures)
      if (fit::HasPicture(*options_, picture)) picture_->addItem(caption, static_cast<int>(picture));
    picture_->setCurrentIndex(0);
  }
  ShowPicture();
}

void FitDialog::ShowPicture() {
  if (!result_ || !showPlot || picture_->currentIndex() < 0) return;
  Picture picture;
  picture.which = static_cast<fit::FitPicture>(picture_->currentData().toInt());
  picture.caption = "Fit: " + picture_->currentText().toStdString();
  const fs::path first(options_->curves.front().file);
  const char* suffix[] = {"", "_dark", "_residuals"};
  picture.fileStem =
      (first.parent_path() / (first.stem().string() + "_fit" + suffix[static_cast<int>(picture.which)]))
          .string();
  try {
    fit::DrawFitPicture(*options_, *result_, picture.which, picture.drawing);
  } catch (const CalcError& e) {
    ui_.ShowMessage(std::string("The fit cannot be drawn: ") + e.what(), "Fit", MessageIcon::Exclamation);
    return;
  }
  showPlot(picture);
}

void FitDialog::ApplyToForm() {
  if (!result_ || Running()) return;
  if (!ui_.Ask(Question::ApplyFit)) {
    status_->setText("The form keeps its values.");
    return;
  }
  ParameterForm& form = ui_.Form();
  for (const fit::ParameterEstimate& e : result_->estimates) {
    const std::string text = fit::FittedValueText(e);
    form.SetBoxText(e.index, text);
    form_.SetBoxText(e.index, text);  // a next fit starts from them
  }
  ShowFormValues();
  status_->setText(Q("The fitted values of " + NameList(result_->estimates) + " are in the form."));
}

}  // namespace pelarin
