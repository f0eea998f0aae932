#include "app/scan_grid.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <system_error>

#include "app/shown_text.h"
#include "model/number_text.h"
#include "model/parameter_table.h"
#include "model/random_draws.h"

namespace pelarin {
namespace {

// The whole text as a finite double, or nothing.
std::optional<double> Number(std::string_view text) {
  double value = 0;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (ec != std::errc() || ptr != end || !std::isfinite(value)) return std::nullopt;
  return value;
}

std::optional<std::int64_t> Whole(std::string_view text) {
  std::int64_t value = 0;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (ec != std::errc() || ptr != end) return std::nullopt;
  return value;
}

std::vector<std::string_view> Split(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  for (std::size_t start = 0;;) {
    const auto end = text.find(separator, start);
    parts.push_back(text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
    if (end == std::string_view::npos) return parts;
    start = end + 1;
  }
}

// NAME=normal:MEAN:SD, NAME=lognormal:MEDIAN:FACTOR or NAME=uniform:LO:HI.
std::optional<ScanAxis> ParseSpread(ScanAxis axis, const std::vector<std::string_view>& parts,
                                    const std::string& shown, std::string& error) {
  const auto a = parts.size() == 3 ? Number(parts[1]) : std::nullopt;
  const auto b = parts.size() == 3 ? Number(parts[2]) : std::nullopt;
  if (!a || !b) {
    error = "\"" + shown +
            "\" is not NAME=normal:MEAN:SD, NAME=lognormal:MEDIAN:FACTOR or NAME=uniform:LO:HI "
            "with finite numbers";
    return std::nullopt;
  }
  axis.from = *a, axis.to = *b;
  if (parts[0] == "normal") {
    axis.spread = Spread::Normal;
    if (!(*b > 0)) error = "the standard deviation of \"" + shown + "\" must be above 0";
  } else if (parts[0] == "lognormal") {
    axis.spread = Spread::LogNormal;
    if (!(*a > 0) || !(*b > 1)) error = "\"" + shown + "\" needs a median above 0 and a factor above 1";
  } else {
    axis.spread = Spread::Uniform;
    if (!(*a < *b)) error = "\"" + shown + "\" needs LO below HI";
  }
  if (!error.empty()) return std::nullopt;
  return axis;
}

}  // namespace

std::string AxisText(const ScanAxis& axis) {
  const std::string a = ShortestText(axis.from), b = ShortestText(axis.to);
  if (axis.spread) {
    const char* spread = *axis.spread == Spread::Normal      ? "normal"
                         : *axis.spread == Spread::LogNormal ? "lognormal"
                                                             : "uniform";
    return axis.name + "=" + spread + ":" + a + ":" + b;
  }
  return axis.name + "=" + a + ":" + b + ":" + std::to_string(axis.points) + (axis.log ? ":log" : "");
}

double SampleValue(const ScanAxis& axis, std::uint64_t seed, std::int64_t cell, std::size_t place,
                   int attempt) {
  std::uint64_t state = Mix(seed);
  state = Mix(state ^ static_cast<std::uint64_t>(cell));
  state = Mix(state ^ static_cast<std::uint64_t>(place));
  state = Mix(state ^ static_cast<std::uint64_t>(attempt));
  const double u1 = UniformOf(state), u2 = UniformOf(Mix(state));
  if (axis.spread == Spread::Uniform) return axis.from + (axis.to - axis.from) * u1;
  // Box and Muller's normal number: written out, so that every platform draws the same sample.
  const double z = std::sqrt(-2 * std::log(u1)) * std::cos(6.283185307179586 * u2);
  if (axis.spread == Spread::Normal) return axis.from + axis.to * z;
  return axis.from * std::exp(std::log(axis.to) * z);
}

std::optional<ScanAxis> ParseScanAxis(std::string_view vary, std::string& error) {
  const std::string shown = Shown(vary);
  const auto eq = vary.find('=');
  if (eq == std::string_view::npos) {
    error = "\"" + shown + "\" is not NAME=FROM:TO:N[:log]";
    return std::nullopt;
  }
  ScanAxis axis;
  axis.box = ParameterIndex(vary.substr(0, eq));
  if (axis.box < 0) {
    error = "\"" + Shown(vary.substr(0, eq)) + "\" is not a parameter name (Rs1, Rp1, Jsc1, ...)";
    return std::nullopt;
  }
  axis.name = std::string(kParameterRows[static_cast<std::size_t>(axis.box)].name);
  const auto parts = Split(vary.substr(eq + 1), ':');
  if (!parts.empty() && (parts[0] == "normal" || parts[0] == "lognormal" || parts[0] == "uniform"))
    return ParseSpread(axis, parts, shown, error);
  if (parts.size() < 3 || parts.size() > 4 || (parts.size() == 4 && parts[3] != "log" && parts[3] != "lin")) {
    error = "\"" + shown + "\" is not NAME=FROM:TO:N[:log]";
    return std::nullopt;
  }
  const auto from = Number(parts[0]), to = Number(parts[1]);
  if (!from || !to) {
    error = "the bounds of \"" + shown + "\" are not finite numbers";
    return std::nullopt;
  }
  const auto points = Whole(parts[2]);
  if (!points || *points < 2 || *points > kMaxScanPoints) {
    error = "the number of points of \"" + shown + "\" must be a whole number from 2 to " +
            std::to_string(kMaxScanPoints);
    return std::nullopt;
  }
  axis.from = *from, axis.to = *to, axis.points = static_cast<int>(*points);
  axis.log = parts.size() == 4 && parts[3] == "log";
  if (axis.log && (axis.from <= 0 || axis.to <= 0)) {
    error = "a log scan needs bounds above 0: \"" + shown + "\"";
    return std::nullopt;
  }
  return axis;
}

double AxisValue(const ScanAxis& axis, int i) {
  if (i <= 0) return axis.from;
  if (i >= axis.points - 1) return axis.to;
  const double t = static_cast<double>(i) / (axis.points - 1);
  if (!axis.log) return axis.from + (axis.to - axis.from) * t;
  return std::exp(std::log(axis.from) + (std::log(axis.to) - std::log(axis.from)) * t);
}

std::int64_t ScanGrid::Cells() const {
  if (samples > 0) return samples;
  std::int64_t cells = 1;
  for (const ScanAxis& axis : axes) cells *= axis.points;
  return cells;
}

GridFault ScanGrid::Fault(std::size_t* sameAxis) const {
  const auto spread = [](const ScanAxis& a) { return a.spread.has_value(); };
  if (samples > 0) {
    if (axes.empty() || !std::all_of(axes.begin(), axes.end(), spread)) return GridFault::SampleNeedsSpreads;
  } else {
    if (std::any_of(axes.begin(), axes.end(), spread)) return GridFault::SpreadNeedsSample;
    if (axes.empty() || axes.size() > 2) return GridFault::AxisCount;
  }
  for (std::size_t a = 0; a < axes.size(); ++a)
    for (std::size_t b = 0; b < a; ++b)
      if (axes[a].box == axes[b].box) {
        if (sameAxis) *sameAxis = a;
        return GridFault::SameParameter;
      }
  return GridFault::None;
}

std::string GridFaultText(GridFault fault, const std::string& sameParameter) {
  switch (fault) {
    case GridFault::None:
      return "";
    case GridFault::SampleNeedsSpreads:
      return "a sample draws each varied parameter from a spread: normal, lognormal or uniform";
    case GridFault::SpreadNeedsSample:
      return "a spread is drawn in a sample: give the number of cells to draw";
    case GridFault::AxisCount:
      return "a grid varies one or two parameters";
    case GridFault::SameParameter:
      return "two axes vary the same parameter, " + sameParameter;
  }
  return "";
}

std::vector<int> ScanGrid::Indices(std::int64_t cell) const {
  std::vector<int> indices(axes.size());
  for (std::size_t a = axes.size(); a-- > 0;) {
    indices[a] = static_cast<int>(cell % axes[a].points);
    cell /= axes[a].points;
  }
  return indices;
}

std::optional<ScanPart> ParseScanPart(std::string_view text, std::string& error) {
  const auto slash = text.find('/');
  const auto k = slash == std::string_view::npos ? std::nullopt : Whole(text.substr(0, slash));
  const auto m = slash == std::string_view::npos ? std::nullopt : Whole(text.substr(slash + 1));
  if (!k || !m || *m < 1 || *k < 1 || *k > *m || *m > kMaxScanCells) {
    error = "--part takes K/M with 1 <= K <= M, not \"" + Shown(text) + "\"";
    return std::nullopt;
  }
  return ScanPart{static_cast<int>(*k), static_cast<int>(*m)};
}

}  // namespace pelarin
