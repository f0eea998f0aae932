// Any double through any mask: the fast formatter writes what printf writes, stays inside its buffers for
// masks of any length, and the text that keeps every digit reads back to the same double.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>

#include "fuzz/fuzz_check.h"
#include "model/number_text.h"

using namespace pelarin;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < sizeof(double)) return 0;
  double value = 0;
  std::memcpy(&value, data, sizeof value);
  const std::string_view mask(reinterpret_cast<const char*>(data) + sizeof value,
                              std::min<std::size_t>(size - sizeof value, 1200));
  const std::string fast = Format(value, mask);
  FUZZ_CHECK(fast == FormatByPrintf(value, mask), "to_chars and printf write the same text");
  const auto firstDigit = mask.find('#');
  if (firstDigit == std::string_view::npos || !std::isfinite(value)) return 0;
  const std::string_view prefix = mask.substr(0, firstDigit);
  FUZZ_CHECK(std::string_view(fast).starts_with(prefix), "the mask's literal text comes first");
  const double masked = Val(std::string_view(fast).substr(prefix.size()));
  FUZZ_CHECK(std::isfinite(masked), "masked text reads as a finite number");
  const std::string kept = FormatKeepingDigits(value, mask);
  FUZZ_CHECK(std::string_view(kept).starts_with(prefix), "the literal text comes first when digits are kept");
  FUZZ_CHECK(Val(std::string_view(kept).substr(prefix.size())) == value, "kept digits read back exactly");
  if (masked == value) FUZZ_CHECK(kept == fast, "text that reads back stays the mask's text");
  return 0;
}
