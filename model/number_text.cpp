#include "model/number_text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

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
  const std::size_t room = RoomFor(decimals);
  if (room > sizeof local) buffer = (heap.resize(room), heap.data());
  char* end = std::to_chars(buffer, buffer + room, value, std::chars_format::scientific, decimals).ptr;
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
  const std::size_t room = RoomFor(decimals) + 1;
  if (room > sizeof local) buffer = (heap.resize(room), heap.data());
  char* end = std::to_chars(buffer, buffer + room - 1, value, std::chars_format::fixed, decimals).ptr;
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

double Val(std::string_view text) {
  std::string clean;
  std::size_t i = 0;
  const auto skipBlanks = [&] {
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\n' || text[i] == '\r')) ++i;
  };
  const auto isDigit = [&] { return i < text.size() && text[i] >= '0' && text[i] <= '9'; };
  skipBlanks();
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) clean += text[i++];
  bool digits = false, pointSeen = false;
  for (;;) {
    skipBlanks();
    if (isDigit()) {
      clean += text[i++];
      digits = true;
    } else if (!pointSeen && i < text.size() && text[i] == '.') {
      clean += text[i++];
      pointSeen = true;
    } else {
      break;
    }
  }
  if (!digits) return 0.0;
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
    if (exponentDigits) clean += exponent;
  }
  return std::strtod(clean.c_str(), nullptr);
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
  return FixedText(value, std::max(digits - 1 - magnitude, 0));
}

std::string ShortestText(double value) {
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

void Convert(std::string& text) {
  const auto comma = text.find(',');
  if (comma != std::string::npos) text[comma] = '.';
}

void ConvertAll(std::string& text) {
  while (text.find(',') != std::string::npos) Convert(text);
}

}  // namespace pelarin
