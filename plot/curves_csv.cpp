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

std::string FigureColumns() {
  return "Voc (V),Jsc (mA/cm2),FF,Pmax (mW/cm2),Vmp (V),Jmp (mA/cm2),efficiency (%),incident power (mW/cm2)";
}

std::string FigureFields(const std::optional<FiguresOfMerit>& figures) {
  if (!figures) return ",,,,,,,";
  const auto field = [](const std::optional<double>& value, double scale = 1) {
    return value ? ShortestText(*value * scale) : std::string();
  };
  const FiguresOfMerit& f = *figures;
  return field(f.Voc) + "," + field(f.Jsc, 1000) + "," + field(f.FF) + "," + field(f.Pmax, 1000) + "," +
         field(f.Vmp) + "," + field(f.Jmp, 1000) + "," + field(f.efficiency) + "," +
         ShortestText(f.incidentPower);
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
