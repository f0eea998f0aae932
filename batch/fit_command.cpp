#include "batch/fit_command.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <ostream>

#include "app/shown_text.h"
#include "batch/batch.h"
#include "batch/option_table.h"
#include "fit/fit_plot.h"
#include "fit/fit_report.h"
#include "model/calc_error.h"
#include "model/number_text.h"
#include "model/parameter_table.h"
#include "workspace/parameter_file.h"
#include "workspace/read_parameters.h"
#include "workspace/study_folder.h"

namespace fs = std::filesystem;

namespace pelarin {
namespace {

constexpr const char* kName = "pelarin-batch fit: ";

std::string Number(double x) { return GeneralText(x, 6); }

// NAME=LO:HI bounds, or the defaults for NAME alone.
std::optional<fit::FreeParameter> FreeOf(const std::string& name, const std::string& bounds,
                                         std::string& error) {
  const int index = ParameterIndex(name);
  if (index < 0) {
    error = "--free names no parameter: \"" + Shown(name) + "\"";
    return std::nullopt;
  }
  fit::FreeParameter f = fit::DefaultBounds(index);
  if (bounds.empty()) return f;
  const auto colon = bounds.find(':');
  const WholeNumber lo = ReadWholeNumber(bounds.substr(0, colon));
  const WholeNumber hi =
      colon == std::string::npos ? WholeNumber{} : ReadWholeNumber(bounds.substr(colon + 1));
  if (lo.kind != NumberKind::Number || hi.kind != NumberKind::Number) {
    error = "--free " + Shown(name) + "=" + Shown(bounds) + " needs NAME=LO:HI with two numbers";
    return std::nullopt;
  }
  f.lo = lo.value, f.hi = hi.value;
  return f;
}

// Reads --at T=...[,X=...] into the curve's conditions; empty, or why it cannot.
std::string ReadConditions(const std::string& text, fit::CurveFile& curve) {
  if (curve.T || curve.X) return "--at is given twice for --data " + curve.name + "=" + Shown(curve.path);
  std::size_t start = 0;
  while (start <= text.size()) {
    const std::size_t comma = std::min(text.find(',', start), text.size());
    const std::string item = text.substr(start, comma - start);
    const auto eq = item.find('=');
    const std::string name = item.substr(0, eq);
    if (eq == std::string::npos || (name != "T" && name != "X"))
      return "--at takes T=CELSIUS and X=SUNS, separated by a comma (got \"" + Shown(item) + "\")";
    std::optional<double>& value = name == "T" ? curve.T : curve.X;
    if (value) return "--at gives " + name + " twice";
    const BoxReading box =
        ReadBox(kParameterRows[static_cast<std::size_t>(ParameterIndex(name))], item.substr(eq + 1));
    if (!box.problem.empty()) return "--at " + name + ": " + box.problem;
    value = box.value;
    start = comma + 1;
  }
  return "";
}

// The file beside path that a picture other than the first goes to: <stem>_<what><extension>.
std::string Beside(const std::string& path, const std::string& what) {
  const fs::path p(path);
  return (p.parent_path() / (p.stem().string() + "_" + what + p.extension().string())).string();
}

// The options under which the data fit far better: "the data fit far better with --sign load".
std::string BetterReading(const fit::FitResult::Missed& missed, const FitCommandOptions& o) {
  const fit::CurveFile& given = o.curves.front();
  std::vector<std::string> options;
  if (missed.otherSign)
    options.emplace_back(given.sign == fit::SignConvention::Generator ? "--sign load" : "--sign generator");
  const bool milli = given.unit == fit::CurrentUnit::MilliamperesPerCm2;
  if (missed.scale < 1 && !milli) options.emplace_back("--units mA/cm2");
  if (missed.scale > 1 && milli) options.emplace_back("--units A/cm2");
  const bool unitMissing = missed.scale != 1 && options.size() == (missed.otherSign ? 1U : 0U);
  std::string text = "the data fit far better";
  for (std::size_t i = 0; i < options.size(); ++i) text += (i == 0 ? " with " : " and ") + options[i];
  if (unitMissing)
    text += std::string(options.empty() ? "" : ",") + " with currents a thousand times " +
            (missed.scale < 1 ? "smaller" : "larger") + " than the file's";
  return text + ".";
}

}  // namespace

namespace {

// What the fit command's options set besides the command's options: they apply to every curve once read.
struct CurveDefaults {
  fit::CurrentUnit unit = fit::CurrentUnit::AmperesPerCm2;
  fit::SignConvention sign = fit::SignConvention::Generator;
  bool coupled = false;
  std::vector<std::pair<std::string, double>> weights;
};

// A choice among named values: "--loss takes cauchy or huber, not "x"." when the value is none of them.
template <class Value>
Option Choice(std::string name, std::string value, std::string help,
              std::vector<std::pair<std::string, Value>> choices, Value& target) {
  return {{name}, std::move(value), std::move(help), [name, choices, &target](const std::string& v) {
            std::string names;
            for (std::size_t i = 0; i < choices.size(); ++i) {
              if (choices[i].first == v) {
                target = choices[i].second;
                return std::string();
              }
              names += (i == 0 ? "" : i + 1 == choices.size() ? " or " : ", ") + choices[i].first;
            }
            return name + " takes " + names + ", not \"" + Shown(v) + "\".";
          }};
}

// A whole number from 1 to 10000.
Option Count(std::string name, std::string help, int& target) {
  return {{name}, "N", std::move(help), [name, &target](const std::string& v) {
            const auto n = WholeNumberIn(v, 1, 10000);
            if (!n) return name + " takes a whole number from 1 to 10000, not \"" + Shown(v) + "\".";
            target = static_cast<int>(*n);
            return std::string();
          }};
}

// The fit command's options, bound to o and d.
OptionTable FitOptionTable(FitCommandOptions& o, CurveDefaults& d) {
  OptionTable table(kName, "pelarin-batch fit --help");
  table
      .Add(
          {{"--data"},
           "CURVE=FILE",
           "a measured curve and its configuration: lit (all junctions lit), dark, lit:1, lit:2, lit:3 (that "
           "junction alone lit), lit:12, lit:13, lit:23 (that pair lit). FILE holds two columns, V and J "
           "(TAB, comma, semicolon or blanks between them, an optional header line, decimal commas as the "
           "form reads them), or is one of the program's own tables; any other line is refused, naming it",
           [&o](const std::string& v) {
             const auto eq = v.find('=');
             if (eq == std::string::npos) return "--data needs CURVE=FILE, not \"" + Shown(v) + "\".";
             if (!fit::LitSetOf(v.substr(0, eq)))
               return "--data " + Shown(v.substr(0, eq)) + "=...: the configurations are " +
                      fit::CurveConfigurationList() + ".";
             o.curves.push_back({.name = v.substr(0, eq), .path = v.substr(eq + 1)});
             return std::string();
           }})
      .Add(Choice<fit::CurrentUnit>(
          "--units", "UNIT", "the files' current densities in A/cm2 (default) or mA/cm2",
          {{"A/cm2", fit::CurrentUnit::AmperesPerCm2}, {"mA/cm2", fit::CurrentUnit::MilliamperesPerCm2}},
          d.unit))
      .Add(Choice<fit::SignConvention>(
          "--sign", "SIGN",
          "generator (default: the program's, a lit cell's current positive) or load (a lit cell's current "
          "negative, as most measurements write it)",
          {{"generator", fit::SignConvention::Generator}, {"load", fit::SignConvention::Load}}, d.sign))
      .Add({{"--columns"},
            "V,J",
            "after a --data: the columns (from 1) of V and J in a file of more than two; the program's own "
            "tables are read by their header (V and the current) without it",
            [&o](const std::string& v) {
              if (o.curves.empty())
                return std::string("--columns names the columns of the --data before it; there is none.");
              int a = 0, b = 0;
              char rest = 0;
              if (std::sscanf(v.c_str(), "%d,%d%c", &a, &b, &rest) != 2 || a < 1 || b < 1 || a == b ||
                  a > 1000 || b > 1000)
                return "--columns takes the V and J columns as two different numbers from 1, such as 1,2 "
                       "(got \"" +
                       Shown(v) + "\").";
              o.curves.back().columns = std::pair{a, b};
              return std::string();
            }})
      .Add({{"--at"},
            "T=C[,X=S]",
            "after a --data: the temperature (degrees C) and concentration (suns) that curve was measured at "
            "(default: the form's T and X). Every curve is fitted with the same cell at its own conditions, "
            "so curves at several temperatures tell the band gaps apart",
            [&o](const std::string& v) {
              if (o.curves.empty())
                return std::string("--at gives the conditions of the --data before it; there is none.");
              const std::string problem = ReadConditions(v, o.curves.back());
              return problem.empty() ? problem : problem + ".";
            }})
      .Add(FlagOption("--coupled", d.coupled, "the curves are of the stack inside the Rl/Rg network"))
      .Add({{"--free"},
            "NAME[=LO:HI]",
            "a parameter to fit, within bounds (default: the values the form accepts, narrowed to physical "
            "ones); resistances and saturation currents on a log scale, photocurrents and ideality factors "
            "on a linear one; also X, Eg1..3, alpha1..3 (X on a log scale) and the coupling physics beta2, "
            "beta3, Abd1..3, Vbd1..3, nbd1..3.\nThe others keep the form's values",
            [&o](const std::string& v) {
              const auto eq = v.find('=');
              o.free.emplace_back(v.substr(0, eq), eq == std::string::npos ? "" : v.substr(eq + 1));
              return std::string();
            }})
      .Add(TextOption("--params", "START.plr", o.params,
                      "the form's values: the fixed parameters and the first start"))
      .Add(SetOption(o.sets,
                     "type TEXT into the box of parameter NAME, after --params, read as the window reads it"))
      .Add(Count("--starts",
                 "starts (default 16): the form's values, then points spread over the bounds; of 8 or more, "
                 "the last quarter from the best point so far, one parameter drawn anew in each",
                 o.starts))
      .Add(Count("-j", "threads (default: one per core)", o.threads))
      .Add({{"--seed"},
            "S",
            "the spread of the starts (default 1)",
            [&o](const std::string& v) {
              char* end = nullptr;
              o.seed = std::strtoull(v.c_str(), &end, 10);
              if (v.empty() || *end != '\0' || v[0] == '-')
                return "--seed takes a whole number, not \"" + Shown(v) + "\".";
              return std::string();
            }})
      .Add(Choice<fit::Loss>("--loss", "LOSS",
                             "cauchy or huber: outliers beyond a tenth (of a lit curve's largest |J|, or of "
                             "a decade of a dark one) count less",
                             {{"cauchy", fit::Loss::Cauchy}, {"huber", fit::Loss::Huber}}, o.loss))
      .Add({{"--dark-floor"},
            "J",
            "dark points below J in |J| (A/cm2, default 1e-9) do not count",
            [&o](const std::string& v) {
              const WholeNumber floor = ReadWholeNumber(v);
              if (floor.kind != NumberKind::Number || floor.value < 0)
                return "--dark-floor takes a current density of 0 or more in A/cm2, not \"" + Shown(v) +
                       "\".";
              o.darkFloor = floor.value;
              return std::string();
            }})
      .Add({{"--weight"},
            "CURVE=W",
            "the weight of a curve's residuals (default 1)",
            [&d](const std::string& v) {
              const auto eq = v.find('=');
              const WholeNumber w =
                  eq == std::string::npos ? WholeNumber{} : ReadWholeNumber(v.substr(eq + 1));
              if (w.kind != NumberKind::Number || !(w.value > 0))
                return "--weight needs CURVE=W with a weight above 0, not \"" + Shown(v) + "\".";
              d.weights.emplace_back(v.substr(0, eq), w.value);
              return std::string();
            }})
      .Add(TextOption("--out", "FITTED.plr", o.out,
                      "the fitted parameter file (written even when the fit did not converge)"))
      .Add(TextOption("--report", "FILE.csv", o.report,
                      "parameter,start,fitted,standard error,95% low,95% high,unit; a blank line; then "
                      "curve,points,RMS residual"))
      .Add({{"--plot"},
            "FILE.png",
            "the lit curves with the fitted model; beside it FILE_dark.png (dark curves, on decades) and "
            "FILE_residuals.png (or .svg)",
            [&o](const std::string& v) {
              const std::string ext = fs::path(v).extension().string();
              if (ext != ".png" && ext != ".svg")
                return "--plot takes a file ending in .png or .svg, not \"" + Shown(v) + "\".";
              o.plot = v;
              return std::string();
            }})
      .Add(FlagOption("--overwrite", o.overwrite, "replace the files that exist"))
      .Add(HelpOption(o.help));
  return table;
}

}  // namespace

std::string FitHelp() {
  FitCommandOptions unused;
  CurveDefaults unusedDefaults;
  return R"(Usage: pelarin-batch fit --data CURVE=FILE [--columns V,J] [--at T=C[,X=S]]... --free NAME[=LO:HI]...
                         --out FITTED.plr [--params START.plr] [--set NAME=TEXT]... [--report REPORT.csv]
                         [--plot FILE.png|FILE.svg] [--starts N] [--loss cauchy|huber] [-j N] [--seed S]
                         [--units A/cm2|mA/cm2] [--sign generator|load] [--coupled] [--dark-floor J]
                         [--weight CURVE=W]... [--overwrite]

Fits the free parameters of the cell to measured J(V) curves: the exact solution of the circuit is brought
as close to every curve at once as the bounds allow, by bounded Levenberg-Marquardt from several starts.

)" + FitOptionTable(unused, unusedDefaults).Help() +
         R"(
Lit residuals are in fractions of the curve's largest |J|, dark ones in decades (log10 |J|), so every decade
counts. The report gives each free parameter's standard error and 95 % interval from the covariance at the
best point, each curve's noise estimated from its own residuals (clipped to the bounds, and said so), the RMS
residual of each curve, other minima as good as the best, and warnings when the data cannot determine a
parameter or cannot tell two apart, a value ends on a bound, or only one start reached the best cost.
Exit status: 0 converged, 2 refused input, 3 a file in the way (nothing written), 4 not converged (the best
point is written and the report says so) or a file that could not be written.
)";
}

std::optional<FitCommandOptions> ParseFitOptions(const std::vector<std::string>& args, std::ostream& err) {
  FitCommandOptions o;
  CurveDefaults d;
  const auto refuse = [&](const std::string& sentence) {
    err << kName << sentence << "\n";
    return std::nullopt;
  };
  if (!FitOptionTable(o, d).Parse(args, err)) return std::nullopt;
  if (o.help) return o;
  if (o.curves.empty()) return refuse("give at least one --data CURVE=FILE.");
  if (o.free.empty()) return refuse("give at least one --free NAME.");
  if (o.out.empty()) return refuse("--out FITTED.plr is required.");
  for (fit::CurveFile& c : o.curves) c.unit = d.unit, c.sign = d.sign, c.coupled = d.coupled;
  // One measurement counts once: the same file at the same conditions twice is a mistake.
  for (std::size_t i = 0; i < o.curves.size(); ++i)
    for (std::size_t j = 0; j < i; ++j) {
      const fit::CurveFile &a = o.curves[i], &b = o.curves[j];
      std::error_code ec;
      const fs::path pa = fs::absolute(a.path, ec).lexically_normal(),
                     pb = fs::absolute(b.path, ec).lexically_normal();
      if (pa == pb && a.T == b.T && a.X == b.X)
        return refuse("--data " + Shown(a.path) + " is given twice at the same conditions.");
    }
  for (const auto& [name, weight] : d.weights) {
    bool found = false;
    for (fit::CurveFile& c : o.curves)
      if (c.name == name) c.weight = weight, found = true;
    if (!found) return refuse("--weight " + Shown(name) + ": no --data has that curve.");
  }
  return o;
}

int RunFit(const FitCommandOptions& o, std::ostream& out, std::ostream& err, const std::atomic<bool>& stop,
           const ImageSaver& saveImage) {
  if (o.help) {
    out << FitHelp();
    return kBatchOk;
  }
  fit::FitOptions options;
  State state;
  if (const int status = ReadFormOrRefuse(o.params, o.sets, state, err, kName); status != kBatchOk)
    return status;
  options.start = state.formValues;
  options.starts = o.starts, options.threads = o.threads, options.seed = o.seed;
  options.loss = o.loss, options.darkFloor = o.darkFloor;
  std::string error;
  for (const auto& [name, bounds] : o.free) {
    const auto f = FreeOf(name, bounds, error);
    if (!f) {
      err << kName << error << ".\n";
      return kBatchUsage;
    }
    options.free.push_back(*f);
  }
  // Every file the fit writes, checked before anything is read or computed.
  std::error_code ec;
  std::vector<std::string> outputs = {fs::absolute(o.out, ec).string()};
  if (o.report) outputs.push_back(fs::absolute(*o.report, ec).string());
  try {
    for (const fit::CurveFile& file : o.curves) options.curves.push_back(fit::LoadCurve(file));
  } catch (const std::exception& e) {
    err << kName << e.what() << "\n";
    return kBatchUsage;
  }
  if (const auto problem = options.Problem()) {
    err << kName << *problem << ".\n";
    return kBatchUsage;
  }
  std::vector<std::pair<fit::FitPicture, std::string>> pictures;
  if (o.plot) {
    const std::string plot = fs::absolute(*o.plot, ec).string();
    pictures.emplace_back(fit::FitPicture::Lit, plot);
    pictures.emplace_back(fit::FitPicture::Dark, Beside(plot, "dark"));
    pictures.emplace_back(fit::FitPicture::Residuals, Beside(plot, "residuals"));
    std::erase_if(pictures, [&](const auto& p) { return !fit::HasPicture(options, p.first); });
    for (const auto& p : pictures) outputs.push_back(p.second);
  }
  // No output is an input or another output; each can be written where it goes.
  std::vector<std::string> inputs;
  for (const fit::CurveFile& file : o.curves) inputs.push_back(fs::absolute(file.path, ec).string());
  if (o.params) inputs.push_back(fs::absolute(*o.params, ec).string());
  std::vector<std::string> named = outputs;
  if (o.out.empty()) named[0].clear();
  if (o.report && o.report->empty()) named[1].clear();
  if (const std::string why = OutputsProblem(named, inputs); !why.empty()) {
    err << kName << why << "; nothing was computed or written.\n";
    return kBatchUsage;
  }
  for (const std::string& path : outputs) {
    try {  // a file can be made where it goes: the folder exists and takes it
      const std::string temp = CreateTemporaryBeside(path);
      fs::remove(temp, ec);
    } catch (const FileError& e) {
      err << kName << e.what() << " Nothing was computed or written.\n";
      return kBatchUsage;
    }
  }
  const auto inTheWay = [&err](const std::string& path) {
    err << kName << path
        << " exists already; nothing was computed or written (give --overwrite to replace it).\n";
    return kBatchOverwriteDeclined;
  };
  for (const std::string& path : outputs)
    if (!o.overwrite && SomethingAt(path)) return inTheWay(path);
  // Without --overwrite, an output goes only where the name is still free when it is put in place.
  const Replacing replacing = o.overwrite ? Replacing::Allowed : Replacing::Refused;

  fit::FitResult result;
  try {
    result = fit::Fit(options, [&](const ProgressReport& report) {
      if (report.done > 0) {
        if (o.terminal) err << "\r";
        err << "fit: " << report.done << " of " << report.of << " starts, best cost " << Number(report.best)
            << (o.terminal ? "" : "\n") << std::flush;
      }
      return stop ? CallbackReturn::Stop : CallbackReturn::Continue;
    });
    if (o.terminal) err << "\n";
  } catch (const std::exception& e) {
    err << kName << e.what() << "\n";
    return kBatchFailed;
  }
  out << fit::FitReportText(options, result);
  if (result.missed && result.missed->fitsBetter) err << kName << BetterReading(*result.missed, o) << "\n";
  int status = result.converged && !result.stopped ? kBatchOk : kBatchFailed;
  // Every output or none: the pictures drawn into temporaries first, then the fitted file and the report
  // written as a set, then the pictures put in place.
  std::vector<std::pair<std::string, std::string>> pictureTemps;  // temporary, path
  const auto dropPictures = [&] {
    for (const auto& [temp, path] : pictureTemps) fs::remove(temp, ec);
  };
  try {
    for (const auto& [picture, path] : pictures) {
      RecordingSurface drawing;
      try {
        fit::DrawFitPicture(options, result, picture, drawing);
      } catch (const CalcError& e) {
        throw FileError(std::string("--plot: ") + e.what());
      }
      const std::string temp = CreateTemporaryBeside(path);
      pictureTemps.emplace_back(temp, path);
      if (!saveImage || !saveImage(drawing, 945, 626, temp))
        throw FileError("--plot: cannot write " + path + ".");
    }
    std::vector<std::pair<std::string, std::string>> files = {{outputs[0], ParameterFileText(result.fitted)}};
    if (o.report) files.emplace_back(outputs[1], fit::FitReportCsv(options, result));
    WriteFilesAsSet(files, replacing);
    for (const auto& [path, text] : files) out << "written: " << path << "\n";
  } catch (const FileExistsError& e) {  // another run wrote it meanwhile
    dropPictures();
    return inTheWay(e.Path());
  } catch (const FileError& e) {
    dropPictures();
    err << kName << e.what() << " Nothing was written.\n";
    return kBatchFailed;
  }
  for (const auto& [temp, path] : pictureTemps) {
    try {
      ReplaceWithTemporary(temp, path, replacing);
      out << "written: " << path << "\n";
    } catch (const FileExistsError&) {
      status = inTheWay(path);
    } catch (const FileError& e) {
      err << kName << e.what() << "\n";
      status = kBatchFailed;
    }
  }
  return status;
}

}  // namespace pelarin
