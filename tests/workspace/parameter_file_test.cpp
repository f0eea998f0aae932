// The study parameter file: typed names, the exact text, the overwrite question, reading by position, and
// failures that are told and leave the study as it was.
#include "workspace/parameter_file.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <random>

#include "common/fake_ui.h"
#include "common/parameter_checks.h"
#include "common/temp_folder.h"
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

// Values by position after the first "=", commas to points, leading blanks off, missing lines left empty.
class Reading : public ParameterFile,
                public ::testing::WithParamInterface<std::pair<const char*, const char*>> {};
TEST_P(Reading, TakesEachValueByPosition) {
  Write(dir / "s.plr", GetParam().first);
  Load("s.plr");
  EXPECT_EQ(ui.form.boxes[2] + "|" + ui.form.boxes[3] + "|" + ui.form.boxes[4] + "|" + ui.form.boxes[5],
            GetParam().second);
  EXPECT_EQ(state.par.Rl1 + state.par.Rl2 + state.par.Rg1 + state.par.Rg2 + state.par.Rg3, 45);  // 5 + 4 x 10
}
INSTANTIATE_TEST_SUITE_P(
    Files, Reading,
    ::testing::Values(std::pair{"1\r\n1\r\nJsc1= 5,5\r\nJsd11=1,2,3\r\n  ,008\r\n", "5.5|1.2.3|.008|"},
                      std::pair{"\n\nRg3=  a = b\r\nno = \rno sign\rx= 7", "a = b||no sign|7"}));

class LoadFailure : public ParameterFile, public ::testing::WithParamInterface<std::string> {};
TEST_P(LoadFailure, IsToldAndLeavesTheStudyAsItWas) {
  fs::create_directory(dir / "dir.plr");
  Write(dir / "empty.plr", "");
  Write(dir / "locked.plr", "a= 1\r\n");
  Write(dir / ".plr", "a= 1\r\n");  // no study name before the point
  fs::permissions(dir / "locked.plr", fs::perms::none);
  if (GetParam() == "locked.plr" && RunningAsRoot())
    GTEST_SKIP() << "permission bits do not stop the superuser";
  ReadParameters(state, ui);
  const State before = state;
  const auto boxes = ui.form.boxes;
  Load(GetParam());
  EXPECT_NE(ui.messages.at(0).text.find(In(GetParam())), std::string::npos) << ui.messages[0].text;
  EXPECT_EQ(ui.form.boxes, boxes);
  ExpectSameParameters(state.par, before.par);
  EXPECT_EQ(state.id.studyName + ui.form.text2 + state.id.baseDir, "TestTestbefore/");
}
INSTANTIATE_TEST_SUITE_P(Cases, LoadFailure,
                         ::testing::Values("gone.plr", "dir.plr", "empty.plr", ".plr", "locked.plr"));

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

// Binary bytes, number-like text with or without "=", damaged files, a huge line, nothing at all: loaded or
// refused, never a crash, and the coupling resistances stay in their range.
TEST_F(ParameterFile, MalformedFilesNeverBreakTheLoader) {
  std::mt19937 rng(20240605);
  const std::string numberLike = "0123456789.,=eE+- \t\r\n\0\x7f\xff"s;
  for (int round = 0; round < 400; ++round) {
    std::string bytes = round % 4 == 3 ? kDefaultFile : "";
    for (auto n = round % 4 == 3 ? rng() % 20 : rng() % 3000; n > 0; --n) {
      const char c = round % 4 == 0 ? char(rng()) : numberLike[rng() % numberLike.size()];
      if (round % 4 == 3)
        bytes[rng() % bytes.size()] = char(rng());
      else if (round % 4 != 2 || c != '=')
        bytes += c;
    }
    if (round % 100 == 1) bytes = std::string(3 << 20, '9');
    if (round % 100 == 2) bytes.clear();
    Write(dir / "fuzz.plr", bytes);
    const auto told = ui.messages.size();
    Load("fuzz.plr");
    EXPECT_EQ(ui.messages.size() - told, bytes.empty() ? 1u : 0u) << round;
    for (double r : {state.par.Rl1, state.par.Rl2, state.par.Rg1, state.par.Rg2, state.par.Rg3})
      EXPECT_TRUE(r >= 5 && r <= 1e13) << round;
  }
}

}  // namespace
}  // namespace pelarin
