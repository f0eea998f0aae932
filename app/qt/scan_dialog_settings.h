// What the scan dialog shows when it opens. The main window keeps the settings the last dialog closed with,
// so that a scan is set up again as it was left.
#pragma once

#include <array>
#include <string>

namespace pelarin {

struct ScanDialogSettings {
  struct Axis {
    std::string parameter;  // its name in the parameter table
    std::string from, to;   // as typed: a grid's bounds, or a sample's two numbers
    int points = 13;
    bool log = false;
    std::string spread = "lognormal";
    std::string otherFrom{},
        otherTo{};  // the other mode's two texts; empty: a sample around the form's value
  };
  std::string study = "all";  // its batch name
  std::string figure = "FF";
  std::string method = "exact";
  bool sampling = false;
  int samples = 1000;
  int seed = 1;
  bool second = false;
  // The shunt of junction 1 over five decades, then its series resistance: the two that a first look at a
  // cell most often asks about.
  std::array<Axis, 2> axes{{{.parameter = "Rp1", .from = "10", .to = "1e6", .points = 13, .log = true},
                            {.parameter = "Rs1", .from = "0.1", .to = "10", .points = 5, .log = true}}};
};

}  // namespace pelarin
