// What every fuzz target uses to stop on a broken promise: the message, then abort, which libFuzzer
// reports as a crash with the input that caused it.
#pragma once

#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(condition, what)                                                   \
  do {                                                                                \
    if (!(condition)) {                                                               \
      std::fprintf(stderr, "broken promise: %s (%s:%d)\n", what, __FILE__, __LINE__); \
      std::abort();                                                                   \
    }                                                                                 \
  } while (false)
