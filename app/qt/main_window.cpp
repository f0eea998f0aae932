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
#include "app/shell.h"
#include "plot/qt/plot_window_widget.h"

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

MDIForm1::MDIForm1(State& state, QWidget* parent)
    : QMainWindow(parent),
      state_(state),
      area_(new QMdiArea),
      data_(new DataForm),
      linlin_(new PlotWindowWidget(PlotId::linlin, state)),
      linlog_(new PlotWindowWidget(PlotId::linlog, state)),
      help_(new HelpWindow(this)) {
  setObjectName("MDIForm1");
  setWindowTitle("Simulation Pelarin");
  setCentralWidget(area_);
  area_->setBackground(QColor(0xAB, 0xAB, 0xAB));

  // The form scrolls when the screen is too small to show it whole.
  auto* scroll = new QScrollArea;
  scroll->setWidget(data_);
  scroll->setWidgetResizable(true);
  scroll->setFrameShape(QFrame::NoFrame);
  scroll->setWindowTitle("Data");
  dataWindow_ = AddChild(area_, scroll);
  dataWindow_->setWindowTitle("Data");
  linlinWindow_ = AddChild(area_, linlin_);
  linlogWindow_ = AddChild(area_, linlog_);

  ui_ = std::make_unique<QtUi>(this, *data_, *linlin_, *linlog_, menus_);
  // The plot windows ask and tell through the same dialogs as every command.
  for (PlotWindowWidget* plot : {linlin_, linlog_}) {
    plot->SetAsker([this](const QString& text, const QString& title) {
      return ui_->AskYesNo(text.toStdString(), title.toStdString(), MessageIcon::None);
    });
    plot->SetNotifier([this](const QString& text, const QString& title) {
      ui_->ShowMessage(text.toStdString(), title.toStdString(), MessageIcon::Exclamation);
    });
  }
  BuildMenus();
  connect(data_, &DataForm::calculationRequested, this, [this] { RunCalculationButton(state_, *ui_); });

  auto* f1 = new QShortcut(QKeySequence(Qt::Key_F1), this);
  f1->setContext(Qt::ApplicationShortcut);
  connect(f1, &QShortcut::activated, this, &MDIForm1::OpenHelp);
}

MDIForm1::~MDIForm1() = default;

QAction* MDIForm1::AddEntry(QMenu* menu, MenuItem item, const QKeySequence& shortcut) {
  QAction* action = menu->addAction(QString::fromStdString(InitialCaption(item)));
  action->setObjectName(QString("menu_%1").arg(static_cast<int>(item)));
  if (!shortcut.isEmpty()) action->setShortcut(shortcut);
  menus_.Bind(item, action);
  connect(action, &QAction::triggered, this, [this, item] { RunMenuCommand(state_, *ui_, item); });
  return action;
}

QMenu* MDIForm1::AddSubmenu(QMenu* parent, MenuItem item) {
  QMenu* menu = parent ? parent->addMenu(QString::fromStdString(InitialCaption(item)))
                       : menuBar()->addMenu(QString::fromStdString(InitialCaption(item)));
  menus_.Bind(item, menu->menuAction());
  return menu;
}

void MDIForm1::ReadParametersOnOpen(QMenu* menu) {
  // The study menus follow the photocurrents typed so far before they drop down.
  connect(menu, &QMenu::aboutToShow, this,
          [this] { RunCommand(*ui_, "Reading the parameters", [this] { ReadParameters(state_, *ui_); }); });
}

void MDIForm1::BuildMenus() {
  using M = MenuItem;
  QMenu* files = AddSubmenu(nullptr, M::Fichier);
  AddEntry(files, M::Charger, QKeySequence(Qt::CTRL | Qt::Key_O));
  AddEntry(files, M::Sauvegarde, QKeySequence(Qt::CTRL | Qt::Key_S));
  AddEntry(files, M::suppression);
  files->addSeparator();
  QAction* quit = files->addAction(QString::fromStdString(InitialCaption(M::Fin)));
  quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
  menus_.Bind(M::Fin, quit);
  connect(quit, &QAction::triggered, this, &MDIForm1::Quit);

  QMenu* calculations = AddSubmenu(nullptr, M::Calculs);
  ReadParametersOnOpen(calculations);
  AddEntry(calculations, M::Eachjunction);
  QMenu* all = AddSubmenu(calculations, M::Threejunctions);
  AddEntry(all, M::SansRf);
  AddEntry(all, M::AvecRl);
  QMenu* two = AddSubmenu(calculations, M::Twojunctions);
  AddEntry(two, M::TwojunctionsWoRf);
  AddEntry(two, M::TwojunctionWRf);
  QMenu* one = AddSubmenu(calculations, M::Onejunction);
  AddEntry(one, M::OnejonctionWoRf);
  AddEntry(one, M::OnejunctionWRf);

  QMenu* eqe = AddSubmenu(nullptr, M::test_artefact);
  ReadParametersOnOpen(eqe);
  QMenu* eqeAll = AddSubmenu(eqe, M::test_EQE_3junct);
  AddEntry(eqeAll, M::test_EQE_3junct_Ill);
  AddEntry(eqeAll, M::test_EQE_3junct_Dark);
  QMenu* eqeTwo = AddSubmenu(eqe, M::calc_EQE_2junct);
  AddEntry(eqeTwo, M::test_EQE_2junct_1and2_Ill);
  AddEntry(eqeTwo, M::test_EQE_2junct_1and3_Ill);
  AddEntry(eqeTwo, M::test_EQE_2junct_2and3_Ill);

  QMenu* question = AddSubmenu(nullptr, M::Question);
  QAction* help = question->addAction(QString::fromStdString(InitialCaption(M::aidenligne)));
  menus_.Bind(M::aidenligne, help);
  connect(help, &QAction::triggered, this, &MDIForm1::ShowHelpMessage);
  QAction* about = question->addAction(QString::fromStdString(InitialCaption(M::createur)));
  menus_.Bind(M::createur, about);
  connect(about, &QAction::triggered, this, &MDIForm1::ShowAbout);
}

void MDIForm1::StartUp() {
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

  dataWindow_->showNormal();
  dataWindow_->setGeometry(0, 0, static_cast<int>(W / 1.015), static_cast<int>(H / 2.85));
  dataWindow_->show();
  data_->CalculationButton()->setVisible(true);

  if (state_.id.studyName.empty()) state_.id.studyName = "Test";
  data_->SetText2(state_.id.studyName);
}

void MDIForm1::ShowHelpMessage() {
  ui_->ShowMessage("       For Help press F1", "       HELP", MessageIcon::None);
}

void MDIForm1::ShowAbout() { ui_->ShowMessage(kAboutText, "Pelarin", MessageIcon::None); }

void MDIForm1::OpenHelp() { help_->ShowDefaultTopic(); }

void MDIForm1::Quit() {
  if (ui_->AskYesNo("     Do you want to quit ?", "     **  End of the study  **", MessageIcon::None)) {
    QApplication::closeAllWindows();
    QApplication::quit();
  } else {
    StartUp();
  }
}

}  // namespace pelarin
