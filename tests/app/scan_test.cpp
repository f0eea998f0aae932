// The parts of a parameter scan below the studies: the grid and its slices, the ordered hand-over of cells
// run on several threads, and the scan file read back for resuming and merging.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <random>
#include <set>
#include <stdexcept>
#include <thread>

#include "app/ordered_cells.h"
#include "app/scan_file.h"
#include "app/scan_grid.h"
#include "common/temp_folder.h"
#include "model/number_text.h"

namespace pelarin {
namespace {

TEST(ScanAxis, ReadsNameBoundsPointsAndScale) {
  std::string error;
  const auto axis = ParseScanAxis("Rp1=10:1e6:13:log", error);
  ASSERT_TRUE(axis) << error;
  EXPECT_EQ(axis->name, "Rp1");
  EXPECT_EQ(axis->box, 1);
  EXPECT_EQ(axis->points, 13);
  EXPECT_TRUE(axis->log);
  // The ends are the bounds exactly, and a log axis steps by one ratio (here 10^(5/12)).
  EXPECT_EQ(AxisValue(*axis, 0), 10);
  EXPECT_EQ(AxisValue(*axis, 12), 1e6);
  for (int i = 1; i < 12; ++i)
    EXPECT_NEAR(AxisValue(*axis, i) / AxisValue(*axis, i - 1), std::pow(10, 5.0 / 12), 1e-12) << i;
  const auto lin = ParseScanAxis("md11=0.5:2.5:5", error);  // a form label names the box too
  ASSERT_TRUE(lin) << error;
  EXPECT_EQ(lin->name, "m11");
  EXPECT_EQ(AxisValue(*lin, 2), 1.5);
  EXPECT_EQ(AxisValue(*lin, 4), 2.5);
}

TEST(ScanAxis, RefusesWhatCannotBeScanned) {
  const std::pair<const char*, const char*> bad[] = {
      {"Rx1=1:2:3", "not a parameter name"},    {"Rs1", "is not NAME=FROM:TO:N"},
      {"Rs1=1:2", "is not NAME=FROM:TO:N"},     {"Rs1=1:2:3:cubic", "is not NAME=FROM:TO:N"},
      {"Rs1=1:abc:3", "not finite numbers"},    {"Rs1=1:1e999:3", "not finite numbers"},
      {"Rs1=1:2:1", "from 2 to 1000000"},       {"Rs1=1:2:1000001", "from 2 to 1000000"},
      {"Rs1=1:2:2.5", "from 2 to 1000000"},     {"Rs1=0:2:3:log", "bounds above 0"},
      {"Rs1=-1:-2:3:log", "bounds above 0"},    {"Rs1=normal:1", "is not NAME=normal:MEAN:SD"},
      {"Rs1=normal:1:0", "standard deviation"}, {"Rs1=lognormal:0:2", "median above 0"},
      {"Rs1=lognormal:1:1", "factor above 1"},  {"Rs1=uniform:2:1", "LO below HI"},
  };
  for (const auto& [vary, why] : bad) {
    std::string error;
    EXPECT_FALSE(ParseScanAxis(vary, error)) << vary;
    EXPECT_NE(error.find(why), std::string::npos) << vary << ": " << error;
  }
}

TEST(ScanAxis, ValuesAreTypedAsTextThatReadsBackExactly) {
  std::mt19937_64 rng(3);
  std::uniform_real_distribution<double> exponent(-300, 300);
  for (int i = 0; i < 100000; ++i) {
    const double x = std::pow(10.0, exponent(rng)) * (rng() % 2 ? 1 : -1);
    ASSERT_EQ(Val(ShortestText(x)), x) << ShortestText(x);
  }
}

// Ten thousand draws of each spread have its mean and spread; a draw is a function of seed, cell, axis
// and attempt alone.
TEST(ScanSample, DrawsFollowTheirSpreadAndDependOnlyOnTheirCell) {
  struct Case {
    const char* vary;
    double mean, sd;  // of the value, or of its natural logarithm for the log-normal
    bool logarithm;
  };
  const Case cases[] = {{"Rs1=normal:5:2", 5, 2, false},
                        {"Rp1=lognormal:1000:3", std::log(1000.0), std::log(3.0), true},
                        {"Jsc1=uniform:0.01:0.02", 0.015, 0.01 / std::sqrt(12.0), false}};
  for (const Case& c : cases) {
    std::string error;
    const auto axis = ParseScanAxis(c.vary, error);
    ASSERT_TRUE(axis && axis->spread) << error;
    EXPECT_EQ(AxisText(*axis), c.vary);
    constexpr int kDraws = 10000;
    double sum = 0, squares = 0;
    for (int cell = 0; cell < kDraws; ++cell) {
      const double v = SampleValue(*axis, 42, cell, 0, 0);
      if (*axis->spread == Spread::Uniform) {
        EXPECT_TRUE(v >= 0.01 && v < 0.02) << v;
      }
      const double x = c.logarithm ? std::log(v) : v;
      sum += x, squares += x * x;
    }
    const double mean = sum / kDraws, sd = std::sqrt(squares / kDraws - mean * mean);
    EXPECT_NEAR(mean, c.mean, 4 * c.sd / std::sqrt(kDraws)) << c.vary;
    EXPECT_NEAR(sd, c.sd, 0.03 * c.sd) << c.vary;
    EXPECT_EQ(SampleValue(*axis, 42, 17, 0, 0), SampleValue(*axis, 42, 17, 0, 0));
    EXPECT_NE(SampleValue(*axis, 42, 17, 0, 0), SampleValue(*axis, 43, 17, 0, 0));
    EXPECT_NE(SampleValue(*axis, 42, 17, 0, 0), SampleValue(*axis, 42, 17, 1, 0));
    EXPECT_NE(SampleValue(*axis, 42, 17, 0, 0), SampleValue(*axis, 42, 17, 0, 1));
  }
}

TEST(ScanGrid, CellsRunFirstAxisOutermostAndSlicesCoverEachCellOnce) {
  std::string error;
  ScanGrid grid{{*ParseScanAxis("Rs1=1:3:3", error), *ParseScanAxis("Rp1=1:4:4", error)}};
  ASSERT_EQ(grid.Cells(), 12);
  EXPECT_EQ(grid.Indices(0), (std::vector<int>{0, 0}));
  EXPECT_EQ(grid.Indices(5), (std::vector<int>{1, 1}));
  EXPECT_EQ(grid.Indices(11), (std::vector<int>{2, 3}));
  std::multiset<std::int64_t> seen;
  for (int k = 1; k <= 5; ++k) {
    const auto part = ParseScanPart(std::to_string(k) + "/5", error);
    ASSERT_TRUE(part) << error;
    for (std::int64_t cell = 0; cell < grid.Cells(); ++cell)
      if (part->Holds(cell)) seen.insert(cell);
  }
  EXPECT_EQ(seen.size(), 12u);
  EXPECT_EQ(std::set<std::int64_t>(seen.begin(), seen.end()).size(), 12u);
  for (const char* bad : {"0/3", "4/3", "3", "a/b", "1/0"}) EXPECT_FALSE(ParseScanPart(bad, error)) << bad;
}

// Cells that take uneven times come out in their order, with one thread or many.
TEST(OrderedCells, HandsResultsOverInOrderWhateverTheThreads) {
  std::vector<std::int64_t> cells(200);
  for (std::size_t i = 0; i < cells.size(); ++i) cells[i] = static_cast<std::int64_t>(i) * 3;
  for (int threads : {1, 2, 5}) {
    std::vector<std::int64_t> order;
    const std::atomic<bool> stop{false};
    const auto handed = RunCellsInOrder(
        cells, threads,
        [](std::int64_t cell) {
          std::this_thread::sleep_for(std::chrono::microseconds((cell * 7919) % 300));
          return std::to_string(cell);
        },
        [&](std::int64_t cell, std::string&& result) {
          EXPECT_EQ(result, std::to_string(cell));
          order.push_back(cell);
        },
        stop);
    EXPECT_EQ(handed, 200);
    EXPECT_EQ(order, cells) << threads << " threads";
  }
}

// A stop keeps what is done in order up to the first cell not done; a failing cell or sink ends the run
// with its exception, never a hang.
TEST(OrderedCells, StopsCleanlyAndPassesFaultsOn) {
  std::vector<std::int64_t> cells(1000);
  for (std::size_t i = 0; i < cells.size(); ++i) cells[i] = static_cast<std::int64_t>(i);
  std::atomic<bool> stop{false};
  std::vector<std::int64_t> order;
  const auto handed = RunCellsInOrder(
      cells, 3,
      [&](std::int64_t cell) {
        if (cell == 100) stop = true;
        std::this_thread::sleep_for(std::chrono::microseconds(50));
        return std::string();
      },
      [&](std::int64_t cell, std::string&&) { order.push_back(cell); }, stop);
  EXPECT_GE(handed, 100);
  EXPECT_LT(handed, 1000);
  ASSERT_EQ(order.size(), static_cast<std::size_t>(handed));
  for (std::size_t i = 0; i < order.size(); ++i) ASSERT_EQ(order[i], static_cast<std::int64_t>(i));

  const std::atomic<bool> never{false};
  EXPECT_THROW(RunCellsInOrder(
                   cells, 2,
                   [](std::int64_t cell) {
                     if (cell == 37) throw std::runtime_error("cell 37");
                     return std::string();
                   },
                   [](std::int64_t, std::string&&) {}, never),
               std::runtime_error);
  EXPECT_THROW(RunCellsInOrder(
                   cells, 2, [](std::int64_t) { return std::string(); },
                   [](std::int64_t cell, std::string&&) {
                     if (cell == 5) throw std::runtime_error("disk full");
                   },
                   never),
               std::runtime_error);
}

class ScanFileTest : public testing::TempFolderTest {};

TEST_F(ScanFileTest, GroupsRowsByCellAndDropsALineCutOffWhileWritten) {
  testing::Write(dir / "scan.csv",
                 "cell,cells,Rs1,curve\n0,3,1,\"#1 lit, #2 dark\"\n0,3,1,stack\n1,3,2,stack\n2,3,3,sta");
  std::string error;
  const auto file = ReadScanFile(In("scan.csv"), error);
  ASSERT_TRUE(file) << error;
  EXPECT_EQ(file->header, "cell,cells,Rs1,curve");
  ASSERT_EQ(file->cells.size(), 2u);
  EXPECT_EQ(file->cells[0].rows, "0,3,1,\"#1 lit, #2 dark\"\n0,3,1,stack\n");
  EXPECT_EQ(file->cells[1].cell, 1);
  EXPECT_EQ(file->cells[1].cells, 3);
  EXPECT_EQ(ScanFileText(*file),
            "cell,cells,Rs1,curve\n0,3,1,\"#1 lit, #2 dark\"\n0,3,1,stack\n1,3,2,stack\n");
  EXPECT_EQ(CsvField("#1 lit, #2 \"dark\""), "\"#1 lit, #2 \"\"dark\"\"\"");
  EXPECT_EQ(CsvField("stack"), "stack");

  testing::Write(dir / "other.csv", "V,J\n1,2\n");
  EXPECT_FALSE(ReadScanFile(In("other.csv"), error));
  EXPECT_NE(error.find("not a scan file"), std::string::npos) << error;
  testing::Write(dir / "broken.csv", "cell,cells,Rs1\n7,3,1\n");
  EXPECT_FALSE(ReadScanFile(In("broken.csv"), error));
  EXPECT_NE(error.find("line 2"), std::string::npos) << error;
}

}  // namespace
}  // namespace pelarin
