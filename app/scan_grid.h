// The grid of a parameter scan: one or two parameters, each stepped from a first to a last value in a
// number of points, evenly or in equal ratios; cells numbered in grid order (the first parameter outermost),
// and slices of that order for runs spread over several machines.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/number_text.h"  // ShortestText: what a scan types into a box

namespace pelarin {

inline constexpr int kMaxScanPoints = 1'000'000;
inline constexpr std::int64_t kMaxScanCells = 10'000'000;

// How a random sample draws a parameter: normal (mean, standard deviation), log-normal (median, and the
// factor that one standard deviation multiplies it by) or uniform (lowest, highest).
enum class Spread { Normal, LogNormal, Uniform };

struct ScanAxis {
  std::string name;  // the parameter's name, as in the parameter table
  int box = -1;      // its box on the form
  double from = 0, to = 0;
  int points = 0;
  bool log = false;
  // For a random sample: the spread its values are drawn from, with from and to its two numbers.
  std::optional<Spread> spread;
};

// Reads NAME=FROM:TO:N or NAME=FROM:TO:N:log, or a spread: NAME=normal:MEAN:SD,
// NAME=lognormal:MEDIAN:FACTOR or NAME=uniform:LO:HI. On a fault returns nothing and says why in error.
[[nodiscard]] std::optional<ScanAxis> ParseScanAxis(std::string_view vary, std::string& error);

// The axis as --vary gives it (NAME=FROM:TO:N[:log] or NAME=SPREAD:A:B).
[[nodiscard]] std::string AxisText(const ScanAxis& axis);

// Draw number attempt (0, 1, ...) of a spread axis for a cell: a function of the seed, the cell, the axis's
// place and the attempt only, so that a sample is the same whatever the threads, slices and order.
[[nodiscard]] double SampleValue(const ScanAxis& axis, std::uint64_t seed, std::int64_t cell,
                                 std::size_t place, int attempt);

// The i-th value (0-based) of the axis: the first and last are the given bounds exactly; between them the
// values are evenly spaced, or spaced in equal ratios for a log axis.
[[nodiscard]] double AxisValue(const ScanAxis& axis, int i);

enum class GridFault {
  None,
  SampleNeedsSpreads,  // a sample without axes, or with an axis that is not a spread
  SpreadNeedsSample,   // a grid with a spread axis
  AxisCount,           // a grid of no axes or of more than two
  SameParameter,       // two axes vary one parameter
};

// The fault said in words that name no option of any face.
[[nodiscard]] std::string GridFaultText(GridFault fault, const std::string& sameParameter);

struct ScanGrid {
  std::vector<ScanAxis> axes;  // one or two; for a random sample, one or more spreads
  std::int64_t samples = 0;    // a random sample of this many cells, or 0 for a grid
  std::uint64_t seed = 0;      // of the sample

  [[nodiscard]] std::int64_t Cells() const;
  // What keeps the axes from making a grid or a sample, or GridFault::None; sameAxis is set to the later
  // of two axes that vary one parameter.
  [[nodiscard]] GridFault Fault(std::size_t* sameAxis = nullptr) const;
  // The axis indices of a cell, first axis first.
  [[nodiscard]] std::vector<int> Indices(std::int64_t cell) const;
};

// The K-th of M interleaved slices of the grid order (cells K-1, K-1+M, ...).
struct ScanPart {
  int k = 1, m = 1;
  [[nodiscard]] bool Holds(std::int64_t cell) const { return cell % m == k - 1; }
};

// Reads K/M (1 <= K <= M). On a fault returns nothing and says why in error.
[[nodiscard]] std::optional<ScanPart> ParseScanPart(std::string_view text, std::string& error);

}  // namespace pelarin
