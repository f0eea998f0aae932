#include "batch/option_table.h"

#include <ostream>

#include "app/shown_text.h"
#include "model/parameter_table.h"
#include "studies/study_registry.h"
#include "workspace/read_parameters.h"

namespace pelarin {
namespace {

constexpr std::size_t kHelpColumn = 22;  // where the help text starts
constexpr std::size_t kHelpWidth = 110;  // the longest line

// Words of text wrapped from column `at` up to kHelpWidth, lines after the first indented to kHelpColumn.
void Wrap(std::string& out, const std::string& text, std::size_t at) {
  std::size_t column = at;
  bool first = true;
  for (std::size_t start = 0; start < text.size();) {
    std::size_t end = text.find_first_of(" \n", start);
    if (end == std::string::npos) end = text.size();
    const std::string word = text.substr(start, end - start);
    if (!first && column + 1 + word.size() > kHelpWidth) {
      out += "\n" + std::string(kHelpColumn, ' ');
      column = kHelpColumn;
    } else if (!first) {
      out += ' ';
      ++column;
    }
    out += word;
    column += word.size();
    first = false;
    if (end < text.size() && text[end] == '\n') {  // a paragraph of its own
      out += "\n" + std::string(kHelpColumn, ' ');
      column = kHelpColumn;
      first = true;
    }
    start = end + 1;
  }
}

}  // namespace

OptionTable& OptionTable::Add(Option option) {
  options_.push_back(std::move(option));
  return *this;
}

OptionTable& OptionTable::Operand(std::function<std::string(const std::string& word)> take) {
  operand_ = std::move(take);
  return *this;
}

bool OptionTable::Refuse(const std::string& sentence, std::ostream& err) const {
  err << prefix_ << sentence << "\n";
  return false;
}

bool OptionTable::Parse(const std::vector<std::string>& args, std::ostream& err) const {
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const Option* found = nullptr;
    std::string value;
    for (const Option& option : options_)
      for (const std::string& name : option.names) {
        if (arg == name) found = &option;
        if (option.attached && arg.starts_with(name + "="))
          found = &option, value = arg.substr(name.size() + 1);
      }
    if (!found) {
      if (!arg.empty() && arg[0] == '-')
        return Refuse("unknown option " + Shown(arg) + " (see " + seeHelp_ + ").", err);
      if (!operand_) return Refuse("unexpected \"" + Shown(arg) + "\" (see " + seeHelp_ + ").", err);
      if (const std::string why = operand_(arg); !why.empty()) return Refuse(why, err);
      continue;
    }
    if (!found->value.empty() && !found->attached) {
      if (i + 1 >= args.size()) return Refuse(arg + " needs a value.", err);
      value = args[++i];
    }
    if (const std::string why = found->take(value); !why.empty()) return Refuse(why, err);
  }
  return true;
}

std::string OptionTable::Help() const {
  std::string help;
  for (const Option& option : options_) {
    std::string head = "  ";
    for (std::size_t n = 0; n < option.names.size(); ++n) head += (n > 0 ? ", " : "") + option.names[n];
    if (!option.value.empty()) head += (option.attached ? "[=" + option.value + "]" : " " + option.value);
    head.resize(std::max(head.size() + 2, kHelpColumn), ' ');
    help += head;
    Wrap(help, option.help, head.size());
    help += "\n";
  }
  return help;
}

Option HelpOption(bool& help) {
  return {{"--help", "-h"}, "", "show this text", [&help](const std::string&) {
            help = true;
            return std::string();
          }};
}

Option SetOption(std::vector<std::pair<std::string, std::string>>& sets, std::string help) {
  return {{"--set"}, "NAME=TEXT", std::move(help), [&sets](const std::string& v) {
            const auto eq = v.find('=');
            if (eq == std::string::npos || ParameterIndex(v.substr(0, eq)) < 0)
              return "--set needs NAME=TEXT with a parameter name such as Jsc2 (got \"" + Shown(v) + "\").";
            sets.emplace_back(v.substr(0, eq), v.substr(eq + 1));
            return std::string();
          }};
}

Option IncidentPowerOption(double& power) {
  return {{"--incident-power"},
          "P",
          "the incident power the efficiency refers to, in mW/cm2 (default 100)",
          [&power](const std::string& v) {
            const std::optional<double> read = ReadIncidentPower(v);
            if (!read) return "--incident-power needs a power above 0 in mW/cm2 (got \"" + Shown(v) + "\").";
            power = *read;
            return std::string();
          }};
}

Option FlagOption(std::string name, bool& flag, std::string help) {
  return {{std::move(name)}, "", std::move(help), [&flag](const std::string&) {
            flag = true;
            return std::string();
          }};
}

std::function<std::string(const std::string&)> StudyOperand(std::string& study) {
  return [&study](const std::string& word) {
    if (!study.empty())
      return "one study at a time (got \"" + Shown(study) + "\" and \"" + Shown(word) + "\").";
    study = word;
    return std::string();
  };
}

std::string StudyList(bool litCurvesOnly) {
  std::vector<std::string_view> names;
  for (const StudyEntry& study : Studies())
    if (!litCurvesOnly || study.exact.curves != LitCurves::None) names.push_back(study.batchName);
  std::string text;
  for (std::size_t i = 0; i < names.size(); ++i)
    text.append(i == 0 ? "" : i + 1 == names.size() ? " and " : ", ").append(names[i]);
  return text;
}

std::optional<long long> WholeNumberIn(const std::string& text, long long low, long long high) {
  if (text.empty() || text.size() > 18) return std::nullopt;
  long long n = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    n = n * 10 + (c - '0');
  }
  if (n < low || n > high || std::to_string(n) != text) return std::nullopt;
  return n;
}

}  // namespace pelarin
