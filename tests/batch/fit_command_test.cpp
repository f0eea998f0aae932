// pelarin-batch fit through the batch tool's core: a fit that converges writes the fitted parameter file
// and the report; bad input is refused with exit 2 and one sentence, a file in the way with exit 3, and
// neither writes anything.
#include "batch/fit_command.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "common/solver_fixtures.h"
#include "common/table_reading.h"
#include "common/temp_folder.h"
#include "model/exact_circuit.h"
#include "model/number_text.h"
#include "model/operating_conditions.h"
#include "workspace/parameter_file.h"

namespace pelarin {
namespace {

namespace fs = std::filesystem;

class FitCommandTest : public testing::TempFolderTest {
 protected:
  void SetUp() override {
    TempFolderTest::SetUp();
    fs::current_path(dir);
    // The default cell but Rp1 = 2000: its lit and dark stack, in mA/cm2 and the load convention.
    Parameters truth = testing_cell::DefaultParameters();
    truth.Rp1 = 2000;
    truth.Eg3 = 1.8;  // seen only at other temperatures
    const auto write = [&](const char* name, std::array<bool, 3> lit, double from, double to,
                           double T = 26.85) {
      Parameters at = truth;
      at.T = T;
      const CellAtConditions cell = AtConditions(at);
      const exact::CircuitSolver solver(cell.par, cell.Vt, exact::Stack(lit, false));
      std::string text = "V,J\n";
      for (int i = 0; i <= 60; ++i) {
        const double V = from + (to - from) * i / 60;
        char line[64];
        std::snprintf(line, sizeof line, "%.9g,%.9g\n", V, -1000 * solver.CurrentAt(V).J);
        text += line;
      }
      testing::Write(dir / name, text);
    };
    write("lit.csv", {true, true, true}, -0.2, 1.3);
    write("dark.csv", {false, false, false}, 0.3, 2.2);
    write("lit80.csv", {true, true, true}, -0.2, 1.3, 80);
    write("lit-20.csv", {true, true, true}, -0.2, 1.4, -20);
  }

  struct Run {
    int status;
    std::string out, err;
  };
  static Run Fit(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    const auto options = ParseFitOptions(args, err);
    if (!options) return {2, out.str(), err.str()};
    const std::atomic<bool> stop{false};
    return {RunFit(*options, out, err, stop), out.str(), err.str()};
  }
  const std::vector<std::string> good = {"--data", "lit=lit.csv", "--data", "dark=dark.csv", "--units",
                                         "mA/cm2", "--sign",      "load",   "--starts",      "2",
                                         "-j",     "2",           "--out",  "fitted.plr"};
};

TEST_F(FitCommandTest, AConvergedFitWritesTheFittedFileAndTheReport) {
  std::vector<std::string> args = good;
  args.insert(args.end(), {"--free", "Rp1", "--free", "Rs2=1:20", "--report", "report.csv"});
  const Run run = Fit(args);
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("converged"), std::string::npos) << run.out;
  const ParameterFileReading fitted = ReadParameterText(testing::Read(dir / "fitted.plr"));
  ASSERT_EQ(fitted.badLine, 0) << fitted.problem;
  EXPECT_NEAR(Val(fitted.values[1]) / 2000, 1, 1e-4) << "Rp1";
  EXPECT_NEAR(Val(fitted.values[7]) / 5, 1, 1e-4) << "Rs2";
  const std::string report = testing::Read(dir / "report.csv");
  EXPECT_EQ(report.rfind("parameter,start,fitted,standard error,95% low,95% high,unit\r\nRp1,", 0), 0u)
      << report;
  EXPECT_NE(report.find("\r\n\r\ncurve,points,RMS residual,T (\xC2\xB0"
                        "C),X (suns)\r\nlit,61,"),
            std::string::npos)
      << report;
}

// A campaign: the same lit curve at three temperatures tells the top junction's band gap apart, and the
// report names each curve's conditions.
TEST_F(FitCommandTest, CurvesAtSeveralTemperaturesRecoverABandGap) {
  std::vector<std::string> args = good;
  args.insert(args.end(), {"--data", "lit=lit80.csv", "--at", "T=80", "--data", "lit=lit-20.csv", "--at",
                           "T=-20,X=1", "--free", "Eg3", "--free", "Rp1", "--report", "report.csv"});
  const Run run = Fit(args);
  ASSERT_EQ(run.status, 0) << run.err;
  const ParameterFileReading fitted = ReadParameterText(testing::Read(dir / "fitted.plr"));
  ASSERT_EQ(fitted.badLine, 0) << fitted.problem;
  EXPECT_NEAR(Val(fitted.values[static_cast<std::size_t>(ParameterIndex("Eg3"))]), 1.8, 1e-4);
  EXPECT_NE(run.out.find("curve lit at T = 80 \xC2\xB0"
                         "C, X = 1 suns: 61 points"),
            std::string::npos)
      << run.out;
  EXPECT_NE(testing::Read(dir / "report.csv").find("\r\nlit,61,"), std::string::npos);
}

TEST_F(FitCommandTest, RefusesBadInputInOneSentenceAndWritesNothing) {
  testing::Write(dir / "nan.csv", "V,J\n0.1,0.2\n0.2,nan\n");
  testing::Write(dir / "other.csv", "V,J\n0.1,0.2\n0.2,0.1\n");
  const std::pair<std::vector<std::string>, const char*> cases[] = {
      {{"--free", "Rq1"}, "--free names no parameter: \"Rq1\""},
      {{"--free", "Rp1=5:5"}, "the bounds Rp1=5:5 need LO below HI"},
      {{"--free", "Rs1=-1:5"}, "the lowest must be above 0"},
      {{"--free", "Rp1", "--set", "Jsc1=0", "--data", "lit:1=other.csv"}, "the parameters leave it dark"},
      {{"--free", "Rp1", "--data", "dark=./lit.csv"},
       "--data ./lit.csv is given twice at the same conditions"},
      {{"--free", "Rp1", "--at", "T=50", "--at", "T=60"}, "--at is given twice for --data"},
      {{"--free", "Rp1", "--at", "T=50,Y=2"}, "--at takes T=CELSIUS and X=SUNS"},
      {{"--free", "Rp1", "--at", "X=0"}, "--at X: the concentration must be above 0"},
      {{"--free", "T"}, "T is a curve's condition, not a parameter to fit"},
      {{"--free", "Rp1", "--data", "lit:12=nan.csv"},
       "nan.csv, line 3 \"0.2,nan\": is not two finite numbers"},
      {{"--free", "Rp1", "--data", "lit=missing.csv"}, "missing.csv"},
      {{"--free", "Rp1", "--data", "lit:4=lit.csv"}, "the configurations are lit, dark"},
      {{"--free", "Rp1", "--weight", "lit:2=3"}, "no --data has that curve"},
  };
  for (const auto& [extra, why] : cases) {
    std::vector<std::string> args = good;
    args.insert(args.end(), extra.begin(), extra.end());
    const Run run = Fit(args);
    EXPECT_EQ(run.status, 2) << why;
    EXPECT_NE(run.err.find(why), std::string::npos) << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    EXPECT_FALSE(fs::exists(dir / "fitted.plr")) << why;
  }
  std::vector<std::string> early = {"--at", "T=50", "--free", "Rp1"};
  early.insert(early.end(), good.begin(), good.end());
  EXPECT_NE(Fit(early).err.find("--at gives the conditions of the --data before it; there is none"),
            std::string::npos);
  testing::Write(dir / "fitted.plr", "kept");
  std::vector<std::string> args = good;
  args.insert(args.end(), {"--free", "Rp1"});
  EXPECT_EQ(Fit(args).status, 3);
  EXPECT_EQ(testing::Read(dir / "fitted.plr"), "kept");
}

}  // namespace
}  // namespace pelarin
