// The report of a fit, the same wherever it is read: as text (what pelarin-batch fit prints and the window's
// fit dialog shows) and as a CSV file.
#pragma once

#include <string>

#include "fit/fit.h"

namespace pelarin::fit {

// A line on the run (starts, iterations, time, whether it converged, its cost), a table of the free
// parameters (start, fitted, standard error, 95 % interval, unit), a line per curve with its RMS residual,
// the other minima as good as the best and the warnings.
[[nodiscard]] std::string FitReportText(const FitOptions& options, const FitResult& result);

// The report as a CSV file: a row per free parameter, a blank line, a row per curve with its RMS residual.
[[nodiscard]] std::string FitReportCsv(const FitOptions& options, const FitResult& result);

}  // namespace pelarin::fit
