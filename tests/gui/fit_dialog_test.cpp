// The fit dialog driven offscreen from the main window's menu: a lit and a dark curve solved exactly at a
// known cell give its two free parameters back, the report names them and a plot window shows the fit, and
// Apply to form writes them into the form only after Yes; what cannot be fitted is told and nothing runs.
#include "app/qt/fit_dialog.h"

#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSpinBox>
#include <QTableWidget>
#include <QTableWidgetItem>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <algorithm>
#include <cstdio>
#include <fstream>

#include "app/qt/main_window.h"
#include "common/solver_fixtures.h"
#include "fit/fit_report.h"
#include "model/exact_circuit.h"
#include "model/number_text.h"
#include "plot/qt/plot_window_widget.h"

using namespace pelarin;

namespace {

const int kRp1 = ParameterIndex("Rp1"), kJsd11 = ParameterIndex("Jsd11");

// The form's default cell with another shunt and saturation current in junction 1.
Parameters Truth() {
  Parameters p = testing_cell::DefaultParameters();
  p.Rp1 = 2000, p.Jsd11 = 1e-10;
  return p;
}

}  // namespace

class FitDialogTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    QVERIFY(folder_.isValid());
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
    window_->Ui().hooks.file = [this](const FileDialogRequest& request,
                                      bool save) -> std::optional<std::string> {
      if (save || request.kind != FileKind::CurveToFit || files_.isEmpty()) return std::nullopt;
      return files_.takeFirst().toStdString();
    };
  }
  void cleanup() {
    window_.reset();
    asked_.clear();
    messages_.clear();
    answers_.clear();
  }

  void fitsTwoParametersOfExactCurvesAndAppliesThemOnYes() {
    window_->setGeometry(QRect(0, 0, 1024, 768));  // a small screen: narrow plots
    window_->LayOut(window_->Area()->size());
    window_->show();
    files_ = {Measured("lit.txt", {true, true, true}, -0.5, 1.5), Measured("dark.txt", {}, 0.2, 2.0)};
    answers_ = {false, true};
    QString report;
    std::vector<fit::ParameterEstimate> estimates;
    std::string afterNo[2], afterYes[2];
    RunDialog([&](FitDialog& d) {
      QCOMPARE(d.StartsBox()->value(), 16);
      for (int row = 0; row < 2; ++row) {
        QVERIFY(d.AddCurve());
        d.ConfigurationBox(row)->setCurrentText(row == 0 ? "lit" : "dark");
        d.UnitBox(row)->setCurrentText("mA/cm2");
        d.SignBox(row)->setCurrentText("load");
        d.TemperatureBox(row)->setText("26.85");  // the form's: named in the legend
      }
      for (const int index : {kRp1, kJsd11}) d.FreeItem(index)->setCheckState(Qt::Checked);
      d.StartsBox()->setValue(4);
      QTimer::singleShot(0, &d, [&d] { QVERIFY(d.Start()); });
      auto* watch = new QTimer(&d);
      connect(watch, &QTimer::timeout, &d, [&, watch] {
        if (d.Running() || !d.Result()) return;
        watch->stop();
        report = d.ReportBox()->toPlainText();
        estimates = d.Result()->estimates;
        d.ApplyButton()->click();
        for (int i = 0; i < 2; ++i) afterNo[i] = window_->FormWidget()->BoxText(i == 0 ? kRp1 : kJsd11);
        d.ApplyButton()->click();
        for (int i = 0; i < 2; ++i) afterYes[i] = window_->FormWidget()->BoxText(i == 0 ? kRp1 : kJsd11);
        d.reject();
      });
      watch->start(20);
    });
    QVERIFY2(messages_.isEmpty(), qPrintable(messages_.join("\n")));
    QCOMPARE(asked_, QList<Question>({Question::ApplyFit, Question::ApplyFit}));
    QCOMPARE(estimates.size(), std::size_t{2});
    const Parameters truth = Truth();
    for (std::size_t i = 0; i < 2; ++i) {
      const fit::ParameterEstimate& e = estimates[i];
      const std::string name(kParameterRows[static_cast<std::size_t>(e.index)].name);
      const double expected = truth.*kParameterRows[static_cast<std::size_t>(e.index)].member;
      QVERIFY2(std::abs(e.fitted / expected - 1) < 1e-3, qPrintable(QString::number(e.fitted)));
      QVERIFY2(report.contains(QRegularExpression("\n" + QString::fromStdString(name) + " +[0-9]")),
               qPrintable(report));
      // No keeps the form as typed; Yes writes the fitted value with the digits its error justifies: within
      // half a unit of the error's second digit.
      QCOMPARE(afterNo[i], std::string(i == 0 ? "5000" : "40e-12"));
      QCOMPARE(afterYes[i], fit::FittedValueText(e));
      QVERIFY2(std::abs(ReadWholeNumber(afterYes[i]).value - e.fitted) <=
                   std::max(0.05 * e.standardError, 5e-6 * std::abs(e.fitted)),
               afterYes[i].c_str());
    }
    PlotWindowWidget* plot = window_->FitPlot(PlotId::linlin);
    QVERIFY(plot);
    QVERIFY(window_->FitPlotWindow(PlotId::linlin)->isVisible());
    // It opens where the study's lit plot stands, below the form, not cascaded over its buttons.
    QCOMPARE(window_->FitPlotWindow(PlotId::linlin)->geometry(), window_->LinlinWindow()->geometry());
    QCOMPARE(plot->Drawing().Titles().title,
             std::string("Fit: lit curves, measured (points) and fitted (lines)"));
    QVERIFY(!plot->Drawing().Curves().empty());
    // However narrow, the title stands clear of the read-out box and the legend tells points from line.
    QStringList title, legend;
    for (const PlacedText& text : plot->Layout().texts) {
      if (text.kind == PlacedText::Kind::Legend) legend << text.text;
      if (text.kind == PlacedText::Kind::Title && !text.box.intersects(plot->ReadoutBox()->geometry()))
        title << text.text;
    }
    QCOMPARE(title.join(' '), QString("Fit: lit curves, measured (points) and fitted (lines)"));
    QCOMPARE(legend.replaceInStrings(QRegularExpression(" at 26.85.*"), ""),
             QStringList({"measured: lit", "fitted: lit"}));
  }

  // Files of one name from different folders are told apart by their folders; at 1024x768 every column is
  // in sight.
  void filesOfOneNameShowTheirFolders() {
    for (const char* folder : {"run1", "run2", "old/run2"})
      files_ << Measured(QString(folder) + "/lit.txt", {true, true, true}, -0.5, 1.5);
    const QStringList paths = files_;
    QStringList shown, tips;
    int end = 0, room = 0;
    bool sideways = true;
    RunDialog([&](FitDialog& d) {
      d.resize(1024 - 16, 768 - 40);
      for (int row = 0; row < 3; ++row) QVERIFY(d.AddCurve());
      QTimer::singleShot(0, &d, [&] {
        const QTableWidget* table = d.CurveTable();
        for (int row = 0; row < 3; ++row)
          shown << table->item(row, 0)->text(), tips << table->item(row, 0)->toolTip();
        end = table->columnViewportPosition(8) + table->columnWidth(8), room = table->viewport()->width();
        sideways = d.findChild<QScrollArea*>()->horizontalScrollBar()->isVisible();
        d.reject();
      });
    });
    const QString top = QFileInfo(folder_.path()).fileName();
    QCOMPARE(shown, QStringList({"run1/lit.txt", top + "/run2/lit.txt", "old/run2/lit.txt"}));
    QCOMPARE(tips, paths);
    QVERIFY(!sideways);
    QVERIFY2(end <= room, qPrintable(QString("the columns take %1 of %2 pixels").arg(end).arg(room)));
  }

  void refusals_data() {
    QTest::addColumn<QString>("free");
    QTest::addColumn<QString>("low");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("message");
    QTest::newRow("no free parameter") << ""
                                       << ""
                                       << "0 1\n1 0\n"
                                       << "The fit cannot run: name at least one free parameter.";
    QTest::newRow("bound not a number") << "Rp1"
                                        << "abc"
                                        << "0 1\n1 0\n"
                                        << "The fit cannot run: LO of Rp1 is not a number (\"abc\").";
    QTest::newRow("file line not numbers") << "Rp1"
                                           << ""
                                           << "0 1\n0.5 x\n"
                                           << "/bad.txt, line 2 ";
  }
  void refusals() {
    QFETCH(QString, free);
    QFETCH(QString, low);
    QFETCH(QString, file);
    QFETCH(QString, message);
    std::ofstream(folder_.filePath("bad.txt").toStdString()) << file.toStdString();
    files_ = {folder_.filePath("bad.txt")};
    bool started = true;
    RunDialog([&](FitDialog& d) {
      QVERIFY(d.AddCurve());
      if (!free.isEmpty()) d.FreeItem(ParameterIndex(free.toStdString()))->setCheckState(Qt::Checked);
      if (!low.isEmpty()) d.LowItem(ParameterIndex(free.toStdString()))->setText(low);
      QTimer::singleShot(0, &d, [&] {
        started = d.Start();
        QVERIFY(!d.Running() && !d.Result());
        d.reject();
      });
    });
    QVERIFY(!started);
    QCOMPARE(messages_.size(), 1);
    QVERIFY2(messages_[0].contains(message), qPrintable(messages_[0]));
    QVERIFY(!window_->FitPlot(PlotId::linlin) && !window_->FitPlot(PlotId::linlog));
  }

  void screenshot() {
    // A developer's look at the dialog with two curves: PELARIN_SCREENSHOT=path.png saves it.
    const QByteArray path = qgetenv("PELARIN_SCREENSHOT");
    if (path.isEmpty()) QSKIP("set PELARIN_SCREENSHOT to save a screenshot");
    files_ = {Measured("lit.txt", {true, true, true}, -0.5, 1.5), Measured("dark.txt", {}, 0.2, 2.0)};
    RunDialog([&](FitDialog& d) {
      QVERIFY(d.AddCurve());
      QVERIFY(d.AddCurve());
      QTest::qWait(100);
      QVERIFY(d.grab().save(QString::fromLocal8Bit(path)));
      d.reject();
    });
  }

 private:
  // The exact current of the true cell at 60 voltages, in mA/cm2 and the load sign, as a measured file.
  QString Measured(const QString& name, std::array<bool, 3> lit, double from, double to) {
    const exact::CircuitSolver solver(Truth(), Constants{}.Vt, exact::Stack(lit, false));
    QString path = folder_.filePath(name);
    QDir().mkpath(QFileInfo(path).path());
    std::ofstream out(path.toStdString());
    out << "V (V)\tJ (mA/cm2)\n";
    char line[64];
    for (int i = 0; i < 60; ++i) {
      const double V = from + (to - from) * i / 59;
      std::snprintf(line, sizeof line, "%.10g\t%.10g\n", V, -1000 * solver.CurrentAt(V).J);
      out << line;
    }
    return path;
  }
  // Opens the dialog from the Calculations menu; drive runs with it open, before its event loop.
  void RunDialog(const std::function<void(FitDialog&)>& drive) {
    window_->onFitDialog = drive;
    QAction* entry = nullptr;
    for (QAction* top : window_->menuBar()->actions())
      if (top->text() == "&Calculations")
        for (QAction* action : top->menu()->actions())
          if (action->text() == "&Fit to measured data...") entry = action;
    QVERIFY(entry);
    entry->trigger();
  }

  QTemporaryDir folder_;
  std::unique_ptr<State> state_;
  std::unique_ptr<MainWindow> window_;
  QList<Question> asked_;
  QStringList messages_;
  QList<bool> answers_;
  QStringList files_;
};

QTEST_MAIN(FitDialogTest)
#include "fit_dialog_test.moc"
