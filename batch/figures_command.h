// pelarin-batch figures: the figures of merit of every lit curve a study draws, solved exactly from the
// circuit instead of read off a sweep.
#pragma once

#include <iosfwd>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "model/state.h"

namespace pelarin {

struct FiguresOptions {
  std::string study;
  std::optional<std::string> params;
  std::vector<std::pair<std::string, std::string>> sets;  // NAME, TEXT in command-line order
  std::optional<std::string> summary;                     // CSV file, the columns of a study's --summary
  double incidentPower = 100;                             // mW/cm2
  bool overwrite = false;
  bool help = false;
};

// Parses the arguments after "figures"; on a usage error writes a sentence to err and returns nothing.
[[nodiscard]] std::optional<FiguresOptions> ParseFiguresOptions(const std::vector<std::string>& args,
                                                                std::ostream& err);

// The help of the figures command.
[[nodiscard]] std::string FiguresHelp();

// Prints one line per lit curve and writes the summary; returns the exit status of the studies: 0 done,
// 2 refused, 3 the summary exists (give --overwrite), 4 a curve has no figures (calculation error).
int RunFigures(const FiguresOptions& options, std::ostream& out, std::ostream& err);

}  // namespace pelarin
