// The studies that run their sweeps at once give the same curves, the same drawing, the same fault and the
// same final state as the same sweeps run in turn, for random cells and for cells where a sweep faults.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <random>
#include <string>

#include "common/fake_ui.h"
#include "common/state_checks.h"
#include "common/table_reading.h"
#include "common/temp_folder.h"
#include "model/calc_error.h"
#include "model/number_text.h"
#include "model/parameter_table.h"
#include "studies/studies.h"
#include "workspace/read_parameters.h"

namespace pelarin {
namespace {

using Boxes = std::array<std::string, kParameterCount>;

struct Outcome {
  State state;
  testing::FakeUi ui;
  std::string fault;
};

class ParallelSweeps : public testing::TempFolderTest {
 protected:
  void SetUp() override { std::filesystem::current_path(dir); }

  // The study on a fresh state with these boxes, its sweeps at once or in turn, answering No throughout.
  static void Run(void (*study)(State&, Ui&), const Boxes& boxes, bool atOnce, Outcome& out) {
    ResetStartUpConstants(out.state);
    out.state.k.parallelSweeps = atOnce;
    for (int i = 0; i < kParameterCount; ++i) out.ui.form.SetBoxText(i, boxes[static_cast<std::size_t>(i)]);
    out.ui.answers = {false, false, false, false};
    try {
      study(out.state, out.ui);
    } catch (const CalcError& e) {
      out.fault = e.what();
    }
  }

  static void ExpectSameOutcome(void (*study)(State&, Ui&), const Boxes& boxes) {
    Outcome inTurn, atOnce;
    Run(study, boxes, false, inTurn);
    Run(study, boxes, true, atOnce);
    atOnce.state.k.parallelSweeps = false;
    EXPECT_EQ(atOnce.fault, inTurn.fault);
    testing::ExpectSameState(atOnce.state, inTurn.state);
    testing::ExpectSameDrawing(atOnce.ui.linlin.surface, inTurn.ui.linlin.surface, "lit plot");
    testing::ExpectSameDrawing(atOnce.ui.linlog.surface, inTurn.ui.linlog.surface, "dark plot");
    EXPECT_EQ(atOnce.ui.messages.size(), inTurn.ui.messages.size());
  }

  // A cell with every parameter drawn log-uniformly over a range a real cell may have; now and then a
  // junction is dark.
  static Boxes RandomCell(std::mt19937_64& rng) {
    const auto logUniform = [&](double lo, double hi) {
      return std::exp(std::uniform_real_distribution<double>(std::log(lo), std::log(hi))(rng));
    };
    const auto text = [](double x) { return PlainNumber(x); };
    Boxes boxes;
    for (int i = 0; i < kParameterCount; ++i)
      boxes[static_cast<std::size_t>(i)] = kParameterRows[i].defaultText;
    for (std::size_t j = 0; j < 3; ++j) {
      const std::size_t b = 7 * j;
      boxes[b] = text(logUniform(0.1, 50));
      boxes[b + 1] = text(logUniform(50, 1e6));
      boxes[b + 2] = rng() % 8 == 0 ? "0" : text(logUniform(0.002, 0.03));
      boxes[b + 3] = text(logUniform(1e-15, 1e-8));
      boxes[b + 4] = text(logUniform(1e-12, 1e-5));
      boxes[b + 5] = text(logUniform(0.8, 1.5));
      boxes[b + 6] = text(logUniform(1.5, 3));
    }
    return boxes;
  }

  static Boxes DefaultCell() {
    Boxes boxes;
    for (int i = 0; i < kParameterCount; ++i)
      boxes[static_cast<std::size_t>(i)] = kParameterRows[i].defaultText;
    return boxes;
  }
};

TEST_F(ParallelSweeps, ThreeJunctionStudyMatchesTheSweepsInTurn) {
  ExpectSameOutcome(StudyAllJunctions, DefaultCell());
  std::mt19937_64 rng(7);
  for (int cell = 0; cell < 40; ++cell) {
    SCOPED_TRACE("random cell " + std::to_string(cell));
    ExpectSameOutcome(StudyAllJunctions, RandomCell(rng));
  }
}

TEST_F(ParallelSweeps, IndependentStudyMatchesTheJunctionsInTurn) {
  ExpectSameOutcome(IndependentStudy, DefaultCell());
  std::mt19937_64 rng(11);
  for (int cell = 0; cell < 6; ++cell) {
    SCOPED_TRACE("random cell " + std::to_string(cell));
    ExpectSameOutcome(IndependentStudy, RandomCell(rng));
  }
}

// A fault in one sweep only: the dark sweeps' start current is 0 when the shunts add up to infinity while
// the lit sweep runs; junction 2 alone has an ideality factor so small that m * Vt is 0. The fault and the
// state it leaves are those of the plain run.
TEST_F(ParallelSweeps, AFaultInOneSweepIsTheFaultOfTheSweepsInTurn) {
  Boxes shunts = DefaultCell();
  shunts[1] = shunts[8] = "1e308";
  ExpectSameOutcome(StudyAllJunctions, shunts);
  Outcome check;
  Run(StudyAllJunctions, shunts, true, check);
  EXPECT_NE(check.fault.find("curJset is 0"), std::string::npos) << check.fault;

  Boxes ideality = DefaultCell();
  ideality[12] = "4.9e-324";  // above 0, so the form takes it, but m21 * Vt underflows to 0
  ExpectSameOutcome(IndependentStudy, ideality);
  Outcome check2;
  Run(IndependentStudy, ideality, true, check2);
  EXPECT_NE(check2.fault.find("ideality factor m1"), std::string::npos) << check2.fault;
}

}  // namespace
}  // namespace pelarin
