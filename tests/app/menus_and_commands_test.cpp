// The menus that follow the photocurrents, built from the study registry, and the command dispatcher.
#include <gtest/gtest.h>

#include <stdexcept>

#include "app/commands.h"
#include "common/fake_ui.h"
#include "model/calc_error.h"
#include "studies/study_registry.h"
#include "workspace/read_parameters.h"

namespace pelarin {
namespace {

using testing::FakeUi;

MenuItem Item(std::string_view batchName) { return MenuItemOf(*FindStudy(batchName)); }

struct MenuExpectation {
  MenuItem item;
  const char* caption;
  bool enabled;
};

void ExpectMenus(const Menus& menus, std::initializer_list<MenuExpectation> expected) {
  for (const auto& e : expected) {
    EXPECT_EQ(menus.Caption(e.item), e.caption) << static_cast<int>(e.item);
    EXPECT_EQ(menus.Enabled(e.item), e.enabled) << static_cast<int>(e.item) << " " << e.caption;
  }
}

Parameters Lit(double jsc1, double jsc2, double jsc3) {
  Parameters p;
  p.Jsc1 = jsc1;
  p.Jsc2 = jsc2;
  p.Jsc3 = jsc3;
  return p;
}

TEST(AdaptMenus, AllJunctionsLitEnablesEverything) {
  MenuTable menus{StudyMenuEntries()};
  AdaptMenus(Lit(0.008, 0.012, 0.016), menus);
  [[maybe_unused]] typedef MenuItem M;
  ExpectMenus(menus, {{M::TwoJunctions, "&2 junctions", true},
                      {M::AllJunctions, "&All junctions", true},
                      {M::EqeTwoJunctions, "&2 junctions", true},
                      {Item("all-rl"), "With Rl + Rg", true},
                      {Item("one-rl"), "With Rl + Rg", true},
                      {Item("eqe-12"), "1 and 2 illuminated", true},
                      {Item("eqe-13"), "1 and 3 illuminated", true},
                      {Item("eqe-23"), "2 and 3 illuminated", true}});
}

TEST(AdaptMenus, MiddleJunctionDark) {
  MenuTable menus{StudyMenuEntries()};
  AdaptMenus(Lit(0.008, 0, 0.016), menus);
  [[maybe_unused]] typedef MenuItem M;
  ExpectMenus(menus, {{M::TwoJunctions, "******", false},
                      {Item("all-rl"), "With Rl + Rg", false},
                      {Item("one-rl"), "With Rl + Rg", false},
                      {M::EqeTwoJunctions, "&1 junction", true},
                      {Item("eqe-12"), "1 illuminated", true},
                      {Item("eqe-13"), "3 illuminated", true},
                      {Item("eqe-23"), "******", false},
                      {Item("all"), "Without Rl", true},
                      {Item("one"), "Without Rl", true},
                      {Item("independent"), "&Independent", true}});
}

TEST(AdaptMenus, BottomAndMiddleDarkLeaveOnlyJunctionThree) {
  MenuTable menus{StudyMenuEntries()};
  AdaptMenus(Lit(0, 0, 0.016), menus);
  [[maybe_unused]] typedef MenuItem M;
  ExpectMenus(menus, {{Item("eqe-12"), "******", false},
                      {Item("eqe-13"), "3 illuminated", true},
                      {Item("eqe-23"), "******", false}});
}

TEST(AdaptMenus, TopDarkNamesTheLitJunctionOfEachPair) {
  MenuTable menus{StudyMenuEntries()};
  AdaptMenus(Lit(0.008, 0.012, 0), menus);
  [[maybe_unused]] typedef MenuItem M;
  ExpectMenus(menus, {{Item("eqe-12"), "1 illuminated", true},
                      {Item("eqe-13"), "******", false},
                      {Item("eqe-23"), "2 illuminated", true}});
}

TEST(AdaptMenus, AnEntryRenamedAfterALitJunctionIsEnabledAgain) {
  // Junction 1 dark disables the 1-and-3 entry; then junction 2 dark instead names it after junction 3:
  // that command is usable, so it must not stay greyed out from the earlier call.
  MenuTable menus{StudyMenuEntries()};
  [[maybe_unused]] typedef MenuItem M;
  AdaptMenus(Lit(0, 0.012, 0), menus);
  EXPECT_FALSE(menus.Enabled(Item("eqe-13")));
  AdaptMenus(Lit(0.008, 0, 0.016), menus);
  ExpectMenus(menus, {{Item("eqe-13"), "3 illuminated", true}});
  AdaptMenus(Lit(0.008, 0.012, 0.016), menus);
  ExpectMenus(menus,
              {{M::TwoJunctions, "&2 junctions", true}, {Item("eqe-23"), "2 and 3 illuminated", true}});
}

TEST(AdaptMenus, AllDarkDisablesEveryPairEntry) {
  MenuTable menus{StudyMenuEntries()};
  AdaptMenus(Lit(0, 0, 0), menus);
  [[maybe_unused]] typedef MenuItem M;
  ExpectMenus(menus, {{Item("eqe-12"), "******", false},
                      {Item("eqe-13"), "******", false},
                      {Item("eqe-23"), "******", false},
                      {M::TwoJunctions, "******", false}});
}

TEST(ReadParameters, EndsByAdaptingTheMenus) {
  State state;
  FakeUi ui(StudyMenuEntries());
  ui.form.boxes[9] = "0";
  ReadParameters(state, ui);
  EXPECT_EQ(ui.menus.Caption(MenuItem::TwoJunctions), "******");
}

// ---- Command dispatcher ----

TEST(RunCommand, ShowsErrorsAndKeepsGoing) {
  FakeUi ui;
  EXPECT_TRUE(RunCommand(ui, "Nothing", [] {}));
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_FALSE(RunCommand(ui, "Independent study", [] { throw CalcError("CalcJ: division by zero"); }));
  EXPECT_FALSE(RunCommand(ui, "Save", [] { throw FileError("cannot write x.plr"); }));
  EXPECT_FALSE(RunCommand(ui, "Other", [] { throw std::runtime_error("boom"); }));
  ASSERT_EQ(ui.messages.size(), 3u);
  EXPECT_EQ(ui.messages[0].title, "Calculation error");
  EXPECT_NE(ui.messages[0].text.find("Independent study"), std::string::npos);
  EXPECT_NE(ui.messages[0].text.find("division by zero"), std::string::npos);
  EXPECT_EQ(ui.messages[1].title, "File error");
  EXPECT_EQ(ui.messages[2].icon, MessageIcon::Critical);
}

}  // namespace
}  // namespace pelarin
