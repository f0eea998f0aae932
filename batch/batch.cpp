#include "batch/batch.h"

#include <algorithm>
#include <filesystem>
#include <iomanip>
#include <map>
#include <optional>
#include <ostream>
#include <set>
#include <sstream>
#include <system_error>

#include "app/commands.h"
#include "app/form_values.h"
#include "app/shown_text.h"
#include "batch/option_table.h"
#include "model/calc_error.h"
#include "model/figures_of_merit.h"
#include "model/number_text.h"
#include "model/parameter_table.h"
#include "plot/curves_csv.h"
#include "studies/studies.h"
#include "studies/study_registry.h"
#include "ui/recorded_plot_window.h"
#include "ui/text_form.h"
#include "workspace/parameter_file.h"
#include "workspace/read_parameters.h"
#include "workspace/study_folder.h"

namespace fs = std::filesystem;

namespace pelarin {
namespace {

std::string Trim(const std::string& text) {
  const auto first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

// A file that a run without --overwrite may not replace: the study stops before it computes.
struct FileInTheWay {
  std::string path;
};
// Outputs that cannot be written as asked (two of one name, an input among them): refused before computing.
struct OutputsRefused {
  std::string why;
};

// The user interface of a batch run: every question is answered from the options.
class BatchUi : public Ui {
 public:
  BatchUi(State& state, const BatchOptions& options, std::ostream& err)
      : state_(state), options_(options), err_(err) {}

  void BeforeComputing(const StudyFiles& files) override {
    std::vector<std::string> kept;
    if (!options_.noSave) kept = files.tables;
    // The images in the format asked for, under the names a double click gives them.
    if (options_.images)
      for (const std::string& image : files.images)
        kept.push_back(fs::path(image).replace_extension("." + options_.imageFormat).string());
    if (options_.summary) kept.push_back(*options_.summary);
    // No output may be an input or another output, whatever --overwrite says. The study's own parameter
    // file is saved as the window saves it, over the file it was opened from when that is where it goes.
    std::vector<std::string> inputs;
    if (paramsToOpen) inputs.push_back(*paramsToOpen);
    if (options_.exp) inputs.push_back(*options_.exp);
    if (std::string why = OutputsProblem(kept, inputs); !why.empty()) throw OutputsRefused{std::move(why)};
    if (!options_.noSave && files.parameterFile) kept.push_back(ParameterFile());
    if (std::string why = OutputsProblem(kept, {}); !why.empty()) throw OutputsRefused{std::move(why)};
    if (options_.overwrite) return;
    for (const std::string& path : kept)
      if (SomethingAt(path)) throw FileInTheWay{path};
  }

  using Ui::Ask;
  bool Ask(Question question, const std::string&) override {
    switch (question) {
      case Question::SaveData:
        return !options_.noSave;
      case Question::ShowExperimentalData:
        return options_.exp.has_value();
      case Question::OverwriteResults:
      case Question::OverwriteParameters:
        if (!options_.overwrite) {
          ++overwriteDeclined;
          err_ << "pelarin-batch: a file of that name exists already; it is kept (give --overwrite to "
                  "replace it).\n";
        }
        return options_.overwrite;
      case Question::DeleteStudy:
      case Question::Quit:
      case Question::ApplyFit:
        break;
    }
    const QuestionText asked = TextOf(question);
    err_ << "pelarin-batch: answered No to \"" << Trim(std::string(asked.text)) << "\" ("
         << Trim(std::string(asked.title)) << ").\n";
    return false;
  }

  void ShowMessage(const std::string& text, const std::string& title, MessageIcon icon) override {
    if (icon == MessageIcon::Critical || icon == MessageIcon::Exclamation) ++problems;
    // A message may quote a file's line: its control characters (a CR of a CRLF file) are shown escaped,
    // its line breaks kept.
    std::string shown;
    for (const char c : Trim(text)) shown += c == '\n' ? std::string("\n") : Shown(std::string_view(&c, 1));
    err_ << "pelarin-batch: " << Trim(title) << ": " << shown << "\n";
  }

  std::optional<std::string> OpenFileDialog(const FileDialogRequest& request) override {
    return request.kind == FileKind::ParameterFile ? paramsToOpen : options_.exp;
  }

  std::optional<std::string> SaveFileDialog(const FileDialogRequest& request) override {
    if (request.kind != FileKind::ParameterFile) return std::nullopt;
    return ParameterFile();
  }

  // The parameter file of a study is saved under the study's name in the working folder.
  [[nodiscard]] std::string ParameterFile() const {
    return (workingDir / (state_.id.studyName + ".plr")).string();
  }

  // The files written are listed from the folders once the study ends; the announcements are kept.
  void FilesSaved(const std::vector<std::string>& paths) override {
    announced.insert(announced.end(), paths.begin(), paths.end());
  }

  PlotWindow& Plot(PlotId id) override { return id == PlotId::linlin ? linlin : linlog; }
  ParameterForm& Form() override { return form; }
  Menus& MenuBar() override { return menus; }

  RecordedPlotWindow linlin, linlog;
  std::vector<std::string> announced;
  TextForm form;
  MenuTable menus{StudyMenuEntries()};
  std::optional<std::string> paramsToOpen;
  fs::path workingDir;
  int overwriteDeclined = 0;
  int problems = 0;

 private:
  State& state_;
  const BatchOptions& options_;
  std::ostream& err_;
};

std::string Number(double value) { return GeneralText(value, 4); }

std::string Joined(const std::vector<std::string>& parts, const std::string& separator) {
  std::string joined;
  for (const std::string& part : parts) joined += (joined.empty() ? "" : separator) + part;
  return joined;
}

// One line per curve drawn: its name and colour, points and voltages, and a lit curve's figures of merit.
void ReportCurves(const std::string& windowName, const RecordedPlotWindow& window, std::ostream& out) {
  for (const DrawnCurve& curve : window.surface.Curves()) {
    if (curve.points.empty()) continue;
    const std::string colour = ColourName(curve.entry.colour);
    // The whole range: a sweep may run down from open circuit, or turn back.
    const auto [lowest, highest] =
        std::minmax_element(curve.points.begin(), curve.points.end(),
                            [](const auto& a, const auto& b) { return a.first < b.first; });
    out << windowName << "  " << (curve.entry.name.empty() ? colour : curve.entry.name + " (" + colour + ")")
        << ": " << curve.points.size() << " points, V from " << Number(lowest->first) << " to "
        << Number(highest->first) << " V";
    if (curve.entry.figures) out << "; " << Joined(FigureTexts(*curve.entry.figures), ", ");
    out << "\n";
  }
}

// The files of folder and of its study folders ("*_plr"), with their modification times.
using FileTimes = std::map<fs::path, fs::file_time_type>;

void Snapshot(const fs::path& folder, FileTimes& files, int depth = 2) {
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code entryError;
    if (it->is_regular_file(entryError)) {
      files[it->path()] = it->last_write_time(entryError);
    } else if (depth > 1 && it->is_directory(entryError) &&
               it->path().filename().string().ends_with("_plr")) {
      Snapshot(it->path(), files, depth - 1);
    }
  }
}

// The study folders ("*_plr") in folder.
std::set<fs::path> StudyFolders(const fs::path& folder) {
  std::set<fs::path> found;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code entryError;
    if (it->path().filename().string().ends_with("_plr") && it->is_directory(entryError))
      found.insert(it->path());
  }
  return found;
}

// Puts the working directory back when a run ends, however it ends.
class WorkingDirectory {
 public:
  WorkingDirectory() : start_(fs::current_path(error_)) {}
  ~WorkingDirectory() {
    std::error_code ignored;
    if (!error_) fs::current_path(start_, ignored);
  }
  WorkingDirectory(const WorkingDirectory&) = delete;
  WorkingDirectory& operator=(const WorkingDirectory&) = delete;
  [[nodiscard]] const fs::path& Start() const { return start_; }

 private:
  std::error_code error_;
  fs::path start_;
};

// The files that are new or changed since the snapshot.
void ReportWrittenFiles(const std::vector<fs::path>& folders, const FileTimes& before, std::ostream& out) {
  FileTimes after;
  for (const fs::path& folder : folders) Snapshot(folder, after);
  for (const auto& [path, time] : after) {
    const auto old = before.find(path);
    if (old == before.end() || old->second != time) out << "written: " << path.string() << "\n";
  }
}

}  // namespace

std::string ColourName(Colour colour) {
  static const std::map<Colour, std::string> kNames = {{Rgb(255, 0, 0), "red"},
                                                       {Rgb(0, 255, 0), "green"},
                                                       {Rgb(0, 0, 255), "blue"},
                                                       {Rgb(128, 0, 0), "dark red"},
                                                       {Rgb(0, 128, 0), "dark green"},
                                                       {Rgb(0, 0, 128), "dark blue"},
                                                       {16576, "orange-brown"},
                                                       {33023, "orange"},
                                                       {Rgb(128, 128, 128), "grey (measured)"}};
  const auto found = kNames.find(colour);
  if (found != kNames.end()) return found->second;
  std::ostringstream hex;
  hex << "colour #" << std::hex << std::setw(6) << std::setfill('0')
      << (RedOf(colour) << 16 | GreenOf(colour) << 8 | BlueOf(colour));
  return hex.str();
}

std::string SummaryCsv(const std::string& studyLabel, const RecordingSurface& linlog, bool linlogShown,
                       const RecordingSurface& linlin, bool linlinShown) {
  std::string csv = "study,window,curve,points," + FigureColumns() + "\r\n";
  const auto rows = [&](const RecordingSurface& drawing, const char* window) {
    for (const DrawnCurve& curve : drawing.Curves()) {
      if (curve.points.empty()) continue;
      csv += CsvField(studyLabel) + "," + window + "," + CsvField(curve.entry.name) + "," +
             std::to_string(curve.points.size());
      csv += "," + FigureFields(curve.entry.figures) + "\r\n";
    }
  };
  if (linlogShown) rows(linlog, "dark (linlog)");
  if (linlinShown) rows(linlin, "lit (linlin)");
  return csv;
}

namespace {

// The study command's options, bound to o.
OptionTable BatchOptionTable(BatchOptions& o) {
  OptionTable table("pelarin-batch: ", "--help");
  table
      .Add(TextOption("--params", "FILE.plr", o.params,
                      "load a parameter file first, as Files > Open does: it sets the study name and the "
                      "folder of the study (the stack studies put their study folder beside the file); a "
                      "file that is not a parameter file is refused, naming its first bad line"))
      .Add(SetOption(
          o.sets,
          "type TEXT into the box of parameter NAME (Rs1, Rp1, Jsc1, Jsd11, Jsd12, m11, m12, ..., Rl1, Rl2, "
          "Rg1, Rg2, Rg3; the form labels md11 ... work too), or of an operating condition (T in degrees C, "
          "X in suns, Eg1..3 in eV, alpha1..3 in 1/K; the 26 are the cell at 26.85 degrees C and one sun), "
          "or of the coupling physics (beta2, beta3 luminescent coupling from 0 to 1; Abd1..3, Vbd1..3 in V, "
          "nbd1..3 reverse breakdown); applied after --params, may be repeated.\nEach box is read as the "
          "window program reads it: a comma is a decimal point, and text that is not a number or a value no "
          "cell can have is refused"))
      .Add(TextOption("--dir", "DIR", o.dir,
                      "working folder, made when missing (default: the current one); the independent study "
                      "writes its study folder and its parameter file <study name>.plr here"))
      .Add(TextOption("--exp", "FILE", o.exp,
                      "answer Yes to \"Display of experimental data ?\" and draw FILE (illuminated data; the "
                      "first file of its folder whose name contains \"Dark\" is drawn on the dark plot)"))
      .Add(FlagOption("--overwrite", o.overwrite,
                      "replace result tables, the parameter file, images and the summary that exist already "
                      "(without it, a run that would replace one stops before computing and names it)"))
      .Add(FlagOption("--no-save", o.noSave,
                      "answer No to \"Do you want to save the data ?\": nothing is written, and a study "
                      "folder the run made is removed again"))
      .Add({{"--images"},
            "FORMAT",
            "also save each drawn plot as the window shows it, with its titles and legend: "
            "<label>_ill.FORMAT and <label>_dark.FORMAT in the study folder; FORMAT is bmp (the default, as "
            "the window's double click saves), png or svg",
            [&o](const std::string& v) {
              o.images = true;
              if (!v.empty()) o.imageFormat = v;
              if (o.imageFormat != "bmp" && o.imageFormat != "png" && o.imageFormat != "svg")
                return "--images takes bmp, png or svg (got \"" + Shown(o.imageFormat) + "\").";
              return std::string();
            },
            true})
      .Add(TextOption("--summary", "FILE.csv", o.summary,
                      "write the figures of merit of every curve drawn to FILE.csv, one row per curve "
                      "(study, window, curve, points, Voc, Jsc, FF, Pmax, Vmp, Jmp, efficiency)"))
      .Add(IncidentPowerOption(o.incidentPower))
      .Add(HelpOption(o.help))
      .Operand(StudyOperand(o.study));
  return table;
}

}  // namespace

std::string BatchHelp() {
  BatchOptions unused;
  std::string studies;
  for (const StudyEntry& study : Studies()) {
    std::string name(study.batchName);
    name.resize(std::max<std::size_t>(name.size() + 2, 14), ' ');
    studies += "  " + name + std::string(study.summary) + "\n";
  }
  return R"(Usage: pelarin-batch STUDY [options]
  or:  pelarin-batch figures STUDY [options]
  or:  pelarin-batch fit --data CURVE=FILE... --free NAME... --out FITTED.plr [options]
  or:  pelarin-batch scan STUDY --vary NAME=FROM:TO:N[:log]... --summary FILE.csv [options]
  or:  pelarin-batch scan-merge [--overwrite] OUT.csv PART.csv...
  or:  pelarin-batch --version

Runs one study of Pelarin without windows, with the same computations, tables and plots as the window
program, and answers its questions from the options below. The other commands have their own --help:
figures prints the exact figures of merit of a study's lit curves, fit fits the cell to measured curves,
scan computes the figures over a grid of parameters and scan-merge joins the parts of a scan.

STUDY is one of:
)" + studies +
         R"(
Options:
)" + BatchOptionTable(unused).Help() +
         R"(
Paths are taken from the folder the tool was started in.

Output: one line per curve drawn (window, curve name and colour, point count, lowest and highest voltage
and, for a lit J(V) curve, its figures of merit), then the files written. Errors go to stderr.

Exit status: 0 done; 2 refused: a usage error, a box or parameter file the window program would not take,
or a study the parameters do not allow; 3 a file the run would write exists and --overwrite was not given
(nothing computed or written); 4 calculation or file error (a file that could not be written, measured
data that could not be drawn).

Example:
  pelarin-batch all --set Jsc2=0.010 --dir /tmp/run --images
)";
}

std::optional<BatchOptions> ParseBatchOptions(const std::vector<std::string>& args, std::ostream& err) {
  BatchOptions options;
  if (!BatchOptionTable(options).Parse(args, err)) return std::nullopt;
  if (options.help) return options;
  if (options.study.empty()) {
    err << "pelarin-batch: name a study: " << StudyList(false) << " (see --help).\n";
    return std::nullopt;
  }
  if (!FindStudy(options.study)) {
    err << "pelarin-batch: unknown study \"" << Shown(options.study) << "\"; the studies are "
        << StudyList(false) << ".\n";
    return std::nullopt;
  }
  return options;
}

int RunBatch(const BatchOptions& options, std::ostream& out, std::ostream& err, const ImageSaver& saveImage) {
  if (options.help) {
    out << BatchHelp();
    return kBatchOk;
  }
  const StudyEntry& study = *FindStudy(options.study);
  State state;
  ResetStartUpConstants(state);
  state.figures.incidentPower = options.incidentPower;
  // Tables and images go into the study folder; a run that writes neither makes none.
  state.id.studyDirNeeded = !options.noSave || options.images;

  std::error_code ec;
  const WorkingDirectory cwd;
  // Every path of the command line is taken from where the tool was started, before it changes folders.
  BatchOptions resolved = options;
  if (resolved.exp) resolved.exp = fs::absolute(*resolved.exp, ec).string();
  if (resolved.summary) resolved.summary = fs::absolute(*resolved.summary, ec).string();
  // A summary that can never be written is refused before anything else happens.
  if (resolved.summary) {
    std::vector<std::string> inputs;
    if (options.params) inputs.push_back(fs::absolute(*options.params, ec).string());
    if (resolved.exp) inputs.push_back(*resolved.exp);
    const std::string summary = options.summary->empty() ? std::string() : *resolved.summary;
    if (const std::string why = OutputsProblem({summary}, inputs); !why.empty()) {
      err << "pelarin-batch: --summary " << why << ".\n";
      return kBatchUsage;
    }
  }
  BatchUi ui(state, resolved, err);
  ui.workingDir = options.dir ? fs::absolute(*options.dir, ec) : cwd.Start();
  std::error_code made;  // why the folder could not be made, such as a read-only file system
  if (options.dir && !SomethingAt(ui.workingDir.string())) fs::create_directories(ui.workingDir, made);
  if (!fs::is_directory(ui.workingDir, ec)) {
    const std::error_code& why = made ? made : ec;
    err << "pelarin-batch: the working folder " << ui.workingDir.string()
        << " is not a folder and cannot be made" << (why ? ": " + why.message() : std::string()) << ".\n";
    return kBatchUsage;
  }

  if (options.params) {
    const fs::path params = fs::absolute(*options.params, ec);
    if (!SomethingAt(params.string())) {
      err << "pelarin-batch: the parameter file " << params.string() << " does not exist.\n";
      return kBatchUsage;
    }
    ui.paramsToOpen = params.string();
    RunCommand(ui, "Open", [&] { LoadParameters(state, ui); });
    if (ui.problems > 0) return kBatchUsage;  // not a parameter file, or not readable: refused
  }
  fs::current_path(ui.workingDir, ec);
  if (ec) {
    err << "pelarin-batch: cannot work in " << ui.workingDir.string() << ": " << ec.message() << ".\n";
    return kBatchUsage;
  }
  for (const auto& [name, text] : options.sets) ui.form.SetBoxText(ParameterIndex(name), text);

  // The boxes are read by the window program's rule; each that cannot be used is named, as the window does.
  std::vector<BadBox> bad;
  if (!RunCommand(ui, "Reading the parameters", [&] { bad = ReadParameterForm(state, ui); }))
    return kBatchFailed;
  for (const BadBox& box : bad) err << "pelarin-batch: " << box.sentence << "\n";
  if (!bad.empty()) return kBatchUsage;
  if (!IsOffered(study.availability, state.par)) {
    err << "pelarin-batch: " << NotOfferedText(study.batchName, study.availability) << ".\n";
    return kBatchUsage;
  }

  std::vector<fs::path> folders = {ui.workingDir};
  if (!state.id.loadedDir.empty()) folders.emplace_back(state.id.loadedDir);
  FileTimes before;
  std::set<fs::path> studyFoldersBefore;
  for (const fs::path& folder : folders) {
    Snapshot(folder, before);
    studyFoldersBefore.merge(StudyFolders(folder));
  }
  bool refused = false;
  std::optional<std::string> inTheWay, outputsRefused;
  const bool ran = RunCommand(ui, std::string(study.commandName), [&] {
    try {
      study.run(state, ui);
    } catch (const InputError&) {
      refused = true;
      throw;
    } catch (const FileInTheWay& file) {
      inTheWay = file.path;
    } catch (const OutputsRefused& refusal) {
      outputsRefused = refusal.why;
    }
  });
  // Nothing stays behind a run that writes nothing: a study folder it made and left empty goes again.
  const auto removeEmptyStudyFolders = [&] {
    for (const fs::path& folder : folders)
      for (const fs::path& made : StudyFolders(folder))
        if (!studyFoldersBefore.contains(made) && fs::is_empty(made, ec)) fs::remove(made, ec);
  };
  if (outputsRefused) {
    removeEmptyStudyFolders();
    err << "pelarin-batch: " << *outputsRefused << "; nothing was computed or written.\n";
    return kBatchUsage;
  }
  const auto sayInTheWay = [&err](const std::string& path) {
    err << "pelarin-batch: " << path
        << " exists already; nothing was computed or written (give --overwrite to replace it).\n";
    return kBatchOverwriteDeclined;
  };
  if (inTheWay) {
    removeEmptyStudyFolders();
    return sayInTheWay(*inTheWay);
  }
  // Without --overwrite, the images and the summary go only to names still free when they are put there:
  // of two runs started together on one new name, the second is refused as if the file had been there.
  const Replacing replacing = options.overwrite ? Replacing::Allowed : Replacing::Refused;

  int status = ran ? kBatchOk : refused ? kBatchUsage : kBatchFailed;
  if (ui.linlog.visible) ReportCurves("dark (linlog)", ui.linlog, out);
  if (ui.linlin.visible) ReportCurves("lit (linlin)", ui.linlin, out);

  const bool independent = study.batchName == "independent";
  const bool declined = ui.overwriteDeclined > 0 && !independent;
  if (ran && !declined && options.images && saveImage) {
    const auto save = [&](const RecordedPlotWindow& window, const std::string& ending) {
      if (!window.visible || window.surface.Ops().empty()) return;
      const std::string path = state.id.studyDir + state.id.studyLabel + ending;
      // Through a temporary of its own, as the tables: never through a link or a FIFO at the name.
      try {
        const std::string temp = CreateTemporaryBeside(path);
        if (!saveImage(window.surface, 945, 626, temp)) {
          std::error_code ignored;
          fs::remove(temp, ignored);
          throw FileError("cannot save the image " + path + ".");
        }
        ReplaceWithTemporary(temp, path, replacing);
      } catch (const FileExistsError&) {
        status = sayInTheWay(path);
      } catch (const FileError& e) {
        err << "pelarin-batch: " << e.what() << "\n";
        status = kBatchFailed;
      }
    };
    const std::string suffix = "." + options.imageFormat;
    save(ui.linlin, (state.flags.darkFlag != 0 ? "_dark" : "_ill") + suffix);
    save(ui.linlog, "_dark" + suffix);
  }

  // A run that writes nothing, or fails, leaves no empty study folder behind.
  if (options.noSave || status == kBatchFailed || status == kBatchUsage) removeEmptyStudyFolders();

  ReportWrittenFiles(folders, before, out);
  // After the listing of the study's files, which it may sit among.
  if (ran && options.summary) {
    const fs::path summary = *resolved.summary;
    try {
      WriteTextFileAtomically(summary.string(),
                              SummaryCsv(state.id.studyLabel, ui.linlog.surface, ui.linlog.visible,
                                         ui.linlin.surface, ui.linlin.visible),
                              replacing);
      out << "written: " << summary.string() << "\n";
    } catch (const FileExistsError&) {
      status = sayInTheWay(summary.string());
    } catch (const std::exception& e) {
      err << "pelarin-batch: cannot write the summary: " << e.what() << "\n";
      status = kBatchFailed;
    }
  }

  if (status == kBatchOk && declined) {
    err << "pelarin-batch: nothing was written, since a result file exists already.\n";
    status = kBatchOverwriteDeclined;
  }
  // A file the study could not write (a folder in the way, a full disk) or measured data it could not draw.
  if (status == kBatchOk && ui.problems > 0) status = kBatchFailed;
  return status;
}

int ReadFormOrRefuse(const std::optional<std::string>& params,
                     const std::vector<std::pair<std::string, std::string>>& sets, State& state,
                     std::ostream& err, const std::string& prefix) {
  const std::vector<std::string> refused = ReadFormValues(params, sets, state);
  for (const std::string& sentence : refused) err << prefix << sentence << "\n";
  return refused.empty() ? kBatchOk : kBatchUsage;
}

}  // namespace pelarin
