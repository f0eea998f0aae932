// pelarin.Parameters: the parameter form of one cell, read by the form's own rules, loaded from and saved to
// parameter files.
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>
#include <pybind11/stl/filesystem.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/headless_ui.h"
#include "model/calc_error.h"
#include "model/number_text.h"
#include "model/parameter_table.h"
#include "python/bindings.h"
#include "workspace/parameter_file.h"
#include "workspace/read_parameters.h"
#include "workspace/study_folder.h"

namespace pelarin::python {
namespace {

// A parameter file is far smaller; a larger file is none.
constexpr std::size_t kLargestParameterFile = 1 << 20;

const ParameterRow& RowOf(int index) { return kParameterRows[static_cast<std::size_t>(index)]; }

// Reads every box of form as the window does: the texts it corrects come back corrected, the values go to
// the cell. Throws InputError naming every box the form refuses.
void ReadForm(Cell& cell, const TextForm& form) {
  State state;
  HeadlessUi ui(false, false);
  ui.form = form;
  ReadParameters(state, ui);
  cell.form = ui.form;
  cell.values = state.formValues;
}

Cell Load(const std::filesystem::path& parameterFile) {
  const std::string path = parameterFile.string();
  if (!SomethingAt(path)) throw MissingFile("cannot read " + path + ": the file does not exist.");
  const FileStart file = ReadFileStart(path, kLargestParameterFile);
  if (!file.whole) throw InputError(path + " is too large to be a parameter file.");
  const ParameterFileReading reading = ReadParameterText(file.bytes);
  if (reading.badLine != 0) throw InputError(path + " is not a parameter file: " + reading.problem + ".");
  TextForm form;
  for (int i = 0; i < kParameterCount; ++i)
    form.boxes.at(static_cast<std::size_t>(i)) = reading.values.at(static_cast<std::size_t>(i));
  Cell cell;
  ReadForm(cell, form);
  cell.studyName = StudyNameOf(SplitChosenPath(path).fileName);
  return cell;
}

void Save(const Cell& cell, const std::filesystem::path& parameterFile, bool overwrite) {
  const std::string path = parameterFile.string();
  // A name no file can be written under is refused as scan(summary=...) refuses it.
  if (const std::string why = OutputsProblem({path}, {}); !why.empty()) throw InputError(why + ".");
  if (!overwrite && SomethingAt(path)) throw FileInTheWay(path);
  try {
    WriteTextFileAtomically(path, ParameterFileText(cell.values),
                            overwrite ? Replacing::Allowed : Replacing::Refused);
  } catch (const FileExistsError&) {
    throw FileInTheWay(path);  // written meanwhile by another
  }
}

std::string Repr(const Cell& cell) {
  std::string text = "pelarin.Parameters(";
  for (int i = 0; i < kParameterCount; ++i)
    text += std::string(i == 0 ? "" : ", ") + std::string(RowOf(i).name) + "=" +
            cell.form.boxes.at(static_cast<std::size_t>(i));
  return text + ", name='" + cell.studyName + "')";
}

}  // namespace

std::string BoxText(const py::handle& value) {
  if (py::isinstance<py::str>(value)) return value.cast<std::string>();
  if (py::isinstance<py::bool_>(value)) throw py::type_error("a box takes a number or a text, not a bool");
  const double number = py::float_(py::reinterpret_borrow<py::object>(value)).cast<double>();
  return ShortestText(number == 0 ? 0.0 : number);  // -0.0 is the box's 0
}

Cell DefaultCell() {
  Cell cell;
  ReadForm(cell, TextForm());
  return cell;
}

void SetBox(Cell& cell, int index, const std::string& text) {
  State state;
  HeadlessUi ui(false, false);
  ui.form = cell.form;
  ui.form.SetBoxText(index, text);
  const std::vector<BadBox> bad = ReadParameterForm(state, ui);
  if (!bad.empty()) throw InputError(bad.front().sentence);
  cell.form = ui.form;
  cell.values = state.formValues;
}

int BoxOf(const std::string& name) {
  const int index = ParameterIndex(name);
  if (index < 0)
    throw py::key_error("\"" + name +
                        "\" is no parameter of the cell (Rs1, Rp1, Jsc1, ..., Rg3, T, X, Eg1..3, "
                        "alpha1..3, beta2, beta3, Abd1..3, Vbd1..3, nbd1..3)");
  return index;
}

void BindParameters(py::module_& m) {
  py::class_<Cell>(
      m, "Parameters",
      R"(The 26 parameters of a cell and its operating conditions, as the parameter form holds them.

Parameters(**boxes) starts from the form as the window starts (Rs1=5, Rp1=5000, Jsc1=0.008, ...) and types
each keyword into its box. p["Rp1"] = 2000 types a number (as the shortest text that reads back to it) or a
text ("2e3", "2000,5": a comma is a decimal point) and reads the box by the form's rules: an empty or zero
series or parallel resistance becomes 0.001, a coupling resistance is held between its lower limit and 1e13,
and a box the form refuses (text that is not a number, a negative resistance, photocurrent or saturation
current, an ideality factor not above 0) raises ValueError with the form's sentence naming the box, leaving
the cell as it was. p["Rp1"] is the value the box reads to, in the unit of the form (Ohm.cm2, A/cm2). The
conditions are boxes too: p["T"] (degrees C, 26.85), p["X"] (suns, 1), p["Eg1"] .. p["Eg3"] (eV) and
p["alpha1"] .. p["alpha3"] (1/K); every computation of the module sees the cell at them. So is the coupling
physics: p["beta3"], p["beta2"] (luminescent coupling, 0 to 1), p["Abd1"] .. p["Abd3"], p["Vbd1"] ..
p["Vbd3"] (V, below 0) and p["nbd1"] .. p["nbd3"] (reverse breakdown); the defaults turn both off.
Names are the parameters' own (Rs1, Rp1, Jsc1, Jsd11, Jsd12, m11, m12, ..., Rl1, Rl2, Rg1, Rg2, Rg3) or the
form's labels (md11, ...).

name is the study name the tables are named after: "Test", or the parameter file's name once loaded.)")
      .def(py::init([](const py::kwargs& boxes) {
             Cell cell = DefaultCell();
             for (const auto& [name, value] : boxes)
               SetBox(cell, BoxOf(name.cast<std::string>()), BoxText(value));
             return cell;
           }),
           "The form as the window starts, with each keyword typed into its box (Parameters(Rp1=2000)).")
      .def_static("load", &Load, py::arg("path"),
                  R"(The cell of a parameter file (.plr), read with the window's checks.

A file that is not a parameter file raises ValueError naming its first bad line; a value the form refuses
raises ValueError naming its box; a missing file FileNotFoundError, one that cannot be read OSError. The
study name becomes the file's name before its first point.)")
      .def("save", &Save, py::arg("path"), py::arg("overwrite") = false,
           R"(Writes the parameter file (.plr) at path, as the window saves it: each value with the fewest
digits that read back to it, CR LF line ends, through a temporary file that then replaces path. An existing
file raises FileExistsError unless overwrite is True, and so does one another program writes meanwhile; a
path that can name no file (empty, a folder) raises ValueError.)")
      .def(
          "__getitem__",
          [](const Cell& cell, const std::string& name) { return cell.values.*RowOf(BoxOf(name)).member; },
          py::arg("name"), "The value the box of parameter name reads to.")
      .def(
          "__setitem__",
          [](Cell& cell, const std::string& name, const py::handle& value) {
            SetBox(cell, BoxOf(name), BoxText(value));
          },
          py::arg("name"), py::arg("value"),
          "Types a number or a text into the box of parameter name and reads it.")
      .def(
          "text", [](const Cell& cell, const std::string& name) { return cell.form.BoxText(BoxOf(name)); },
          py::arg("name"), "The text of the box of parameter name, as the form shows it once read.")
      .def(
          "keys",
          [](const Cell&) {
            std::vector<std::string> names;
            names.reserve(kParameterRows.size());
            for (const ParameterRow& row : kParameterRows) names.emplace_back(row.name);
            return names;
          },
          "The parameter names (the 26, the conditions, the coupling physics), in the order of the form.")
      .def(
          "__iter__",
          [](const Cell&) {
            py::list names;
            for (const ParameterRow& row : kParameterRows)
              names.append(py::str(row.name.data(), row.name.size()));
            return py::iter(names);
          },
          "The parameter names, in the order of the form.")
      .def("__len__", [](const Cell&) { return kParameterCount; })
      .def(
          "__contains__", [](const Cell&, const std::string& name) { return ParameterIndex(name) >= 0; },
          py::arg("name"))
      .def(
          "to_dict",
          [](const Cell& cell) {
            py::dict values;
            for (const ParameterRow& row : kParameterRows)
              values[py::str(row.name.data(), row.name.size())] = cell.values.*row.member;
            return values;
          },
          "The values as a dict of parameter name to float, in the order of the form.")
      .def(
          "texts",
          [](const Cell& cell) {
            py::dict texts;
            for (int i = 0; i < kParameterCount; ++i)
              texts[py::str(std::string(RowOf(i).name))] = cell.form.BoxText(i);
            return texts;
          },
          "The box texts as a dict of parameter name to text.")
      .def(
          "copy", [](const Cell& cell) { return cell; }, "An independent copy.")
      .def("__copy__", [](const Cell& cell) { return cell; })
      .def(
          "__deepcopy__", [](const Cell& cell, const py::dict&) { return cell; }, py::arg("memo"))
      .def(
          "__eq__",
          [](const Cell& a, const Cell& b) {
            return a.form.boxes == b.form.boxes && a.studyName == b.studyName;
          },
          py::arg("other"))
      .def_readwrite("name", &Cell::studyName,
                     "The study name the tables and the study folder are named after.")
      .def("__repr__", &Repr);
}

}  // namespace pelarin::python
