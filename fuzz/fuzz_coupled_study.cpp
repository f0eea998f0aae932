// Whole coupled studies (all-rl, two-rl, one-rl) on any cell the form accepts, however extreme: each ends
// well within libFuzzer's per-input time limit, with its curves or with a calculation error. The study's
// budget of work is cut to a fiftieth here, so that a study that would not end stops within that limit
// even under the sanitizers: what is checked is that all the work counts against the budget.
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "fuzz/fuzz_check.h"
#include "model/calc_error.h"
#include "model/number_text.h"
#include "model/parameter_table.h"
#include "studies/coupled_studies.h"
#include "tests/common/declining_ui.h"
#include "workspace/read_parameters.h"

using namespace pelarin;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // The studies make their folder where they run: a private one.
  std::string folder = (std::filesystem::temp_directory_path() / "pelarin-fuzz-study-XXXXXX").string();
  if (::mkdtemp(folder.data()) == nullptr) std::abort();
  std::filesystem::current_path(folder);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  testing::DecliningUi ui;
  // Each box: kept at its default, or a value spread over the range the form accepts (log scale; the
  // operating conditions linearly over theirs).
  std::size_t at = 1;
  for (int box = 0; box < kParameterCount && at + 1 < size; ++box, at += 2) {
    if (data[at] % 3 == 0) continue;
    const double t = data[at + 1] / 255.0;
    const ParameterRow& row = kParameterRows[static_cast<std::size_t>(box)];
    const double value = row.rule == ReadRule::Bounded ? row.low + (row.high - row.low) * std::max(t, 1e-3)
                         : row.rule == ReadRule::IdealityFactor ? std::pow(10.0, -3 + 4.7 * t)
                                                                : std::pow(10.0, -300 + 600 * t);
    ui.form.SetBoxText(box, ShortestText(value));
  }
  State state;
  ResetStartUpConstants(state);
  state.ws.workBudget /= 50;
  void (*studies[])(State&, Ui&) = {StudyWithRl, StudyTwoWithRl, StudyOneWithRl};
  try {
    studies[data[0] % 3](state, ui);
  } catch (const CalcError& e) {
    FUZZ_CHECK(std::string(e.what()).size() > 10, "a calculation error says why");
  } catch (const InputError&) {
  } catch (const FileError&) {
  }
  std::error_code ignored;
  for (const auto& entry : std::filesystem::directory_iterator(".", ignored))
    std::filesystem::remove_all(entry.path(), ignored);
  return 0;
}
