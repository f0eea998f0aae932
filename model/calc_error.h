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

// A write that may not replace a file found one at its name when it came to put its own there: another run
// took the name meanwhile, and its file is kept. Path() names it.
class FileExistsError : public FileError {
 public:
  explicit FileExistsError(const std::string& path)
      : FileError("cannot write " + path + ": a file of that name was made meanwhile; it is kept."),
        path_(path) {}
  [[nodiscard]] const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

// Input a command cannot work with (a box that holds no value a cell can have, no junction to compute):
// the command does not start, and the dispatcher says why. The batch tool counts it as a refusal.
class InputError : public std::runtime_error {
 public:
  explicit InputError(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace pelarin
