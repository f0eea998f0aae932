// Fitting the cell to measured curves: synthetic measurements made by the program's own study at known
// parameters, with noise, written in the measurement convention and in mA/cm2, give back the parameters
// within their 95 % intervals; a stack's dark curve alone cannot tell two junctions' saturation currents
// apart, and the fit says so; and what cannot be fitted is refused in one sentence.
#include "fit/fit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <functional>
#include <random>
#include <string>

#include "common/declining_ui.h"
#include "common/solver_fixtures.h"
#include "common/temp_folder.h"
#include "fit/measured_curves.h"
#include "model/calc_error.h"
#include "model/exact_circuit.h"
#include "model/parameter_table.h"
#include "studies/studies.h"
#include "workspace/read_parameters.h"

namespace pelarin {
namespace {

namespace fs = std::filesystem;

class FitTest : public testing::TempFolderTest {
 protected:
  void SetUp() override {
    TempFolderTest::SetUp();
    fs::current_path(dir);
  }

  // The three-junction study's lit and dark curves at the cell typed into the boxes, as its windows draw
  // them: J (A/cm2, generator direction) against V; the dark window shows ln|J|, forward currents negative.
  struct StudyCurves {
    std::vector<double> litV, litJ, darkV, darkJ;
    Parameters par;
  };
  StudyCurves RunStudy(const std::vector<std::pair<const char*, const char*>>& boxes) {
    testing::DecliningUi ui;
    for (const auto& [name, text] : boxes) ui.form.SetBoxText(ParameterIndex(name), text);
    State state;
    ResetStartUpConstants(state);
    StudyAllJunctions(state, ui);
    StudyCurves c;
    c.par = state.par;
    for (const DrawnCurve& curve : ui.linlin.surface.Curves())
      for (const auto& [V, J] : curve.points) c.litV.push_back(V), c.litJ.push_back(J);
    for (const DrawnCurve& curve : ui.linlog.surface.Curves())
      for (const auto& [V, lnJ] : curve.points)
        c.darkV.push_back(V), c.darkJ.push_back(V > 0 ? -std::exp(lnJ) : std::exp(lnJ));
    return c;
  }

  // Every step-th point written in mA/cm2 and the load convention (a lit cell's current negative), with
  // relative noise, as a measurement file with a header.
  std::string Write(const std::string& name, const std::vector<double>& V, const std::vector<double>& J,
                    double noise, std::mt19937_64& rng, std::size_t step) {
    std::normal_distribution<double> gauss(0, noise);
    std::string text = "V (V);J (mA/cm2)\r\n";
    char line[96];
    for (std::size_t i = 0; i < V.size(); i += step) {
      std::snprintf(line, sizeof line, "%.9g;%.9g\r\n", V[i], -1000 * J[i] * (1 + gauss(rng)));
      text += line;
    }
    testing::Write(dir / name, text);
    return (dir / name).string();
  }

  static fit::MeasuredCurve Load(const std::string& name, const std::string& path) {
    return fit::LoadCurve({.name = name,
                           .path = path,
                           .unit = fit::CurrentUnit::MilliamperesPerCm2,
                           .sign = fit::SignConvention::Load});
  }
};

TEST_F(FitTest, RecoversFourParametersOfAStudysCurvesWithinTheirIntervals) {
  const StudyCurves truth = RunStudy({{"Rs2", "8"}, {"Rp1", "2000"}, {"Jsd11", "1e-10"}, {"Jsc3", "0.014"}});
  std::mt19937_64 rng(11);
  fit::FitOptions options;
  options.curves.push_back(Load("lit", Write("lit.txt", truth.litV, truth.litJ, 0.002, rng, 2)));
  options.curves.push_back(Load("dark", Write("dark.txt", truth.darkV, truth.darkJ, 0.01, rng, 10)));
  options.start = testing_cell::DefaultParameters();  // the form's defaults: every free one off the truth
  options.starts = 4;
  options.threads = 2;
  for (const char* name : {"Rs2", "Rp1", "Jsd11", "Jsc3"})
    options.free.push_back(fit::DefaultBounds(ParameterIndex(name)));
  const fit::FitResult r = fit::Fit(options);
  EXPECT_TRUE(r.converged);
  ASSERT_EQ(r.estimates.size(), 4u);
  for (const fit::ParameterEstimate& e : r.estimates) {
    const auto member = kParameterRows[static_cast<std::size_t>(e.index)].member;
    SCOPED_TRACE(std::string(kParameterRows[static_cast<std::size_t>(e.index)].name));
    EXPECT_TRUE(e.determined);
    EXPECT_LE(e.low95, truth.par.*member);
    EXPECT_GE(e.high95, truth.par.*member);
    EXPECT_LT(e.high95 / e.low95, 1.5) << "an interval that says something";
    EXPECT_EQ(r.fitted.*member, e.fitted);
  }
  ASSERT_EQ(r.residuals.size(), 2u);
  EXPECT_LT(r.residuals[0].rms, 0.01);  // lit: of its largest |J|, with 0.2 % noise
  EXPECT_LT(r.residuals[1].rms, 0.02);  // dark: decades, with 1 % noise (0.004 decades)
  for (const std::string& warning : r.warnings) ADD_FAILURE() << warning;
}

// From the form's defaults, every start of the first round runs Jsd11 down to about 1e-26, where its diode
// no longer shows and nothing pulls it back; the second round draws the least sensitive parameter anew
// around the best point and finds the truth.
TEST_F(FitTest, ASaturationCurrentRunDownWhereItsDiodeVanishesIsBroughtBack) {
  const StudyCurves truth = RunStudy({{"Rs2", "0.549058"},
                                      {"Rp1", "1302.93"},
                                      {"Jsd11", "6.68727e-13"},
                                      {"m12", "1.70312"},
                                      {"Jsd22", "9.76357e-10"}});
  std::mt19937_64 rng(3);
  fit::FitOptions options;
  options.curves.push_back(Load("lit", Write("lit.txt", truth.litV, truth.litJ, 0, rng, 2)));
  options.curves.push_back(Load("dark", Write("dark.txt", truth.darkV, truth.darkJ, 0, rng, 4)));
  options.start = testing_cell::DefaultParameters();
  options.starts = 8;
  options.threads = 2;
  for (const char* name : {"Rs2", "Rp1", "Jsd11", "m12", "Jsd22"})
    options.free.push_back(fit::DefaultBounds(ParameterIndex(name)));
  const fit::FitResult r = fit::Fit(options);
  EXPECT_NEAR(std::log10(r.fitted.Jsd11), std::log10(truth.par.Jsd11), 0.01);
  EXPECT_NEAR(r.fitted.m12, truth.par.m12, 1e-3);
  // One start from a Jsd22 whose diode has vanished cannot climb back by itself: the start from each
  // decade of its bounds does.
  options.starts = 1;
  options.start.Jsd22 = 1e-26;
  const fit::FitResult one = fit::Fit(options);
  EXPECT_NEAR(std::log10(one.fitted.Jsd22), std::log10(truth.par.Jsd22), 0.01);
  EXPECT_GT(one.startsRun, 1);
}

TEST_F(FitTest, TheStacksDarkCurveAloneCannotTellTwoJunctionsSaturationCurrentsApart) {
  // Junctions 1 and 3 with one ideal diode each and no shunt: in series, well above both saturation
  // currents, the dark stack's voltage holds Vt ln(J / Jsd11) + Vt ln(J / Jsd31), which only their product
  // sets.
  const StudyCurves truth = RunStudy({{"Jsd12", "0"}, {"Jsd32", "0"}, {"Rp1", "1e12"}, {"Rp3", "1e12"}});
  std::mt19937_64 rng(5);
  fit::FitOptions options;
  options.curves.push_back(Load("dark", Write("dark.txt", truth.darkV, truth.darkJ, 0.01, rng, 10)));
  options.start = truth.par;
  options.darkFloor = 1e-6;  // twenty times Jsd31
  options.starts = 2;
  options.free = {fit::DefaultBounds(ParameterIndex("Jsd11")), fit::DefaultBounds(ParameterIndex("Jsd31"))};
  const fit::FitResult r = fit::Fit(options);
  bool told = false;
  for (const std::string& w : r.warnings) {
    const bool pair = w.find("Jsd11 and Jsd31 cannot be told apart from the stack's dark curve alone") == 0;
    told = told || (pair && w.find("add a lit:1 or lit:3 curve") != std::string::npos);
  }
  std::string warnings;
  for (const std::string& w : r.warnings) warnings += w + "\n";
  EXPECT_TRUE(told) << warnings;
}

TEST_F(FitTest, RefusesWhatCannotBeFittedInOneSentence) {
  const std::string lit = (dir / "lit.txt").string(), dark = (dir / "dark.txt").string();
  testing::Write(lit, "0\t0.008\n0.5\t0.004\n1\t-0.01\n");
  testing::Write(dark, "0.5\t-1e-6\n1\t-1e-3\n");
  const auto curve = [](const std::string& name, const std::string& path) {
    return fit::LoadCurve({.name = name, .path = path});
  };
  struct Case {
    const char* why;
    std::function<void(fit::FitOptions&)> change;
  };
  const Case cases[] = {
      {"need LO below HI", [](fit::FitOptions& o) { o.free[0].hi = o.free[0].lo; }},
      {"the lowest must be above 0", [](fit::FitOptions& o) { o.free[0].lo = -1; }},
      {"is named free twice", [](fit::FitOptions& o) { o.free.push_back(o.free[0]); }},
      {"the parameters leave it dark",
       [&](fit::FitOptions& o) {
         o.start.Jsc1 = 0;
         o.curves.push_back(curve("lit:1", lit));
       }},
      {"has no point above the floor", [](fit::FitOptions& o) { o.darkFloor = 1; }},
      {"name at least one free parameter", [](fit::FitOptions& o) { o.free.clear(); }},
      {"the curves hold 1 point that count, for 1 free parameter",
       [&](fit::FitOptions& o) {
         o.curves = {curve("lit", lit)};
         o.curves[0].V.resize(1), o.curves[0].J.resize(1);
       }},
      {"is a curve's condition, not a parameter to fit",
       [](fit::FitOptions& o) { o.free = {fit::DefaultBounds(ParameterIndex("T"))}; }},
      {"is given by every curve's own conditions",
       [](fit::FitOptions& o) {
         for (fit::MeasuredCurve& c : o.curves) c.X = 2;
         o.free = {fit::DefaultBounds(ParameterIndex("X"))};
       }},
      {"far above any current a lit cell gives",
       [](fit::FitOptions& o) {
         for (double& J : o.curves[0].J) J *= 1e300;
       }},
      {"far below any current a lit cell gives",
       [](fit::FitOptions& o) {
         for (double& J : o.curves[0].J) J *= 1e-300;
       }},
      {"lit at 100 \xC2\xB0"
       "C, 1 sun (",
       [](fit::FitOptions& o) {
         o.start.alpha1 = -0.1;
         o.curves[0].T = 100;
       }},
  };
  for (const Case& c : cases) {
    fit::FitOptions o;
    o.start = testing_cell::DefaultParameters();
    o.curves = {curve("lit", lit), curve("dark", dark)};
    o.free = {fit::DefaultBounds(ParameterIndex("Rs1"))};
    c.change(o);
    const auto problem = o.Problem();
    ASSERT_TRUE(problem.has_value()) << c.why;
    EXPECT_NE(problem->find(c.why), std::string::npos) << *problem;
    EXPECT_THROW(static_cast<void>(fit::Fit(o)), InputError);
  }
  EXPECT_THROW(static_cast<void>(curve("lit:4", lit)), InputError);
}

// The lit curve of the stack at 41 voltages from -0.3 to 1.3 V, as the model gives it for truth.
fit::MeasuredCurve LitCurveOf(const Parameters& truth) {
  fit::MeasuredCurve lit;
  lit.name = "lit", lit.circuit = exact::Stack({true, true, true}, false);
  for (int i = 0; i <= 40; ++i) lit.V.push_back(-0.3 + 1.6 * i / 40);
  lit.J = fit::ModelCurrents(lit, truth);
  return lit;
}

// Data that the model cannot describe as given (a load-sign file read in the generator sign) end the fit
// not converged, naming the curve and its residual's share, and the reading that fits far better.
TEST_F(FitTest, AFitThatMissesTheDataIsNotConvergedAndSaysWhichReadingFits) {
  fit::MeasuredCurve lit = LitCurveOf(testing_cell::DefaultParameters());
  for (double& J : lit.J) J = -J;
  fit::FitOptions o;
  o.start = testing_cell::DefaultParameters();
  o.curves = {lit};
  o.free = {fit::DefaultBounds(ParameterIndex("Jsc1")), fit::DefaultBounds(ParameterIndex("Rs2"))};
  o.starts = 4, o.threads = 1;
  const fit::FitResult r = fit::Fit(o);
  EXPECT_FALSE(r.converged);
  ASSERT_TRUE(r.missed.has_value());
  EXPECT_GT(r.missed->share, 0.3);
  EXPECT_EQ(r.missed->curve,
            "lit at 26.85 \xC2\xB0"
            "C, 1 sun");
  EXPECT_TRUE(r.missed->fitsBetter && r.missed->otherSign && r.missed->scale == 1);
  ASSERT_FALSE(r.warnings.empty());
  EXPECT_NE(r.warnings.front().find("with their currents' sign turned"), std::string::npos) << r.warnings[0];
}

// A fit confined by its bounds says so: a start moved onto a bound, a value ending on one, an interval
// clipped to them; the intervals never leave the bounds.
TEST_F(FitTest, AFitHeldByItsBoundsSaysSo) {
  Parameters truth = testing_cell::DefaultParameters();
  truth.Rp1 = 5000;
  const fit::MeasuredCurve lit = LitCurveOf(truth);
  fit::FitOptions o;
  o.start = testing_cell::DefaultParameters();
  o.start.Rp1 = 500;  // below the bounds
  o.curves = {lit};
  o.free = {fit::FreeParameter{.index = ParameterIndex("Rp1"), .lo = 1e6, .hi = 1e7}};
  o.starts = 2, o.threads = 1;
  const fit::FitResult r = fit::Fit(o);
  const auto said = [&](const std::string& text) {
    return std::any_of(r.warnings.begin(), r.warnings.end(),
                       [&](const std::string& w) { return w.find(text) != std::string::npos; });
  };
  EXPECT_TRUE(said("The form's Rp1 = 500 lies outside its bounds 1e+06 to 1e+07")) << r.warnings.size();
  EXPECT_TRUE(said("Rp1 ended on its bound 1e+06"));
  ASSERT_EQ(r.estimates.size(), 1u);
  EXPECT_GE(r.estimates[0].low95, 1e6);
  EXPECT_LE(r.estimates[0].high95, 1e7);
}

// The progress callback sees every start end in order with the best cost so far, and its Stop ends the fit
// after the starts under way with the best point reported as stopped.
TEST_F(FitTest, TheProgressCallbackFollowsAndStopsTheFit) {
  Parameters truth = testing_cell::DefaultParameters();
  truth.Rp1 = 3000;
  const fit::MeasuredCurve lit = LitCurveOf(truth);
  fit::FitOptions o;
  o.start = testing_cell::DefaultParameters();
  o.curves = {lit};
  o.free = {fit::DefaultBounds(ParameterIndex("Rp1"))};
  o.starts = 8, o.threads = 1;
  for (const int stopAfter : {8, 3}) {
    std::vector<std::int64_t> seen;
    double best = std::numeric_limits<double>::infinity();
    const fit::FitResult r = fit::Fit(o, [&](const ProgressReport& report) {
      EXPECT_EQ(report.of, 8);
      EXPECT_LE(report.best, best);
      best = report.best;
      seen.push_back(report.done);
      return report.done >= stopAfter ? CallbackReturn::Stop : CallbackReturn::Continue;
    });
    // One thread: no start is under way when the callback answers.
    EXPECT_EQ(r.startsRun, stopAfter);
    EXPECT_EQ(r.stopped, stopAfter < 8);
    EXPECT_EQ(seen.size(), static_cast<std::size_t>(stopAfter + 1));
    for (std::size_t i = 0; i < seen.size(); ++i) EXPECT_EQ(seen[i], static_cast<std::int64_t>(i));
    EXPECT_EQ(r.cost, best);
  }
  // Stopped before any start ended: said so, not taken for a cell without a solution.
  EXPECT_THROW(static_cast<void>(fit::Fit(o, [](const ProgressReport&) { return CallbackReturn::Stop; })),
               StoppedError);
}

// Two series resistances with curves under every light still act as their sum: the advice names the sum
// instead of curves already given, and the points along the sum are one minimum, not a list of them.
TEST_F(FitTest, SeriesResistancesAreDeterminedAsTheirSum) {
  Parameters truth = testing_cell::DefaultParameters();
  truth.Rs1 = 3, truth.Rs2 = 7;
  fit::FitOptions o;
  for (const char* name : {"lit", "dark", "lit:1", "lit:2"}) {
    fit::MeasuredCurve c;
    c.name = name, c.circuit = exact::Stack(*fit::LitSetOf(name), false);
    for (int i = 0; i <= 60; ++i) c.V.push_back(c.Dark() ? 0.3 + 1.9 * i / 60 : -0.3 + 1.65 * i / 60);
    c.J = fit::ModelCurrents(c, truth);
    o.curves.push_back(c);
  }
  o.start = testing_cell::DefaultParameters();
  o.free = {fit::DefaultBounds(ParameterIndex("Rs1")), fit::DefaultBounds(ParameterIndex("Rs2"))};
  o.starts = 8, o.threads = 2;
  const fit::FitResult r = fit::Fit(o);
  EXPECT_NEAR(r.fitted.Rs1 + r.fitted.Rs2, 10, 1e-6);
  ASSERT_EQ(r.warnings.size(), 1u);
  EXPECT_NE(r.warnings[0].find("the data determine Rs1 + Rs2, not each"), std::string::npos) << r.warnings[0];
  EXPECT_EQ(r.warnings[0].find("add a lit:"), std::string::npos);
  EXPECT_TRUE(r.otherMinima.empty());
}

TEST(CurveConfiguration, NamesEveryLightingOfTheStack) {
  const std::pair<const char*, std::optional<std::array<bool, 3>>> names[] = {
      {"lit", std::array<bool, 3>{true, true, true}},
      {"dark", std::array<bool, 3>{}},
      {"lit:2", std::array<bool, 3>{false, true, false}},
      {"lit:13", std::array<bool, 3>{true, false, true}},
      {"lit:23", std::array<bool, 3>{false, true, true}},
      {"lit:31", std::nullopt},
      {"lit:123", std::nullopt},
      {"lit:", std::nullopt},
      {"lit:4", std::nullopt},
      {"Lit", std::nullopt}};
  for (const auto& [name, lit] : names) EXPECT_EQ(fit::LitSetOf(name), lit) << name;
}

}  // namespace
}  // namespace pelarin
