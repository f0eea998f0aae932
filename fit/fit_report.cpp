#include "fit/fit_report.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "model/number_text.h"
#include "model/parameter_table.h"
#include "plot/curves_csv.h"

namespace pelarin::fit {
namespace {

std::string Number(double x) { return GeneralText(x, 6); }

std::string Unit(int index) {
  const std::string unit(kParameterRows[static_cast<std::size_t>(index)].unit);
  return unit.empty() ? "-" : unit;
}

}  // namespace

std::string FitReportText(const FitOptions& options, const FitResult& r) {
  std::string out = "fit: " + std::to_string(r.startsRun) + " starts, " + std::to_string(r.iterations) +
                    " iterations, " + Number(r.seconds) + " s; " +
                    (r.converged ? "converged" : "not converged") + " (cost " + Number(r.cost) + ")\n";
  char line[256];
  std::snprintf(line, sizeof line, "%-9s %12s %12s %14s %12s %12s  %s\n", "parameter", "start", "fitted",
                "standard error", "95% low", "95% high", "unit");
  out += line;
  for (const ParameterEstimate& e : r.estimates) {
    std::snprintf(line, sizeof line, "%-9s %12.6g %12.6g %14.6g %12.6g %12.6g  %s\n",
                  ParameterName(e.index).c_str(), e.start, e.fitted, e.standardError, e.low95, e.high95,
                  Unit(e.index).c_str());
    out += line;
  }
  for (const CurveResidual& c : r.residuals) {
    const bool dark = LitSetOf(c.name) == std::array<bool, 3>{};
    out += "curve " + c.name + " at T = " + Number(c.T) +
           " \xC2\xB0"
           "C, X = " +
           Number(c.X) + " suns: " + std::to_string(c.points) + " points, RMS residual " + Number(c.rms) +
           (dark ? " decades" : " of its largest |J|") + "\n";
  }
  for (const std::vector<double>& other : r.otherMinima) {
    out += "another minimum within 1 % of the cost:";
    for (std::size_t i = 0; i < other.size(); ++i)
      out += " " + ParameterName(options.free[i].index) + "=" + Number(other[i]);
    out += "\n";
  }
  for (const std::string& warning : r.warnings) out += "warning: " + warning + "\n";
  return out;
}

std::string FittedValueText(const ParameterEstimate& e) {
  char text[40];
  const double value = e.fitted;
  int digits = 6;
  if (e.determined && std::isfinite(e.standardError) && e.standardError > 0 && value != 0) {
    // Significant digits of the value down to the place of the error's second digit.
    const int place = static_cast<int>(std::floor(std::log10(e.standardError))) - 1;
    digits = static_cast<int>(std::floor(std::log10(std::abs(value)))) - place + 1;
    digits = std::clamp(digits, 1, 6);  // a box shows six significant digits at most
  }
  std::snprintf(text, sizeof text, "%.*g", digits, value);
  // "%g" drops the zeros the error justifies ("1500" for 1500.0): the shortest text of the rounded value.
  return ShortestText(std::strtod(text, nullptr));
}

std::string FitReportCsv(const FitOptions& options, const FitResult& result) {
  std::string csv = "parameter,start,fitted,standard error,95% low,95% high,unit\r\n";
  const auto field = [](double x) { return std::isfinite(x) ? ShortestText(x) : std::string(); };
  for (const ParameterEstimate& e : result.estimates)
    csv += ParameterName(e.index) + "," + field(e.start) + "," + field(e.fitted) + "," +
           field(e.standardError) + "," + field(e.low95) + "," + field(e.high95) + "," +
           CsvField(std::string(kParameterRows[static_cast<std::size_t>(e.index)].unit)) + "\r\n";
  csv +=
      "\r\ncurve,points,RMS residual,T (\xC2\xB0"
      "C),X (suns)\r\n";
  for (const CurveResidual& c : result.residuals)
    csv += CsvField(c.name) + "," + std::to_string(c.points) + "," + field(c.rms) + "," + field(c.T) + "," +
           field(c.X) + "\r\n";
  (void)options;
  return csv;
}

}  // namespace pelarin::fit
