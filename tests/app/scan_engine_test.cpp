// The scan engine through its sinks: the records Python's table is made of hold what the scan file holds,
// whatever the threads; the progress callback stops a scan and leaves a file that reads as the scan's own;
// every way a request can fail ends with its typed end and nothing run.
#include "app/scan_engine.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cmath>
#include <csignal>
#include <cstring>
#include <string>
#include <vector>

#include "app/scan_records.h"
#include "common/temp_folder.h"
#include "workspace/read_parameters.h"

namespace pelarin {
namespace {

class ScanEngineTest : public testing::TempFolderTest {
 protected:
  // A grid of the two-junction study over Jsc2 and Rs3, written to file. Jsc2's last value is dark: the
  // status of those cells' rows is longer than any before, and they fill the second block of cells.
  ScanRequest Request(const std::string& file) {
    ScanRequest request;
    request.study = "two";
    std::string error;
    request.grid.axes = {*ParseScanAxis("Jsc2=0.012:0:5", error), *ParseScanAxis("Rs3=1:30:64:log", error)};
    ResetStartUpConstants(request.base);
    request.file = file.empty() ? "" : In(file);
    return request;
  }
};

// A text column of a record: its 32-bit codes up to the first zero.
std::string TextAt(const char* at, std::size_t width) {
  std::string text;
  for (std::size_t i = 0; i < width; ++i) {
    std::uint32_t code = 0;
    std::memcpy(&code, at + 4 * i, 4);
    if (code == 0) break;
    text += static_cast<char>(code);
  }
  return text;
}

TEST_F(ScanEngineTest, RecordsHoldWhatTheFileHoldsWhateverTheThreads) {
  std::string first;
  ASSERT_EQ(CellsPerBlock(FigureMethod::Exact), 256u);
  for (const int threads : {1, 3}) {
    ScanRequest request = Request("scan" + std::to_string(threads) + ".csv");
    request.threads = threads;
    ScanRecords records;
    const ScanOutcome outcome = RunScanEngine(request, &records);
    EXPECT_EQ(outcome.end, ScanEnd::CellsFailed);
    EXPECT_EQ(outcome.written, 320);
    std::string error;
    const auto file = ReadScanFile(request.file, error);
    ASSERT_TRUE(file) << error;
    EXPECT_FALSE(CheckScanRows(*file, request.grid, "two", request.file));
    if (first.empty()) first = testing::Read(request.file);
    EXPECT_EQ(testing::Read(request.file), first) << threads << " threads";

    // Every field of every record is the file's field read back.
    const std::vector<ScanRecords::Column> columns = records.Columns();
    ASSERT_EQ(columns.size(),
              std::count(file->header.begin(), file->header.end(), ',') + 1u - 1);  // no check
    std::size_t r = 0;
    for (const ScanCell& cell : file->cells) {
      for (std::size_t start = 0; start < cell.rows.size(); ++r) {
        const std::size_t end = cell.rows.find('\n', start);
        const std::vector<std::string> fields = SplitScanRow(cell.rows.substr(start, end - start));
        start = end + 1;
        ASSERT_LT(r, records.Rows());
        const char* at = records.Records().data() + r * records.RecordSize();
        for (std::size_t c = 0; c < columns.size(); ++c) {
          const std::string& format = columns[c].format;
          if (format[1] == 'U') {
            const std::size_t width = std::stoul(format.substr(2));
            EXPECT_EQ(TextAt(at, width), fields[c]) << "row " << r << ", " << columns[c].name;
            at += 4 * width;
            continue;
          }
          double value = 0;
          std::int64_t whole = 0;
          std::memcpy(format[1] == 'i' ? static_cast<void*>(&whole) : &value, at, 8);
          at += 8;
          if (format[1] == 'i')
            EXPECT_EQ(std::to_string(whole), fields[c]);
          else if (fields[c].empty())
            EXPECT_TRUE(std::isnan(value)) << "row " << r << ", " << columns[c].name;
          else
            EXPECT_EQ(value, std::stod(fields[c])) << "row " << r << ", " << columns[c].name;
        }
      }
    }
    EXPECT_EQ(r, records.Rows());
  }
}

TEST_F(ScanEngineTest, TheCallbackStopsTheScanAndLeavesItsOwnFile) {
  ScanRequest request = Request("stopped.csv");
  request.method = FigureMethod::Curve;  // one cell a block
  request.threads = 2;
  int calls = 0;
  const ScanOutcome outcome = RunScanEngine(request, nullptr, [&](const ProgressReport& report) {
    EXPECT_EQ(report.of, 320);
    return ++calls > 3 ? CallbackReturn::Stop : CallbackReturn::Continue;
  });
  EXPECT_EQ(outcome.end, ScanEnd::Stopped);
  EXPECT_GE(outcome.written, 2);
  EXPECT_LT(outcome.written, 20);
  std::string error;
  const auto file = ReadScanFile(request.file, error);
  ASSERT_TRUE(file) << error;
  EXPECT_EQ(file->cells.size(), static_cast<std::size_t>(outcome.written));
  EXPECT_FALSE(CheckScanRows(*file, request.grid, "two", request.file));
}

TEST_F(ScanEngineTest, EveryFailedRequestEndsTypedWithNothingRun) {
  struct Case {
    const char* what;
    void (*change)(ScanRequest&);
    ScanEnd end;
    const char* said;
    bool fullDisk = false;  // no file may grow past 64 bytes
  };
  testing::Write(dir / "taken.csv", "a file of the user's\n");
  testing::Write(dir / "other.csv", "# pelarin scan of all\ncell,cells\n");
  const Case cases[] = {
      {"no such study", [](ScanRequest& r) { r.study = "three"; }, ScanEnd::Refused, "no study \"three\""},
      {"EQE", [](ScanRequest& r) { r.study = "eqe-13"; }, ScanEnd::Refused, "cannot be scanned"},
      {"spread in a grid", [](ScanRequest& r) { r.grid.axes[0].spread = Spread::Normal; }, ScanEnd::Refused,
       "a spread is drawn in a sample"},
      {"one parameter twice", [](ScanRequest& r) { r.grid.axes[1] = r.grid.axes[0]; }, ScanEnd::Refused,
       "the same parameter, Jsc2"},
      {"a box refused", [](ScanRequest& r) { r.form.SetBoxText(0, "abc"); }, ScanEnd::Refused, "abc"},
      {"a file in the way", [](ScanRequest& r) { r.file += "/taken.csv"; }, ScanEnd::FileInTheWay, ""},
      {"resume of another scan",
       [](ScanRequest& r) {
         r.file += "/other.csv";
         r.existing = ExistingFile::Resume;
       },
       ScanEnd::ResumeRefused, "other.csv"},
      {"no folder", [](ScanRequest& r) { r.file += "/none/x.csv"; }, ScanEnd::Refused, "does not exist"},
      {"a full disk", [](ScanRequest&) {}, ScanEnd::FileFailed, "fresh.csv: File too large.", true},
  };
  for (const Case& c : cases) {
    ScanRequest request = Request("");
    request.file = dir.string();
    c.change(request);
    if (request.file == dir.string()) request.file = In("fresh.csv");
    int calls = 0;
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    const rlimit limit{c.fullDisk ? 64 : saved.rlim_cur, saved.rlim_max};
    std::signal(SIGXFSZ, SIG_IGN);  // a write past the limit fails (EFBIG) rather than ending the test
    setrlimit(RLIMIT_FSIZE, &limit);
    const ScanOutcome outcome = RunScanEngine(request, nullptr, [&](const ProgressReport&) {
      ++calls;
      return CallbackReturn::Continue;
    });
    setrlimit(RLIMIT_FSIZE, &saved);
    EXPECT_EQ(outcome.end, c.end) << c.what;
    EXPECT_NE(outcome.message.find(c.said), std::string::npos) << c.what << ": " << outcome.message;
    EXPECT_EQ(calls, 0) << c.what;
    EXPECT_EQ(testing::Read(dir / "taken.csv"), "a file of the user's\n") << c.what;
    EXPECT_FALSE(Has("fresh.csv")) << c.what;
  }
}

}  // namespace
}  // namespace pelarin
