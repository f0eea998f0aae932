#include "plot/curves_csv.h"

#include <cmath>

#include "model/number_text.h"

namespace pelarin {

std::string CsvField(std::string_view text) {
  if (text.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(text);
  std::string quoted = "\"";
  for (const char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + '"';
}

std::string CurvesCsv(const RecordingSurface& drawing) {
  const PlotTitles& titles = drawing.Titles();
  std::string csv = "curve," + CsvField(titles.xTitle.empty() ? "x" : titles.xTitle) + "," +
                    CsvField(titles.yTitle.empty() ? "y" : titles.yTitle) + "\r\n";
  for (const DrawnCurve& curve : drawing.Curves()) {
    const std::string name = CsvField(curve.entry.name);
    for (const auto& [x, y] : curve.points)
      csv += name + "," + ShortestText(x) + "," + ShortestText(titles.logY ? std::exp(y) : y) + "\r\n";
  }
  return csv;
}

}  // namespace pelarin
