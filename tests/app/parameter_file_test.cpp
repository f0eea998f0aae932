// The study parameter file: names typed in the Save dialog, the file's exact text, the overwrite question,
// reading by position, and failures that must be told and must leave the study as it was.
#include "app/parameter_file.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <cmath>
#include <filesystem>
#include <functional>
#include <map>
#include <random>
#include <set>
#include <string>

#include "app/shell.h"
#include "common/fake_ui.h"
#include "model/numtext.h"
#include "temp_folder.h"

namespace fs = std::filesystem;
using namespace std::string_literals;

namespace pelarin {
namespace {

using testing::FakeUi;
using testing::Read;
using testing::RunningAsRoot;
using testing::Write;

// The default parameters, as the form starts, saved: labels, values through their masks, CR LF.
constexpr const char* kDefaultFile =
    "Rs1=  5.E+0\r\nRp1= 5.E+3\r\nJsc1= 8.E-3\r\nJsd11= 4.E-11\r\nJsd12= 4.E-7\r\nm11= 1.\r\nm12= 2.\r\n"
    "Rs2=  5.E+0\r\nRp2= 1.E+4\r\nJsc2= 1.2E-2\r\nJsd21= 1.E-12\r\nJsd22= 8.E-8\r\nm21= 1.\r\nm22= 2.\r\n"
    "Rs3=  5.E+0\r\nRp3= 5.E+2\r\nJsc3= 1.6E-2\r\nJsd31= 5.E-8\r\nJsd32= 1.E-6\r\nm31= 1.\r\nm32= 2.\r\n"
    "Rl1= 1.E+12\r\nRl2= 1.E+12\r\nRg1= 1.E+12\r\nRg2= 1.E+12\r\nRg3= 1.E+12\r\n";

// The parameter set in the order of the form's boxes.
constexpr double Parameters::*kByBox[kParameterCount] = {
    &Parameters::Rs1,   &Parameters::Rp1,   &Parameters::Jsc1,  &Parameters::Jsd11, &Parameters::Jsd12,
    &Parameters::m11,   &Parameters::m12,   &Parameters::Rs2,   &Parameters::Rp2,   &Parameters::Jsc2,
    &Parameters::Jsd21, &Parameters::Jsd22, &Parameters::m21,   &Parameters::m22,   &Parameters::Rs3,
    &Parameters::Rp3,   &Parameters::Jsc3,  &Parameters::Jsd31, &Parameters::Jsd32, &Parameters::m31,
    &Parameters::m32,   &Parameters::Rl1,   &Parameters::Rl2,   &Parameters::Rg1,   &Parameters::Rg2,
    &Parameters::Rg3};
bool IsIdeality(int box) { return box % 7 == 5 || box % 7 == 6; }

class ParameterFile : public testing::TempFolderTest {
 protected:
  void SetUp() override {
    TempFolderTest::SetUp();
    state.id.studyName = "Test";
    state.id.baseDir = "before/";
    state.id.loadedDir = "loaded/";
  }
  void Save(const std::string& typed, std::initializer_list<bool> answers = {}) {
    ui.fileChoices.push_back(In(typed));
    ui.answers.assign(answers);
    SaveParameters(state, ui);
  }
  void Load(const std::string& name) {
    ui.fileChoices.push_back(In(name));
    LoadParameters(state, ui);
  }
  [[nodiscard]] std::set<std::string> Entries() const {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) names.insert(entry.path().filename().string());
    return names;
  }
  State state;
  FakeUi ui;
};

class TypedName : public ParameterFile, public ::testing::WithParamInterface<const char*> {};

TEST_P(TypedName, SavesTheStudyAsItsBaseNameDotPlr) {
  Save(GetParam());
  EXPECT_EQ(Entries(), std::set<std::string>{"cellA.plr"});
  EXPECT_EQ(state.id.studyName, "cellA");
  EXPECT_EQ(ui.form.text2, "cellA");
  EXPECT_EQ(state.id.baseDir, In(""));
  EXPECT_EQ(fs::current_path(), dir);
  EXPECT_EQ(ui.dialogs.at(0).filter, "fichiers (*.plr)|*.plr|");
  EXPECT_TRUE(ui.messages.empty());
}
// The last name, typed without a point, used to write nothing at all.
INSTANTIATE_TEST_SUITE_P(Names, TypedName,
                         ::testing::Values("cellA.plr", "cellA.txt", "cellA.old.plr", "cellA"));

TEST_F(ParameterFile, DefaultParametersAreWrittenByteForByte) {
  Save("cellA.plr");
  EXPECT_EQ(Read(dir / "cellA.plr"), kDefaultFile);
}

TEST_F(ParameterFile, OverwriteIsAskedAndNoKeepsTheFileButTakesTheName) {
  Write(dir / "cellA.plr", "old");
  Save("cellA.txt", {false});
  ASSERT_EQ(ui.questions.size(), 1u);
  EXPECT_EQ(ui.questions[0].text, "This file exists already ! Save again ?");
  EXPECT_EQ(ui.questions[0].title, "** Be Carefull **");
  EXPECT_EQ(Read(dir / "cellA.plr"), "old");
  EXPECT_EQ(state.id.studyName, "cellA");
  EXPECT_EQ(ui.form.text2, "cellA");
  Save("cellA.plr", {true});
  EXPECT_EQ(Read(dir / "cellA.plr"), kDefaultFile);
}

TEST_F(ParameterFile, CancelChangesNothingAndSaysNothing) {
  ui.fileChoices.push_back(std::nullopt);
  SaveParameters(state, ui);
  EXPECT_EQ(state.id.baseDir, "before/");
  ui.fileChoices.push_back(std::nullopt);
  LoadParameters(state, ui);
  EXPECT_EQ(state.id.baseDir, "");  // the folder part of no path at all
  EXPECT_EQ(state.id.studyName, "Test");
  EXPECT_EQ(ui.form.showCount, 0);
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_TRUE(Entries().empty());
}

TEST_F(ParameterFile, SavedFileReadsBackToTheMasksDigits) {
  const double typed[kParameterCount] = {
      1.23456,  54321.9, 0.00876543, 4.56789e-11, 3.33333e-7, 1.23456, 2.005,
      7.77777,  98765.4, 0.0123456,  1.11111e-12, 8.88888e-8, 0.987,   1.999,
      0.456789, 555.555, 0.0166666,  5.43210e-8,  1.23456e-6, 1.5,     2.25,
      6.66666,  12.3456, 2.34567e12, 9.87654e9,   33.3333};
  for (int i = 0; i < kParameterCount; ++i) ui.form.boxes[i] = PlainNumber(typed[i]);
  Save("cellA.plr");
  for (auto& box : ui.form.boxes) box = "junk";
  state = State{};
  Load("cellA.plr");
  for (int i = 0; i < kParameterCount; ++i) {
    const char* mask = IsIdeality(i) ? "#.##" : "#.##E+##";
    EXPECT_EQ(ui.form.boxes[i], Format(typed[i], mask)) << "box " << i;
    const double tolerance = IsIdeality(i) ? 0.005 : 0.005 * std::abs(typed[i]);
    EXPECT_NEAR(state.par.*kByBox[i], typed[i], tolerance) << "box " << i;
  }
  EXPECT_EQ(state.id.studyName, "cellA");
  EXPECT_EQ(ui.form.text2, "cellA");
  EXPECT_EQ(state.id.loadedDir, In(""));
  EXPECT_EQ(state.id.baseDir, In(""));
  EXPECT_EQ(ui.form.showCount, 1);
}

struct ReadCase {
  const char* name;
  const char* content;
  std::map<int, const char*> boxes;  // every other box is empty
};
void PrintTo(const ReadCase& c, std::ostream* os) { *os << c.name; }

class Reading : public ParameterFile, public ::testing::WithParamInterface<ReadCase> {};

TEST_P(Reading, TakesEachLinesValueByPosition) {
  // Two resistances first: boxes that read as zero there would be corrected by ReadParameters.
  Write(dir / "s.plr", "Rs1= 1\r\nRp1= 1\r\n"s + GetParam().content);
  ui.form.boxes.fill("9");
  Load("s.plr");
  for (int i : {2, 3, 4, 5, 6, 9, 10, 11, 12, 13, 16, 17, 18, 19, 20}) {
    const auto expected = GetParam().boxes.find(i);
    EXPECT_EQ(ui.form.boxes[i], expected == GetParam().boxes.end() ? "" : expected->second) << "box " << i;
  }
}
INSTANTIATE_TEST_SUITE_P(
    Files, Reading,
    ::testing::Values(ReadCase{"every comma becomes a point",
                               "Jsc1=  5,5\r\nJsd11= 1,2,3\r\nJsd12=,008\r\n",
                               {{2, "5.5"}, {3, "1.2.3"}, {4, ".008"}}},
                      ReadCase{"value after the first equals sign",
                               "Jsc1=   a = b\r\nno sign  \r\n   7,5\r\n=\r\n",
                               {{2, "a = b"}, {3, "no sign  "}, {4, "7.5"}}},
                      ReadCase{
                          "labels are not checked", "Rg3= 42\r\nwhatever= 43\r\n", {{2, "42"}, {3, "43"}}},
                      ReadCase{"LF or CR alone ends a line, last line unended",
                               "a= 1\nb= 2\rc= 3",
                               {{2, "1"}, {3, "2"}, {4, "3"}}},
                      ReadCase{"a control character stays in its box", "x= 1\t2\r\n", {{2, "1\t2"}}}));

TEST_F(ParameterFile, ShortFileLeavesBoxesEmptyAndCouplingResistancesRaised) {
  std::string twenty;
  for (int i = 0; i < 20; ++i) twenty += "p= 2\r\n";
  Write(dir / "short.plr", twenty);
  Load("short.plr");
  EXPECT_EQ(ui.form.boxes[19], "2");
  EXPECT_EQ(ui.form.boxes[20], "");
  EXPECT_EQ(state.par.m32, 0);
  EXPECT_EQ(state.par.Rl1, 5);
  for (double r : {state.par.Rl2, state.par.Rg1, state.par.Rg2, state.par.Rg3}) EXPECT_EQ(r, 10);
}

TEST_F(ParameterFile, LinesAfterTheTwentySixthAreIgnored) {
  std::string sixty;
  for (int i = 0; i < 60; ++i) sixty += "p= " + std::to_string(i + 20) + "\r\n";
  Write(dir / "long.plr", sixty);
  Load("long.plr");
  EXPECT_EQ(ui.form.boxes[0], "20");
  EXPECT_EQ(ui.form.boxes[25], "45");
}

// Failures: each names the file in a message box and leaves the study as it was.
struct FailCase {
  const char* name;
  const char* chosen;
  std::function<bool(const fs::path& dir)> prepare;  // false: cannot be provoked here
};
void PrintTo(const FailCase& c, std::ostream* os) { *os << c.name; }

class SaveFailure : public ParameterFile, public ::testing::WithParamInterface<FailCase> {};

TEST_P(SaveFailure, IsToldAndWritesNothing) {
  if (!GetParam().prepare(dir)) GTEST_SKIP() << "permission bits do not stop the superuser";
  const auto before = Entries();
  Save(GetParam().chosen);
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_NE(ui.messages[0].text.find(GetParam().chosen), std::string::npos) << ui.messages[0].text;
  EXPECT_EQ(Entries(), before);
}
INSTANTIATE_TEST_SUITE_P(
    Cases, SaveFailure,
    ::testing::Values(FailCase{"no study name", ".plr", [](const fs::path&) { return true; }},
                      FailCase{"folder is a file", "file/cellA.plr",
                               [](const fs::path& d) { return Write(d / "file", "x"), true; }},
                      FailCase{"read-only folder", "ro/cellA", [](const fs::path& d) {
                                 fs::create_directory(d / "ro");
                                 fs::permissions(d / "ro", fs::perms::owner_read | fs::perms::owner_exec);
                                 return !RunningAsRoot();
                               }}));

TEST_F(ParameterFile, FailedWriteKeepsTheSavedStudy) {
  Write(dir / "cellA.plr", "the saved study\r\n");
  // Files may not grow beyond 8 bytes: the new text cannot be written, whoever runs the test.
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto oldHandler = signal(SIGXFSZ, SIG_IGN);
  rlimit small = saved;
  small.rlim_cur = 8;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  Save("cellA.plr", {true});
  setrlimit(RLIMIT_FSIZE, &saved);
  signal(SIGXFSZ, oldHandler);
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_NE(ui.messages[0].text.find("cellA.plr"), std::string::npos);
  EXPECT_EQ(Read(dir / "cellA.plr"), "the saved study\r\n");
  EXPECT_EQ(Entries(), std::set<std::string>{"cellA.plr"});
}

class LoadFailure : public ParameterFile, public ::testing::WithParamInterface<FailCase> {};

TEST_P(LoadFailure, IsToldAndLeavesTheStudyAsItWas) {
  if (!GetParam().prepare(dir)) GTEST_SKIP() << "permission bits do not stop the superuser";
  ui.form.boxes[3] = "kept";
  ReadParameters(state, ui);
  const Parameters par = state.par;
  const auto boxes = ui.form.boxes;
  Load(GetParam().chosen);
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_NE(ui.messages[0].text.find(GetParam().chosen), std::string::npos) << ui.messages[0].text;
  EXPECT_EQ(ui.form.boxes, boxes);
  for (auto member : kByBox) EXPECT_EQ(state.par.*member, par.*member);
  EXPECT_EQ(state.id.studyName, "Test");
  EXPECT_EQ(ui.form.text2, "Test");
  EXPECT_EQ(state.id.baseDir, "before/");
  EXPECT_EQ(state.id.loadedDir, "loaded/");
  EXPECT_EQ(ui.form.showCount, 0);
}
INSTANTIATE_TEST_SUITE_P(
    Cases, LoadFailure,
    ::testing::Values(FailCase{"missing file", "gone.plr", [](const fs::path&) { return true; }},
                      FailCase{"folder", "dir.plr",
                               [](const fs::path& d) { return fs::create_directory(d / "dir.plr"); }},
                      FailCase{"empty file", "empty.plr",
                               [](const fs::path& d) { return Write(d / "empty.plr", ""), true; }},
                      FailCase{"no study name", ".plr",
                               [](const fs::path& d) { return Write(d / ".plr", "a= 1\r\n"), true; }},
                      FailCase{"unreadable file", "locked.plr", [](const fs::path& d) {
                                 Write(d / "locked.plr", "a= 1\r\n");
                                 fs::permissions(d / "locked.plr", fs::perms::none);
                                 return !RunningAsRoot();
                               }}));

// Malformed files of every kind are loaded or refused, never a crash, and the parameter set stays in range.
TEST_F(ParameterFile, MalformedFilesNeverBreakTheLoader) {
  std::mt19937 rng(20240605);
  const std::string alphabet = "0123456789.,=eE+- \t\r\n\0\x7f\xff"s;
  for (int round = 0; round < 400; ++round) {
    std::string bytes;
    switch (round % 5) {
      case 0:  // raw binary
        for (int n = rng() % 3000; n > 0; --n) bytes += static_cast<char>(rng() % 256);
        break;
      case 1:  // number-like text without a single "="
        for (int n = rng() % 3000; n > 0; --n) bytes += alphabet[rng() % alphabet.size()];
        std::erase(bytes, '=');
        break;
      case 2:  // a valid file, damaged here and there
        bytes = kDefaultFile;
        for (int n = rng() % 20; n > 0; --n) bytes[rng() % bytes.size()] = static_cast<char>(rng() % 256);
        break;
      case 3:  // one huge line, or many lines of huge numbers
        bytes = round % 40 == 3 ? std::string(3 << 20, '9') : std::string(rng() % 60, '\n') + "=1e999999";
        break;
      default:
        bytes = round % 10 == 4 ? "" : std::string(rng() % 200, '=');
    }
    Write(dir / "fuzz.plr", bytes);
    const auto messagesBefore = ui.messages.size();
    Load("fuzz.plr");
    if (ui.messages.size() != messagesBefore) {
      EXPECT_TRUE(bytes.empty()) << "round " << round;
      continue;
    }
    EXPECT_EQ(state.id.studyName, "fuzz");
    EXPECT_TRUE(state.par.Rl1 >= 5 && state.par.Rl1 <= 1e13) << "round " << round;
    for (double r : {state.par.Rl2, state.par.Rg1, state.par.Rg2, state.par.Rg3})
      EXPECT_TRUE(r >= 10 && r <= 1e13) << "round " << round;
  }
}

}  // namespace
}  // namespace pelarin
