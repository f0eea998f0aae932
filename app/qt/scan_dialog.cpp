#include "app/qt/scan_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>
#include <chrono>
#include <cstdio>

#include "app/scan_plot.h"
#include "fit/fit.h"
#include "model/calc_error.h"
#include "model/number_text.h"
#include "model/parameter_table.h"
#include "workspace/read_parameters.h"
#include "workspace/study_folder.h"

namespace pelarin {
namespace {

QString Q(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

int Threads() { return static_cast<int>(std::max(1u, std::thread::hardware_concurrency())); }

// A duration as people say it: milliseconds, seconds, minutes or hours.
std::string Duration(double seconds) {
  char text[64];
  if (seconds < 1e-3)
    std::snprintf(text, sizeof text, "%.0f us", seconds * 1e6);
  else if (seconds < 1)
    std::snprintf(text, sizeof text, "%.0f ms", seconds * 1000);
  else if (seconds < 120)
    std::snprintf(text, sizeof text, "%.1f s", seconds);
  else if (seconds < 7200)
    std::snprintf(text, sizeof text, "%.0f min", seconds / 60);
  else
    std::snprintf(text, sizeof text, "%.1f h", seconds / 3600);
  return text;
}

// A grid over a parameter's own range, the default bounds of a fit, on its own scale.
struct GridStart {
  QString from, to;
  bool log = false;
};
GridStart GridOver(int index) {
  const ParameterRow& row = kParameterRows[static_cast<std::size_t>(index)];
  const fit::FreeParameter bounds = fit::DefaultBounds(index);
  const bool log = row.LogScale() && bounds.lo > 0;
  // A scan takes only values the form takes as typed: an end it would correct (a coupling resistance at its
  // least) moves in by a decade, or by a step of the box.
  const auto asTyped = [&row](double value) {
    const std::string text = ShortestText(value);
    const BoxReading box = ReadBox(row, text);
    return box.problem.empty() && box.shownText == text;
  };
  double lo = bounds.lo, hi = bounds.hi;
  if (!asTyped(lo)) lo = log ? 10 * lo : lo + row.linearStep;
  if (!asTyped(hi)) hi = log ? hi / 10 : hi - row.linearStep;
  return {Q(ShortestText(lo)), Q(ShortestText(hi)), log};
}

// A first sample spreads around the box's value: 20 % by a lognormal factor on a log scale, 5 % by a normal
// deviation on a linear one (the box's own step where it is 0).
struct SampleStart {
  QString spread, a, b;
};
SampleStart SampleAround(int index, const ParameterForm& form) {
  const ParameterRow& p = kParameterRows[static_cast<std::size_t>(index)];
  const BoxReading box = ReadBox(p, form.BoxText(index));
  const double value = box.problem.empty() ? box.value : 0;
  const bool log = p.LogScale() && value > 0;
  const double sd = value != 0 ? 0.05 * std::abs(value) : std::max(p.linearStep, 1e-3);
  return {log ? "lognormal" : "normal", Q(ShortestText(value)),
          Q(log ? std::string("1.2") : ShortestText(sd))};
}

}  // namespace

ScanDialog::ScanDialog(const State& state, const ParameterForm& form, Ui& ui,
                       const ScanDialogSettings& settings, QWidget* parent)
    : QDialog(parent),
      state_(state),
      ui_(ui),
      study_(new QComboBox),
      second_(new QCheckBox("Second parameter")),
      figure_(new QComboBox),
      method_(new QComboBox),
      mode_(new QComboBox),
      samples_(new QSpinBox),
      seed_(new QSpinBox),
      estimate_(new QLabel),
      status_(new QLabel),
      progress_(new QProgressBar),
      run_(new QPushButton("Run")),
      cancel_(new QPushButton("Close")) {
  setObjectName("ScanDialog");
  setWindowTitle("Scan");
  setModal(true);
  for (int i = 0; i < kParameterCount; ++i) form_.SetBoxText(i, form.BoxText(i));

  for (const StudyEntry& study : Studies())
    if (IsScannable(study)) study_->addItem(Q(study.commandName), Q(study.batchName));
  const int keptStudy = study_->findData(Q(settings.study));
  study_->setCurrentIndex(keptStudy >= 0 ? keptStudy : std::max(0, study_->findData("all")));

  auto* grid = new QGridLayout;
  grid->addWidget(new QLabel("Parameter"), 0, 1);
  for (int c = 0; c < 3; ++c) grid->addWidget(headings_[c] = new QLabel, 0, c + 2);
  const ScanDialogSettings defaults;
  for (int a = 0; a < 2; ++a) {
    AxisRow& row = rows_[a];
    const auto axis = static_cast<std::size_t>(a);
    // Settings of a parameter the table no longer has give way to the defaults.
    const ScanDialogSettings::Axis& shown =
        ParameterIndex(settings.axes[axis].parameter) >= 0 ? settings.axes[axis] : defaults.axes[axis];
    row.parameter = new QComboBox;
    for (const ParameterRow& p : kParameterRows) row.parameter->addItem(Q(p.name));
    row.parameter->setCurrentIndex(ParameterIndex(shown.parameter));
    row.from = new QLineEdit(Q(shown.from));
    row.to = new QLineEdit(Q(shown.to));
    row.otherFrom = Q(shown.otherFrom), row.otherTo = Q(shown.otherTo);
    row.points = new QSpinBox;
    row.points->setRange(2, kMaxScanPoints);
    row.points->setValue(shown.points);
    row.log = new QCheckBox("log");
    row.log->setChecked(shown.log);
    row.spread = new QComboBox;
    for (const char* spread : {"normal", "lognormal", "uniform"}) row.spread->addItem(spread);
    row.spread->setCurrentText(Q(shown.spread));
    row.spread->setToolTip(
        "normal: mean and standard deviation; lognormal: median and the factor one standard deviation "
        "multiplies it by; uniform: lowest and highest value");
    grid->addWidget(row.spread, a + 1, 4);
    connect(row.spread, &QComboBox::currentIndexChanged, this, [this] { UpdateEstimate(); });
    grid->addWidget(a == 0 ? new QLabel("First") : static_cast<QWidget*>(second_), a + 1, 0);
    grid->addWidget(row.parameter, a + 1, 1);
    grid->addWidget(row.from, a + 1, 2);
    grid->addWidget(row.to, a + 1, 3);
    grid->addWidget(row.points, a + 1, 4);
    grid->addWidget(row.log, a + 1, 5);
    for (QLineEdit* box : {row.from, row.to})
      connect(box, &QLineEdit::textChanged, this, [this] { UpdateEstimate(); });
    connect(row.parameter, &QComboBox::currentIndexChanged, this, [this, a] {
      TakeParameter(a);
      UpdateEstimate();
    });
    connect(row.points, &QSpinBox::valueChanged, this, [this] { UpdateEstimate(); });
    connect(row.log, &QCheckBox::toggled, this, [this] { UpdateEstimate(); });
  }
  second_->setChecked(settings.second);
  connect(second_, &QCheckBox::toggled, this, [this] {
    EnableInputs(true);
    UpdateEstimate();
  });
  for (const std::string_view figure : kScanFigures) figure_->addItem(Q(figure));
  figure_->setCurrentIndex(std::max(0, figure_->findText(Q(settings.figure))));
  method_->addItem("exact: each cell's circuit solved for its figures", "exact");
  method_->addItem("curve: the study run for each cell, figures read off its curves", "curve");
  method_->setCurrentIndex(std::max(0, method_->findData(Q(settings.method))));
  connect(method_, &QComboBox::currentIndexChanged, this, [this] { UpdateEstimate(); });

  mode_->addItem("Grid of values", "grid");
  mode_->addItem("Random sample (process spread)", "sample");
  samples_->setRange(1, static_cast<int>(std::min<std::int64_t>(kMaxScanCells, 10'000'000)));
  samples_->setValue(settings.samples);
  samples_->setPrefix("cells: ");
  seed_->setRange(0, 2'000'000'000);
  seed_->setValue(settings.seed);
  seed_->setPrefix("seed: ");
  // The axes' texts are already those of the mode kept.
  mode_->setCurrentIndex(settings.sampling ? 1 : 0);
  shownSampling_ = settings.sampling;
  connect(mode_, &QComboBox::currentIndexChanged, this, [this] {
    ShowMode();
    EnableInputs(true);
    UpdateEstimate();
  });
  for (QSpinBox* box : {samples_, seed_})
    connect(box, &QSpinBox::valueChanged, this, [this] { UpdateEstimate(); });
  auto* sampleRow = new QHBoxLayout;
  sampleRow->addWidget(mode_, 1);
  sampleRow->addWidget(samples_);
  sampleRow->addWidget(seed_);

  auto* top = new QGridLayout;
  top->addWidget(new QLabel("Study"), 0, 0);
  top->addWidget(study_, 0, 1);
  top->addWidget(new QLabel("Figure to plot"), 1, 0);
  top->addWidget(figure_, 1, 1);
  top->addWidget(new QLabel("Figures"), 2, 0);
  top->addWidget(method_, 2, 1);
  top->addWidget(new QLabel("Cells"), 3, 0);
  top->addLayout(sampleRow, 3, 1);
  top->setColumnStretch(1, 1);

  estimate_->setObjectName("estimate");
  estimate_->setWordWrap(true);
  status_->setObjectName("status");
  status_->setWordWrap(true);
  status_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  progress_->setRange(0, 1);
  progress_->setValue(0);
  auto* buttons = new QDialogButtonBox;
  buttons->addButton(run_, QDialogButtonBox::AcceptRole);
  buttons->addButton(cancel_, QDialogButtonBox::RejectRole);
  run_->setDefault(true);
  connect(run_, &QPushButton::clicked, this, [this] { static_cast<void>(Start()); });
  connect(cancel_, &QPushButton::clicked, this, &ScanDialog::reject);
  connect(study_, &QComboBox::currentIndexChanged, this, [this] { UpdateEstimate(); });

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addLayout(grid);
  layout->addWidget(estimate_);
  layout->addWidget(progress_);
  layout->addWidget(status_);
  layout->addWidget(buttons);

  ShowMode();
  EnableInputs(true);
  UpdateEstimate();
}

bool ScanDialog::Sampling() const { return mode_->currentData().toString() == "sample"; }

void ScanDialog::ShowMode() {
  const bool sampling = Sampling();
  if (sampling != shownSampling_) {
    shownSampling_ = sampling;
    for (AxisRow& row : rows_) {
      const QString from = row.from->text(), to = row.to->text();
      if (sampling && row.otherFrom.isEmpty()) {
        const SampleStart start = SampleAround(row.parameter->currentIndex(), form_);
        row.spread->setCurrentText(start.spread);
        row.otherFrom = start.a, row.otherTo = start.b;
      }
      row.from->setText(row.otherFrom);
      row.to->setText(row.otherTo);
      row.otherFrom = from, row.otherTo = to;
    }
  }
  const char* grid[] = {"From", "To", "Points"};
  const char* sample[] = {"Mean / median / low", "SD / factor / high", "Spread"};
  for (int c = 0; c < 3; ++c) headings_[c]->setText(sampling ? sample[c] : grid[c]);
  for (const AxisRow& row : rows_) {
    row.points->setVisible(!sampling);
    row.log->setVisible(!sampling);
    row.spread->setVisible(sampling);
  }
  samples_->setVisible(sampling);
  seed_->setVisible(sampling);
  second_->setText(sampling ? "Second parameter (drawn too)" : "Second parameter");
}

void ScanDialog::TakeParameter(int axis) {
  AxisRow& row = rows_[axis];
  const int index = row.parameter->currentIndex();
  const GridStart grid = GridOver(index);
  row.log->setChecked(grid.log);
  if (Sampling()) {
    const SampleStart start = SampleAround(index, form_);
    row.spread->setCurrentText(start.spread);
    row.from->setText(start.a);
    row.to->setText(start.b);
    row.otherFrom = grid.from, row.otherTo = grid.to;
  } else {
    row.from->setText(grid.from);
    row.to->setText(grid.to);
    row.otherFrom.clear(), row.otherTo.clear();  // a sample, when asked for, spreads around the new value
  }
}

ScanDialogSettings ScanDialog::Settings() const {
  ScanDialogSettings s;
  s.study = study_->currentData().toString().toStdString();
  s.figure = figure_->currentText().toStdString();
  s.method = method_->currentData().toString().toStdString();
  s.sampling = Sampling();
  s.samples = samples_->value();
  s.seed = seed_->value();
  s.second = second_->isChecked();
  for (std::size_t a = 0; a < 2; ++a) {
    const AxisRow& row = rows_[a];
    s.axes[a] = {.parameter = row.parameter->currentText().toStdString(),
                 .from = row.from->text().toStdString(),
                 .to = row.to->text().toStdString(),
                 .points = row.points->value(),
                 .log = row.log->isChecked(),
                 .spread = row.spread->currentText().toStdString(),
                 .otherFrom = row.otherFrom.toStdString(),
                 .otherTo = row.otherTo.toStdString()};
  }
  return s;
}

ScanDialog::~ScanDialog() {
  stop_ = true;
  if (worker_.joinable()) worker_.join();
}

FigureMethod ScanDialog::Method() const {
  return method_->currentData().toString() == "curve" ? FigureMethod::Curve : FigureMethod::Exact;
}

const StudyEntry& ScanDialog::ChosenStudy() const {
  return *FindStudy(study_->currentData().toString().toStdString());
}

std::optional<std::vector<ScanAxis>> ScanDialog::Axes(std::string& error) const {
  std::vector<ScanAxis> axes;
  for (int a = 0; a < (second_->isChecked() ? 2 : 1); ++a) {
    const AxisRow& row = rows_[a];
    // The same reading as the batch tool's NAME=FROM:TO:N[:log] or NAME=SPREAD:A:B.
    std::string vary = row.parameter->currentText().toStdString() + "=";
    if (Sampling()) vary += row.spread->currentText().toStdString() + ":";
    vary += row.from->text().trimmed().toStdString() + ":" + row.to->text().trimmed().toStdString();
    if (!Sampling()) vary += ":" + std::to_string(row.points->value()) + (row.log->isChecked() ? ":log" : "");
    auto axis = ParseScanAxis(vary, error);
    if (!axis) return std::nullopt;
    axes.push_back(std::move(*axis));
  }
  if (axes.size() == 2 && axes[0].box == axes[1].box) {
    error = "the two parameters are the same";
    return std::nullopt;
  }
  return axes;
}

std::unique_ptr<ScanSetup> ScanDialog::Setup(std::string& error) const {
  auto axes = Axes(error);
  if (!axes) return nullptr;
  auto setup = std::make_unique<ScanSetup>();
  setup->grid.axes = std::move(*axes);
  if (Sampling()) {
    setup->grid.samples = samples_->value();
    setup->grid.seed = static_cast<std::uint64_t>(seed_->value());
  }
  setup->method = Method();
  setup->form = form_;
  setup->base = state_;
  if (auto problem = CheckScan(*setup, std::string(ChosenStudy().batchName))) {
    error = std::move(*problem);
    return nullptr;
  }
  return setup;
}

const ScanProbe& ScanDialog::Probe() {
  const std::string name(ChosenStudy().batchName);
  auto found = probes_.find(name);
  if (found == probes_.end()) {
    ScanSetup setup;
    setup.study = &ChosenStudy();
    setup.form = form_;
    setup.base = state_;
    found = probes_.emplace(name, ProbeScan(setup)).first;
  }
  return found->second;
}

void ScanDialog::UpdateEstimate() {
  if (Running()) return;
  std::string error;
  const auto axes = Axes(error);
  if (!axes) {
    estimate_->setText(Q("Cannot scan: " + error + "."));
    return;
  }
  ScanGrid grid{*axes};
  if (Sampling()) grid.samples = samples_->value();
  const ScanProbe& probe = Probe();
  if (probe.problem) {
    estimate_->setText(Q(std::to_string(grid.Cells()) +
                         " cells. The study fails at the form's values: " + OneLine(*probe.problem)));
    return;
  }
  const int threads = Threads();
  const double cell = Method() == FigureMethod::Exact ? probe.exactSeconds : probe.seconds;
  const double seconds = cell * static_cast<double>(grid.Cells()) / threads;
  estimate_->setText(Q(std::to_string(grid.Cells()) + " cells; about " + Duration(seconds) + " on " +
                       std::to_string(threads) + (threads == 1 ? " thread" : " threads") +
                       " (one cell takes " + Duration(cell) + ")."));
}

void ScanDialog::EnableInputs(bool enabled) {
  study_->setEnabled(enabled);
  figure_->setEnabled(enabled);
  method_->setEnabled(enabled);
  mode_->setEnabled(enabled);
  samples_->setEnabled(enabled);
  seed_->setEnabled(enabled);
  second_->setEnabled(enabled);
  for (int a = 0; a < 2; ++a) {
    const bool on = enabled && (a == 0 || second_->isChecked());
    for (QWidget* w : std::initializer_list<QWidget*>{rows_[a].parameter, rows_[a].from, rows_[a].to,
                                                      rows_[a].points, rows_[a].log, rows_[a].spread})
      w->setEnabled(on);
  }
  run_->setEnabled(enabled);
  cancel_->setText(enabled ? "Close" : "Cancel");
}

bool ScanDialog::Start() {
  if (Running()) return false;
  std::string error;
  auto setup = Setup(error);
  if (!setup) {
    ui_.ShowMessage("The scan cannot run: " + error + ".", "Scan", MessageIcon::Exclamation);
    return false;
  }
  // The study failing at the form's values does not stop a scan that moves away from them (each cell's row
  // says how it went); a study that could not even make its folder does.
  const ScanProbe& probe = Probe();
  if (probe.studyDir.empty()) {
    ui_.ShowMessage("The study fails at the form's values: " + OneLine(probe.problem.value_or("")), "Scan",
                    MessageIcon::Exclamation);
    return false;
  }
  std::string name = state_.id.studyName + (Sampling() ? "_sample" : "_scan");
  for (const ScanAxis& axis : setup->grid.axes) name += "_" + axis.name;
  const std::string path = probe.studyDir + name + ".csv";
  if (SomethingAt(path) && !ui_.Ask(Question::OverwriteResults, path)) return false;
  ScanRequest request;
  request.study = ChosenStudy().batchName;
  request.grid = setup->grid;
  request.method = setup->method;
  request.threads = Threads();
  request.form = form_;
  request.base = state_;
  request.file = path;
  request.existing = ExistingFile::Replace;  // the user has just said yes
  csvPath_ = path;
  setup_ = std::move(setup);
  stop_ = false;
  progress_->setRange(0, static_cast<int>(setup_->grid.Cells()));  // at most 10^7 cells
  progress_->setValue(0);
  status_->setText(Q("Scanning into " + path + " ..."));
  EnableInputs(false);
  // The engine runs on a thread of its own; its progress comes back to the dialog's thread as events, at
  // most every 50 ms, and its end calls Finish there.
  worker_ = std::thread([this, request = std::move(request)] {
    auto shown = std::chrono::steady_clock::now();
    ScanOutcome outcome = RunScanEngine(request, nullptr, [&](const ProgressReport& report) {
      const auto now = std::chrono::steady_clock::now();
      if (now - shown >= std::chrono::milliseconds(50) || report.done == report.of) {
        shown = now;
        QMetaObject::invokeMethod(
            this, [this, done = report.done] { progress_->setValue(static_cast<int>(done)); },
            Qt::QueuedConnection);
      }
      return stop_ ? CallbackReturn::Stop : CallbackReturn::Continue;
    });
    QMetaObject::invokeMethod(
        this, [this, outcome = std::move(outcome)] { Finish(outcome); }, Qt::QueuedConnection);
  });
  return true;
}

void ScanDialog::Cancel() {
  if (!Running()) return;
  stop_ = true;
  status_->setText("Stopping after the cells under way ...");
}

void ScanDialog::reject() {
  if (Running())
    Cancel();
  else
    QDialog::reject();
}

void ScanDialog::Finish(const ScanOutcome& outcome) {
  worker_.join();
  EnableInputs(true);
  const std::int64_t done = outcome.written;
  const std::int64_t total = setup_->grid.Cells();
  progress_->setValue(static_cast<int>(done));
  const bool ran =
      outcome.end == ScanEnd::Done || outcome.end == ScanEnd::CellsFailed || outcome.end == ScanEnd::Stopped;
  if (!ran) {
    ui_.ShowMessage((outcome.written > 0 ? "The scan stopped: " : "The scan cannot run: ") + outcome.message,
                    "Scan", MessageIcon::Critical);
    status_->setText("");
    if (outcome.written == 0) return;
  }
  setup_->colours.insert(outcome.colours.begin(), outcome.colours.end());

  std::string error;
  const auto file = ReadScanFile(csvPath_, error);
  if (!file) {
    ui_.ShowMessage("The scan cannot be drawn: " + error + ".", "Scan", MessageIcon::Exclamation);
  } else if (showPlot) {
    Picture picture;
    const std::string study(ChosenStudy().commandName);
    const std::vector<ScanAxis>& axes = setup_->grid.axes;
    const int figure = figure_->currentIndex();
    picture.caption = "Scan: " + study;
    picture.figure = kScanFigures[figure];
    if (axes.size() == 2 && setup_->grid.samples == 0) {
      auto map = std::make_shared<const ScanMap>(ScanMapOf(*file, axes, figure));
      picture.valueAt = [map](double x, double y) { return map->At(x, y); };
    }
    try {
      DrawScanPlot(*file, axes, figure, study, setup_->colours, picture.drawing);
      showPlot(picture);
    } catch (const CalcError& e) {
      ui_.ShowMessage(std::string("The scan cannot be drawn: ") + e.what(), "Scan", MessageIcon::Exclamation);
    }
  }
  if (done < total) {
    status_->setText(Q("Stopped after " + std::to_string(done) + " of " + std::to_string(total) +
                       " cells; the rows so far are in " + csvPath_ + "."));
    return;
  }
  status_->setText(Q("Done: " + std::to_string(total) + " cells in " + csvPath_ + "."));
  ui_.FilesSaved({csvPath_});
  if (outcome.end == ScanEnd::CellsFailed)
    ui_.ShowMessage("Some cells failed; their rows in " + csvPath_ + " say why.", "Scan",
                    MessageIcon::Exclamation);
  accept();
}

}  // namespace pelarin
