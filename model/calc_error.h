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

// A file that could not be written or read: also shown by the dispatcher.
class FileError : public std::runtime_error {
 public:
  explicit FileError(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace pelarin
