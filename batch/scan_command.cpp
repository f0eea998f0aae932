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

#include "app/scan_cells.h"
#include "app/scan_engine.h"
#include "app/scan_file.h"
#include "app/scan_plot.h"
#include "app/shown_text.h"
#include "batch/batch.h"
#include "batch/option_table.h"
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
  void Done(std::int64_t done, std::int64_t total) {
    total_ = total;
    if (done == shownDone_) return;  // a tick while no cell completed
    shownDone_ = done;
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
  std::int64_t shownDone_ = 0;
};

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

// The spread of every figure over the sample's cells, from the whole file (a resumed sample included).
void ReportSpread(const std::string& summary, std::size_t axes, std::int64_t redraws, std::ostream& out,
                  std::ostream& err) {
  std::string error;
  const auto file = ReadScanFile(summary, error);
  if (!file) {
    err << "pelarin-batch scan: the spread cannot be read back: " << error << ".\n";
    return;
  }
  out << "spread over " << file->cells.size() << " cells";
  if (redraws > 0) out << " (" << redraws << " draws the form would not take were drawn again)";
  out << ":\n" << SpreadTable(SpreadOf(*file, axes));
}

}  // namespace

namespace {

// The scan command's options, bound to o.
OptionTable ScanOptionTable(ScanOptions& o) {
  OptionTable table("pelarin-batch scan: ", "pelarin-batch scan --help");
  table
      .Add({{"--vary"},
            "NAME=FROM:TO:N[:log]",
            "N values (2 to 1000000) from FROM to TO, evenly spaced or, with :log, in equal ratios (both "
            "bounds above 0); one or two --vary, at most 10^7 cells",
            [&o](const std::string& v) {
              std::string error;
              auto axis = ParseScanAxis(v, error);
              if (!axis) return error + ".";
              o.axes.push_back(std::move(*axis));
              return std::string();
            }})
      .Add({{"--sample"},
            "N",
            "process spread: N cells (at most 10^7) whose parameters are drawn at random, each --vary giving "
            "one parameter's spread: NAME=normal:MEAN:SD, NAME=lognormal:MEDIAN:FACTOR (one standard "
            "deviation multiplies or divides the median by FACTOR) or NAME=uniform:LO:HI; as many --vary as "
            "parameters vary. A draw the form would refuse or correct (a negative resistance, say) is drawn "
            "again and counted. The rows are the same for any -j and --part; the scan ends with a table of "
            "each figure's mean, standard deviation and 5, 50 and 95 % percentiles per curve, and --plot "
            "draws a histogram of the figure",
            [&o](const std::string& v) {
              const auto n = WholeNumberIn(v, 1, kMaxScanCells);
              if (!n)
                return "--sample takes a cell count from 1 to " + std::to_string(kMaxScanCells) + ", not \"" +
                       Shown(v) + "\".";
              o.samples = *n;
              return std::string();
            }})
      .Add({{"--seed"},
            "S",
            "the sample's seed, a whole number (default 1): the same seed draws the same cells",
            [&o](const std::string& v) {
              char* end = nullptr;
              const unsigned long long seed = std::strtoull(v.c_str(), &end, 10);
              if (v.empty() || *end != '\0' || !std::isdigit(static_cast<unsigned char>(v[0])))
                return "--seed takes a whole number, not \"" + Shown(v) + "\".";
              o.seed = seed;
              o.seedGiven = true;
              return std::string();
            }})
      .Add(TextOption(
          "--summary", "FILE.csv", o.summary,
          "the rows: cell,cells,<parameters>,study,curve,Voc (V),Jsc (mA/cm2),FF,Pmax (mW/cm2),Vmp (V),Jmp "
          "(mA/cm2),efficiency (%),incident power (mW/cm2),status,check; a figure that does not exist is "
          "empty; status is \"ok\", or why the cell has no figures; check is a hash of the notes, the column "
          "names and the rest of the row. Lines before them, starting with \"#\", say what made the file "
          "(study, figures, grid or sample, form values, incident power)"))
      .Add({{"--figures"},
            "METHOD",
            "exact (the default): each curve's circuit solved for its figures directly, in microseconds, as "
            "pelarin-batch figures does; curve: the study run for each cell and its figures read off the "
            "swept curves, as the study's legend shows them. The first line of FILE.csv (\"# figures: ...\") "
            "records the method; --resume and scan-merge take only files made by the same method",
            [&o](const std::string& v) {
              if (v != "exact" && v != "curve")
                return "--figures takes exact or curve, not \"" + Shown(v) + "\".";
              o.method = v == "exact" ? FigureMethod::Exact : FigureMethod::Curve;
              o.methodGiven = true;
              return std::string();
            }})
      .Add(TextOption("--params", "FILE.plr", o.params, "load a parameter file first, as Files > Open does"))
      .Add(SetOption(o.sets,
                     "type TEXT into the box of parameter NAME, read as the window reads it; applied after "
                     "--params, may be repeated"))
      .Add(IncidentPowerOption(o.incidentPower))
      .Add({{"-j"},
            "N",
            "threads (default: one per core); the file is the same for any N",
            [&o](const std::string& v) {
              const auto n = WholeNumberIn(v, 1, 256);
              if (!n) return "-j takes a thread count from 1 to 256, not \"" + Shown(v) + "\".";
              o.threads = static_cast<int>(*n);
              return std::string();
            }})
      .Add(FlagOption("--tables", o.tables,
                      "keep each cell's study folder and tables, named after the cell, in --dir (runs the "
                      "study for each cell: implies --figures curve)"))
      .Add(TextOption("--dir", "DIR", o.dir,
                      "the folder of the cells' study folders with --tables (made when missing; default: the "
                      "current one)"))
      .Add(FlagOption("--overwrite", o.overwrite, "replace FILE.csv (and, with --tables, older tables)"))
      .Add(FlagOption("--resume", o.resume,
                      "skip the cells FILE.csv holds already (the last one is run again); a file another "
                      "scan made (another --part included), a row changed since it was written or a row "
                      "missing is refused naming its line: the file resumed is the file one run writes"))
      .Add({{"--part"},
            "K/M",
            "run only the K-th of M interleaved slices of the grid (cells K-1, K-1+M, ...); scan-merge joins "
            "the slices' files into grid order, checking them as --resume does; with cells missing it names "
            "them and writes nothing (exit 4)",
            [&o](const std::string& v) {
              std::string error;
              const auto part = ParseScanPart(v, error);
              if (!part) return error + ".";
              o.part = *part;
              return std::string();
            }})
      .Add({{"--plot"},
            "FILE.png|FILE.svg",
            "when the scan completes, draw it from all the rows of FILE.csv (a resumed scan is drawn whole): "
            "with one --vary, FIG against the parameter, one line per curve (x is log10 of the parameter on "
            "a :log axis); with two, a colour map of FIG for the file's first curve over the grid, with a "
            "colour bar",
            [&o](const std::string& v) {
              if (!IsScanPlotPath(v))
                return "--plot takes a file ending in .png or .svg, not \"" + Shown(v) + "\".";
              o.plot = v;
              return std::string();
            }})
      .Add({{"--plot-figure"},
            "FIG",
            "Voc, Jsc, FF, Pmax, Vmp, Jmp or efficiency (default FF)",
            [&o](const std::string& v) {
              const auto figure = ScanFigureIndex(v);
              if (!figure)
                return "--plot-figure takes Voc, Jsc, FF, Pmax, Vmp, Jmp or efficiency, not \"" + Shown(v) +
                       "\".";
              o.plotFigure = *figure;
              return std::string();
            }})
      .Operand([&o](const std::string& word) {
        if (!o.study.empty())
          return "one study only (\"" + Shown(o.study) + "\" and \"" + Shown(word) + "\").";
        o.study = word;
        return std::string();
      });
  return table;
}

}  // namespace

std::string ScanHelp() {
  ScanOptions unused;
  return R"(Usage: pelarin-batch scan STUDY --vary NAME=FROM:TO:N[:log] [--vary NAME=...] --summary FILE.csv
       pelarin-batch scan STUDY --sample N --vary NAME=SPREAD... [--seed S] --summary FILE.csv
                          [--params FILE.plr] [--set NAME=TEXT]... [--incident-power P] [-j N]
                          [--figures exact|curve] [--tables] [--dir DIR] [--overwrite] [--resume]
                          [--part K/M]
                          [--plot FILE.png|FILE.svg [--plot-figure FIG]]
       pelarin-batch scan-merge [--overwrite] OUT.csv PART.csv...

Finds the figures of merit of every lit curve that STUDY draws, for every cell of a grid of one parameter
or of the product of two, each cell starting from the form's values (the defaults, then --params, then
--set), and writes them to FILE.csv, one row per cell and curve, in grid order (the first --vary outermost).

scan-merge joins the files of a scan run in slices (--part) into OUT.csv, in grid order, checking them as
--resume does. It keeps an OUT.csv that exists (exit 3) unless --overwrite is given, and takes no other
option but --help; with cells missing it names them and writes nothing (exit 4).

)" + ScanOptionTable(unused).Help() +
         R"(
STUDY is one of those with lit J(V) curves: )" +
         StudyList(true) + R"(.
Ctrl-C stops after the cells under way: the rows written so far stay, and --resume goes on from there.
Exit status: 0 done, 2 bad input (nothing run), 3 FILE.csv exists (give --overwrite or --resume),
4 a cell failed (its row says why; the scan went on), 130 stopped by Ctrl-C.
)";
}

std::optional<ScanOptions> ParseScanOptions(const std::vector<std::string>& args, std::ostream& err) {
  ScanOptions options;
  if (!ScanOptionTable(options).Parse(args, err)) return std::nullopt;
  if (options.study.empty()) {
    err << "pelarin-batch scan: which study? (see pelarin-batch scan --help)\n";
    return std::nullopt;
  }
  ScanGrid grid{options.axes, options.samples, options.seed};
  std::size_t same = 0;
  const GridFault fault = grid.Fault(&same);
  if (fault == GridFault::SampleNeedsSpreads) {
    err << "pelarin-batch scan: --sample draws each --vary from a spread: give NAME=normal:MEAN:SD, "
           "NAME=lognormal:MEDIAN:FACTOR or NAME=uniform:LO:HI.\n";
    return std::nullopt;
  }
  if (fault == GridFault::SpreadNeedsSample || (options.samples == 0 && options.seedGiven)) {
    err << "pelarin-batch scan: a spread or --seed needs --sample N, the number of cells to draw.\n";
    return std::nullopt;
  }
  if (fault == GridFault::AxisCount) {
    err << "pelarin-batch scan: give one or two --vary.\n";
    return std::nullopt;
  }
  if (fault == GridFault::SameParameter) {
    err << "pelarin-batch scan: two --vary name the same parameter, " << options.axes[same].name << ".\n";
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

namespace {

// The request the options describe, with the form read from --params and --set; nothing, having said why,
// when the parameter file cannot be read.
std::optional<ScanRequest> RequestOf(const ScanOptions& options, const fs::path& startDir,
                                     std::ostream& err) {
  std::error_code ec;
  ScanRequest request;
  request.study = options.study;
  request.grid.axes = options.axes;
  request.grid.samples = options.samples;
  request.grid.seed = options.seed;
  request.part = options.part;
  request.method = options.method;
  request.threads = options.threads;
  request.tables = options.tables;
  request.overwrite = options.overwrite;
  request.overwriteHint = "give --overwrite";
  request.file = fs::absolute(startDir / options.summary, ec).string();
  request.existing = options.resume      ? ExistingFile::Resume
                     : options.overwrite ? ExistingFile::Replace
                                         : ExistingFile::Refuse;
  if (options.tables)
    request.workDir = options.dir ? fs::absolute(startDir / *options.dir, ec).string() : startDir.string();
  ResetStartUpConstants(request.base);
  request.base.figures.incidentPower = options.incidentPower;
  if (options.params) {
    HeadlessUi ui(false, false);
    ui.paramsToOpen = fs::absolute(startDir / *options.params, ec).string();
    try {
      LoadParameters(request.base, ui);
    } catch (const std::exception& e) {
      ui.problems.emplace_back(e.what());
    }
    if (!ui.problems.empty()) {
      err << "pelarin-batch scan: " << OneLine(ui.problems.front()) << "\n";
      return std::nullopt;
    }
    request.form = ui.form;
    request.base.id.loadedDir.clear();  // the cells' folders go where the scan works, not beside the file
  }
  for (const auto& [name, text] : options.sets) request.form.SetBoxText(ParameterIndex(name), text);
  return request;
}

// The exit status of a scan's end, having said why it did not complete.
int StatusOf(const ScanOutcome& outcome, const ScanRequest& request, std::ostream& err) {
  const std::string tool = "pelarin-batch scan: ";
  switch (outcome.end) {
    case ScanEnd::Done:
      return kBatchOk;
    case ScanEnd::CellsFailed:  // said after the file's line
      return kBatchFailed;
    case ScanEnd::Refused:
      err << tool << outcome.message << "\n";
      return kBatchUsage;
    case ScanEnd::ResumeRefused:
      err << tool << "--resume: " << outcome.message << "\n";
      return kBatchUsage;
    case ScanEnd::FileInTheWay:
      err << tool << request.file
          << " exists already; give --overwrite to replace it or --resume to go on with it.\n";
      return kBatchOverwriteDeclined;
    case ScanEnd::FileFailed:
      err << (outcome.written > 0 ? "\n" : "") << tool << outcome.message << "\n";
      return kBatchFailed;
    case ScanEnd::Stopped:
      err << "\n"
          << tool << "stopped after " << outcome.written << " of " << outcome.todo
          << " cells; the rows so far are in " << request.file << " (--resume goes on).\n";
      return kScanInterrupted;
  }
  return kBatchFailed;
}

}  // namespace

int RunScan(const ScanOptions& options, std::ostream& out, std::ostream& err, const std::atomic<bool>& stop,
            const ImageSaver& saveImage) {
  std::error_code ec;
  const fs::path startDir = fs::current_path(ec);
  const std::string summary = fs::absolute(startDir / options.summary, ec).string();
  if (options.plot && !fs::is_directory(fs::absolute(startDir / *options.plot, ec).parent_path(), ec)) {
    err << "pelarin-batch scan: the folder of the --plot file " << *options.plot << " does not exist.\n";
    return kBatchUsage;
  }
  // The summary and the picture are two files, neither of them the parameter file read.
  {
    std::vector<std::string> outputs = {summary}, inputs;
    if (options.plot) outputs.push_back(fs::absolute(startDir / *options.plot, ec).string());
    if (options.params) inputs.push_back(fs::absolute(startDir / *options.params, ec).string());
    if (const std::string why = OutputsProblem(outputs, inputs); !why.empty()) {
      err << "pelarin-batch scan: " << why << "; nothing was computed or written.\n";
      return kBatchUsage;
    }
  }
  const auto request = RequestOf(options, startDir, err);
  if (!request) return kBatchUsage;

  Progress shown(err, options.terminal, 0);
  const ScanOutcome outcome = RunScanEngine(*request, nullptr, [&](const ProgressReport& report) {
    shown.Done(report.done, report.of);
    return stop ? CallbackReturn::Stop : CallbackReturn::Continue;
  });
  int status = StatusOf(outcome, *request, err);
  if (outcome.end != ScanEnd::Done && outcome.end != ScanEnd::CellsFailed) return status;
  out << "written: " << summary << " (" << outcome.written << " cells";
  if (outcome.kept > 0) out << ", " << outcome.kept << " kept from before";
  out << ")\n";
  if (outcome.end == ScanEnd::CellsFailed)
    err << "pelarin-batch scan: some cells failed; their rows say why.\n";
  if (request->grid.samples > 0) ReportSpread(summary, request->grid.axes.size(), outcome.redraws, out, err);
  if (options.plot && !PlotScan(options, summary, outcome.colours, startDir, out, err, saveImage))
    status = kBatchFailed;
  return status;
}

int RunScanMerge(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  bool overwrite = false, help = false;
  std::vector<std::string> files;  // OUT.csv, then the parts
  OptionTable table("pelarin-batch scan-merge: ", "pelarin-batch scan --help");
  table.Add(FlagOption("--overwrite", overwrite, "replace OUT.csv when it exists"))
      .Add(HelpOption(help))
      .Operand([&files](const std::string& file) {
        files.push_back(file);
        return std::string();
      });
  if (!table.Parse(args, err)) return kBatchUsage;
  if (help) {
    out << ScanHelp();
    return kBatchOk;
  }
  if (files.size() < 2) {
    err << "pelarin-batch scan-merge: give OUT.csv and at least one part file.\n";
    return kBatchUsage;
  }
  const std::string& merge = files[0];
  const auto kept = [&] {
    err << "pelarin-batch scan-merge: " << merge << " exists already; it is kept.\n";
    return kBatchOverwriteDeclined;
  };
  if (!overwrite && SomethingAt(merge)) return kept();
  // Even with --overwrite, OUT.csv is never one of the parts, a folder, a link or a FIFO.
  if (const std::string why = OutputsProblem({merge}, {files.begin() + 1, files.end()}); !why.empty()) {
    err << "pelarin-batch scan-merge: " << why << "; nothing was written.\n";
    return kBatchUsage;
  }
  const MergedScan merged = MergeScanParts({files.begin() + 1, files.end()});
  if (merged.problem) {
    err << "pelarin-batch scan-merge: " << *merged.problem << "\n";
    return kBatchUsage;
  }
  // A merge with cells missing writes nothing: a partial file under the whole scan's name would be taken for
  // the whole scan.
  if (!merged.missing.empty()) {
    err << "pelarin-batch scan-merge: " << merged.missing.size() << " cells are missing:";
    for (std::size_t i = 0; i < merged.missing.size() && i < 20; ++i) err << " " << merged.missing[i];
    err << (merged.missing.size() > 20 ? " ..." : "") << "; " << merge << " is not written.\n";
    return kBatchFailed;
  }
  try {
    WriteTextFileAtomically(merge, ScanFileText(merged.file),
                            overwrite ? Replacing::Allowed : Replacing::Refused);
  } catch (const FileExistsError&) {
    return kept();  // another run wrote it meanwhile
  } catch (const std::exception& e) {
    err << "pelarin-batch scan-merge: " << e.what() << "\n";
    return kBatchFailed;
  }
  out << "written: " << merge << " (" << merged.file.cells.size() << " cells)\n";
  return kBatchOk;
}

}  // namespace pelarin
