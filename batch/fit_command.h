// pelarin-batch fit: the cell fitted to measured curves, with the report of the fitted parameters and their
// uncertainties, the fitted parameter file and pictures of the fit.
#pragma once

#include <iosfwd>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "batch/batch.h"  // ImageSaver
#include "fit/fit.h"
#include "fit/measured_curves.h"

namespace pelarin {

struct FitCommandOptions {
  std::vector<fit::CurveFile> curves;                     // --data CURVE=FILE, with units, sign and weights
  std::vector<std::pair<std::string, std::string>> free;  // --free NAME[=LO:HI]: name, bounds text or ""
  std::optional<std::string> params;
  std::vector<std::pair<std::string, std::string>> sets;
  std::string out;  // the fitted parameter file
  std::optional<std::string> report;
  std::optional<std::string> plot;
  int starts = 16;
  int threads = 0;
  std::uint64_t seed = 1;
  fit::Loss loss = fit::Loss::Squared;
  double darkFloor = 1e-9;
  bool overwrite = false;
  bool help = false;
  bool terminal = false;  // progress redrawn on one line
};

// Parses the arguments after "fit"; on a usage error writes a sentence to err and returns nothing.
[[nodiscard]] std::optional<FitCommandOptions> ParseFitOptions(const std::vector<std::string>& args,
                                                               std::ostream& err);
[[nodiscard]] std::string FitHelp();

// Runs the fit; returns 0 converged, 4 not converged or a file not written (the best point is written
// all the same), 2 refused input, 3 a file in the way (nothing computed or written).
int RunFit(const FitCommandOptions& options, std::ostream& out, std::ostream& err,
           const std::atomic<bool>& stop, const ImageSaver& saveImage = nullptr);

}  // namespace pelarin
