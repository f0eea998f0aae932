#include "studies/experimental_data.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

#include "model/calc_error.h"
#include "studies/measured_columns.h"
#include "workspace/study_folder.h"

namespace fs = std::filesystem;

namespace pelarin {
namespace {

// The most a measured file is read: far more than the 500 lines the studies draw.
constexpr std::size_t kLargestRead = 64 << 20;

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

std::vector<MeasuredPoint> ReadMeasuredText(std::string_view text, int maxLines, const std::string& name) {
  // The one reader of measured curves, the fit's too: every line is two finite numbers, or refused.
  const MeasuredColumns columns = ReadMeasuredColumnsText(text, name);
  std::vector<MeasuredPoint> points;
  for (std::size_t i = 0; i < columns.V.size() && static_cast<int>(i) < maxLines - 1; ++i)
    points.push_back({columns.V[i], columns.J[i]});
  return points;
}

std::vector<MeasuredPoint> ReadMeasuredCurve(const std::string& path, int maxLines) {
  return ReadMeasuredText(ReadFileStart(path, kLargestRead).bytes, maxLines, path);
}

void ExperimentalOverlay(State& state, Ui& ui, double darkMarkerRadius, int maxLitLines, int maxDarkLines) {
  if (!ui.Ask(Question::ShowExperimentalData)) return;
  try {
    const auto chosen = ChooseFileToOpen(
        ui, {.kind = FileKind::MeasuredData, .title = "", .startDir = WorkDir(state.id), .fileName = ""});
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
      if (p.J == 0)
        throw FileError(darkPath->string() + " holds a current density of 0, which a log axis cannot show.");
      linlog.Circle(p.V, std::log(std::abs(p.J)), 2.5 * darkMarkerRadius, PaletteColour(8));
    }
  } catch (const std::exception& e) {
    // The overlay ends here; the study goes on with its save question.
    ui.ShowMessage(std::string("The measured data could not be drawn completely: ") + e.what(), "Exp. data",
                   MessageIcon::Exclamation);
  }
}

}  // namespace pelarin
