// Any command line of the batch tool (arguments split at NUL bytes): refused with one sentence, or parsed
// into options whose --set texts the box rule reads without fault.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "batch/batch.h"
#include "fuzz/fuzz_check.h"
#include "model/parameter_table.h"
#include "workspace/read_parameters.h"

using namespace pelarin;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::string> args = FuzzArguments(data, size);
  std::ostringstream err;
  const auto options = ParseBatchOptions(args, err);
  if (!options) {
    const std::string said = err.str();
    FUZZ_CHECK(said.starts_with("pelarin-batch: "), "a refusal names the tool");
    FUZZ_CHECK(!said.empty() && said.find('\n') == said.size() - 1, "a refusal is one line");
    return 0;
  }
  FUZZ_CHECK(err.str().empty(), "options parsed say nothing");
  for (const auto& [name, text] : options->sets) {
    const int index = ParameterIndex(name);
    FUZZ_CHECK(index >= 0, "--set names a parameter");
    const BoxReading box = ReadBox(kParameterRows[static_cast<std::size_t>(index)], text);
    if (box.problem.empty()) FUZZ_CHECK(std::isfinite(box.value), "a value taken is finite");
  }
  return 0;
}
