// The curves of a drawing exported as CSV: header from the axis titles, one row per point drawn, names
// quoted where they hold commas, and the log window's heights turned back into current densities.
#include "plot/curves_csv.h"

#include <gtest/gtest.h>

#include <cmath>

namespace pelarin {
namespace {

TEST(CurvesCsvTest, WritesEveryPointUnderItsCurvesNameAndTheAxisTitles) {
  RecordingSurface drawing;
  drawing.SetTitles({.title = "Test_1 junction", .xTitle = "V (V)", .yTitle = "J (A/cm2)", .logY = false});
  drawing.BeginCurve({.name = "#1 lit, #2 #3 dark", .colour = 255, .hollow = false, .figures = std::nullopt});
  drawing.Circle(-0.5, 0.0081, 1, 255);
  drawing.Circle(0.25, 1.0 / 3, 1, 255);
  drawing.BeginCurve({.name = "say \"hi\"", .colour = 65280, .hollow = false, .figures = std::nullopt});
  drawing.Circle(1, 2, 1, 65280);
  EXPECT_EQ(CurvesCsv(drawing),
            "curve,V (V),J (A/cm2)\r\n"
            "\"#1 lit, #2 #3 dark\",-0.5,0.0081\r\n"
            "\"#1 lit, #2 #3 dark\",0.25,0.3333333333333333\r\n"
            "\"say \"\"hi\"\"\",1,2\r\n");
}

TEST(CurvesCsvTest, GivesTheLogWindowsCurrentDensitiesNotTheirLogarithms) {
  RecordingSurface drawing;
  drawing.SetTitles({.title = "", .xTitle = "V (V)", .yTitle = "J (A/cm2)", .logY = true});
  drawing.Circle(0.5, std::log(1e-6), 1, 0);  // before any curve began: a curve without a name
  const std::string csv = CurvesCsv(drawing);
  const auto row = csv.substr(csv.find("\r\n") + 2);
  ASSERT_EQ(row.substr(0, 5), ",0.5,");
  EXPECT_NEAR(std::stod(row.substr(5)), 1e-6, 1e-21);
  EXPECT_EQ(CurvesCsv(RecordingSurface()), "curve,x,y\r\n");
}

}  // namespace
}  // namespace pelarin
