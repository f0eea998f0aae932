// The scan dialog driven offscreen from the main window's menu: a small scan runs and its plot opens, a
// scan cancelled midway keeps every row of every cell it finished, and an existing file is replaced only
// when the user says so.
#include "app/qt/scan_dialog.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QSpinBox>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <fstream>
#include <sstream>

#include "app/qt/main_window.h"
#include "app/scan_file.h"
#include "model/parameter_table.h"
#include "plot/qt/plot_window_widget.h"
#include "workspace/read_parameters.h"

using namespace pelarin;

class ScanDialogTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    QVERIFY(folder_.isValid());
    QDir::setCurrent(folder_.path());
    state_ = std::make_unique<State>();
    window_ = std::make_unique<MainWindow>(*state_);
    window_->StartUp();
    window_->Ui().hooks.ask = [this](Question question, const std::string&) {
      asked_.push_back(question);
      return !answers_.isEmpty() && answers_.takeFirst();
    };
    window_->Ui().hooks.message = [this](const std::string& text, const std::string&) {
      messages_.push_back(QString::fromStdString(text));
    };
  }
  void cleanup() {
    window_.reset();
    asked_.clear();
    messages_.clear();
    answers_.clear();
  }

  void smallScanRunsAndOpensItsPlot() {
    QString estimate, estimate2d;
    RunDialog([&](ScanDialog& d) {
      QCOMPARE(d.StudyBox()->currentData().toString(), QString("all"));
      Axis(d, 0, "Rp1", "10", "1e6", 5, true);
      estimate = d.EstimateLabel()->text();
      d.SecondParameterBox()->setChecked(true);
      Axis(d, 1, "Rs1", "0.1", "10", 3, false);
      estimate2d = d.EstimateLabel()->text();
      d.SecondParameterBox()->setChecked(false);
      d.FigureBox()->setCurrentText("Voc");
      QTimer::singleShot(0, &d, [&d] { QVERIFY(d.Start()); });
    });
    QVERIFY2(estimate.startsWith("5 cells; about "), qPrintable(estimate));
    QVERIFY2(estimate2d.startsWith("15 cells; about "), qPrintable(estimate2d));
    QVERIFY2(messages_.isEmpty(), qPrintable(messages_.join("\n")));

    const std::string csv = (folder_.path() + "/Test_plr/Test_scan_Rp1.csv").toStdString();
    std::string error;
    const auto file = ReadScanFile(csv, error);
    QVERIFY2(file, error.c_str());
    QCOMPARE(file->cells.size(), std::size_t{5});
    QCOMPARE(ScanMethodOf(*file), std::optional(FigureMethod::Exact));  // the dialog's default
    for (const ScanCell& cell : file->cells)
      QVERIFY2(cell.rows.find(",ok,") != std::string::npos, cell.rows.c_str());

    // The plot: one line per curve over the five values, in its window with the read-out and export menu.
    PlotWindowWidget* plot = window_->ScanPlot();
    QVERIFY(plot);
    QVERIFY(window_->ScanPlotWindow()->isVisible());
    QCOMPARE(plot->Drawing().Titles().title, std::string("All junctions without Rl: Voc against Rp1"));
    const auto curves = plot->Drawing().Curves();
    QVERIFY(!curves.empty());
    for (const DrawnCurve& curve : curves) QCOMPARE(curve.points.size(), std::size_t{5});
    QVERIFY(!plot->ContextMenu()->actions().isEmpty());
    QVERIFY(window_->statusBar()->currentMessage().contains("Test_scan_Rp1.csv"));
  }

  // Process spread: a random sample of cells drawn from each parameter's spread, its file noting the
  // sample, and a histogram of the figure in the scan's plot window.
  void sampleDrawsItsCellsAndShowsAHistogram() {
    QString estimate;
    RunDialog([&](ScanDialog& d) {
      d.ModeBox()->setCurrentIndex(d.ModeBox()->findData("sample"));
      d.SamplesBox()->setValue(50);
      d.SeedBox()->setValue(3);
      d.ParameterBox(0)->setCurrentText("Rp1");
      d.SpreadBox(0)->setCurrentText("lognormal");
      d.FromBox(0)->setText("1000");
      d.ToBox(0)->setText("3");
      d.SecondParameterBox()->setChecked(true);
      d.ParameterBox(1)->setCurrentText("Jsc2");
      d.SpreadBox(1)->setCurrentText("normal");
      d.FromBox(1)->setText("0.012");
      d.ToBox(1)->setText("0.001");
      estimate = d.EstimateLabel()->text();
      QTimer::singleShot(0, &d, [&d] { QVERIFY(d.Start()); });
    });
    QVERIFY2(estimate.startsWith("50 cells; about "), qPrintable(estimate));
    QVERIFY2(messages_.isEmpty(), qPrintable(messages_.join("\n")));
    const std::string csv = (folder_.path() + "/Test_plr/Test_sample_Rp1_Jsc2.csv").toStdString();
    std::string error;
    const auto file = ReadScanFile(csv, error);
    QVERIFY2(file, error.c_str());
    QCOMPARE(file->cells.size(), std::size_t{50});
    QCOMPARE(file->notes[2],
             std::string("# sample: 50 cells, seed 3, Rp1=lognormal:1000:3 Jsc2=normal:0.012:0.001"));
    PlotWindowWidget* plot = window_->ScanPlot();
    QVERIFY(plot);
    QCOMPARE(plot->Drawing().Titles().title,
             std::string("All junctions without Rl: FF over a sample of 50 cells"));
    QCOMPARE(plot->Drawing().Titles().yTitle, std::string("cells"));
  }

  void cancelMidwayKeepsEveryFinishedRow() {
    int ticks = 0;  // the window's own timer keeps firing while the cells run
    QTimer windowTimer;
    connect(&windowTimer, &QTimer::timeout, [&] { ++ticks; });
    windowTimer.start(10);
    ScanDialog* dialog = nullptr;
    RunDialog([&](ScanDialog& d) {
      dialog = &d;
      d.MethodBox()->setCurrentIndex(d.MethodBox()->findData("curve"));  // cells long enough to cancel
      Axis(d, 0, "Rp1", "10", "1e6", 40, true);
      d.SecondParameterBox()->setChecked(true);
      Axis(d, 1, "Rs2", "0.1", "10", 20, true);
      QTimer::singleShot(0, &d, [&d] { QVERIFY(d.Start()); });
      // Cancel once a few cells are in, then close the dialog when the cells under way have ended.
      auto* watch = new QTimer(&d);
      connect(watch, &QTimer::timeout, &d, [&d, watch] {
        if (d.Running() && d.ProgressBar()->value() >= 4) d.CancelButton()->click();
        if (!d.Running() && d.StatusLabel()->text().startsWith("Stopped")) {
          watch->stop();
          d.CancelButton()->click();
        }
      });
      watch->start(5);
    });
    QVERIFY2(ticks >= 5, qPrintable(QString::number(ticks)));
    const std::string csv = (folder_.path() + "/Test_plr/Test_scan_Rp1_Rs2.csv").toStdString();
    std::string error;
    const auto file = ReadScanFile(csv, error);
    QVERIFY2(file, error.c_str());
    const std::size_t kept = file->cells.size();
    QVERIFY2(kept >= 4 && kept < 800, qPrintable(QString::number(kept)));
    // Every finished cell is there, in order, with the rows a cell computed on its own gives.
    ScanSetup setup;
    setup.method = FigureMethod::Curve;
    ResetStartUpConstants(setup.base);
    std::string ignored;
    setup.grid.axes = {*ParseScanAxis("Rp1=10:1e6:40:log", ignored),
                       *ParseScanAxis("Rs2=0.1:10:20:log", ignored)};
    QVERIFY(!CheckScan(setup, "all"));
    for (std::size_t i = 0; i < kept; ++i) {
      QCOMPARE(file->cells[i].cell, static_cast<std::int64_t>(i));
      QCOMPARE(file->cells[i].rows, ScanCellRows(setup, static_cast<std::int64_t>(i)));
    }
    QVERIFY(window_->ScanPlot());  // the rows so far are drawn
  }

  void badInputIsToldAndNothingRuns() {
    QString estimate;
    bool started = true;
    RunDialog([&](ScanDialog& d) {
      Axis(d, 0, "Rs2", "0", "10", 5, true);
      estimate = d.EstimateLabel()->text();
      QTimer::singleShot(0, &d, [&] {
        started = d.Start();
        d.reject();
      });
    });
    QVERIFY(!started);
    QVERIFY2(estimate.startsWith("Cannot scan: a log scan needs bounds above 0"), qPrintable(estimate));
    QCOMPARE(messages_.size(), 1);
    QVERIFY2(messages_[0].startsWith("The scan cannot run: a log scan needs bounds above 0"),
             qPrintable(messages_[0]));
    QVERIFY(!QFile::exists(folder_.path() + "/Test_plr/Test_scan_Rs2.csv"));
  }

  // Each parameter comes with its own range and scale, which the form takes at every point of a grid.
  void aParameterComesWithItsOwnRange() {
    const auto refusal = [](const QString& axis) {
      std::string error;
      ScanSetup setup;
      ResetStartUpConstants(setup.base);
      if (const auto parsed = ParseScanAxis(axis.toStdString(), error)) setup.grid.axes = {*parsed};
      return QString::fromStdString(error.empty() ? CheckScan(setup, "all").value_or("") : error);
    };
    QStringList axes, refused;
    RunDialog([&](ScanDialog& d) {
      for (const ParameterRow& row : kParameterRows) {
        d.ParameterBox(0)->setCurrentText(QString::fromStdString(std::string(row.name)));
        axes << d.ParameterBox(0)->currentText() + "=" + d.FromBox(0)->text() + ":" + d.ToBox(0)->text() +
                    ":13" + (d.LogBox(0)->isChecked() ? ":log" : "");
        refused << refusal(axes.back());
      }
      QTimer::singleShot(0, &d, &ScanDialog::reject);
    });
    for (const char* axis : {"T=-20:100:13", "Rp2=1:1e+12:13:log", "Rl1=50:1e+13:13:log"})
      QVERIFY2(axes.contains(axis), qPrintable(axes.join(' ')));
    QCOMPARE(refused.join("").toStdString(), std::string());
    // A value out of the range is told in six digits, the parameter named once.
    QCOMPARE(refusal("T=300:1000:5:log"),
             QString("T = 405.36 is refused: the temperature must be above -273.15 and at most 400 \u00B0C "
                     "(\"405.36\")"));
  }

  void theSettingsAreKeptForTheNextOpening() {
    const auto describe = [](ScanDialog& d) {  // every box, the spin boxes' among the line edits
      QStringList s;
      for (const QComboBox* box : d.findChildren<QComboBox*>()) s << box->currentText();
      for (const QLineEdit* box : d.findChildren<QLineEdit*>()) s << box->text();
      for (const QCheckBox* box : d.findChildren<QCheckBox*>()) s << (box->isChecked() ? "on" : "off");
      QTimer::singleShot(0, &d, &ScanDialog::reject);
      return s.join(' ');
    };
    QString left, reopened;
    RunDialog([&](ScanDialog& d) {
      d.StudyBox()->setCurrentIndex(d.StudyBox()->findData("two"));
      d.MethodBox()->setCurrentIndex(d.MethodBox()->findData("curve"));
      Axis(d, 0, "Rs2", "1", "3", 4, false);
      d.SecondParameterBox()->setChecked(true);
      d.ParameterBox(1)->setCurrentText("T");
      d.ModeBox()->setCurrentIndex(d.ModeBox()->findData("sample"));
      d.FromBox(1)->setText("25");
      left = describe(d);
    });
    RunDialog([&](ScanDialog& d) { reopened = describe(d); });
    QCOMPARE(reopened, left);
  }

  void anExistingFileIsReplacedOnlyWhenTheUserSaysSo() {
    const auto start = [](ScanDialog& d) {
      Axis(d, 0, "Rs3", "1", "2", 2, false);
      QTimer::singleShot(0, &d, [&d] {
        if (!d.Start()) d.reject();
      });
    };
    RunDialog(start);
    const QString csv = folder_.path() + "/Test_plr/Test_scan_Rs3.csv";
    QVERIFY(QFile::exists(csv));
    QVERIFY(asked_.isEmpty());
    {
      QFile kept(csv);  // a file the user keeps
      QVERIFY(kept.open(QIODevice::WriteOnly | QIODevice::Truncate));
      kept.write("measured by hand\n");
    }
    const QByteArray before = Contents(csv);
    answers_ = {false};
    RunDialog(start);
    QCOMPARE(asked_, QList<Question>({Question::OverwriteResults}));
    QCOMPARE(Contents(csv), before);
    answers_ = {true};
    RunDialog(start);
    QVERIFY(Contents(csv).startsWith(
        "# pelarin scan of all\n# figures: exact (solved from the circuit)\n# grid: Rs3=1:2:2\n"));
  }

 private:
  static void Axis(ScanDialog& d, int axis, const QString& name, const QString& from, const QString& to,
                   int points, bool log) {
    d.ParameterBox(axis)->setCurrentText(name);
    d.FromBox(axis)->setText(from);
    d.ToBox(axis)->setText(to);
    d.PointsBox(axis)->setValue(points);
    d.LogBox(axis)->setChecked(log);
  }
  static QByteArray Contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  }
  // Opens the dialog from the Calculations menu; drive runs with it open, before its event loop.
  void RunDialog(const std::function<void(ScanDialog&)>& drive) {
    window_->onScanDialog = drive;
    QAction* entry = nullptr;
    for (QAction* top : window_->menuBar()->actions())
      if (top->text() == "&Calculations")
        for (QAction* action : top->menu()->actions())
          if (action->text() == "S&can...") entry = action;
    QVERIFY(entry);
    entry->trigger();
  }

  QTemporaryDir folder_;
  std::unique_ptr<State> state_;
  std::unique_ptr<MainWindow> window_;
  QList<Question> asked_;
  QStringList messages_;
  QList<bool> answers_;
};

QTEST_MAIN(ScanDialogTest)
#include "scan_dialog_test.moc"
