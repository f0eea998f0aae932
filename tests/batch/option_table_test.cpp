// The option table reads a command line as its rows say and refuses in the command's words: a missing value,
// an unknown option, a second study, a value its row refuses; an attached value (--images=png) only where
// the row allows it. Each refusal stops the reading at once.
#include "batch/option_table.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace pelarin {
namespace {

struct Read {
  bool ok = false;
  std::string err, study, text, format;
  bool flag = false;
  std::vector<std::pair<std::string, std::string>> sets;
};

Read Parse(const std::vector<std::string>& args) {
  Read r;
  OptionTable table("tool: ", "tool --help");
  table.Add(TextOption("--text", "T", r.text, "a text"))
      .Add(FlagOption("--flag", r.flag, "a flag"))
      .Add(SetOption(r.sets, "a box"))
      .Add({{"--format"},
            "F",
            "a format",
            [&r](const std::string& v) {
              r.format = v.empty() ? "bmp" : v;
              return r.format == "bmp" || r.format == "png" ? std::string() : "--format takes bmp or png.";
            },
            true})
      .Operand(StudyOperand(r.study));
  std::ostringstream err;
  r.ok = table.Parse(args, err);
  r.err = err.str();
  return r;
}

TEST(OptionTable, ReadsTheRowsAndRefusesInTheCommandsWords) {
  const struct {
    std::vector<std::string> args;
    const char* refusal;  // empty: read
  } cases[] = {
      {{"all", "--text", "a b", "--flag", "--set", "Rs1=3", "--format=png"}, ""},
      {{"--format", "all"}, ""},  // an attached value may be left out; the next word is the study
      {{"--text"}, "tool: --text needs a value.\n"},
      {{"--nope"}, "tool: unknown option --nope (see tool --help).\n"},
      {{"all", "two"}, "tool: one study at a time (got \"all\" and \"two\").\n"},
      {{"--set", "Rq1=3"},
       "tool: --set needs NAME=TEXT with a parameter name such as Jsc2 (got \"Rq1=3\").\n"},
      {{"--format=svg", "--nope"}, "tool: --format takes bmp or png.\n"},
      {{"--flag=1"}, "tool: unknown option --flag=1 (see tool --help).\n"},
  };
  for (const auto& c : cases) {
    const Read r = Parse(c.args);
    EXPECT_EQ(r.ok, std::string(c.refusal).empty()) << c.args.front();
    EXPECT_EQ(r.err, c.refusal) << c.args.front();
  }
  const Read r = Parse(cases[0].args);
  EXPECT_EQ(r.study, "all");
  EXPECT_EQ(r.text, "a b");
  EXPECT_TRUE(r.flag);
  ASSERT_EQ(r.sets.size(), 1u);
  EXPECT_EQ(r.sets[0], (std::pair<std::string, std::string>{"Rs1", "3"}));
  EXPECT_EQ(r.format, "png");
  EXPECT_EQ(Parse(cases[1].args).format, "bmp");
  EXPECT_EQ(Parse(cases[1].args).study, "all");
}

TEST(OptionTable, HelpWrapsBesideTheNamesAndKeepsParagraphs) {
  bool flag = false;
  OptionTable table("tool: ", "tool --help");
  table.Add(FlagOption("--flag", flag, std::string(30, 'a') + " " + std::string(80, 'b') + "\nsecond"));
  EXPECT_EQ(table.Help(), "  --flag              " + std::string(30, 'a') + "\n" + std::string(22, ' ') +
                              std::string(80, 'b') + "\n" + std::string(22, ' ') + "second\n");
}

}  // namespace
}  // namespace pelarin
