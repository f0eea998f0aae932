// Any command line of the scan command (arguments split at NUL bytes): refused with one sentence, or
// parsed into a grid whose every axis runs from its first bound to its last in finite values, above 0 on a
// log axis, and whose slice is one of its slices.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "batch/scan_command.h"
#include "fuzz/fuzz_check.h"
#include "model/parameter_table.h"

using namespace pelarin;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::string> args = FuzzArguments(data, size);
  std::ostringstream err;
  const auto options = ParseScanOptions(args, err);
  if (!options) {
    const std::string said = err.str();
    FUZZ_CHECK(said.starts_with("pelarin-batch scan: "), "a refusal names the command");
    FUZZ_CHECK(said.find('\n') == said.size() - 1, "a refusal is one line");
    return 0;
  }
  FUZZ_CHECK(err.str().empty(), "options parsed say nothing");
  FUZZ_CHECK(!options->axes.empty() && options->axes.size() <= 2, "one or two axes");
  for (const ScanAxis& axis : options->axes) {
    FUZZ_CHECK(axis.box >= 0 && axis.box < kParameterCount, "an axis names a parameter");
    FUZZ_CHECK(axis.points >= 2 && axis.points <= kMaxScanPoints, "an axis has 2 to 10^6 points");
    FUZZ_CHECK(AxisValue(axis, 0) == axis.from && AxisValue(axis, axis.points - 1) == axis.to,
               "an axis runs from its first bound to its last");
    // Spot checks along the axis: the ends' neighbours and the middle.
    for (const int i : {1, axis.points / 2, axis.points - 2}) {
      const double v = AxisValue(axis, i);
      FUZZ_CHECK(std::isfinite(v), "every value of an axis is finite");
      if (axis.log) FUZZ_CHECK(v > 0, "every value of a log axis is above 0");
    }
  }
  FUZZ_CHECK(options->part.k >= 1 && options->part.k <= options->part.m, "the slice is one of the slices");
  for (const auto& [name, text] : options->sets)
    FUZZ_CHECK(ParameterIndex(name) >= 0, "--set names a parameter");
  return 0;
}
