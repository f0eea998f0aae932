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
// is then a decimal comma); otherwise blanks do; otherwise a single comma.
std::optional<std::pair<double, double>> Pair(std::string line, std::string& why) {
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
  if (fields.size() != 2) {
    why = "holds " + std::to_string(fields.size()) + " columns, not two";
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

}  // namespace

MeasuredColumns ReadMeasuredColumnsText(std::string_view text, const std::string& name) {
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
    const auto pair = Pair(line, why);
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

MeasuredColumns ReadMeasuredColumns(const std::string& path) {
  return ReadMeasuredColumnsText(ReadFileStart(path, kLargestFile).bytes, path);
}

}  // namespace pelarin
