#include "studies/experimental_data.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

#include "model/calc_error.h"
#include "model/number_text.h"
#include "workspace/study_folder.h"

namespace fs = std::filesystem;

namespace pelarin {
namespace {

// The most a measured file is read: far more than the 500 lines the studies draw.
constexpr std::size_t kLargestRead = 64 << 20;

// A number of a data line; a number beyond the largest double is refused with its line.
double NumberOf(std::string_view text, int lineNumber, const std::string& name) {
  const WholeNumber number = ReadLeadingNumber(text);
  if (number.kind == NumberKind::TooLarge)
    throw FileError("line " + std::to_string(lineNumber) + " of " + name +
                    " holds a number beyond the largest double, which cannot be drawn.");
  return number.value;
}

MeasuredPoint ParseLine(std::string line, int lineNumber, const std::string& name) {
  ConvertAll(line);
  const auto tab = line.find('\t');
  if (tab == std::string::npos) return {0.0, NumberOf(line, lineNumber, name)};
  return {NumberOf(std::string_view(line).substr(0, tab + 1), lineNumber, name),
          NumberOf(std::string_view(line).substr(tab + 1), lineNumber, name)};
}

// The next line of text from position at (LF ends a line, a CR before it is dropped); false at the end.
bool NextLine(std::string_view text, std::size_t& at, std::string& line) {
  if (at >= text.size()) return false;
  auto end = text.find('\n', at);
  if (end == std::string_view::npos) end = text.size();
  line = text.substr(at, end - at);
  at = end + 1;
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

std::vector<MeasuredPoint> ReadMeasuredText(std::string_view text, int maxLines, const std::string& name) {
  std::size_t at = 0;
  std::string line;
  if (!NextLine(text, at, line)) throw FileError(name + " is empty.");
  std::vector<MeasuredPoint> points;
  int lineNumber = 1;
  do {
    if (!NextLine(text, at, line)) throw FileError(name + " holds no data line after its header.");
    ++lineNumber;
    points.push_back(ParseLine(line, lineNumber, name));
  } while (at < text.size() && lineNumber < maxLines);
  return points;
}

std::vector<MeasuredPoint> ReadMeasuredCurve(const std::string& path, int maxLines) {
  return ReadMeasuredText(ReadFileStart(path, kLargestRead).bytes, maxLines, path);
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
