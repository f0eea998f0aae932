// Any command line of the fit command (arguments split at NUL bytes; an argument of one byte below 0x20
// stands for a word of the fit's own vocabulary, so that --data, --at, --free and --columns meet each other
// in every order): refused with one sentence, or parsed into curves that each name a configuration, with
// columns and conditions the fit can use, at least one free parameter and the fitted file's name.
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "batch/fit_command.h"
#include "fit/fit.h"
#include "fit/measured_curves.h"
#include "fuzz/fuzz_check.h"

using namespace pelarin;

namespace {

constexpr std::array<const char*, 31> kWords = {
    "--data",  "lit=a.csv", "dark=a.csv", "lit:12=b.txt", "lit:4=a.csv",
    "--at",    "T=25",      "X=100",      "T=-300",       "T=80,X=20",
    "T=1e999", "X=0",       "--free",     "Rs1",          "Jsd22=1e-12:1e-6",
    "Nope",    "X",         "--columns",  "1,2",          "2,2",
    "3,1x",    "--out",     "f.plr",      "--weight",     "lit=2",
    "dark=0",  "--help",    "--units",    "mA/cm2",       "--sign",
    "load"};

std::vector<std::string> FitArguments(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> args = FuzzArguments(data, size);
  for (std::string& arg : args) {
    const std::size_t word = arg.size() == 1 ? static_cast<unsigned char>(arg[0]) : 0;
    if (word >= 1 && word <= kWords.size()) arg = kWords[word - 1];
  }
  return args;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::string> args = FitArguments(data, size);
  std::ostringstream err;
  const auto options = ParseFitOptions(args, err);
  const std::string said = err.str();
  if (!options) {
    FUZZ_CHECK(said.starts_with("pelarin-batch fit: "), "a refusal names the command");
    FUZZ_CHECK(said.find('\n') == said.size() - 1, "a refusal is one line");
    FUZZ_CHECK(said.ends_with(".\n"), "a refusal is a sentence");
    return 0;
  }
  FUZZ_CHECK(said.empty(), "options parsed say nothing");
  if (options->help) return 0;
  FUZZ_CHECK(!options->curves.empty(), "a fit has curves");
  FUZZ_CHECK(!options->free.empty(), "a fit has free parameters");
  FUZZ_CHECK(!options->out.empty(), "a fit names its fitted file");
  const fit::CurveFile& first = options->curves.front();
  for (const fit::CurveFile& curve : options->curves) {
    FUZZ_CHECK(fit::LitSetOf(curve.name).has_value(), "a curve names a configuration");
    FUZZ_CHECK(curve.unit == first.unit && curve.sign == first.sign && curve.coupled == first.coupled,
               "--units, --sign and --coupled apply to every curve");
    FUZZ_CHECK(curve.weight > 0 && std::isfinite(curve.weight), "a weight is above 0");
    if (curve.columns) {
      const auto [v, j] = *curve.columns;
      FUZZ_CHECK(v >= 1 && j >= 1 && v != j, "the V and J columns are two different columns");
    }
    if (curve.T)
      FUZZ_CHECK(*curve.T > -273.15 && *curve.T <= 400, "a curve's temperature is one the form takes");
    if (curve.X) FUZZ_CHECK(*curve.X > 0 && *curve.X <= 1e5, "a curve's concentration is one the form takes");
  }
  return 0;
}
