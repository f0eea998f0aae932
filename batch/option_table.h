// The options of a batch command, described once: each option's names, the value it takes, its help text
// and what it does with the value. The table parses the command line and writes the options part of the
// command's --help, so that the two cannot drift apart.
#pragma once

#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace pelarin {

struct Option {
  std::vector<std::string> names;  // "--vary"; "--help", "-h"
  std::string value;               // how the help writes its value ("NAME=TEXT"); empty for a flag
  // One or more paragraphs, each begun on a line of its own (separated by "\n"), wrapped beside the names.
  std::string help;
  // Takes the value (empty for a flag); returns why it is refused, as a sentence with its stop, or "".
  std::function<std::string(const std::string& value)> take;
  // The value follows "=" in the same word and may be left out (--images, --images=png).
  bool attached = false;
};

class OptionTable {
 public:
  // prefix starts every refusal ("pelarin-batch scan: "); seeHelp is where the user learns the options
  // ("pelarin-batch scan --help").
  OptionTable(std::string prefix, std::string seeHelp)
      : prefix_(std::move(prefix)), seeHelp_(std::move(seeHelp)) {}

  OptionTable& Add(Option option);
  // What a word that is no option does (a study's name); it is refused when none is given.
  OptionTable& Operand(std::function<std::string(const std::string& word)> take);

  // Reads the words in order; the first refusal is written to err after the prefix. False then.
  [[nodiscard]] bool Parse(const std::vector<std::string>& args, std::ostream& err) const;
  // Writes a refusal made after the words were read (a required option missing) and returns false.
  bool Refuse(const std::string& sentence, std::ostream& err) const;

  // The options as --help lists them: names and value, then the help wrapped at column 22.
  [[nodiscard]] std::string Help() const;

 private:
  std::string prefix_, seeHelp_;
  std::vector<Option> options_;
  std::function<std::string(const std::string&)> operand_;
};

// The options that several commands share, refused in the same words by each.
[[nodiscard]] Option HelpOption(bool& help);
[[nodiscard]] Option SetOption(std::vector<std::pair<std::string, std::string>>& sets, std::string help);
[[nodiscard]] Option IncidentPowerOption(double& power);
// The study a command runs, named by the one word that is no option.
[[nodiscard]] std::function<std::string(const std::string&)> StudyOperand(std::string& study);
[[nodiscard]] Option FlagOption(std::string name, bool& flag, std::string help);
// An option whose value is kept as typed, in a std::string or a std::optional<std::string>.
template <class Text>
[[nodiscard]] Option TextOption(std::string name, std::string value, Text& text, std::string help) {
  return {{std::move(name)}, std::move(value), std::move(help), [&text](const std::string& v) {
            text = v;
            return std::string();
          }};
}

// The studies' batch names as "a, b and c": every study, or those that draw lit J(V) curves.
[[nodiscard]] std::string StudyList(bool litCurvesOnly);

// A whole number written as such (no sign, blank or other character) from low to high; nothing otherwise.
[[nodiscard]] std::optional<long long> WholeNumberIn(const std::string& text, long long low, long long high);

}  // namespace pelarin
