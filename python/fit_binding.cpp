// pelarin.fit: the free parameters of a cell fitted to measured J(V) curves given as numpy arrays, by the
// fit of pelarin-batch fit.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "fit/fit.h"
#include "model/calc_error.h"
#include "model/number_text.h"
#include "model/parameter_table.h"
#include "python/bindings.h"
#include "workspace/read_parameters.h"

namespace pelarin::python {
namespace {

using Array = py::array_t<double, py::array::c_style | py::array::forcecast>;

struct FitOutcome {
  Cell parameters;
  py::list table;
  py::dict residuals;
  std::vector<std::string> warnings;
  bool converged = false;
  double cost = 0;
  int iterations = 0, startsRun = 0;
  double seconds = 0;
  py::list otherMinima;
};

// The conditions a curve was measured at: a dict of T (degrees C) and X (suns), read as their boxes are.
void ReadConditions(const std::string& where, const py::handle& conditions, fit::MeasuredCurve& curve) {
  if (!py::isinstance<py::dict>(conditions))
    throw InputError(where + ": the conditions are a dict such as {\"T\": 50, \"X\": 1}.");
  for (const auto& [key, value] : py::reinterpret_borrow<py::dict>(conditions)) {
    const std::string name = py::str(key);
    if (name != "T" && name != "X")
      throw InputError(where + ": the conditions of a curve are T and X, not \"" + name + "\".");
    const BoxReading box =
        ReadBox(kParameterRows[static_cast<std::size_t>(ParameterIndex(name))], BoxText(value));
    if (!box.problem.empty()) throw InputError(where + ": " + name + ": " + box.problem + ".");
    (name == "T" ? curve.T : curve.X) = box.value;
  }
}

// One curve: its name, a pair (v, j) of arrays, and optionally the conditions it was measured at.
fit::MeasuredCurve CurveOf(const std::string& name, const py::handle& v0, const py::handle& j0,
                           const py::handle* conditions, bool coupled, const std::string& where) {
  const auto lit = fit::LitSetOf(name);
  if (!lit)
    throw InputError(where + ": the curves are lit, dark, lit:1, lit:2, lit:3, lit:12, lit:13 and lit:23.");
  const auto v = v0.cast<Array>();
  const auto j = j0.cast<Array>();
  if (v.ndim() != 1 || j.ndim() != 1 || v.size() != j.size())
    throw InputError(where + ": v and j must be one-dimensional arrays of the same length.");
  fit::MeasuredCurve curve;
  curve.name = name;
  curve.file = where;
  curve.circuit = exact::Stack(*lit, coupled);
  curve.V.assign(v.data(), v.data() + v.size());
  curve.J.assign(j.data(), j.data() + j.size());
  if (conditions) ReadConditions(where, *conditions, curve);
  return curve;
}

// data as a dict (name -> (v, j) or (v, j, conditions)) or as a list of (name, v, j) or (name, v, j,
// conditions): a campaign may hold the same curve at several temperatures.
std::vector<fit::MeasuredCurve> CurvesOf(const py::object& data, bool coupled) {
  std::vector<fit::MeasuredCurve> curves;
  const auto items = [&](const py::sequence& item, std::size_t first, const std::string& name,
                         const std::string& where) {
    const std::size_t n = py::len(item);
    if (n != first + 2 && n != first + 3)
      throw InputError(where + " takes (v, j) or (v, j, {\"T\": ..., \"X\": ...}) after its name.");
    const py::object conditions = n == first + 3 ? py::object(item[first + 2]) : py::object();
    curves.push_back(
        CurveOf(name, item[first], item[first + 1], n == first + 3 ? &conditions : nullptr, coupled, where));
  };
  if (py::isinstance<py::dict>(data)) {
    for (const auto& [key, value] : py::reinterpret_borrow<py::dict>(data)) {
      const std::string name = py::str(key), where = "data[\"" + name + "\"]";
      if (!py::isinstance<py::sequence>(value) || py::isinstance<py::str>(value))
        throw InputError(where + " takes a pair (v, j) of arrays.");
      items(py::reinterpret_borrow<py::sequence>(value), 0, name, where);
    }
  } else if (py::isinstance<py::sequence>(data) && !py::isinstance<py::str>(data)) {
    std::size_t i = 0;
    for (const py::handle entry : py::reinterpret_borrow<py::sequence>(data)) {
      const std::string where = "data[" + std::to_string(i++) + "]";
      if (!py::isinstance<py::sequence>(entry) || py::isinstance<py::str>(entry) || py::len(entry) < 1)
        throw InputError(where + " takes (name, v, j) or (name, v, j, conditions).");
      const auto item = py::reinterpret_borrow<py::sequence>(entry);
      items(item, 1, py::str(item[0]), where);
    }
  } else {
    throw InputError("data takes a dict of curves, or a list of (name, v, j[, conditions]).");
  }
  // One measurement counts once.
  for (std::size_t a = 0; a < curves.size(); ++a)
    for (std::size_t b = 0; b < a; ++b)
      if (curves[a].name == curves[b].name && curves[a].T == curves[b].T && curves[a].X == curves[b].X &&
          curves[a].V == curves[b].V && curves[a].J == curves[b].J)
        throw InputError(curves[a].file + " is " + curves[b].file + " again, at the same conditions.");
  return curves;
}

fit::Loss LossOf(const std::string& loss) {
  if (loss == "squared") return fit::Loss::Squared;
  if (loss == "cauchy") return fit::Loss::Cauchy;
  if (loss == "huber") return fit::Loss::Huber;
  throw InputError("loss takes \"squared\", \"cauchy\" or \"huber\", not \"" + loss + "\".");
}

FitOutcome Fit(const Cell& cell, const py::object& data, const py::dict& free, bool coupled, int starts,
               int threads, const std::string& loss, double darkFloor, const std::optional<py::dict>& weights,
               unsigned long long seed) {
  fit::FitOptions options;
  options.start = cell.values;
  options.starts = starts, options.threads = threads, options.seed = seed;
  options.loss = LossOf(loss);
  options.darkFloor = darkFloor;
  if (starts < 1) throw InputError("starts takes a whole number from 1.");
  if (threads < 0) throw InputError("threads takes 0 (one per core) or a thread count.");
  options.curves = CurvesOf(data, coupled);
  for (const auto& [name, bounds] : free) {
    const auto freeName = py::str(name).cast<std::string>();
    if (ParameterIndex(freeName) < 0)
      throw InputError("free names no parameter: \"" + freeName +
                       "\" (Rs1, Rp1, ..., Rg3, X, Eg1..3, alpha1..3, beta2, beta3, Abd1..3, "
                       "Vbd1..3, nbd1..3).");
    fit::FreeParameter f = fit::DefaultBounds(BoxOf(freeName));
    if (!bounds.is_none()) {
      const auto pair = bounds.cast<std::pair<double, double>>();
      f.lo = pair.first, f.hi = pair.second;
    }
    options.free.push_back(f);
  }
  if (weights)
    for (const auto& [key, weight] : *weights) {
      const auto name = key.cast<std::string>();
      const auto curve = std::find_if(options.curves.begin(), options.curves.end(),
                                      [&](const fit::MeasuredCurve& c) { return c.name == name; });
      if (curve == options.curves.end())
        throw InputError("weights[\"" + name + "\"]: data has no such curve.");
      curve->weight = weight.cast<double>();
    }
  if (const auto problem = options.Problem()) throw InputError(*problem + ".");

  fit::FitResult result;
  RunStoppable([&](const std::atomic<bool>& stop) {
    result = fit::Fit(options, [&](const ProgressReport&) {
      return stop ? CallbackReturn::Stop : CallbackReturn::Continue;
    });
  });

  FitOutcome outcome;
  outcome.parameters = cell;
  for (const fit::FreeParameter& f : options.free)
    SetBox(outcome.parameters, f.index,
           ShortestText(result.fitted.*kParameterRows[static_cast<std::size_t>(f.index)].member));
  for (const fit::ParameterEstimate& e : result.estimates) {
    const auto known = [&](double x) -> py::object {
      if (!e.determined) return py::none();
      return py::float_(x);
    };
    py::dict row;
    row["parameter"] = ParameterName(e.index);
    row["start"] = e.start;
    row["fitted"] = e.fitted;
    row["standard error"] = known(e.standardError);
    row["95% low"] = known(e.low95);
    row["95% high"] = known(e.high95);
    row["unit"] = std::string(kParameterRows[static_cast<std::size_t>(e.index)].unit);
    row["determined"] = e.determined;
    outcome.table.append(row);
  }
  for (std::size_t i = 0; i < result.residuals.size(); ++i) {
    const fit::CurveResidual& r = result.residuals[i];
    py::dict residual;
    residual["points"] = r.points;
    residual["rms"] = r.rms;
    residual["T"] = r.T;
    residual["X"] = r.X;
    // A curve measured at conditions of its own is named with them: a campaign has "lit" more than once.
    const fit::MeasuredCurve& c = options.curves[i];
    outcome.residuals[py::str(c.T || c.X ? c.Conditions(result.fitted) : r.name)] = residual;
  }
  for (const std::vector<double>& minimum : result.otherMinima) {
    py::dict values;
    for (std::size_t i = 0; i < minimum.size() && i < options.free.size(); ++i)
      values[py::str(ParameterName(options.free[i].index))] = minimum[i];
    outcome.otherMinima.append(values);
  }
  outcome.warnings = result.warnings;
  outcome.converged = result.converged;
  outcome.cost = result.cost;
  outcome.iterations = result.iterations, outcome.startsRun = result.startsRun;
  outcome.seconds = result.seconds;
  return outcome;
}

}  // namespace

void BindFit(py::module_& m) {
  py::class_<FitOutcome>(m, "FitResult", "What fit() gives: the fitted cell, its uncertainties and warnings.")
      .def_readonly("parameters", &FitOutcome::parameters,
                    "The cell with the fitted values in the free boxes.")
      .def_readonly(
          "table", &FitOutcome::table,
          "One dict per free parameter, as the fit report's rows: parameter, start, fitted, standard "
          "error, 95% low, 95% high (None where the data leave the parameter undetermined), unit, "
          "determined.")
      .def_readonly(
          "residuals", &FitOutcome::residuals,
          "Curve name -> {points, rms, T, X}: the RMS residual in fractions of a lit curve's largest |J|, "
          "or in decades of a dark one, over the points that count, and the conditions it was fitted at "
          "(a curve given conditions of its own is named with them).")
      .def_readonly("warnings", &FitOutcome::warnings,
                    "What the data cannot determine or tell apart, in plain sentences.")
      .def_readonly("converged", &FitOutcome::converged, "Whether the best start converged.")
      .def_readonly("cost", &FitOutcome::cost, "Half the sum of the squared (or lossed) weighted residuals.")
      .def_readonly("iterations", &FitOutcome::iterations)
      .def_readonly("starts_run", &FitOutcome::startsRun)
      .def_readonly("seconds", &FitOutcome::seconds)
      .def_readonly("other_minima", &FitOutcome::otherMinima,
                    "Other minima whose cost is within 1 % of the best's: each a dict of the free values.")
      .def("__repr__", [](const FitOutcome& o) {
        return std::string("<pelarin.FitResult ") + (o.converged ? "converged" : "not converged") +
               ", cost " + ShortestText(o.cost) + ">";
      });

  m.def("fit", &Fit, py::arg("p"), py::kw_only(), py::arg("data"), py::arg("free"),
        py::arg("coupled") = false, py::arg("starts") = 16, py::arg("threads") = 0,
        py::arg("loss") = "squared", py::arg("dark_floor") = 1e-9, py::arg("weights") = py::none(),
        py::arg("seed") = 1,
        R"(Fits the free parameters of p to measured J(V) curves, as pelarin-batch fit does.

data maps a curve to a pair (v, j) of arrays, V and A/cm2 in the generator convention (a lit cell's current
at 0 V positive): "lit" (all junctions lit), "dark", "lit:1", "lit:2", "lit:3" (that junction alone lit),
"lit:12", "lit:13", "lit:23"; coupled=True for a stack inside the Rl/Rg network. A curve measured at its
own temperature or concentration adds them as a dict, (v, j, {"T": 50, "X": 1}); a campaign with the same
curve at several temperatures gives data as a list, [("lit", v, j, {"T": 25}), ("lit", v2, j2, {"T": 75}),
...]. Every curve is fitted with the same cell at its own conditions (p's T and X where it gives none), so
that curves at several temperatures tell the band gaps (Eg1..3, free like any box) from the saturation
currents. free maps each parameter
to fit to its bounds (low, high), or None for the defaults (the values the form takes, narrowed to physical
ones); the others keep p's values. The fit starts from p and from points spread over the bounds (seed); of
8 or more starts the last quarter from the best point so far with one parameter drawn anew; on threads
threads (0: one per core), by bounded Levenberg-Marquardt; resistances and saturation currents on a log
scale. Lit residuals count in fractions of the curve's largest |J|, dark ones in decades
(points below dark_floor in |J| do not count); loss "cauchy" or "huber" lets outliers count less; weights
maps a curve to the weight of its residuals. Returns a FitResult. Input the fit refuses raises ValueError;
Ctrl-C stops after the starts under way and raises KeyboardInterrupt.)");
}

}  // namespace pelarin::python
