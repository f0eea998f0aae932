// The Python module pelarin: the studies, the exact solver, the scans and the fit of Pelarin, called from
// Python over the same C++ code as the window program and the batch tool. This file holds the module's
// manual, the one translation of the program's errors into Python exceptions, and the machinery the long
// calls share.
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "model/calc_error.h"
#include "pelarin_version.h"
#include "python/bindings.h"
#include "workspace/study_folder.h"

namespace fs = std::filesystem;

namespace pelarin::python {
namespace {

constexpr const char* kManual = R"(Pelarin: three-junction solar cells simulated from Python.

Each junction is a two-diode equivalent circuit (photocurrent, two saturation current densities and
ideality factors, series and parallel resistance); five coupling resistances can bridge the junctions.
The module calls the same code as the window program and the batch tool, pelarin-batch.

Units: voltages in V, current densities in A/cm2 (generator direction positive: a lit cell's current at
0 V is positive), resistances in Ohm.cm2. Figures of merit come in the units of the batch tool's summary
CSV: Voc and Vmp in V, Jsc and Jmp in mA/cm2, FF, Pmax in mW/cm2, efficiency in %.

Classes
  Parameters     the boxes of the parameter form (the 26, the conditions T, X, Eg1..3, alpha1..3 and the
                 coupling physics beta2, beta3, Abd1..3, Vbd1..3, nbd1..3), read by the form's rules; load()
                 and save() a .plr file
  StudyResult    what run() gives: curves and figures of merit of a study
  Curve          one drawn curve: v and j as numpy arrays
  FitResult      what fit() gives
  ScanTable      what scan() gives: a numpy structured array with the scan file's columns, to_pandas()
                 (help(pelarin.ScanTable))

Functions
  run(study, p)          run a study of the batch tool headless: its curves and figures, its tables on request
  figures(study, p)      the exact figures of merit of every lit curve the study draws (microseconds)
  current(p, v)          the exact current density at each voltage; voltage(p, j) the reverse
  scan(study, p, vary)   a study over a grid of parameters or a random sample, as pelarin-batch scan
  fit(p, data, free)     the free parameters fitted to measured J(V) curves, as pelarin-batch fit
  studies()              the studies' names and what each computes

Errors: a box or input the program refuses raises ValueError with the program's sentence, and so does a
file that is not what it should be (a .plr file that is no parameter file); a calculation without a finite
result RuntimeError; a file that cannot be read or written OSError (FileNotFoundError when it is missing); a
file a call would replace without overwrite=True FileExistsError, before anything is computed.
run(), scan() and fit() release the GIL while they compute; Ctrl-C stops run() at once (a study folder it
made and left empty is removed) and scan() and fit() after the cells or starts under way (a scan's file keeps
the rows written), and raises KeyboardInterrupt.

Example:
  import numpy as np, pelarin
  p = pelarin.Parameters(Rp1=2000)
  r = pelarin.run("all", p)
  r.figures["stack"]["FF"], r.curves["stack"].v, r.curves["stack"].j
  j = pelarin.current(p, np.linspace(0, 1.4, 200))
)";

}  // namespace

WorkingFolder::WorkingFolder(const std::optional<std::string>& folder) {
  std::error_code ec;
  if (folder) {
    path_ = fs::absolute(*folder, ec).string();
    if (!SomethingAt(path_)) fs::create_directories(path_, ec);
    if (!fs::is_directory(path_, ec)) throw FileError(path_ + " is not a folder and cannot be made.");
  } else {
    scratch_.emplace("pelarin-");
    path_ = scratch_->Path();
  }
}

WorkingFolder::~WorkingFolder() = default;

void RunStoppable(const std::function<void(const std::atomic<bool>& stop)>& work) {
  std::atomic<bool> stop{false};
  std::mutex lock;
  std::condition_variable ended;
  bool done = false;
  bool interrupted = false;
  std::exception_ptr failure;
  {
    const py::gil_scoped_release release;
    std::thread worker([&] {
      try {
        work(stop);
      } catch (...) {
        failure = std::current_exception();
      }
      const std::lock_guard guard(lock);
      done = true;
      ended.notify_all();
    });
    std::unique_lock waiting(lock);
    while (!ended.wait_for(waiting, std::chrono::milliseconds(50), [&] { return done; })) {
      if (interrupted) continue;
      waiting.unlock();
      {
        const py::gil_scoped_acquire acquire;
        interrupted = PyErr_CheckSignals() != 0;  // the signal's exception stays set
      }
      if (interrupted) stop = true;
      waiting.lock();
    }
    waiting.unlock();
    worker.join();
  }
  if (interrupted) throw py::error_already_set();
  if (failure) std::rethrow_exception(failure);
}

py::dict FiguresDict(const FiguresOfMerit& figures) {
  // Scaled as the summary CSV scales them, so that a figure here and its field there are the same double.
  const auto value = [](const std::optional<double>& figure, double scale = 1) -> py::object {
    if (!figure) return py::none();
    return py::float_(*figure * scale);
  };
  py::dict d;
  d["Voc"] = value(figures.Voc);
  d["Jsc"] = value(figures.Jsc, 1000);
  d["FF"] = value(figures.FF);
  d["Pmax"] = value(figures.Pmax, 1000);
  d["Vmp"] = value(figures.Vmp);
  d["Jmp"] = value(figures.Jmp, 1000);
  d["efficiency"] = value(figures.efficiency);
  d["incident_power"] = figures.incidentPower;
  return d;
}

}  // namespace pelarin::python

PYBIND11_MODULE(pelarin, m) {
  namespace py = pybind11;
  namespace python = pelarin::python;
  m.doc() = python::kManual;
  m.attr("__version__") = PELARIN_VERSION;
  // The program's errors, as Python knows them: the one place they are translated.
  // pybind11 hands each translator the exception by value.
  py::register_exception_translator(
      [](std::exception_ptr thrown) {  // NOLINT(performance-unnecessary-value-param)
        try {
          if (thrown) std::rethrow_exception(thrown);
        } catch (const python::FileInTheWay& e) {
          PyErr_SetString(PyExc_FileExistsError, e.what());
        } catch (const python::MissingFile& e) {
          PyErr_SetString(PyExc_FileNotFoundError, e.what());
        } catch (const pelarin::InputError& e) {
          PyErr_SetString(PyExc_ValueError, e.what());
        } catch (const pelarin::CalcError& e) {
          PyErr_SetString(PyExc_RuntimeError, e.what());
        } catch (const pelarin::FileError& e) {
          PyErr_SetString(PyExc_OSError, e.what());
        }
      });
  python::BindParameters(m);
  python::BindStudies(m);
  python::BindScan(m);
  python::BindFit(m);
  // What help() lists: ScanTable, a numpy array, would bring every method of numpy's arrays along.
  m.attr("__all__") =
      std::vector<std::string>{"Parameters", "StudyResult", "Curve", "FitResult", "run",    "figures",
                               "current",    "voltage",     "scan",  "fit",       "studies"};
}
