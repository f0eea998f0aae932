#include "model/number_text.h"

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

std::string Scientific(double value, int decimals) {
  if (value == 0) return "0.E+0";
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.*e", decimals, value);
  std::string text(buffer);
  const auto e = text.find('e');
  std::string mantissa = text.substr(0, e);
  if (mantissa.find('.') == std::string::npos) mantissa += '.';
  TrimDecimals(mantissa);
  const int exponent = std::atoi(text.c_str() + e + 1);
  return mantissa + (exponent < 0 ? "E-" : "E+") + std::to_string(std::abs(exponent));
}

std::string Fixed(double value, int decimals) {
  char buffer[400];
  std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
  std::string text(buffer);
  if (text.find('.') == std::string::npos) text += '.';
  TrimDecimals(text);
  const bool negative = text[0] == '-';
  std::string body = negative ? text.substr(1) : text;
  if (body.rfind("0.", 0) == 0) body.erase(0, 1);  // nothing before the point below 1
  if (body == ".") return "0.";                    // the value rounds to zero
  return negative ? "-" + body : body;
}

}  // namespace

std::string Format(double value, std::string_view mask) {
  const auto firstDigit = mask.find('#');
  if (firstDigit == std::string_view::npos) return std::string(mask);
  std::string result(mask.substr(0, firstDigit));
  const std::string_view pattern = mask.substr(firstDigit);
  const auto exponentMark = pattern.find_first_of("Ee");
  const auto point = pattern.find('.');
  int decimals = 0;
  if (point != std::string_view::npos) {
    const auto end = exponentMark == std::string_view::npos ? pattern.size() : exponentMark;
    for (auto i = point + 1; i < end; ++i) decimals += pattern[i] == '#' || pattern[i] == '0';
  }
  if (!std::isfinite(value)) return result + NonFinite(value);
  result += exponentMark == std::string_view::npos ? Fixed(value, decimals) : Scientific(value, decimals);
  return result;
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

void Convert(std::string& text) {
  const auto comma = text.find(',');
  if (comma != std::string::npos) text[comma] = '.';
}

void ConvertAll(std::string& text) {
  while (text.find(',') != std::string::npos) Convert(text);
}

}  // namespace pelarin
