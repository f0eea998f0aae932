// Random numbers that depend only on what they are drawn for: the same draws on every platform and for
// any number of threads (a scan's sample, a fit's starts).
#pragma once

#include <cstdint>

namespace pelarin {

// SplitMix64: a well-mixed 64-bit value of its input.
[[nodiscard]] constexpr std::uint64_t Mix(std::uint64_t x) {
  x += 0x9e3779b97f4a7c15ULL;
  x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ULL;
  x = (x ^ (x >> 27)) * 0x94d049bb133111ebULL;
  return x ^ (x >> 31);
}

// A uniform number in (0, 1) from 53 random bits.
[[nodiscard]] constexpr double UniformOf(std::uint64_t bits) {
  return (static_cast<double>(bits >> 11) + 0.5) * 0x1.0p-53;
}

}  // namespace pelarin
