// Any text through the number readers: Val never gives infinity or NaN, a whole number reads the same as
// the leading number, and every number read is written back (in the parameter file's layouts) to text that
// reads back to the very same double.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>

#include "fuzz/fuzz_check.h"
#include "model/number_text.h"

using namespace pelarin;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const double leading = Val(text);
  FUZZ_CHECK(std::isfinite(leading), "Val gives a finite number");
  const WholeNumber whole = ReadWholeNumber(text);
  FUZZ_CHECK(std::isfinite(whole.value), "a whole number is finite");
  if (whole.kind == NumberKind::Empty || whole.kind == NumberKind::NotANumber) {
    FUZZ_CHECK(whole.value == 0, "no number reads as 0");
    return 0;
  }
  FUZZ_CHECK(leading == whole.value, "a whole number is also the leading number");
  if (whole.kind == NumberKind::TooLarge) {
    FUZZ_CHECK(std::abs(whole.value) == std::numeric_limits<double>::max(), "too large saturates");
    return 0;
  }
  for (const char* mask : {"#.##E+##", "#.##", "#.#####E+##"}) {
    const std::string written = FormatKeepingDigits(whole.value, mask);
    const WholeNumber back = ReadWholeNumber(written);
    FUZZ_CHECK(back.kind == NumberKind::Number, "written text is a number");
    FUZZ_CHECK(back.value == whole.value, "written text reads back to the same double");
    FUZZ_CHECK(Val(written) == whole.value, "Val reads written text back to the same double");
  }
  return 0;
}
