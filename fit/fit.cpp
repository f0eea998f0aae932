#include "fit/fit.h"

#include <ceres/ceres.h>
#include <glog/logging.h>

#include <Eigen/Dense>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <functional>
#include <limits>
#include <memory>
#include <mutex>
#include <sstream>
#include <thread>

#include "model/calc_error.h"
#include "model/number_text.h"
#include "model/operating_conditions.h"
#include "model/parameter_table.h"
#include "model/random_draws.h"

namespace pelarin::fit {
namespace {

constexpr double kLn10 = 2.302585092994046;
constexpr double kZ95 = 1.959963984540054;  // the normal distribution's two-sided 95 % point

const ParameterRow& Row(int index) { return kParameterRows[static_cast<std::size_t>(index)]; }

std::string Text(double x) { return GeneralText(x, 6); }

// The largest |J| of a lit curve that a cell can give: anything outside is a mistaken unit of current.
constexpr double kLeastLitCurrent = 1e-12, kMostLitCurrent = 1e3;  // A/cm2
// A lit curve whose RMS residual at the best point exceeds this share of its largest |J| is not fitted.
constexpr double kMissedShare = 0.3;

// The fitted coordinate of a parameter value: its decimal logarithm on a log scale, else the value.
double ToCoordinate(const FreeParameter& free, double value) {
  return free.Log() ? std::log10(value) : value;
}
double FromCoordinate(const FreeParameter& free, double x) { return free.Log() ? std::pow(10.0, x) : x; }

Parameters WithCoordinates(const Parameters& base, const std::vector<FreeParameter>& free, const double* x) {
  Parameters p = base;
  for (std::size_t i = 0; i < free.size(); ++i) p.*Row(free[i].index).member = FromCoordinate(free[i], x[i]);
  return p;
}

// How a curve's points become residuals: a lit curve's current in fractions of its largest |J|; a dark
// curve's in decades, for the points above the floor. Each times the square root of the curve's weight.
struct CurveTerms {
  const MeasuredCurve* curve = nullptr;
  std::vector<std::size_t> points;  // the points that count
  std::vector<double> voltages;     // theirs, in the file's order: solved one from the next
  double scale = 1;                 // lit: the largest |J|
  double root = 1;                  // the square root of the weight

  double Residual(double model, std::size_t i) const {
    const double measured = curve->J[i];
    if (!curve->Dark()) return root * (model - measured) / scale;
    return root * (std::log10(std::max(std::abs(model), std::numeric_limits<double>::min())) -
                   std::log10(std::abs(measured)));
  }
  double Derivative(double model, double dModel) const {
    if (!curve->Dark()) return root * dModel / scale;
    return root * dModel / (model * kLn10);
  }
};

CurveTerms TermsOf(const MeasuredCurve& curve, double darkFloor) {
  CurveTerms t;
  t.curve = &curve;
  t.root = std::sqrt(curve.weight);
  double largest = 0;
  for (std::size_t i = 0; i < curve.V.size(); ++i) {
    if (curve.Dark() && !(std::abs(curve.J[i]) > darkFloor)) continue;
    t.points.push_back(i);
    t.voltages.push_back(curve.V[i]);
    largest = std::max(largest, std::abs(curve.J[i]));
  }
  t.scale = largest > 0 ? largest : 1;
  return t;
}

// The residuals of one curve and their derivatives in the free coordinates, from the exact solver.
class CurveCost : public ceres::CostFunction {
 public:
  CurveCost(const CurveTerms& terms, const FitOptions& options) : terms_(terms), options_(options) {
    set_num_residuals(static_cast<int>(terms.points.size()));
    mutable_parameter_block_sizes()->push_back(static_cast<int>(options.free.size()));
  }

  bool Evaluate(double const* const* parameters, double* residuals, double** jacobians) const override {
    const std::vector<FreeParameter>& free = options_.free;
    const Parameters p = terms_.curve->AtItsConditions(WithCoordinates(options_.start, free, parameters[0]));
    const bool derivatives = jacobians && jacobians[0];
    try {
      const CellAtConditions cell = AtConditions(p);
      // With luminescent coupling or breakdown in the cell, or free, or a saturation current carried by its
      // logarithm (deep cold), the Jacobian is differenced in the free coordinates; else it is the solver's
      // own, through the conditions' chain rule.
      const bool differenced =
          derivatives && (CouplingPhysicsOn(p) ||
                          std::any_of(cell.par.logJsd.begin(), cell.par.logJsd.end(),
                                      [](double l) { return !std::isnan(l); }) ||
                          std::any_of(free.begin(), free.end(),
                                      [](const FreeParameter& f) { return f.index >= kFirstPhysicsIndex; }));
      const exact::CircuitSolver solver(cell.par, cell.Vt, terms_.curve->circuit);
      solver.CurrentsAlong(terms_.voltages, points_, derivatives && !differenced ? &derivatives_ : nullptr);
      const ConditionsChain chain(p, cell);
      for (std::size_t r = 0; r < terms_.points.size(); ++r) {
        const double J = points_[r].J;
        residuals[r] = terms_.Residual(J, terms_.points[r]);
        if (!std::isfinite(residuals[r])) return false;
        if (!derivatives || differenced) continue;
        const FormDerivatives dForm = chain.Apply(derivatives_[r]);
        for (std::size_t k = 0; k < free.size(); ++k) {
          const double dValue = dForm[static_cast<std::size_t>(free[k].index)];
          const double scale = free[k].Log() ? p.*Row(free[k].index).member * kLn10 : 1;
          jacobians[0][r * free.size() + k] = terms_.Derivative(J, dValue * scale);
        }
      }
      if (differenced) return DifferencedJacobian(parameters[0], jacobians[0]);
    } catch (const CalcError&) {
      return false;  // a step into a cell without a solution: the trust region shrinks
    } catch (const InputError&) {
      return false;  // a step to conditions without a cell (a negative photocurrent): the same
    }
    return true;
  }

 private:
  // The residuals at the free coordinates x, into out; false where the cell has no solution.
  bool ResidualsAt(const std::vector<double>& x, std::vector<double>& out) const {
    const Parameters p =
        terms_.curve->AtItsConditions(WithCoordinates(options_.start, options_.free, x.data()));
    const CellAtConditions cell = AtConditions(p);
    const exact::CircuitSolver solver(cell.par, cell.Vt, terms_.curve->circuit);
    std::vector<exact::OperatingPoint> points;
    solver.CurrentsAlong(terms_.voltages, points);
    out.resize(points.size());
    for (std::size_t r = 0; r < points.size(); ++r) {
      out[r] = terms_.Residual(points[r].J, terms_.points[r]);
      if (!std::isfinite(out[r])) return false;
    }
    return true;
  }

  // Central differences in each free coordinate, a step of a millionth of its range (one-sided at a bound).
  bool DifferencedJacobian(const double* at, double* jacobian) const {
    const std::vector<FreeParameter>& free = options_.free;
    std::vector<double> x(at, at + free.size()), upper, lower;
    for (std::size_t k = 0; k < free.size(); ++k) {
      const double lo = ToCoordinate(free[k], free[k].lo), hi = ToCoordinate(free[k], free[k].hi);
      const double h = 1e-6 * std::max(hi - lo, std::abs(x[k]));
      const double up = std::min(x[k] + h, hi), down = std::max(x[k] - h, lo);
      x[k] = up;
      const bool upOk = ResidualsAt(x, upper);
      x[k] = down;
      const bool downOk = ResidualsAt(x, lower);
      x[k] = at[k];
      if (!upOk || !downOk || !(up > down)) return false;
      for (std::size_t r = 0; r < upper.size(); ++r)
        jacobian[r * free.size() + k] = (upper[r] - lower[r]) / (up - down);
    }
    return true;
  }

  const CurveTerms& terms_;
  const FitOptions& options_;
  // Scratch of the solves, kept between evaluations: one problem is solved on one thread.
  mutable std::vector<exact::OperatingPoint> points_;
  mutable std::vector<exact::ParameterDerivatives> derivatives_;
};

ceres::LossFunction* LossOf(Loss loss) {
  // Outliers beyond a tenth (of the curve's largest |J|, or of a decade) count less.
  switch (loss) {
    case Loss::Squared:
      return nullptr;
    case Loss::Cauchy:
      return new ceres::CauchyLoss(0.1);
    case Loss::Huber:
      return new ceres::HuberLoss(0.1);
  }
  return nullptr;
}

// The problem of one start: its coordinates live in x.
struct StartProblem {
  std::vector<CurveTerms> terms;
  std::vector<double> x;
  ceres::Problem problem;

  StartProblem(const FitOptions& options, std::vector<double> start) : x(std::move(start)) {
    for (const MeasuredCurve& curve : options.curves) terms.push_back(TermsOf(curve, options.darkFloor));
    for (const CurveTerms& t : terms)
      problem.AddResidualBlock(new CurveCost(t, options), LossOf(options.loss), x.data());
    for (std::size_t i = 0; i < options.free.size(); ++i) {
      const FreeParameter& f = options.free[i];
      problem.SetParameterLowerBound(x.data(), static_cast<int>(i), ToCoordinate(f, f.lo));
      problem.SetParameterUpperBound(x.data(), static_cast<int>(i), ToCoordinate(f, f.hi));
    }
  }
};

struct StartResult {
  std::vector<double> x;
  double cost = std::numeric_limits<double>::infinity();
  int iterations = 0;
  bool converged = false;
};

StartResult RunStart(const FitOptions& options, std::vector<double> start) {
  StartProblem sp(options, std::move(start));
  ceres::Solver::Options solver;
  solver.trust_region_strategy_type = ceres::LEVENBERG_MARQUARDT;
  solver.linear_solver_type = ceres::DENSE_QR;
  solver.max_num_iterations = 200;
  solver.function_tolerance = 1e-12;
  solver.gradient_tolerance = 1e-14;
  solver.parameter_tolerance = 1e-12;
  solver.num_threads = 1;  // the starts are what run at once
  solver.logging_type = ceres::SILENT;
  ceres::Solver::Summary summary;
  ceres::Solve(solver, &sp.problem, &summary);
  StartResult r;
  r.x = sp.x;
  r.iterations = static_cast<int>(summary.iterations.size());
  r.converged = summary.termination_type == ceres::CONVERGENCE;
  if (summary.IsSolutionUsable() && std::isfinite(summary.final_cost)) r.cost = summary.final_cost;
  return r;
}

// Start s: the form's values (inside the bounds) first, then points spread uniformly over the bounds, in
// the fitted coordinates (log-uniform on a log scale).
std::vector<double> StartOf(const FitOptions& options, int s) {
  std::vector<double> x;
  for (std::size_t i = 0; i < options.free.size(); ++i) {
    const FreeParameter& f = options.free[i];
    const double lo = ToCoordinate(f, f.lo), hi = ToCoordinate(f, f.hi);
    if (s == 0) {
      x.push_back(std::clamp(ToCoordinate(f, options.start.*Row(f.index).member), lo, hi));
    } else {
      const std::uint64_t bits = Mix(Mix(options.seed ^ static_cast<std::uint64_t>(s)) ^ i);
      const double u = UniformOf(bits);
      x.push_back(lo + (hi - lo) * u);
    }
  }
  return x;
}

// The starts of the second round, a quarter of them: each from the best point of the first round with one
// coordinate drawn anew over its bounds (the others moved by up to 2 % of their spans), so that a parameter
// caught in the wrong valley while the others sit right gets out of it. The coordinates are drawn anew in
// the order of how little the residuals move over their whole span at that point: a saturation current run
// down to 1e-26, where its diode no longer shows, is the first.
// With fewer than 8 starts, spreading them over the bounds does better (measured: 19 of 20 truths at 4
// starts without a second round, 17 with one).
int FirstRoundStarts(int starts) { return starts >= 8 ? starts - starts / 4 : starts; }

std::vector<std::size_t> LeastSensitiveFirst(const FitOptions& options, const std::vector<double>& x) {
  const std::size_t n = options.free.size();
  std::vector<double> reach(n, 0);
  try {
    StartProblem sp(options, x);
    double cost = 0;
    ceres::CRSMatrix crs;
    if (sp.problem.Evaluate(ceres::Problem::EvaluateOptions(), &cost, nullptr, nullptr, &crs))
      for (std::size_t k = 0; k < crs.values.size(); ++k) {
        const auto c = static_cast<std::size_t>(crs.cols[k]);
        reach[c] += crs.values[k] * crs.values[k];
      }
  } catch (const std::exception&) {
  }
  for (std::size_t i = 0; i < n; ++i) {
    const FreeParameter& f = options.free[i];
    reach[i] = std::sqrt(reach[i]) * (ToCoordinate(f, f.hi) - ToCoordinate(f, f.lo));
  }
  std::vector<std::size_t> order(n);
  for (std::size_t i = 0; i < n; ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(),
                   [&](std::size_t a, std::size_t b) { return reach[a] < reach[b]; });
  return order;
}

std::vector<double> StartAround(const FitOptions& options, const std::vector<double>& best,
                                const std::vector<std::size_t>& order, int s) {
  const int j = s - FirstRoundStarts(options.starts);
  std::vector<double> x = best;
  const std::size_t redrawn = order[static_cast<std::size_t>(j) % order.size()];
  for (std::size_t i = 0; i < options.free.size(); ++i) {
    const FreeParameter& f = options.free[i];
    const double lo = ToCoordinate(f, f.lo), hi = ToCoordinate(f, f.hi);
    const double u = UniformOf(Mix(Mix(options.seed ^ 0x5ec0d ^ static_cast<std::uint64_t>(s)) ^ i));
    x[i] = i == redrawn ? lo + (hi - lo) * u : std::clamp(x[i] + 0.04 * (u - 0.5) * (hi - lo), lo, hi);
  }
  return x;
}

// The free saturation currents whose diode no longer shows at x: a decade more (less, at the upper bound)
// moves the cost by less than a thousandth.
double CostAt(const FitOptions& options, const std::vector<double>& x) {
  StartProblem sp(options, x);
  double cost = std::numeric_limits<double>::infinity();
  if (!sp.problem.Evaluate(ceres::Problem::EvaluateOptions(), &cost, nullptr, nullptr, nullptr))
    return std::numeric_limits<double>::infinity();
  return cost;
}

// Whether two costs are one to a thousandth: a parameter that moves the cost less does not show.
bool SameCost(double a, double b) { return std::abs(a - b) <= 1e-3 * std::max(a, b); }

std::vector<std::size_t> VanishedDiodes(const FitOptions& options, const std::vector<double>& x) {
  std::vector<std::size_t> vanished;
  double cost = 0;
  for (std::size_t i = 0; i < options.free.size(); ++i) {
    const FreeParameter& f = options.free[i];
    if (Row(f.index).rule != ReadRule::SaturationCurrent) continue;
    if (cost == 0) cost = CostAt(options, x);
    if (!std::isfinite(cost)) return vanished;
    std::vector<double> shifted = x;
    shifted[i] = x[i] + 1 <= ToCoordinate(f, f.hi) ? x[i] + 1 : x[i] - 1;
    if (SameCost(CostAt(options, shifted), cost)) vanished.push_back(i);
  }
  return vanished;
}

// The start that ended lowest, of those that ended at a cell with a solution; nullptr when none did.
const StartResult* LowestStart(const std::vector<StartResult>& results) {
  const StartResult* lowest = nullptr;
  for (const StartResult& r : results)
    if (!r.x.empty() && std::isfinite(r.cost) && (!lowest || r.cost < lowest->cost)) lowest = &r;
  return lowest;
}

// A saturation current whose diode no longer shows at the best point may have run down a slope that never
// comes back (a decade more or less moves no residual): before that minimum counts as the lowest, a start
// from the best point with that current at each decade of its bounds where the diode shows again.
std::vector<std::vector<double>> DecadeStarts(const FitOptions& options, const StartResult& lowest) {
  std::vector<std::vector<double>> starts;
  for (const std::size_t i : VanishedDiodes(options, lowest.x)) {
    const FreeParameter& f = options.free[i];
    for (double d = std::ceil(ToCoordinate(f, f.lo)); d <= ToCoordinate(f, f.hi); d += 1) {
      if (std::abs(d - lowest.x[i]) < 1) continue;
      std::vector<double> x = lowest.x;
      x[i] = d;
      const double cost = CostAt(options, x);
      if (std::isfinite(cost) && !SameCost(cost, lowest.cost)) starts.push_back(std::move(x));
    }
  }
  return starts;
}

// What two parameters being confused calls for.
std::string Separating(int a, int b, const std::vector<MeasuredCurve>& curves) {
  // A band gap or a temperature coefficient shows only in how the curves move with the temperature, the
  // concentration in how they move with the light.
  const auto isCondition = [](int index, std::string_view prefix) {
    return index >= kCellParameterCount && Row(index).name.starts_with(prefix);
  };
  if (isCondition(a, "Eg") || isCondition(b, "Eg") || isCondition(a, "alpha") || isCondition(b, "alpha"))
    return "add curves measured at other temperatures (--at T=...)";
  if (isCondition(a, "X") || isCondition(b, "X"))
    return "add curves measured at other concentrations (--at X=...)";
  const auto junctionOf = [](int index) { return index < 21 ? index / 7 + 1 : 0; };
  const int ja = junctionOf(a), jb = junctionOf(b);
  const auto isRs = [](int index) { return index < 21 && index % 7 == 0; };
  // Every junction of the series stack carries the terminal current: their series resistances only ever
  // act as their sum, whatever light reaches which junction.
  const bool coupled =
      std::any_of(curves.begin(), curves.end(), [](const MeasuredCurve& c) { return c.circuit.coupled; });
  if (isRs(a) && isRs(b) && !coupled)
    return "the series resistances act in the stack only as their sum, so the data determine " +
           ParameterName(a) + " + " + ParameterName(b) + ", not each; fix one of them";
  const auto given = [&](int j) {
    return std::any_of(curves.begin(), curves.end(),
                       [&](const MeasuredCurve& c) { return c.name == "lit:" + std::to_string(j); });
  };
  if (ja != 0 && jb != 0 && ja != jb && !(given(ja) && given(jb)))
    return "add a lit:" + std::to_string(ja) + " or lit:" + std::to_string(jb) + " curve";
  const auto isRp = [](int index) { return index < 21 && index % 7 == 1; };
  if (ja == 0 || jb == 0) return "add curves with junctions dark in turn (lit:12, lit:13, lit:23)";
  if (isRs(a) || isRs(b)) return "add points at higher forward current";
  if (isRp(a) || isRp(b)) return "add points in reverse bias";
  bool dark = false;
  for (const MeasuredCurve& c : curves) dark = dark || c.Dark();
  return dark ? "widen the dark curve over more decades of current" : "add a dark curve";
}

// "the stack's dark curve", "the stack's lit and dark curves", "the lit:1 and dark curves".
std::string CurveList(const std::vector<MeasuredCurve>& curves, const Parameters& form) {
  // Curves of one name are told apart by their conditions.
  const auto repeated = [&](const MeasuredCurve& c) {
    return std::count_if(curves.begin(), curves.end(),
                         [&](const MeasuredCurve& o) { return o.name == c.name; }) > 1;
  };
  std::string names;
  for (std::size_t i = 0; i < curves.size(); ++i)
    names += (i == 0                   ? ""
              : i + 1 == curves.size() ? " and "
                                       : ", ") +
             (repeated(curves[i]) ? curves[i].Label(form) : curves[i].name);
  bool whole = true;
  for (const MeasuredCurve& c : curves) whole = whole && (c.name == "lit" || c.name == "dark");
  return (whole ? "the stack's " : "the ") + names + (curves.size() == 1 ? " curve" : " curves");
}

}  // namespace

std::optional<std::array<bool, 3>> LitSetOf(std::string_view name) {
  if (name == "lit") return std::array<bool, 3>{true, true, true};
  if (name == "dark") return std::array<bool, 3>{false, false, false};
  if (!name.starts_with("lit:") || name.size() < 5 || name.size() > 6) return std::nullopt;
  std::array<bool, 3> lit{};
  char previous = '0';
  for (const char c : name.substr(4)) {
    if (c < '1' || c > '3' || c <= previous) return std::nullopt;  // 1, 2, 3, 12, 13 or 23
    lit[static_cast<std::size_t>(c - '1')] = true;
    previous = c;
  }
  return lit;
}

std::string CurveConfigurationList() {
  std::string list;
  for (std::size_t i = 0; i < kCurveConfigurations.size(); ++i)
    list.append(i == 0                                 ? ""
                : i + 1 == kCurveConfigurations.size() ? " and "
                                                       : ", ")
        .append(kCurveConfigurations[i]);
  return list;
}

bool MeasuredCurve::Dark() const { return !circuit.lit[0] && !circuit.lit[1] && !circuit.lit[2]; }

bool FreeParameter::Log() const { return Row(index).LogScale(); }

FreeParameter DefaultBounds(int index) {
  FreeParameter f{.index = index};
  const ParameterRow& row = Row(index);
  switch (row.rule) {
    case ReadRule::Resistance:
      f.lo = row.name.starts_with("Rs") ? 1e-4 : 1, f.hi = row.name.starts_with("Rs") ? 1e4 : 1e12;
      break;
    case ReadRule::Photocurrent:
      f.lo = 0, f.hi = 0.1;  // 100 mA/cm2: more than any sunlight gives a junction
      break;
    case ReadRule::SaturationCurrent:
      f.lo = 1e-30, f.hi = 1e-2;
      break;
    case ReadRule::IdealityFactor:
      f.lo = 0.5, f.hi = 5;
      break;
    case ReadRule::Coupling:
      f.lo = row.lowerLimit, f.hi = 1e13;
      break;
    case ReadRule::Bounded:
      // The form's range; on a log scale from a thousandth of a sun.
      f.lo = row.LogScale() ? std::max(row.low, 1e-3) : row.low, f.hi = row.high;
      if (row.fitLow != 0 || row.fitHigh != 0) f.lo = row.fitLow, f.hi = row.fitHigh;
      break;
  }
  return f;
}

std::optional<std::string> FitOptions::Problem() const {
  if (curves.empty()) return "give at least one measured curve";
  if (free.empty()) return "name at least one free parameter";
  std::size_t points = 0;
  for (std::size_t i = 0; i < free.size(); ++i) {
    const FreeParameter& f = free[i];
    if (f.index < 0 || f.index >= kParameterCount) return "a free parameter is no parameter of the cell";
    if (!Row(f.index).fittable)
      return ParameterName(f.index) + " is a curve's condition, not a parameter to fit";
    for (std::size_t j = 0; j < i; ++j)
      if (free[j].index == f.index) return ParameterName(f.index) + " is named free twice";
    const std::string bounds = ParameterName(f.index) + "=" + Text(f.lo) + ":" + Text(f.hi);
    if (!std::isfinite(f.lo) || !std::isfinite(f.hi) || !(f.lo < f.hi))
      return "the bounds " + bounds + " need LO below HI, both finite";
    const ParameterRow& row = Row(f.index);
    if (row.rule == ReadRule::Bounded) {
      if (!row.InRange(f.lo) || !row.InRange(f.hi))
        return "the bounds " + bounds + " leave the form's range of " + ParameterName(f.index) + ", " +
               Text(row.low) + " to " + Text(row.high) + (row.highClosed ? "" : " (below it)");
      continue;
    }
    const bool positive = f.Log() || row.rule == ReadRule::IdealityFactor;
    if (positive ? !(f.lo > 0) : f.lo < 0)
      return "the bounds " + bounds + " hold values the form does not take (" +
             (positive ? "the lowest must be above 0" : "the lowest cannot be negative") + ")";
    if (row.rule == ReadRule::Coupling && (f.lo < row.lowerLimit || f.hi > 1e13))
      return "the bounds " + bounds + " leave the form's range of " + ParameterName(f.index) + ", " +
             Text(row.lowerLimit) + " to 1e13";
  }
  const auto isFree = [&](int index) {
    return std::any_of(free.begin(), free.end(), [&](const FreeParameter& f) { return f.index == index; });
  };
  // A condition that every curve gives for itself leaves the form's value unused: nothing would fit it.
  for (const FreeParameter& f : free) {
    const bool T = Row(f.index).name == "T", X = Row(f.index).name == "X";
    if ((T || X) && std::all_of(curves.begin(), curves.end(), [&](const MeasuredCurve& c) {
          return T ? c.T.has_value() : c.X.has_value();
        }))
      return ParameterName(f.index) + " is given by every curve's own conditions (--at " +
             std::string(Row(f.index).name) + "=...), so the form's " + ParameterName(f.index) +
             " enters no curve and cannot be fitted";
  }
  for (const MeasuredCurve& c : curves) {
    if (c.V.empty() || c.V.size() != c.J.size())
      return "the curve " + c.name + " (" + c.file + ") has no points";
    for (std::size_t i = 0; i < c.V.size(); ++i)
      if (!std::isfinite(c.V[i]) || !std::isfinite(c.J[i]))
        return "the curve " + c.name + " (" + c.file +
               ") holds a value that is not a finite number at point " + std::to_string(i) + " (V " +
               Text(c.V[i]) + ", J " + Text(c.J[i]) + ")";
    if (!(c.weight > 0) || !std::isfinite(c.weight))
      return "the weight of the curve " + c.name + " must be above 0";
    if (!c.Dark()) {
      bool light = false;
      for (int k = 1; k <= 3; ++k)
        light = light || (c.circuit.lit[static_cast<std::size_t>(k - 1)] &&
                          (Photocurrent(start, k) > 0 || isFree(ParameterIndex("Jsc" + std::to_string(k)))));
      if (!light)
        return "the curve " + c.name + " (" + c.file +
               ") is lit only by photocurrents that are 0 and not free: the parameters leave it dark";
    }
    if (!c.Dark()) {
      double largest = 0;
      for (const double J : c.J) largest = std::max(largest, std::abs(J));
      if ((largest > 0 && largest < kLeastLitCurrent) || largest > kMostLitCurrent)
        return "the curve " + c.Label(start) + " (" + c.file + ") reaches at most " + Text(largest) +
               " A/cm2, " + (largest < kLeastLitCurrent ? "far below" : "far above") +
               " any current a lit cell gives (" + Text(kLeastLitCurrent) + " to " + Text(kMostLitCurrent) +
               " A/cm2): check the file's unit of current";
    }
    if (const auto problem = CheckConditions(c.AtItsConditions(start)))
      return "the curve " + c.Label(start) + " (" + c.file + ") is at conditions that leave no cell: " +
             problem->sentence.substr(0, problem->sentence.find_last_not_of('.') + 1);
    const CurveTerms t = TermsOf(c, darkFloor);
    if (t.points.empty())
      return "the dark curve " + c.name + " (" + c.file + ") has no point above the floor of " +
             Text(darkFloor) + " A/cm2";
    points += t.points.size();
  }
  // One more point than free parameters at least: the residual variance that scales the uncertainties needs
  // a degree of freedom, and fewer points leave the parameters undetermined.
  if (points <= free.size())
    return "the curves hold " + std::to_string(points) + (points == 1 ? " point" : " points") +
           " that count, for " + std::to_string(free.size()) +
           (free.size() == 1 ? " free parameter" : " free parameters") +
           ": give more points than free parameters";
  if (starts < 1) return "give at least one start";
  if (!(darkFloor >= 0) || !std::isfinite(darkFloor))
    return "the dark floor must be a current density of 0 or more";
  return std::nullopt;
}

Parameters MeasuredCurve::AtItsConditions(const Parameters& form) const {
  Parameters p = form;
  if (T) p.T = *T;
  if (X) p.X = *X;
  return p;
}

std::string MeasuredCurve::Conditions(const Parameters& form) const {
  const Parameters p = AtItsConditions(form);
  return name + " at T = " + ShortestText(p.T) +
         " \xC2\xB0"
         "C, X = " +
         ShortestText(p.X) + " suns";
}

std::string MeasuredCurve::Label(const Parameters& form) const {
  const Parameters p = AtItsConditions(form);
  return name + " at " + GeneralText(p.T, 6) +
         " \xC2\xB0"
         "C, " +
         GeneralText(p.X, 6) + (p.X == 1 ? " sun" : " suns");
}

std::vector<double> ModelCurrents(const MeasuredCurve& curve, const Parameters& form) {
  std::vector<double> J(curve.V.size(), std::numeric_limits<double>::quiet_NaN());
  try {
    const CellAtConditions cell = AtConditions(curve.AtItsConditions(form));
    const exact::CircuitSolver solver(cell.par, cell.Vt, curve.circuit);
    for (std::size_t i = 0; i < curve.V.size(); ++i) {
      try {
        J[i] = solver.CurrentAt(curve.V[i]).J;
      } catch (const CalcError&) {
      }
    }
  } catch (const CalcError&) {
  } catch (const InputError&) {
  }
  return J;
}

namespace {

FitResult FitFromStarts(const FitOptions& options, const ProgressCallback& progress);

// The worst lit curve of a fit: its index and RMS residual in fractions of its largest |J|.
std::pair<std::size_t, double> WorstLitCurve(const FitOptions& options, const FitResult& fit) {
  std::pair<std::size_t, double> worst{0, 0};
  for (std::size_t i = 0; i < fit.residuals.size() && i < options.curves.size(); ++i)
    if (!options.curves[i].Dark() && fit.residuals[i].rms > worst.second) worst = {i, fit.residuals[i].rms};
  return worst;
}

// Whether the data fit far better with their currents' sign turned or scaled by a thousand either way (the
// usual mistakes of a measured file's convention and unit): the first change that a short fit (a quarter of
// the starts) takes below the missed share and below a third of the original miss.
void LookForABetterReading(const FitOptions& options, FitResult::Missed& missed) {
  const std::pair<bool, double> changes[] = {
      {true, 1}, {false, 1e-3}, {false, 1e3}, {true, 1e-3}, {true, 1e3}};
  for (const auto& [turn, scale] : changes) {
    FitOptions changed = options;
    changed.starts = std::max(1, options.starts / 4);
    for (MeasuredCurve& c : changed.curves)
      for (double& J : c.J) J *= turn ? -scale : scale;
    if (changed.Problem()) continue;
    try {
      const FitResult r = FitFromStarts(changed, {});
      const double share = WorstLitCurve(changed, r).second;
      if (share < kMissedShare && share < missed.share / 3) {
        missed.fitsBetter = true, missed.otherSign = turn, missed.scale = scale;
        return;
      }
    } catch (const std::exception&) {
    }
  }
}

}  // namespace

FitResult Fit(const FitOptions& options, const ProgressCallback& progress) {
  FitResult fit = FitFromStarts(options, progress);
  const auto [worst, share] = WorstLitCurve(options, fit);
  if (share <= kMissedShare || fit.stopped) return fit;
  fit.converged = false;
  fit.missed = FitResult::Missed{.curve = options.curves[worst].Label(options.start), .share = share};
  LookForABetterReading(options, *fit.missed);
  std::string sentence = "The best fit leaves an RMS residual of " + Text(std::round(share * 1000) / 10) +
                         " % of its largest |J| on the curve " + fit.missed->curve +
                         ": the model does not describe these data, so the fit did not converge.";
  if (fit.missed->fitsBetter) {
    std::string change = fit.missed->otherSign ? "with their currents' sign turned" : "";
    if (fit.missed->scale != 1)
      change += std::string(change.empty() ? "" : " and ") + "with their currents " +
                (fit.missed->scale < 1 ? "a thousand times smaller (mA/cm2 read as A/cm2)"
                                       : "a thousand times larger (A/cm2 read as mA/cm2)");
    sentence += " The data fit far better " + change + ".";
  }
  fit.warnings.insert(fit.warnings.begin(), sentence);
  return fit;
}

namespace {

FitResult FitFromStarts(const FitOptions& options, const ProgressCallback& progress) {
  if (const auto problem = options.Problem()) throw InputError(*problem + ".");
  // Ceres logs each start that steps into a cell without a solution to the standard error stream; the fit
  // reports what matters in its result, so only a fatal error is logged.
  static std::once_flag quiet;
  std::call_once(quiet, [] { FLAGS_minloglevel = google::GLOG_FATAL; });
  const auto begin = std::chrono::steady_clock::now();
  const int threads = std::max(
      1, options.threads > 0 ? options.threads : static_cast<int>(std::thread::hardware_concurrency()));
  int total = options.starts;  // the starts to run: more when a diode vanished
  std::vector<StartResult> results(static_cast<std::size_t>(total));
  std::mutex lock;
  int next = 0, done = 0;
  double best = std::numeric_limits<double>::infinity();
  bool stop = false;  // the callback said so
  // Called with lock held.
  const auto report = [&] {
    if (!progress) return;
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    if (progress({done, total, seconds, best}) == CallbackReturn::Stop) stop = true;
  };
  report();  // a stop asked for before the first start
  // Runs starts next..last-1 on the pool, start s from startFor(s).
  const auto runStarts = [&](int last, const std::function<std::vector<double>(int)>& startFor) {
    const auto worker = [&] {
      for (;;) {
        int s = 0;
        {
          const std::lock_guard guard(lock);
          if (next >= last || stop) return;
          s = next++;
        }
        StartResult r = RunStart(options, startFor(s));
        const std::lock_guard guard(lock);
        best = std::min(best, r.cost);
        results[static_cast<std::size_t>(s)] = std::move(r);
        ++done;
        report();
      }
    };
    const int workers = std::min(threads, last - next);
    std::vector<std::jthread> pool;
    pool.reserve(static_cast<std::size_t>(std::max(workers, 0)));
    for (int t = 0; t < workers; ++t) pool.emplace_back(worker);
  };
  // First the form's values and points spread over the bounds; then the second round around the best.
  runStarts(FirstRoundStarts(options.starts), [&](int s) { return StartOf(options, s); });
  const StartResult* firstBest = LowestStart(results);
  const std::vector<double> around = firstBest ? firstBest->x : StartOf(options, 0);
  const std::vector<std::size_t> order =
      next < options.starts ? LeastSensitiveFirst(options, around) : std::vector<std::size_t>{};
  runStarts(options.starts, [&](int s) { return StartAround(options, around, order, s); });

  // A diode that vanished at the best point: a start from each decade of its saturation current.
  const StartResult* lowest = LowestStart(results);
  const std::vector<std::vector<double>> decadeStarts =
      lowest && !stop ? DecadeStarts(options, *lowest) : std::vector<std::vector<double>>{};
  if (!decadeStarts.empty()) {
    const int first = total;
    total += static_cast<int>(decadeStarts.size());
    results.resize(static_cast<std::size_t>(total));
    runStarts(total, [&](int s) { return decadeStarts[static_cast<std::size_t>(s - first)]; });
  }

  FitResult fit;
  fit.stopped = stop && done < total;
  fit.startsRun = done;
  const StartResult* bestStart = LowestStart(results);
  if (!bestStart && fit.stopped && done == 0)
    throw StoppedError("the fit was stopped before any start ended");
  if (!bestStart)
    throw CalcError("no start of the fit reached a cell with a solution at every measured voltage");
  fit.cost = bestStart->cost;
  fit.converged = bestStart->converged;
  for (const StartResult& r : results) fit.iterations += r.iterations;
  const std::vector<double>& x = bestStart->x;
  fit.fitted = WithCoordinates(options.start, options.free, x.data());

  // At the best point: the residuals per curve, the Jacobian, and the covariance of the coordinates.
  StartProblem sp(options, x);
  double cost = 0;
  std::vector<double> residuals;
  ceres::CRSMatrix crs;
  sp.problem.Evaluate(ceres::Problem::EvaluateOptions(), &cost, &residuals, nullptr, &crs);
  std::size_t at = 0;
  for (const CurveTerms& t : sp.terms) {
    double squares = 0;
    for (std::size_t r = 0; r < t.points.size(); ++r) squares += residuals[at + r] * residuals[at + r];
    const Parameters conditions = t.curve->AtItsConditions(fit.fitted);
    fit.residuals.push_back({t.curve->name, t.points.size(),
                             std::sqrt(squares / static_cast<double>(t.points.size())) / t.root, conditions.T,
                             conditions.X});
    at += t.points.size();
  }
  const auto m = static_cast<Eigen::Index>(residuals.size()), n = static_cast<Eigen::Index>(x.size());
  Eigen::MatrixXd jacobian = Eigen::MatrixXd::Zero(m, n);
  for (int row = 0; row < crs.num_rows; ++row)
    for (int k = crs.rows[static_cast<std::size_t>(row)]; k < crs.rows[static_cast<std::size_t>(row) + 1];
         ++k)
      jacobian(row, crs.cols[static_cast<std::size_t>(k)]) = crs.values[static_cast<std::size_t>(k)];
  // Each column scaled to unit length, so that the rank test does not depend on the coordinates' units.
  Eigen::VectorXd norms = jacobian.colwise().norm();
  for (Eigen::Index j = 0; j < n; ++j)
    if (norms(j) > 0) jacobian.col(j) /= norms(j);
  const Eigen::JacobiSVD<Eigen::MatrixXd> svd(jacobian, Eigen::ComputeThinV);
  const Eigen::VectorXd& sigma = svd.singularValues();
  Eigen::MatrixXd covariance = Eigen::MatrixXd::Zero(n, n);
  std::vector<bool> determined(static_cast<std::size_t>(n), true);
  std::vector<std::vector<std::size_t>> nullDirections;  // the parameters each direction the data miss moves
  for (Eigen::Index k = 0; k < n; ++k) {
    const Eigen::VectorXd v = svd.matrixV().col(k);
    if (sigma(k) > 1e-8 * sigma(0)) {
      covariance += v * v.transpose() / (sigma(k) * sigma(k));
      continue;
    }
    nullDirections.emplace_back();
    for (Eigen::Index j = 0; j < n; ++j)
      if (std::abs(v(j)) > 0.3) {
        determined[static_cast<std::size_t>(j)] = false;
        nullDirections.back().push_back(static_cast<std::size_t>(j));
      }
  }
  // Other minima as good as the best, within 1 % of its cost, elsewhere in the bounds; points that differ
  // only in parameters the data leave undetermined are one minimum (the warnings name those parameters).
  for (const StartResult& r : results) {
    if (&r == bestStart || r.x.empty() || !(r.cost <= 1.01 * fit.cost)) continue;
    const auto differs = [&](const std::vector<double>& other) {
      for (std::size_t i = 0; i < other.size(); ++i) {
        if (!determined[i]) continue;
        const FreeParameter& f = options.free[i];
        if (std::abs(r.x[i] - other[i]) > 1e-3 * (ToCoordinate(f, f.hi) - ToCoordinate(f, f.lo))) return true;
      }
      return false;
    };
    bool fresh = differs(x);
    for (const std::vector<double>& listed : fit.otherMinima) {
      std::vector<double> coordinates;
      for (std::size_t i = 0; i < listed.size(); ++i)
        coordinates.push_back(ToCoordinate(options.free[i], listed[i]));
      fresh = fresh && differs(coordinates);
    }
    if (!fresh) continue;
    std::vector<double> values;
    for (std::size_t i = 0; i < r.x.size(); ++i) values.push_back(FromCoordinate(options.free[i], r.x[i]));
    fit.otherMinima.push_back(std::move(values));
  }

  // Each curve's own noise, from its own residuals (its share of the degrees of freedom): a lit curve's
  // fractions and a dark curve's decades are not one noise. The covariance of the estimate the fit makes
  // is then the sandwich A (J' D J) A, with A the inverse of J'J and D each row's curve variance; with one
  // noise for all it is that variance times A.
  Eigen::VectorXd rowVariance(m);
  {
    std::size_t row = 0;
    for (const CurveTerms& t : sp.terms) {
      const std::size_t count = t.points.size();
      double squares = 0;
      for (std::size_t r = 0; r < count; ++r) squares += residuals[row + r] * residuals[row + r];
      const double freedom =
          static_cast<double>(count) * (1 - static_cast<double>(n) / static_cast<double>(m));
      const double curveVariance = m > n ? squares / freedom : 0;
      for (std::size_t r = 0; r < count; ++r) rowVariance(static_cast<Eigen::Index>(row + r)) = curveVariance;
      row += count;
    }
  }
  const Eigen::MatrixXd meat = jacobian.transpose() * rowVariance.asDiagonal() * jacobian;
  // Whether the data can tell two parameters apart is a property of J alone: the correlations of A.
  const Eigen::MatrixXd inverse = covariance;
  covariance = covariance * meat * covariance;
  for (Eigen::Index i = 0; i < n; ++i)
    for (Eigen::Index j = 0; j < n; ++j)
      covariance(i, j) = norms(i) > 0 && norms(j) > 0 ? covariance(i, j) / (norms(i) * norms(j)) : 0;

  for (std::size_t i = 0; i < options.free.size(); ++i) {
    const FreeParameter& f = options.free[i];
    ParameterEstimate e;
    e.index = f.index;
    e.start = FromCoordinate(f, StartOf(options, 0)[i]);
    e.fitted = FromCoordinate(f, x[i]);
    e.determined = determined[i] && norms(static_cast<Eigen::Index>(i)) > 0;
    const double sx =
        std::sqrt(std::max(0.0, covariance(static_cast<Eigen::Index>(i), static_cast<Eigen::Index>(i))));
    if (!e.determined) {
      e.standardError = e.low95 = e.high95 = std::numeric_limits<double>::quiet_NaN();
    } else if (f.Log()) {
      e.standardError = e.fitted * kLn10 * sx;
      e.low95 = e.fitted * std::pow(10.0, -kZ95 * sx);
      e.high95 = e.fitted * std::pow(10.0, kZ95 * sx);
    } else {
      e.standardError = sx;
      e.low95 = e.fitted - kZ95 * sx;
      e.high95 = e.fitted + kZ95 * sx;
    }
    // The cell is fitted within the bounds: an interval reaching beyond them says nothing of the cell there.
    if (e.determined && (e.low95 < f.lo || e.high95 > f.hi)) {
      e.low95 = std::max(e.low95, f.lo), e.high95 = std::min(e.high95, f.hi);
      fit.warnings.push_back("The 95 % interval of " + ParameterName(f.index) +
                             " reaches beyond its bounds " + Text(f.lo) + " to " + Text(f.hi) +
                             "; it is clipped to them.");
    }
    fit.estimates.push_back(e);
  }
  // Where the form's value lies outside the bounds the first start stood on the nearest bound; a fitted
  // value on a bound is the best within the bounds only.
  for (std::size_t i = 0; i < options.free.size(); ++i) {
    const FreeParameter& f = options.free[i];
    const double value = options.start.*Row(f.index).member;
    if (value < f.lo || value > f.hi)
      fit.warnings.push_back("The form's " + ParameterName(f.index) + " = " + Text(value) +
                             " lies outside its bounds " + Text(f.lo) + " to " + Text(f.hi) +
                             ": the first start was moved to the nearest bound.");
    const double lo = ToCoordinate(f, f.lo), hi = ToCoordinate(f, f.hi);
    const double span = 1e-6 * (hi - lo);
    if (x[i] - lo <= span || hi - x[i] <= span)
      fit.warnings.push_back(
          ParameterName(f.index) + " ended on its bound " + Text(x[i] - lo <= span ? f.lo : f.hi) +
          ": the best fit may lie beyond it; widen the bounds if the cell can have such a value.");
  }
  // A minimum that only one start found, with the others ending clearly higher, may not be the lowest.
  if (fit.startsRun > 1) {
    int reached = 0, higher = 0;
    for (const StartResult& r : results) {
      if (r.x.empty() || !std::isfinite(r.cost)) continue;
      // Costs below a residual of 1e-6 a point are all the same minimum: the data's rounding.
      const double floor = 1e-12 * static_cast<double>(m);
      if (r.cost <= bestStart->cost * 1.01 + floor) ++reached;
      if (r.cost > bestStart->cost * 1.5 + floor) ++higher;
    }
    if (reached == 1 && higher > 0)
      fit.warnings.push_back("Only 1 of " + std::to_string(fit.startsRun) +
                             " starts reached the best cost (" + Text(bestStart->cost) + "); " +
                             std::to_string(higher) +
                             " ended clearly higher, so a lower minimum may exist: run more starts (" +
                             std::to_string(4 * options.starts) + ", say).");
  }

  // The warnings: what the data cannot determine, and pairs they cannot tell apart.
  const std::string from = "from " + CurveList(options.curves, options.start);
  const auto together = [&](std::size_t a, std::size_t b, const std::string& how) {
    const int pa = options.free[a].index, pb = options.free[b].index;
    fit.warnings.push_back(ParameterName(pa) + " and " + ParameterName(pb) + " cannot be told apart " + from +
                           " alone" + how + "; " + Separating(pa, pb, options.curves) + ".");
  };
  for (const std::vector<std::size_t>& direction : nullDirections) {
    if (direction.size() == 1)
      fit.warnings.push_back("The data cannot determine " + ParameterName(options.free[direction[0]].index) +
                             " " + from + ": it moves no residual.");
    for (std::size_t a = 0; a < direction.size(); ++a)
      for (std::size_t b = a + 1; b < direction.size(); ++b) together(direction[a], direction[b], "");
  }
  for (Eigen::Index i = 0; i < n; ++i)
    for (Eigen::Index j = i + 1; j < n; ++j) {
      const auto a = static_cast<std::size_t>(i), b = static_cast<std::size_t>(j);
      if (!fit.estimates[a].determined || !fit.estimates[b].determined) continue;
      const double c = inverse(i, j) / std::sqrt(inverse(i, i) * inverse(j, j));
      if (std::abs(c) > 0.95) together(a, b, " (correlation " + Text(std::round(c * 1000) / 1000) + ")");
    }
  if (!fit.converged)
    fit.warnings.push_back("The best start did not converge: its point is reported as it stood.");
  if (fit.stopped)
    fit.warnings.push_back("The fit was stopped after " + std::to_string(done) + " of " +
                           std::to_string(total) + " starts.");
  for (const std::size_t i : VanishedDiodes(options, x))
    fit.warnings.push_back(
        ParameterName(options.free[i].index) + " ended at " + Text(fit.estimates[i].fitted) +
        ", where its diode no longer shows in any curve: the data are fitted as well without that diode" +
        (decadeStarts.empty() ? "." : " (a start from each decade of its bounds found no lower minimum)."));
  fit.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
  return fit;
}

}  // namespace

}  // namespace pelarin::fit
