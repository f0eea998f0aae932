// Figures of merit of a lit J(V) curve, read from its computed points: short-circuit current density,
// open-circuit voltage, maximum power point, fill factor and efficiency. Current densities are positive in
// the generator direction. A figure the points do not determine stays empty; nothing is extrapolated.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <vector>

namespace pelarin {

// The incident power the efficiency refers to unless another is stated (mW/cm2).
inline constexpr double kDefaultIncidentPower = 100;

struct FiguresOfMerit {
  std::optional<double> Voc;                     // V
  std::optional<double> Jsc;                     // A/cm2
  std::optional<double> FF;                      // Pmax / (Voc Jsc)
  std::optional<double> Pmax;                    // W/cm2
  std::optional<double> Vmp;                     // V, at Pmax
  std::optional<double> Jmp;                     // A/cm2, Pmax / Vmp
  std::optional<double> efficiency;              // %, Pmax over the incident power
  double incidentPower = kDefaultIncidentPower;  // mW/cm2
};

// The maximum power point of a curve.
struct PowerPoint {
  double V = 0, J = 0, P = 0;
};

// The voltage where consecutive points pass J = 0 going from J > 0 to J < 0 with rising voltage (the
// lowest such voltage), by linear interpolation between the two; a point exactly at J = 0 between a
// positive and a negative neighbour counts as well. Empty when the curve never crosses.
[[nodiscard]] std::optional<double> VoltageAtZeroCurrent(std::span<const double> v,
                                                         std::span<const double> j);

// The current density where consecutive points pass V = 0, by linear interpolation (a point at exactly 0 V
// gives its own). Empty when the curve stays on one side of 0 V.
[[nodiscard]] std::optional<double> CurrentAtZeroVoltage(std::span<const double> v,
                                                         std::span<const double> j);

// The largest power V J among the points of the generator quadrant (V > 0, J > 0), refined by the vertex of
// the parabola through that point and its two neighbours along the curve. Empty when there is no such point
// or the largest lies at an end of the curve, where the maximum may lie beyond the points.
[[nodiscard]] std::optional<PowerPoint> MaximumPowerPoint(std::span<const double> v,
                                                          std::span<const double> j);

// Whether the curve ends short of open circuit: it never crosses J = 0 and its highest-voltage point still
// carries a generator current. Its open-circuit voltage then needs a solve of its own.
[[nodiscard]] bool StopsShortOfOpenCircuit(std::span<const double> v, std::span<const double> j);

// All figures from the points; solvedVoc, when given, is the open-circuit voltage of a curve that stops
// short of it. incidentPower is in mW/cm2; a non-positive one leaves the efficiency empty.
[[nodiscard]] FiguresOfMerit FiguresFromPoints(std::span<const double> v, std::span<const double> j,
                                               std::optional<double> solvedVoc, double incidentPower);

// The figures as people read them, one "name value unit" text each in the order Voc, Jsc, FF, Pmax, Vmp,
// Jmp, efficiency; an empty figure keeps its name with nothing after it.
[[nodiscard]] std::vector<std::string> FigureTexts(const FiguresOfMerit& figures);

}  // namespace pelarin
