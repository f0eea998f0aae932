// A study computed again for the live window: the stack studies (with or without Rl + Rg) and the
// independent study, from the form's texts as they stand, without questions, without saving and without
// touching the user's folders, drawn onto recorded plot windows that the window then shows in place.
#pragma once

#include <array>
#include <atomic>
#include <optional>
#include <string>

#include "model/parameter_table.h"
#include "model/state.h"
#include "studies/study_registry.h"
#include "ui/recorded_plot_window.h"

namespace pelarin {

// Whether the live window follows this study.
[[nodiscard]] bool IsLiveStudy(const StudyEntry& study);

struct LiveRequest {
  const StudyEntry* study = nullptr;
  State state;  // the window's, copied: the live run changes nothing the window keeps
  std::array<std::string, kParameterCount> boxes;
  std::optional<std::string> measuredData;  // drawn over the curves, as in the window's last run
  std::string scratchDir;                   // the study's folder is made here, and nothing is written in it
};

struct LiveOutcome {
  RecordedPlotWindow linlin, linlog;
  std::string problem;   // why there are no curves (the message the study would show); empty when drawn
  bool stopped = false;  // a newer change stopped it
};

// Runs the request's study; stop ends it at the next evaluation of its searches.
[[nodiscard]] LiveOutcome ComputeLive(LiveRequest request, const std::atomic<bool>& stop);

}  // namespace pelarin
