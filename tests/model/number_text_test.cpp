// Number text is the file format of every table and parameter file: masks, reading back, plain text.
#include "model/number_text.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace pelarin {
namespace {

struct MaskCase {
  double value;
  const char* mask;
  const char* text;
};

void PrintTo(const MaskCase& c, std::ostream* os) { *os << c.value << " via " << c.mask; }

class MaskFormat : public ::testing::TestWithParam<MaskCase> {};

TEST_P(MaskFormat, WritesTheExpectedText) {
  const MaskCase& c = GetParam();
  EXPECT_EQ(Format(c.value, c.mask), c.text) << c.value << " through " << c.mask;
}

INSTANTIATE_TEST_SUITE_P(
    AllMasks, MaskFormat,
    ::testing::Values(
        // Scientific masks: one digit, at most N decimals with trailing zeros dropped, signed exponent.
        MaskCase{0.008, "#.##E+##", "8.E-3"}, MaskCase{5000, "#.##E+##", "5.E+3"},
        MaskCase{4e-11, "#.##E+##", "4.E-11"}, MaskCase{1e12, "#.##E+##", "1.E+12"},
        MaskCase{5, "#.##E+##", "5.E+0"}, MaskCase{1.2345, "#.##E+##", "1.23E+0"},
        MaskCase{-0.0123456, "#.#####E+##", "-1.23456E-2"}, MaskCase{0.5, "#.######E+##", "5.E-1"},
        MaskCase{2.718281828459, "#.#######E+##", "2.7182818E+0"},
        MaskCase{-2.718281828459, "#.########E+##", "-2.71828183E+0"},
        MaskCase{12.5, "##.#####E+##", "1.25E+1"}, MaskCase{1.23456e-100, "#.####E+##", "1.2346E-100"},
        MaskCase{6.02e23, "#.###E+##", "6.02E+23"}, MaskCase{1.5e300, "#.###E+##", "1.5E+300"},
        // Values that round up to the next power of ten carry into the exponent.
        MaskCase{9.9999996, "#.###E+##", "1.E+1"}, MaskCase{-0.99996, "#.###E+##", "-1.E+0"},
        MaskCase{9.996e-5, "#.##E+##", "1.E-4"},
        // Zero is written readably.
        MaskCase{0, "#.#####E+##", "0.E+0"}, MaskCase{0, "#.##", "0."},
        // Fixed masks: integer part (nothing below 1), point, at most two decimals.
        MaskCase{1, "#.##", "1."}, MaskCase{2, "#.##", "2."}, MaskCase{0.5, "#.##", ".5"},
        MaskCase{1.234, "#.##", "1.23"}, MaskCase{1.5, "##.##", "1.5"}, MaskCase{12.345678, "##.##", "12.35"},
        MaskCase{-0.25, "##.##", "-.25"}, MaskCase{0.999, "#.##", "1."}, MaskCase{0.001, "#.##", "0."},
        MaskCase{123456.789, "#.##", "123456.79"},
        // Literal text ahead of the number is copied as it stands.
        MaskCase{1e12, "Rl1 = #.###E+##", "Rl1 = 1.E+12"}, MaskCase{10, "R = #.###E+##", "R = 1.E+1"},
        MaskCase{1.01, "m = ##.##", "m = 1.01"}));

TEST(MaskFormat, NonFiniteValuesAreNamedNotHidden) {
  EXPECT_EQ(Format(std::numeric_limits<double>::infinity(), "#.##E+##"), "Inf");
  EXPECT_EQ(Format(-std::numeric_limits<double>::infinity(), "#.##"), "-Inf");
  EXPECT_EQ(Format(std::nan(""), "x= #.##E+##"), "x= NaN");
}

// The table writer formats through std::to_chars; printf is the reference. Every mask the program uses, and
// masks far longer than any of them, over random bit patterns (every exponent), values of table-like size,
// and exact halves where the two could round differently.
TEST(MaskFormat, ToCharsMatchesPrintfOnEveryMask) {
  std::vector<std::string> masks = {"##.##",         "#.##",           "##.#####E+##",    "#.##E+##",
                                    "#.###E+##",     "#.####E+##",     "#.#####E+##",     "#.######E+##",
                                    "#.#######E+##", "#.########E+##", "Rl1 = #.###E+##", "#",
                                    "#E+##",         "no digits"};
  for (int decimals : {0, 1, 9, 15, 16, 17, 25, 57, 60, 120, 400}) {
    masks.push_back("#." + std::string(static_cast<std::size_t>(decimals), '#') + "E+##");
    masks.push_back("##." + std::string(static_cast<std::size_t>(decimals), '#'));
  }
  std::mt19937_64 rng(20261207);
  std::uniform_real_distribution<double> decade(-13, 2), mantissa(-1, 1);
  std::uniform_int_distribution<int> halves(-4000, 4000);
  const auto value = [&](long i) {
    switch (i % 3) {
      case 0: {
        const double bits = std::bit_cast<double>(rng());
        return std::isfinite(bits) ? bits : 0.0;
      }
      case 1:
        return mantissa(rng) * std::pow(10.0, decade(rng));
      default:
        return halves(rng) / 8.0;
    }
  };
  long compared = 0;
  for (long i = 0; i < 1'200'000; ++i) {
    const double x = value(i);
    // Each value through the table masks, and through one other mask in turn.
    for (const std::string* mask : {&masks[2], &masks[6], &masks[i % static_cast<long>(masks.size())]}) {
      ASSERT_EQ(Format(x, *mask), FormatByPrintf(x, *mask)) << std::hexfloat << x << " through " << *mask;
      ++compared;
    }
  }
  for (const std::string& mask : masks)
    for (double x : {std::numeric_limits<double>::max(), -std::numeric_limits<double>::max(),
                     std::numeric_limits<double>::denorm_min(), 0.5, 1.5, 2.5, -0.05, 9.5, 99.995, 1e22})
      ASSERT_EQ(Format(x, mask), FormatByPrintf(x, mask)) << std::hexfloat << x << " through " << mask;
  EXPECT_EQ(compared, 3'600'000);
}

TEST(MaskFormat, RoundTripKeepsTheMasksDigits) {
  // Format then read gives the value to the mask's precision, over many magnitudes and both signs.
  const struct {
    const char* mask;
    double relative;
  } masks[] = {{"#.##E+##", 5e-3},       {"#.###E+##", 5e-4},    {"#.####E+##", 5e-5},
               {"#.#####E+##", 5e-6},    {"#.######E+##", 5e-7}, {"#.#######E+##", 5e-8},
               {"#.########E+##", 5e-9}, {"##.#####E+##", 5e-6}};
  for (const auto& m : masks) {
    for (int e = -300; e <= 300; e += 7) {
      for (double mantissa : {1.0, 1.23456789123, 3.14159265358979, 9.87654321, 9.99999999}) {
        for (double sign : {1.0, -1.0}) {
          const double v = sign * mantissa * std::pow(10.0, e);
          const double back = Val(Format(v, m.mask));
          EXPECT_NEAR(back, v, std::abs(v) * m.relative * 1.0000001) << Format(v, m.mask);
        }
      }
    }
  }
  for (double v : {0.0, 0.004, 0.005, 1.0, 1.994, 2.5, 99.999, -3.14159}) {
    EXPECT_NEAR(Val(Format(v, "#.##")), v, 0.005 + 1e-12) << Format(v, "#.##");
    EXPECT_NEAR(Val(Format(v, "##.##")), v, 0.005 + 1e-12);
  }
}

struct ReadCase {
  const char* text;
  double value;
};
void PrintTo(const ReadCase& c, std::ostream* os) { *os << '"' << c.text << '"'; }
class NumberReading : public ::testing::TestWithParam<ReadCase> {};

TEST_P(NumberReading, TakesTheLongestLeadingNumber) {
  EXPECT_DOUBLE_EQ(Val(GetParam().text), GetParam().value) << '"' << GetParam().text << '"';
}

INSTANTIATE_TEST_SUITE_P(
    Texts, NumberReading,
    ::testing::Values(ReadCase{"1e12", 1e12}, ReadCase{"40e-12", 40e-12}, ReadCase{"400e-9", 400e-9},
                      ReadCase{"0.008", 0.008}, ReadCase{"0,008", 0}, ReadCase{"5,5", 5}, ReadCase{"abc", 0},
                      ReadCase{"", 0}, ReadCase{"   ", 0}, ReadCase{" .5", 0.5}, ReadCase{"-.25", -0.25},
                      ReadCase{"+3", 3}, ReadCase{"  1 2 ", 12}, ReadCase{"1.5.7", 1.5},
                      ReadCase{"8.E-3", 8e-3}, ReadCase{"5.E+0", 5}, ReadCase{"1e", 1}, ReadCase{"1e+", 1},
                      ReadCase{"2E3x", 2000}, ReadCase{"7 Ohms", 7}, ReadCase{"-", 0}, ReadCase{".", 0},
                      ReadCase{"1E-05", 1e-5}, ReadCase{"\t4\t", 4}, ReadCase{"1.E+13", 1e13},
                      ReadCase{"0.E+0", 0}, ReadCase{"0.", 0}));

TEST(NumberReading, BeyondTheLargestDoubleSaturatesNeverInfinity) {
  constexpr double kMax = std::numeric_limits<double>::max();
  EXPECT_EQ(Val("9E999"), kMax);
  EXPECT_EQ(Val("-1e999"), -kMax);
  EXPECT_EQ(Val("1e99999999999999999999999"), kMax);
  EXPECT_EQ(Val("1e-999"), 0.0);
  EXPECT_EQ(Val("-1e-99999999999999999999"), 0.0);
}

// A box or a parameter file value must be one number as a whole; the kind says what else it is.
struct WholeCase {
  const char* text;
  NumberKind kind;
  double value;
};
void PrintTo(const WholeCase& c, std::ostream* os) { *os << '"' << c.text << '"'; }
class WholeNumberReading : public ::testing::TestWithParam<WholeCase> {};

TEST_P(WholeNumberReading, AcceptsOnlyOneWholeNumber) {
  const WholeNumber read = ReadWholeNumber(GetParam().text);
  EXPECT_EQ(read.kind, GetParam().kind) << '"' << GetParam().text << '"';
  EXPECT_EQ(read.value, GetParam().value) << '"' << GetParam().text << '"';
}

constexpr double kMax = std::numeric_limits<double>::max();
INSTANTIATE_TEST_SUITE_P(
    Texts, WholeNumberReading,
    ::testing::Values(
        WholeCase{"1e12", NumberKind::Number, 1e12}, WholeCase{" 40e-12 ", NumberKind::Number, 40e-12},
        WholeCase{"\t0.008\r\n", NumberKind::Number, 0.008}, WholeCase{"+3", NumberKind::Number, 3},
        WholeCase{"-.25", NumberKind::Number, -0.25}, WholeCase{"1.", NumberKind::Number, 1},
        WholeCase{"5.E+0", NumberKind::Number, 5}, WholeCase{"1E-05", NumberKind::Number, 1e-5},
        WholeCase{"", NumberKind::Empty, 0}, WholeCase{"  \t", NumberKind::Empty, 0},
        WholeCase{"abc", NumberKind::NotANumber, 0}, WholeCase{"1.5x", NumberKind::NotANumber, 0},
        WholeCase{"e3", NumberKind::NotANumber, 0}, WholeCase{"1,5", NumberKind::NotANumber, 0},
        WholeCase{"1 2", NumberKind::NotANumber, 0}, WholeCase{"1.5.7", NumberKind::NotANumber, 0},
        WholeCase{".", NumberKind::NotANumber, 0}, WholeCase{"-", NumberKind::NotANumber, 0},
        WholeCase{"1e", NumberKind::NotANumber, 0}, WholeCase{"1e+", NumberKind::NotANumber, 0},
        WholeCase{"--1", NumberKind::NotANumber, 0}, WholeCase{"inf", NumberKind::NotANumber, 0},
        WholeCase{"nan", NumberKind::NotANumber, 0}, WholeCase{"0x10", NumberKind::NotANumber, 0},
        // The largest double written with fewer digits reads as the largest double...
        WholeCase{"1.79769313486232E+308", NumberKind::Number, kMax},
        WholeCase{"-1.8E+308", NumberKind::Number, -kMax}, WholeCase{"2e308", NumberKind::Number, kMax},
        WholeCase{"17976931348623158e292", NumberKind::Number, kMax},
        // ...and a number further out is too large, whatever its digits.
        WholeCase{"1e309", NumberKind::TooLarge, kMax}, WholeCase{"9E999", NumberKind::TooLarge, kMax},
        WholeCase{"-1.85e308", NumberKind::TooLarge, -kMax},
        WholeCase{"1.7976931348623159e308", NumberKind::TooLarge, kMax},
        WholeCase{"1e-999", NumberKind::Number, 0}, WholeCase{"4.9e-324", NumberKind::Number, 4.9e-324}));

// Every finite double the program writes reads back to itself: the shortest texts of the parameter file
// over every bit pattern (subnormals and the largest included), and the 15-digit plain text of the largest.
TEST(NumberReading, EveryDoubleWrittenReadsBackToItself) {
  std::mt19937_64 rng(20240611);
  std::vector<double> values = {kMax,
                                -kMax,
                                std::numeric_limits<double>::denorm_min(),
                                std::numeric_limits<double>::min(),
                                -1.7976855e308,
                                4.5678e-11,
                                1.876};
  while (values.size() < 300'000) {
    const double x = std::bit_cast<double>(rng());
    if (std::isfinite(x)) values.push_back(x);
  }
  for (const double x : values) {
    for (const char* mask : {"#.##E+##", "#.##"}) {
      const std::string text = FormatKeepingDigits(x, mask);
      ASSERT_EQ(Val(text), x) << text;
      const WholeNumber whole = ReadWholeNumber(text);
      ASSERT_EQ(whole.kind, NumberKind::Number) << text;
      ASSERT_EQ(whole.value, x) << text;
    }
  }
  for (const double x : {kMax, -kMax}) {
    EXPECT_EQ(Val(PlainNumber(x)), x) << PlainNumber(x);
    EXPECT_TRUE(std::isfinite(Val(Format(x, "#.##E+##")))) << Format(x, "#.##E+##");
  }
  EXPECT_EQ(Val(Format(-1.7976855e308, "#.##E+##")), -kMax);
}

TEST(MaskFormat, KeepingDigitsAddsOnlyTheDigitsTheMaskLoses) {
  // The mask's own text wherever it reads back, byte for byte.
  for (const double x : {5.0, 5000.0, 0.008, 4e-11, 4e-7, 1e12, 0.0, 1.2e-2})
    EXPECT_EQ(FormatKeepingDigits(x, "#.##E+##"), Format(x, "#.##E+##")) << x;
  for (const double x : {1.0, 2.0, 0.5, 1.25}) EXPECT_EQ(FormatKeepingDigits(x, "#.##"), Format(x, "#.##"));
  // Otherwise the same layout with the fewest digits that do.
  EXPECT_EQ(FormatKeepingDigits(4.5678e-11, "#.##E+##"), "4.5678E-11");
  EXPECT_EQ(FormatKeepingDigits(-1.0 / 3, "#.##E+##"), "-3.333333333333333E-1");
  EXPECT_EQ(FormatKeepingDigits(1.876, "#.##"), "1.876");
  EXPECT_EQ(FormatKeepingDigits(0.125, "#.##"), ".125");
  EXPECT_EQ(FormatKeepingDigits(1e-20, "#.##"), ".00000000000000000001");
  EXPECT_EQ(FormatKeepingDigits(1.876, "m = #.##"), "m = 1.876");
  EXPECT_EQ(FormatKeepingDigits(std::numeric_limits<double>::infinity(), "#.##E+##"), "Inf");
}

TEST(PlainNumberText, GeneralNumericForm) {
  EXPECT_EQ(PlainNumber(0.5), " .5");
  EXPECT_EQ(PlainNumber(-0.5), "-.5");
  EXPECT_EQ(PlainNumber(0.001), " .001");
  EXPECT_EQ(PlainNumber(5), " 5");
  EXPECT_EQ(PlainNumber(10), " 10");
  EXPECT_EQ(PlainNumber(0), " 0");
  EXPECT_EQ(PlainNumber(-0.0), " 0");
  EXPECT_EQ(PlainNumber(0.1 + 0.2), " .3");
  EXPECT_EQ(PlainNumber(1.0 / 3.0), " .333333333333333");
  EXPECT_EQ(PlainNumber(1e-5), " 1E-05");
  EXPECT_EQ(PlainNumber(1e15), " 1E+15");
  EXPECT_EQ(PlainNumber(123456789012345.0), " 123456789012345");
  EXPECT_EQ(PlainNumber(-2.5e-7), "-2.5E-07");
  EXPECT_EQ(PlainNumber(0.0001), " .0001");
  for (double v : {0.5, 1e-5, 3.25e20, -7.125, 1e13}) EXPECT_DOUBLE_EQ(Val(PlainNumber(v)), v);
}

TEST(ConvertComma, ReplacesOnlyTheFirstComma) {
  std::string text = "1,5,7";
  Convert(text);
  EXPECT_EQ(text, "1.5,7");
  std::string plain = "12";
  Convert(plain);
  EXPECT_EQ(plain, "12");
  std::string all = "1,5,7,";
  ConvertAll(all);
  EXPECT_EQ(all, "1.5.7.");
  std::string empty;
  Convert(empty);
  EXPECT_EQ(empty, "");
}

TEST(FigureText, RoundsToDecimalsOrSignificantDigitsWithALeadingZero) {
  EXPECT_EQ(FixedText(1.38349, 3), "1.383");
  EXPECT_EQ(FixedText(0.59518, 3), "0.595");
  EXPECT_EQ(FixedText(-0.0004, 3), "-0.000");
  EXPECT_EQ(SignificantText(8.1449, 3), "8.14");
  EXPECT_EQ(SignificantText(0.72996, 3), "0.730");
  EXPECT_EQ(SignificantText(12.345, 3), "12.3");
  EXPECT_EQ(SignificantText(1234.6, 3), "1235");
  EXPECT_EQ(SignificantText(0, 3), "0.00");
  EXPECT_EQ(SignificantText(1.0849e-58, 3), "1.08e-58");  // no row of zeros for a tiny concentration's
  EXPECT_EQ(SignificantText(0.00012345, 3), "0.000123");
  EXPECT_EQ(SignificantText(std::nan(""), 3), "-");
  // CSV numbers read back exactly.
  for (double v : {0.008141234567891, 1e-9, -1.0 / 3, 1.3834e300})
    EXPECT_EQ(std::strtod(ShortestText(v).c_str(), nullptr), v);
  EXPECT_EQ(ShortestText(0.5), "0.5");
  std::string appended = "x=";
  AppendShortest(appended, -1.0 / 3);
  EXPECT_EQ(appended, "x=" + ShortestText(-1.0 / 3));
}

// The messages' numbers are what a stream with that precision writes (the reports were once made so): the
// same text for random doubles over every range, at each precision the program uses.
TEST(FigureText, GeneralTextIsTheStreamsText) {
  std::mt19937_64 random(7);
  std::uniform_real_distribution<double> exponent(-320, 308), mantissa(-10, 10);
  for (int i = 0; i < 2000; ++i) {
    const double v = i < 4 ? std::vector<double>{0.0, -0.0, 1e300 * 1e10, 1.5e-4}[i]
                           : mantissa(random) * std::pow(10.0, exponent(random));
    for (const int digits : {4, 6, 10}) {
      std::ostringstream stream;
      stream.precision(digits);
      stream << v;
      ASSERT_EQ(GeneralText(v, digits), stream.str()) << v << " at " << digits;
    }
  }
}

}  // namespace
}  // namespace pelarin
