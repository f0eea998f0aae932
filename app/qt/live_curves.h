// The live curves: while the switch is on and the plot windows show a stack study (with or without
// Rl + Rg) or the independent study, a change of a box computes that study again on a thread of its own
// and redraws both windows in place, with the measured overlay and the legend's figures, without
// questions and without saving. A pause in typing (150 ms) or Enter starts it; a newer change stops a
// computation still running; a box that does not read leaves the curves as they are.
#pragma once

#include <QObject>
#include <QTemporaryDir>
#include <QTimer>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "app/live_study.h"
#include "model/state.h"

namespace pelarin {

class ParameterFormWidget;
class PlotWindowWidget;

class LiveCurves : public QObject {
  Q_OBJECT

 public:
  // windowState is read (copied) on the UI thread only, when a change starts a computation.
  LiveCurves(const State& windowState, ParameterFormWidget& form, PlotWindowWidget& linlin,
             PlotWindowWidget& linlog, QObject* parent = nullptr);
  // Stops the computation under way and ends the thread.
  ~LiveCurves() override;
  LiveCurves(const LiveCurves&) = delete;
  LiveCurves& operator=(const LiveCurves&) = delete;

  void SetOn(bool on);
  [[nodiscard]] bool IsOn() const { return on_; }
  // The study the plot windows show, with the measured curve drawn over it (nothing when none is), after
  // the window ran it; nullptr when they show a study the live curves do not follow.
  void SetShownStudy(const StudyEntry* study, std::optional<std::string> measuredData);
  [[nodiscard]] const StudyEntry* ShownStudy() const { return study_; }
  // A box changed: computes after the pause in typing.
  void BoxEdited();
  // Computes now (Enter in a box).
  void Recompute();
  // Stops a computation under way or waiting and forgets its result: a study of the window starts.
  void Settle();
  // Says why the curves were not redrawn (the study's message), or clears that.
  std::function<void(const QString& text)> showStatus;

 signals:
  // Both windows show the curves of the latest change.
  void redrawn();

 private:
  struct Job {
    LiveRequest request;
    std::uint64_t generation = 0;
  };
  void WorkerLoop();
  void Apply(const std::shared_ptr<LiveOutcome>& outcome, std::uint64_t generation);

  const State& windowState_;
  ParameterFormWidget& form_;
  PlotWindowWidget& linlin_;
  PlotWindowWidget& linlog_;
  bool on_ = false;
  const StudyEntry* study_ = nullptr;
  std::optional<std::string> measuredData_;
  QTimer pause_;
  QTemporaryDir scratch_;
  bool problemShown_ = false;

  // Shared with the thread, under mutex_.
  std::mutex mutex_;
  std::condition_variable wake_, idle_;
  std::optional<Job> waiting_;
  bool computing_ = false;
  bool quit_ = false;
  std::atomic<bool> stop_{false};
  // The latest change; a result of an older one is dropped (UI thread only).
  std::uint64_t generation_ = 0;
  std::thread thread_;
};

}  // namespace pelarin
