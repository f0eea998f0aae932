// pelarin-batch scan: a study run over a grid of one or two parameters, with the figures of merit of every
// lit curve of every cell streamed to one CSV file in grid order; and scan-merge, which joins the files of
// a grid run in slices.
#pragma once

#include <atomic>
#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/scan_cells.h"  // FigureMethod
#include "app/scan_grid.h"
#include "batch/batch.h"  // ImageSaver

namespace pelarin {

struct ScanOptions {
  std::string study;
  std::vector<ScanAxis> axes;
  std::string summary;  // the CSV file
  std::optional<std::string> params;
  std::vector<std::pair<std::string, std::string>> sets;  // NAME, TEXT in command-line order
  std::optional<std::string> dir;
  double incidentPower = 100;
  std::int64_t samples = 0;  // --sample N: a random sample of N cells instead of a grid
  std::uint64_t seed = 1;    // of the sample
  bool seedGiven = false;
  FigureMethod method = FigureMethod::Exact;
  bool methodGiven = false;  // --figures was on the command line
  bool tables = false;
  bool resume = false;
  bool overwrite = false;
  int threads = 0;  // 0: one per core
  ScanPart part;
  std::optional<std::string> plot;  // a .png or .svg picture of the scan, drawn when it completes
  int plotFigure = 2;               // the figure it shows, an index of kScanFigures (FF)
  bool terminal = false;            // progress as one line redrawn in place (stderr is a terminal)
};

// Parses the arguments after "scan"; on a usage error writes a sentence to err and returns nothing.
[[nodiscard]] std::optional<ScanOptions> ParseScanOptions(const std::vector<std::string>& args,
                                                          std::ostream& err);

// The help of the scan and scan-merge commands.
[[nodiscard]] std::string ScanHelp();

// Runs the scan; stop (set by Ctrl-C) ends it cleanly after the cells under way. Returns the exit status:
// 0 done, 2 bad input (nothing run), 3 the summary exists and neither --overwrite nor --resume was given,
// 4 a cell failed (its row says why; every other row is complete), 130 stopped. With options.plot, a scan
// that completes (0 or 4) is drawn from the whole file through saveImage; a picture that cannot be saved
// makes the status 4.
int RunScan(const ScanOptions& options, std::ostream& out, std::ostream& err, const std::atomic<bool>& stop,
            const ImageSaver& saveImage = nullptr);

// pelarin-batch scan-merge [--overwrite] OUT.csv PART.csv... (or --help): the rows of the parts in grid
// order; names the cells that no part holds. Returns 0, 2 on bad input, 3 when OUT exists and --overwrite
// was not given, 4 when cells are missing (OUT is not written).
int RunScanMerge(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace pelarin
