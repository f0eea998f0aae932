#include "app/live_study.h"

#include <utility>

#include "app/scan_cells.h"
#include "app/vector_state.h"
#include "model/calc_error.h"

namespace pelarin {

bool IsLiveStudy(const StudyEntry& study) {
  // The stack lit as a whole, with or without the network, and each junction alone.
  return study.exact.curves == LitCurves::AllLit || study.exact.curves == LitCurves::EachJunctionAlone;
}

LiveOutcome ComputeLive(LiveRequest request, const std::atomic<bool>& stop) {
  LiveOutcome outcome;
  HeadlessUi ui(false, false);
  ui.measuredData = std::move(request.measuredData);
  ui.followsChosenFolder = false;
  ui.form.boxes = request.boxes;
  State& state = request.state;
  // The study's folder goes to the scratch folder, whichever folder the study would choose.
  state.id.workDir = state.id.loadedDir = request.scratchDir;
  state.ws.stop = &stop;
  // The copies above may leave the vector registers' upper halves in use, which slows every
  // exponential of the searches after them many times over on this thread.
  CleanVectorState();
  try {
    request.study->run(state, ui);
  } catch (const StoppedError&) {
    outcome.stopped = true;
    return outcome;
  } catch (const std::exception& e) {
    outcome.problem = std::string(request.study->commandName) + " stopped: " + e.what();
    return outcome;
  }
  if (!ui.problems.empty()) outcome.problem = OneLine(ui.problems.front());
  outcome.linlin = std::move(ui.linlin);
  outcome.linlog = std::move(ui.linlog);
  return outcome;
}

}  // namespace pelarin
