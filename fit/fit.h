// Fitting the cell to measured J(V) curves: the free parameters that bring the exact circuit solution
// closest to every curve at once, by bounded Levenberg-Marquardt from several starts, with the standard
// errors and 95 % intervals of the best fit and plain warnings about what the data cannot tell.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/exact_circuit.h"
#include "model/progress.h"
#include "model/state.h"

namespace pelarin::fit {

// Which junctions a measured curve's light reaches, by its name: "lit" (all), "dark", "lit:1", "lit:2",
// "lit:3", "lit:12", "lit:13", "lit:23"; nothing for another name.
[[nodiscard]] std::optional<std::array<bool, 3>> LitSetOf(std::string_view name);
// Every such name, in that order.
inline constexpr std::array<std::string_view, 8> kCurveConfigurations = {
    "lit", "dark", "lit:1", "lit:2", "lit:3", "lit:12", "lit:13", "lit:23"};
// The names as a sentence lists them: "lit, dark, ... and lit:23".
[[nodiscard]] std::string CurveConfigurationList();

struct MeasuredCurve {
  std::string name;  // as above
  std::string file;  // where it came from, for messages
  exact::Circuit circuit;
  std::vector<double> V, J;  // V and A/cm2, generator direction positive
  double weight = 1;
  // The temperature (degrees C) and concentration (suns) it was measured at, where not the form's.
  std::optional<double> T{}, X{};
  [[nodiscard]] bool Dark() const;
  // The form's values at this curve's conditions.
  [[nodiscard]] Parameters AtItsConditions(const Parameters& form) const;
  // "lit at T = 80 degrees C, X = 1 suns": the curve and its conditions, as Python's fit names its curves.
  [[nodiscard]] std::string Conditions(const Parameters& form) const;
  // "lit at 25 degrees C, 100 suns": the same, shorter, for sentences that list curves and the plots'
  // legends.
  [[nodiscard]] std::string Label(const Parameters& form) const;
};

// How a residual counts: squared, or with Cauchy's or Huber's loss, which let a few outliers count less.
enum class Loss { Squared, Cauchy, Huber };

// A free parameter (its row in the parameter table) and its bounds. Resistances, saturation currents and
// coupling resistances are fitted on a log scale, photocurrents and ideality factors on a linear one.
struct FreeParameter {
  int index = -1;
  double lo = 0, hi = 0;
  [[nodiscard]] bool Log() const;
};
// A parameter's default bounds: those the form accepts, narrowed to physical ranges. The scan dialog offers
// them as a parameter's range too.
[[nodiscard]] FreeParameter DefaultBounds(int index);

struct FitOptions {
  std::vector<MeasuredCurve> curves;
  std::vector<FreeParameter> free;
  Parameters start;         // the form's values: the fixed parameters, the conditions and the first start
  double darkFloor = 1e-9;  // A/cm2: dark points below it in |J| do not count
  Loss loss = Loss::Squared;
  int starts = 16;
  int threads = 0;  // 0: one per core
  std::uint64_t seed = 1;
  // Why these options cannot be fitted (as a sentence without its final stop), or nothing.
  [[nodiscard]] std::optional<std::string> Problem() const;
};

struct ParameterEstimate {
  int index = -1;
  double start = 0, fitted = 0, standardError = 0, low95 = 0, high95 = 0;
  bool determined = true;  // false where the data leave it free (its error is then unknown)
};

struct CurveResidual {
  std::string name;
  std::size_t points = 0;  // that count (dark points above the floor)
  double rms = 0;          // in fractions of the curve's largest |J| (lit), or in decades (dark)
  double T = 0, X = 0;     // the conditions it was fitted at (degrees C, suns)
};

struct FitResult {
  Parameters fitted;
  std::vector<ParameterEstimate> estimates;  // in the order of the free parameters
  std::vector<CurveResidual> residuals;
  double cost = 0;  // half the sum of squared (or lossed) weighted residuals
  int iterations = 0, startsRun = 0;
  double seconds = 0;
  bool converged = false;
  bool stopped = false;  // ended by the stop flag
  // Set when the best fit misses a lit curve (an RMS residual above 30 % of its largest |J|): the fit did
  // not converge. The worst curve and its share; and, when the data fit far better changed so, the change:
  // the currents' sign turned, and their scale (1e-3: currents in mA/cm2 read as A/cm2).
  struct Missed {
    std::string curve;
    double share = 0;
    bool fitsBetter = false, otherSign = false;
    double scale = 1;
  };
  std::optional<Missed> missed;
  // Other minima whose cost is within 1 % of the best's: each its free parameters' values.
  std::vector<std::vector<double>> otherMinima;
  std::vector<std::string> warnings;
};

// Fits; throws InputError when options.Problem() says why it cannot. progress, when given, is called before
// the first start and after each start ends (starts done of all, the best cost so far), from the thread that
// ran it; its Stop ends the fit after the starts under way, and the best point so far is reported.
[[nodiscard]] FitResult Fit(const FitOptions& options, const ProgressCallback& progress = {});

// The model's current density at each voltage of a curve for the form's values, at the curve's conditions
// (NaN where it has none).
[[nodiscard]] std::vector<double> ModelCurrents(const MeasuredCurve& curve, const Parameters& form);

}  // namespace pelarin::fit
