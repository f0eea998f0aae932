// The batch tool: its command line, its answers, its statuses, and the golden tables of the default cell.
// PELARIN_REGENERATE_GOLDEN=1 rewrites tests/data/golden from this build (review the diff before committing).
#include "batch/batch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "common/temp_folder.h"
#include "model/number_text.h"

namespace pelarin {
namespace {

namespace fs = std::filesystem;
using testing::Read;
using testing::TempFolderTest;
using testing::Write;

struct BatchRun {
  int status;
  std::string out, err;
};

class BatchTest : public TempFolderTest {
 protected:
  BatchRun Batch(std::vector<std::string> args, bool withDir = true) {
    if (withDir) {
      args.push_back("--dir");
      args.push_back(dir.string());
    }
    std::ostringstream out, err;
    const auto options = ParseBatchOptions(args, err);
    if (!options) return {kBatchUsage, out.str(), err.str()};
    const int status = RunBatch(
        *options, out, err, [this](const RecordingSurface& drawing, int w, int h, const std::string& path) {
          images.push_back(path);
          Write(path, "BM" + std::to_string(w) + "x" + std::to_string(h) + ":" +
                          std::to_string(drawing.Ops().size()));
          return true;
        });
    return {status, out.str(), err.str()};
  }
  std::vector<std::string> images;
};

TEST_F(BatchTest, UsageErrorsAreExplainedWithStatusTwo) {
  for (const std::vector<std::string>& args : {std::vector<std::string>{},
                                               {"nonsense"},
                                               {"all", "one"},
                                               {"all", "--set", "Jsc9=1"},
                                               {"all", "--set", "Jsc2"},
                                               {"all", "--bogus"},
                                               {"all", "--images=gif"},
                                               {"all", "--incident-power", "0"},
                                               {"all", "--summary"},
                                               {"all", "--params"}}) {
    const BatchRun run = Batch(args, false);
    EXPECT_EQ(run.status, kBatchUsage);
    EXPECT_NE(run.err.find("pelarin-batch: "), std::string::npos);
    EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << "one sentence: " << run.err;
  }
  const BatchRun missingParams = Batch({"all", "--params", In("none.plr")});
  EXPECT_EQ(missingParams.status, kBatchUsage);
  EXPECT_NE(missingParams.err.find("none.plr"), std::string::npos);
}

TEST_F(BatchTest, HelpDocumentsEveryOptionAndStatus) {
  const BatchRun run = Batch({"--help"}, false);
  EXPECT_EQ(run.status, kBatchOk);
  for (const char* text :
       {"independent", "all",         "two",      "one",       "all-rl",           "two-rl",
        "one-rl",      "eqe-ill",     "eqe-dark", "eqe-12",    "eqe-13",           "eqe-23",
        "--params",    "--set",       "--dir",    "--exp",     "--overwrite",      "--no-save",
        "--images",    "Exit status", "Example",  "--summary", "--incident-power", "png",
        "svg"})
    EXPECT_NE(run.out.find(text), std::string::npos) << text;
}

TEST_F(BatchTest, AStudyTheMenusWouldDisableIsRefused) {
  const std::pair<const char*, const char*> refused[] = {
      {"two", "Jsc2=0"}, {"all-rl", "Jsc3=0"}, {"two-rl", "Jsc1=0"}, {"one-rl", "Jsc2=0"}};
  for (const auto& [study, set] : refused) {
    const BatchRun run = Batch({study, "--set", set});
    EXPECT_EQ(run.status, kBatchUsage) << study;
    EXPECT_NE(run.err.find("the study \"" + std::string(study) +
                           "\" needs all three junctions illuminated (Jsc1, Jsc2 and Jsc3 nonzero)"),
              std::string::npos)
        << run.err;
    EXPECT_FALSE(fs::exists(dir / "Test_plr")) << study;
  }
  // An EQE pair needs only the junction that stays lit when one is dark.
  const BatchRun pair = Batch({"eqe-23", "--set", "Jsc2=0"});
  EXPECT_EQ(pair.status, kBatchUsage);
  EXPECT_NE(pair.err.find("needs junction 2 illuminated (Jsc2 nonzero)"), std::string::npos) << pair.err;
  EXPECT_EQ(Batch({"eqe-23", "--set", "Jsc3=0", "--no-save"}).status, kBatchOk);
}

TEST_F(BatchTest, AllStudyReportsCurvesWithTheirFiguresFilesAndImages) {
  const BatchRun run = Batch({"all", "--images"});
  ASSERT_EQ(run.status, kBatchOk) << run.err;
  EXPECT_NE(run.out.find("dark (linlog)  stack, dark (orange-brown): "), std::string::npos) << run.out;
  // The default cell's figures, as read by hand from its lit table.
  EXPECT_NE(run.out.find("lit (linlin)  stack (orange): "), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("; Voc 1.383 V, Jsc 8.14 mA/cm2, FF 0.730, Pmax 8.22 mW/cm2, Vmp 1.092 V, Jmp 7.53 "
                         "mA/cm2, Eff 8.22 % at 100 mW/cm2\n"),
            std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("written: " + (dir / "Test_plr" / "Test_J(V)_AllJunctions.txt").string()),
            std::string::npos);
  ASSERT_EQ(images.size(), 2u);
  EXPECT_EQ(images[0], (dir / "Test_plr" / "Test_All junctions_ill.bmp").string());
  EXPECT_EQ(images[1], (dir / "Test_plr" / "Test_All junctions_dark.bmp").string());
}

TEST_F(BatchTest, ImagesTakeTheFormatOfTheOption) {
  for (const char* format : {"png", "svg", "bmp"}) {
    images.clear();
    const BatchRun run = Batch({"two", "--no-save", std::string("--images=") + format});
    ASSERT_EQ(run.status, kBatchOk) << run.err;
    ASSERT_EQ(images.size(), 1u);  // the two-junction study draws on linlin only
    EXPECT_EQ(images[0], (dir / "Test_plr" / ("Test_2 junctions_ill." + std::string(format))).string());
  }
}

// The summary: one row per curve drawn, the units in the header, the figures of lit curves only.
TEST_F(BatchTest, SummaryWritesOneRowOfFiguresPerCurve) {
  const BatchRun run = Batch(
      {"independent", "--no-save", "--summary", (dir / "figures.csv").string(), "--incident-power", "50"});
  ASSERT_EQ(run.status, kBatchOk) << run.err;
  EXPECT_NE(run.out.find("written: " + (dir / "figures.csv").string()), std::string::npos) << run.out;
  std::istringstream csv(Read(dir / "figures.csv"));
  std::vector<std::vector<std::string>> rows;
  for (std::string line; std::getline(csv, line);) {
    ASSERT_EQ(line.back(), '\r');
    line.pop_back();
    std::vector<std::string> fields;
    // The names are quoted where they hold a comma.
    for (std::size_t at = 0; at <= line.size();) {
      const bool quoted = at < line.size() && line[at] == '"';
      const std::size_t end = quoted ? line.find("\",", at + 1) + 1 : line.find(',', at);
      const std::size_t stop = end == std::string::npos ? line.size() : end;
      fields.push_back(quoted ? line.substr(at + 1, stop - at - 2) : line.substr(at, stop - at));
      at = stop + 1;
    }
    rows.push_back(fields);
  }
  ASSERT_EQ(rows.size(), 7u);
  EXPECT_EQ(rows[0], (std::vector<std::string>{"study", "window", "curve", "points", "Voc (V)",
                                               "Jsc (mA/cm2)", "FF", "Pmax (mW/cm2)", "Vmp (V)",
                                               "Jmp (mA/cm2)", "efficiency (%)", "incident power (mW/cm2)"}));
  for (int i = 1; i <= 3; ++i) {
    const auto& dark = rows[static_cast<std::size_t>(i)];
    EXPECT_EQ(dark[1], "dark (linlog)");
    EXPECT_EQ(dark[2], "#" + std::to_string(i) + " alone, dark");
    for (std::size_t f = 4; f < 12; ++f) EXPECT_EQ(dark[f], "") << "a dark curve has no figures";
  }
  const auto& lit = rows[4];
  ASSERT_EQ(lit.size(), 12u);
  EXPECT_EQ(lit[0], "Test_All junctions_independent");
  EXPECT_EQ(lit[2], "#1 alone");
  const double voc = std::stod(lit[4]), jsc = std::stod(lit[5]), ff = std::stod(lit[6]),
               pmax = std::stod(lit[7]);
  EXPECT_NEAR(voc, 0.476, 0.0005);
  EXPECT_NEAR(jsc, 7.99, 0.005);
  EXPECT_DOUBLE_EQ(ff, pmax / (voc * jsc));
  EXPECT_DOUBLE_EQ(std::stod(lit[10]), pmax / 50 * 100);  // at the stated 50 mW/cm2
  EXPECT_EQ(lit[11], "50");
  // The junctions' open-circuit voltages add up to the stack's (1.383 V).
  EXPECT_NEAR(voc + std::stod(rows[5][4]) + std::stod(rows[6][4]), 1.383, 0.0005);
}

TEST_F(BatchTest, DeclinedOverwriteWritesNothingAndSaysSo) {
  ASSERT_EQ(Batch({"all", "--no-save"}).status, kBatchOk);
  EXPECT_TRUE(fs::is_empty(dir / "Test_plr"));
  ASSERT_EQ(Batch({"all"}).status, kBatchOk);
  const std::string before = Read(dir / "Test_plr" / "Test_J(V)_AllJunctions_dark.txt");
  Write(dir / "Test_plr" / "Test_J(V)_AllJunctions_dark.txt", "mine");
  const BatchRun again = Batch({"all", "--images"});
  EXPECT_EQ(again.status, kBatchOverwriteDeclined);
  EXPECT_EQ(again.out.find("written:"), std::string::npos) << again.out;
  EXPECT_TRUE(images.empty());
  EXPECT_EQ(Read(dir / "Test_plr" / "Test_J(V)_AllJunctions_dark.txt"), "mine");
  EXPECT_EQ(Batch({"all", "--overwrite"}).status, kBatchOk);
  EXPECT_EQ(Read(dir / "Test_plr" / "Test_J(V)_AllJunctions_dark.txt"), before);
}

TEST_F(BatchTest, ParamsAndSetNameTheStudyAndChangeTheCell) {
  ASSERT_EQ(Batch({"independent", "--set", "Jsc1=0.009"}).status, kBatchOk);
  // The independent study saves its parameter file under the study name in the working folder.
  const std::string saved = Read(dir / "Test.plr");
  EXPECT_NE(saved.find("Jsc1= 9.E-3\r\n"), std::string::npos) << saved;
  fs::rename(dir / "Test.plr", dir / "cellB.plr");
  const BatchRun run = Batch({"one", "--params", In("cellB.plr"), "--set", "Jsc3=0"});
  ASSERT_EQ(run.status, kBatchOk) << run.err;
  EXPECT_TRUE(fs::exists(dir / "cellB_plr" / "cellB_J(V)_1Junction_#1.txt"));
  EXPECT_FALSE(fs::exists(dir / "cellB_plr" / "cellB_J(V)_1Junction_#3.txt"));
}

TEST_F(BatchTest, ACalculationFaultGivesStatusFourAndNoTable) {
  const BatchRun run = Batch({"all", "--set", "m21=0"});
  EXPECT_EQ(run.status, kBatchFailed);
  EXPECT_NE(run.err.find("Calculation error"), std::string::npos) << run.err;
  EXPECT_TRUE(fs::is_empty(dir / "Test_plr"));
}

// ---- Golden tables ----

// Results are exact: a table must equal its reviewed golden copy byte for byte. A difference names its
// first line.
void ExpectSameTable(const fs::path& produced, const fs::path& golden) {
  const std::string got = Read(produced), want = Read(golden);
  if (got == want) return;
  std::size_t line = 1, at = 0;
  while (at < got.size() && at < want.size() && got[at] == want[at]) line += got[at++] == '\n';
  const auto lineOf = [](const std::string& text, std::size_t pos) {
    const auto start = text.rfind('\n', pos == 0 ? 0 : pos - 1);
    const auto from = start == std::string::npos || pos == 0 ? 0 : start + 1;
    return text.substr(from, text.find('\r', from) - from);
  };
  ADD_FAILURE() << produced.filename() << " differs from its golden copy at line " << line << ":\n  \""
                << lineOf(got, at) << "\"\ninstead of\n  \"" << lineOf(want, at) << "\"";
}

// A golden folder: the study and the boxes typed before it runs.
struct GoldenCase {
  const char* folder;
  const char* study;
  std::vector<std::string> sets;  // NAME=TEXT
};
void PrintTo(const GoldenCase& c, std::ostream* os) { *os << c.folder; }

class GoldenTables : public BatchTest, public ::testing::WithParamInterface<GoldenCase> {};

TEST_P(GoldenTables, MatchTheReviewedTables) {
  std::vector<std::string> args = {GetParam().study};
  for (const std::string& set : GetParam().sets) args.insert(args.end(), {"--set", set});
  const BatchRun run = Batch(args);
  ASSERT_EQ(run.status, kBatchOk) << run.err;
  const fs::path golden = fs::path(PELARIN_TEST_DATA) / "golden" / GetParam().folder;
  const bool regenerate = std::getenv("PELARIN_REGENERATE_GOLDEN") != nullptr;
  if (regenerate) {
    fs::remove_all(golden);
    fs::create_directories(golden);
  }
  int compared = 0;
  for (const auto& entry : fs::directory_iterator(dir / "Test_plr")) {
    if (entry.path().extension() != ".txt") continue;
    if (regenerate) fs::copy_file(entry.path(), golden / entry.path().filename());
    ExpectSameTable(entry.path(), golden / entry.path().filename());
    ++compared;
  }
  int expected = 0;
  for (const auto& entry : fs::directory_iterator(golden)) expected += entry.path().extension() == ".txt";
  EXPECT_EQ(compared, expected);
  EXPECT_GT(compared, 0);
}

// The default cell, and a cell with a real coupling network for the studies with Rl and Rg.
const std::vector<std::string> kCoupling = {"Rl2=5e3", "Rg3=1e4"};
INSTANTIATE_TEST_SUITE_P(
    Studies, GoldenTables,
    ::testing::Values(GoldenCase{"independent", "independent", {}}, GoldenCase{"all", "all", {}},
                      GoldenCase{"two", "two", {}}, GoldenCase{"one", "one", {}},
                      GoldenCase{"all-rl", "all-rl", {}}, GoldenCase{"two-rl", "two-rl", {}},
                      GoldenCase{"one-rl", "one-rl", {}}, GoldenCase{"all-rl-coupled", "all-rl", kCoupling},
                      GoldenCase{"two-rl-coupled", "two-rl", kCoupling},
                      GoldenCase{"one-rl-coupled", "one-rl", kCoupling}, GoldenCase{"eqe-ill", "eqe-ill", {}},
                      GoldenCase{"eqe-dark", "eqe-dark", {}}, GoldenCase{"eqe-12", "eqe-12", {}},
                      GoldenCase{"eqe-13", "eqe-13", {}}, GoldenCase{"eqe-23", "eqe-23", {}}),
    [](const auto& info) {
      std::string name = info.param.folder;
      std::replace(name.begin(), name.end(), '-', '_');
      return name;
    });

}  // namespace
}  // namespace pelarin
