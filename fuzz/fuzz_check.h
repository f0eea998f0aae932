// What every fuzz target uses to stop on a broken promise: the message, then abort, which libFuzzer
// reports as a crash with the input that caused it; and the command-line targets' reading of an input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#define FUZZ_CHECK(condition, what)                                                   \
  do {                                                                                \
    if (!(condition)) {                                                               \
      std::fprintf(stderr, "broken promise: %s (%s:%d)\n", what, __FILE__, __LINE__); \
      std::abort();                                                                   \
    }                                                                                 \
  } while (false)

// An input as a command line: arguments split at NUL bytes, at most 65 of them.
inline std::vector<std::string> FuzzArguments(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> args(1);
  for (std::size_t i = 0; i < size && args.size() <= 64; ++i) {
    if (data[i] == 0)
      args.emplace_back();
    else
      args.back() += static_cast<char>(data[i]);
  }
  return args;
}
