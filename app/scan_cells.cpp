#include "app/scan_cells.h"

#include <charconv>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <limits>

#include "app/shown_text.h"
#include "model/calc_error.h"
#include "model/number_text.h"
#include "model/operating_conditions.h"
#include "model/parameter_table.h"
#include "plot/curves_csv.h"
#include "workspace/read_parameters.h"
#include "workspace/study_folder.h"

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
std::optional<std::string> RunStudy(const StudyEntry& study, State& state, HeadlessUi& ui) {
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

// A refusal's sentence with the cell's value as a reader takes it in: six digits, not the seventeen the
// box is given so that it reads back exactly.
std::string WithShortValue(std::string sentence, const std::string& text, const std::string& shown) {
  if (text == shown) return sentence;
  for (std::size_t at = sentence.find(text); at != std::string::npos;
       at = sentence.find(text, at + shown.size()))
    sentence.replace(at, text.size(), shown);
  return sentence;
}

// Whether every value of the axis is read by the form as typed; otherwise says which and why.
bool AxisValuesAccepted(const ScanSetup& s, const ScanAxis& axis, std::string& error) {
  for (int i = 0; i < axis.points; ++i) {
    const double value = AxisValue(axis, i);
    const std::string text = ShortestText(value), shown = GeneralText(value, 6);
    State state = s.base;
    HeadlessUi ui(false, false);
    ui.form = s.form;
    ui.form.SetBoxText(axis.box, text);
    std::vector<BadBox> bad;
    try {
      bad = ReadParameterForm(state, ui);
    } catch (const std::exception& e) {
      bad.push_back({axis.box, e.what()});
    }
    if (!bad.empty() || !ui.problems.empty()) {
      // The varied parameter is named once; another box is named by its own sentence ("alpha1: ...").
      std::string why = OneLine(bad.empty() ? ui.problems.front() : bad.front().sentence);
      const std::string own = axis.name + ": ";
      if (!bad.empty() && bad.front().index == axis.box && why.starts_with(own)) why.erase(0, own.size());
      if (why.ends_with('.')) why.pop_back();
      error = axis.name + " = " + shown + " is refused: " + WithShortValue(why, text, shown);
      return false;
    }
    // Only the varied box counts: the form's correction of another box is its ordinary behaviour.
    if (ui.form.BoxText(axis.box) != text) {
      error = axis.name + " = " + shown + " is not used as typed: the form corrects it to " +
              WithShortValue(ui.form.BoxText(axis.box), text, shown);
      return false;
    }
  }
  return true;
}

}  // namespace

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

bool IsScannable(const StudyEntry& study) { return study.exact.curves != LitCurves::None; }

std::string ScanMethodNote(FigureMethod method) {
  return method == FigureMethod::Exact ? "# figures: exact (solved from the circuit)"
                                       : "# figures: curve (read off each cell's swept curves)";
}

std::optional<FigureMethod> ScanMethodOf(const ScanFile& file) {
  for (const std::string& note : file.notes) {
    if (!note.starts_with("# figures:")) continue;
    for (const FigureMethod method : {FigureMethod::Exact, FigureMethod::Curve})
      if (note == ScanMethodNote(method)) return method;
    return std::nullopt;
  }
  return FigureMethod::Curve;
}

std::vector<std::string> ScanNotes(const ScanSetup& setup) {
  std::vector<std::string> notes = {"# pelarin scan of " + std::string(setup.study->batchName),
                                    ScanMethodNote(setup.method)};
  std::string axes;
  for (const ScanAxis& axis : setup.grid.axes) axes += (axes.empty() ? "" : " ") + AxisText(axis);
  if (setup.grid.samples > 0) {
    notes.push_back("# sample: " + std::to_string(setup.grid.samples) + " cells, seed " +
                    std::to_string(setup.grid.seed) + ", " + axes);
  } else {
    notes.push_back("# grid: " + axes);
  }
  std::string form = "# form:";
  for (const ParameterRow& row : kParameterRows)
    form += " " + std::string(row.name) + "=" + ShortestText(setup.cellBase.*row.member);
  notes.push_back(form);
  notes.push_back("# incident power: " + ShortestText(setup.base.figures.incidentPower) + " mW/cm2");
  return notes;
}

std::string ScanFileStart(const ScanSetup& setup) {
  std::string start;
  for (const std::string& note : ScanNotes(setup)) start += note + "\n";
  return start + ScanHeader(setup.grid) + "\n";
}

bool SameMaking(const ScanFile& file, const ScanSetup& setup) { return file.notes == ScanNotes(setup); }

namespace {
// FNV-1a over text, from hash.
std::uint64_t Fnv(std::uint64_t hash, std::string_view text) {
  for (const char c : text) hash = (hash ^ static_cast<unsigned char>(c)) * 0x100000001b3ULL;
  return hash;
}

// The 16 hexadecimal digits of a hash appended to out.
void AppendHex(std::string& out, std::uint64_t hash) {
  static constexpr char kDigits[] = "0123456789abcdef";
  for (int shift = 60; shift >= 0; shift -= 4) out += kDigits[(hash >> shift) & 0xFU];
}
}  // namespace

std::uint64_t NotesDigest(const std::vector<std::string>& notes, const std::string& header) {
  std::uint64_t hash = 0xcbf29ce484222325ULL;
  for (const std::string& note : notes) hash = Fnv(Fnv(hash, note), "\n");
  return Fnv(Fnv(hash, header), "\n");
}

std::string RowCheck(std::string_view row, std::uint64_t notesDigest) {
  std::string check;
  AppendHex(check, Fnv(notesDigest, row));
  return check;
}

std::optional<ScanGrid> GridOfNotes(const std::vector<std::string>& notes, std::string& study,
                                    std::string& error) {
  ScanGrid grid;
  std::string axes;
  bool found = false;
  for (const std::string& note : notes) {
    if (note.starts_with("# pelarin scan of ")) study = note.substr(18);
    if (note.starts_with("# grid: ")) axes = note.substr(8), found = true;
    if (note.starts_with("# sample: ")) {
      unsigned long long cells = 0, seed = 0;
      int used = 0;
      if (std::sscanf(note.c_str(), "# sample: %llu cells, seed %llu, %n", &cells, &seed, &used) != 2 ||
          used == 0) {
        error = "its sample note cannot be read";
        return std::nullopt;
      }
      grid.samples = static_cast<std::int64_t>(cells), grid.seed = seed;
      axes = note.substr(static_cast<std::size_t>(used)), found = true;
    }
  }
  if (!found || study.empty()) {
    error = "its notes do not say which scan made it";
    return std::nullopt;
  }
  for (std::size_t at = 0; at <= axes.size();) {
    const auto end = std::min(axes.find(' ', at), axes.size());
    auto axis = ParseScanAxis(std::string_view(axes).substr(at, end - at), error);
    if (!axis) return std::nullopt;
    grid.axes.push_back(std::move(*axis));
    at = end + 1;
  }
  return grid;
}

std::optional<Parameters> FormOfNotes(const std::vector<std::string>& notes) {
  for (const std::string& note : notes) {
    if (!note.starts_with("# form:")) continue;
    Parameters p;
    for (const ParameterRow& row : kParameterRows) {
      const std::string key = " " + std::string(row.name) + "=";
      const auto at = note.find(key);
      if (at == std::string::npos) return std::nullopt;
      const auto from = at + key.size();
      const WholeNumber value = ReadWholeNumber(note.substr(from, note.find(' ', from) - from));
      if (value.kind != NumberKind::Number) return std::nullopt;
      p.*row.member = value.value;
    }
    return p;
  }
  return std::nullopt;
}

std::optional<std::string> CheckScanRows(const ScanFile& file, const ScanGrid& grid, std::string_view study,
                                         const std::string& path) {
  const StudyEntry* entry = FindStudy(study);
  const std::optional<Parameters> form = FormOfNotes(file.notes);
  if (!entry || !form) return path + ": its notes do not name the study and the form's values";
  const std::size_t fields = SplitScanRow(file.header).size();
  const std::size_t axes = grid.axes.size();
  std::size_t line = file.notes.size() + 1;
  std::int64_t previous = -1;
  const std::uint64_t digest = NotesDigest(file.notes, file.header);
  const auto at = [&](const std::string& why) {
    return path + ", line " + std::to_string(line) + ": " + why;
  };
  for (const ScanCell& cell : file.cells) {
    const CellValues expected = ValuesOfCell(grid, cell.cell);
    // The curves the cell has rows for: the study's lit curves, or one row that says why it has none.
    std::vector<std::string> curves;
    if (expected.problem.empty()) {
      Parameters p = *form;
      for (std::size_t a = 0; a < axes; ++a)
        p.*kParameterRows[static_cast<std::size_t>(grid.axes[a].box)].member = expected.values[a];
      for (const ExactCurve& c : ExactCurves(entry->exact, p)) curves.push_back(c.name);
    }
    std::size_t rowInCell = 0;
    bool onlyWhyNot = false;  // the cell's one row, without a curve: why it has no figures
    for (std::size_t start = 0; start < cell.rows.size();) {
      const std::size_t end = cell.rows.find('\n', start);
      const std::string row = cell.rows.substr(start, end - start);
      start = end + 1;
      ++line;
      if (cell.cell <= previous)
        return at("cell " + std::to_string(cell.cell) + " comes again or out of grid order");
      const std::vector<std::string> f = SplitScanRow(row);
      if (f.size() != fields)
        return at("it has " + std::to_string(f.size()) + " fields, not " + std::to_string(fields));
      if (f[0] != std::to_string(cell.cell))
        return at("its cell index \"" + OneLine(f[0]) + "\" is not written as the scan writes it");
      if (f[1] != std::to_string(grid.Cells()) || cell.cell >= grid.Cells())
        return at("it is a cell of another grid than its notes say");
      for (std::size_t a = 0; a < axes; ++a) {
        const std::string value = expected.problem.empty() ? ShortestText(expected.values[a]) : "";
        if (f[2 + a] != value) return at("its " + grid.axes[a].name + " is not the value of cell " + f[0]);
      }
      if (f[2 + axes] != study) return at("it is a row of another study");
      const std::string& curve = f[3 + axes];
      const bool named = rowInCell < curves.size() && curve == curves[rowInCell];
      onlyWhyNot = curve.empty() && cell.rows.find('\n') + 1 == cell.rows.size();
      if (!named && !onlyWhyNot)
        return at("cell " + f[0] + " should have a row for each of its curves in the study's order: \"" +
                  OneLine(curve) + "\" is not the next");
      ++rowInCell;
      const auto comma = row.rfind(',');
      if (RowCheck(std::string_view(row).substr(0, comma), digest) != f.back())
        return at("it was changed after the scan wrote it (its check does not match)");
    }
    if (rowInCell != curves.size() && !onlyWhyNot)
      return at("cell " + std::to_string(cell.cell) + " has " + std::to_string(rowInCell) +
                " rows, not one for each of its " + std::to_string(curves.size()) + " curves");
    previous = cell.cell;
  }
  return std::nullopt;
}

CellValues ValuesOfCell(const ScanGrid& grid, std::int64_t cell) {
  CellValues cv;
  if (grid.samples == 0) {
    const std::vector<int> indices = grid.Indices(cell);
    for (std::size_t a = 0; a < indices.size(); ++a) cv.values.push_back(AxisValue(grid.axes[a], indices[a]));
    return cv;
  }
  constexpr int kAttempts = 1000;
  for (std::size_t a = 0; a < grid.axes.size(); ++a) {
    const ScanAxis& axis = grid.axes[a];
    const ParameterRow& row = kParameterRows[static_cast<std::size_t>(axis.box)];
    for (int attempt = 0;; ++attempt) {
      if (attempt == kAttempts) {
        cv.problem =
            "no draw of " + axis.name + " in " + std::to_string(kAttempts) + " is a value the form takes";
        return cv;
      }
      const double v = SampleValue(axis, grid.seed, cell, a, attempt);
      const std::string text = ShortestText(v);
      const BoxReading box = ReadBox(row, text);
      if (box.problem.empty() && box.shownText == text && box.value == v) {
        cv.values.push_back(v);
        break;
      }
      ++cv.redraws;
    }
  }
  return cv;
}

std::optional<std::string> CheckScan(ScanSetup& setup, const std::string& study) {
  setup.study = FindStudy(study);
  if (!setup.study) return "there is no study \"" + Shown(study) + "\"";
  if (!IsScannable(*setup.study))
    return "the EQE studies draw contributions, not J(V) curves with figures of merit; they cannot be "
           "scanned";
  double cells = setup.grid.samples > 0 ? static_cast<double>(setup.grid.samples) : 1;
  if (setup.grid.samples == 0)
    for (const ScanAxis& axis : setup.grid.axes) cells *= axis.points;
  if (cells > static_cast<double>(kMaxScanCells))
    return "the grid has " + std::to_string(static_cast<long long>(cells)) + " cells, more than " +
           std::to_string(kMaxScanCells);
  State check = setup.base;
  HeadlessUi ui(false, false);
  ui.form = setup.form;
  try {
    ReadParameters(check, ui);
  } catch (const std::exception& e) {
    ui.problems.emplace_back(e.what());
  }
  if (!ui.problems.empty()) return OneLine(ui.problems.front());
  setup.cellBase = check.formValues;
  // Each curve's colour, as the study draws it: the scan's plot draws the curve in it.
  Parameters allLit = check.par;
  allLit.Jsc1 = allLit.Jsc2 = allLit.Jsc3 = 1;
  for (const ExactCurve& curve : ExactCurves(setup.study->exact, allLit))
    setup.colours.emplace(curve.name, curve.colour);
  if (!IsOffered(setup.study->availability, check.par))
    return NotOfferedText(setup.study->batchName, setup.study->availability);
  std::string error;
  for (const ScanAxis& axis : setup.grid.axes)  // a sample's draws are checked one by one
    if (!axis.spread && !AxisValuesAccepted(setup, axis, error)) return error;
  setup.notesDigest = NotesDigest(ScanNotes(setup), ScanHeader(setup.grid));
  return std::nullopt;
}

std::string ScanHeader(const ScanGrid& grid) {
  std::string header = "cell,cells";
  for (const ScanAxis& axis : grid.axes) header += "," + axis.name;
  return header + ",study,curve," + FigureColumns() + ",status,check";
}

namespace {

// Adds a row to the block with the cell's values.
void AddRow(ScanBlock& block, std::int64_t cell, const std::vector<double>& values, std::string curve,
            const std::optional<FiguresOfMerit>& figures, std::string status) {
  block.rows.push_back({cell, std::move(curve), figures, std::move(status)});
  for (std::size_t a = 0; a < block.axes; ++a)
    block.values.push_back(a < values.size() ? values[a] : std::numeric_limits<double>::quiet_NaN());
}

// The rows of a cell whose figures are solved exactly: the form's values with the grid's set in them (the
// checks have made sure the form takes each as typed), one row per lit curve the study would draw.
void AddExactCellRows(ScanSetup& setup, std::int64_t cell, const std::vector<double>& values,
                      ScanBlock& block) {
  State state;
  state.k = setup.base.k;
  state.figures = setup.base.figures;
  Parameters form = setup.cellBase;
  for (std::size_t a = 0; a < values.size(); ++a)
    form.*kParameterRows[static_cast<std::size_t>(setup.grid.axes[a].box)].member = values[a];
  if (const auto problem = CheckConditions(form)) {
    setup.anyFailed = true;
    AddRow(block, cell, values, {}, std::nullopt, OneLine(problem->sentence));
    return;
  }
  UseCell(state, form);
  if (!IsOffered(setup.study->availability, state.par)) {
    setup.anyFailed = true;
    AddRow(block, cell, values, {}, std::nullopt,
           "the study is not offered for these parameters (it needs " +
               NeededIllumination(setup.study->availability) + ")");
    return;
  }
  const std::size_t before = block.rows.size();
  for (ExactCurveFigures& c : ExactFigures(setup.study->exact, state)) {
    if (!c.figures) setup.anyFailed = true;
    AddRow(block, cell, values, std::move(c.curve.name), c.figures, c.figures ? "ok" : OneLine(c.problem));
  }
  if (block.rows.size() == before) AddRow(block, cell, values, {}, std::nullopt, "no lit curve");
}

// The rows of a cell whose figures are read off the curves of the study run for it.
void AddCurveCellRows(ScanSetup& setup, std::int64_t cell, const std::vector<double>& values,
                      ScanBlock& block) {
  HeadlessUi ui(setup.tables, setup.overwrite);
  ui.overwriteHint = setup.overwriteHint;
  ui.followsChosenFolder = false;  // cells run at once: none moves the process's working directory
  ui.form = setup.form;
  for (std::size_t a = 0; a < values.size(); ++a)
    ui.form.SetBoxText(setup.grid.axes[a].box, ShortestText(values[a]));
  State state = setup.base;
  state.k.parallelSweeps = false;  // the cells are what runs at once: N threads run N cells
  if (setup.tables) {
    state.id.studyName = CellName(setup, values);
    ui.parameterFile = (fs::path(WorkDir(state.id)) / (state.id.studyName + ".plr")).string();
  }
  std::optional<std::string> status = RunStudy(*setup.study, state, ui);
  const std::size_t before = block.rows.size();
  if (!status && ui.linlin.visible) {
    const std::lock_guard lock(setup.coloursLock);
    for (const DrawnCurve& curve : ui.linlin.surface.Curves()) {
      if (!curve.entry.figures) continue;
      AddRow(block, cell, values, curve.entry.name, curve.entry.figures, "ok");
      setup.colours.emplace(curve.entry.name, curve.entry.colour);
    }
  }
  if (block.rows.size() == before) {
    if (status)
      setup.anyFailed = true;
    else
      status = "no lit curve";
    AddRow(block, cell, values, {}, std::nullopt, OneLine(*status));
  }
}

}  // namespace

void AddCellRows(ScanSetup& setup, std::int64_t cell, ScanBlock& block) {
  block.axes = setup.grid.axes.size();
  const CellValues drawn = ValuesOfCell(setup.grid, cell);
  if (drawn.redraws > 0) setup.redraws += drawn.redraws;
  if (!drawn.problem.empty()) {
    setup.anyFailed = true;
    AddRow(block, cell, {}, {}, std::nullopt, drawn.problem);
  } else if (setup.method == FigureMethod::Exact) {
    AddExactCellRows(setup, cell, drawn.values, block);
  } else {
    AddCurveCellRows(setup, cell, drawn.values, block);
  }
}

void AppendRowsText(const ScanSetup& setup, const ScanBlock& block, std::size_t from, std::string& out) {
  const std::string cells = "," + std::to_string(setup.grid.Cells());
  const std::string study = "," + CsvField(setup.study->batchName) + ",";
  char number[24];
  for (std::size_t r = from; r < block.rows.size(); ++r) {
    const ScanRow& row = block.rows[r];
    const std::size_t start = out.size();
    const auto end = std::to_chars(number, number + sizeof number, row.cell).ptr;
    out.append(number, end).append(cells);
    for (std::size_t a = 0; a < block.axes; ++a) {
      out += ',';
      const double value = block.values[r * block.axes + a];
      if (!std::isnan(value)) AppendShortest(out, value);
    }
    out.append(study).append(CsvField(row.curve)).append(",");
    AppendFigureFields(out, row.figures);
    out.append(",").append(CsvField(row.status));
    const std::uint64_t check =
        Fnv(setup.notesDigest, std::string_view(out.data() + start, out.size() - start));
    out += ',';
    AppendHex(out, check);
    out += '\n';
  }
}

std::string ScanCellRows(ScanSetup& setup, std::int64_t cell) {
  ScanBlock block;
  AddCellRows(setup, cell, block);
  std::string text;
  AppendRowsText(setup, block, 0, text);
  return text;
}

ScanProbe ProbeScan(const ScanSetup& setup) {
  ScanProbe probe;
  HeadlessUi ui(false, false);
  ui.form = setup.form;
  State state = setup.base;
  state.k.parallelSweeps = false;  // as in a cell
  const auto start = std::chrono::steady_clock::now();
  probe.problem = RunStudy(*setup.study, state, ui);
  probe.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (!probe.problem) {
    const auto exactStart = std::chrono::steady_clock::now();
    static_cast<void>(ExactFigures(setup.study->exact, state));
    probe.exactSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - exactStart).count();
  }
  for (const DrawnCurve& curve : ui.linlin.surface.Curves())
    if (curve.entry.figures) probe.colours.emplace(curve.entry.name, curve.entry.colour);
  probe.studyDir = state.id.studyDir;
  return probe;
}

}  // namespace pelarin
