// The error a calculation raises when it meets an arithmetic fault (NaN, overflow, division by zero) or a
// search that would never end. The command dispatcher shows its message; the program goes on.
#pragma once

#include <stdexcept>
#include <string>

namespace pelarin {

class CalcError : public std::runtime_error {
 public:
  explicit CalcError(const std::string& message) : std::runtime_error(message) {}
};

// A calculation stopped on request (Escape in the window, Ctrl-C in Python) before it ended.
class StoppedError : public CalcError {
 public:
  explicit StoppedError(const std::string& message) : CalcError(message) {}
};

// A file that could not be written or read: also shown by the dispatcher.
class FileError : public std::runtime_error {
 public:
  explicit FileError(const std::string& message) : std::runtime_error(message) {}
};

// Input a command cannot work with (a box that holds no value a cell can have, no junction to compute):
// the command does not start, and the dispatcher says why. The batch tool counts it as a refusal.
class InputError : public std::runtime_error {
 public:
  explicit InputError(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace pelarin
