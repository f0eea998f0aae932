#include "app/qt/main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLayout>
#include <QMenuBar>
#include <QMessageBox>
#include <QScreen>
#include <QScrollArea>
#include <QShortcut>
#include <QStatusBar>
#include <QStyle>
#include <algorithm>
#include <filesystem>

#include "app/commands.h"
#include "app/qt/fit_dialog.h"
#include "app/qt/help_window.h"
#include "app/qt/scan_dialog.h"
#include "plot/qt/plot_window_widget.h"
#include "studies/study_registry.h"
#include "workspace/read_parameters.h"

namespace pelarin {
namespace {

// The about box's four lines.
constexpr const char* kAboutText =
    "Pelarin 1.0\n"
    "Dr. Ilse Marrow\n"
    "Laboratory of Photovoltaic Devices, Varenne Institute of Technology\n"
    "pelarin@varenne-pv.example.org";

QMdiSubWindow* AddChild(QMdiArea* area, QWidget* widget) {
  QMdiSubWindow* sub = area->addSubWindow(widget);
  sub->setAttribute(Qt::WA_DeleteOnClose, false);
  return sub;
}

}  // namespace

MainWindow::MainWindow(State& state, QWidget* parent)
    : QMainWindow(parent),
      state_(state),
      area_(new QMdiArea),
      form_(new ParameterFormWidget),
      linlin_(new PlotWindowWidget(PlotId::linlin, state)),
      linlog_(new PlotWindowWidget(PlotId::linlog, state)),
      help_(new HelpWindow(this)),
      menus_(StudyMenuEntries()) {
  setObjectName("MainWindow");
  setWindowTitle("Simulation Pelarin");
  setCentralWidget(area_);
  area_->setBackground(QColor(0xAB, 0xAB, 0xAB));

  // The form scrolls only when the screen is too small to show it whole.
  formScroll_ = new QScrollArea;
  formScroll_->setWidget(form_);
  formScroll_->setWidgetResizable(true);
  formScroll_->setFrameShape(QFrame::NoFrame);
  formScroll_->setWindowTitle("Data");
  formWindow_ = AddChild(area_, formScroll_);
  formScroll_->viewport()->installEventFilter(this);
  formWindow_->setWindowTitle("Data");
  linlinWindow_ = AddChild(area_, linlin_);
  linlogWindow_ = AddChild(area_, linlog_);

  ui_ = std::make_unique<QtUi>(this, *form_, *linlin_, *linlog_, menus_);
  // Questions stand over the form, clear of the plots; the status bar says where the last files went.
  ui_->SetQuestionAnchor(formWindow_);
  statusBar()->setObjectName("statusBar");
  ui_->showStatus = [this](const QString& text) { statusBar()->showMessage(text); };
  for (PlotWindowWidget* plot : {linlin_, linlog_}) WirePlot(plot);
  BuildMenus();
  connect(form_, &ParameterFormWidget::calculationRequested, this,
          [this] { StartMenuCommand(MenuItemOf(*FindStudy("independent"))); });

  // A running command shows in the status bar with a Stop button; Escape stops it too.
  runner_ = std::make_unique<StudyRunner>(*ui_);
  commandStatus_ = new CommandStatus(*runner_);
  statusBar()->addPermanentWidget(commandStatus_);
  escape_ = new QShortcut(QKeySequence(Qt::Key_Escape), this);
  escape_->setContext(Qt::WindowShortcut);
  escape_->setEnabled(false);
  menuBar()->installEventFilter(this);
  connect(escape_, &QShortcut::activated, commandStatus_, &CommandStatus::Stop);
  connect(runner_.get(), &StudyRunner::started, this, [this] { SetBusy(true); });
  connect(runner_.get(), &StudyRunner::finished, this, [this] {
    SetBusy(false);
    // The plots show the study just run, or what is left of a failed one.
    if (!IsStudyItem(lastItem_)) return;
    // After a study that failed or was stopped, the curves shown are not the form's cell: the captions say
    // so.
    if (!lastRan_)
      for (PlotWindowWidget* plot : {linlin_, linlog_}) {
        static const std::string kStale = "   [the last study did not finish: not the form's cell]";
        if (!plot->Drawing().Ops().empty() && !plot->caption.ends_with(kStale))
          plot->SetCaption(plot->caption + kStale);
      }
    const StudyEntry* study = nullptr;
    for (const StudyEntry& entry : Studies())
      if (MenuItemOf(entry) == lastItem_ && lastRan_) study = &entry;
    const auto& legend = linlin_->Drawing().Legend();
    const bool overlaid =
        std::any_of(legend.begin(), legend.end(), [](const LegendEntry& e) { return e.hollow; });
    live_->SetShownStudy(study, overlaid ? ui_->lastMeasuredData : std::nullopt);
  });

  live_ = std::make_unique<LiveCurves>(state_, *form_, *linlin_, *linlog_);
  live_->showStatus = [this](const QString& text) { statusBar()->showMessage(text); };
  connect(form_, &ParameterFormWidget::boxEdited, live_.get(), &LiveCurves::BoxEdited);
  connect(form_, &ParameterFormWidget::boxCommitted, live_.get(), &LiveCurves::Recompute);
  // The incident power changes the legends' efficiencies.
  connect(form_->IncidentPowerBox(), &QLineEdit::textEdited, live_.get(), &LiveCurves::BoxEdited);
  connect(form_->IncidentPowerBox(), &QLineEdit::returnPressed, live_.get(), &LiveCurves::Recompute);
  connect(form_->LiveBox(), &QCheckBox::toggled, this, &MainWindow::SetLive);

  auto* f1 = new QShortcut(QKeySequence(Qt::Key_F1), this);
  f1->setContext(Qt::ApplicationShortcut);
  connect(f1, &QShortcut::activated, this, &MainWindow::OpenHelp);
}

MainWindow::~MainWindow() {
  // The threads may still reach the window's parts: they end first.
  runner_.reset();
  live_.reset();
}

void MainWindow::WirePlot(PlotWindowWidget* plot) {
  // The plot windows ask and tell through the same dialogs as every command.
  plot->SetAsker([this](const QString& text, const QString& title) {
    return ui_->AskYesNo(text.toStdString(), title.toStdString());
  });
  plot->SetNotifier([this](const QString& text, const QString& title) {
    ui_->ShowMessage(text.toStdString(), title.toStdString(), MessageIcon::Exclamation);
  });
  plot->SetSavedListener([this](const QString& path) { ui_->FilesSaved({path.toStdString()}); });
}

QAction* MainWindow::AddEntry(QMenu* menu, MenuItem item, std::string_view caption) {
  QAction* action =
      menu->addAction(QString::fromUtf8(caption.data(), static_cast<qsizetype>(caption.size())));
  action->setObjectName(QString("menu_%1").arg(static_cast<int>(item)));
  menus_.Bind(item, action);
  return action;
}

QMenu* MainWindow::AddSubmenu(QMenu* parent, MenuItem item) {
  const std::string_view caption = FixedCaption(item);
  const QString text = QString::fromUtf8(caption.data(), static_cast<qsizetype>(caption.size()));
  QMenu* menu = parent ? parent->addMenu(text) : menuBar()->addMenu(text);
  menus_.Bind(item, menu->menuAction());
  return menu;
}

void MainWindow::ReadParametersOnOpen(QMenu* menu) {
  // The study menus follow the photocurrents typed so far before they drop down. A box that cannot be used
  // is only marked here: the study that needs it says so.
  connect(menu, &QMenu::aboutToShow, this, [this] {
    if (runner_->Running()) return;  // the state is the running command's
    RunCommand(*ui_, "Reading the parameters",
               [this] { static_cast<void>(ReadParameterForm(state_, *ui_)); });
  });
}

void MainWindow::AddStudyEntries(QMenu* menu, MenuItem parent) {
  for (const StudyMenuEntry& entry : menus_.StudyEntries()) {
    if (entry.parent != parent) continue;
    const MenuItem item = entry.item;
    QAction* action = AddEntry(menu, item, entry.caption);
    connect(action, &QAction::triggered, this, [this, item] { StartMenuCommand(item); });
  }
}

bool MainWindow::StartCommand(const QString& name, const std::function<bool(pelarin::Ui& ui)>& command) {
  if (runner_->Running()) {
    statusBar()->showMessage(runner_->Name() +
                             " is still computing: wait for it, or press Escape to stop it.");
    return false;
  }
  if (!ReadIncidentPowerBox()) return false;
  live_->Settle();  // the state is the command's from now on
  return runner_->Start(name, [this, command](pelarin::Ui& ui, const std::atomic<bool>& stop) {
    // The searches end at their next evaluation once stop is set.
    state_.ws.stop = &stop;
    state_.id.studyDirMade = false;
    const bool ran = command(ui);
    state_.ws.stop = nullptr;
    // A study that failed or was stopped leaves no study folder it made and left empty.
    std::error_code ec;
    if (!ran && state_.id.studyDirMade && std::filesystem::is_empty(state_.id.studyDir, ec))
      std::filesystem::remove(state_.id.studyDir, ec);
  });
}

bool MainWindow::StartMenuCommand(MenuItem item) {
  QString name;
  for (const MenuItem file : {MenuItem::Open, MenuItem::Save, MenuItem::Delete})
    if (item == file) {
      const std::string_view caption = FixedCaption(item);
      name = QString::fromUtf8(caption.data(), static_cast<qsizetype>(caption.size())).remove('&');
    }
  bool study = false;
  for (const StudyEntry& entry : Studies())
    if (MenuItemOf(entry) == item) {
      name = QString::fromUtf8(entry.commandName.data(), static_cast<qsizetype>(entry.commandName.size()));
      study = true;
    }
  const bool started = StartCommand(
      name, [this, item](pelarin::Ui& ui) { return lastRan_ = RunMenuCommand(state_, ui, item); });
  if (started) lastItem_ = item;
  // A study draws on the study plots: the scan's and the fit's plots, which open over them, step behind.
  if (started && study)
    for (QMdiSubWindow* other : {scanPlotWindow_, fitPlotWindow_[0], fitPlotWindow_[1]})
      if (other) other->lower();
  return started;
}

void MainWindow::SetLive(bool on) {
  QAction* entry = menus_.Action(MenuItem::Live);
  const QSignalBlocker quietEntry(entry), quietBox(form_->LiveBox());
  entry->setChecked(on);
  form_->LiveBox()->setChecked(on);
  live_->SetOn(on);
}

std::vector<PlotWindowWidget*> MainWindow::PlotWidgets() const {
  std::vector<PlotWindowWidget*> plots = {linlin_, linlog_};
  for (PlotWindowWidget* plot : {scanPlot_, fitPlot_[0], fitPlot_[1]})
    if (plot) plots.push_back(plot);
  return plots;
}

void MainWindow::SetBusy(bool busy) {
  form_->setEnabled(!busy);
  for (const MenuItem item :
       {MenuItem::Open, MenuItem::Save, MenuItem::Delete, MenuItem::Calculations, MenuItem::Eqe})
    if (QAction* action = menus_.Action(item)) action->setEnabled(!busy);
  // A drag or a read-out would move the drag point the running study sets.
  for (PlotWindowWidget* plot : PlotWidgets()) plot->setAttribute(Qt::WA_TransparentForMouseEvents, busy);
  escape_->setEnabled(busy);
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (runner_->Running()) {
    if (!ui_->AskYesNo(runner_->Name().toStdString() + " is still computing. Stop it and close the window?",
                       "Pelarin")) {
      event->ignore();
      return;
    }
    runner_->StopQuietly();
    runner_->Wait();
  }
  QMainWindow::closeEvent(event);
}

void MainWindow::BuildMenus() {
  using M = MenuItem;
  QMenu* files = AddSubmenu(nullptr, M::Files);
  const auto fileEntry = [&](MenuItem item, const QKeySequence& shortcut) {
    QAction* action = AddEntry(files, item, FixedCaption(item));
    action->setShortcut(shortcut);
    return action;
  };
  for (const MenuItem item : {M::Open, M::Save}) {
    QAction* action =
        fileEntry(item, QKeySequence(item == M::Open ? Qt::CTRL | Qt::Key_O : Qt::CTRL | Qt::Key_S));
    connect(action, &QAction::triggered, this, [this, item] { StartMenuCommand(item); });
  }
  connect(fileEntry(M::Delete, {}), &QAction::triggered, this, [this] { StartMenuCommand(M::Delete); });
  files->addSeparator();
  connect(fileEntry(M::Quit, QKeySequence(Qt::CTRL | Qt::Key_Q)), &QAction::triggered, this,
          &MainWindow::Quit);

  // The study menus: entries that sit directly in a menu come before its submenus.
  for (const MenuItem top : {M::Calculations, M::Eqe}) {
    QMenu* menu = AddSubmenu(nullptr, top);
    ReadParametersOnOpen(menu);
    AddStudyEntries(menu, top);
    for (const FixedMenuEntry& sub : kFixedMenuEntries) {
      if (sub.parent != top || sub.item == top) continue;
      AddStudyEntries(AddSubmenu(menu, sub.item), sub.item);
    }
    if (top == M::Calculations) {
      menu->addSeparator();
      connect(AddEntry(menu, M::Scan, "S&can..."), &QAction::triggered, this, &MainWindow::OpenScanDialog);
      connect(AddEntry(menu, M::Fit, "&Fit to measured data..."), &QAction::triggered, this,
              &MainWindow::OpenFitDialog);
      menu->addSeparator();
      QAction* live = AddEntry(menu, M::Live, "&Live curves");
      live->setCheckable(true);
      connect(live, &QAction::toggled, this, &MainWindow::SetLive);
    }
  }

  QMenu* question = AddSubmenu(nullptr, M::Question);
  connect(AddEntry(question, M::Help, FixedCaption(M::Help)), &QAction::triggered, this,
          &MainWindow::ShowHelpMessage);
  connect(AddEntry(question, M::About, FixedCaption(M::About)), &QAction::triggered, this,
          &MainWindow::ShowAbout);
}

void MainWindow::StartUp() {
  show();
  ResetStartUpConstants(state_);

  const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
  const QRect available = screen->availableGeometry();
  showNormal();
  setGeometry(available);
  show();
  // The area inside the menu bar and the status bar, once the window has its size.
  layout()->activate();
  LayOut(area_->size());
  linlin_->setWindowTitle("");
  linlinWindow_->setWindowTitle("");
  linlinWindow_->hide();
  linlog_->setWindowTitle("");
  linlogWindow_->setWindowTitle("");
  linlog_->SetUserCoordinates(0.1, 1, 1, 0.1);
  linlogWindow_->hide();
  formWindow_->show();
  form_->CalculationButton()->setVisible(true);

  if (state_.id.studyName.empty()) state_.id.studyName = "Test";
  form_->SetStudyName(state_.id.studyName);
}

void MainWindow::LayOut(QSize area) {
  const int H = area.height(), W = area.width();
  // The form spans the top; below it the lin-log plot on the left half, the linear plot on the right.
  formWindow_->showNormal();
  const QStyle* style = formWindow_->style();
  const int frame = style->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, formWindow_) +
                    2 * style->pixelMetric(QStyle::PM_MdiSubWindowFrameWidth, nullptr, formWindow_);
  const int formHeight = std::max(static_cast<int>(H / 2.85), form_->minimumSizeHint().height() + frame);
  formWindow_->setGeometry(0, 0, static_cast<int>(W / 1.015), formHeight);
  // The plots take the height left below the form.
  const int plotTop = std::max(static_cast<int>(H * 10.5 / 30), formHeight);
  const int plotHeight = std::max(H - plotTop, H / 4);
  const int plotWidth = static_cast<int>(W / 2.03);
  linlinWindow_->setGeometry(plotWidth, plotTop, plotWidth, plotHeight);
  linlogWindow_->setGeometry(0, plotTop, plotWidth, plotHeight);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == formScroll_->viewport() && event->type() == QEvent::Resize)
    form_->FitWidth(formScroll_->viewport()->width());
  // A menu closed by Escape leaves the menu bar highlighted, and the bar takes the next Escape for
  // itself. While a command runs that Escape also stops it, so one press is enough as everywhere else.
  if (watched == menuBar() && event->type() == QEvent::ShortcutOverride && escape_->isEnabled() &&
      static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape && !QApplication::activePopupWidget())
    commandStatus_->Stop();
  return QMainWindow::eventFilter(watched, event);
}

void MainWindow::ShowHelpMessage() {
  ui_->ShowMessage("       For Help press F1", "       HELP", MessageIcon::None);
}

void MainWindow::ShowAbout() { ui_->ShowMessage(kAboutText, "Pelarin", MessageIcon::None); }

void MainWindow::OpenHelp() { help_->ShowDefaultTopic(); }

bool MainWindow::ReadIncidentPowerBox() {
  // Every face reads the power by one rule; a box that holds no power above 0 stops the command, as a
  // parameter box that cannot be used does.
  const std::optional<double> power = form_->IncidentPower();
  if (!power) {
    ui_->ShowMessage("The incident power needs a power above 0 in mW/cm2 (got \"" +
                         form_->IncidentPowerBox()->text().toStdString() + "\").",
                     "Pelarin", MessageIcon::Exclamation);
    return false;
  }
  state_.figures.incidentPower = *power;
  return true;
}

void MainWindow::OpenScanDialog() {
  // The scan starts from the form as typed, with the incident power and the study name of the form.
  if (!ReadIncidentPowerBox()) return;
  ScanDialog dialog(state_, *form_, *ui_, scanSettings_, this);
  dialog.showPlot = [this, &dialog](const ScanDialog::Picture& picture) {
    if (!scanPlot_) {
      scanPlot_ = new PlotWindowWidget(PlotId::linlin, state_);
      scanPlot_->setObjectName("scanPlot");
      scanPlot_->SetMeasuring(false);  // slopes of a figure against a parameter are no resistance
      WirePlot(scanPlot_);
      scanPlotWindow_ = AddChild(area_, scanPlot_);
      // Where the lit plot stands: inside the window and below the form, never cascaded past the edge.
      scanPlotWindow_->setGeometry(linlinWindow_->geometry());
    }
    scanPlot_->Clear();
    picture.drawing.Replay(*scanPlot_);
    scanPlot_->SetCaption(picture.caption);
    scanPlot_->SetReadoutValue(picture.figure, picture.valueAt);
    const std::string& csv = dialog.CsvPath();
    scanPlot_->SetFileStem(QString::fromStdString(csv.substr(0, csv.size() - 4)));
    scanPlot_->Show();
    scanPlotWindow_->raise();
  };
  if (onScanDialog) onScanDialog(dialog);
  dialog.exec();
  scanSettings_ = dialog.Settings();
}

void MainWindow::OpenFitDialog() {
  // The fit starts from the form as typed.
  FitDialog dialog(state_, *form_, *ui_, this);
  dialog.showPlot = [this](const FitDialog::Picture& picture) {
    const bool dark = picture.which == fit::FitPicture::Dark;
    const int k = static_cast<int>(dark ? PlotId::linlog : PlotId::linlin);
    if (!fitPlot_[k]) {
      fitPlot_[k] = new PlotWindowWidget(dark ? PlotId::linlog : PlotId::linlin, state_);
      fitPlot_[k]->setObjectName(dark ? "fitDarkPlot" : "fitPlot");
      WirePlot(fitPlot_[k]);
      fitPlotWindow_[k] = AddChild(area_, fitPlot_[k]);
      // Over the study plot of its kind, below the form: its buttons and the Live switch stay in sight.
      fitPlotWindow_[k]->setGeometry((dark ? linlogWindow_ : linlinWindow_)->geometry());
    }
    PlotWindowWidget* plot = fitPlot_[k];
    // A drag measures a resistance on the lit curves and an ideality factor on the dark ones; residuals
    // have neither.
    plot->SetMeasuring(picture.which != fit::FitPicture::Residuals);
    plot->Clear();
    picture.drawing.Replay(*plot);
    plot->SetCaption(picture.caption);
    plot->SetFileStem(QString::fromStdString(picture.fileStem));
    plot->Show();
    fitPlotWindow_[k]->raise();
  };
  if (onFitDialog) onFitDialog(dialog);
  dialog.exec();
}

void MainWindow::Quit() {
  if (ui_->Ask(Question::Quit)) {
    QApplication::closeAllWindows();
    if (runner_->Running()) return;  // the running command was not to be stopped
    QApplication::quit();
  } else {
    StartUp();
  }
}

}  // namespace pelarin
