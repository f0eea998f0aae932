// The batch tool: its command line, its answers, its statuses, and the golden tables of the default cell.
// PELARIN_REGENERATE_GOLDEN=1 rewrites tests/data/golden from this build (review the diff before committing).
#include "batch/batch.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "batch/figures_command.h"
#include "batch/fit_command.h"
#include "batch/scan_command.h"
#include "common/solver_fixtures.h"
#include "common/table_reading.h"
#include "common/temp_folder.h"
#include "model/exact_circuit.h"
#include "model/number_text.h"
#include "model/operating_conditions.h"

namespace pelarin {
namespace {

namespace fs = std::filesystem;
using testing::Read;
using testing::TempFolderTest;
using testing::Write;

// The default cell's parameter file.
std::string DefaultCellFile() {
  std::string text;
  for (const char* line :
       {"Rs1=  5.E+0", "Rp1= 5.E+3",  "Jsc1= 8.E-3",  "Jsd11= 4.E-11", "Jsd12= 4.E-7", "m11= 1.", "m12= 2.",
        "Rs2=  5.E+0", "Rp2= 1.E+4",  "Jsc2= 1.2E-2", "Jsd21= 1.E-12", "Jsd22= 8.E-8", "m21= 1.", "m22= 2.",
        "Rs3=  5.E+0", "Rp3= 5.E+2",  "Jsc3= 1.6E-2", "Jsd31= 5.E-8",  "Jsd32= 1.E-6", "m31= 1.", "m32= 2.",
        "Rl1= 1.E+12", "Rl2= 1.E+12", "Rg1= 1.E+12",  "Rg2= 1.E+12",   "Rg3= 1.E+12"})
    text += std::string(line) + "\r\n";
  return text;
}

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
  // Every entry below the temporary folder with its kind, size and modification time.
  using FileTimes = std::map<std::string, std::string>;
  FileTimes Times() const {
    FileTimes times;
    for (const auto& entry : fs::recursive_directory_iterator(dir)) {
      const auto status = entry.symlink_status();
      std::string what = std::to_string(static_cast<int>(status.type()));
      if (fs::is_regular_file(status))
        what += ":" + std::to_string(entry.file_size()) + ":" +
                std::to_string(entry.last_write_time().time_since_epoch().count());
      times[entry.path().string()] = what;
    }
    return times;
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
                                               {"all", "--params"},
                                               {"\n"},
                                               {"all", "--line\nbreak"},
                                               {"all", "--images=-\n"},
                                               {"all", "--incident-power", "x\ny"}}) {
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
  EXPECT_EQ(Read(dir / "Test_plr" / "Test_All junctions_ill.bmp").substr(0, 10), "BM945x626:");
  EXPECT_EQ(Read(dir / "Test_plr" / "Test_All junctions_dark.bmp").substr(0, 10), "BM945x626:");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir / "Test_plr"), {}), 4) << "no temporary left";
}

TEST_F(BatchTest, ImagesTakeTheFormatOfTheOption) {
  for (const char* format : {"png", "svg", "bmp"}) {
    images.clear();
    const BatchRun run = Batch({"two", "--no-save", std::string("--images=") + format});
    ASSERT_EQ(run.status, kBatchOk) << run.err;
    ASSERT_EQ(images.size(), 1u);  // the two-junction study draws on linlin only
    // Written through a temporary that keeps the suffix the renderer takes the format from.
    EXPECT_TRUE(images[0].ends_with("." + std::string(format))) << images[0];
    EXPECT_TRUE(fs::is_regular_file(dir / "Test_plr" / ("Test_2 junctions_ill." + std::string(format))));
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

// Without --overwrite no file that exists is replaced: the run stops before it computes, names the first
// file in the way and exits 3; with --overwrite the whole set is new. A link or a FIFO at a name is never
// replaced, --overwrite or not: the run is refused before it computes (exit 2) and the entry stays.
class FileInTheWay : public BatchTest,
                     public ::testing::WithParamInterface<std::pair<const char*, const char*>> {};
TEST_P(FileInTheWay, StopsTheRunBeforeItComputes) {
  const auto [study, name] = GetParam();
  ASSERT_EQ(Batch({study, "--images"}).status, kBatchOk);
  // Only the entry under test stands in the way of the next run.
  fs::remove_all(dir / "Test_plr");
  fs::remove(dir / "Test.plr");
  const fs::path target = dir / name;
  fs::create_directories(target.parent_path());
  const std::string kind = target.filename().string();
  bool regular = false;
  if (kind.find("Dark") != std::string::npos || kind.find("dark") != std::string::npos) {
    fs::create_symlink(dir / "nowhere", target);  // a dangling link
  } else if (kind.ends_with(".bmp")) {
    ASSERT_EQ(::mkfifo(target.c_str(), 0600), 0);
  } else if (kind.starts_with("Test_J")) {
    Write(target, "mine");  // a regular file: replaced with --overwrite only
    regular = true;
  } else {
    Write(dir / "outside.txt", "mine");
    fs::create_symlink(dir / "outside.txt", target);
  }
  FileTimes before = Times();
  const BatchRun again = Batch({study, "--images", "--set", "Jsc1=0.009"});
  EXPECT_EQ(again.status, regular ? kBatchOverwriteDeclined : kBatchUsage);
  EXPECT_EQ(again.out, "") << "nothing was computed";
  EXPECT_NE(again.err.find(target.string() + (regular ? " exists already" : ": a ")), std::string::npos)
      << again.err;
  EXPECT_EQ(Times(), before) << "nothing was written";

  const BatchRun replaced = Batch({study, "--images", "--overwrite", "--set", "Jsc1=0.009"});
  if (regular) {
    EXPECT_EQ(replaced.status, kBatchOk) << replaced.err;
    EXPECT_NE(Read(target), "mine");
  } else {
    EXPECT_EQ(replaced.status, kBatchUsage) << replaced.err;
    EXPECT_EQ(Times(), before) << "nothing was written";
    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(target)) || fs::is_fifo(fs::symlink_status(target)));
  }
  if (fs::exists(dir / "outside.txt")) {
    EXPECT_EQ(Read(dir / "outside.txt"), "mine");
  }
}
INSTANTIATE_TEST_SUITE_P(Names, FileInTheWay,
                         ::testing::Values(std::pair{"all", "Test_plr/Test_J(V)_AllJunctions_dark.txt"},
                                           std::pair{"all", "Test_plr/Test_All junctions_ill.bmp"},
                                           std::pair{"independent", "Test.plr"},
                                           std::pair{"independent", "Test_plr/Test_J(V)_#3.txt"},
                                           std::pair{"one", "Test_plr/Test_J(V)_1Junction_#2.txt"},
                                           std::pair{"two-rl", "Test_plr/Test_J(V)_2Junctions_#1&#3_Rl.txt"},
                                           std::pair{"eqe-dark", "Test_plr/Test_EQE_dark.txt"}));

TEST_F(BatchTest, NoSaveWritesNothingAndLeavesNoFolder) {
  const BatchRun run = Batch({"all", "--no-save"});
  ASSERT_EQ(run.status, kBatchOk) << run.err;
  EXPECT_NE(run.out.find("lit (linlin)"), std::string::npos);
  EXPECT_TRUE(fs::is_empty(dir));
  // A folder of the user's stays, even empty.
  fs::create_directory(dir / "Test_plr");
  ASSERT_EQ(Batch({"all", "--no-save"}).status, kBatchOk);
  EXPECT_TRUE(fs::is_directory(dir / "Test_plr"));
  // The study folder is not even looked for (as in a read-only folder) unless something goes into it.
  fs::remove(dir / "Test_plr");
  Write(dir / "Test_plr", "");
  EXPECT_EQ(Batch({"independent", "--no-save"}).status, kBatchOk);
  EXPECT_EQ(Batch({"all", "--no-save", "--images"}).status, kBatchFailed);
}

TEST_F(BatchTest, TheSummaryGivesTheWholeVoltageRangeOfEachCurve) {
  const BatchRun run = Batch({"all", "--no-save"});
  ASSERT_EQ(run.status, kBatchOk) << run.err;
  // The lit sweep runs from open circuit down to -0.5 V: the range is lowest to highest.
  std::istringstream lines(run.out);
  std::string line;
  int curves = 0;
  while (std::getline(lines, line)) {
    const auto from = line.find("V from ");
    if (from == std::string::npos) continue;
    ++curves;
    const double low = Val(line.substr(from + 7));
    const double high = Val(line.substr(line.find(" to ", from) + 4));
    EXPECT_LT(low, high) << line;
  }
  EXPECT_EQ(curves, 2);
}

// Every refusal exits 2 with one sentence per fault, the window program's own, and leaves nothing behind.
TEST_F(BatchTest, RefusalsExitTwoAndLeaveNothing) {
  Write(dir / "short.plr", "Rs1= 5\r\nRp1= 5000\r\nJsc1= 0.008\r\n");
  fs::create_directory(dir / "run");
  const struct {
    std::vector<std::string> args;
    std::string said;
  } cases[] = {
      {{"independent", "--set", "Jsc1=abc"}, "pelarin-batch: Jsc1: \"abc\" is not a number.\n"},
      {{"all", "--set", "Rp2=-100"}, "pelarin-batch: Rp2: a resistance cannot be negative (\"-100\").\n"},
      {{"all", "--set", "m11=0", "--set", "Jsd12=-1"},
       "pelarin-batch: Jsd12: a saturation current cannot be negative (\"-1\"); 0 leaves the junction one "
       "diode.\npelarin-batch: m11: an ideality factor must be above 0 (\"0\").\n"},
      {{"independent", "--set", "Jsc1=0", "--set", "Jsc2=0", "--set", "Jsc3=0"},
       "pelarin-batch: Input error: Independent junctions did not start: no junction is illuminated (Jsc1, "
       "Jsc2 and Jsc3 are all 0): there is nothing to compute.\n"},
      {{"all", "--params", In("short.plr"), "--no-save"},
       "pelarin-batch: File error: The parameter file was not opened: " + In("short.plr") +
           " is not a parameter file: it has only 3 lines, not 26.\n"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = c.args;
    args.insert(args.end(), {"--dir", In("run")});
    const BatchRun run = Batch(args, false);
    EXPECT_EQ(run.status, kBatchUsage) << run.err;
    EXPECT_EQ(run.err, c.said);
    EXPECT_EQ(run.out, "");
    EXPECT_TRUE(fs::is_empty(dir / "run")) << c.said;
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), {}), 2) << "nothing beside the parameter file";
}

TEST_F(BatchTest, ABoxIsReadAsTheWindowReadsIt) {
  const BatchRun run = Batch({"independent", "--set", "Rs1=1,5", "--set", "Jsd11=4.5678e-11"});
  ASSERT_EQ(run.status, kBatchOk) << run.err;
  const std::string saved = Read(dir / "Test.plr");
  EXPECT_NE(saved.find("Rs1=  1.5E+0\r\n"), std::string::npos) << saved;
  EXPECT_NE(saved.find("Jsd11= 4.5678E-11\r\n"), std::string::npos) << saved;
}

// Paths are taken from where the tool starts; a missing working folder is made; --params with --no-save
// leaves no study folder beside the file.
TEST_F(BatchTest, PathsAreFromTheStartFolderAndTheWorkingFolderIsMade) {
  fs::create_directory(dir / "data");
  Write(dir / "data" / "lit.txt", "V\tJ\r\n0.1\t0.01\r\n0.2\t0.009\r\n");
  ASSERT_EQ(Batch({"independent", "--no-save"}).status, kBatchOk);  // writes nothing, so...
  Write(dir / "data" / "cellC.plr", DefaultCellFile());
  fs::current_path(dir);
  const BatchRun run = Batch(
      {"all", "--params", "data/cellC.plr", "--exp", "data/lit.txt", "--dir", "new/run", "--no-save"}, false);
  EXPECT_EQ(run.status, kBatchOk) << run.err;
  EXPECT_TRUE(fs::is_directory(dir / "new" / "run"));
  EXPECT_TRUE(fs::is_empty(dir / "new" / "run"));
  EXPECT_FALSE(fs::exists(dir / "data" / "cellC_plr")) << "no folder stays beside the parameter file";
  EXPECT_NE(run.out.find("lit (linlin)  measured (grey (measured)): 2 points"), std::string::npos) << run.out;
  EXPECT_EQ(fs::current_path(), dir) << "the run gives the working directory back";
  // Measured data that cannot be drawn fails the run, named.
  const BatchRun missing = Batch({"all", "--exp", "data/gone.txt", "--no-save"});
  EXPECT_EQ(missing.status, kBatchFailed);
  EXPECT_NE(missing.err.find("cannot read " + In("data/gone.txt") + ": the file does not exist."),
            std::string::npos)
      << missing.err;
}

// A file that cannot be written is a failure: named, the old file kept, and a status that says so.
TEST_F(BatchTest, FilesThatCannotBeWrittenFailTheRunAndKeepTheOldOnes) {
  // A folder where the parameter file goes: refused before anything is computed.
  fs::create_directory(dir / "Test.plr");
  const BatchRun folder = Batch({"independent", "--overwrite"});
  EXPECT_EQ(folder.status, kBatchUsage);
  EXPECT_NE(
      folder.err.find(In("Test.plr") + " is a folder; an output needs a file name; nothing was computed"),
      std::string::npos)
      << folder.err;
  EXPECT_EQ(folder.out, "");
  EXPECT_TRUE(fs::is_directory(dir / "Test.plr"));

  // A full disk: the dark table, larger than the lit one, cannot be written. The old set stays whole.
  ASSERT_EQ(Batch({"all"}).status, kBatchOk);
  const fs::path lit = dir / "Test_plr" / "Test_J(V)_AllJunctions.txt";
  const fs::path dark = dir / "Test_plr" / "Test_J(V)_AllJunctions_dark.txt";
  const std::string oldLit = Read(lit), oldDark = Read(dark);
  rlimit saved{};
  getrlimit(RLIMIT_FSIZE, &saved);
  const rlimit small{oldLit.size() * 2, saved.rlim_max};
  ASSERT_LT(small.rlim_cur, oldDark.size());
  const auto handler = std::signal(SIGXFSZ, SIG_IGN);
  setrlimit(RLIMIT_FSIZE, &small);
  const BatchRun full = Batch({"all", "--overwrite", "--set", "Jsc1=0.009"});
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, handler);
  EXPECT_EQ(full.status, kBatchFailed);
  EXPECT_NE(full.err.find("cannot write " + dark.string()), std::string::npos) << full.err;
  EXPECT_EQ(Read(lit), oldLit) << "no new lit table beside an old dark one";
  EXPECT_EQ(Read(dark), oldDark);
  for (const auto& entry : fs::directory_iterator(dir / "Test_plr"))
    EXPECT_EQ(entry.path().string().find(".tmp~"), std::string::npos) << "left behind: " << entry.path();
}

// A link placed at the temporary name the tables once used (<table>.tmp~) redirects nothing.
TEST_F(BatchTest, ALinkAtATemporaryNameRedirectsNothing) {
  ASSERT_EQ(Batch({"all"}).status, kBatchOk);
  const fs::path table = dir / "Test_plr" / "Test_J(V)_AllJunctions.txt";
  Write(dir / "victim.txt", "outside the study folder");
  fs::create_symlink(dir / "victim.txt", table.string() + ".tmp~");
  ASSERT_EQ(::mkfifo((table.string() + "_dark.tmp~").c_str(), 0600), 0);
  ASSERT_EQ(Batch({"all", "--overwrite"}).status, kBatchOk);
  EXPECT_EQ(Read(dir / "victim.txt"), "outside the study folder");
  EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(table)));
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
  const BatchRun run = Batch({"all", "--set", "Rp2=1e-320"});
  EXPECT_EQ(run.status, kBatchFailed);
  EXPECT_NE(run.err.find("Calculation error"), std::string::npos) << run.err;
  EXPECT_FALSE(fs::exists(dir / "Test_plr")) << "a failed run leaves no empty study folder behind";
  // A study folder that was there before is kept, empty or not.
  fs::create_directory(dir / "Test_plr");
  EXPECT_EQ(Batch({"all", "--set", "Rp2=1e-320"}).status, kBatchFailed);
  EXPECT_TRUE(fs::is_directory(dir / "Test_plr"));
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

// Outputs never destroy inputs or each other: every command refuses, before it computes (exit 2, nothing
// written), an output without a name or naming a folder, two outputs of one file, an output that is one
// of its inputs, and an output where a link stands, --overwrite or not. Relative paths are the start
// folder's, wherever the parameter file read lies.
TEST_F(BatchTest, OutputsThatWouldDestroyAnInputOrEachOtherAreRefusedBeforeComputing) {
  fs::current_path(dir);
  ASSERT_EQ(Batch({"independent"}).status, kBatchOk);  // Test.plr and the study folder
  fs::create_directory(dir / "other");
  fs::copy_file(dir / "Test.plr", dir / "other" / "cell.plr");
  Write(dir / "lit.csv", "V,J\n0,0.008\n0.5,0.007\n1,0.004\n1.3,0\n");
  fs::create_symlink("/dev/null", dir / "null.csv");
  const std::string table = "Test_plr/Test_J(V)_AllJunctions.txt";
  struct Case {
    std::vector<std::string> args;
    const char* said;
  };
  const Case cases[] = {
      {{"all", "--summary", table}, "is named for two outputs of the run"},
      {{"all", "--images", "--summary", "Test_plr/Test_All junctions_ill.bmp"}, "is named for two outputs"},
      {{"independent", "--summary", "Test.plr"}, "is named for two outputs"},
      {{"all", "--params", "other/cell.plr", "--summary", "other/cell.plr"}, "is also an input of the run"},
      {{"all", "--summary", ""}, "an output file has no name"},
      {{"all", "--summary", "other"}, "is a folder"},
      {{"all", "--summary", "null.csv"}, "a link of that name is in the way"},
      {{"figures", "all", "--params", "other/cell.plr", "--summary", "other/cell.plr"}, "is also an input"},
      {{"figures", "all", "--summary", ""}, "an output file has no name"},
      {{"scan", "all", "--vary", "Rs1=1:2:2", "--summary", "x.png", "--plot", "x.png"}, "is named for two"},
      {{"fit", "--data", "lit=lit.csv", "--free", "Rp1", "--out", "lit.csv"}, "is also an input"},
      {{"fit", "--data", "lit=lit.csv", "--free", "Rp1", "--out", "f.plr", "--report", "f.plr"},
       "named for two"},
      {{"fit", "--data", "lit=lit.csv", "--free", "Rp1", "--out", "missing/f.plr"}, "cannot write"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = c.args;
    args.push_back("--overwrite");
    const FileTimes before = Times();
    std::ostringstream out, err;
    int status = kBatchUsage;
    const std::atomic<bool> stop{false};
    const ImageSaver none = [](const RecordingSurface&, int, int, const std::string&) { return true; };
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    if (args[0] == "figures") {
      if (const auto o = ParseFiguresOptions(rest, err)) status = RunFigures(*o, out, err);
    } else if (args[0] == "scan") {
      if (const auto o = ParseScanOptions(rest, err)) status = RunScan(*o, out, err, stop, none);
    } else if (args[0] == "fit") {
      if (const auto o = ParseFitOptions(rest, err)) status = RunFit(*o, out, err, stop, none);
    } else {
      const BatchRun run = Batch(args, false);
      status = run.status, err << run.err, out << run.out;
    }
    EXPECT_EQ(status, kBatchUsage) << args[0] << " " << c.said << "\n" << err.str();
    EXPECT_NE(err.str().find(c.said), std::string::npos) << err.str();
    EXPECT_EQ(Times(), before) << c.said << ": nothing was written";
  }
  // The parameter file's folder is no place for the outputs: figures writes its summary where it started.
  std::ostringstream out, err;
  const auto figures = ParseFiguresOptions({"all", "--params", "other/cell.plr", "--summary", "s.csv"}, err);
  ASSERT_TRUE(figures);
  EXPECT_EQ(RunFigures(*figures, out, err), kBatchOk) << err.str();
  EXPECT_TRUE(fs::exists(dir / "s.csv"));
  EXPECT_EQ(fs::current_path(), dir);
}

// A study draws every curve it lists or refuses: a dark junction whose saturation current is beyond the lit
// junctions' photocurrents still gets its curve, and a one-junction study with every junction dark refuses
// rather than write an empty folder.
TEST_F(BatchTest, EveryListedCurveIsDrawnOrTheStudyRefuses) {
  struct Case {
    std::vector<std::string> sets;
    const char* study;
    int status;
    int curves;  // lit curves in the summary
  };
  const Case cases[] = {
      {{"Jsd32=1"}, "two", kBatchOk, 3},
      {{"Jsd31=0.1"}, "two", kBatchOk, 3},
      {{"Jsd12=0.1"}, "two", kBatchOk, 3},
      {{"Jsd22=0.1"}, "two", kBatchOk, 3},
      {{"Jsc1=0", "Jsc2=0", "Jsc3=0"}, "one", kBatchUsage, 0},
  };
  for (const Case& c : cases) {
    fs::remove_all(dir);
    fs::create_directories(dir);
    std::vector<std::string> args = {c.study, "--summary", In("s.csv")};
    for (const std::string& set : c.sets) args.insert(args.end(), {"--set", set});
    const BatchRun run = Batch(args);
    EXPECT_EQ(run.status, c.status) << c.sets[0] << "\n" << run.err;
    if (c.status != kBatchOk) {
      EXPECT_TRUE(fs::is_empty(dir)) << "nothing is written, no folder made";
      continue;
    }
    const auto lines = testing::Lines(Read(dir / "s.csv"));
    EXPECT_EQ(static_cast<int>(lines.size()) - 1, c.curves) << c.sets[0];
    for (const auto& entry : fs::directory_iterator(dir / "Test_plr"))
      EXPECT_GT(testing::Lines(Read(entry.path())).size(), 1u) << entry.path() << " holds points";
  }
}

// The reference conditions typed into their boxes leave every table as it was, byte for byte.
TEST_F(BatchTest, TypingTheReferenceConditionsChangesNoByte) {
  for (const char* study : {"independent", "all", "two-rl"}) {
    std::vector<std::string> args = {study, "--overwrite"};
    for (const char* set :
         {"T=26.85", "X=1", "Eg1=0.67", "Eg2=1.4", "Eg3=1,85", "alpha1=0", "alpha2=0.0", "alpha3=-0"})
      args.insert(args.end(), {"--set", set});
    ASSERT_EQ(Batch(args).status, kBatchOk) << study;
    const fs::path golden = fs::path(PELARIN_TEST_DATA) / "golden" / study;
    for (const auto& entry : fs::directory_iterator(golden))
      ExpectSameTable(dir / "Test_plr" / entry.path().filename(), entry.path());
    fs::remove_all(dir / "Test_plr");
  }
}

// At other conditions the study's searches solve the cell at those conditions: each point of the lit
// stack's table lies on the exact solver's curve of the transformed cell as closely as at the reference
// conditions (where both solve the same circuit to the searches' own resolution).
TEST_F(BatchTest, AStudyAtOtherConditionsFollowsTheCellAtThem) {
  const auto worst = [&](const std::vector<std::string>& sets) {
    std::vector<std::string> args = {"all", "--overwrite"};
    Parameters form = testing_cell::DefaultParameters();
    for (const std::string& set : sets) {
      args.insert(args.end(), {"--set", set});
      const auto eq = set.find('=');
      form.*kParameterRows[static_cast<std::size_t>(ParameterIndex(set.substr(0, eq)))].member =
          Val(set.substr(eq + 1));
    }
    EXPECT_EQ(Batch(args).status, kBatchOk);
    const CellAtConditions cell = AtConditions(form);
    const exact::CircuitSolver solver(cell.par, cell.Vt, exact::Stack({true, true, true}, false));
    const auto lines = testing::Lines(Read(dir / "Test_plr" / "Test_J(V)_AllJunctions.txt"));
    const std::vector<double> V = testing::Column(lines, 0), J = testing::Column(lines, 1);
    double largest = 0;
    for (std::size_t i = 0; i < V.size(); ++i)
      largest = std::max(largest, std::abs(solver.VoltageAt(J[i]).V - V[i]));
    return largest;
  };
  const double atReference = worst({});
  const double atConditions = worst({"T=85", "X=40", "Eg2=1.42", "alpha3=5e-4"});
  EXPECT_LT(atConditions, std::max(2 * atReference, 1e-7)) << atReference;
  RecordProperty("largest voltage difference", std::to_string(atConditions));
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
