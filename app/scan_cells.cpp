#include "app/scan_cells.h"

#include <chrono>
#include <filesystem>

#include "app/shown_text.h"
#include "model/calc_error.h"
#include "model/number_text.h"
#include "plot/curves_csv.h"
#include "workspace/read_parameters.h"

namespace pelarin {
namespace {

namespace fs = std::filesystem;

std::string CellName(const ScanSetup& s, const std::vector<double>& values) {
  std::string name = s.base.id.studyName;
  for (std::size_t a = 0; a < values.size(); ++a)
    name += "_" + s.grid.axes[a].name + "=" + ShortestText(values[a]);
  return name;
}

// Runs the study on ui's form from state; returns why it failed, or nothing.
std::optional<std::string> RunStudy(const StudyEntry& study, State& state, ScanUi& ui) {
  std::string status;
  try {
    study.run(state, ui);
  } catch (const CalcError& e) {
    status = std::string("Calculation error: ") + e.what();
  } catch (const FileError& e) {
    status = std::string("File error: ") + e.what();
  } catch (const std::exception& e) {
    status = std::string("Error: ") + e.what();
  }
  if (status.empty() && !ui.problems.empty()) status = ui.problems.front();
  if (status.empty()) return std::nullopt;
  return status;
}

// Whether every value of the axis is read by the form as typed; otherwise says which and why.
bool AxisValuesAccepted(const ScanSetup& s, const ScanAxis& axis, std::string& error) {
  for (int i = 0; i < axis.points; ++i) {
    const std::string text = ShortestText(AxisValue(axis, i));
    State state = s.base;
    ScanUi ui(false, false);
    ui.form = s.form;
    ui.form.SetBoxText(axis.box, text);
    const int writes = ui.form.writes;
    try {
      ReadParameters(state, ui);
    } catch (const std::exception& e) {
      error = axis.name + " = " + text + " is refused: " + e.what();
      return false;
    }
    if (!ui.problems.empty()) {
      error = axis.name + " = " + text + " is refused: " + OneLine(ui.problems.front());
      return false;
    }
    if (ui.form.writes != writes) {
      error = axis.name + " = " + text + " is not used as typed: the form corrects it to " +
              ui.form.BoxText(axis.box);
      return false;
    }
  }
  return true;
}

}  // namespace

bool ScanUi::Ask(Question question, const std::string&) {
  switch (question) {
    case Question::SaveData:
      return tables_;
    case Question::OverwriteResults:
    case Question::OverwriteParameters:
      if (!overwrite_) problems.push_back("its tables exist already and are kept (give --overwrite)");
      return overwrite_;
    default:
      return false;
  }
}

void ScanUi::ShowMessage(const std::string& text, const std::string& title, MessageIcon icon) {
  if (icon == MessageIcon::Critical || icon == MessageIcon::Exclamation)
    problems.push_back(title + ": " + text);
}

std::optional<std::string> ScanUi::OpenFileDialog(const FileDialogRequest& request) {
  return request.kind == FileKind::ParameterFile ? paramsToOpen : std::nullopt;
}

std::optional<std::string> ScanUi::SaveFileDialog(const FileDialogRequest& request) {
  if (request.kind != FileKind::ParameterFile || parameterFile.empty()) return std::nullopt;
  return parameterFile;
}

std::string OneLine(const std::string& text) {
  std::string line;
  for (const char c : text) {
    const char d = c == '\r' || c == '\n' || c == '\t' ? ' ' : c;
    if (d == ' ' && (line.empty() || line.back() == ' ')) continue;
    line += d;
  }
  while (!line.empty() && line.back() == ' ') line.pop_back();
  return line;
}

bool IsScannable(const StudyEntry& study) { return !std::string_view(study.batchName).starts_with("eqe"); }

std::optional<std::string> CheckScan(ScanSetup& setup, const std::string& study) {
  setup.study = FindStudy(study);
  if (!setup.study) return "there is no study \"" + Shown(study) + "\"";
  if (!IsScannable(*setup.study))
    return "the EQE studies draw contributions, not J(V) curves with figures of merit; they cannot be "
           "scanned";
  double cells = 1;
  for (const ScanAxis& axis : setup.grid.axes) cells *= axis.points;
  if (cells > static_cast<double>(kMaxScanCells))
    return "the grid has " + std::to_string(static_cast<long long>(cells)) + " cells, more than " +
           std::to_string(kMaxScanCells);
  State check = setup.base;
  ScanUi ui(false, false);
  ui.form = setup.form;
  try {
    ReadParameters(check, ui);
  } catch (const std::exception& e) {
    ui.problems.emplace_back(e.what());
  }
  if (!ui.problems.empty()) return OneLine(ui.problems.front());
  if (!IsOffered(setup.study->availability, check.par))
    return "the study \"" + std::string(setup.study->batchName) +
           "\" is not offered for these parameters (it needs " +
           NeededIllumination(setup.study->availability) + ")";
  std::string error;
  for (const ScanAxis& axis : setup.grid.axes)
    if (!AxisValuesAccepted(setup, axis, error)) return error;
  return std::nullopt;
}

std::string ScanHeader(const ScanGrid& grid) {
  std::string header = "cell,cells";
  for (const ScanAxis& axis : grid.axes) header += "," + axis.name;
  return header + ",study,curve," + FigureColumns() + ",status";
}

std::string ScanCellRows(ScanSetup& setup, std::int64_t cell) {
  ScanUi ui(setup.tables, setup.overwrite);
  ui.form = setup.form;
  const std::vector<int> indices = setup.grid.Indices(cell);
  std::vector<double> values;
  for (std::size_t a = 0; a < indices.size(); ++a) {
    values.push_back(AxisValue(setup.grid.axes[a], indices[a]));
    ui.form.SetBoxText(setup.grid.axes[a].box, ShortestText(values.back()));
  }
  State state = setup.base;
  state.k.parallelSweeps = false;  // the cells are what runs at once: N threads run N cells
  if (setup.tables) {
    state.id.studyName = CellName(setup, values);
    ui.parameterFile = (fs::current_path() / (state.id.studyName + ".plr")).string();
  }
  std::optional<std::string> status = RunStudy(*setup.study, state, ui);
  std::string prefix = std::to_string(cell) + "," + std::to_string(setup.grid.Cells());
  for (const double v : values) prefix += "," + ShortestText(v);
  prefix += "," + CsvField(setup.study->batchName) + ",";
  std::string rows;
  if (!status && ui.linlin.visible) {
    const std::lock_guard lock(setup.coloursLock);
    for (const DrawnCurve& curve : ui.linlin.surface.Curves()) {
      if (!curve.entry.figures) continue;
      rows += prefix + CsvField(curve.entry.name) + "," + FigureFields(curve.entry.figures) + ",ok\n";
      setup.colours.emplace(curve.entry.name, curve.entry.colour);
    }
  }
  if (rows.empty()) {
    if (status)
      setup.anyFailed = true;
    else
      status = "no lit curve";
    rows = prefix + "," + FigureFields(std::nullopt) + "," + CsvField(OneLine(*status)) + "\n";
  }
  return rows;
}

ScanProbe ProbeScan(const ScanSetup& setup) {
  ScanProbe probe;
  ScanUi ui(false, false);
  ui.form = setup.form;
  State state = setup.base;
  state.k.parallelSweeps = false;  // as in a cell
  const auto start = std::chrono::steady_clock::now();
  probe.problem = RunStudy(*setup.study, state, ui);
  probe.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  for (const DrawnCurve& curve : ui.linlin.surface.Curves())
    if (curve.entry.figures) probe.colours.emplace(curve.entry.name, curve.entry.colour);
  probe.studyDir = state.id.studyDir;
  return probe;
}

}  // namespace pelarin
