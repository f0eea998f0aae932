// The main window built offscreen: menu tree, parameter form, start-up layout, quit, help and errors.
#include "app/qt/main_window.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLayout>
#include <QLineEdit>
#include <QMdiArea>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include "app/commands.h"
#include "app/qt/help_window.h"
#include "model/calc_error.h"
#include "plot/qt/plot_window_widget.h"
#include "studies/study_registry.h"

using namespace pelarin;

class MainWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    state_ = std::make_unique<State>();
    window_ = std::make_unique<MainWindow>(*state_);
    window_->StartUp();
    window_->Ui().hooks.ask = [this](Question question, const std::string& subject) {
      const QuestionText asked = TextOf(question);
      asked_.push_back(
          QString::fromStdString(QuestionMessage(question, subject) + "|" + std::string(asked.title)));
      if (answers_.isEmpty()) qFatal("unexpected question %s", std::string(asked.text).c_str());
      return answers_.takeFirst();
    };
    window_->Ui().hooks.message = [this](const std::string& text, const std::string& title) {
      messages_.push_back(QString::fromStdString(text + "|" + title));
    };
  }
  void cleanup() {
    window_.reset();
    asked_.clear();
    messages_.clear();
    answers_.clear();
  }

  void menuTree_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("shortcut");
    QTest::newRow("open") << "&Files/&Open"
                          << "Ctrl+O";
    QTest::newRow("save") << "&Files/&Save"
                          << "Ctrl+S";
    QTest::newRow("delete") << "&Files/&Delete"
                            << "";
    QTest::newRow("quit") << "&Files/&Quit"
                          << "Ctrl+Q";
    QTest::newRow("independent") << "&Calculations/&Independent"
                                 << "";
    QTest::newRow("all without") << "&Calculations/&All junctions/Without Rl"
                                 << "";
    QTest::newRow("all with") << "&Calculations/&All junctions/With Rl + Rg"
                              << "";
    QTest::newRow("two without") << "&Calculations/&2 junctions/Without Rl"
                                 << "";
    QTest::newRow("two with") << "&Calculations/&2 junctions/With Rl + Rg"
                              << "";
    QTest::newRow("one without") << "&Calculations/&1 junction/Without Rl"
                                 << "";
    QTest::newRow("one with") << "&Calculations/&1 junction/With Rl + Rg"
                              << "";
    QTest::newRow("eqe ill") << "EQE/All junctions/Illuminated"
                             << "";
    QTest::newRow("eqe dark") << "EQE/All junctions/Dark"
                              << "";
    QTest::newRow("eqe 12") << "EQE/2 junctions/1 and 2 Illuminated"
                            << "";
    QTest::newRow("eqe 13") << "EQE/2 junctions/1 and 3 Illuminated"
                            << "";
    QTest::newRow("eqe 23") << "EQE/2 junctions/2 and 3 Illuminated"
                            << "";
    QTest::newRow("help") << "?/Help"
                          << "";
    QTest::newRow("about") << "?/About"
                           << "";
  }
  void menuTree() {
    QFETCH(QString, path);
    QFETCH(QString, shortcut);
    QAction* action = Find(path);
    QVERIFY2(action, qPrintable("missing menu entry " + path));
    QCOMPARE(action->shortcut().toString(), shortcut);
  }

  void topLevelMenusInOrder() {
    QStringList titles;
    for (QAction* action : window_->menuBar()->actions()) titles << action->text();
    QCOMPARE(titles, QStringList({"&Files", "&Calculations", "EQE", "?"}));
  }

  void formShowsDefaultsAndStudyName() {
    ParameterFormWidget* data = window_->FormWidget();
    QCOMPARE(window_->windowTitle(), QString("Simulation Pelarin"));
    const char* expected[26] = {"5",    "5000",  "0.008", "40e-12", "400e-9", "1", "2",
                                "5",    "10000", "0.012", "1e-12",  "80e-9",  "1", "2",
                                "5",    "500",   "0.016", "50e-9",  "1e-6",   "1", "2",
                                "1e12", "1e12",  "1e12",  "1e12",   "1e12"};
    for (int i = 0; i < 26; ++i) QCOMPARE(data->Box(i)->text(), QString(expected[i]));
    QCOMPARE(data->StudyNameBox()->text(), QString("Test"));
    QCOMPARE(data->CalculationButton()->text(), QString("Calculation"));
    QVERIFY(data->CalculationButton()->isVisible());
    // Junction colours: Bottom red, Middle green, Top blue.
    QVERIFY(data->Box(0)->styleSheet().contains("#ff0000"));
    QVERIFY(data->Box(9)->styleSheet().contains("#00c000"));
    QVERIFY(data->Box(20)->styleSheet().contains("#0000ff"));
  }

  // At start only the form shows, across the top of the screen; the two plots wait below it, the lin-log
  // plot on the left half and the lin-lin plot on the right, side by side without overlapping.
  void startUpLayout() {
    const QRect screen = window_->screen()->availableGeometry();
    const QRect form = window_->FormWindow()->geometry();
    const QRect linlin = window_->LinlinWindow()->geometry(), linlog = window_->LinlogWindow()->geometry();
    QVERIFY(!window_->LinlinWindow()->isVisible());
    QVERIFY(!window_->LinlogWindow()->isVisible());
    QVERIFY(window_->FormWindow()->isVisible());
    QCOMPARE(form.topLeft(), QPoint(0, 0));
    QVERIFY(form.width() > screen.width() * 9 / 10);
    for (const QRect& plot : {linlin, linlog}) {
      QVERIFY(plot.top() >= form.bottom());
      QVERIFY(plot.width() > screen.width() * 2 / 5 && plot.height() > screen.height() / 2);
      QVERIFY(screen.contains(plot));
    }
    QCOMPARE(linlog.left(), 0);
    QVERIFY(linlin.left() > linlog.right() && linlin.center().x() > screen.center().x());
    QCOMPARE(linlin.top(), linlog.top());
  }

  void quitNoRestoresTheLayoutAndKeepsTheBoxes() {
    window_->FormWidget()->Box(2)->setText("0.009");
    window_->LinlinWindow()->show();
    window_->FormWindow()->setGeometry(40, 50, 300, 200);
    state_->k.cycleLimit = 3;
    answers_ << false;
    window_->Quit();
    QCOMPARE(asked_, QStringList({"     Do you want to quit ?|     **  End of the study  **"}));
    QVERIFY(!window_->LinlinWindow()->isVisible());
    QCOMPARE(window_->FormWindow()->geometry().topLeft(), QPoint(0, 0));
    QCOMPARE(window_->FormWidget()->Box(2)->text(), QString("0.009"));
    QCOMPARE(state_->k.cycleLimit, 7);
    QVERIFY(window_->isVisible());
  }

  void openingCalculationsReadsTheParametersAndAdaptsTheMenus() {
    window_->FormWidget()->Box(9)->setText("0");
    QMenu* calculations = Find("&Calculations")->menu();
    QVERIFY(calculations);
    emit calculations->aboutToShow();
    QCOMPARE(state_->par.Jsc2, 0.0);
    QAction* two = window_->Menus().Action(MenuItem::TwoJunctions);
    QCOMPARE(two->text(), QString("******"));
    QVERIFY(!two->isEnabled());
    QCOMPARE(window_->Menus().Action(MenuItemOf(*FindStudy("eqe-13")))->text(), QString("3 illuminated"));
    window_->FormWidget()->Box(9)->setText("0,012");
    emit Find("EQE")->menu()->aboutToShow();
    QCOMPARE(state_->par.Jsc2, 0.012);
    QCOMPARE(window_->FormWidget()->Box(9)->text(), QString("0.012"));
    QVERIFY(window_->Menus().Action(MenuItem::TwoJunctions)->isEnabled());
  }

  // A box marks itself as it is typed into; opening a menu marks the boxes and says nothing; a study refuses
  // to start with one message that names every bad box; mending a box takes its mark away.
  void badBoxesAreMarkedAndAStudyNamesThemAll() {
    QLineEdit* jsc1 = window_->FormWidget()->Box(2);
    QLineEdit* rp2 = window_->FormWidget()->Box(8);
    jsc1->selectAll();
    QTest::keyClicks(jsc1, "abc");
    QCOMPARE(jsc1->toolTip(), QString("\"abc\" is not a number"));
    QVERIFY(jsc1->styleSheet().contains("border: 2px solid #FF0000"));
    rp2->setText("-100");  // set by the program, not typed: marked when the form is next read
    QVERIFY(rp2->toolTip().isEmpty());
    emit Find("&Calculations")->menu()->aboutToShow();
    QVERIFY2(messages_.isEmpty(), qPrintable(messages_.join('\n')));
    QCOMPARE(rp2->toolTip(), QString("a resistance cannot be negative (\"-100\")"));
    Find("&Calculations/&All junctions/Without Rl")->trigger();
    window_->WaitForCommand();
    QCOMPARE(messages_,
             QStringList({"All junctions without Rl did not start: these boxes hold no value a cell can "
                          "have:\nJsc1: \"abc\" is not a number.\nRp2: a resistance cannot be negative "
                          "(\"-100\").|Input error"}));
    QVERIFY(!window_->LinlinWindow()->isVisible());
    jsc1->selectAll();
    QTest::keyClicks(jsc1, "0,008");
    QVERIFY(jsc1->toolTip().isEmpty());
    QVERIFY(!jsc1->styleSheet().contains("border"));
    QVERIFY(jsc1->styleSheet().contains("color: #ff0000"));
  }

  void helpAboutAndF1() {
    Find("?/Help")->trigger();
    Find("?/About")->trigger();
    QCOMPARE(messages_.size(), 2);
    QCOMPARE(messages_[0], QString("       For Help press F1|       HELP"));
    const QStringList about = messages_[1].section('|', 0, 0).split('\n');
    QCOMPARE(about.size(), 4);
    QCOMPARE(about[0], QString("Pelarin 1.0"));
    QVERIFY(about[3].contains('@'));
    QVERIFY(!window_->Help()->isVisible());
    QApplication::setActiveWindow(window_.get());
    QVERIFY(QTest::qWaitForWindowActive(window_.get()));
    window_->FormWidget()->Box(0)->setFocus();
    QTest::keyClick(window_->FormWidget()->Box(0), Qt::Key_F1);
    QVERIFY(window_->Help()->isVisible());
    QVERIFY(window_->Help()->toPlainText().contains("Parameters"));
    QVERIFY(window_->Help()->toPlainText().contains("Ideality factor"));
  }

  // The help names the controls of the window as they are captioned.
  void theHelpNamesTheLiveSwitchAndTheStopButton() {
    window_->OpenHelp();
    const QString help = window_->Help()->toPlainText();
    const QStringList controls = {window_->FormWidget()->LiveBox()->text(),
                                  window_->Menus().Action(MenuItem::Live)->text().remove('&'),
                                  window_->StopButton()->text(), "Escape", "Shift"};
    for (const QString& control : controls) QVERIFY2(help.contains(control), qPrintable(control));
  }

  void aCommandErrorIsShownAndTheWindowGoesOn() {
    const bool ran = RunCommand(window_->Ui(), "Test command", [] { throw CalcError("CalcV: overflow"); });
    QVERIFY(!ran);
    QCOMPARE(messages_.size(), 1);
    // Said in the user's words: what was searched for, not the routine.
    QVERIFY2(messages_[0].contains("the search for a junction's voltage at its current: overflow"),
             qPrintable(messages_[0]));
    QVERIFY(!messages_[0].contains("CalcV"));
    QVERIFY(window_->isVisible());
  }

  void calculationButtonRunsTheIndependentStudy() {
    QTemporaryDir temp;
    QVERIFY(temp.isValid());
    const QString startDir = QDir::currentPath();
    QDir::setCurrent(temp.path());
    answers_ << true;  // save the data
    window_->Ui().hooks.file = [&](const FileDialogRequest& request,
                                   bool save) -> std::optional<std::string> {
      if (!save || request.kind != FileKind::ParameterFile) qFatal("unexpected file dialog");
      return (temp.path() + "/cellA.plr").toStdString();
    };
    QTest::mouseClick(window_->FormWidget()->CalculationButton(), Qt::LeftButton);
    window_->WaitForCommand();
    QDir::setCurrent(startDir);
    QCOMPARE(asked_, QStringList({"     Do you want to save the data ?|     **  Recording  **"}));
    QVERIFY2(messages_.isEmpty(), qPrintable(messages_.join('\n')));
    const QDir folder(temp.path() + "/Test_plr");
    for (const char* name : {"cellA_J(V)_#1.txt", "cellA_J(V)_#2.txt", "cellA_J(V)_#3.txt",
                             "cellA_J(V)_#1_dark.txt", "cellA_J(V)_#2_dark.txt", "cellA_J(V)_#3_dark.txt"})
      QVERIFY2(folder.exists(name), name);
    QVERIFY(QFile::exists(temp.path() + "/cellA.plr"));
    QCOMPARE(window_->FormWidget()->StudyNameBox()->text(), QString("cellA"));
    QVERIFY(window_->LinlinWindow()->isVisible());
    QVERIFY(window_->LinlogWindow()->isVisible());
  }

  // On common screens the form shows all its boxes without a scroll bar and the plots fill the area below
  // it, side by side, all inside the window.
  void fitsTheScreenWithoutScrollBars_data() {
    QTest::addColumn<QSize>("screen");
    QTest::addColumn<bool>("schematic");
    QTest::newRow("1366x768") << QSize(1366, 768) << true;
    QTest::newRow("1920x1080") << QSize(1920, 1080) << true;
    QTest::newRow("1024x768: no room for the schematic") << QSize(1024, 768) << false;
  }
  void fitsTheScreenWithoutScrollBars() {
    QFETCH(QSize, screen);
    QFETCH(bool, schematic);
    window_->setGeometry(QRect(QPoint(0, 0), screen));
    window_->layout()->activate();
    window_->LayOut(window_->Area()->size());
    window_->LinlinWindow()->show();
    window_->LinlogWindow()->show();
    QCoreApplication::processEvents();
    auto* scroll = qobject_cast<QScrollArea*>(window_->FormWindow()->widget());
    QVERIFY(scroll);
    QVERIFY(!scroll->horizontalScrollBar()->isVisible());
    QVERIFY(!scroll->verticalScrollBar()->isVisible());
    QCOMPARE(window_->FormWidget()->Schematic()->isVisible(), schematic);
    for (int i = 0; i < 26; ++i) {
      const QWidget* box = window_->FormWidget()->Box(i);
      QVERIFY(scroll->viewport()->rect().contains(
          QRect(box->mapTo(scroll->viewport(), QPoint(0, 0)), box->size())));
    }
    const QRect area(QPoint(0, 0), window_->Area()->size());
    const QRect form = window_->FormWindow()->geometry();
    const QRect linlin = window_->LinlinWindow()->geometry(), linlog = window_->LinlogWindow()->geometry();
    for (const QRect& plot : {linlin, linlog}) {
      QVERIFY(area.contains(plot));
      QVERIFY(!plot.intersects(form));
      QVERIFY(plot.height() > area.height() / 2);
    }
    QVERIFY(!linlin.intersects(linlog));
  }

  // A question stands over the form, never over the plots it asks about.
  void questionsStandOverTheFormClearOfThePlots() {
    window_->Ui().hooks.ask = nullptr;
    window_->LinlinWindow()->show();
    window_->LinlogWindow()->show();
    QRect box;
    QTimer::singleShot(0, [&] {
      auto* shown = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (!shown) return;
      box = shown->frameGeometry();
      shown->button(QMessageBox::No)->click();
    });
    QVERIFY(!window_->Ui().Ask(Question::SaveData));
    QVERIFY(box.isValid());
    const auto global = [](const QWidget* w) { return QRect(w->mapToGlobal(QPoint(0, 0)), w->size()); };
    QVERIFY(!box.intersects(global(window_->LinlinWindow())));
    QVERIFY(!box.intersects(global(window_->LinlogWindow())));
    QVERIFY(box.intersects(global(window_->FormWindow())));
  }

  void theStatusBarSaysWhereTheTablesWent() {
    QTemporaryDir temp;
    QVERIFY(temp.isValid());
    const QString startDir = QDir::currentPath();
    QDir::setCurrent(temp.path());
    answers_ << false << true;  // no measured data; save the tables
    const bool ran = RunMenuCommand(*state_, window_->Ui(), MenuItemOf(*FindStudy("all")));
    QDir::setCurrent(startDir);
    QVERIFY(ran);
    const QString status = window_->statusBar()->currentMessage();
    QCOMPARE(status, QString("Saved 2 files in %1/Test_plr: Test_J(V)_AllJunctions.txt, "
                             "Test_J(V)_AllJunctions_dark.txt")
                         .arg(QDir(temp.path()).canonicalPath()));
  }

  void theDeleteQuestionNamesTheStudy() {
    QTemporaryDir temp;
    QVERIFY(temp.isValid());
    QFile file(temp.filePath("cellA.plr"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    const QString startDir = QDir::currentPath();
    window_->Ui().hooks.file = [&](const FileDialogRequest&, bool) -> std::optional<std::string> {
      return temp.filePath("cellA.plr").toStdString();
    };
    answers_ << false;  // keep it
    QVERIFY(RunMenuCommand(*state_, window_->Ui(), MenuItem::Delete));
    QDir::setCurrent(startDir);
    QCOMPARE(asked_,
             QStringList(" ALL the related files will be erased !\nStudy \"cellA\": cellA.plr and the "
                         "folder cellA_plr with its files| Are you SURE ?"));
    QVERIFY(file.exists());
  }

  void screenshot() {
    // A developer's look at the window after a study: PELARIN_SCREENSHOT=path.png saves it, after the
    // study PELARIN_SCREENSHOT_STUDY names (a batch name; "all" by default).
    const QByteArray path = qgetenv("PELARIN_SCREENSHOT");
    if (path.isEmpty()) QSKIP("set PELARIN_SCREENSHOT to save a screenshot");
    const QByteArray studyName = qEnvironmentVariable("PELARIN_SCREENSHOT_STUDY", "all").toLocal8Bit();
    const StudyEntry* study = FindStudy(studyName.toStdString());
    QVERIFY2(study, studyName.constData());
    QTemporaryDir temp;
    const QString startDir = QDir::currentPath();
    QDir::setCurrent(temp.path());
    answers_ << false << false;  // no measured data, no saving
    QVERIFY(RunMenuCommand(*state_, window_->Ui(), MenuItemOf(*study)));
    QDir::setCurrent(startDir);
    window_->SetLive(true);
    QTest::qWait(300);
    QVERIFY(window_->grab().save(QString::fromLocal8Bit(path)));
  }

 private:
  QAction* Find(const QString& path) {
    const QStringList parts = path.split('/');
    QList<QAction*> level = window_->menuBar()->actions();
    QAction* found = nullptr;
    for (const QString& part : parts) {
      found = nullptr;
      for (QAction* action : level)
        if (action->text() == part) found = action;
      if (!found) return nullptr;
      if (found->menu()) level = found->menu()->actions();
    }
    return found;
  }

  std::unique_ptr<State> state_;
  std::unique_ptr<MainWindow> window_;
  QStringList asked_, messages_;
  QList<bool> answers_;
};

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
