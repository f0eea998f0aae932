// The three-junction study run by the window program, against the same study without Qt, in one process:
// first headless, then with the application object and the main window created offscreen, the study on
// the window's worker thread with its drawing handed to the plot windows. The two figures should be within
// a few per cent of each other. Then the live curves: from Enter in a box to both plot windows repainted
// with the stack study's new curves.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QKeyEvent>
#include <QTemporaryDir>
#include <algorithm>
#include <memory>
#include <vector>

#include "app/commands.h"
#include "app/qt/main_window.h"
#include "common/declining_ui.h"
#include "plot/qt/plot_window_widget.h"
#include "studies/studies.h"
#include "studies/study_registry.h"
#include "ui/recorded_plot_window.h"
#include "ui/text_form.h"
#include "workspace/read_parameters.h"

namespace pelarin {
namespace {

using testing::DecliningUi;

QTemporaryDir& WorkFolder() {
  static QTemporaryDir folder;
  QDir::setCurrent(folder.path());
  return folder;
}

void BM_AllJunctionsHeadless(benchmark::State& bench) {
  WorkFolder();
  for (auto _ : bench) {
    State state;
    ResetStartUpConstants(state);
    DecliningUi ui;
    RunCommand(ui, "All junctions", [&] { StudyAllJunctions(state, ui); });
    benchmark::DoNotOptimize(state.sweep.resCount);
  }
}
BENCHMARK(BM_AllJunctionsHeadless)->Unit(benchmark::kMillisecond);

// Created once, after the headless figure, as the window program creates them at start.
struct WindowProgram {
  int argc = 1;
  char name[8] = "pelarin";
  char* argv[2] = {name, nullptr};
  QApplication app{argc, argv};
  State state;
  MainWindow window{state};
  WindowProgram() {
    window.StartUp();
    window.Ui().hooks.ask = [](Question, const std::string&) { return false; };
    QApplication::processEvents();
  }
};

// One application and window for every benchmark, ended before main returns: Qt's objects must not outlive
// the application or be destroyed after it at exit.
std::unique_ptr<WindowProgram>& Program() {
  static std::unique_ptr<WindowProgram> program;
  if (!program) program = std::make_unique<WindowProgram>();
  return program;
}

void BM_AllJunctionsInTheWindowProgram(benchmark::State& bench) {
  WorkFolder();
  auto& program = Program();
  const MenuItem item = MenuItemOf(*FindStudy("all"));
  for (auto _ : bench) {
    program->window.StartMenuCommand(item);
    program->window.WaitForCommand();
    QApplication::processEvents();  // the plot windows repaint
    benchmark::DoNotOptimize(program->state.sweep.resCount);
  }
}
BENCHMARK(BM_AllJunctionsInTheWindowProgram)->Unit(benchmark::kMillisecond);

// The same on the UI thread, as the window ran studies before they moved to the worker thread: the
// difference is the cost of handing the questions and the drawing over.
void BM_AllJunctionsOnTheUiThread(benchmark::State& bench) {
  WorkFolder();
  auto& program = Program();
  const MenuItem item = MenuItemOf(*FindStudy("all"));
  for (auto _ : bench) {
    RunMenuCommand(program->state, program->window.Ui(), item);
    QApplication::processEvents();  // the plot windows repaint
    benchmark::DoNotOptimize(program->state.sweep.resCount);
  }
}
BENCHMARK(BM_AllJunctionsOnTheUiThread)->Unit(benchmark::kMillisecond);

// Rp1 goes back and forth between two values; each Enter starts the live computation at once.
void BM_LiveStackRedrawFromEnter(benchmark::State& bench) {
  WorkFolder();
  auto& program = Program();
  MainWindow& window = program->window;
  window.StartMenuCommand(MenuItemOf(*FindStudy("all")));
  window.WaitForCommand();
  window.SetLive(true);
  QLineEdit* rp1 = window.FormWidget()->Box(1);
  int turn = 0;
  for (auto _ : bench) {
    bench.PauseTiming();
    rp1->setText(++turn % 2 != 0 ? "2000" : "5000");
    QEventLoop loop;
    QObject::connect(&window.Live(), &LiveCurves::redrawn, &loop, &QEventLoop::quit);
    bench.ResumeTiming();
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(rp1, &enter);
    loop.exec();
    window.Linlin()->repaint();
    window.Linlog()->repaint();
  }
}
BENCHMARK(BM_LiveStackRedrawFromEnter)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(20)
    ->ComputeStatistics("min",
                        [](const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); })
    ->ReportAggregatesOnly(true)
    ->UseRealTime();

}  // namespace
}  // namespace pelarin

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  pelarin::Program().reset();
  return 0;
}
