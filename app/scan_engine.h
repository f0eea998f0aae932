// The scan engine: a study over a grid of one or two parameters or a random sample, every cell's figures
// handed over in grid order. It owns the checks made before anything runs, the scan file with its notes and
// rows, resuming an earlier run, the threads, the progress and the stop. The batch command, the window's
// scan dialog and Python's scan are its faces: each gathers a ScanRequest from its own input and presents
// the blocks of rows a ScanSink receives.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "app/scan_cells.h"
#include "model/progress.h"

namespace pelarin {

// What to do with a scan file that stands where the scan would write its own.
enum class ExistingFile {
  Refuse,   // end with ScanEnd::FileInTheWay, leaving it as it is
  Replace,  // write the scan over it (a regular file only)
  Resume,   // keep its rows when they are the start of this very scan, and go on from them
};

// A scan, as every face describes it.
struct ScanRequest {
  std::string study;  // its batch name
  ScanGrid grid;      // the axes, or a sample's spreads with its size and seed
  ScanPart part;      // the slice of the grid order this run computes
  FigureMethod method = FigureMethod::Exact;
  int threads = 0;  // 0: one per core
  TextForm form;    // the form's texts each cell starts from
  State base;       // the state each cell starts from: constants, incident power, study name
  // The scan file: an absolute path, or empty for a scan whose rows go to the sink only.
  std::string file;
  ExistingFile existing = ExistingFile::Refuse;
  bool tables = false;        // keep each cell's study folder (curve method)
  bool overwrite = false;     // a cell's tables may replace older ones
  std::string overwriteHint;  // how the face's user allows that, said when a cell's tables are kept
  std::string workDir;        // where the cells' folders go with tables; empty: the current folder
};

// Where a scan's rows go besides its file: the dialog's picture, Python's numpy columns, a benchmark's
// nothing. Called on the thread that runs the engine, block after block in grid order.
class ScanSink {
 public:
  virtual ~ScanSink() = default;
  // Whether the blocks should carry their rows' text, as the scan file holds them.
  [[nodiscard]] virtual bool WantsText() const { return false; }
  // Once the scan is checked, before any cell runs: its setup, and how many cells this run computes.
  virtual void Begin(const ScanSetup& setup, std::int64_t cells) = 0;
  // The rows of the next cells. Throwing ends the scan with ScanEnd::FileFailed and the exception's text.
  virtual void Take(const ScanBlock& block) = 0;
};

// How a scan ended.
enum class ScanEnd {
  Done,           // every cell has its figures
  CellsFailed,    // every cell has its rows; some say why they have no figures
  Stopped,        // the progress callback said stop; the rows so far are in the file
  Refused,        // bad input: nothing was run or written
  ResumeRefused,  // the file to resume is not the start of this scan: nothing was run or written
  FileInTheWay,   // the file exists and the request neither replaces nor resumes it
  FileFailed,     // a file or folder could not be written or made
};

struct ScanOutcome {
  ScanEnd end = ScanEnd::Done;
  std::string message;       // why, for Refused, ResumeRefused and FileFailed: a sentence with its stop
  std::int64_t written = 0;  // cells computed and handed over by this run
  std::int64_t todo = 0;     // cells this run had to compute
  std::int64_t kept = 0;     // cells kept from an earlier run
  std::int64_t redraws = 0;  // sample draws the form would not take as typed, drawn again
  std::map<std::string, Colour> colours;  // each lit curve's colour, as the cells drew it
};

// Runs the scan. progress, when given, is called after each block and at least every tenth of a second
// while cells run; its Stop ends the scan after the cells under way. The sink may be null.
[[nodiscard]] ScanOutcome RunScanEngine(const ScanRequest& request, ScanSink* sink,
                                        const ProgressCallback& progress = {});

// The parts of a scan run in slices, joined: the rows of every cell in grid order, each part checked against
// the notes of the first (the same scan) and row by row. problem says why they cannot be joined (a sentence
// with its stop, naming the file and line); missing names the cells that no part holds.
struct MergedScan {
  ScanFile file;
  std::vector<std::int64_t> missing;
  std::optional<std::string> problem;
};
[[nodiscard]] MergedScan MergeScanParts(const std::vector<std::string>& parts);

// The cells computed at once by one thread before it hands them over: many for exact figures (microseconds
// each), one for a study run per cell.
[[nodiscard]] std::size_t CellsPerBlock(FigureMethod method);

}  // namespace pelarin
