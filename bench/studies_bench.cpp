// Time of each study's whole computation with the default cell: sweeps, plots recorded, no files saved; with
// the searches jumping over certified steps (the default) and with every step evaluated (".../literal").
// Compare the two side by side from one run, e.g. --benchmark_repetitions=5
// --benchmark_enable_random_interleaving=true: the machine's load shifts between runs.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "studies/studies.h"
#include "studies/study_registry.h"
#include "ui/recorded_plot_window.h"
#include "ui/text_form.h"
#include "workspace/read_parameters.h"

namespace pelarin {
namespace {

// Answers No to every question: the study computes and draws, and writes nothing.
class DecliningUi : public Ui {
 public:
  bool Ask(Question) override { return false; }
  void ShowMessage(const std::string&, const std::string&, MessageIcon) override {}
  std::optional<std::string> OpenFileDialog(const FileDialogRequest&) override { return std::nullopt; }
  std::optional<std::string> SaveFileDialog(const FileDialogRequest&) override { return std::nullopt; }
  PlotWindow& Plot(PlotId id) override { return id == PlotId::linlin ? linlin : linlog; }
  ParameterForm& Form() override { return form; }
  Menus& MenuBar() override { return menus; }
  RecordedPlotWindow linlin, linlog;
  TextForm form;
  MenuTable menus{StudyMenuEntries()};
};

// The studies create their study folder in the working directory: work in a temporary one.
class InTemporaryFolder {
 public:
  InTemporaryFolder() : start_(std::filesystem::current_path()) {
    std::string pattern = (std::filesystem::temp_directory_path() / "pelarin-bench-XXXXXX").string();
    if (::mkdtemp(pattern.data())) folder_ = pattern;
    std::filesystem::current_path(folder_);
  }
  ~InTemporaryFolder() {
    std::filesystem::current_path(start_);
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }

 private:
  std::filesystem::path start_, folder_;
};

void BM_Study(benchmark::State& bench, void (*study)(State&, Ui&), bool literal) {
  InTemporaryFolder folder;
  double evaluations = 0;
  for (auto _ : bench) {
    State state;
    ResetStartUpConstants(state);
    state.k.skipCertifiedSteps = !literal;
    DecliningUi ui;
    study(state, ui);
    benchmark::DoNotOptimize(state.sweep.resCount);
    evaluations = static_cast<double>(state.ws.balanceEvals);
  }
  bench.counters["evaluations"] = evaluations;
  bench.counters["per_evaluation"] =
      benchmark::Counter(evaluations * static_cast<double>(bench.iterations()),
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  bench.SetLabel("computation and drawing, default cell");
}

struct NamedStudy {
  const char* name;
  void (*study)(State&, Ui&);
};
const bool kStudiesRegistered = [] {
  for (const NamedStudy& s :
       {NamedStudy{"IndependentStudy", IndependentStudy}, NamedStudy{"StudyAllJunctions", StudyAllJunctions},
        NamedStudy{"StudyTwoJunctions", StudyTwoJunctions},
        NamedStudy{"StudyOneJunction", StudyOneJunction}}) {
    for (const bool literal : {false, true}) {
      const std::string name = std::string("BM_Study/") + s.name + (literal ? "/literal" : "");
      benchmark::RegisterBenchmark(name.c_str(), [s, literal](benchmark::State& bench) {
        BM_Study(bench, s.study, literal);
      })->Unit(benchmark::kMillisecond);
    }
  }
  return true;
}();

}  // namespace
}  // namespace pelarin
