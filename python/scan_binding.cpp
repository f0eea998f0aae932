// pelarin.scan: a study over a grid of parameters or a random sample, run by the batch tool's scan (the
// same checks, cells, threads and file), its rows given back as a numpy structured array.
#include <pybind11/eval.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>
#include <pybind11/stl/filesystem.h>

#include <filesystem>
#include <initializer_list>
#include <optional>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

#include "batch/scan_command.h"
#include "model/calc_error.h"
#include "model/number_text.h"
#include "model/parameter_table.h"
#include "python/bindings.h"
#include "workspace/scratch_folder.h"
#include "workspace/study_folder.h"

namespace fs = std::filesystem;

namespace pelarin::python {
namespace {

// The rows of a scan file as a numpy structured array: ScanTable, and the reading of a file into one.
constexpr const char* kScanTable = R"py(
import csv as _csv
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


_SHORT_NAMES = {"Voc (V)": "Voc", "Jsc (mA/cm2)": "Jsc", "Pmax (mW/cm2)": "Pmax", "Vmp (V)": "Vmp",
                "Jmp (mA/cm2)": "Jmp", "efficiency (%)": "efficiency",
                "incident power (mW/cm2)": "incident_power"}


def _read_scan_table(path):
    with open(path, newline="", encoding="ascii") as file:
        rows = list(_csv.reader(line for line in file if not line.startswith("#")))
    header, rows = rows[0], rows[1:]
    numbers = set(Parameters().keys())  # the varied parameters' columns
    fields, columns = [], []
    for i, name in enumerate(header):
        texts = [row[i] for row in rows]
        if name in ("cell", "cells"):
            dtype, values = "i8", [int(t) for t in texts]
        elif name in _SHORT_NAMES or name == "FF" or name in numbers:
            dtype, values = "f8", [float(t) if t else _numpy.nan for t in texts]
        else:
            dtype, values = "U%d" % max([1] + [len(t) for t in texts]), texts
        fields.append(((_SHORT_NAMES[name], name) if name in _SHORT_NAMES else name, dtype))
        columns.append((name, values))
    table = _numpy.empty(len(rows), dtype=fields).view(ScanTable)
    for name, values in columns:
        table[name] = values
    return table
)py";

// One axis as the batch tool's --vary gives it: NAME=FROM:TO:N[:log] or NAME=SPREAD:A:B.
std::string VaryText(const std::string& name, const py::sequence& values) {
  const std::string how = values.size() == 0 ? std::string() : py::str(values[0]).cast<std::string>();
  const auto number = [&](std::size_t i) { return ShortestText(values[i].cast<double>()); };
  if ((how == "log" || how == "lin") && values.size() == 4)
    return name + "=" + number(1) + ":" + number(2) + ":" + std::to_string(values[3].cast<long long>()) +
           (how == "log" ? ":log" : "");
  if ((how == "normal" || how == "lognormal" || how == "uniform") && values.size() == 3)
    return name + "=" + how + ":" + number(1) + ":" + number(2);
  throw InputError(
      "vary[\"" + name +
      "\"] takes (\"log\" or \"lin\", first, last, points) for a grid, or (\"normal\", mean, sd), "
      "(\"lognormal\", median, factor) or (\"uniform\", low, high) for a sample.");
}

void Add(std::vector<std::string>& args, std::initializer_list<std::string> more) {
  args.insert(args.end(), more);
}

// The sentences of the batch tool's scan, without the tool's name ahead of each.
std::string Sentences(const std::string& text) {
  std::istringstream lines(text);
  std::string kept;
  for (std::string line; std::getline(lines, line);) {
    if (line.empty() || line.starts_with("scan: ")) continue;  // progress
    const std::string tool = "pelarin-batch scan: ";
    if (line.starts_with(tool)) line = line.substr(tool.size());
    kept += (kept.empty() ? "" : "\n") + line;
  }
  return kept;
}

py::object Scan(const std::string& study, const Cell& cell, const py::dict& vary, const std::string& method,
                int threads, const std::optional<fs::path>& summary, const std::optional<long long>& sample,
                unsigned long long seed, double incidentPower, bool overwrite) {
  if (method != "exact" && method != "curve")
    throw InputError("method takes \"exact\" or \"curve\", not \"" + method + "\".");
  if (threads < 0) throw InputError("threads takes 0 (one per core) or a thread count.");
  std::vector<std::string> args = {study, "--figures", method};
  for (const auto& [name, values] : vary) {
    if (!py::isinstance<py::sequence>(values) || py::isinstance<py::str>(values))
      throw InputError("vary maps a parameter name to a tuple, such as (\"log\", 10, 1e6, 13).");
    Add(args, {"--vary", VaryText(name.cast<std::string>(), py::reinterpret_borrow<py::sequence>(values))});
  }
  for (int i = 0; i < kParameterCount; ++i)
    Add(args, {"--set",
               std::string(kParameterRows[static_cast<std::size_t>(i)].name) + "=" + cell.form.BoxText(i)});
  if (threads > 0) Add(args, {"-j", std::to_string(threads)});
  if (sample) Add(args, {"--sample", std::to_string(*sample), "--seed", std::to_string(seed)});
  Add(args, {"--incident-power", ShortestText(incidentPower)});
  if (overwrite) args.emplace_back("--overwrite");

  // Without a summary the file goes to a private folder, removed once its rows are read.
  std::error_code ec;
  std::optional<ScratchFolder> scratch;
  std::string path;
  if (summary) {
    path = fs::absolute(*summary, ec).string();
    if (!fs::is_directory(fs::path(path).parent_path(), ec))
      throw FileError("cannot write " + path + ": its folder does not exist.");
  } else {
    scratch.emplace("pelarin-scan-");
    path = (fs::path(scratch->Path()) / "scan.csv").string();
  }
  Add(args, {"--summary", path});

  std::ostringstream out;
  std::ostringstream err;
  std::optional<ScanOptions> options = ParseScanOptions(args, err);
  if (!options) throw InputError(Sentences(err.str()));
  options->incidentPower = incidentPower;
  int status = 0;
  RunStoppable([&](const std::atomic<bool>& stop) { status = RunScan(*options, out, err, stop); });
  if (status == kBatchUsage) throw InputError(Sentences(err.str()));
  if (status == kBatchOverwriteDeclined) throw FileInTheWay(path);
  // A cell that failed has its row say why, and the scan goes on; anything else the scan says is a fault.
  std::string said = Sentences(err.str());
  const std::string cellsFailed = "some cells failed; their rows say why.";
  if (said.ends_with(cellsFailed)) said.resize(said.size() - cellsFailed.size());
  while (!said.empty() && said.back() == '\n') said.pop_back();
  if ((status != kBatchOk && status != kBatchFailed) || (status == kBatchFailed && !said.empty()))
    throw FileError(said);
  return py::module_::import("pelarin").attr("_read_scan_table")(path);
}

}  // namespace

void BindScan(py::module_& m) {
  py::exec(kScanTable, m.attr("__dict__"));
  m.attr("ScanTable").attr("__module__") = "pelarin";
  m.def("scan", &Scan, py::arg("study"), py::arg("p"), py::arg("vary"), py::kw_only(),
        py::arg("method") = "exact", py::arg("threads") = 0, py::arg("summary") = py::none(),
        py::arg("sample") = py::none(), py::arg("seed") = 1, py::arg("incident_power") = 100.0,
        py::arg("overwrite") = false,
        R"(Runs a study over a grid of one or two parameters, or over a random sample, as pelarin-batch scan
does: the same checks, cells and rows. Each cell starts from p.

vary maps a parameter name to ("log", first, last, points) or ("lin", first, last, points) for a grid (the
first entry outermost), or, with sample=N cells drawn at random with seed, to ("normal", mean, sd),
("lognormal", median, factor) or ("uniform", low, high). method "exact" solves each lit curve's figures
from the circuit (microseconds a cell); "curve" runs the study for each cell and reads them off its curves
(milliseconds). threads=0 uses one per core; the rows are the same for any count. With summary=path the
rows are also written there, byte for byte as pelarin-batch scan --summary writes them (an existing file
raises FileExistsError unless overwrite is True). Returns a ScanTable, one row per cell and curve.

A grid or value the batch tool refuses raises ValueError with its sentence. Ctrl-C stops after the cells
under way and raises KeyboardInterrupt; the summary file keeps the rows so far, valid to its last line.)");
}

}  // namespace pelarin::python
