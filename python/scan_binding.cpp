// pelarin.scan: a study over a grid of parameters or a random sample, run by the scan engine (the same
// checks, cells, threads and file as the batch tool's scan), its rows filled straight into a numpy
// structured array.
#include <pybind11/eval.h>
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>
#include <pybind11/stl/filesystem.h>

#include <filesystem>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "app/scan_engine.h"
#include "app/scan_records.h"
#include "model/calc_error.h"
#include "model/number_text.h"
#include "python/bindings.h"
#include "workspace/read_parameters.h"
#include "workspace/study_folder.h"

namespace fs = std::filesystem;

namespace pelarin::python {
namespace {

// The numpy structured array a scan returns.
constexpr const char* kScanTable = R"py(
import numpy as _numpy


class ScanTable(_numpy.ndarray):
    """The rows of a scan, one per cell and curve in grid order: a numpy structured array.

    Its fields are the columns of the scan's CSV file: cell, cells, each varied parameter, study, curve,
    'Voc (V)', 'Jsc (mA/cm2)', 'FF', 'Pmax (mW/cm2)', 'Vmp (V)', 'Jmp (mA/cm2)', 'efficiency (%)',
    'incident power (mW/cm2)' and status ("ok", or why the cell has no figures). Each figure also answers
    to its short name: s["Voc"], s["Jsc"], s["Pmax"], s["Vmp"], s["Jmp"], s["efficiency"],
    s["incident_power"]. A figure that does not exist is NaN.
    """

    def to_pandas(self):
        """The rows as a pandas DataFrame with the file's column names (pandas must be installed)."""
        import pandas
        return pandas.DataFrame({name: self[name] for name in self.dtype.names})


)py";

// A value of an axis tuple as the batch tool's --vary would spell it, so that ParseScanAxis takes or refuses
// it in the batch tool's words: an integer as its digits, a number that may have a fraction (not for a
// count of points) as its shortest text, anything else as Python writes it.
std::string AxisText(const py::handle& value, bool count) {
  if (!py::isinstance<py::bool_>(value)) {
    if (PyIndex_Check(value.ptr()) != 0)
      return py::str(py::int_(py::reinterpret_borrow<py::object>(value))).cast<std::string>();
    if (!count && PyFloat_Check(value.ptr())) return ShortestText(value.cast<double>());
  }
  return py::str(value).cast<std::string>();
}

// One axis as a tuple: ("log" or "lin", first, last, points) or (spread, a, b), in the words of the
// batch tool's --vary (NAME=FROM:TO:N[:log] or NAME=SPREAD:A:B), which ParseScanAxis reads.
ScanAxis AxisOf(const std::string& name, const py::handle& given) {
  if (!py::isinstance<py::sequence>(given) || py::isinstance<py::str>(given))
    throw InputError("vary maps a parameter name to a tuple, such as (\"log\", 10, 1e6, 13).");
  const auto values = py::reinterpret_borrow<py::sequence>(given);
  const std::string how = values.size() == 0 ? std::string() : py::str(values[0]).cast<std::string>();
  const auto number = [&](std::size_t i) { return AxisText(values[i], false); };
  std::string text;
  if ((how == "log" || how == "lin") && values.size() == 4)
    text = name + "=" + number(1) + ":" + number(2) + ":" + AxisText(values[3], true) +
           (how == "log" ? ":log" : "");
  else if ((how == "normal" || how == "lognormal" || how == "uniform") && values.size() == 3)
    text = name + "=" + how + ":" + number(1) + ":" + number(2);
  else
    throw InputError(
        "vary[\"" + name +
        "\"] takes (\"log\" or \"lin\", first, last, points) for a grid, or (\"normal\", mean, sd), "
        "(\"lognormal\", median, factor) or (\"uniform\", low, high) for a sample.");
  std::string error;
  auto axis = ParseScanAxis(text, error);
  if (!axis) throw InputError(error + ".");
  return std::move(*axis);
}

// The table: the records handed to numpy without a copy, under a dtype of the records' layout.
py::object TableOf(ScanRecords& records) {
  py::list fields;
  for (const ScanRecords::Column& column : records.Columns()) {
    const py::object name = column.shortName.empty()
                                ? py::object(py::str(column.name))
                                : py::object(py::make_tuple(column.shortName, column.name));
    fields.append(py::make_tuple(name, column.format));
  }
  const py::object dtype = py::module_::import("numpy").attr("dtype")(fields);
  const std::size_t rows = records.Rows(), size = records.RecordSize();
  auto* owned = new std::vector<char>(records.Release());
  const py::capsule free(owned, [](void* p) { delete static_cast<std::vector<char>*>(p); });
  const py::array table(py::dtype::from_args(dtype), {static_cast<py::ssize_t>(rows)},
                        {static_cast<py::ssize_t>(size)}, owned->data(), free);
  return table.attr("view")(py::module_::import("pelarin").attr("ScanTable"));
}

py::object Scan(const std::string& study, const Cell& cell, const py::dict& vary, const std::string& method,
                int threads, const std::optional<fs::path>& summary, const std::optional<long long>& sample,
                unsigned long long seed, double incidentPower, bool overwrite) {
  if (method != "exact" && method != "curve")
    throw InputError("method takes \"exact\" or \"curve\", not \"" + method + "\".");
  if (threads < 0 || threads > 256)
    throw InputError("threads takes 0 (one per core) or a thread count up to 256.");
  if (sample && (*sample < 1 || *sample > kMaxScanCells))
    throw InputError("sample takes a cell count from 1 to " + std::to_string(kMaxScanCells) + ".");
  if (!ReadIncidentPower(ShortestText(incidentPower)))
    throw InputError("incident_power takes a power above 0 in mW/cm2, not " + ShortestText(incidentPower) +
                     ".");
  ScanRequest request;
  request.study = study;
  for (const auto& [name, values] : vary)
    request.grid.axes.push_back(AxisOf(name.cast<std::string>(), values));
  if (sample) request.grid.samples = *sample, request.grid.seed = seed;
  request.method = method == "exact" ? FigureMethod::Exact : FigureMethod::Curve;
  request.threads = threads;
  request.form = cell.form;
  ResetStartUpConstants(request.base);
  request.base.figures.incidentPower = incidentPower;
  request.existing = overwrite ? ExistingFile::Replace : ExistingFile::Refuse;
  if (summary) {
    // Refused in the batch tool's words before anything runs, as Parameters.save refuses such a name.
    if (const std::string why = OutputsProblem({summary->string()}, {}); !why.empty())
      throw InputError("summary: " + why + ".");
    std::error_code ec;
    request.file = fs::absolute(*summary, ec).string();
    if (!fs::is_directory(fs::path(request.file).parent_path(), ec))
      throw FileError("cannot write " + request.file + ": its folder does not exist.");
  }
  ScanRecords table;
  ScanOutcome outcome;
  RunStoppable([&](const std::atomic<bool>& stop) {
    outcome = RunScanEngine(request, &table, [&](const ProgressReport&) {
      return stop ? CallbackReturn::Stop : CallbackReturn::Continue;
    });
  });
  switch (outcome.end) {
    case ScanEnd::Refused:
    case ScanEnd::ResumeRefused:
      throw InputError(outcome.message);
    case ScanEnd::FileInTheWay:
      throw FileInTheWay(request.file);
    case ScanEnd::FileFailed:
      throw FileError(outcome.message);
    case ScanEnd::Stopped:  // RunStoppable has raised the signal's exception
    case ScanEnd::Done:
    case ScanEnd::CellsFailed:  // a cell that failed has its row say why
      break;
  }
  return TableOf(table);
}

}  // namespace

void BindScan(py::module_& m) {
  py::exec(kScanTable, m.attr("__dict__"));
  m.attr("ScanTable").attr("__module__") = "pelarin";
  m.def("scan", &Scan, py::arg("study"), py::arg("p"), py::arg("vary"), py::kw_only(),
        py::arg("method") = "exact", py::arg("threads") = 0, py::arg("summary") = py::none(),
        py::arg("sample") = py::none(), py::arg("seed") = 1, py::arg("incident_power") = 100.0,
        py::arg("overwrite") = false,
        R"(Runs a study over a grid of one or two parameters, or over a random sample, with the engine of
pelarin-batch scan: the same checks, cells and rows, filled straight into numpy. Each cell starts from p.

vary maps a parameter name to ("log", first, last, points) or ("lin", first, last, points) for a grid (the
first entry outermost), or, with sample=N cells drawn at random with seed, to ("normal", mean, sd),
("lognormal", median, factor) or ("uniform", low, high). method "exact" solves each lit curve's figures
from the circuit (microseconds a cell); "curve" runs the study for each cell and reads them off its curves
(milliseconds). threads=0 uses one per core; the rows are the same for any count. With summary=path the
rows are also written there, byte for byte as pelarin-batch scan --summary writes them (an existing file
raises FileExistsError unless overwrite is True). Returns a ScanTable, one row per cell and curve.

A grid or value the scan refuses (a count of points that is not a whole number, a summary path that can
name no file) raises ValueError with the batch tool's sentence. Ctrl-C stops after the cells
under way and raises KeyboardInterrupt; the summary file keeps the rows so far, valid to its last line.)");
}

}  // namespace pelarin::python
