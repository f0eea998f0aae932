// Any bytes as a measured J(V) file: refused with a file error, or read into finite points, no more than
// the lines asked for.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/fuzz_check.h"
#include "model/calc_error.h"
#include "studies/experimental_data.h"

using namespace pelarin;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  // The first byte picks how many lines are read: the studies use 200 and 500.
  const int maxLines = 2 + data[0] % 64 * 8;
  const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);
  try {
    const auto points = ReadMeasuredText(text, maxLines, "measured.txt");
    FUZZ_CHECK(!points.empty(), "a curve read has a point");
    FUZZ_CHECK(points.size() <= static_cast<std::size_t>(maxLines - 1), "no more lines than asked");
    for (const MeasuredPoint& p : points)
      FUZZ_CHECK(std::isfinite(p.V) && std::isfinite(p.J), "every point drawn is finite");
  } catch (const FileError& e) {
    FUZZ_CHECK(std::string(e.what()).find("measured.txt") != std::string::npos, "a refusal names the file");
  }
  return 0;
}
