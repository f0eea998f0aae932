// pelarin.run, figures, current, voltage and studies: the studies of the batch tool run headless, their
// lit curves' exact figures, and the exact solver's current and voltage along a curve.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>
#include <pybind11/stl/filesystem.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "app/headless_ui.h"
#include "app/scan_cells.h"  // OneLine
#include "model/calc_error.h"
#include "model/exact_circuit.h"
#include "model/operating_conditions.h"
#include "python/bindings.h"
#include "studies/exact_figures.h"
#include "studies/study_registry.h"
#include "ui/recorded_plot_window.h"
#include "workspace/read_parameters.h"
#include "workspace/study_folder.h"

namespace fs = std::filesystem;

namespace pelarin::python {
namespace {

// One curve a study drew, as a window holds it: J itself on the lin-log window, which draws ln J.
struct Curve {
  std::string name;
  std::string window;  // "lit" (the lin-lin window) or "dark" (the lin-log window)
  py::array_t<double> v, j;
};

struct StudyResult {
  std::string study;
  py::dict curves;   // legend name -> Curve
  py::dict figures;  // legend name -> figures of merit, for the curves whose legend shows them
  std::vector<std::string> files;
  std::optional<std::string> studyDir;
};

// The answers of a run from Python: the tables only with a folder to save them in, replacing older ones
// only when allowed (checked before computing, as the batch tool does), and the measured data when given.
class StudyUi : public HeadlessUi {
 public:
  StudyUi(bool save, bool overwrite, std::optional<std::string> exp)
      : HeadlessUi(save, overwrite), save_(save), overwrite_(overwrite) {
    measuredData = std::move(exp);
  }

  void BeforeComputing(const StudyFiles& files) override {
    if (!save_ || overwrite_) return;
    std::vector<std::string> kept = files.tables;
    if (files.parameterFile) kept.push_back(parameterFile);
    for (const std::string& path : kept)
      if (SomethingAt(path)) throw FileInTheWay(path);
  }
  void FilesSaved(const std::vector<std::string>& paths) override {
    written.insert(written.end(), paths.begin(), paths.end());
  }

  std::vector<std::string> written;

 private:
  bool save_, overwrite_;
};

const StudyEntry& StudyNamed(const std::string& name) {
  const StudyEntry* study = FindStudy(name);
  if (study) return *study;
  std::string names;
  for (const StudyEntry& entry : Studies())
    names += (names.empty() ? "" : ", ") + std::string(entry.batchName);
  throw InputError("there is no study \"" + name + "\"; the studies are " + names + ".");
}

void CheckOffered(const StudyEntry& study, const Parameters& par) {
  if (!IsOffered(study.availability, par))
    throw InputError(NotOfferedText(study.batchName, study.availability) + ".");
}

void CheckIncidentPower(double power) {
  if (!(power > 0) || !std::isfinite(power))
    throw InputError("incident_power needs a power above 0 in mW/cm2.");
}

void AddCurves(const RecordedPlotWindow& window, const char* label, StudyResult& result) {
  if (!window.visible) return;
  const bool logY = window.surface.Titles().logY;
  for (const DrawnCurve& curve : window.surface.Curves()) {
    if (curve.points.empty()) continue;
    const auto n = static_cast<py::ssize_t>(curve.points.size());
    Curve c{curve.entry.name, label, py::array_t<double>(n), py::array_t<double>(n)};
    auto v = c.v.mutable_unchecked<1>();
    auto j = c.j.mutable_unchecked<1>();
    for (py::ssize_t i = 0; i < n; ++i) {
      const auto& [x, y] = curve.points[static_cast<std::size_t>(i)];
      v(i) = x;
      j(i) = logY ? std::exp(y) : y;
    }
    const std::string key = result.curves.contains(c.name) ? c.name + " (" + label + ")" : c.name;
    if (curve.entry.figures) result.figures[py::str(key)] = FiguresDict(*curve.entry.figures);
    result.curves[py::str(key)] = std::move(c);
  }
}

StudyResult Run(const std::string& name, const Cell& cell, const std::optional<fs::path>& saveTo,
                const std::optional<fs::path>& exp, bool overwrite, double incidentPower) {
  std::optional<std::string> saveDir;
  if (saveTo) saveDir = saveTo->string();
  const StudyEntry& study = StudyNamed(name);
  CheckOffered(study, cell.values);
  CheckIncidentPower(incidentPower);
  std::optional<std::string> data;
  if (exp) {
    std::error_code ec;
    data = fs::absolute(*exp, ec).string();
    if (!SomethingAt(*data)) throw MissingFile("cannot read " + *data + ": the file does not exist.");
  }
  State state;
  ResetStartUpConstants(state);
  state.figures.incidentPower = incidentPower;
  state.id.studyName = cell.studyName;
  StudyUi ui(saveDir.has_value(), overwrite, data);
  ui.form = cell.form;
  RunStoppable([&](const std::atomic<bool>& stop) {
    state.ws.stop = &stop;  // Ctrl-C ends the study's searches at their next evaluation
    const WorkingFolder folder(saveDir);
    state.id.workDir = folder.Path();
    ui.followsChosenFolder = false;
    ui.parameterFile = (fs::path(folder.Path()) / (state.id.studyName + ".plr")).string();
    const std::string studyFolder = (fs::path(folder.Path()) / (state.id.studyName + "_plr")).string();
    const bool folderWasThere = SomethingAt(studyFolder);
    try {
      study.run(state, ui);
    } catch (...) {
      // A run stopped before it wrote leaves no empty study folder behind.
      std::error_code ec;
      if (!folderWasThere && fs::is_empty(studyFolder, ec)) fs::remove(studyFolder, ec);
      throw;
    }
  });
  if (!ui.problems.empty()) throw FileError(OneLine(ui.problems.front()));
  StudyResult result;
  result.study = study.batchName;
  AddCurves(ui.linlog, "dark", result);
  AddCurves(ui.linlin, "lit", result);
  result.files = ui.written;
  if (saveDir) result.studyDir = state.id.studyDir;
  return result;
}

py::dict Figures(const std::string& name, const Cell& cell, double incidentPower) {
  const StudyEntry& study = StudyNamed(name);
  if (study.exact.curves == LitCurves::None)
    throw InputError("\"" + name + "\" draws no lit J(V) curves, so it has no figures of merit.");
  CheckOffered(study, cell.values);
  CheckIncidentPower(incidentPower);
  State state;
  UseCell(state, cell.values);
  state.figures.incidentPower = incidentPower;
  py::dict figures;
  for (const ExactCurveFigures& c : ExactFigures(study.exact, state)) {
    if (!c.figures) throw CalcError(c.curve.name + ": " + c.problem);
    figures[py::str(c.curve.name)] = FiguresDict(*c.figures);
  }
  return figures;
}

// The circuit of a stack (or of one junction alone) with the junctions whose digits lit holds lit.
exact::Circuit CircuitOf(const std::string& lit, bool coupled, const std::optional<int>& junction) {
  std::array<bool, 3> on{false, false, false};
  for (const char digit : lit) {
    if (digit < '1' || digit > '3' || on.at(static_cast<std::size_t>(digit - '1')))
      throw InputError(
          "lit takes the digits of the lit junctions, each once (\"123\", \"13\", \"\" for dark), not \"" +
          lit + "\".");
    on.at(static_cast<std::size_t>(digit - '1')) = true;
  }
  if (!junction) return exact::Stack(on, coupled);
  if (*junction < 1 || *junction > 3) throw InputError("junction takes 1, 2 or 3.");
  if (coupled)
    throw InputError("a junction alone has no coupling network: give junction or coupled=True, not both.");
  exact::Circuit circuit = exact::JunctionAlone(*junction);
  circuit.lit = on;
  return circuit;
}

// The numbers of a float, a sequence or an array, as an array of doubles; anything else (None, a text) is a
// TypeError, as Python's own numeric functions say.
py::array_t<double, py::array::c_style | py::array::forcecast> Numbers(const py::object& x,
                                                                       const char* name) {
  using Array = py::array_t<double, py::array::c_style | py::array::forcecast>;
  const auto refuse = [&] {
    return py::type_error(std::string(name) + " takes a number or an array of numbers, not " +
                          py::str(py::type::of(x).attr("__name__")).cast<std::string>());
  };
  if (x.is_none() || py::isinstance<py::str>(x) || py::isinstance<py::bytes>(x)) throw refuse();
  try {
    return x.cast<Array>();
  } catch (const py::cast_error&) {
    throw refuse();
  }
}

// Solves the circuit at each value of x (voltages, or current densities when byCurrent) and gives the other
// quantity in x's shape: a float for a number.
py::object Solve(const Cell& cell, const py::array_t<double, py::array::c_style | py::array::forcecast>& x,
                 const std::string& lit, bool coupled, const std::optional<int>& junction, bool byCurrent) {
  const CellAtConditions atConditions = AtConditions(cell.values);
  const exact::CircuitSolver solver(atConditions.par, atConditions.Vt, CircuitOf(lit, coupled, junction));
  const std::span<const double> in(x.data(), static_cast<std::size_t>(x.size()));
  std::vector<double> out(in.size());
  {
    const py::gil_scoped_release release;
    if (byCurrent) {
      for (std::size_t i = 0; i < in.size(); ++i) out[i] = solver.VoltageAt(in[i]).V;
    } else {
      std::vector<exact::OperatingPoint> points;
      solver.CurrentsAlong(in, points);
      for (std::size_t i = 0; i < in.size(); ++i) out[i] = points[i].J;
    }
  }
  if (x.ndim() == 0) return py::float_(out.front());
  py::array_t<double> result(std::vector<py::ssize_t>(x.shape(), x.shape() + x.ndim()));
  std::copy(out.begin(), out.end(), result.mutable_data());
  return result;
}

}  // namespace

void BindStudies(py::module_& m) {
  py::class_<Curve>(m, "Curve", "One curve a study drew: its points as numpy arrays, in drawing order.")
      .def_readonly("name", &Curve::name, "The curve's name in the legend.")
      .def_readonly("window", &Curve::window,
                    "\"lit\" (the lin-lin window, J(V) under light) or \"dark\" (the lin-log window).")
      .def_readonly("v", &Curve::v, "The voltages, V.")
      .def_readonly("j", &Curve::j,
                    "The current densities, A/cm2, generator direction positive (the EQE studies draw each "
                    "junction's contribution, in %).")
      .def("__len__", [](const Curve& c) { return c.v.size(); })
      .def("__repr__", [](const Curve& c) {
        return "<pelarin.Curve '" + c.name + "' (" + c.window + "), " + std::to_string(c.v.size()) +
               " points>";
      });

  py::class_<StudyResult>(m, "StudyResult",
                          "What run() gives: the curves a study drew and their figures of merit.")
      .def_readonly("study", &StudyResult::study, "The study's name.")
      .def_readonly(
          "curves", &StudyResult::curves,
          "Legend name -> Curve, every curve drawn: the dark window's first, then the lit window's.")
      .def_readonly(
          "figures", &StudyResult::figures,
          "Legend name -> the figures of merit its legend shows (Voc, Vmp in V; Jsc, Jmp in mA/cm2; "
          "FF; Pmax in mW/cm2; efficiency in %; incident_power in mW/cm2), None where one does not "
          "exist; lit J(V) curves only.")
      .def_readonly("files", &StudyResult::files, "The files written (with save_dir).")
      .def_readonly("study_dir", &StudyResult::studyDir,
                    "The study folder the tables went to (with save_dir).")
      .def("__repr__", [](const StudyResult& r) {
        return "<pelarin.StudyResult '" + r.study + "': " + std::to_string(r.curves.size()) + " curves>";
      });

  m.def("run", &Run, py::arg("study"), py::arg("p"), py::kw_only(), py::arg("save_dir") = py::none(),
        py::arg("exp") = py::none(), py::arg("overwrite") = false, py::arg("incident_power") = 100.0,
        R"(Runs a study headless, as pelarin-batch STUDY does: the same computations, curves and figures.

study is a name of studies() ("independent", "all", "two", "one", "all-rl", "two-rl", "one-rl", "eqe-ill",
...). Nothing is written unless save_dir is given: the study's tables (and the independent study's
parameter file) then go there as the batch tool's --dir writes them, in <save_dir>/<p.name>_plr; tables
that exist raise FileExistsError before anything is computed unless overwrite is True. exp, a measured
data file, is drawn beside the curves as the batch tool's --exp does. incident_power (mW/cm2) is what the
efficiency refers to. Returns a StudyResult. A study the parameters do not allow raises ValueError; a file
that cannot be written or measured data that cannot be drawn OSError. While the study runs the process works
in save_dir (or in a private folder), and the working directory is put back afterwards.)");

  m.def("figures", &Figures, py::arg("study"), py::arg("p"), py::kw_only(), py::arg("incident_power") = 100.0,
        R"(The figures of merit of every lit curve the study draws, solved exactly from the circuit, as
pelarin-batch figures does: Voc where the current is 0, Jsc at 0 V, the maximum power point where d(JV)/dV
is 0. Returns curve name -> {Voc, Jsc, FF, Pmax, Vmp, Jmp, efficiency, incident_power} in the units of the
summary CSV (V, mA/cm2, 1, mW/cm2, V, mA/cm2, %, mW/cm2), None where a figure does not exist. A curve without
a finite solution raises RuntimeError naming it.)");

  m.def(
      "current",
      [](const Cell& p, const py::object& v, const std::string& lit, bool coupled,
         const std::optional<int>& junction) {
        return Solve(p, Numbers(v, "v"), lit, coupled, junction, false);
      },
      py::arg("p"), py::arg("v"), py::arg("lit") = "123", py::arg("coupled") = false,
      py::arg("junction") = py::none(),
      R"(The exact terminal current density (A/cm2, generator direction positive) at each voltage of v (V),
in v's shape (a float for a number). lit holds the digits of the lit junctions ("123" all, "13", "" dark);
coupled puts the stack inside the Rl/Rg network; junction=1, 2 or 3 solves that junction alone instead of
the stack. Voltages in increasing or decreasing order are solved fastest, each from the one before.)");

  m.def(
      "voltage",
      [](const Cell& p, const py::object& j, const std::string& lit, bool coupled,
         const std::optional<int>& junction) {
        return Solve(p, Numbers(j, "j"), lit, coupled, junction, true);
      },
      py::arg("p"), py::arg("j"), py::arg("lit") = "123", py::arg("coupled") = false,
      py::arg("junction") = py::none(),
      "The exact terminal voltage (V) at each current density of j (A/cm2); the arguments as current()'s.");

  m.def(
      "studies",
      [] {
        py::dict studies;
        for (const StudyEntry& study : Studies())
          studies[py::str(std::string(study.batchName))] = study.summary;
        return studies;
      },
      "Every study's name, with what it computes, in the order of the window's menus.");
}

}  // namespace pelarin::python
