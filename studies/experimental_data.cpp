#include "studies/experimental_data.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "model/calc_error.h"
#include "model/number_text.h"
#include "workspace/study_folder.h"

namespace fs = std::filesystem;

namespace pelarin {
namespace {

MeasuredPoint ParseLine(std::string line) {
  ConvertAll(line);
  const auto tab = line.find('\t');
  if (tab == std::string::npos) return {0.0, Val(line)};
  return {Val(line.substr(0, tab + 1)), Val(line.substr(tab + 1))};
}

bool ReadLine(std::istream& in, std::string& line) {
  if (!std::getline(in, line)) return false;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return true;
}

// The first entry of folder, in name order, whose name contains "Dark".
std::optional<fs::path> FindDarkFile(const fs::path& folder) {
  std::vector<fs::path> names;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
    if (it->path().filename().string().find("Dark") != std::string::npos) names.push_back(it->path());
  if (names.empty()) return std::nullopt;
  return *std::min_element(names.begin(), names.end());
}

LegendEntry MeasuredEntry(const std::string& name) {
  return {.name = name, .colour = PaletteColour(8), .hollow = true, .figures = std::nullopt};
}

void PrepareOverlay(PlotWindow& window) {
  window.SetFillColour(PaletteColour(15));
  window.SetFillStyle(FillStyle::Transparent);
  window.SetDrawWidth(3);
}

}  // namespace

std::vector<MeasuredPoint> ReadMeasuredCurve(const std::string& path, int maxLines) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw FileError("cannot open " + path + ".");
  std::string line;
  if (!ReadLine(in, line)) throw FileError(path + " is empty.");
  std::vector<MeasuredPoint> points;
  int lineNumber = 1;
  do {
    if (!ReadLine(in, line)) throw FileError(path + " holds no data line after its header.");
    ++lineNumber;
    points.push_back(ParseLine(line));
  } while (in.peek() != std::char_traits<char>::eof() && lineNumber < maxLines);
  return points;
}

void ExperimentalOverlay(State& state, Ui& ui, double darkMarkerRadius, int maxLitLines, int maxDarkLines) {
  if (!ui.Ask(Question::ShowExperimentalData)) return;
  try {
    const auto chosen = ChooseFileToOpen(
        ui, {.kind = FileKind::MeasuredData, .title = "", .startDir = CurrentDir(), .fileName = ""});
    if (!chosen || chosen->empty()) return;
    const fs::path folder = fs::path(*chosen).parent_path();
    if (folder.empty()) return;

    const auto lit = ReadMeasuredCurve(*chosen, maxLitLines);
    PlotWindow& linlin = ui.Plot(PlotId::linlin);
    PrepareOverlay(linlin);
    linlin.BeginCurve(MeasuredEntry("measured"));
    for (const MeasuredPoint& p : lit) linlin.Circle(p.V, p.J, 3 * state.plot.markerRadius, PaletteColour(8));

    const auto darkPath = FindDarkFile(folder);
    if (!darkPath) return;
    const auto dark = ReadMeasuredCurve(darkPath->string(), maxDarkLines);
    PlotWindow& linlog = ui.Plot(PlotId::linlog);
    PrepareOverlay(linlog);
    linlog.BeginCurve(MeasuredEntry("measured, dark"));
    for (const MeasuredPoint& p : dark) {
      if (p.J == 0 || !std::isfinite(p.J))
        throw FileError(darkPath->string() + " holds a current density of 0, which a log axis cannot show.");
      linlog.Circle(p.V, std::log(std::abs(p.J)), 2.5 * darkMarkerRadius, PaletteColour(8));
    }
  } catch (const std::exception& e) {
    // The overlay ends here; the study goes on with its save question.
    ui.ShowMessage(std::string("The measured data could not be drawn completely: ") + e.what(), "Exp. data",
                   MessageIcon::Information);
  }
}

}  // namespace pelarin
