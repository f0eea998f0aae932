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

// A fitted value with the digits its standard error justifies, as results are quoted: rounded where the
// error's second significant digit stands (1499.99999 +- 3.2 is "1500.0"), six significant digits at most
// (a box shows no more, however small the error). What Apply to form types into a box; the report keeps the
// full value.
[[nodiscard]] std::string FittedValueText(const ParameterEstimate& estimate);

}  // namespace pelarin::fit
