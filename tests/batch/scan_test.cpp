// Parameter scans through the batch tool's core: the rows and their order, threads, slices and their merge,
// resuming, failing cells, and the inputs refused before anything runs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <limits>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "app/scan_cells.h"
#include "app/scan_plot.h"
#include "batch/scan_command.h"
#include "common/table_reading.h"
#include "common/temp_folder.h"
#include "model/number_text.h"
#include "workspace/read_parameters.h"

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

  ScanRun Scan(const std::vector<std::string>& args, bool stopAtOnce = false) {
    std::ostringstream out, err;
    const auto options = ParseScanOptions(args, err);
    if (!options) return {2, out.str(), err.str()};
    const std::atomic<bool> stop{stopAtOnce};
    const int status = RunScan(*options, out, err, stop,
                               [this](const RecordingSurface& d, int, int, const std::string& path) {
                                 plots.push_back(d);
                                 plotPaths.push_back(path);
                                 return true;
                               });
    return {status, out.str(), err.str()};
  }
  // The pictures --plot asked for, and where they were to go.
  std::vector<RecordingSurface> plots;
  std::vector<std::string> plotPaths;
  static ScanRun Merge(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    const int status = RunScanMerge(args, out, err);
    return {status, out.str(), err.str()};
  }

  // The lines of a scan file after its notes, split at the commas outside quotes, quotes removed (curve
  // names such as "#2 #3 lit, #1 dark" are quoted).
  static std::vector<std::vector<std::string>> Rows(const std::string& text) {
    std::vector<std::vector<std::string>> rows;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
      if (rows.empty() && line.starts_with("#")) continue;
      std::vector<std::string> fields(1);
      bool quoted = false;
      for (const char c : line) {
        if (c == '"')
          quoted = !quoted;
        else if (c == ',' && !quoted)
          fields.emplace_back();
        else
          fields.back() += c;
      }
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
    EXPECT_EQ(rows[i][rows[i].size() - 2], "ok");  // the status, before the check
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
  // scan-merge takes --overwrite and --help and no other option; its OUT.csv is never one of its parts.
  const std::string part1 = Read(dir / "part1.csv");
  const std::pair<std::vector<std::string>, int> merges[] = {
      {{"merged.csv", "part1.csv", "part2.csv", "part3.csv"}, 3},
      {{"--overwrite", "merged.csv", "part1.csv", "part2.csv", "part3.csv"}, 0},
      {{"--force", "merged.csv", "part1.csv"}, 2},
      {{"--overwrite", "part1.csv", "part1.csv", "part2.csv", "part3.csv"}, 2},
  };
  for (const auto& [args, status] : merges) {
    EXPECT_EQ(Merge(args).status, status) << args[0];
    EXPECT_EQ(Read(dir / "merged.csv") + Read(dir / "part1.csv"), whole + part1) << args[0];
  }
  EXPECT_NE(Merge({"--help"}).out.find("scan-merge [--overwrite] OUT.csv"), std::string::npos);

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

// A random sample: the same rows for any thread count and slices, every drawn value one the form takes
// (Rs2 = normal:1:1 draws negative resistances, drawn again), a spread table at the end, a refusal to resume
// it with another seed, and a histogram for --plot.
TEST_F(ScanTest, SampleIsTheSameWhateverTheThreadsAndEndsWithItsSpread) {
  const std::vector<std::string> sample = {
      "all", "--sample", "60", "--vary", "Rp1=lognormal:1000:3", "--vary", "Rs2=normal:1:1", "--seed", "7"};
  auto with = [&](std::vector<std::string> extra) {
    std::vector<std::string> args = sample;
    args.insert(args.end(), extra.begin(), extra.end());
    return Scan(args);
  };
  const ScanRun one =
      with({"--summary", "one.csv", "-j", "1", "--plot", "spread.svg", "--plot-figure", "Voc"});
  ASSERT_EQ(one.status, 0) << one.err;
  ASSERT_EQ(with({"--summary", "two.csv", "-j", "2"}).status, 0);
  const std::string whole = Read(dir / "one.csv");
  EXPECT_EQ(Read(dir / "two.csv"), whole);
  EXPECT_NE(whole.find("# sample: 60 cells, seed 7, Rp1=lognormal:1000:3 Rs2=normal:1:1\n"),
            std::string::npos);
  for (const char* part : {"1/2", "2/2"})
    ASSERT_EQ(with({"--summary", std::string("part") + part[0] + ".csv", "--part", part}).status, 0);
  ASSERT_EQ(Merge({"merged.csv", "part1.csv", "part2.csv"}).status, 0);
  EXPECT_EQ(Read(dir / "merged.csv"), whole);

  const auto rows = Rows(whole);
  ASSERT_EQ(rows.size(), 61u);
  std::vector<double> rp1;
  for (std::size_t i = 1; i < rows.size(); ++i) {
    EXPECT_GE(Val(rows[i][3]), 0) << "Rs2 of row " << i;
    rp1.push_back(Val(rows[i][2]));
  }
  std::sort(rp1.begin(), rp1.end());
  EXPECT_GT(rp1[30], 1000 / 3.0);
  EXPECT_LT(rp1[30], 1000 * 3.0);
  EXPECT_NE(one.out.find("draws the form would not take were drawn again"), std::string::npos) << one.out;
  EXPECT_NE(one.out.find("stack  Voc (V)"), std::string::npos) << one.out;
  ASSERT_EQ(plots.size(), 1u);
  EXPECT_NE(plots[0].Titles().title.find("Voc over a sample of 60 cells"), std::string::npos);
  EXPECT_EQ(plots[0].Titles().yTitle, "cells");

  const ScanRun other = Scan({"all", "--sample", "60", "--vary", "Rp1=lognormal:1000:3", "--vary",
                              "Rs2=normal:1:1", "--seed", "8", "--summary", "one.csv", "--resume"});
  EXPECT_EQ(other.status, 2);
  EXPECT_NE(other.err.find("line 3: made by another scan: it says \"# sample: 60 cells, seed 7,"),
            std::string::npos)
      << other.err;
  EXPECT_EQ(Read(dir / "one.csv"), whole);
}

// Every way a scan file goes wrong: --resume and scan-merge give back the file one uninterrupted run writes,
// byte for byte, or refuse it with exit 2; never exit 0 with other content.
TEST_F(ScanTest, CorruptedFilesAreRecoveredExactlyOrRefused) {
  const std::vector<std::string> scan = {"two", "--vary", "Rs2=1:20:3", "--vary", "Jsc3=0.012:0.02:3"};
  auto args = [&](std::vector<std::string> extra) {
    std::vector<std::string> a = scan;
    a.insert(a.end(), extra.begin(), extra.end());
    return a;
  };
  ASSERT_EQ(Scan(args({"--summary", "whole.csv"})).status, 0);
  const std::string whole = Read(dir / "whole.csv");
  ASSERT_EQ(
      Scan({"all", "--vary", "Rs2=1:20:3", "--vary", "Jsc3=0.012:0.02:3", "--summary", "other.csv"}).status,
      0);
  ASSERT_EQ(Scan(args({"--summary", "curve.csv", "--figures", "curve"})).status, 0);
  ASSERT_EQ(Scan(args({"--summary", "form.csv", "--set", "Rp1=4000"})).status, 0);
  ASSERT_EQ(Scan({"two", "--vary", "Rs2=1:20:9", "--summary", "nine.csv"}).status, 0);
  ASSERT_EQ(Scan(args({"--summary", "half.csv", "--part", "1/2"})).status, 0);
  std::vector<std::string> lines;
  for (std::size_t start = 0; start < whole.size();) {
    const std::size_t end = whole.find('\n', start);
    lines.push_back(whole.substr(start, end + 1 - start));
    start = end + 1;
  }
  const std::size_t first = 6;  // five notes and the header come first
  const auto joined = [](const std::vector<std::string>& l) {
    std::string t;
    for (const std::string& line : l) t += line;
    return t;
  };
  const auto edited = [&](const std::function<void(std::vector<std::string>&)>& change) {
    std::vector<std::string> l = lines;
    change(l);
    return joined(l);
  };
  const auto replaced = [](std::string line, const std::string& from, const std::string& to) {
    return line.replace(line.find(from), from.size(), to);
  };
  const std::pair<const char*, std::string> cases[] = {
      {"another study", Read(dir / "other.csv")},
      {"another figure method", Read(dir / "curve.csv")},
      {"other form values", Read(dir / "form.csv")},
      {"another grid of as many cells", Read(dir / "nine.csv")},
      {"a deleted row", edited([&](auto& l) { l.erase(l.begin() + first + 4); })},
      {"swapped cells", edited([&](auto& l) { std::swap(l[first + 3], l[first + 6]); })},
      {"a duplicated row", edited([&](auto& l) { l.insert(l.begin() + first + 4, l[first + 4]); })},
      {"a renumbered row", edited([&](auto& l) { l[first + 3] = replaced(l[first + 3], "1,9,", "2,9,"); })},
      {"an index written otherwise", edited([&](auto& l) { l[first + 3] = "01" + l[first + 3].substr(1); })},
      {"an edited figure", edited([&](auto& l) { l[first + 4] = replaced(l[first + 4], ",ok,", "0,ok,"); })},
      {"a field too many", edited([&](auto& l) { l[first + 4] = "," + l[first + 4]; })},
      {"a cut in a row", whole.substr(0, whole.size() / 2)},
      {"a cut after a cell", joined({lines.begin(), lines.begin() + first + 9})},
  };
  for (const auto& [what, text] : cases) {
    SCOPED_TRACE(what);
    testing::Write(dir / "resumed.csv", text);
    const ScanRun resumed = Scan(args({"--summary", "resumed.csv", "--resume"}));
    EXPECT_TRUE(resumed.status == 2 || (resumed.status == 0 && Read(dir / "resumed.csv") == whole))
        << resumed.status << " " << resumed.err;
    if (resumed.status == 2) {
      EXPECT_EQ(Read(dir / "resumed.csv"), text) << "a refused file is kept as it was";
    }
    testing::Write(dir / "part.csv", text);
    fs::remove(dir / "merged.csv");
    const ScanRun merged = Merge({"merged.csv", "half.csv", "part.csv"});
    EXPECT_TRUE(merged.status == 2 || merged.status == 4 ||
                (merged.status == 0 && Read(dir / "merged.csv") == whole))
        << merged.status << " " << merged.err;
    if (merged.status != 0) {
      EXPECT_FALSE(fs::exists(dir / "merged.csv")) << merged.err;
    }
  }
  // Notes edited to match other options, a renamed column, or one part resumed as the whole scan: each
  // would give a file no scan writes, so each is refused and kept as it was.
  const std::pair<std::string, std::vector<std::string>> changed[] = {
      {edited([&](auto& l) { l[4] = "# incident power: 50 mW/cm2\n"; }), {"--incident-power", "50"}},
      {edited([&](auto& l) { l[first - 1] = replaced(l[first - 1], "Rs2", "Rs1"); }), {}},
      {Read(dir / "half.csv"), {}},
  };
  for (const auto& [text, options] : changed) {
    testing::Write(dir / "resumed.csv", text);
    std::vector<std::string> extra = {"--summary", "resumed.csv", "--resume"};
    extra.insert(extra.end(), options.begin(), options.end());
    const ScanRun resumed = Scan(args(extra));
    EXPECT_EQ(resumed.status, 2) << resumed.err;
    EXPECT_EQ(Read(dir / "resumed.csv"), text);
    fs::remove(dir / "merged.csv");
    if (&text != &changed[2].first) {
      EXPECT_EQ(Merge({"merged.csv", "resumed.csv"}).status, 2);
    }
  }
  // A part that is no file, or whose line would fill memory, is refused by name.
  EXPECT_EQ(Merge({"m.csv", "/dev/zero"}).status, 2);
  testing::Write(dir / "long.csv", lines[0] + std::string(2 << 20, 'x'));
  const ScanRun longLine = Merge({"m.csv", "long.csv"});
  EXPECT_EQ(longLine.status, 2);
  EXPECT_NE(longLine.err.find("is longer than"), std::string::npos) << longLine.err;
}

// Rp2 = 1e-320 overflows the shunt current in the study's sweep: that cell's row says so with blank
// figures; the other cell is complete, and the status is 4.
TEST_F(ScanTest, AFailingCellIsReportedInItsRowAndTheScanGoesOn) {
  const ScanRun run =
      Scan({"all", "--vary", "Rp2=1e-320:10000:2", "--summary", "fail.csv", "--figures", "curve"});
  EXPECT_EQ(run.status, 4);
  const std::string text = Read(dir / "fail.csv");
  const auto rows = Rows(text);
  ASSERT_EQ(rows.size(), 3u);
  const std::size_t header = text.find("cell,cells");
  const std::string firstRow =
      text.substr(text.find('\n', header) + 1, text.find("\n1,") - text.find('\n', header));
  EXPECT_NE(firstRow.find(",\"Calculation error: "), std::string::npos) << firstRow;
  EXPECT_EQ(rows[1][5], "");
  EXPECT_EQ(rows[2][rows[2].size() - 2], "ok");
  EXPECT_NEAR(Val(rows[2][5]), 1.383, 1e-3);
}

TEST_F(ScanTest, AFailingCellIsLeftOutOfThePlotThatIsStillDrawn) {
  const ScanRun run = Scan({"all", "--vary", "Rp2=1e-320:10000:2", "--summary", "fail.csv", "--plot",
                            "fail.svg", "--plot-figure", "Voc", "--figures", "curve"});
  EXPECT_EQ(run.status, 4);
  ASSERT_EQ(plots.size(), 1u);
  EXPECT_EQ(plotPaths[0], (dir / "fail.svg").string());
  const auto curves = plots[0].Curves();
  ASSERT_EQ(curves.size(), 1u);
  ASSERT_EQ(curves[0].points.size(), 1u);
  EXPECT_EQ(curves[0].points[0].first, 10000);
  EXPECT_NEAR(curves[0].points[0].second, 1.383, 1e-3);
}

// One parameter on a log axis: one curve per curve name of the file, its points at log10 of the values
// and at the chosen figure's column, in colours of their own.
TEST_F(ScanTest, OneParameterPlotHasACurvePerCurveNameAgainstLog10OfTheValues) {
  const ScanRun run = Scan({"two", "--vary", "Rs2=1:100:3:log", "--summary", "rs2.csv", "--plot", "rs2.png",
                            "--plot-figure", "Pmax"});
  ASSERT_EQ(run.status, 0) << run.err;
  ASSERT_EQ(plots.size(), 1u);
  const RecordingSurface& plot = plots[0];
  EXPECT_NE(plot.Titles().title.find("two"), std::string::npos) << plot.Titles().title;
  EXPECT_EQ(plot.Titles().xTitle.rfind("log10(Rs2)", 0), 0u) << plot.Titles().xTitle;
  EXPECT_NE(plot.Titles().xTitle.find("Ohm.cm2"), std::string::npos) << plot.Titles().xTitle;
  EXPECT_EQ(plot.Titles().yTitle, "Pmax (mW/cm2)");

  const auto rows = Rows(Read(dir / "rs2.csv"));
  ASSERT_EQ(rows.size(), 1u + 3 * 3);
  std::map<std::string, std::vector<std::pair<double, double>>> expected;
  for (std::size_t i = 1; i < rows.size(); ++i)
    expected[rows[i][4]].emplace_back(std::log10(Val(rows[i][2])), Val(rows[i][8]));
  // Each curve keeps the colour the study draws it in.
  ScanSetup setup;
  ResetStartUpConstants(setup.base);
  ASSERT_FALSE(CheckScan(setup, "two"));
  const ScanProbe probe = ProbeScan(setup);
  ASSERT_FALSE(probe.problem) << *probe.problem;
  const auto curves = plot.Curves();
  ASSERT_EQ(curves.size(), expected.size());
  std::set<Colour> colours;
  for (const DrawnCurve& curve : curves) {
    ASSERT_TRUE(expected.contains(curve.entry.name)) << curve.entry.name;
    ASSERT_TRUE(probe.colours.contains(curve.entry.name)) << curve.entry.name;
    EXPECT_EQ(curve.entry.colour, probe.colours.at(curve.entry.name)) << curve.entry.name;
    const auto& want = expected[curve.entry.name];
    ASSERT_EQ(curve.points.size(), want.size()) << curve.entry.name;
    for (std::size_t i = 0; i < want.size(); ++i) {
      EXPECT_NEAR(curve.points[i].first, want[i].first, 1e-12) << curve.entry.name;
      EXPECT_EQ(curve.points[i].second, want[i].second) << curve.entry.name;
    }
    EXPECT_NEAR(curve.points.back().first, 2, 1e-12);
    colours.insert(curve.entry.colour);
  }
  EXPECT_EQ(colours.size(), curves.size());
}

// Two parameters, the file completed by --resume: every cell of the grid is painted in the colour of its
// figure, the lowest and highest values are written beside the colour bar.
TEST_F(ScanTest, TwoParameterPlotPaintsEveryCellOfAResumedScan) {
  const std::vector<std::string> grid = {"all",       "--vary", "Rs1=1:40:3", "--vary", "Jsc3=0.01:0.02:4",
                                         "--summary", "map.csv"};
  auto with = [&](std::vector<std::string> extra) {
    std::vector<std::string> args = grid;
    args.insert(args.end(), extra.begin(), extra.end());
    return Scan(args);
  };
  ASSERT_EQ(with({}).status, 0);
  ASSERT_TRUE(plots.empty());
  // Cut off after its fifth row and in the middle of the sixth, as a scan stopped while writing.
  const std::string whole = Read(dir / "map.csv");
  std::size_t cut = whole.find("\ncell,cells");
  for (int row = 0; row < 6; ++row) cut = whole.find('\n', cut + 1);
  testing::Write(dir / "map.csv", whole.substr(0, cut + 12));
  ASSERT_EQ(with({"--resume", "--plot", "map.png", "--plot-figure", "Jsc"}).status, 0);
  EXPECT_EQ(Read(dir / "map.csv"), whole);
  ASSERT_EQ(plots.size(), 1u);
  const RecordingSurface& plot = plots[0];
  EXPECT_EQ(plot.Titles().xTitle, "Rs1 (Ohm.cm2)");
  EXPECT_EQ(plot.Titles().yTitle, "Jsc3 (A/cm2)");

  // The Jsc of each cell, first axis outermost.
  const auto rows = Rows(Read(dir / "map.csv"));
  ASSERT_EQ(rows.size(), 1u + 12);
  std::map<int, double> jsc;
  for (std::size_t i = 1; i < rows.size(); ++i) jsc[std::stoi(rows[i][0])] = Val(rows[i][7]);
  ASSERT_EQ(jsc.size(), 12u);
  double lo = std::numeric_limits<double>::infinity(), hi = -lo;
  for (const auto& [cell, v] : jsc) lo = std::min(lo, v), hi = std::max(hi, v);
  ASSERT_LT(lo, hi);

  // The colours of the map's rectangles that hold a point of each cell.
  std::map<int, std::set<Colour>> painted;
  // Points just inside the end cells, which stop at the end values.
  const double xs[] = {1.5, 20.5, 39.5}, ys[] = {0.0101, 0.01 + 0.01 / 3, 0.01 + 0.02 / 3, 0.0199};
  auto inside = [](double v, double a, double b) { return std::min(a, b) < v && v < std::max(a, b); };
  for (const DrawOp& op : plot.Ops()) {
    if (op.kind != DrawOp::Kind::FillRect) continue;
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 4; ++j)
        if (inside(xs[i], op.x, op.x2) && inside(ys[j], op.y, op.y2)) painted[i * 4 + j].insert(op.colour);
  }
  // The window's read-out gives the same cells' values under the cursor, and nothing off the map.
  std::string error;
  const auto file = ReadScanFile((dir / "map.csv").string(), error);
  ASSERT_TRUE(file) << error;
  const ScanMap map =
      ScanMapOf(*file, {*ParseScanAxis("Rs1=1:40:3", error), *ParseScanAxis("Jsc3=0.01:0.02:4", error)},
                *ScanFigureIndex("Jsc"));
  for (const auto& [cell, v] : jsc) {
    ASSERT_EQ(painted[cell].size(), 1u) << "cell " << cell;
    EXPECT_EQ(*painted[cell].begin(), ScanMapColour((v - lo) / (hi - lo))) << "cell " << cell;
    EXPECT_EQ(map.At(xs[cell / 4], ys[cell % 4]), v) << "cell " << cell;
  }
  EXPECT_FALSE(map.At(0.5, 0.015));
  EXPECT_FALSE(map.At(20, 0.021));
  EXPECT_NE(ScanMapColour(0), ScanMapColour(1));

  std::set<std::string> printed;
  for (const DrawOp& op : plot.Ops())
    if (op.kind == DrawOp::Kind::Print) printed.insert(op.text);
  char text[32];
  std::snprintf(text, sizeof text, "%.4g", lo);
  EXPECT_TRUE(printed.contains(text)) << text;
  std::snprintf(text, sizeof text, "%.4g", hi);
  EXPECT_TRUE(printed.contains(text)) << text;
  EXPECT_TRUE(printed.contains("Jsc (mA/cm2)"));
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
      {"all", "--vary", "Rs1=1:2:3", "--summary", "s.csv", "--plot", "p.bmp"},
      {"all", "--vary", "Rs1=1:2:3", "--summary", "s.csv", "--plot", "png"},
      {"all", "--vary", "Rs1=1:2:3", "--summary", "s.csv", "--plot", "p.png", "--plot-figure", "eta"},
      {"all", "--vary", "Rs1=1:2:3", "--summary", "s.csv", "--plot-figure", "Voc"},
      {"all", "--vary", "Rs1=1:2:3", "--summary", "s.csv", "--plot", "missing/p.svg"},
      {"all", "--vary", "Rs1=0:2:3", "--summary", "s.csv"},  // the form makes a varied 0 into 0.001
      {"all", "--sample", "5", "--vary", "Rs1=1:2:3", "--summary", "s.csv"},
      {"all", "--vary", "Rs1=normal:1:1", "--summary", "s.csv"},
      {"all", "--vary", "Rs1=1:2:3", "--summary", "s.csv", "--figures", "best"},
      {"all", "--vary", "Rs1=1:2:3", "--summary", "s.csv", "--tables", "--figures", "exact"},
  };
  for (const auto& args : bad) {
    const ScanRun run = Scan(args);
    std::string shown;
    for (const auto& a : args) shown += a + " ";
    EXPECT_EQ(run.status, 2) << shown << run.err;
    EXPECT_FALSE(run.err.empty()) << shown;
  }
  EXPECT_TRUE(fs::is_empty(dir));
  EXPECT_TRUE(plots.empty());
  testing::Write(dir / "s.csv", "kept");
  EXPECT_EQ(Scan({"all", "--vary", "Rs1=1:2:3", "--summary", "s.csv"}).status, 3);
  EXPECT_EQ(Read(dir / "s.csv"), "kept");
  // A box that is not varied may be corrected as the form always does.
  EXPECT_EQ(Scan({"all", "--vary", "Rs1=1:2:2", "--set", "Rg2=10", "--summary", "t.csv"}).status, 0);
}

}  // namespace
}  // namespace pelarin
