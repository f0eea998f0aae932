// What the binding files of the Python module share: the cell as Python holds it, the error that stands for
// a file in the way, the folder a study works in, and the wait for a long call that Ctrl-C can stop.
#pragma once

#include <pybind11/pybind11.h>

#include <atomic>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>

#include "model/calc_error.h"
#include "model/figures_of_merit.h"
#include "model/state.h"
#include "ui/text_form.h"
#include "workspace/scratch_folder.h"

namespace pelarin::python {

namespace py = pybind11;

// The parameter form of one cell: the box texts (the 26 and the conditions) as the form shows them once
// read (commas made points, corrections written), the values they read to, and the study name the tables are
// named after. Every box of a Cell reads: a text the form refuses never gets in.
struct Cell {
  TextForm form;
  Parameters values;
  std::string studyName = "Test";
};

// The cell of the form as the window starts.
[[nodiscard]] Cell DefaultCell();
// Types text into box index and reads the form; throws InputError with the box's sentence when the form
// refuses the text, leaving the cell as it was.
void SetBox(Cell& cell, int index, const std::string& text);
// What Python gives a box: a text as it stands, a number as the shortest text that reads back to it.
[[nodiscard]] std::string BoxText(const py::handle& value);
// The box index of a parameter name or form label; throws py::key_error for another name.
[[nodiscard]] int BoxOf(const std::string& name);

// A file that a call without overwrite=True may not replace: nothing was computed or written.
class FileInTheWay : public std::runtime_error {
 public:
  explicit FileInTheWay(const std::string& path)
      : std::runtime_error(path +
                           " exists already; nothing was computed or written (give overwrite=True to "
                           "replace it).") {}
};

// A file that is not there to be read.
class MissingFile : public FileError {
 public:
  using FileError::FileError;
};

// The folder a study run from Python works in (its state's work folder; the process's working directory
// stays as the caller has it): the folder given, made when missing, or a private one removed afterwards.
class WorkingFolder {
 public:
  explicit WorkingFolder(const std::optional<std::string>& folder);
  ~WorkingFolder();
  WorkingFolder(const WorkingFolder&) = delete;
  WorkingFolder& operator=(const WorkingFolder&) = delete;
  [[nodiscard]] const std::string& Path() const { return path_; }

 private:
  std::string path_;
  std::optional<ScratchFolder> scratch_;
};

// Runs work on a thread of its own with the GIL released, while the calling thread checks every 50 ms for
// a signal (Ctrl-C). A signal sets stop, which work is given to end early, waits for work to end, and is
// raised (KeyboardInterrupt). An exception thrown by work is thrown again here.
void RunStoppable(const std::function<void(const std::atomic<bool>& stop)>& work);

// The figures of merit in the units of the summary CSV: Voc, Vmp in V, Jsc, Jmp in mA/cm2, FF, Pmax in
// mW/cm2, efficiency in %, incident_power in mW/cm2; None where a figure does not exist.
[[nodiscard]] py::dict FiguresDict(const FiguresOfMerit& figures);

// The module's parts, each in its own file.
void BindParameters(py::module_& m);
void BindStudies(py::module_& m);
void BindScan(py::module_& m);
void BindFit(py::module_& m);

}  // namespace pelarin::python
