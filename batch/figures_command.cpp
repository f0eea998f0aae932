#include "batch/figures_command.h"

#include <cmath>
#include <filesystem>
#include <ostream>

#include "app/form_values.h"
#include "app/shown_text.h"
#include "batch/batch.h"
#include "batch/option_table.h"
#include "model/calc_error.h"
#include "model/number_text.h"
#include "model/parameter_table.h"
#include "plot/curves_csv.h"
#include "studies/exact_figures.h"
#include "studies/study_registry.h"
#include "workspace/parameter_file.h"
#include "workspace/read_parameters.h"
#include "workspace/study_folder.h"

namespace fs = std::filesystem;

namespace pelarin {
namespace {

constexpr const char* kName = "pelarin-batch figures: ";

// A summary that stands where this run, without --overwrite, would write its own: the run writes nothing.
int InTheWay(const std::string& summary, std::ostream& err) {
  err << kName << summary
      << " exists already; nothing was computed or written (give --overwrite to replace it).\n";
  return kBatchOverwriteDeclined;
}

}  // namespace

namespace {

// The figures command's options, bound to o.
OptionTable FiguresOptionTable(FiguresOptions& o) {
  OptionTable table(kName, "pelarin-batch figures --help");
  table.Add(TextOption("--params", "FILE.plr", o.params, "load a parameter file first, as Files > Open does"))
      .Add(SetOption(o.sets, "type TEXT into the box of parameter NAME, read as the window reads it"))
      .Add(TextOption("--summary", "FILE.csv", o.summary,
                      "write the figures as the studies' --summary does: study, window, curve, points "
                      "(empty: no points were computed), Voc, Jsc, FF, Pmax, Vmp, Jmp, efficiency"))
      .Add(IncidentPowerOption(o.incidentPower))
      .Add(FlagOption("--overwrite", o.overwrite, "replace FILE.csv when it exists"))
      .Add(HelpOption(o.help))
      .Operand(StudyOperand(o.study));
  return table;
}

}  // namespace

std::string FiguresHelp() {
  FiguresOptions unused;
  return R"(Usage: pelarin-batch figures STUDY [--params FILE.plr] [--set NAME=TEXT]... [--summary FILE.csv]
                             [--incident-power P] [--overwrite]

Solves the equivalent circuit of every lit J(V) curve that STUDY draws and prints its figures of merit,
found directly to the precision of the numbers rather than read off the swept points: Voc where the
terminal current is 0, Jsc at 0 V, and the maximum power point where d(J V)/dV = 0, with FF and the
efficiency. Nothing is swept and no study folder is made.

STUDY is one of )" +
         StudyList(true) + ".\n\n" + FiguresOptionTable(unused).Help() +
         R"(
Exit status: 0 done; 2 refused (a usage error, a box or parameter file the window program would not take,
or a study the parameters do not allow); 3 FILE.csv exists and --overwrite was not given (nothing written);
4 a curve has no finite solution (its line says why).
)";
}

std::optional<FiguresOptions> ParseFiguresOptions(const std::vector<std::string>& args, std::ostream& err) {
  FiguresOptions options;
  if (!FiguresOptionTable(options).Parse(args, err)) return std::nullopt;
  if (options.help) return options;
  const StudyEntry* study = FindStudy(options.study);
  if (!study || study->exact.curves == LitCurves::None) {
    err << kName
        << (options.study.empty() ? "name a study"
                                  : "\"" + Shown(options.study) + "\" draws no lit J(V) curves")
        << "; the studies with lit curves are " << StudyList(true) << ".\n";
    return std::nullopt;
  }
  return options;
}

int RunFigures(const FiguresOptions& options, std::ostream& out, std::ostream& err) {
  if (options.help) {
    out << FiguresHelp();
    return kBatchOk;
  }
  const StudyEntry& study = *FindStudy(options.study);
  State state;
  if (const int status = ReadFormOrRefuse(options.params, options.sets, state, err, kName);
      status != kBatchOk)
    return status;
  state.figures.incidentPower = options.incidentPower;
  std::error_code ec;
  if (!IsOffered(study.availability, state.par)) {
    err << kName << NotOfferedText(study.batchName, study.availability) << ".\n";
    return kBatchUsage;
  }
  std::optional<fs::path> summary;
  if (options.summary) {
    summary = fs::absolute(*options.summary, ec);
    const std::vector<std::string> inputs =
        options.params ? std::vector{fs::absolute(*options.params, ec).string()} : std::vector<std::string>{};
    if (const std::string why = OutputsProblem({options.summary->empty() ? "" : summary->string()}, inputs);
        !why.empty()) {
      err << kName << "--summary " << why << ".\n";
      return kBatchUsage;
    }
    if (!fs::is_directory(summary->parent_path(), ec)) {
      err << kName << "--summary " << summary->string() << ": its folder does not exist.\n";
      return kBatchUsage;
    }
    if (!options.overwrite && SomethingAt(summary->string())) return InTheWay(summary->string(), err);
  }

  const std::vector<ExactCurveFigures> curves = ExactFigures(study.exact, state);
  int status = kBatchOk;
  const std::string label = state.id.studyName + std::string(study.exact.labelSuffix);
  std::string csv = "study,window,curve,points," + FigureColumns() + "\r\n";
  for (const ExactCurveFigures& c : curves) {
    out << "lit (linlin)  " << c.curve.name << " (" << ColourName(c.curve.colour) << "): ";
    if (c.figures) {
      const std::vector<std::string> texts = FigureTexts(*c.figures);
      for (std::size_t i = 0; i < texts.size(); ++i) out << (i ? ", " : "") << texts[i];
      out << "\n";
    } else {
      out << c.problem << "\n";
      status = kBatchFailed;
    }
    csv +=
        CsvField(label) + ",lit (linlin)," + CsvField(c.curve.name) + ",," + FigureFields(c.figures) + "\r\n";
  }
  if (curves.empty()) err << kName << "no junction is lit: the study draws no lit curve.\n";
  if (summary) {
    try {
      WriteTextFileAtomically(summary->string(), csv,
                              options.overwrite ? Replacing::Allowed : Replacing::Refused);
      out << "written: " << summary->string() << "\n";
    } catch (const FileExistsError&) {
      return InTheWay(summary->string(), err);  // another run wrote it meanwhile
    } catch (const std::exception& e) {
      err << kName << "cannot write the summary: " << e.what() << "\n";
      status = kBatchFailed;
    }
  }
  return status;
}

}  // namespace pelarin
