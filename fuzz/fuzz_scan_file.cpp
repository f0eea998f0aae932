// Any bytes as a scan file (as --resume, scan-merge and --plot read it): refused with a reason, or read
// into cells whose text is the input up to its last line break; and drawn over a grid of one or of two
// parameters without fault, whatever cell indices and figures its rows hold (figures too far apart for an
// axis are refused with a calculation error).
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "app/scan_file.h"
#include "app/scan_plot.h"
#include "fuzz/fuzz_check.h"
#include "model/calc_error.h"

using namespace pelarin;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::string error;
  const auto file = ReadScanText(text, "scan.csv", error);
  if (!file) {
    FUZZ_CHECK(error.starts_with("scan.csv"), "a refusal names the file");
    return 0;
  }
  const auto lastBreak = text.rfind('\n');
  FUZZ_CHECK(lastBreak != std::string_view::npos, "a file read has its header line");
  FUZZ_CHECK(ScanFileText(*file) == text.substr(0, lastBreak + 1), "the cells hold the file's rows as read");
  std::string ignored;
  const ScanAxis rs1 = *ParseScanAxis("Rs1=1:10:5", ignored),
                 rp2 = *ParseScanAxis("Rp2=10:1e5:4:log", ignored);
  const int figure = size > 0 ? data[size - 1] % 7 : 0;
  RecordingSurface line, map;
  // Values too far apart for an axis are refused with a calculation error, which the callers report.
  try {
    DrawScanPlot(*file, {rs1}, figure, "all", {{"stack", 0xff}}, line);
  } catch (const CalcError&) {
  }
  try {
    DrawScanPlot(*file, {rs1, rp2}, figure, "all", {}, map);
  } catch (const CalcError&) {
  }
  return 0;
}
