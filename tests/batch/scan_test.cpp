// Parameter scans through the batch tool's core: the rows and their order, threads, slices and their merge,
// resuming, failing cells, and the inputs refused before anything runs.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "batch/scan_command.h"
#include "common/table_reading.h"
#include "common/temp_folder.h"
#include "model/number_text.h"

namespace pelarin {
namespace {

namespace fs = std::filesystem;
using testing::Read;

struct ScanRun {
  int status;
  std::string out, err;
};

class ScanTest : public testing::TempFolderTest {
 protected:
  void SetUp() override { fs::current_path(dir); }

  static ScanRun Scan(const std::vector<std::string>& args, bool stopAtOnce = false) {
    std::ostringstream out, err;
    const auto options = ParseScanOptions(args, err);
    if (!options) return {2, out.str(), err.str()};
    const std::atomic<bool> stop{stopAtOnce};
    const int status = RunScan(*options, out, err, stop);
    return {status, out.str(), err.str()};
  }
  static ScanRun Merge(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    const int status = RunScanMerge(args, out, err);
    return {status, out.str(), err.str()};
  }

  // The lines of a scan file split at its commas (no quoted field in these scans).
  static std::vector<std::vector<std::string>> Rows(const std::string& text) {
    std::vector<std::vector<std::string>> rows;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
      std::vector<std::string> fields;
      std::istringstream cells(line);
      for (std::string field; std::getline(cells, field, ',');) fields.push_back(field);
      rows.push_back(fields);
    }
    return rows;
  }
};

// Rp1 from 10 to 1e6 Ohm.cm2: the stack's Voc rises throughout. Its fill factor rises once junction 1
// limits the current (Rp1 from about 500 on); below that the shunt carries the mismatch current, the
// stack's Jsc climbs towards junction 2's 12 mA/cm2 and the fill factor first dips: real, not a fault.
TEST_F(ScanTest, ShuntScanGivesOneStackRowPerCellInGridOrder) {
  const ScanRun run = Scan({"all", "--vary", "Rp1=10:1e6:13:log", "--summary", "rp1.csv", "-j", "2"});
  ASSERT_EQ(run.status, 0) << run.err;
  const auto rows = Rows(Read(dir / "rp1.csv"));
  ASSERT_EQ(rows.size(), 14u);
  EXPECT_EQ(rows[0][2], "Rp1");
  EXPECT_EQ(rows[0][6], "Jsc (mA/cm2)");
  for (std::size_t i = 1; i < rows.size(); ++i) {
    EXPECT_EQ(rows[i][0], std::to_string(i - 1));
    EXPECT_EQ(rows[i][1], "13");
    EXPECT_EQ(rows[i][4], "stack");
    EXPECT_EQ(rows[i].back(), "ok");
    if (i > 1) {
      EXPECT_GT(Val(rows[i][5]), Val(rows[i - 1][5])) << "Voc at row " << i;
    }
    if (i > 5) {
      EXPECT_GT(Val(rows[i][7]), Val(rows[i - 1][7])) << "FF at row " << i;
    }
  }
  EXPECT_EQ(Val(rows[1][2]), 10);
  EXPECT_EQ(Val(rows[13][2]), 1e6);
  // The last cell is the default cell but for Rp1 = 1e6: figures near the default stack's.
  EXPECT_NEAR(Val(rows[13][5]), 1.383, 1e-3);
  EXPECT_TRUE(fs::is_empty(dir) || fs::directory_iterator(dir)->path().filename() == "rp1.csv")
      << "no study folder is left behind without --tables";
}

TEST_F(ScanTest, ThreadsSlicesAndResumeGiveTheSameBytes) {
  const std::vector<std::string> grid = {"two", "--vary", "Rs2=1:20:3", "--vary", "Jsc3=0.012:0.02:3"};
  auto with = [&](std::vector<std::string> extra) {
    std::vector<std::string> args = grid;
    args.insert(args.end(), extra.begin(), extra.end());
    return Scan(args);
  };
  ASSERT_EQ(with({"--summary", "one.csv", "-j", "1"}).status, 0);
  ASSERT_EQ(with({"--summary", "two.csv", "-j", "2"}).status, 0);
  const std::string whole = Read(dir / "one.csv");
  EXPECT_EQ(Read(dir / "two.csv"), whole);
  EXPECT_EQ(Rows(whole).size(), 1u + 9 * 3) << "three lit curves per cell";

  for (const char* part : {"1/3", "2/3", "3/3"})
    ASSERT_EQ(with({"--summary", std::string("part") + part[0] + ".csv", "--part", part}).status, 0);
  const ScanRun merged = Merge({"merged.csv", "part1.csv", "part2.csv", "part3.csv"});
  ASSERT_EQ(merged.status, 0) << merged.err;
  EXPECT_EQ(Read(dir / "merged.csv"), whole);
  const ScanRun gap = Merge({"gap.csv", "part1.csv", "part3.csv"});
  EXPECT_EQ(gap.status, 4);
  EXPECT_NE(gap.err.find("3 cells are missing: 1 4 7"), std::string::npos) << gap.err;

  // A run cut off in the middle of a row, and a run stopped before its first cell, both resume to the
  // file one uninterrupted run writes.
  testing::Write(dir / "cut.csv", whole.substr(0, whole.size() * 2 / 3));
  ASSERT_EQ(with({"--summary", "cut.csv", "--resume"}).status, 0);
  EXPECT_EQ(Read(dir / "cut.csv"), whole);
  EXPECT_EQ(
      Scan({"two", "--vary", "Rs2=1:20:3", "--vary", "Jsc3=0.012:0.02:3", "--summary", "stopped.csv"}, true)
          .status,
      130);
  EXPECT_EQ(Rows(Read(dir / "stopped.csv")).size(), 1u) << "a valid file: the header";
  ASSERT_EQ(with({"--summary", "stopped.csv", "--resume"}).status, 0);
  EXPECT_EQ(Read(dir / "stopped.csv"), whole);
}

// m12 = 0.0001 overflows the second diode's exponential: that cell's row says so
// with blank figures; the other cell is complete, and the status is 4.
TEST_F(ScanTest, AFailingCellIsReportedInItsRowAndTheScanGoesOn) {
  const ScanRun run = Scan({"all", "--vary", "m12=0.0001:2:2", "--summary", "fail.csv"});
  EXPECT_EQ(run.status, 4);
  const std::string text = Read(dir / "fail.csv");
  const auto rows = Rows(text);
  ASSERT_EQ(rows.size(), 3u);
  const std::string firstRow = text.substr(text.find('\n') + 1, text.find("\n1,") - text.find('\n'));
  EXPECT_NE(firstRow.find(",\"Calculation error: "), std::string::npos) << firstRow;
  EXPECT_EQ(rows[1][5], "");
  EXPECT_EQ(rows[2].back(), "ok");
  EXPECT_NEAR(Val(rows[2][5]), 1.383, 1e-3);
}

TEST_F(ScanTest, BadInputExitsTwoAndWritesNothing) {
  const std::vector<std::vector<std::string>> bad = {
      {"all", "--vary", "Rx1=1:2:3", "--summary", "s.csv"},
      {"all", "--vary", "Rs1=1:2:1", "--summary", "s.csv"},
      {"all", "--vary", "Rs1=1:2:1000001", "--summary", "s.csv"},
      {"all", "--vary", "Rp1=0:1e3:5:log", "--summary", "s.csv"},
      {"all", "--vary", "Rp1=10:1e3:5"},
      {"all", "--summary", "s.csv"},
      {"all", "--vary", "Rs1=1:2:10000", "--vary", "Rp1=1:2:10000", "--summary", "s.csv"},
      {"eqe-ill", "--vary", "Rs1=1:2:3", "--summary", "s.csv"},
      {"nonsense", "--vary", "Rs1=1:2:3", "--summary", "s.csv"},
      {"all", "--vary", "Rs1=-1:1:3", "--summary", "s.csv"},
      {"all", "--vary", "Rs1=1:2:3", "--summary", "s.csv", "-j", "0"},
      {"all", "--vary", "Rs1=1:2:3", "--summary", "s.csv", "--part", "4/3"},
      {"all", "--vary", "Rs1=1:2:3", "--vary", "Rs1=3:4:3", "--summary", "s.csv"},
  };
  for (const auto& args : bad) {
    const ScanRun run = Scan(args);
    std::string shown;
    for (const auto& a : args) shown += a + " ";
    EXPECT_EQ(run.status, 2) << shown << run.err;
    EXPECT_FALSE(run.err.empty()) << shown;
  }
  EXPECT_TRUE(fs::is_empty(dir));
  testing::Write(dir / "s.csv", "kept");
  EXPECT_EQ(Scan({"all", "--vary", "Rs1=1:2:3", "--summary", "s.csv"}).status, 3);
  EXPECT_EQ(Read(dir / "s.csv"), "kept");
}

}  // namespace
}  // namespace pelarin
