#include "model/figures_of_merit.h"

#include <algorithm>
#include <cstddef>

#include "model/number_text.h"

namespace pelarin {
namespace {

// Where the segment from (x0, y0) to (x1, y1) meets y = 0: its x there.
double ZeroOf(double x0, double y0, double x1, double y1) { return x0 + (x1 - x0) * (0 - y0) / (y1 - y0); }

std::size_t Size(std::span<const double> v, std::span<const double> j) {
  return std::min(v.size(), j.size());
}

}  // namespace

std::optional<double> VoltageAtZeroCurrent(std::span<const double> v, std::span<const double> j) {
  std::optional<double> lowest;
  const auto keep = [&](double voltage) {
    if (!lowest || voltage < *lowest) lowest = voltage;
  };
  const std::size_t n = Size(v, j);
  for (std::size_t i = 0; i + 1 < n; ++i) {
    // Order the pair by voltage: the generator side (J > 0) must lie below the voltage of the other.
    const bool rising = v[i] <= v[i + 1];
    const std::size_t lo = rising ? i : i + 1, hi = rising ? i + 1 : i;
    if (j[lo] > 0 && j[hi] < 0) keep(ZeroOf(v[lo], j[lo], v[hi], j[hi]));
  }
  for (std::size_t i = 1; i + 1 < n; ++i) {
    if (j[i] != 0) continue;
    const bool rising = v[i - 1] <= v[i + 1];
    const double before = rising ? j[i - 1] : j[i + 1], after = rising ? j[i + 1] : j[i - 1];
    if (before > 0 && after < 0) keep(v[i]);
  }
  return lowest;
}

std::optional<double> CurrentAtZeroVoltage(std::span<const double> v, std::span<const double> j) {
  const std::size_t n = Size(v, j);
  for (std::size_t i = 0; i < n; ++i) {
    if (v[i] == 0) return j[i];
    if (i + 1 < n && ((v[i] < 0 && v[i + 1] > 0) || (v[i] > 0 && v[i + 1] < 0)))
      return ZeroOf(j[i], v[i], j[i + 1], v[i + 1]);
  }
  return std::nullopt;
}

std::optional<PowerPoint> MaximumPowerPoint(std::span<const double> v, std::span<const double> j) {
  const std::size_t n = Size(v, j);
  std::optional<std::size_t> best;
  for (std::size_t i = 0; i < n; ++i) {
    if (v[i] <= 0 || j[i] <= 0) continue;
    if (!best || v[i] * j[i] > v[*best] * j[*best]) best = i;
  }
  if (!best || *best == 0 || *best + 1 >= n) return std::nullopt;
  const std::size_t i = *best;
  const double p0 = v[i - 1] * j[i - 1], p1 = v[i] * j[i], p2 = v[i + 1] * j[i + 1];
  PowerPoint point{v[i], j[i], p1};
  // The parabola p1 + b t + a t^2 in t = V - V(i) through the three points; its vertex lies between the
  // neighbours when they stand on either side of the largest point.
  const double h0 = v[i - 1] - v[i], h2 = v[i + 1] - v[i];
  if (h0 * h2 < 0) {
    const double s0 = (p0 - p1) / h0, s2 = (p2 - p1) / h2;
    const double a = (s0 - s2) / (h0 - h2);
    const double b = s0 - a * h0;
    if (a < 0) {
      const double t = -b / (2 * a);
      if (t >= std::min(h0, h2) && t <= std::max(h0, h2)) {
        point.V = v[i] + t;
        point.P = p1 + b * t + a * t * t;
        point.J = point.P / point.V;
      }
    }
  }
  return point;
}

bool StopsShortOfOpenCircuit(std::span<const double> v, std::span<const double> j) {
  const std::size_t n = Size(v, j);
  if (n == 0 || VoltageAtZeroCurrent(v, j)) return false;
  std::size_t top = 0;
  for (std::size_t i = 1; i < n; ++i)
    if (v[i] > v[top]) top = i;
  return j[top] > 0;
}

FiguresOfMerit FiguresFromPoints(std::span<const double> v, std::span<const double> j,
                                 std::optional<double> solvedVoc, double incidentPower) {
  FiguresOfMerit f;
  f.incidentPower = incidentPower;
  f.Voc = VoltageAtZeroCurrent(v, j);
  if (!f.Voc && StopsShortOfOpenCircuit(v, j)) f.Voc = solvedVoc;
  f.Jsc = CurrentAtZeroVoltage(v, j);
  if (const auto mpp = MaximumPowerPoint(v, j)) {
    f.Pmax = mpp->P;
    f.Vmp = mpp->V;
    f.Jmp = mpp->J;
    if (f.Voc && f.Jsc && *f.Voc * *f.Jsc > 0) f.FF = mpp->P / (*f.Voc * *f.Jsc);
    // W/cm2 against mW/cm2, in %.
    if (incidentPower > 0) f.efficiency = mpp->P * 1000 / incidentPower * 100;
  }
  return f;
}

std::vector<std::string> FigureTexts(const FiguresOfMerit& f) {
  const auto text = [](const char* name, const std::optional<double>& value, double scale, bool volts,
                       const std::string& unit) {
    std::string line = name;
    if (value) line += " " + (volts ? FixedText(*value, 3) : SignificantText(*value * scale, 3)) + unit;
    return line;
  };
  return {text("Voc", f.Voc, 1, true, " V"),
          text("Jsc", f.Jsc, 1000, false, " mA/cm2"),
          text("FF", f.FF, 1, false, ""),
          text("Pmax", f.Pmax, 1000, false, " mW/cm2"),
          text("Vmp", f.Vmp, 1, true, " V"),
          text("Jmp", f.Jmp, 1000, false, " mA/cm2"),
          text("Eff", f.efficiency, 1, false, " % at " + SignificantText(f.incidentPower, 3) + " mW/cm2")};
}

}  // namespace pelarin
