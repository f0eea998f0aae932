// Reading result tables and recorded drawings back in tests: the CR LF lines of a table, one column of its
// data lines as numbers, the circles drawn in one colour, and two drawings compared call for call.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <sstream>
#include <string>
#include <vector>

#include "common/state_checks.h"
#include "model/number_text.h"
#include "ui/recorded_plot_window.h"

namespace pelarin::testing {

// The lines of a table; a line without its CR LF is a test failure.
inline std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  for (std::size_t start = 0, end = 0; start < text.size(); start = end + 2) {
    end = text.find("\r\n", start);
    if (end == std::string::npos) {
      ADD_FAILURE() << "every line ends in CR LF";
      break;
    }
    lines.push_back(text.substr(start, end - start));
  }
  return lines;
}

// Column `column` (0-based, TAB-separated) of the lines from `firstDataLine` (0-based) on, read as numbers.
inline std::vector<double> Column(const std::vector<std::string>& lines, int column,
                                  std::size_t firstDataLine = 1) {
  std::vector<double> values;
  for (std::size_t i = firstDataLine; i < lines.size(); ++i) {
    std::string field;
    std::istringstream row(lines[i]);
    for (int c = 0; c <= column; ++c) std::getline(row, field, '\t');
    values.push_back(Val(field));
  }
  return values;
}

inline std::size_t CountCircles(const RecordedPlotWindow& window, Colour colour) {
  std::size_t n = 0;
  for (const DrawOp& op : window.CirclesDrawn()) n += op.colour == colour;
  return n;
}

// Two recordings call for call, coordinates by their bits.
inline void ExpectSameDrawing(const RecordingSurface& a, const RecordingSurface& b, const char* what) {
  const auto &x = a.Ops(), &y = b.Ops();
  ASSERT_EQ(x.size(), y.size()) << what;
  for (std::size_t i = 0; i < x.size(); ++i) {
    const DrawOp &p = x[i], &q = y[i];
    const bool same = p.kind == q.kind && SameBits(p.x, q.x) && SameBits(p.y, q.y) && SameBits(p.x2, q.x2) &&
                      SameBits(p.y2, q.y2) && p.colour == q.colour && p.value == q.value && p.text == q.text;
    if (!same) {
      ADD_FAILURE() << what << ": drawing call " << i << " differs";
      return;
    }
  }
}

}  // namespace pelarin::testing
