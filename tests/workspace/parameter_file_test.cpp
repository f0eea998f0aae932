// The study parameter file: typed names, the exact text, the overwrite question, reading by position, and
// failures that are told and leave the study as it was.
#include "workspace/parameter_file.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <cmath>
#include <iomanip>
#include <random>
#include <sstream>

#include "common/fake_ui.h"
#include "common/parameter_checks.h"
#include "common/temp_folder.h"
#include "model/number_text.h"
#include "workspace/read_parameters.h"

namespace pelarin {
namespace {

using namespace std::string_literals;
using namespace testing;

constexpr const char* kDefaultFile =
    "Rs1=  5.E+0\r\nRp1= 5.E+3\r\nJsc1= 8.E-3\r\nJsd11= 4.E-11\r\nJsd12= 4.E-7\r\nm11= 1.\r\nm12= 2.\r\n"
    "Rs2=  5.E+0\r\nRp2= 1.E+4\r\nJsc2= 1.2E-2\r\nJsd21= 1.E-12\r\nJsd22= 8.E-8\r\nm21= 1.\r\nm22= 2.\r\n"
    "Rs3=  5.E+0\r\nRp3= 5.E+2\r\nJsc3= 1.6E-2\r\nJsd31= 5.E-8\r\nJsd32= 1.E-6\r\nm31= 1.\r\nm32= 2.\r\n"
    "Rl1= 1.E+12\r\nRl2= 1.E+12\r\nRg1= 1.E+12\r\nRg2= 1.E+12\r\nRg3= 1.E+12\r\n";

class ParameterFile : public TempFolderTest {
 protected:
  ParameterFile() { state.id.studyName = "Test", state.id.baseDir = "before/"; }
  void Save(const std::string& typed, std::deque<bool> answers = {}) {
    ui.fileChoices.push_back(In(typed));
    ui.answers = std::move(answers);
    SaveParameters(state, ui);
  }
  void Load(const std::string& name) {
    ui.fileChoices.push_back(In(name));
    LoadParameters(state, ui);
  }
  State state;
  FakeUi ui;
};

class TypedName : public ParameterFile, public ::testing::WithParamInterface<const char*> {};
TEST_P(TypedName, SavesTheStudyAsItsBaseNameDotPlrAndReadsItBack) {
  Save(GetParam());
  EXPECT_EQ(Read(dir / "cellA.plr"), kDefaultFile);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), {}), 1);
  EXPECT_EQ(state.id.studyName + ui.form.text2 + state.id.baseDir, "cellAcellA" + In(""));
  EXPECT_EQ(FileFilter(ui.dialogs.at(0).kind), "fichiers (*.plr)|*.plr|");
  const Parameters saved = state.par;
  state = State{}, ui.form.boxes.fill("");
  Load("cellA.plr");
  EXPECT_EQ(ui.form.boxes[3] + ui.form.boxes[6], "4.E-112.");
  ExpectSameParameters(state.par, saved);  // the defaults need no more digits than kept
  EXPECT_EQ(state.id.studyName + ui.form.text2 + state.id.loadedDir, "cellAcellA" + In(""));
  EXPECT_TRUE(ui.messages.empty());
}
INSTANTIATE_TEST_SUITE_P(Names, TypedName,
                         ::testing::Values("cellA.plr", "cellA.txt", "cellA.old.plr", "cellA"));

TEST_F(ParameterFile, OverwriteIsAskedAndNoKeepsTheFileButTakesTheName) {
  Write(dir / "cellA.plr", "old");
  Save("cellA.txt", {false});
  EXPECT_EQ(ui.questions.at(0).text + ui.questions.at(0).title,
            "This file exists already ! Save again ?** Be Carefull **");
  EXPECT_EQ(Read(dir / "cellA.plr") + ui.form.text2, "oldcellA");
  ui.fileChoices.push_back(std::nullopt);  // Cancel is quiet and changes nothing...
  SaveParameters(state, ui);
  EXPECT_EQ(state.id.baseDir, In(""));
  ui.fileChoices.push_back(std::nullopt);
  LoadParameters(state, ui);
  EXPECT_EQ(state.id.baseDir + ui.form.text2, "cellA");  // ...but the folder of no file at all
  EXPECT_TRUE(ui.messages.empty());
}

// The file with every label and value changed as a hand edit might: other spacing, case, commas, line ends.
std::string HandEdited() {
  std::string text = kDefaultFile;
  const auto replace = [&](const std::string& from, const std::string& to) {
    text.replace(text.find(from), from.size(), to);
  };
  replace("Rs1=  5.E+0\r\n", "\xEF\xBB\xBF rs1 =5,5\n");
  replace("Jsc1= 8.E-3\r\n", "JSC1 =\t0,0085 \r");
  replace("m12= 2.\r\n", "m 12=  2.25\r\n");
  replace("Rg3= 1.E+12\r\n", "Rg3= 2e12\r\nA comment after the 26 lines is ignored.\n");
  return text;
}

TEST_F(ParameterFile, FilesEditedByHandStillOpen) {
  Write(dir / "hand.plr", HandEdited());
  Load("hand.plr");
  EXPECT_TRUE(ui.messages.empty()) << ui.messages.at(0).text;
  EXPECT_EQ(ui.form.boxes[0] + "|" + ui.form.boxes[2] + "|" + ui.form.boxes[6] + "|" + ui.form.boxes[25],
            "5.5|0.0085|2.25|2e12");
  EXPECT_EQ(state.par.Rs1 + state.par.Jsc1 + state.par.m12, 5.5 + 0.0085 + 2.25);
  EXPECT_EQ(state.id.studyName + ui.form.text2, "handhand");
}

// Each file that is no parameter file is refused before anything changes, naming the file and its first
// bad line.
struct NotAParameterFile {
  const char* name;
  std::string bytes;
  const char* told;
};
void PrintTo(const NotAParameterFile& c, std::ostream* os) { *os << c.name; }
class Refused : public ParameterFile, public ::testing::WithParamInterface<NotAParameterFile> {};

TEST_P(Refused, IsToldWithItsFirstBadLineAndChangesNothing) {
  Write(dir / GetParam().name, GetParam().bytes);
  ui.form.boxes[2] = "0.011";  // typed, not saved: it must survive
  ReadParameters(state, ui);
  const State before = state;
  const auto boxes = ui.form.boxes;
  Load(GetParam().name);
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].text, "The parameter file was not opened: " + In(GetParam().name) +
                                     " is not a parameter file: " + GetParam().told + ".");
  EXPECT_EQ(ui.form.boxes, boxes);
  ExpectSameParameters(state.par, before.par);
  EXPECT_EQ(state.id.studyName + ui.form.text2 + state.id.baseDir + state.id.loadedDir, "TestTestbefore/");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), {}), 1) << "no folder was made";
}

std::string WithLine(int n, const std::string& line) {
  std::string text = kDefaultFile;
  std::size_t start = 0;
  for (int i = 1; i < n; ++i) start = text.find("\r\n", start) + 2;
  return text.replace(start, text.find("\r\n", start) - start, line);
}

INSTANTIATE_TEST_SUITE_P(
    Files, Refused,
    ::testing::Values(
        NotAParameterFile{"binary.plr",
                          "\x7f"
                          "ELF\x02\x01\x01\0\0\0\r\n\xff\xfe"s,
                          "line 1 has no \"=\": \"?ELF??????\""},
        NotAParameterFile{"three.plr", "Rs1= 1\r\nRp1= 2\r\nJsc1= 3\r\n", "it has only 3 lines, not 26"},
        NotAParameterFile{"blank.plr", "\r\n", "line 1 has no \"=\": \"\""},
        NotAParameterFile{"noequals.plr", WithLine(4, "Jsd11 4.E-11"),
                          "line 4 has no \"=\": \"Jsd11 4.E-11\""},
        NotAParameterFile{"word.plr", WithLine(9, "Rp2= abc"),
                          "line 9 gives Rp2 \"abc\", which is not a number"},
        NotAParameterFile{"inf.plr", WithLine(2, "Rp1= Inf"),
                          "line 2 gives Rp1 \"Inf\", which is not a number"},
        NotAParameterFile{"huge.plr", WithLine(2, "Rp1= 9E999"),
                          "line 2 gives Rp1 \"9E999\", beyond the largest number"},
        NotAParameterFile{"novalue.plr", WithLine(26, "Rg3= "), "line 26 has no value for Rg3"},
        NotAParameterFile{"swapped.plr", WithLine(6, "m12= 1."),
                          "line 6 is \"m12= 1.\", where the line of m11 belongs"},
        NotAParameterFile{"formlabel.plr", WithLine(6, "md11= 1."),
                          "line 6 is \"md11= 1.\", where the line of m11 belongs"},
        NotAParameterFile{"unknown.plr", std::string(kDefaultFile) + "note\r\nTemp= 80\r\n",
                          "line 28 is \"Temp= 80\", which is no line of an operating condition "
                          "or of the coupling physics (T, X, Eg1, Eg2, Eg3, alpha1, alpha2, "
                          "alpha3, beta2, beta3, Abd1, Abd2, Abd3, Vbd1, Vbd2, Vbd3, nbd1, nbd2, "
                          "nbd3, as \"T= 80\")"},
        NotAParameterFile{"badcondition.plr", std::string(kDefaultFile) + "X= lots\r\n",
                          "line 27 gives X \"lots\", which is not a number"},
        NotAParameterFile{"twice.plr", std::string(kDefaultFile) + "T= 80\r\nt = 90\r\n",
                          "line 28 gives T a second time"}));

// The conditions that are not the default follow the 26 lines, in any order, and load into their boxes;
// those without a line load as their defaults.
TEST_F(ParameterFile, ConditionLinesFollowTheCellAndLoadIntoTheirBoxes) {
  ui.form.boxes[ParameterIndex("alpha2")] = "0.001";  // typed before: the file's default replaces it
  Write(dir / "hot.plr", std::string(kDefaultFile) + "Eg3= 1,9\r\n\r\nT= 80\r\n");
  Load("hot.plr");
  ASSERT_TRUE(ui.messages.empty()) << ui.messages.at(0).text;
  EXPECT_EQ(state.formValues.T + state.formValues.Eg3 + state.formValues.alpha2 + state.formValues.X,
            80 + 1.9 + 1);
  EXPECT_EQ(state.k.Vt, 0.025851 * ((80 + 273.15) / (26.85 + 273.15)));
  Save("hot.plr", {true});
  EXPECT_EQ(Read(dir / "hot.plr"), std::string(kDefaultFile) + "T= 80\r\nEg3= 1.9\r\n");
}

// Saving then opening then saving again gives the same bytes and the same doubles: on the default cell,
// whose file keeps its historic text, and on random values of every parameter.
TEST_F(ParameterFile, SaveLoadSaveKeepsEveryDigit) {
  Save("cell.plr");
  EXPECT_EQ(Read(dir / "cell.plr"), kDefaultFile);
  std::mt19937_64 rng(20240612);
  std::uniform_real_distribution<double> decade(-15, 15), digits(1, 10), unit(0, 1);
  for (int round = 0; round < 200; ++round) {
    for (int i = 0; i < kParameterCount; ++i) {
      const ParameterRow& row = kParameterRows[static_cast<std::size_t>(i)];
      double value = round == 0 ? (i == 3   ? 4.5678e-11
                                   : i == 6 ? 1.876
                                            : digits(rng))
                                : digits(rng) * std::pow(10.0, decade(rng));
      // Conditions in every other round, within the ranges (and with photocurrents that stay positive).
      if (row.group == FormGroup::Conditions || row.group == FormGroup::Physics) {
        const double low = row.name.starts_with("alpha") ? -0.003 : row.name == "T" ? -200 : row.low;
        // Breakdown strengths that leave every junction monotone whatever its exponent.
        const double high = row.name.starts_with("alpha") ? 0.003
                            : row.name == "T"             ? 200
                            : row.name.starts_with("Abd") ? 5
                                                          : row.high;
        value = round % 2 == 0 ? Parameters{}.*row.member : low + (high - low) * (0.001 + 0.998 * unit(rng));
      }
      ui.form.boxes[i] = (std::ostringstream() << std::setprecision(17) << value).str();
    }
    Save("cell.plr", {true});
    const Parameters typed = state.formValues;
    const std::string first = Read(dir / "cell.plr");
    ui.form.boxes.fill("");
    Load("cell.plr");
    ASSERT_TRUE(ui.messages.empty()) << ui.messages.at(0).text;
    for (const ParameterRow& row : kParameterRows)
      ASSERT_EQ(state.formValues.*row.member, typed.*row.member) << row.name << " in round " << round;
    Save("cell.plr", {true});
    ASSERT_EQ(Read(dir / "cell.plr"), first) << round;
    if (round == 0) {
      EXPECT_NE(first.find("\r\nJsd11= 4.5678E-11\r\n"), std::string::npos) << first;
      EXPECT_NE(first.find("\r\nm12= 1.876\r\n"), std::string::npos) << first;
    }
  }
}

class LoadFailure : public ParameterFile, public ::testing::WithParamInterface<std::string> {};
TEST_P(LoadFailure, IsToldAndLeavesTheStudyAsItWas) {
  fs::create_directory(dir / "dir.plr");
  Write(dir / "empty.plr", "");
  Write(dir / "locked.plr", "a= 1\r\n");
  Write(dir / ".plr", "a= 1\r\n");  // no study name before the point
  fs::permissions(dir / "locked.plr", fs::perms::none);
  ASSERT_EQ(::mkfifo(In("fifo.plr").c_str(), 0600), 0);  // opening it must not wait for a writer
  if (GetParam() == "locked.plr" && RunningAsRoot())
    GTEST_SKIP() << "permission bits do not stop the superuser";
  ReadParameters(state, ui);
  const State before = state;
  const auto boxes = ui.form.boxes;
  Load(GetParam());
  EXPECT_NE(ui.messages.at(0).text.find(In(GetParam())), std::string::npos) << ui.messages[0].text;
  if (GetParam() == "fifo.plr") {
    EXPECT_NE(ui.messages[0].text.find("it is a FIFO, not a file"), std::string::npos);
  }
  if (GetParam() == "dir.plr") {
    EXPECT_NE(ui.messages[0].text.find("it is a folder, not a file"), std::string::npos);
  }
  EXPECT_EQ(ui.form.boxes, boxes);
  ExpectSameParameters(state.par, before.par);
  EXPECT_EQ(state.id.studyName + ui.form.text2 + state.id.baseDir, "TestTestbefore/");
}
INSTANTIATE_TEST_SUITE_P(Cases, LoadFailure,
                         ::testing::Values("gone.plr", "dir.plr", "empty.plr", ".plr", "locked.plr",
                                           "fifo.plr"));

TEST_F(ParameterFile, FailedWritesAreToldAndNeverDestroyASavedStudy) {
  Write(dir / "file", "");
  Save(".plr");  // no study name
  Save("file/cellA.plr");
  EXPECT_NE(ui.messages.at(0).text.find("\".plr\""), std::string::npos);
  EXPECT_NE(ui.messages.at(1).text.find(In("file/cellA.plr")), std::string::npos);
  Write(dir / "cellA.plr", "the saved study");
  rlimit saved{}, small{};  // files may not grow beyond 8 bytes, whoever runs the test
  getrlimit(RLIMIT_FSIZE, &saved);
  small = {8, saved.rlim_max};
  const auto handler = signal(SIGXFSZ, SIG_IGN);
  setrlimit(RLIMIT_FSIZE, &small);
  Save("cellA.plr", {true});
  setrlimit(RLIMIT_FSIZE, &saved);
  signal(SIGXFSZ, handler);
  EXPECT_EQ(ui.messages.size(), 3u);
  EXPECT_EQ(Read(dir / "cellA.plr"), "the saved study");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), {}), 2);  // no temporary file left behind
}

}  // namespace
}  // namespace pelarin
