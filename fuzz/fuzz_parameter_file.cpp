// Any bytes as a parameter file: refused with a line and a reason, or read whole; a file read whole,
// saved again, reads back to the same doubles.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/fuzz_check.h"
#include "model/number_text.h"
#include "model/parameter_table.h"
#include "workspace/parameter_file.h"

using namespace pelarin;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const ParameterFileReading reading = ReadParameterText(text);
  if (reading.badLine != 0) {
    FUZZ_CHECK(reading.badLine >= 1, "a refusal names its line");
    FUZZ_CHECK(!reading.problem.empty(), "a refusal says why");
    return 0;
  }
  FUZZ_CHECK(reading.problem.empty(), "a file read whole has no problem");
  Parameters par;
  for (std::size_t i = 0; i < kParameterRows.size(); ++i) {
    const WholeNumber number = ReadWholeNumber(reading.values[i]);
    FUZZ_CHECK(number.kind == NumberKind::Number, "every value of a file read whole is a number");
    par.*kParameterRows[i].member = number.value;
  }
  const std::string saved = ParameterFileText(par);
  const ParameterFileReading again = ReadParameterText(saved);
  FUZZ_CHECK(again.badLine == 0, "a saved file is a parameter file");
  for (std::size_t i = 0; i < kParameterRows.size(); ++i)
    FUZZ_CHECK(ReadWholeNumber(again.values[i]).value == par.*kParameterRows[i].member,
               "a saved value reads back to the same double");
  FUZZ_CHECK(ParameterFileText(par) == saved, "saving is repeatable");
  return 0;
}
