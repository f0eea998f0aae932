// pelarin-batch: the studies of the window program run headless, with the user's answers given on the
// command line. The Qt-free part lives here; main.cpp adds the rendering of plot images.
#pragma once

#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "model/state.h"
#include "plot/recording_surface.h"

namespace pelarin {

struct BatchOptions {
  std::string study;
  std::optional<std::string> params;
  std::vector<std::pair<std::string, std::string>> sets;  // NAME, TEXT in command-line order
  std::optional<std::string> dir;
  std::optional<std::string> exp;
  bool overwrite = false;
  bool noSave = false;
  bool images = false;
  std::string imageFormat = "bmp";     // bmp, png or svg
  std::optional<std::string> summary;  // CSV file of the curves' figures of merit
  double incidentPower = 100;          // mW/cm2, for the efficiency
  bool help = false;
};

// Exit statuses.
inline constexpr int kBatchOk = 0;
inline constexpr int kBatchUsage = 2;
inline constexpr int kBatchOverwriteDeclined = 3;
inline constexpr int kBatchFailed = 4;

// Parses the command line; on a usage error writes a sentence to err and returns nothing.
[[nodiscard]] std::optional<BatchOptions> ParseBatchOptions(const std::vector<std::string>& args,
                                                            std::ostream& err);

// The --help text.
[[nodiscard]] std::string BatchHelp();

// Saves a plot window's drawing as an image of the given size, in the format of the path's suffix; false
// when it cannot.
using ImageSaver =
    std::function<bool(const RecordingSurface& drawing, int width, int height, const std::string& path)>;

// The CSV summary of the curves drawn: a header with the units, then one row per curve (study label,
// window, curve name, point count and its figures of merit; empty where a figure does not exist).
[[nodiscard]] std::string SummaryCsv(const std::string& studyLabel, const RecordingSurface& linlog,
                                     bool linlogShown, const RecordingSurface& linlin, bool linlinShown);

// A curve colour's name as the output lines give it ("orange", "dark red", or "colour #rrggbb").
[[nodiscard]] std::string ColourName(Colour colour);

// Runs one study as the options say; returns the exit status.
int RunBatch(const BatchOptions& options, std::ostream& out, std::ostream& err, const ImageSaver& saveImage);

// Reads the form's values (app/form_values.h) into state; on a refusal writes its sentences to err, each
// after prefix, and returns the studies' exit status for it (2), else 0.
int ReadFormOrRefuse(const std::optional<std::string>& params,
                     const std::vector<std::pair<std::string, std::string>>& sets, State& state,
                     std::ostream& err, const std::string& prefix);

}  // namespace pelarin
