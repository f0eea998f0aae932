// The three-junction study run by the window program, against the same study without Qt, in one process:
// first headless, then with the application object and the main window created offscreen. The two figures
// should be within a few per cent of each other.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <memory>

#include "app/commands.h"
#include "app/qt/main_window.h"
#include "common/declining_ui.h"
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

void BM_AllJunctionsInTheWindowProgram(benchmark::State& bench) {
  WorkFolder();
  static auto program = std::make_unique<WindowProgram>();
  const MenuItem item = MenuItemOf(*FindStudy("all"));
  for (auto _ : bench) {
    RunMenuCommand(program->state, program->window.Ui(), item);
    benchmark::DoNotOptimize(program->state.sweep.resCount);
  }
}
BENCHMARK(BM_AllJunctionsInTheWindowProgram)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace pelarin

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
