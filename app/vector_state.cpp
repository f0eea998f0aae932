#include "app/vector_state.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace pelarin {

#if defined(__x86_64__)
namespace {

// Compiled for AVX alone, so that the rest of the program keeps the baseline instruction set.
[[gnu::target("avx")]] void ZeroUpper() { _mm256_zeroupper(); }

bool HasAvx() {
  static const bool avx = __builtin_cpu_supports("avx") != 0;
  return avx;
}

}  // namespace

void CleanVectorState() {
  if (HasAvx()) ZeroUpper();
}
#else
void CleanVectorState() {}
#endif

}  // namespace pelarin
