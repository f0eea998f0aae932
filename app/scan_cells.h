// The cells of a parameter scan, shared by the batch tool and the window program: the checks made before
// anything runs, the study run for one cell with its answers to the study's questions, and the rows of
// the scan file that the cell gives.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "app/headless_ui.h"
#include "app/scan_file.h"
#include "app/scan_grid.h"
#include "model/figures_of_merit.h"
#include "model/state.h"
#include "plot/surface.h"  // Colour
#include "studies/study_registry.h"

namespace pelarin {

// A text on one line: line breaks and tabs become blanks, runs of blanks one, none at the end.
[[nodiscard]] std::string OneLine(const std::string& text);

// How a scan finds each cell's figures: solved exactly from the circuit, or read off the curves of the
// study run for the cell (which also gives its tables).
enum class FigureMethod { Exact, Curve };

// The note a scan file starts with, saying which method made it.
[[nodiscard]] std::string ScanMethodNote(FigureMethod method);
// The method of a scan file by its notes: a file without the note was made before the exact figures
// existed, by running the study; nothing when the note names no method this program knows.
[[nodiscard]] std::optional<FigureMethod> ScanMethodOf(const ScanFile& file);

// What every cell shares: the study, the grid, and the form and state each cell starts from.
struct ScanSetup {
  const StudyEntry* study = nullptr;
  ScanGrid grid;
  FigureMethod method = FigureMethod::Exact;
  TextForm form;
  State base;
  Parameters cellBase;  // the form's values, read by CheckScan: each exact cell sets its grid values in them
  std::uint64_t notesDigest = 0;  // of the file's notes and column names, set by CheckScan: the rows' checks
  bool tables = false;            // keep each cell's study folder, named after the cell
  bool overwrite = false;         // a cell may replace older tables
  std::string overwriteHint;      // how the face's user allows that, said when a cell's tables are kept
  std::atomic<bool> anyFailed{false};
  std::atomic<std::int64_t> redraws{0};  // sample draws the form would not take as typed, drawn again
  // The colour of each lit curve, as the cells computed so far drew it: what the scan's plot draws it in.
  std::map<std::string, Colour> colours;
  std::mutex coloursLock;
};

// Finds the study by its batch name and checks, before anything runs, that it can be scanned: it draws lit
// J(V) curves, the grid is not too large, the form reads, the study is offered for its parameters, and
// every value of every axis is read as typed. Returns why not, as a sentence without its final stop, or
// nothing when the scan can run.
[[nodiscard]] std::optional<std::string> CheckScan(ScanSetup& setup, const std::string& study);

// Whether a study can be scanned: those that draw lit J(V) curves; the EQE studies draw contributions.
[[nodiscard]] bool IsScannable(const StudyEntry& study);

// The column names of the scan's file.
[[nodiscard]] std::string ScanHeader(const ScanGrid& grid);
// The notes a new scan file starts with: the study, the method, the grid (or the sample's size, seed and
// spreads), the form's values and the incident power: what made it, for --resume and scan-merge to check.
[[nodiscard]] std::vector<std::string> ScanNotes(const ScanSetup& setup);
// The text a new scan file starts with: its notes and its column names, each ending in "\n".
[[nodiscard]] std::string ScanFileStart(const ScanSetup& setup);
// Whether a file's notes say it was made as the setup would make it: the same study, method, grid or
// sample, form values and incident power.
[[nodiscard]] bool SameMaking(const ScanFile& file, const ScanSetup& setup);

// The digest of a scan file's notes and column names, each line with its "\n": where each row's check starts.
[[nodiscard]] std::uint64_t NotesDigest(const std::vector<std::string>& notes, const std::string& header);
// The check that ends each row: a hash of the notes and column names (their digest) and of the rest of the
// row, so that a row changed by hand, or moved under other notes, is found.
[[nodiscard]] std::string RowCheck(std::string_view row, std::uint64_t notesDigest);

// The grid or sample, and the study, that a file's notes describe; nothing, with why in error, when they
// do not describe one.
[[nodiscard]] std::optional<ScanGrid> GridOfNotes(const std::vector<std::string>& notes, std::string& study,
                                                  std::string& error);

// Checks every row of a scan file against the scan its notes describe: the field count, the cell index as
// the scan writes it and in range, the grid values of the cell, the study, one row per curve of the cell in
// the study's order (or one that says why it has none), each cell once and in grid order, and each row's
// check. Returns "path, line N: why" for the first row that fails, or nothing.
[[nodiscard]] std::optional<std::string> CheckScanRows(const ScanFile& file, const ScanGrid& grid,
                                                       std::string_view study, const std::string& path);

// The values of a cell's varied parameters: the grid's, or the sample's draws, each drawn again until the
// form takes it as typed (at most 1000 times; problem says when none was).
struct CellValues {
  std::vector<double> values;
  int redraws = 0;
  std::string problem;
};
[[nodiscard]] CellValues ValuesOfCell(const ScanGrid& grid, std::int64_t cell);

// One row of a scan: a lit curve of a cell with its figures and "ok" (or, exactly solved, no figures and
// why), or the one row of a cell without figures, which says why.
struct ScanRow {
  std::int64_t cell = 0;
  std::string curve;  // empty on the row of a cell without curves
  std::optional<FiguresOfMerit> figures;
  std::string status;  // "ok", or why there are no figures, on one line
};

// The rows of consecutive cells in grid order, each with the cell's varied values, and (when asked for)
// their text as the scan file holds them.
struct ScanBlock {
  std::size_t axes = 0;
  std::vector<ScanRow> rows;
  std::vector<double> values;  // axes per row; NaN where a sample's draw failed (a blank field)
  std::string text;
};

// Finds one cell's figures by the setup's method and adds its rows to the block. A cell that fails sets
// anyFailed; the colours of its curves join colours. Safe to call from several threads at once (on
// different blocks).
void AddCellRows(ScanSetup& setup, std::int64_t cell, ScanBlock& block);

// Appends the text of the block's rows from row `from` on, each with its check, as the scan file holds them.
void AppendRowsText(const ScanSetup& setup, const ScanBlock& block, std::size_t from, std::string& out);

// The text of one cell's rows.
[[nodiscard]] std::string ScanCellRows(ScanSetup& setup, std::int64_t cell);

// What one run of the study at the form's values shows: how long it took, the colour of each lit curve, and
// the study folder it worked in (where the window program puts the scan's file).
struct ScanProbe {
  double seconds = 0;
  double exactSeconds = 0;  // the exact figures of the study's lit curves at the same values
  std::map<std::string, Colour> colours;
  std::string studyDir;
  std::optional<std::string> problem;  // why the run failed, when it did
};
[[nodiscard]] ScanProbe ProbeScan(const ScanSetup& setup);

}  // namespace pelarin
