#include "model/number_text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>
#include <system_error>

namespace pelarin {
namespace {

std::string NonFinite(double value) {
  if (std::isnan(value)) return "NaN";
  return value < 0 ? "-Inf" : "Inf";
}

// Drops trailing zeros of the decimals, keeping the point.
void TrimDecimals(std::string& digits) {
  const auto point = digits.find('.');
  if (point == std::string::npos) return;
  auto last = digits.find_last_not_of('0');
  if (last < point) last = point;
  digits.erase(last + 1);
}

// The mask's literal prefix, and the number of decimals and the notation of its digit pattern.
struct MaskShape {
  std::string_view prefix;
  bool digits = false;
  bool scientific = false;
  int decimals = 0;
};

MaskShape ShapeOf(std::string_view mask) {
  MaskShape shape;
  const auto firstDigit = mask.find('#');
  if (firstDigit == std::string_view::npos) {
    shape.prefix = mask;
    return shape;
  }
  shape.prefix = mask.substr(0, firstDigit);
  shape.digits = true;
  const std::string_view pattern = mask.substr(firstDigit);
  const auto exponentMark = pattern.find_first_of("Ee");
  shape.scientific = exponentMark != std::string_view::npos;
  const auto point = pattern.find('.');
  if (point != std::string_view::npos) {
    const auto end = shape.scientific ? exponentMark : pattern.size();
    for (auto i = point + 1; i < end; ++i) shape.decimals += pattern[i] == '#' || pattern[i] == '0';
  }
  return shape;
}

// Room for the digits of any double with the given number of decimals: a sign, up to 309 integer digits, a
// point, the decimals and an exponent.
std::size_t RoomFor(int decimals) { return 320 + static_cast<std::size_t>(decimals); }

// Asks for the fewest digits that read back to the value, instead of a number of decimals.
constexpr int kShortest = -1;
// The decimals a fixed text of the smallest subnormal needs, the most any shortest text needs.
constexpr int kShortestRoom = 330;

std::to_chars_result ToChars(char* first, char* last, double value, std::chars_format format, int decimals) {
  return decimals == kShortest ? std::to_chars(first, last, value, format)
                               : std::to_chars(first, last, value, format, decimals);
}

// The shortest exact decimal text is computed by std::to_chars with the requested precision, which gives
// the same correctly rounded digits as printf's %.*e and %.*f at a fraction of the cost.
void AppendScientific(std::string& out, double value, int decimals) {
  if (value == 0) {
    out += "0.E+0";
    return;
  }
  char local[400];
  std::string heap;
  char* buffer = local;
  const std::size_t room = RoomFor(decimals == kShortest ? kShortestRoom : decimals);
  if (room > sizeof local) buffer = (heap.resize(room), heap.data());
  char* end = ToChars(buffer, buffer + room, value, std::chars_format::scientific, decimals).ptr;
  char* e = std::find(buffer, end, 'e');
  char* mantissaEnd = e;
  if (std::find(buffer, e, '.') == e) {
    out.append(buffer, e);
    out += '.';
  } else {
    while (mantissaEnd[-1] == '0') --mantissaEnd;  // stops at the point
    out.append(buffer, mantissaEnd);
  }
  char* exponent = e + 1;
  const bool negative = *exponent == '-';
  ++exponent;  // to_chars always writes the exponent's sign
  while (exponent + 1 < end && *exponent == '0') ++exponent;
  out += negative ? "E-" : "E+";
  out.append(exponent, end);
}

void AppendFixed(std::string& out, double value, int decimals) {
  char local[400];
  std::string heap;
  char* buffer = local;
  const std::size_t room = RoomFor(decimals == kShortest ? kShortestRoom : decimals) + 1;
  if (room > sizeof local) buffer = (heap.resize(room), heap.data());
  char* end = ToChars(buffer, buffer + room - 1, value, std::chars_format::fixed, decimals).ptr;
  const char* point = std::find(buffer, end, '.');
  if (point == end) {
    *end++ = '.';
  } else {
    while (end[-1] == '0') --end;  // stops at the point
  }
  std::string_view text(buffer, static_cast<std::size_t>(end - buffer));
  const bool negative = text.front() == '-';
  if (negative) text.remove_prefix(1);
  if (text.starts_with("0.")) text.remove_prefix(1);  // nothing before the point below 1
  if (text == ".") {                                  // the value rounds to zero
    out += "0.";
    return;
  }
  if (negative) out += '-';
  out += text;
}

// The same texts through printf, kept as the reference the fast formatter is tested against.
std::string PrintfScientific(double value, int decimals) {
  if (value == 0) return "0.E+0";
  std::string text(RoomFor(decimals), '\0');
  text.resize(static_cast<std::size_t>(std::snprintf(text.data(), text.size(), "%.*e", decimals, value)));
  const auto e = text.find('e');
  std::string mantissa = text.substr(0, e);
  if (mantissa.find('.') == std::string::npos) mantissa += '.';
  TrimDecimals(mantissa);
  const int exponent = std::atoi(text.c_str() + e + 1);
  return mantissa + (exponent < 0 ? "E-" : "E+") + std::to_string(std::abs(exponent));
}

std::string PrintfFixed(double value, int decimals) {
  std::string text(RoomFor(decimals), '\0');
  text.resize(static_cast<std::size_t>(std::snprintf(text.data(), text.size(), "%.*f", decimals, value)));
  if (text.find('.') == std::string::npos) text += '.';
  TrimDecimals(text);
  const bool negative = text[0] == '-';
  std::string body = negative ? text.substr(1) : text;
  if (body.rfind("0.", 0) == 0) body.erase(0, 1);  // nothing before the point below 1
  if (body == ".") return "0.";                    // the value rounds to zero
  return negative ? "-" + body : body;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

constexpr double kLargest = std::numeric_limits<double>::max();

// The exponent of body (digits, an optional point, an optional "e" with a sign and digits), held within
// +-1e9 so that any count of exponent digits is safe.
long long ExponentOf(std::string_view body) {
  const auto e = body.find('e');
  if (e == std::string_view::npos) return 0;
  std::size_t i = e + 1;
  const bool negative = i < body.size() && body[i] == '-';
  if (i < body.size() && (body[i] == '-' || body[i] == '+')) ++i;
  long long exponent = 0;
  for (; i < body.size(); ++i) exponent = std::min(exponent * 10 + (body[i] - '0'), 1'000'000'000LL);
  return negative ? -exponent : exponent;
}

// The mantissa's digits without the point, and how many of them follow the point.
struct Digits {
  std::string digits;
  long long decimals = 0;
};
Digits DigitsOf(std::string_view body) {
  Digits d;
  bool afterPoint = false;
  for (const char c : body.substr(0, body.find('e'))) {
    if (c == '.') {
      afterPoint = true;
    } else {
      d.digits += c;
      d.decimals += afterPoint ? 1 : 0;
    }
  }
  return d;
}

// Whether a body that from_chars finds out of range is beyond the largest double (rather than below the
// smallest): its first nonzero digit stands at a positive power of ten.
bool BeyondTheLargest(std::string_view body) {
  const Digits d = DigitsOf(body);
  const auto first = d.digits.find_first_not_of('0');
  if (first == std::string::npos) return false;
  const long long integerDigits = static_cast<long long>(d.digits.size()) - d.decimals;
  return integerDigits - static_cast<long long>(first) + ExponentOf(body) > 0;
}

// Whether the number of body, less half a unit of its last digit, is no larger than the largest double:
// then it may be the largest double written with fewer digits.
bool MayBeTheLargestRounded(std::string_view body) {
  Digits d = DigitsOf(body);
  auto i = d.digits.size();
  while (i > 0 && d.digits[i - 1] == '0') d.digits[--i] = '9';
  if (i == 0) return true;  // a zero
  --d.digits[i - 1];
  const std::string lower = d.digits + "5e" + std::to_string(ExponentOf(body) - d.decimals - 1);
  double value = 0;
  const auto result = std::from_chars(lower.data(), lower.data() + lower.size(), value);
  return result.ec == std::errc() || !BeyondTheLargest(lower);
}

// The double of a checked body: digits with at most one point (at least one digit), then optionally "e", a
// sign and digits.
WholeNumber FromDigits(bool negative, std::string_view body) {
  double value = 0;
  const auto result = std::from_chars(body.data(), body.data() + body.size(), value);
  const double sign = negative ? -1.0 : 1.0;
  if (result.ec == std::errc()) return {NumberKind::Number, sign * value};
  if (!BeyondTheLargest(body)) return {NumberKind::Number, sign * 0.0};
  return {MayBeTheLargestRounded(body) ? NumberKind::Number : NumberKind::TooLarge, sign * kLargest};
}

}  // namespace

void AppendFormatted(std::string& out, double value, std::string_view mask) {
  const MaskShape shape = ShapeOf(mask);
  out += shape.prefix;
  if (!shape.digits) return;
  if (!std::isfinite(value)) {
    out += NonFinite(value);
  } else if (shape.scientific) {
    AppendScientific(out, value, shape.decimals);
  } else {
    AppendFixed(out, value, shape.decimals);
  }
}

std::string Format(double value, std::string_view mask) {
  std::string text;
  AppendFormatted(text, value, mask);
  return text;
}

std::string FormatByPrintf(double value, std::string_view mask) {
  const MaskShape shape = ShapeOf(mask);
  std::string result(shape.prefix);
  if (!shape.digits) return result;
  if (!std::isfinite(value)) return result + NonFinite(value);
  return result +
         (shape.scientific ? PrintfScientific(value, shape.decimals) : PrintfFixed(value, shape.decimals));
}

double Val(std::string_view text) { return ReadLeadingNumber(text).value; }

WholeNumber ReadLeadingNumber(std::string_view text) {
  std::string body;
  std::size_t i = 0;
  const auto skipBlanks = [&] {
    while (i < text.size() && IsBlank(text[i])) ++i;
  };
  const auto isDigit = [&] { return i < text.size() && IsDigit(text[i]); };
  skipBlanks();
  const bool negative = i < text.size() && text[i] == '-';
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  bool digits = false, pointSeen = false;
  for (;;) {
    skipBlanks();
    if (isDigit()) {
      body += text[i++];
      digits = true;
    } else if (!pointSeen && i < text.size() && text[i] == '.') {
      body += text[i++];
      pointSeen = true;
    } else {
      break;
    }
  }
  if (!digits) return {NumberKind::Number, 0.0};
  skipBlanks();
  if (i < text.size() && (text[i] == 'E' || text[i] == 'e')) {
    std::string exponent = "e";
    ++i;
    skipBlanks();
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) exponent += text[i++];
    bool exponentDigits = false;
    for (;;) {
      skipBlanks();
      if (!isDigit()) break;
      exponent += text[i++];
      exponentDigits = true;
    }
    if (exponentDigits) body += exponent;
  }
  return FromDigits(negative, body);
}

WholeNumber ReadWholeNumber(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  if (text.empty()) return {NumberKind::Empty, 0};
  constexpr WholeNumber kNotANumber{NumberKind::NotANumber, 0};
  const bool negative = text.front() == '-';
  if (text.front() == '+' || text.front() == '-') text.remove_prefix(1);
  std::string body;
  std::size_t i = 0;
  bool digits = false, pointSeen = false;
  for (; i < text.size(); ++i) {
    if (IsDigit(text[i])) {
      digits = true;
    } else if (text[i] == '.' && !pointSeen) {
      pointSeen = true;
    } else {
      break;
    }
    body += text[i];
  }
  if (!digits) return kNotANumber;
  if (i < text.size()) {
    if (text[i] != 'e' && text[i] != 'E') return kNotANumber;
    body += 'e';
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) body += text[i++];
    const std::size_t firstDigit = i;
    for (; i < text.size() && IsDigit(text[i]); ++i) body += text[i];
    if (i == firstDigit || i < text.size()) return kNotANumber;
  }
  return FromDigits(negative, body);
}

std::string FormatKeepingDigits(double value, std::string_view mask) {
  const MaskShape shape = ShapeOf(mask);
  if (!shape.digits || !std::isfinite(value)) return Format(value, mask);
  std::string text(shape.prefix);
  const std::size_t start = text.size();
  const auto append = [&](int decimals) {
    if (shape.scientific)
      AppendScientific(text, value, decimals);
    else
      AppendFixed(text, value, decimals);
  };
  append(shape.decimals);
  if (Val(std::string_view(text).substr(start)) == value) return text;
  text.resize(start);
  append(kShortest);
  return text;
}

std::string PlainNumber(double value) {
  if (value == 0) return " 0";
  if (!std::isfinite(value)) return NonFinite(value);
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.15g", value);
  std::string text(buffer);
  for (char& c : text)
    if (c == 'e') c = 'E';
  const bool negative = text[0] == '-';
  std::string body = negative ? text.substr(1) : text;
  if (body.rfind("0.", 0) == 0) body.erase(0, 1);
  return (negative ? "-" : " ") + body;
}

std::string FixedText(double value, int decimals) {
  if (!std::isfinite(value)) return "-";
  char buffer[400];
  const int room = std::min(std::max(decimals, 0), 60);
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, room);
  return std::string(buffer, result.ptr);
}

std::string SignificantText(double value, int digits) {
  if (!std::isfinite(value)) return "-";
  if (value == 0) return FixedText(0, digits - 1);
  const int magnitude = static_cast<int>(std::floor(std::log10(std::abs(value))));
  if (magnitude < -4) {  // a tiny value in fixed digits would be a row of zeros: "1.08e-58"
    char text[48];
    std::snprintf(text, sizeof text, "%.*e", std::max(digits - 1, 0), value);
    return text;
  }
  return FixedText(value, std::max(digits - 1 - magnitude, 0));
}

std::string ShortestText(double value) {
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

std::string GeneralText(double value, int digits) {
  char text[48];
  std::snprintf(text, sizeof text, "%.*g", digits, value);
  return text;
}

void AppendShortest(std::string& out, double value) {
  char buffer[32];  // the shortest round-trip text of a double has at most 24 characters
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  out.append(buffer, result.ptr);
}

void Convert(std::string& text) {
  const auto comma = text.find(',');
  if (comma != std::string::npos) text[comma] = '.';
}

void ConvertAll(std::string& text) {
  while (text.find(',') != std::string::npos) Convert(text);
}

}  // namespace pelarin
