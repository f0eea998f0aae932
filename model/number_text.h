// Number text: the one place where numbers become text (masks, plain text) and text becomes numbers.
// Every file, read-out box and rewritten parameter box goes through these functions.
#pragma once

#include <string>
#include <string_view>

namespace pelarin {

// Formats value through a mask such as "#.#####E+##", "##.##" or "Rl1 = #.###E+##". Characters ahead of the
// first '#' are copied literally. Scientific masks write one digit, a point, at most as many decimals as '#'
// after the point (trailing zeros dropped), "E", the exponent's sign and its digits ("E+0" for a zero
// exponent). Fixed masks ("#.##", "##.##") write the integer part (nothing for |value| < 1), a point and at
// most two decimals, trailing zeros dropped. Zero is written "0.E+0" or "0." so it stays readable.
[[nodiscard]] std::string Format(double value, std::string_view mask);

// Format, appended to out: what the table writer uses, without a string per number.
void AppendFormatted(std::string& out, double value, std::string_view mask);

// Format computed through printf instead of std::to_chars: the reference the tests hold Format to.
[[nodiscard]] std::string FormatByPrintf(double value, std::string_view mask);

// Reads the longest leading decimal number of text (sign, digits, point, exponent with E or e), skipping
// blanks; text without a number reads as 0. A comma is not a decimal separator. A number beyond the largest
// double reads as the largest double of its sign, never as infinity.
[[nodiscard]] double Val(std::string_view text);

// What a text holds when it must be one number as a whole.
enum class NumberKind {
  Number,      // value holds it
  Empty,       // nothing but blanks
  NotANumber,  // anything else than one decimal number
  TooLarge,    // a number beyond the largest double (value holds the largest double of its sign)
};
struct WholeNumber {
  NumberKind kind = NumberKind::Empty;
  double value = 0;
};

// Reads text as one decimal number and nothing else: blanks around it, an optional sign, digits with at
// most one point (at least one digit), an optional exponent of E or e, a sign and digits. A number beyond
// the largest double that lies within half a unit of its last digit of it (the largest double written with
// fewer digits) reads as the largest double; one further out is TooLarge. A number below the smallest
// double reads as 0.
[[nodiscard]] WholeNumber ReadWholeNumber(std::string_view text);

// Val, with what it found: Number (0 when text holds none) or TooLarge (value is then the largest double
// of its sign, as Val gives).
[[nodiscard]] WholeNumber ReadLeadingNumber(std::string_view text);

// Format, unless the mask's digits do not read back to value: then the same layout with the fewest digits
// that do (shortest round trip). Text that reads back already is the mask's text, byte for byte.
[[nodiscard]] std::string FormatKeepingDigits(double value, std::string_view mask);

// The general numeric text form: up to 15 significant digits, shortest form, no leading zero before the
// point (".5"), exponent form "1E-05" outside [1e-4, 1e15), and a leading blank in place of a plus sign.
[[nodiscard]] std::string PlainNumber(double value);

// A figure for people to read: fixed point with this many decimals and a zero before the point below 1
// ("1.383", "0.730"); "-" for a value that is not finite.
[[nodiscard]] std::string FixedText(double value, int decimals);

// The same with as many decimals (none at least) as give this many significant digits ("8.14", "0.730",
// "12.3", "1235"); below 1e-4, in exponent form ("1.08e-58").
[[nodiscard]] std::string SignificantText(double value, int digits);

// printf's %.*g: at most digits significant digits, exponent form below 1e-4 and from 10^digits, trailing
// zeros dropped ("1.383e-09", "0.7304"): numbers in messages and reports.
[[nodiscard]] std::string GeneralText(double value, int digits);

// The shortest text that reads back as exactly value ("0.00814", "1e-09"): numbers in CSV files.
[[nodiscard]] std::string ShortestText(double value);
// The same text appended to out, without a string of its own: the rows of a scan of millions of cells.
void AppendShortest(std::string& out, double value);

// Replaces the first comma of text by a point; text without a comma is left unchanged.
void Convert(std::string& text);

// Applies Convert until no comma is left.
void ConvertAll(std::string& text);

}  // namespace pelarin
