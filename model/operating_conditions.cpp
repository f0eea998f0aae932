#include "model/operating_conditions.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <tuple>
#include <utility>

#include "model/calc_error.h"
#include "model/number_text.h"

namespace pelarin {
namespace {

// Junction k's (0..2) rows: Rs, Rp, Jsc, Jsd1, Jsd2, m1, m2 from row 7k; its band gap and coefficient.
constexpr std::size_t kJsc = 2, kJsd1 = 3, kJsd2 = 4, kM1 = 5, kM2 = 6;
constexpr std::size_t kT = 26, kX = 27, kEg = 28, kAlpha = 31;

double& Row(Parameters& p, std::size_t row) { return p.*kParameterRows[row].member; }
double Row(const Parameters& p, std::size_t row) { return p.*kParameterRows[row].member; }

// The temperature ratio r of the laws: exactly 1 at the reference temperature.
double Ratio(double T) { return (T + kZeroCelsius) / (kReferenceTemperature + kZeroCelsius); }

// The laws' factors of junction k at the form's conditions, and the logarithms of the diodes' factors
// (which stay numbers where a deep cold takes the factors below the doubles).
struct JunctionFactors {
  double diffusion = 1;      // of the first diode's saturation current
  double recombination = 1;  // of the second's
  double light = 1;          // of the photocurrent, without the concentration: 1 + alpha (T - 26.85)
  double logDiffusion = 0, logRecombination = 0;
};

JunctionFactors FactorsOf(const Parameters& form, std::size_t k) {
  const double r = Ratio(form.T);
  const double Eg = Row(form, kEg + k);
  const double cooling = 1 - 1 / r;
  return {.diffusion = r * r * r * std::exp(Eg / kReferenceVt * cooling),
          .recombination = std::pow(r, 2.5) * std::exp(Eg / (2 * kReferenceVt) * cooling),
          .light = 1 + Row(form, kAlpha + k) * (form.T - kReferenceTemperature),
          .logDiffusion = 3 * std::log(r) + Eg / kReferenceVt * cooling,
          .logRecombination = 2.5 * std::log(r) + Eg / (2 * kReferenceVt) * cooling};
}

// Whether a saturation current is a normal double (not 0, not subnormal): its digits are all there.
bool Normal(double Jsd) { return Jsd >= std::numeric_limits<double>::min(); }

std::string Name(std::size_t row) { return std::string(kParameterRows[row].name); }

}  // namespace

std::optional<ConditionsProblem> CheckConditions(const Parameters& form) {
  const std::string at = "at T = " + ShortestText(form.T) +
                         " \xC2\xB0"
                         "C";
  for (std::size_t k = 0; k < 3; ++k) {
    const JunctionFactors f = FactorsOf(form, k);
    const std::size_t jsc = 7 * k + kJsc;
    if (Row(form, jsc) > 0 && f.light < 0)
      return ConditionsProblem{static_cast<int>(kAlpha + k),
                               Name(kAlpha + k) + ": " + at + " the photocurrent " + Name(jsc) +
                                   " would be negative (1 + " + Name(kAlpha + k) +
                                   " (T - 26.85) = " + GeneralText(f.light, 6) + ")."};
    const double light = Row(form, jsc) * form.X * f.light;
    if (!std::isfinite(light))
      return ConditionsProblem{static_cast<int>(kX), "X: " + Name(jsc) + " at " + ShortestText(form.X) +
                                                         " suns is beyond the largest number."};
    for (const auto& [row, factor] :
         {std::pair{7 * k + kJsd1, f.diffusion}, {7 * k + kJsd2, f.recombination}})
      if (!std::isfinite(Row(form, row) * factor))
        return ConditionsProblem{static_cast<int>(kT),
                                 "T: " + Name(row) + " " + at + " is beyond the largest number."};
  }
  // Reverse breakdown: the shunt current Vd/Rp (1 + Abd u^-nbd), u = 1 - Vd/Vbd, rises with Vd only while
  // Abd ((nbd - 1)/(nbd + 1))^(nbd + 1) < 1 (its slope, in forward bias, is least at u = (nbd + 1)/(nbd -
  // 1)). A stronger term makes a junction's current fall as its voltage rises there: one current would have
  // several voltages, and no solution of the cell would be the one.
  for (std::size_t k = 0; k < 3; ++k) {
    const std::size_t abd = kFirstPhysicsIndex + 2 + k, nbd = kFirstPhysicsIndex + 8 + k;
    const double A = Row(form, abd), n = Row(form, nbd);
    if (A == 0 || !(n > 1)) continue;
    const double largest = std::pow((n + 1) / (n - 1), n + 1);
    if (A >= largest)
      return ConditionsProblem{static_cast<int>(abd),
                               Name(abd) + ": a breakdown strength of " + ShortestText(A) + " with " +
                                   Name(nbd) + " = " + ShortestText(n) + " makes junction " +
                                   std::to_string(k + 1) +
                                   "'s shunt current fall as its voltage rises, so that one current has "
                                   "several voltages; with this " +
                                   Name(nbd) + " it must stay below " + GeneralText(largest, 6) + "."};
  }
  return std::nullopt;
}

CellAtConditions AtConditions(const Parameters& form) {
  if (const auto problem = CheckConditions(form)) throw InputError(problem->sentence);
  CellAtConditions cell{.par = form, .Vt = kReferenceVt * Ratio(form.T), .concentration = form.X};
  Parameters& p = cell.par;
  for (std::size_t k = 0; k < 3; ++k) {
    const JunctionFactors f = FactorsOf(form, k);
    for (const auto& [diode, factor, logFactor] : {std::tuple{std::size_t{0}, f.diffusion, f.logDiffusion},
                                                   {1, f.recombination, f.logRecombination}}) {
      const double typed = Row(form, 7 * k + kJsd1 + diode);
      Row(p, 7 * k + kJsd1 + diode) = typed * factor;
      // A current the cold took below the normal doubles is carried by its logarithm.
      p.logJsd[2 * k + diode] =
          Normal(typed) && !Normal(typed * factor) ? std::log(typed) + logFactor : Parameters::kNoLogJsd;
    }
    Row(p, 7 * k + kJsc) = Row(form, 7 * k + kJsc) * form.X * f.light;
  }
  p.JsdMax1 = std::max(p.Jsd11, p.Jsd12);
  p.JsdMax2 = std::max(p.Jsd21, p.Jsd22);
  p.JsdMax3 = std::max(p.Jsd31, p.Jsd32);
  return cell;
}

std::optional<std::string> BeyondTheSearches(const Parameters& cell) {
  for (std::size_t i = 0; i < cell.logJsd.size(); ++i) {
    const double logJsd = cell.logJsd[i];
    if (std::isnan(logJsd)) continue;
    const std::size_t k = i / 2, row = 7 * k + kJsd1 + i % 2;
    const double decades = logJsd / std::log(10.0);
    double exponent = std::floor(decades), mantissa = std::pow(10.0, decades - exponent);
    if (mantissa >= 9.995) mantissa = 1, exponent += 1;  // printed to three digits
    return "T: at T = " + ShortestText(cell.T) + " \xC2\xB0" + "C the saturation current " + Name(row) +
           " of junction " + std::to_string(k + 1) + "'s " + (i % 2 == 0 ? "first" : "second") +
           " diode would be " + GeneralText(mantissa, 3) + "e" + ShortestText(exponent) +
           " A/cm2, below the smallest normal number (2.2e-308): the studies' junction searches cannot "
           "hold it. The exact figures (pelarin-batch figures, the scans' exact figures, the fit) solve this "
           "cell.";
  }
  return std::nullopt;
}

void UseCell(State& state, const Parameters& form) {
  const CellAtConditions cell = AtConditions(form);
  state.formValues = form;
  state.par = cell.par;
  state.k.Vt = cell.Vt;
  state.figures.concentration = cell.concentration;
}

ConditionsChain::ConditionsChain(const Parameters& form, const CellAtConditions& cell) {
  const double r = Ratio(form.T);
  const double drdT = 1 / (kReferenceTemperature + kZeroCelsius);
  const double cooling = 1 - 1 / r;
  VtT_ = kReferenceVt * drdT;
  for (std::size_t k = 0; k < 3; ++k) {
    mOverVt_[2 * k] = Row(form, 7 * k + kM1) / cell.Vt;
    mOverVt_[2 * k + 1] = Row(form, 7 * k + kM2) / cell.Vt;
    const JunctionFactors f = FactorsOf(form, k);
    const double Eg = Row(form, kEg + k);
    const double jsd1 = Row(cell.par, 7 * k + kJsd1), jsd2 = Row(cell.par, 7 * k + kJsd2);
    const double jsc = Row(form, 7 * k + kJsc);
    Junction& j = junctions_[k];
    j.dJsd1 = f.diffusion;
    j.dJsd2 = f.recombination;
    j.dJsc = form.X * f.light;
    // d ln(Jsd1)/dr = 3/r + Eg/(Vt0 r^2); d ln(Jsd2)/dr = 2.5/r + Eg/(2 Vt0 r^2).
    j.jsd1T = jsd1 * (3 / r + Eg / (kReferenceVt * r * r)) * drdT;
    j.jsd2T = jsd2 * (2.5 / r + Eg / (2 * kReferenceVt * r * r)) * drdT;
    j.jscT = jsc * form.X * Row(form, kAlpha + k);
    j.jscX = jsc * f.light;
    j.jsd1Eg = jsd1 * cooling / kReferenceVt;
    j.jsd2Eg = jsd2 * cooling / (2 * kReferenceVt);
    j.jscAlpha = jsc * form.X * (form.T - kReferenceTemperature);
  }
}

FormDerivatives ConditionsChain::Apply(const std::array<double, kCellParameterCount>& atConditions) const {
  FormDerivatives d{};
  for (std::size_t i = 0; i < atConditions.size(); ++i) d[i] = atConditions[i];
  // The thermal voltage enters only as m Vt: d/dVt = sum over the diodes of d/dm times m / Vt.
  double dVt = 0;
  for (std::size_t k = 0; k < 3; ++k)
    dVt += atConditions[7 * k + kM1] * mOverVt_[2 * k] + atConditions[7 * k + kM2] * mOverVt_[2 * k + 1];
  d[kT] = dVt * VtT_;
  for (std::size_t k = 0; k < 3; ++k) {
    const Junction& j = junctions_[k];
    const double dJsd1 = atConditions[7 * k + kJsd1], dJsd2 = atConditions[7 * k + kJsd2];
    const double dJsc = atConditions[7 * k + kJsc];
    d[7 * k + kJsd1] = dJsd1 * j.dJsd1;
    d[7 * k + kJsd2] = dJsd2 * j.dJsd2;
    d[7 * k + kJsc] = dJsc * j.dJsc;
    d[kT] += dJsd1 * j.jsd1T + dJsd2 * j.jsd2T + dJsc * j.jscT;
    d[kX] += dJsc * j.jscX;
    d[kEg + k] = dJsd1 * j.jsd1Eg + dJsd2 * j.jsd2Eg;
    d[kAlpha + k] = dJsc * j.jscAlpha;
  }
  return d;
}

}  // namespace pelarin
