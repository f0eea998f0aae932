// The live curves: a change of a box redraws the plots of the study they show, as a run of that study
// with the new value would draw them, writing nothing; a box that does not read leaves them; typing waits
// for a pause; the wheel and the arrow keys step a box.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QWheelEvent>
#include <QtTest>

#include "app/box_step.h"
#include "app/commands.h"
#include "app/qt/main_window.h"
#include "gui/drawn_window.h"
#include "plot/qt/plot_window_widget.h"
#include "studies/study_registry.h"

using namespace pelarin;
using pelarin::testing::CurvesOf;
using pelarin::testing::FilesBelow;

namespace {

constexpr int kRp1 = 1;

// A window that has run study once, measured curve drawn over it, saving nothing.
struct WindowAfterStudy {
  State state;
  MainWindow window{state};
  explicit WindowAfterStudy(const char* study, const QString& folder) {
    window.StartUp();
    window.Ui().hooks.ask = [](Question question, const std::string&) {
      return question == Question::ShowExperimentalData;
    };
    window.Ui().hooks.message = [](const std::string& text, const std::string&) {
      qFatal("unexpected message %s", text.c_str());
    };
    window.Ui().hooks.file = [folder](const FileDialogRequest&, bool) -> std::optional<std::string> {
      return (folder + "/cell.txt").toStdString();
    };
    const MenuItem item = MenuItemOf(*FindStudy(study));
    if (!window.StartMenuCommand(item)) qFatal("the study did not start");
    window.WaitForCommand();
  }
  QLineEdit* Box(int index) { return window.FormWidget()->Box(index); }
  void Type(int index, const QString& text) {
    Box(index)->selectAll();
    QTest::keyClicks(Box(index), text);
  }
};

}  // namespace

class LiveCurvesTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    startDir_ = QDir::currentPath();
    QVERIFY(folder_.isValid());
    QDir::setCurrent(folder_.path());
    QFile measured(folder_.path() + "/cell.txt");
    QVERIFY(measured.open(QIODevice::WriteOnly));
    measured.write("0\t-0.0079\n1\t-0.0071\n2\t-0.005\n2.4\t0.0001\n");
  }
  void cleanup() { QDir::setCurrent(startDir_); }

  // Enter in a box redraws both windows with the curves, legend and overlay that the study run with the
  // new value draws, and nothing is written.
  void enterRedrawsAsARunWouldDraw_data() {
    QTest::addColumn<QString>("study");
    QTest::addColumn<bool>("overlaid");  // the independent study draws no measured curve
    QTest::addColumn<int>("box");
    QTest::addColumn<QString>("text");
    QTest::newRow("all") << "all" << true << kRp1 << "50";
    QTest::newRow("all-rl") << "all-rl" << true << kRp1 << "50";
    QTest::newRow("independent") << "independent" << false << kRp1 << "50";
    // A condition too: the captions then name it.
    QTest::newRow("all at 80 C") << "all" << true << ParameterIndex("T") << "80";
  }
  void enterRedrawsAsARunWouldDraw() {
    QFETCH(QString, study);
    QFETCH(bool, overlaid);
    QFETCH(int, box);
    QFETCH(QString, text);
    const QByteArray name = study.toUtf8();
    WindowAfterStudy live(name.constData(), folder_.path());
    const QStringList before = CurvesOf(live.window), files = FilesBelow(folder_.path());
    QCOMPARE(before.join(' ').contains("measured"), overlaid);
    live.window.FormWidget()->LiveBox()->click();
    QVERIFY(live.window.Menus().Action(MenuItem::Live)->isChecked());
    QSignalSpy redrawn(&live.window.Live(), &LiveCurves::redrawn);
    live.Type(box, text);
    QTest::keyClick(live.Box(box), Qt::Key_Return);
    QVERIFY(redrawn.wait(5000));
    const QStringList after = CurvesOf(live.window);
    QVERIFY(after != before);
    QCOMPARE(after.join(' ').contains("measured"), overlaid);
    QCOMPARE(FilesBelow(folder_.path()), files);

    WindowAfterStudy reference(name.constData(), folder_.path());
    reference.Box(box)->setText(text);
    QVERIFY(RunMenuCommand(reference.state, reference.window.Ui(), MenuItemOf(*FindStudy(name.constData()))));
    QCOMPARE(after, CurvesOf(reference.window));
    QCOMPARE(live.window.LinlinWindow()->windowTitle(), reference.window.LinlinWindow()->windowTitle());
  }

  // A value the program puts into a box (Apply to form, an opened parameter file) redraws as typing does.
  void aValueTheProgramPutsInRedraws() {
    WindowAfterStudy live("all", folder_.path());
    live.window.FormWidget()->LiveBox()->click();
    const QStringList before = CurvesOf(live.window);
    QSignalSpy redrawn(&live.window.Live(), &LiveCurves::redrawn);
    live.window.FormWidget()->SetBoxText(kRp1, "50");
    QVERIFY(redrawn.wait(5000));
    QVERIFY(CurvesOf(live.window) != before);
  }

  // Typing waits for a pause and redraws once for the last text; a box that does not read is marked and
  // leaves the curves; with the switch off nothing follows the form.
  void typingPausesBadBoxesAndTheSwitch() {
    WindowAfterStudy live("all", folder_.path());
    QSignalSpy redrawn(&live.window.Live(), &LiveCurves::redrawn);
    live.window.SetLive(true);
    QVERIFY(live.window.FormWidget()->LiveBox()->isChecked());
    QElapsedTimer clock;
    clock.start();
    live.Type(kRp1, "80");
    live.Type(kRp1, "800");
    QVERIFY(redrawn.wait(5000));
    QVERIFY(clock.elapsed() >= 150);
    QTest::qWait(300);
    QCOMPARE(redrawn.count(), 1);
    const QStringList shown = CurvesOf(live.window);

    live.Type(kRp1, "8x0");
    QTest::keyClick(live.Box(kRp1), Qt::Key_Return);
    QVERIFY(!redrawn.wait(400));
    QCOMPARE(live.Box(kRp1)->toolTip(), QString("\"8x0\" is not a number"));
    QCOMPARE(CurvesOf(live.window), shown);

    live.window.SetLive(false);
    live.Type(kRp1, "90");
    QTest::keyClick(live.Box(kRp1), Qt::Key_Return);
    QVERIFY(!redrawn.wait(400));
    QCOMPARE(CurvesOf(live.window), shown);
  }

  // The Up and Down keys and the wheel step a box by its rule, Shift coarsely, and the live curves follow.
  void arrowsAndWheelStepABox() {
    WindowAfterStudy live("all", folder_.path());
    live.window.SetLive(true);
    QSignalSpy redrawn(&live.window.Live(), &LiveCurves::redrawn);
    const ParameterRow& rp1 = kParameterRows[kRp1];
    const std::string start = live.Box(kRp1)->text().toStdString();
    QTest::keyClick(live.Box(kRp1), Qt::Key_Up);
    QCOMPARE(live.Box(kRp1)->text().toStdString(), *SteppedBoxText(rp1, start, 1, false));
    QTest::keyClick(live.Box(kRp1), Qt::Key_Down, Qt::ShiftModifier);
    const std::string afterKeys = *SteppedBoxText(rp1, *SteppedBoxText(rp1, start, 1, false), -1, true);
    QCOMPARE(live.Box(kRp1)->text().toStdString(), afterKeys);
    // Two notches of the wheel, over the box.
    const QPointF at(live.Box(kRp1)->rect().center());
    QWheelEvent wheel(at, live.Box(kRp1)->mapToGlobal(at), {}, QPoint(0, 240), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(live.Box(kRp1), &wheel);
    QCOMPARE(live.Box(kRp1)->text().toStdString(), *SteppedBoxText(rp1, afterKeys, 2, false));
    QVERIFY(redrawn.wait(5000));
    QCOMPARE(redrawn.count(), 1);
  }

 private:
  QString startDir_;
  QTemporaryDir folder_;
};

QTEST_MAIN(LiveCurvesTest)
#include "live_curves_test.moc"
