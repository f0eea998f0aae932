// Studies run from the window on the worker thread: the window keeps answering, Escape and the Stop button
// end a study early without leaving anything behind, a second study is refused while one runs, closing
// asks first, and the questions, files and curves are those of the same study run on the UI thread.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include "app/commands.h"
#include "app/qt/main_window.h"
#include "gui/drawn_window.h"
#include "plot/qt/plot_window_widget.h"
#include "studies/study_registry.h"

using namespace pelarin;
using pelarin::testing::CurvesOf;
using pelarin::testing::FilesBelow;

namespace {

// A cell whose coupled study searches for seconds before its work budget stops it.
const std::pair<int, const char*> kSlowCell[] = {
    {0, "0.09173"},   {1, "6.6887e10"},   {3, "3.5947e-16"}, {5, "0.26869"},    {6, "0.050007"},
    {8, "1.1117e9"},  {10, "2.9192e-16"}, {15, "1.7611e6"},  {16, "4.8124e-9"}, {17, "4.4727e-29"},
    {18, "2.687e-6"}, {19, "0.023052"},   {20, "42.603"},    {22, "4605.4"},    {23, "2.2117e8"},
    {24, "0.068456"}, {25, "1307.3"}};

MenuItem ItemOf(const char* study) { return MenuItemOf(*FindStudy(study)); }

// A window whose questions are all answered Yes, whose dialogs choose files in one folder, and which
// writes down every question, dialog and message in order.
struct ScriptedWindow {
  State state;
  MainWindow window{state};
  QStringList log;
  bool closeAnswer = false;

  explicit ScriptedWindow(const QString& folder) {
    window.StartUp();
    QtUi& ui = window.Ui();
    ui.hooks.ask = [this](Question question, const std::string& subject) {
      log << QString("ask %1 %2").arg(static_cast<int>(question)).arg(QString::fromStdString(subject));
      return true;
    };
    ui.hooks.askText = [this](const std::string& text, const std::string&) {
      log << "askText " + QString::fromStdString(text);
      return closeAnswer;
    };
    ui.hooks.message = [this](const std::string& text, const std::string& title) {
      log << QString::fromStdString(text + "|" + title);
    };
    ui.hooks.file = [this, folder](const FileDialogRequest& request,
                                   bool save) -> std::optional<std::string> {
      log << QString("file %1 %2").arg(static_cast<int>(request.kind)).arg(save);
      return (folder + (request.kind == FileKind::MeasuredData ? "/cell.txt" : "/cellA.plr")).toStdString();
    };
  }
  void TypeSlowCell() {
    for (const auto& [box, text] : kSlowCell) window.FormWidget()->Box(box)->setText(text);
  }
};

}  // namespace

class StudyRunnerTest : public QObject {
  Q_OBJECT

 private slots:
  void init() { startDir_ = QDir::currentPath(); }
  void cleanup() { QDir::setCurrent(startDir_); }

  // The same study run on the UI thread and on the worker: the same questions and dialogs in the same
  // order, the same files and the same curves.
  void asksAndDrawsAsOnTheUiThread_data() {
    QTest::addColumn<QString>("study");
    for (const char* study : {"independent", "all", "two", "eqe-ill"}) QTest::newRow(study) << study;
  }
  void asksAndDrawsAsOnTheUiThread() {
    QFETCH(QString, study);
    QTemporaryDir uiThread, worker;
    QStringList logs[2], curves[2], files[2];
    for (int run = 0; run < 2; ++run) {
      const QString folder = (run == 0 ? uiThread : worker).path();
      QFile measured(folder + "/cell.txt");
      QVERIFY(measured.open(QIODevice::WriteOnly));
      measured.write("0\t-0.0079\n1\t-0.0071\n2\t-0.005\n2.4\t0.0001\n");
      measured.close();
      QDir::setCurrent(folder);
      ScriptedWindow w(folder);
      const MenuItem item = ItemOf(study.toUtf8().constData());
      if (run == 0) {
        QVERIFY(RunMenuCommand(w.state, w.window.Ui(), item));
      } else {
        QVERIFY(w.window.StartMenuCommand(item));
        w.window.WaitForCommand();
      }
      logs[run] = w.log;
      curves[run] = CurvesOf(w.window);
      files[run] = FilesBelow(folder);
    }
    QVERIFY(!logs[0].isEmpty());
    QCOMPARE(logs[1], logs[0]);
    QVERIFY(!curves[0].isEmpty());
    QCOMPARE(curves[1], curves[0]);
    QCOMPARE(files[1], files[0]);
  }

  // While a long study computes the window answers within 100 ms; a second study is refused; Escape or
  // the Stop button ends it soon with one message, and the study folder is as it was.
  void theWindowAnswersAndAStopLeavesTheFolderAsItWas_data() {
    QTest::addColumn<bool>("folderThere");
    QTest::addColumn<bool>("byButton");
    QTest::addColumn<bool>("menuFirst");
    QTest::newRow("fresh folder, Escape") << false << false << false;
    QTest::newRow("folder with a table, Stop button") << true << true << false;
    QTest::newRow("Escape after Escape closed a menu") << false << false << true;
  }
  void theWindowAnswersAndAStopLeavesTheFolderAsItWas() {
    QFETCH(bool, folderThere);
    QFETCH(bool, byButton);
    QFETCH(bool, menuFirst);
    QTemporaryDir temp;
    QDir::setCurrent(temp.path());
    if (folderThere) {
      QVERIFY(QDir(temp.path()).mkdir("Test_plr"));
      QFile table(temp.path() + "/Test_plr/Test_J(V)_3Junctions_wRl.txt");
      QVERIFY(table.open(QIODevice::WriteOnly));
      table.write("an older table\r\n");
    }
    const QStringList before = FilesBelow(temp.path());
    ScriptedWindow w(temp.path());
    w.TypeSlowCell();
    QVERIFY(w.window.StartMenuCommand(ItemOf("all-rl")));
    QVERIFY(w.window.Runner().Running());
    QVERIFY(!w.window.StartMenuCommand(ItemOf("all")));
    QVERIFY(!w.window.FormWidget()->isEnabled());
    QVERIFY(w.window.StopButton()->isVisible());

    // A timer ticking every 10 ms shows how long the event loop ever waited.
    QElapsedTimer clock;
    clock.start();
    qint64 last = 0, longestGap = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
      longestGap = std::max(longestGap, clock.elapsed() - last);
      last = clock.elapsed();
    });
    ticker.start(10);
    QTest::qWait(400);
    ticker.stop();
    QVERIFY(w.window.Runner().Running());
    QVERIFY2(longestGap < 100, qPrintable(QString("the window waited %1 ms").arg(longestGap)));

    clock.restart();
    if (byButton) {
      QTest::mouseClick(w.window.StopButton(), Qt::LeftButton);
    } else {
      // A shortcut of the window reaches it only while the window is active.
      w.window.activateWindow();
      QVERIFY(QTest::qWaitForWindowActive(&w.window));
      if (menuFirst) {
        // A menu opened and closed by its own Escape leaves the menu bar highlighted; the next Escape
        // still stops the study.
        QMenuBar* bar = w.window.menuBar();
        bar->setActiveAction(bar->actions().front());
        QMenu* menu = bar->actions().front()->menu();
        QVERIFY(QTest::qWaitForWindowExposed(menu));
        QTest::keyClick(menu, Qt::Key_Escape);
        QTRY_VERIFY(!menu->isVisible());
        QVERIFY(w.window.Runner().Running());
        clock.restart();
      }
      QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : &w.window, Qt::Key_Escape);
    }
    w.window.WaitForCommand();
    QVERIFY2(clock.elapsed() < 1000, qPrintable(QString("stopped after %1 ms").arg(clock.elapsed())));
    qInfo("the event loop waited at most %lld ms; the study ended %lld ms after the stop", longestGap,
          clock.elapsed());
    QCOMPARE(w.log, QStringList({"Calculation stopped by user|   WHOOOP !"}));
    QCOMPARE(FilesBelow(temp.path()), before);
    QVERIFY(w.window.FormWidget()->isEnabled());
    QVERIFY(!w.window.StopButton()->isVisible());
    QVERIFY(!w.window.Runner().Running());
  }

  // Closing during a study asks; No leaves it computing, Yes stops it without a message and closes.
  void closingDuringAStudyAsksFirst() {
    QTemporaryDir temp;
    QDir::setCurrent(temp.path());
    ScriptedWindow w(temp.path());
    w.TypeSlowCell();
    QVERIFY(w.window.StartMenuCommand(ItemOf("all-rl")));
    QVERIFY(!w.window.close());
    QVERIFY(w.window.Runner().Running());
    QVERIFY(w.window.isVisible());
    w.closeAnswer = true;
    QVERIFY(w.window.close());
    QVERIFY(!w.window.Runner().Running());
    QCOMPARE(w.log.size(), 2);
    QVERIFY(w.log[0].startsWith("askText All junctions with Rl + Rg is still computing."));
    QCOMPARE(w.log[1], w.log[0]);
    QCOMPARE(FilesBelow(temp.path()), QStringList());
  }

 private:
  QString startDir_;
};

QTEST_MAIN(StudyRunnerTest)
#include "study_runner_test.moc"
