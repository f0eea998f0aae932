// Any bytes as a scan file that --resume goes on with: the scan either gives back, byte for byte, the file
// one uninterrupted run writes, or refuses with exit 2 and leaves the file as it was; never exit 0 with
// other content. The seed corpus holds that file, so that mutations start from what the scan writes.
#include <unistd.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>

#include "batch/scan_command.h"
#include "fuzz/fuzz_check.h"

using namespace pelarin;

namespace {

const std::vector<std::string> kScan = {"two", "--vary", "Rs2=1:20:3", "--vary", "Jsc3=0.012:0.02:2",
                                        "-j",  "1"};
std::string whole;  // what an uninterrupted run writes

int Scan(const std::string& summary, bool resume) {
  std::vector<std::string> args = kScan;
  args.insert(args.end(), {"--summary", summary, resume ? "--resume" : "--overwrite"});
  std::ostringstream err;
  const auto options = ParseScanOptions(args, err);
  if (!options) std::abort();
  std::ostringstream out;
  const std::atomic<bool> stop{false};
  return RunScan(*options, out, err, stop);
}

std::string Read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return (std::ostringstream() << in.rdbuf()).str();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  std::string folder = (std::filesystem::temp_directory_path() / "pelarin-fuzz-resume-XXXXXX").string();
  if (::mkdtemp(folder.data()) == nullptr) std::abort();
  std::filesystem::current_path(folder);
  if (Scan("whole.csv", false) != 0) std::abort();
  whole = Read("whole.csv");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::ofstream(std::string("resumed.csv"), std::ios::binary | std::ios::trunc) << text;
  const int status = Scan("resumed.csv", true);
  const std::string after = Read("resumed.csv");
  FUZZ_CHECK(status == 0 || status == 2, "a resume completes or refuses");
  if (status == 0) FUZZ_CHECK(after == whole, "a resume that completes gives the uninterrupted file");
  if (status == 2) FUZZ_CHECK(after == text, "a refused file is left as it was");
  return 0;
}
