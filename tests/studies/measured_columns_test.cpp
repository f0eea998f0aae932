// Measured curves of two columns: every separator and decimal mark a measurement program writes is read,
// and every line that is not two finite numbers is refused by its file and line number.
#include "studies/measured_columns.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/calc_error.h"

namespace pelarin {
namespace {

TEST(MeasuredColumns, ReadsEverySeparatorAndDecimalMark) {
  struct Case {
    const char* text;
    std::vector<double> V, J;
  };
  const Case cases[] = {
      {"V\tJ\n0.1\t0.008\n0.2\t0.007\n", {0.1, 0.2}, {0.008, 0.007}},
      // The program's own tables, by their header: V and the current of five columns.
      {"V (V)     \tCurrent (A/cm2)\tV1 (V)    \tV2 (V)    \tV3 "
       "(V)\r\n1.38E+0\t1.E-9\t4.7E-1\t5.8E-1\t3.2E-1\r\n",
       {1.38},
       {1e-9}},
      {"0.1,0.008\r\n0.2,-7e-3\r\n", {0.1, 0.2}, {0.008, -0.007}},
      {"U (V);I (mA/cm2)\n0,1;8,5\n0,2;7\n", {0.1, 0.2}, {8.5, 7}},
      {"  0.1   0.008 \n\n0,2  7e-3\n", {0.1, 0.2}, {0.008, 0.007}},
      {"0.1\t8,5\n", {0.1}, {8.5}},
  };
  for (const Case& c : cases) {
    const MeasuredColumns m = ReadMeasuredColumnsText(c.text, "m.txt");
    EXPECT_EQ(m.V, c.V) << c.text;
    EXPECT_EQ(m.J, c.J) << c.text;
  }
  // Columns named by the user: the third and first of a file of four.
  const MeasuredColumns chosen = ReadMeasuredColumnsText("t;x;V;y\n1;2;0.5;4\n", "m.txt", std::pair{3, 1});
  EXPECT_EQ(chosen.V, std::vector<double>{0.5});
  EXPECT_EQ(chosen.J, std::vector<double>{1});
}

TEST(MeasuredColumns, RefusesWhatIsNotTwoNumbersNamingTheLine) {
  using namespace std::string_literals;  // "..."s keeps the NUL bytes
  const std::pair<std::string, const char*> refused[] = {
      {""s, "holds no line of two numbers"},
      {"V\tJ\n"s, "holds no line of two numbers"},
      {"V\tJ\n0.1\t0.008\n0.2\tnan\n"s, "m.txt, line 3 \"0.2 nan\": is not two finite numbers"},
      {"0.1;0.2;0.3\n0.1;0.2\n"s, "m.txt, line 1 \"0.1;0.2;0.3\": holds 3 columns, not two (name the two"},
      {"0.1\t0.008\n0.2\n"s, "line 2 \"0.2\": holds one column, not two"},
      {"0.1\t0.008\n1,5,2,5\n"s, "commas: the columns cannot be told from decimal commas"},
      {"0.1\t0.008\n0.2\t1e999\n"s, "line 2"},
      {"0.1\t0.008\n\0\0\n"s, "line 2"},
      {"0.1\t0.008\nend of data\n"s, "line 2 \"end of data\""},
  };
  for (const auto& [text, why] : refused) {
    try {
      static_cast<void>(ReadMeasuredColumnsText(text, "m.txt"));
      ADD_FAILURE() << "taken: " << text;
    } catch (const FileError& e) {
      EXPECT_NE(std::string(e.what()).find(why), std::string::npos) << e.what();
    }
  }
}

}  // namespace
}  // namespace pelarin
