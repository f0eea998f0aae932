// The plot windows' mouse and keyboard handling, fed with events in user coordinates: read-out, rubber
// band with resistance or ideality factor, the Escape message and the image-saving double click.
#include "plot/plot_interaction.h"

#include <gtest/gtest.h>

#include <cmath>
#include <deque>
#include <string>
#include <vector>

#include "model/state.h"

namespace pelarin {
namespace {

struct Asked {
  std::string text, title;
};

class ScriptedRequests : public PlotWindowRequests {
 public:
  bool AskYesNo(const std::string& text, const std::string& title) override {
    questions.push_back({text, title});
    return answer;
  }
  void ShowExclamation(const std::string& text, const std::string& title) override {
    messages.push_back({text, title});
  }
  void SaveImage(const std::string& path) override { saved.push_back(path); }

  bool answer = true;
  std::vector<Asked> questions, messages;
  std::vector<std::string> saved;
};

class PlotInteractionTest : public ::testing::Test {
 protected:
  PlotInteraction& Window(PlotKind kind) { return kind == PlotKind::linlin ? linlin : linlog; }

  State state;
  ScriptedRequests requests;
  PlotInteraction linlin{PlotKind::linlin, state, requests};
  PlotInteraction linlog{PlotKind::linlog, state, requests};
};

const float kLnMilli = static_cast<float>(std::log(1e-3));
const float kLnTenthMilli = static_cast<float>(std::log(1e-4));

TEST_F(PlotInteractionTest, RightButtonReadsOutTheCursorOnBothWindows) {
  linlin.MouseDown(kRightButton, 0.5f, 0.01f);
  EXPECT_EQ(linlin.Readout(), "x= 5.E-1   y= 1.E-2");
  // On linlog the height is ln J: the box shows J.
  linlog.MouseDown(kRightButton, 0.5f, kLnMilli);
  EXPECT_EQ(linlog.Readout(), "x= 5.E-1   y= 1.E-3");
}

TEST_F(PlotInteractionTest, RightDragOnLinlinFollowsTheCursorAndAPlainMoveEmptiesTheBox) {
  linlin.MouseDown(kRightButton, 0.5f, 0.01f);
  linlin.MouseMove(kRightButton, 1.25f, -0.0035f);
  EXPECT_EQ(linlin.Readout(), "x= 1.25E+0   y= -3.5E-3");
  linlin.MouseMove(kRightButton, 2.5f, 0.002f);
  EXPECT_EQ(linlin.Readout(), "x= 2.5E+0   y= 2.E-3");
  linlin.MouseMove(0, 2.5f, 0.002f);
  EXPECT_EQ(linlin.Readout(), "");
  // A left press empties it as well.
  linlin.MouseDown(kRightButton, 0.5f, 0.01f);
  linlin.MouseDown(kLeftButton, 0.5f, 0.01f);
  EXPECT_EQ(linlin.Readout(), "");
}

TEST_F(PlotInteractionTest, LinlogReadsOutWhileEitherButtonIsHeld) {
  linlog.MouseMove(kLeftButton, 0.5f, kLnMilli);
  EXPECT_EQ(linlog.Readout(), "x= 5.E-1   y= 1.E-3");
  linlog.MouseMove(kRightButton, 0.5f, kLnTenthMilli);
  EXPECT_EQ(linlog.Readout(), "x= 5.E-1   y= 1.E-4");
  linlog.MouseMove(0, 0.5f, kLnTenthMilli);
  EXPECT_EQ(linlog.Readout(), "");
}

TEST_F(PlotInteractionTest, LeftDragOnLinlinMeasuresTheResistance) {
  state.flags.dragLineOn = 1;
  linlin.MouseDown(kLeftButton, 0.5f, 0.01f);
  EXPECT_FALSE(linlin.Line1().visible);
  EXPECT_EQ(state.plot.dragX0, 0.5f);
  EXPECT_EQ(state.plot.dragY0, 0.01f);
  linlin.MouseMove(kLeftButton, 0.6f, 0.0f);
  // R = 0.1 V / -0.01 A/cm2 = -10: the box shows its negative.
  EXPECT_EQ(linlin.Readout(), "R = 1.E+1 Ohms");
  const RubberBand& band = linlin.Line1();
  EXPECT_TRUE(band.visible);
  EXPECT_EQ(band.x1, 0.5f);
  EXPECT_EQ(band.y1, 0.01f);
  EXPECT_EQ(band.x2, 0.6f);
  EXPECT_EQ(band.y2, 0.0f);
  linlin.MouseUp(kLeftButton, 0.6f, 0.0f);
  EXPECT_FALSE(linlin.Line1().visible);
  EXPECT_EQ(linlin.Readout(), "R = 1.E+1 Ohms");
  linlin.Click();
  EXPECT_EQ(linlin.Readout(), "");
}

TEST_F(PlotInteractionTest, LeftDragOnLinlogMeasuresTheIdealityFactor) {
  state.flags.dragLineOn = 1;
  linlog.MouseDown(kLeftButton, 0.5f, kLnTenthMilli);
  linlog.MouseMove(kLeftButton, 0.56f, kLnMilli);
  // m = 0.06 / (ln 10 * 0.025851), about 1.008.
  EXPECT_EQ(linlog.Readout(), "m = 1.01");
  EXPECT_TRUE(linlog.Line1().visible);
  linlog.MouseUp(kLeftButton, 0.56f, kLnMilli);
  EXPECT_FALSE(linlog.Line1().visible);
  EXPECT_EQ(linlog.Readout(), "m = 1.01");
}

TEST_F(PlotInteractionTest, AHorizontalDragMeasuresNothing) {
  state.flags.dragLineOn = 1;
  linlin.MouseDown(kLeftButton, 0.5f, 0.01f);
  linlin.MouseMove(kLeftButton, 0.6f, 0.01f);
  EXPECT_TRUE(linlin.Line1().visible);
  EXPECT_EQ(linlin.Readout(), "");
  // linlog keeps the read-out, also on release.
  linlog.MouseDown(kLeftButton, 0.5f, kLnMilli);
  linlog.MouseMove(kLeftButton, 0.6f, kLnMilli);
  EXPECT_EQ(linlog.Readout(), "x= 6.E-1   y= 1.E-3");
  linlog.MouseUp(kLeftButton, 0.6f, kLnMilli);
  EXPECT_EQ(linlog.Readout(), "x= 6.E-1   y= 1.E-3");
}

TEST_F(PlotInteractionTest, HeightsAreComparedInSinglePrecision) {
  state.plot.dragX0 = 0.5;
  state.plot.dragY0 = 0.1;  // not a single-precision number, but rounds to 0.1f
  linlog.MouseUp(kLeftButton, 0.6f, 0.1f);
  EXPECT_EQ(linlog.Readout(), "");
}

TEST_F(PlotInteractionTest, WithoutDragLineLinlinShowsNothingButLinlogStillMeasuresOnRelease) {
  state.flags.dragLineOn = 0;
  linlin.MouseDown(kLeftButton, 0.5f, 0.01f);
  linlin.MouseMove(kLeftButton, 0.6f, 0.0f);
  EXPECT_FALSE(linlin.Line1().visible);
  EXPECT_EQ(linlin.Readout(), "");

  linlog.MouseDown(kLeftButton, 0.5f, kLnTenthMilli);
  linlog.MouseMove(kLeftButton, 0.56f, kLnMilli);
  EXPECT_FALSE(linlog.Line1().visible);
  EXPECT_EQ(linlog.Readout(), "x= 5.6E-1   y= 1.E-3");
  linlog.MouseUp(kLeftButton, 0.56f, kLnMilli);
  EXPECT_EQ(linlog.Readout(), "m = 1.01");
}

TEST_F(PlotInteractionTest, ARightReleaseOnLinlogMeasuresNothing) {
  linlog.MouseDown(kLeftButton, 0.5f, kLnTenthMilli);
  linlog.MouseDown(kRightButton, 0.56f, kLnMilli);
  linlog.MouseUp(kRightButton, 0.56f, kLnMilli);
  EXPECT_EQ(linlog.Readout(), "x= 5.6E-1   y= 1.E-3");
}

TEST_F(PlotInteractionTest, EscapeStopsNothingButSaysSoOnLinlinOnly) {
  linlin.KeyDown('A');
  linlog.KeyDown(kEscapeKey);
  EXPECT_TRUE(requests.messages.empty());
  linlin.KeyDown(kEscapeKey);
  ASSERT_EQ(requests.messages.size(), 1u);
  EXPECT_EQ(requests.messages[0].text, "Calculation stopped by user");
  EXPECT_EQ(requests.messages[0].title, "   WHOOOP !");
}

struct SaveCase {
  PlotKind kind;
  double darkFlag;
  const char* name;
};

void PrintTo(const SaveCase& c, std::ostream* os) {
  *os << (c.kind == PlotKind::linlin ? "linlin" : "linlog") << " darkFlag " << c.darkFlag;
}

class PlotImageSaving : public PlotInteractionTest, public ::testing::WithParamInterface<SaveCase> {};

TEST_P(PlotImageSaving, AsksUnderTheStudysNameAndSavesOnYes) {
  const SaveCase& c = GetParam();
  state.id.studyLabel = "Test_3 junctions";
  state.id.studyDir = "/data/Test_plr/";
  state.flags.darkFlag = c.darkFlag;
  PlotInteraction& window = Window(c.kind);
  window.MouseDown(kRightButton, 0.5f, 0.01f);
  window.DblClick();
  ASSERT_EQ(requests.questions.size(), 1u);
  EXPECT_EQ(requests.questions[0].text,
            std::string("Do you want to save the image\runder : Test_3 junctions") + c.name + " ?");
  EXPECT_EQ(requests.questions[0].title, "SAVE IMAGE");
  ASSERT_EQ(requests.saved.size(), 1u);
  EXPECT_EQ(requests.saved[0], std::string("/data/Test_plr/Test_3 junctions") + c.name);
  EXPECT_EQ(window.Readout(), "");
}

TEST_P(PlotImageSaving, DoesNothingOnNo) {
  const SaveCase& c = GetParam();
  state.flags.darkFlag = c.darkFlag;
  requests.answer = false;
  PlotInteraction& window = Window(c.kind);
  window.MouseDown(kRightButton, 0.5f, 0.01f);
  const std::string shown = window.Readout();
  window.DblClick();
  EXPECT_EQ(requests.questions.size(), 1u);
  EXPECT_TRUE(requests.saved.empty());
  EXPECT_EQ(window.Readout(), shown);
}

INSTANTIATE_TEST_SUITE_P(Windows, PlotImageSaving,
                         ::testing::Values(SaveCase{PlotKind::linlin, 0, "_ill.bmp"},
                                           SaveCase{PlotKind::linlin, 1, "_dark.bmp"},
                                           SaveCase{PlotKind::linlog, 0, "_dark.bmp"},
                                           SaveCase{PlotKind::linlog, 1, "_dark.bmp"}));

}  // namespace
}  // namespace pelarin
