// The F1 help tells the truth about the program it comes with: what it can derive from the program itself
// (the studies from their registry, the batch tool's commands and options from their --help, the reading
// rules of the boxes from the parameter table and the form's own reading) must agree with the help's text.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <regex>
#include <sstream>
#include <string>

#include "batch/batch.h"
#include "batch/figures_command.h"
#include "batch/fit_command.h"
#include "batch/scan_command.h"
#include "common/temp_folder.h"
#include "model/number_text.h"
#include "model/parameter_table.h"
#include "studies/study_registry.h"
#include "workspace/read_parameters.h"

namespace pelarin {
namespace {

// The help's text with its line breaks and runs of blanks made single blanks.
std::string Help() {
  const std::string html =
      testing::Read(std::filesystem::path(PELARIN_TEST_DATA) / ".." / ".." / "doc" / "HelpPelarin.html");
  std::string text;
  for (const char c : html) {
    const char d = c == '\n' || c == '\r' || c == '\t' ? ' ' : c;
    if (d != ' ' || text.empty() || text.back() != ' ') text += d;
  }
  return text;
}

TEST(Help, NamesEveryStudyAsTheRegistryDescribesIt) {
  const std::string help = Help();
  for (const StudyEntry& study : Studies()) {
    EXPECT_NE(help.find("<tt>" + std::string(study.batchName) + "</tt>: " + std::string(study.summary)),
              std::string::npos)
        << study.batchName;
  }
}

TEST(Help, MentionsOnlyOptionsTheBatchToolHasAndEveryCommand) {
  const std::string help = Help();
  const std::string usage = BatchHelp() + ScanHelp() + FiguresHelp() + FitHelp();
  const std::regex option("--[a-z][a-z-]*");
  for (std::sregex_iterator it(help.begin(), help.end(), option), end; it != end; ++it)
    EXPECT_NE(usage.find(it->str()), std::string::npos) << it->str() << " is in the help, not in --help";
  for (const char* command :
       {"pelarin-batch figures", "pelarin-batch fit", "pelarin-batch scan", "scan-merge"})
    EXPECT_NE(help.find(command), std::string::npos) << command;
}

// Each command's --help lists its options in lines that fit 110 columns, and each option of the list is
// one the command reads (an unknown one is refused as unknown).
TEST(Help, EveryCommandsOptionListIsItsParser) {
  const auto refusalOf = [](auto parse, const std::string& option) -> std::optional<std::string> {
    std::ostringstream err;
    static_cast<void>(parse({option}, err));
    return err.str();
  };
  const std::pair<std::string, std::function<std::string(const std::string&)>> commands[] = {
      {BatchHelp(), [&](const std::string& o) { return *refusalOf(ParseBatchOptions, o); }},
      {ScanHelp(), [&](const std::string& o) { return *refusalOf(ParseScanOptions, o); }},
      {FiguresHelp(), [&](const std::string& o) { return *refusalOf(ParseFiguresOptions, o); }},
      {FitHelp(), [&](const std::string& o) { return *refusalOf(ParseFitOptions, o); }},
  };
  const std::regex listed("\\n  (-[-a-z]+)");
  for (const auto& [help, refusal] : commands) {
    std::istringstream lines(help);
    for (std::string line; std::getline(lines, line);) {
      if (line.starts_with("  -") || line.starts_with(std::string(22, ' '))) {
        EXPECT_LE(line.size(), 110u) << line;
      }
    }
    int options = 0;
    for (std::sregex_iterator it(help.begin(), help.end(), listed), end; it != end; ++it, ++options)
      EXPECT_EQ(refusal((*it)[1].str()).find("unknown option"), std::string::npos) << (*it)[1].str();
    EXPECT_GE(options, 5) << help.substr(0, 40);
    EXPECT_NE(refusal("--no-such-option").find("unknown option"), std::string::npos);
  }
}

TEST(Help, StatesTheBoxesReadingRulesAsTheFormReadsThem) {
  const std::string help = Help();
  // Rules the help once stated and the program no longer follows.
  for (const char* stale : {"reads as 0", "Nothing else is checked", "Rp1 to Rg2", "runs to its end before"})
    EXPECT_EQ(help.find(stale), std::string::npos) << stale;
  for (const ParameterRow& row : kParameterRows) {
    const std::string name(row.name);
    EXPECT_FALSE(ReadBox(row, "abc").problem.empty()) << name << ": text that is no number is refused";
    switch (row.rule) {
      case ReadRule::Resistance:
        EXPECT_NE(
            help.find("resistance of 0 (or an empty box) becomes " + ShortestText(ReadBox(row, "0").value)),
            std::string::npos)
            << name;
        break;
      case ReadRule::Coupling: {
        const std::string lower = ShortestText(ReadBox(row, "0").value);
        const double upper = ReadBox(row, "1e20").value;
        std::string saysLimit = lower;  // "5 for Rl1", "10 for Rl2, Rg1, Rg2 and Rg3"
        saysLimit += " for[^.]*" + name;
        EXPECT_TRUE(std::regex_search(help, std::regex(saysLimit))) << name << " " << lower;
        std::smatch said;
        ASSERT_TRUE(std::regex_search(help, said, std::regex("one above ([0-9e.+]+) becomes ([0-9e.+]+)")));
        EXPECT_EQ(Val(said[1].str()), upper) << name;
        EXPECT_EQ(Val(said[2].str()), upper) << name;
        break;
      }
      case ReadRule::IdealityFactor:
        EXPECT_FALSE(ReadBox(row, "0").problem.empty());
        EXPECT_NE(help.find("ideality factor that is not above 0"), std::string::npos);
        break;
      case ReadRule::Bounded: {
        // The help's range of the quantity, as the box reads it at both ends.
        const auto number = [](double x) { return (std::ostringstream() << x).str(); };
        const std::string range =
            !row.highClosed ? "above " + number(row.low) + " and below " + number(row.high)
            : row.lowClosed ? "from " + number(row.low) + " to " + number(row.high)
                            : "above " + number(row.low) + " and at most " + number(row.high);
        // The table row whose first cell names the quantity states its range.
        bool stated = false;
        for (std::size_t row = help.find("<tr><td>"); row != std::string::npos;
             row = help.find("<tr><td>", row + 1)) {
          const std::string line = help.substr(row, help.find("</tr>", row) - row);
          const std::string first = line.substr(8, line.find("</td>") - 8);
          if (first.find(name) != std::string::npos && line.find(range) != std::string::npos) stated = true;
        }
        EXPECT_TRUE(stated) << name << ": " << range;
        EXPECT_EQ(ReadBox(row, ShortestText(row.low)).problem.empty(), row.lowClosed) << name;
        EXPECT_EQ(ReadBox(row, ShortestText(row.high)).problem.empty(), row.highClosed) << name;
        EXPECT_FALSE(ReadBox(row, ShortestText(row.high * 1.0001 + 1e-9)).problem.empty()) << name;
        break;
      }
      case ReadRule::Photocurrent:
      case ReadRule::SaturationCurrent:
        EXPECT_FALSE(ReadBox(row, "-1").problem.empty());
        EXPECT_NE(help.find("negative resistance, photocurrent or saturation current is refused"),
                  std::string::npos);
        break;
    }
  }
}

}  // namespace
}  // namespace pelarin
