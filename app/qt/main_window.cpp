#include "app/qt/main_window.h"

#include <QApplication>
#include <QGuiApplication>
#include <QMenuBar>
#include <QMessageBox>
#include <QScreen>
#include <QScrollArea>
#include <QShortcut>

#include "app/commands.h"
#include "app/qt/help_window.h"
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

  // The form scrolls when the screen is too small to show it whole.
  auto* scroll = new QScrollArea;
  scroll->setWidget(form_);
  scroll->setWidgetResizable(true);
  scroll->setFrameShape(QFrame::NoFrame);
  scroll->setWindowTitle("Data");
  formWindow_ = AddChild(area_, scroll);
  formWindow_->setWindowTitle("Data");
  linlinWindow_ = AddChild(area_, linlin_);
  linlogWindow_ = AddChild(area_, linlog_);

  ui_ = std::make_unique<QtUi>(this, *form_, *linlin_, *linlog_, menus_);
  // The plot windows ask and tell through the same dialogs as every command.
  for (PlotWindowWidget* plot : {linlin_, linlog_}) {
    plot->SetAsker([this](const QString& text, const QString& title) {
      return ui_->AskYesNo(text.toStdString(), title.toStdString());
    });
    plot->SetNotifier([this](const QString& text, const QString& title) {
      ui_->ShowMessage(text.toStdString(), title.toStdString(), MessageIcon::Exclamation);
    });
  }
  BuildMenus();
  connect(form_, &ParameterFormWidget::calculationRequested, this,
          [this] { RunCalculationButton(state_, *ui_); });

  auto* f1 = new QShortcut(QKeySequence(Qt::Key_F1), this);
  f1->setContext(Qt::ApplicationShortcut);
  connect(f1, &QShortcut::activated, this, &MainWindow::OpenHelp);
}

MainWindow::~MainWindow() = default;

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
    RunCommand(*ui_, "Reading the parameters",
               [this] { static_cast<void>(ReadParameterForm(state_, *ui_)); });
  });
}

void MainWindow::AddStudyEntries(QMenu* menu, MenuItem parent) {
  for (const StudyMenuEntry& entry : menus_.StudyEntries()) {
    if (entry.parent != parent) continue;
    const MenuItem item = entry.item;
    QAction* action = AddEntry(menu, item, entry.caption);
    connect(action, &QAction::triggered, this, [this, item] { RunMenuCommand(state_, *ui_, item); });
  }
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
    connect(action, &QAction::triggered, this, [this, item] { RunMenuCommand(state_, *ui_, item); });
  }
  connect(fileEntry(M::Delete, {}), &QAction::triggered, this,
          [this] { RunMenuCommand(state_, *ui_, M::Delete); });
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
  const int H = available.height(), W = available.width();
  const int H23 = H * 2 / 3;
  showNormal();
  setGeometry(available.x(), available.y(), W, H);
  show();

  linlinWindow_->setGeometry(static_cast<int>(W / 2.03), static_cast<int>(H * 10.5 / 30),
                             static_cast<int>(W / 2.03), static_cast<int>(H23 / 1.15));
  linlin_->setWindowTitle("");
  linlinWindow_->setWindowTitle("");
  linlinWindow_->hide();

  linlogWindow_->setGeometry(0, static_cast<int>(H * 10.5 / 30), static_cast<int>(W / 2.03),
                             static_cast<int>(H23 / 1.15));
  linlog_->setWindowTitle("");
  linlogWindow_->setWindowTitle("");
  linlog_->SetUserCoordinates(0.1, 1, 1, 0.1);
  linlogWindow_->hide();

  formWindow_->showNormal();
  formWindow_->setGeometry(0, 0, static_cast<int>(W / 1.015), static_cast<int>(H / 2.85));
  formWindow_->show();
  form_->CalculationButton()->setVisible(true);

  if (state_.id.studyName.empty()) state_.id.studyName = "Test";
  form_->SetStudyName(state_.id.studyName);
}

void MainWindow::ShowHelpMessage() {
  ui_->ShowMessage("       For Help press F1", "       HELP", MessageIcon::None);
}

void MainWindow::ShowAbout() { ui_->ShowMessage(kAboutText, "Pelarin", MessageIcon::None); }

void MainWindow::OpenHelp() { help_->ShowDefaultTopic(); }

void MainWindow::Quit() {
  if (ui_->Ask(Question::Quit)) {
    QApplication::closeAllWindows();
    QApplication::quit();
  } else {
    StartUp();
  }
}

}  // namespace pelarin
