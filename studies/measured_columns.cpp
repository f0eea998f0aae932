#include "studies/measured_columns.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include "model/calc_error.h"
#include "model/number_text.h"
#include "workspace/study_folder.h"

namespace pelarin {
namespace {

constexpr std::size_t kLargestFile = 64 << 20;

// One field as a finite number, decimal comma or point; nothing when it is not one whole number.
std::optional<double> Field(std::string text) {
  ConvertAll(text);
  const WholeNumber number = ReadWholeNumber(text);
  if (number.kind != NumberKind::Number || !std::isfinite(number.value)) return std::nullopt;
  return number.value;
}

std::vector<std::string> SplitAt(const std::string& line, const std::string& separators) {
  std::vector<std::string> fields(1);
  for (const char c : line) {
    if (separators.find(c) != std::string::npos) {
      if (!fields.back().empty() || separators.find(' ') == std::string::npos) fields.emplace_back();
    } else {
      fields.back() += c;
    }
  }
  if (fields.back().empty() && fields.size() > 1 && separators.find(' ') != std::string::npos)
    fields.pop_back();
  return fields;
}

// The two numbers of a data line, or why it is not one. A TAB or a semicolon separates the columns (a comma
// is then a decimal comma); otherwise blanks do; otherwise a single comma. columns (1-based) names the two
// to read from a line of more; without it a line holds exactly two.
std::optional<std::pair<double, double>> Pair(std::string line, std::string& why,
                                              const std::optional<std::pair<int, int>>& columns) {
  while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) line.pop_back();
  std::size_t first = line.find_first_not_of(" \t");
  line = first == std::string::npos ? std::string() : line.substr(first);
  std::vector<std::string> fields;
  if (line.find_first_of("\t;") != std::string::npos) {
    fields = SplitAt(line, "\t;");
    for (std::string& f : fields) {
      const auto a = f.find_first_not_of(' '), b = f.find_last_not_of(' ');
      f = a == std::string::npos ? std::string() : f.substr(a, b - a + 1);
    }
  } else if (line.find(' ') != std::string::npos) {
    fields = SplitAt(line, " ");
  } else {
    const auto commas = static_cast<int>(std::count(line.begin(), line.end(), ','));
    if (commas != 1) {
      why = commas == 0
                ? "holds one column, not two"
                : "has " + std::to_string(commas) + " commas: the columns cannot be told from decimal commas";
      return std::nullopt;
    }
    fields = SplitAt(line, ",");
  }
  if (columns) {
    const auto last = static_cast<std::size_t>(std::max(columns->first, columns->second));
    if (fields.size() < last) {
      why = "holds " + std::to_string(fields.size()) + " columns, not the " + std::to_string(last) +
            " the columns " + std::to_string(columns->first) + "," + std::to_string(columns->second) +
            " need";
      return std::nullopt;
    }
    fields = {fields[static_cast<std::size_t>(columns->first - 1)],
              fields[static_cast<std::size_t>(columns->second - 1)]};
  }
  if (fields.size() != 2) {
    why = "holds " + std::to_string(fields.size()) +
          " columns, not two (name the two to read, V and J, as --columns 1,2 does)";
    return std::nullopt;
  }
  const auto v = Field(fields[0]), j = Field(fields[1]);
  if (!v || !j) {
    why = "is not two finite numbers";
    return std::nullopt;
  }
  return std::pair{*v, *j};
}

// The line as a message quotes it: control characters shown as blanks, at most 40 characters.
std::string Quoted(const std::string& line) {
  std::string shown;
  for (const char c : line.substr(0, 40)) shown += static_cast<unsigned char>(c) < 32 ? ' ' : c;
  return "\"" + shown + (line.size() > 40 ? "...\"" : "\"");
}

// Whether a line is the header of one of the program's result tables: "V (V)" and "Current (A/cm2)" first.
bool IsOwnTableHeader(const std::string& line) {
  std::vector<std::string> titles = SplitAt(line, "\t");
  if (titles.size() < 2) return false;
  for (std::string& t : titles) {
    const auto a = t.find_first_not_of(' '), b = t.find_last_not_of(' ');
    t = a == std::string::npos ? std::string() : t.substr(a, b - a + 1);
  }
  return titles[0] == "V (V)" && titles[1] == "Current (A/cm2)";
}

}  // namespace

MeasuredColumns ReadMeasuredColumnsText(std::string_view text, const std::string& name,
                                        std::optional<std::pair<int, int>> columns) {
  MeasuredColumns curve;
  std::size_t at = 0;
  bool headerPossible = true;
  for (int lineNumber = 1; at < text.size(); ++lineNumber) {
    auto end = text.find('\n', at);
    if (end == std::string_view::npos) end = text.size();
    std::string line(text.substr(at, end - at));
    at = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.find_first_not_of(" \t") == std::string::npos) continue;  // a blank line
    std::string why;
    // The program's own tables say so in their header: their first two columns are V and the current.
    if (headerPossible && !columns && IsOwnTableHeader(line)) {
      headerPossible = false;
      columns = std::pair{1, 2};
      continue;
    }
    const auto pair = Pair(line, why, columns);
    if (!pair) {
      // The first line that holds anything may be the columns' titles: text, not numbers.
      if (headerPossible && line.find_first_not_of("0123456789+-.,;eE \t") != std::string::npos) {
        headerPossible = false;
        continue;
      }
      std::string message = name + ", line " + std::to_string(lineNumber) + " ";
      message += Quoted(line) + ": " + why + ".";
      throw FileError(message);
    }
    headerPossible = false;
    curve.V.push_back(pair->first);
    curve.J.push_back(pair->second);
  }
  if (curve.V.empty()) throw FileError(name + " holds no line of two numbers (voltage and current density).");
  return curve;
}

MeasuredColumns ReadMeasuredColumns(const std::string& path, std::optional<std::pair<int, int>> columns) {
  return ReadMeasuredColumnsText(ReadFileStart(path, kLargestFile).bytes, path, columns);
}

}  // namespace pelarin
