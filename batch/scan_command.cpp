#include "batch/scan_command.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <ostream>
#include <set>
#include <thread>

#include "app/ordered_cells.h"
#include "app/scan_cells.h"
#include "app/scan_file.h"
#include "app/scan_plot.h"
#include "app/shown_text.h"
#include "batch/batch.h"
#include "model/calc_error.h"
#include "model/number_text.h"
#include "model/parameter_table.h"
#include "workspace/parameter_file.h"
#include "workspace/read_parameters.h"
#include "workspace/scratch_folder.h"
#include "workspace/study_folder.h"

namespace pelarin {
namespace {

namespace fs = std::filesystem;

constexpr int kScanInterrupted = 130;

// Cells done per second and the time left, on one terminal line, or a plain line every tenth.
class Progress {
 public:
  Progress(std::ostream& err, bool terminal, std::int64_t total)
      : err_(err), terminal_(terminal), total_(total), start_(std::chrono::steady_clock::now()) {}
  void Done(std::int64_t done) {
    const auto now = std::chrono::steady_clock::now();
    const double seconds = std::chrono::duration<double>(now - start_).count();
    if (terminal_) {
      if (done < total_ && now - shown_ < std::chrono::milliseconds(100)) return;
      shown_ = now;
    } else {
      const std::int64_t tenth = total_ >= 10 ? done * 10 / total_ : done;
      if (tenth == lastTenth_ && done < total_) return;
      lastTenth_ = tenth;
    }
    const double rate = seconds > 0 ? static_cast<double>(done) / seconds : 0;
    const double left = rate > 0 ? static_cast<double>(total_ - done) / rate : 0;
    char line[160];
    std::snprintf(line, sizeof line, "scan: %lld of %lld cells, %.1f cells/s, %.0f s left",
                  static_cast<long long>(done), static_cast<long long>(total_), rate, left);
    if (terminal_) {
      err_ << "\r" << line << (done == total_ ? "\n" : "") << std::flush;
    } else {
      err_ << line << "\n";
    }
  }

 private:
  std::ostream& err_;
  bool terminal_;
  std::int64_t total_;
  std::chrono::steady_clock::time_point start_, shown_{};
  std::int64_t lastTenth_ = -1;
};

std::optional<std::string> Value(const std::vector<std::string>& args, std::size_t& i, std::ostream& err) {
  if (i + 1 >= args.size()) {
    err << "pelarin-batch scan: " << Shown(args[i]) << " needs a value.\n";
    return std::nullopt;
  }
  return args[++i];
}

// Draws the scan from its file and saves the picture; false, having said why, when it cannot.
bool PlotScan(const ScanOptions& options, const std::string& summary,
              const std::map<std::string, Colour>& colours, const fs::path& startDir, std::ostream& out,
              std::ostream& err, const ImageSaver& saveImage) {
  std::string error;
  const auto file = ReadScanFile(summary, error);
  if (!file) {
    err << "pelarin-batch scan: --plot: " << error << ".\n";
    return false;
  }
  RecordingSurface drawing;
  try {
    DrawScanPlot(*file, options.axes, options.plotFigure, options.study, colours, drawing);
  } catch (const std::exception& e) {
    err << "pelarin-batch scan: --plot: " << e.what() << "\n";
    return false;
  }
  std::error_code ec;
  const std::string path = fs::absolute(startDir / *options.plot, ec).string();
  if (!saveImage || !saveImage(drawing, kScanPlotWidth, kScanPlotHeight, path)) {
    err << "pelarin-batch scan: --plot: cannot write " << path << ".\n";
    return false;
  }
  out << "written: " << path << "\n";
  return true;
}

// Where a file's notes differ from those expected: "path, line N: it says ..., not ...", or nothing.
std::optional<std::string> DifferentMaking(const ScanFile& file, const std::vector<std::string>& expected,
                                           const std::string& path) {
  for (std::size_t i = 0; i < std::max(file.notes.size(), expected.size()); ++i) {
    const std::string has = i < file.notes.size() ? file.notes[i] : "(no note)";
    const std::string want = i < expected.size() ? expected[i] : "(no note)";
    if (has != want)
      return path + ", line " + std::to_string(i + 1) + ": made by another scan: it says \"" + OneLine(has) +
             "\", not \"" + OneLine(want) + "\"";
  }
  return std::nullopt;
}

// The spread of every figure over the sample's cells, from the whole file (a resumed sample included).
void ReportSpread(const std::string& summary, const ScanSetup& setup, std::ostream& out, std::ostream& err) {
  std::string error;
  const auto file = ReadScanFile(summary, error);
  if (!file) {
    err << "pelarin-batch scan: the spread cannot be read back: " << error << ".\n";
    return;
  }
  out << "spread over " << file->cells.size() << " cells";
  if (setup.redraws > 0) out << " (" << setup.redraws << " draws the form would not take were drawn again)";
  out << ":\n" << SpreadTable(SpreadOf(*file, setup.grid.axes.size()));
}

}  // namespace

std::string ScanHelp() {
  return R"(Usage: pelarin-batch scan STUDY --vary NAME=FROM:TO:N[:log] [--vary NAME=...] --summary FILE.csv
       pelarin-batch scan STUDY --sample N --vary NAME=SPREAD... [--seed S] --summary FILE.csv
                          [--params FILE.plr] [--set NAME=TEXT]... [--incident-power P] [-j N]
                          [--figures exact|curve] [--tables] [--dir DIR] [--overwrite] [--resume]
                          [--part K/M]
                          [--plot FILE.png|FILE.svg [--plot-figure FIG]]
       pelarin-batch scan-merge OUT.csv PART.csv...

Finds the figures of merit of every lit curve that STUDY draws, for every cell of a grid of one parameter
or of the product of two, each cell starting from the form's values (the defaults, then --params, then
--set), and writes them to FILE.csv, one row per cell and curve, in grid order (the first --vary outermost).

  --vary NAME=FROM:TO:N[:log]  N values (2 to 1000000) from FROM to TO, evenly spaced or, with :log, in
                      equal ratios (both bounds above 0); one or two --vary, at most 10^7 cells
  --sample N          process spread: N cells (at most 10^7) whose parameters are drawn at random, each
                      --vary giving one parameter's spread: NAME=normal:MEAN:SD,
                      NAME=lognormal:MEDIAN:FACTOR (one standard deviation multiplies or divides the
                      median by FACTOR) or NAME=uniform:LO:HI; as many --vary as parameters vary. A draw the
                      form would refuse or correct (a negative resistance, say) is drawn again and counted.
                      The rows are the same for any -j and --part; the scan ends with a table of each
                      figure's mean, standard deviation and 5, 50 and 95 % percentiles per curve, and
                      --plot draws a histogram of the figure
  --seed S            the sample's seed, a whole number (default 1): the same seed draws the same cells
  --summary FILE.csv  the rows: cell,cells,<parameters>,study,curve,Voc (V),Jsc (mA/cm2),FF,
                      Pmax (mW/cm2),Vmp (V),Jmp (mA/cm2),efficiency (%),incident power (mW/cm2),status,check;
                      a figure that does not exist is empty; status is "ok", or why the cell has no figures;
                      check is a hash of the notes, the column names and the rest of the row. Lines before
                      them, starting with "#", say what made the file (study, figures, grid or sample, form
                      values, incident power)
  --figures METHOD    exact (the default): each curve's circuit solved for its figures directly, in
                      microseconds, as pelarin-batch figures does; curve: the study run for each cell and
                      its figures read off the swept curves, as the study's legend shows them. The first
                      line of FILE.csv ("# figures: ...") records the method; --resume and scan-merge take
                      only files made by the same method
  -j N                threads (default: one per core); the file is the same for any N
  --tables            keep each cell's study folder and tables, named after the cell, in --dir (runs the
                      study for each cell: implies --figures curve)
  --overwrite         replace FILE.csv (and, with --tables, older tables)
  --resume            skip the cells FILE.csv holds already (the last one is run again); a file another
                      scan made (another --part included), a row changed since it was written or a row
                      missing is refused naming its line: the file resumed is the file one run writes
  --part K/M          run only the K-th of M interleaved slices of the grid (cells K-1, K-1+M, ...);
                      scan-merge joins the slices' files into grid order, checking them as --resume does;
                      with cells missing it names them and writes nothing (exit 4)
  --plot FILE.png|FILE.svg  when the scan completes, draw it from all the rows of FILE.csv (a resumed
                      scan is drawn whole): with one --vary, FIG against the parameter, one line per
                      curve (x is log10 of the parameter on a :log axis); with two, a colour map of FIG
                      for the file's first curve over the grid, with a colour bar
  --plot-figure FIG   Voc, Jsc, FF, Pmax, Vmp, Jmp or efficiency (default FF)

STUDY is one with lit J(V) curves: independent, all, all-rl, two, two-rl, one or one-rl.
Ctrl-C stops after the cells under way: the rows written so far stay, and --resume goes on from there.
Exit status: 0 done, 2 bad input (nothing run), 3 FILE.csv exists (give --overwrite or --resume),
4 a cell failed (its row says why; the scan went on), 130 stopped by Ctrl-C.
)";
}

std::optional<ScanOptions> ParseScanOptions(const std::vector<std::string>& args, std::ostream& err) {
  ScanOptions options;
  std::string error;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--tables") {
      options.tables = true;
    } else if (arg == "--resume") {
      options.resume = true;
    } else if (arg == "--overwrite") {
      options.overwrite = true;
    } else if (arg == "--vary" || arg == "--summary" || arg == "--params" || arg == "--set" ||
               arg == "--dir" || arg == "-j" || arg == "--part" || arg == "--incident-power" ||
               arg == "--plot" || arg == "--plot-figure" || arg == "--figures" || arg == "--sample" ||
               arg == "--seed") {
      const auto v = Value(args, i, err);
      if (!v) return std::nullopt;
      if (arg == "--sample") {
        const long long n = std::atoll(v->c_str());
        if (n < 1 || n > kMaxScanCells || std::to_string(n) != *v) {
          err << "pelarin-batch scan: --sample takes a cell count from 1 to " << kMaxScanCells << ", not \""
              << Shown(*v) << "\".\n";
          return std::nullopt;
        }
        options.samples = n;
      } else if (arg == "--seed") {
        char* end = nullptr;
        const unsigned long long seed = std::strtoull(v->c_str(), &end, 10);
        if (v->empty() || *end != '\0' || !std::isdigit(static_cast<unsigned char>((*v)[0]))) {
          err << "pelarin-batch scan: --seed takes a whole number, not \"" << Shown(*v) << "\".\n";
          return std::nullopt;
        }
        options.seed = seed;
        options.seedGiven = true;
      } else if (arg == "--figures") {
        if (*v != "exact" && *v != "curve") {
          err << "pelarin-batch scan: --figures takes exact or curve, not \"" << Shown(*v) << "\".\n";
          return std::nullopt;
        }
        options.method = *v == "exact" ? FigureMethod::Exact : FigureMethod::Curve;
        options.methodGiven = true;
      } else if (arg == "--vary") {
        auto axis = ParseScanAxis(*v, error);
        if (!axis) {
          err << "pelarin-batch scan: " << error << ".\n";
          return std::nullopt;
        }
        options.axes.push_back(std::move(*axis));
      } else if (arg == "--summary") {
        options.summary = *v;
      } else if (arg == "--params") {
        options.params = *v;
      } else if (arg == "--plot") {
        if (!IsScanPlotPath(*v)) {
          err << "pelarin-batch scan: --plot takes a file ending in .png or .svg, not \"" << Shown(*v)
              << "\".\n";
          return std::nullopt;
        }
        options.plot = *v;
      } else if (arg == "--plot-figure") {
        const auto figure = ScanFigureIndex(*v);
        if (!figure) {
          err << "pelarin-batch scan: --plot-figure takes Voc, Jsc, FF, Pmax, Vmp, Jmp or efficiency, not \""
              << Shown(*v) << "\".\n";
          return std::nullopt;
        }
        options.plotFigure = *figure;
      } else if (arg == "--dir") {
        options.dir = *v;
      } else if (arg == "--set") {
        const auto eq = v->find('=');
        if (eq == std::string::npos || ParameterIndex(v->substr(0, eq)) < 0) {
          err << "pelarin-batch scan: --set takes NAME=TEXT with a parameter name, not \"" << Shown(*v)
              << "\".\n";
          return std::nullopt;
        }
        options.sets.emplace_back(v->substr(0, eq), v->substr(eq + 1));
      } else if (arg == "-j") {
        const int n = std::atoi(v->c_str());
        if (n < 1 || n > 256 || std::to_string(n) != *v) {
          err << "pelarin-batch scan: -j takes a thread count from 1 to 256, not \"" << Shown(*v) << "\".\n";
          return std::nullopt;
        }
        options.threads = n;
      } else if (arg == "--part") {
        const auto part = ParseScanPart(*v, error);
        if (!part) {
          err << "pelarin-batch scan: " << error << ".\n";
          return std::nullopt;
        }
        options.part = *part;
      } else {
        const std::optional<double> power = ReadIncidentPower(*v);
        options.incidentPower = power.value_or(0);
        if (!power) {
          err << "pelarin-batch scan: --incident-power takes a power above 0 in mW/cm2, not \"" << Shown(*v)
              << "\".\n";
          return std::nullopt;
        }
      }
    } else if (!arg.empty() && arg[0] == '-') {
      err << "pelarin-batch scan: unknown option " << Shown(arg) << " (see pelarin-batch scan --help).\n";
      return std::nullopt;
    } else if (options.study.empty()) {
      options.study = arg;
    } else {
      err << "pelarin-batch scan: one study only (\"" << Shown(options.study) << "\" and \"" << Shown(arg)
          << "\").\n";
      return std::nullopt;
    }
  }
  if (options.study.empty()) {
    err << "pelarin-batch scan: which study? (see pelarin-batch scan --help)\n";
    return std::nullopt;
  }
  const bool spreads =
      std::any_of(options.axes.begin(), options.axes.end(), [](const ScanAxis& a) { return a.spread; });
  if (options.samples > 0) {
    if (options.axes.empty() ||
        !std::all_of(options.axes.begin(), options.axes.end(), [](const ScanAxis& a) { return a.spread; })) {
      err << "pelarin-batch scan: --sample draws each --vary from a spread: give NAME=normal:MEAN:SD, "
             "NAME=lognormal:MEDIAN:FACTOR or NAME=uniform:LO:HI.\n";
      return std::nullopt;
    }
  } else {
    if (spreads || options.seedGiven) {
      err << "pelarin-batch scan: a spread or --seed needs --sample N, the number of cells to draw.\n";
      return std::nullopt;
    }
    if (options.axes.empty() || options.axes.size() > 2) {
      err << "pelarin-batch scan: give one or two --vary.\n";
      return std::nullopt;
    }
  }
  for (std::size_t a = 0; a < options.axes.size(); ++a)
    for (std::size_t b = 0; b < a; ++b)
      if (options.axes[a].box == options.axes[b].box) {
        err << "pelarin-batch scan: two --vary name the same parameter, " << options.axes[a].name << ".\n";
        return std::nullopt;
      }
  if (options.summary.empty()) {
    err << "pelarin-batch scan: --summary FILE.csv is required.\n";
    return std::nullopt;
  }
  if (options.plotFigure != 2 && !options.plot) {
    err << "pelarin-batch scan: --plot-figure chooses what --plot draws; give --plot FILE.png or FILE.svg.\n";
    return std::nullopt;
  }
  if (options.tables) {
    if (options.methodGiven && options.method == FigureMethod::Exact) {
      err << "pelarin-batch scan: --tables keeps the tables of each cell's study, which --figures exact does "
             "not run; give --figures curve.\n";
      return std::nullopt;
    }
    options.method = FigureMethod::Curve;
  }
  if (options.resume && options.overwrite) {
    err << "pelarin-batch scan: --resume keeps the file that --overwrite would replace; give one of them.\n";
    return std::nullopt;
  }
  return options;
}

int RunScan(const ScanOptions& options, std::ostream& out, std::ostream& err, const std::atomic<bool>& stop,
            const ImageSaver& saveImage) {
  ScanSetup setup;
  setup.grid.axes = options.axes;
  setup.grid.samples = options.samples;
  setup.grid.seed = options.seed;
  setup.method = options.method;
  setup.tables = options.tables;
  setup.overwrite = options.overwrite;
  setup.overwriteHint = "give --overwrite";

  std::error_code ec;
  const fs::path startDir = fs::current_path(ec);
  const fs::path summary = fs::absolute(startDir / options.summary, ec);
  if (!fs::is_directory(summary.parent_path(), ec)) {
    err << "pelarin-batch scan: the folder of " << summary.string() << " does not exist.\n";
    return kBatchUsage;
  }
  if (options.plot && !fs::is_directory(fs::absolute(startDir / *options.plot, ec).parent_path(), ec)) {
    err << "pelarin-batch scan: the folder of the --plot file " << *options.plot << " does not exist.\n";
    return kBatchUsage;
  }
  // The summary and the picture are two files, neither of them the parameter file read.
  {
    std::vector<std::string> outputs = {summary.string()}, inputs;
    if (options.plot) outputs.push_back(fs::absolute(startDir / *options.plot, ec).string());
    if (options.params) inputs.push_back(fs::absolute(startDir / *options.params, ec).string());
    if (const std::string why = OutputsProblem(outputs, inputs); !why.empty()) {
      err << "pelarin-batch scan: " << why << "; nothing was computed or written.\n";
      return kBatchUsage;
    }
  }

  // The form and state every cell starts from.
  ResetStartUpConstants(setup.base);
  setup.base.figures.incidentPower = options.incidentPower;
  if (options.params) {
    HeadlessUi ui(false, false);
    ui.paramsToOpen = fs::absolute(startDir / *options.params, ec).string();
    try {
      LoadParameters(setup.base, ui);
    } catch (const std::exception& e) {
      ui.problems.emplace_back(e.what());
    }
    if (!ui.problems.empty()) {
      err << "pelarin-batch scan: " << OneLine(ui.problems.front()) << "\n";
      return kBatchUsage;
    }
    setup.form = ui.form;
    setup.base.id.loadedDir.clear();  // the cells' folders go where the scan works, not beside the file
  }
  for (const auto& [name, text] : options.sets) setup.form.SetBoxText(ParameterIndex(name), text);
  if (const auto problem = CheckScan(setup, options.study)) {
    err << "pelarin-batch scan: " << *problem << ".\n";
    return kBatchUsage;
  }

  // The file: a fresh one, or the cells of an earlier run kept (all but its last, which may be cut short).
  std::string error;
  const std::string header = ScanHeader(setup.grid);
  const std::string start = ScanFileStart(setup);
  std::set<std::int64_t> done;
  const bool exists = fs::exists(fs::symlink_status(summary, ec));
  if (exists && !options.resume && !options.overwrite) {
    err << "pelarin-batch scan: " << summary.string()
        << " exists already; give --overwrite to replace it or --resume to go on with it.\n";
    return kBatchOverwriteDeclined;
  }
  std::string kept = start;
  if (exists && options.resume) {
    auto file = ReadScanFile(summary.string(), error);
    if (!file) {
      err << "pelarin-batch scan: --resume: " << error << ".\n";
      return kBatchUsage;
    }
    if (file->header != header) {
      err << "pelarin-batch scan: --resume: " << summary.string() << " holds another scan (its columns are "
          << file->header << ").\n";
      return kBatchUsage;
    }
    if (const auto differs = DifferentMaking(*file, ScanNotes(setup), summary.string())) {
      err << "pelarin-batch scan: --resume: " << *differs << ".\n";
      return kBatchUsage;
    }
    // The last cell may have been cut short while it was written: it is run again. Every row before it is
    // checked, so that a file changed since is refused rather than resumed.
    if (!file->cells.empty()) file->cells.pop_back();
    if (const auto bad = CheckScanRows(*file, setup.grid, options.study, summary.string())) {
      err << "pelarin-batch scan: --resume: " << *bad << ".\n";
      return kBatchUsage;
    }
    // Resuming gives the very file the scan writes at once, or nothing: the rows kept must be this scan's
    // first cells (of its part), in order, none missing.
    std::int64_t next = 0;
    std::size_t line = file->notes.size() + 2;
    for (const ScanCell& cell : file->cells) {
      while (next < setup.grid.Cells() && !options.part.Holds(next)) ++next;
      if (cell.cell != next) {
        err << "pelarin-batch scan: --resume: " << summary.string() << ", line " << line << ": cell "
            << cell.cell << " stands where cell " << next
            << " belongs; this file is not the start of the scan asked for (another --part, or rows "
               "missing), "
               "and resuming it would not give the file the scan writes.\n";
        return kBatchUsage;
      }
      ++next;
      line += static_cast<std::size_t>(std::count(cell.rows.begin(), cell.rows.end(), '\n'));
      done.insert(cell.cell);
    }
    kept = ScanFileText(*file);
  }
  std::vector<std::int64_t> todo;
  for (std::int64_t cell = 0; cell < setup.grid.Cells(); ++cell)
    if (options.part.Holds(cell) && !done.contains(cell)) todo.push_back(cell);

  // Where the cells work: --dir (made when missing) with --tables, else a private folder removed at the end.
  fs::path work;
  std::optional<ScratchFolder> scratch;
  std::error_code made;  // why the folder could not be made
  if (options.tables) {
    work = options.dir ? fs::absolute(startDir / *options.dir, ec) : startDir;
    fs::create_directories(work, made);
  } else {
    try {
      scratch.emplace("pelarin-scan-");
      work = scratch->Path();
    } catch (const FileError& e) {
      err << "pelarin-batch scan: " << e.what() << ".\n";
      return kBatchFailed;
    }
  }
  if (work.empty() || !fs::is_directory(work, ec)) {
    err << "pelarin-batch scan: cannot make the working folder " << work.string()
        << (made ? ": " + made.message() : std::string()) << ".\n";
    return kBatchFailed;
  }
  const auto removeScratch = [&] { scratch.reset(); };

  std::optional<ScanFileWriter> file;
  try {
    file.emplace(summary.string(), kept);
  } catch (const FileError& e) {
    err << "pelarin-batch scan: " << e.what() << "\n";
    removeScratch();
    return kBatchFailed;
  }

  const int threads = options.threads > 0
                          ? options.threads
                          : static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  setup.base.id.workDir = work.string();  // each cell's study works there; the process stays where it is
  Progress progress(err, options.terminal, static_cast<std::int64_t>(todo.size()));
  std::int64_t written = 0;
  int status = kBatchOk;
  try {
    written = RunCellsInOrder(
        todo, threads, [&](std::int64_t cell) { return ScanCellRows(setup, cell); },
        [&](std::int64_t, std::string&& rows) {
          file->Append(rows);
          progress.Done(++written);
        },
        stop);
  } catch (const std::exception& e) {
    err << "\npelarin-batch scan: " << e.what() << "\n";
    status = kBatchFailed;
  }
  file.reset();
  removeScratch();
  if (status == 0 && written < static_cast<std::int64_t>(todo.size())) {
    err << "\npelarin-batch scan: stopped after " << written << " of " << todo.size()
        << " cells; the rows so far are in " << summary.string() << " (--resume goes on).\n";
    return kScanInterrupted;
  }
  if (status != 0) return status;  // a file that could not be written: no line says it was
  out << "written: " << summary.string() << " (" << written << " cells";
  if (!done.empty()) out << ", " << done.size() << " kept from before";
  out << ")\n";
  if (status == 0 && setup.anyFailed) {
    err << "pelarin-batch scan: some cells failed; their rows say why.\n";
    status = kBatchFailed;
  }
  if (setup.grid.samples > 0) ReportSpread(summary.string(), setup, out, err);
  if (options.plot && !PlotScan(options, summary.string(), setup.colours, startDir, out, err, saveImage))
    status = kBatchFailed;
  return status;
}

int RunScanMerge(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (args.size() < 2) {
    err << "pelarin-batch scan-merge: give OUT.csv and at least one part file.\n";
    return kBatchUsage;
  }
  std::error_code ec;
  if (fs::exists(fs::symlink_status(args[0], ec))) {
    err << "pelarin-batch scan-merge: " << args[0] << " exists already; it is kept.\n";
    return kBatchOverwriteDeclined;
  }
  ScanFile merged;
  std::map<std::int64_t, std::string> rows;
  std::int64_t cells = -1;
  std::string error, study;
  ScanGrid sample;  // the grid or sample the first part's notes describe
  for (std::size_t i = 1; i < args.size(); ++i) {
    const auto part = ReadScanFile(args[i], error);
    if (!part) {
      err << "pelarin-batch scan-merge: " << error << ".\n";
      return kBatchUsage;
    }
    if (merged.header.empty()) {
      merged.header = part->header;
      merged.notes = part->notes;
      const auto grid = GridOfNotes(part->notes, study, error);
      if (!grid) {
        err << "pelarin-batch scan-merge: " << args[i] << ": " << error << ".\n";
        return kBatchUsage;
      }
      cells = grid->Cells();
      sample = *grid;
    }
    if (part->header != merged.header) {
      err << "pelarin-batch scan-merge: " << args[i] << " holds another scan (other columns).\n";
      return kBatchUsage;
    }
    if (const auto differs = DifferentMaking(*part, merged.notes, args[i])) {
      err << "pelarin-batch scan-merge: " << *differs << " (in the first part: another scan).\n";
      return kBatchUsage;
    }
    if (const auto bad = CheckScanRows(*part, sample, study, args[i])) {
      err << "pelarin-batch scan-merge: " << *bad << ".\n";
      return kBatchUsage;
    }
    for (const ScanCell& cell : part->cells) {
      const auto [it, fresh] = rows.emplace(cell.cell, cell.rows);
      if (!fresh && it->second != cell.rows) {
        err << "pelarin-batch scan-merge: cell " << cell.cell << " differs between the parts.\n";
        return kBatchUsage;
      }
    }
  }
  std::vector<std::int64_t> missing;
  for (std::int64_t cell = 0; cell < cells; ++cell) {
    const auto it = rows.find(cell);
    if (it == rows.end()) {
      missing.push_back(cell);
    } else {
      merged.cells.push_back({cell, cells, it->second});
    }
  }
  // A merge with cells missing writes nothing: a partial file under the whole scan's name would be taken for
  // the whole scan.
  if (!missing.empty()) {
    err << "pelarin-batch scan-merge: " << missing.size() << " cells are missing:";
    for (std::size_t i = 0; i < missing.size() && i < 20; ++i) err << " " << missing[i];
    err << (missing.size() > 20 ? " ..." : "") << "; " << args[0] << " is not written.\n";
    return kBatchFailed;
  }
  try {
    WriteTextFileAtomically(args[0], ScanFileText(merged));
  } catch (const std::exception& e) {
    err << "pelarin-batch scan-merge: " << e.what() << "\n";
    return kBatchFailed;
  }
  out << "written: " << args[0] << " (" << merged.cells.size() << " cells)\n";
  return kBatchOk;
}

}  // namespace pelarin
