// The plot windows' mouse handling, fed with events in user coordinates: read-out, rubber band with
// resistance or ideality factor that stays after the release, and the image-saving double click.
#include "plot/plot_interaction.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace pelarin {
namespace {

class ScriptedRequests : public PlotWindowRequests {
 public:
  bool AskYesNo(const std::string& text, const std::string& title) override {
    asked.push_back(text + "|" + title);
    return answer;
  }
  void SaveImage(const std::string& path) override { saved.push_back(path); }

  bool answer = true;
  std::vector<std::string> asked, saved;
};

const float kLnMilli = static_cast<float>(std::log(1e-3));
const float kLnTenthMilli = static_cast<float>(std::log(1e-4));
constexpr int L = kLeftButton, R = kRightButton;

enum EventType { Down, Move, Up, Click };
struct Event {
  EventType type;
  int button = 0;
  float x = 0, y = 0;
};

struct Script {
  PlotKind kind;
  double dragLineOn;
  std::string readout;
  bool lineVisible;
  std::vector<Event> events;
};

class PlotMouse : public ::testing::TestWithParam<Script> {};

TEST_P(PlotMouse, ShowsTheReadoutAndRubberBand) {
  const Script& s = GetParam();
  State state;
  state.flags.dragLineOn = s.dragLineOn;
  ScriptedRequests requests;
  PlotInteraction window(s.kind, state, requests);
  for (const Event& e : s.events) {
    if (e.type == Down) window.MouseDown(e.button, e.x, e.y);
    if (e.type == Move) window.MouseMove(e.button, e.x, e.y);
    if (e.type == Up) window.MouseUp(e.button, e.x, e.y);
    if (e.type == Click) window.Click();
  }
  EXPECT_EQ(window.Readout(), s.readout);
  EXPECT_EQ(window.RubberBandLine().visible, s.lineVisible);
}

constexpr auto lin = PlotKind::linlin, log = PlotKind::linlog;

// clang-format off
INSTANTIATE_TEST_SUITE_P(Events, PlotMouse, ::testing::Values(
    // Read-out under the right button; on linlog the height is ln J and the box shows J.
    Script{lin, 0, "x= 5.E-1   y= 1.E-2", false, {{Down, R, .5f, .01f}}},
    Script{log, 0, "x= 5.E-1   y= 1.E-3", false, {{Down, R, .5f, kLnMilli}}},
    Script{lin, 0, "x= 1.25E+0   y= -3.5E-3", false, {{Down, R, .5f, .01f}, {Move, R, 1.25f, -.0035f}}},
    Script{lin, 0, "", false, {{Down, R, .5f, .01f}, {Move, 0, 1, 0}}},
    Script{log, 0, "x= 5.E-1   y= 1.E-4", false, {{Move, L, .5f, kLnTenthMilli}}},
    // R = 0.1 V / -0.01 A/cm2 = -10 Ohm.cm2, shown negated; the release hides the band and the measurement
    // stays through the click and later moves without a button, until the next press.
    Script{lin, 1, "R = 1.E+1 Ohm.cm2", true, {{Down, L, .5f, .01f}, {Move, L, .6f, 0}}},
    Script{lin, 1, "R = 1.E+1 Ohm.cm2", false, {{Down, L, .5f, .01f}, {Move, L, .6f, 0}, {Up, L, .6f, 0}, {Click}, {Move, 0, .9f, .02f}}},
    Script{lin, 1, "R = 2.E+1 Ohm.cm2", false, {{Down, L, .5f, .01f}, {Up, L, .7f, 0}, {Click}}},
    Script{lin, 1, "", false, {{Down, L, .5f, .01f}, {Up, L, .6f, 0}, {Click}, {Down, L, .9f, .02f}, {Up, L, .9f, .02f}, {Click}}},
    Script{lin, 1, "x= 9.E-1   y= 2.E-2", false, {{Down, L, .5f, .01f}, {Up, L, .6f, 0}, {Down, R, .9f, .02f}}},
    Script{log, 1, "m = 1.01", false, {{Down, L, .5f, kLnTenthMilli}, {Up, L, .56f, kLnMilli}, {Click}, {Move, 0, .1f, kLnMilli}}},
    // m = 0.06 / (ln 10 * 0.025851), about 1.008.
    Script{log, 1, "m = 1.01", false, {{Down, L, .5f, kLnTenthMilli}, {Move, L, .56f, kLnMilli}, {Up, L, .56f, kLnMilli}}},
    // A horizontal drag measures nothing: linlin stays empty, linlog keeps the read-out.
    Script{lin, 1, "", true, {{Down, L, .5f, .01f}, {Move, L, .6f, .01f}}},
    Script{log, 1, "x= 6.E-1   y= 1.E-3", false, {{Down, L, .5f, kLnMilli}, {Move, L, .6f, kLnMilli}, {Up, L, .6f, kLnMilli}}},
    // Without the drag line linlin shows nothing, linlog still measures on a left release, not a right one.
    Script{lin, 0, "", false, {{Down, L, .5f, .01f}, {Move, L, .6f, 0}}},
    Script{log, 0, "x= 5.6E-1   y= 1.E-3", false, {{Down, L, .5f, kLnTenthMilli}, {Move, L, .56f, kLnMilli}}},
    Script{log, 0, "m = 1.01", false, {{Down, L, .5f, kLnTenthMilli}, {Up, L, .56f, kLnMilli}}},
    Script{log, 0, "x= 5.6E-1   y= 1.E-3", false, {{Down, L, .5f, kLnTenthMilli}, {Down, R, .56f, kLnMilli}, {Up, R, .56f, kLnMilli}}}));
// clang-format on

TEST(PlotInteractionTest, ComparesHeightsInSinglePrecision) {
  State state;
  ScriptedRequests requests;
  PlotInteraction window(PlotKind::linlog, state, requests);
  state.plot.dragY0 = 0.1;  // not a single-precision number, but rounds to 0.1f
  window.MouseUp(kLeftButton, 0.6f, 0.1f);
  EXPECT_EQ(window.Readout(), "");
}

TEST(PlotInteractionTest, ANewPlotTakesTheMeasurementAway) {
  State state;
  state.flags.dragLineOn = 1;
  ScriptedRequests requests;
  PlotInteraction lin(PlotKind::linlin, state, requests);
  lin.MouseDown(kLeftButton, 0.5f, 0.01f);
  lin.MouseMove(kLeftButton, 0.6f, 0);
  lin.Reset();
  EXPECT_EQ(lin.Readout(), "");
  EXPECT_FALSE(lin.RubberBandLine().visible);
  lin.Click();
  lin.MouseMove(0, 0.7f, 0.001f);
  EXPECT_EQ(lin.Readout(), "");
}

struct SaveCase {
  PlotKind kind;
  double darkFlag;
  bool yes;
  const char* name;
};

class PlotImageSaving : public ::testing::TestWithParam<SaveCase> {};

TEST_P(PlotImageSaving, AsksUnderTheStudysNameAndSavesIntoItsFolderOnYes) {
  const SaveCase& c = GetParam();
  State state;
  state.id.studyLabel = "Test_3 junctions";
  state.id.studyDir = "/data/Test_plr/";
  state.flags.darkFlag = c.darkFlag;
  ScriptedRequests requests;
  requests.answer = c.yes;
  PlotInteraction window(c.kind, state, requests);
  window.MouseDown(kRightButton, 0.5f, 0.01f);
  window.DblClick();
  const std::string name = std::string("Test_3 junctions") + c.name;
  EXPECT_EQ(requests.asked,
            std::vector<std::string>{"Do you want to save the image\runder : " + name + " ?|SAVE IMAGE"});
  EXPECT_EQ(requests.saved,
            c.yes ? std::vector<std::string>{"/data/Test_plr/" + name} : std::vector<std::string>{});
  EXPECT_EQ(window.Readout().empty(), c.yes);
}

INSTANTIATE_TEST_SUITE_P(Windows, PlotImageSaving,
                         ::testing::Values(SaveCase{PlotKind::linlin, 0, true, "_ill.bmp"},
                                           SaveCase{PlotKind::linlin, 1, true, "_dark.bmp"},
                                           SaveCase{PlotKind::linlog, 0, true, "_dark.bmp"},
                                           SaveCase{PlotKind::linlin, 0, false, "_ill.bmp"}));

// A scan's plot (a figure against a parameter): a drag reads out but measures nothing, and the double click
// saves beside the scan's file, never over the study's own image.
TEST(PlotInteractionTest, AScanPlotReadsOutItsFigureWithoutMeasuringAndSavesUnderItsOwnName) {
  State state;
  state.flags.dragLineOn = 1;
  state.id.studyLabel = "Test_3 junctions";
  state.id.studyDir = "/data/Test_plr/";
  ScriptedRequests requests;
  PlotInteraction window(PlotKind::linlin, state, requests);
  window.SetMeasuring(false);
  window.SetImagePath("/data/Test_plr/Test_scan_Rp1.bmp");
  window.MouseDown(L, 1, 0.5f);
  window.MouseMove(L, 3, 0.7f);
  EXPECT_FALSE(window.RubberBandLine().visible);
  window.MouseUp(L, 3, 0.7f);
  EXPECT_EQ(window.Readout(), "");
  window.MouseMove(R, 3, 0.7f);
  EXPECT_EQ(window.Readout().rfind("x= ", 0), 0u) << window.Readout();
  EXPECT_EQ(window.Readout().find("FF"), std::string::npos) << window.Readout();
  // A colour map adds its figure under the cursor, where there is one.
  window.SetReadoutValue("FF", [](double x, double) { return x < 2 ? std::optional(0.7125) : std::nullopt; });
  window.MouseMove(R, 1, 0.7f);
  EXPECT_EQ(window.Readout().substr(window.Readout().find("   FF= ")), "   FF= 7.125E-1") << window.Readout();
  window.MouseMove(R, 3, 0.7f);
  EXPECT_EQ(window.Readout().find("FF"), std::string::npos) << window.Readout();
  window.DblClick();
  EXPECT_EQ(requests.asked, std::vector<std::string>{
                                "Do you want to save the image\runder : Test_scan_Rp1.bmp ?|SAVE IMAGE"});
  EXPECT_EQ(requests.saved, std::vector<std::string>{"/data/Test_plr/Test_scan_Rp1.bmp"});
}

}  // namespace
}  // namespace pelarin
