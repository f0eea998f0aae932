#include "app/qt/live_curves.h"

#include <QMetaObject>
#include <utility>

#include "app/qt/parameter_form.h"
#include "plot/qt/plot_window_widget.h"
#include "workspace/read_parameters.h"

namespace pelarin {
namespace {

constexpr int kTypingPauseMs = 150;

}  // namespace

LiveCurves::LiveCurves(const State& windowState, ParameterFormWidget& form, PlotWindowWidget& linlin,
                       PlotWindowWidget& linlog, QObject* parent)
    : QObject(parent), windowState_(windowState), form_(form), linlin_(linlin), linlog_(linlog) {
  pause_.setSingleShot(true);
  pause_.setInterval(kTypingPauseMs);
  connect(&pause_, &QTimer::timeout, this, &LiveCurves::Recompute);
  thread_ = std::thread([this] { WorkerLoop(); });
}

LiveCurves::~LiveCurves() {
  {
    const std::lock_guard lock(mutex_);
    quit_ = true;
    stop_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

void LiveCurves::SetOn(bool on) {
  on_ = on;
  if (!on) Settle();
}

void LiveCurves::SetShownStudy(const StudyEntry* study, std::optional<std::string> measuredData) {
  study_ = study && IsLiveStudy(*study) ? study : nullptr;
  measuredData_ = std::move(measuredData);
}

void LiveCurves::BoxEdited() {
  if (on_ && study_) pause_.start();
}

void LiveCurves::Recompute() {
  pause_.stop();
  if (!on_ || !study_ || !form_.isEnabled() || !linlin_.isVisible() || !linlog_.isVisible()) return;
  Job job;
  for (int i = 0; i < kParameterCount; ++i) {
    const std::string text = form_.BoxText(i);
    // A box that does not read is marked, and the curves stay as they are.
    const std::string problem = ReadBox(kParameterRows.at(static_cast<std::size_t>(i)), text).problem;
    form_.MarkBox(i, problem);
    if (!problem.empty()) {
      ++generation_;  // a computation under way for older text is no longer wanted either
      stop_ = true;
      return;
    }
    job.request.boxes.at(static_cast<std::size_t>(i)) = text;
  }
  job.request.study = study_;
  job.request.state = windowState_;
  // Without a power above 0 in its box the efficiencies have nothing to refer to: the curves stay.
  const std::optional<double> power = form_.IncidentPower();
  if (!power) {
    ++generation_;
    stop_ = true;
    return;
  }
  job.request.state.figures.incidentPower = *power;
  job.request.measuredData = measuredData_;
  job.request.scratchDir = (scratch_.path() + "/").toStdString();
  job.generation = ++generation_;
  {
    const std::lock_guard lock(mutex_);
    waiting_ = std::move(job);
    stop_ = true;  // the computation under way is for an older change
  }
  wake_.notify_all();
}

void LiveCurves::Settle() {
  pause_.stop();
  ++generation_;
  std::unique_lock lock(mutex_);
  waiting_.reset();
  stop_ = true;
  idle_.wait(lock, [this] { return !computing_; });
}

void LiveCurves::WorkerLoop() {
  std::unique_lock lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return quit_ || waiting_.has_value(); });
    if (quit_) return;
    Job job = std::move(*waiting_);
    waiting_.reset();
    stop_ = false;
    computing_ = true;
    lock.unlock();
    auto outcome = std::make_shared<LiveOutcome>(ComputeLive(std::move(job.request), stop_));
    QMetaObject::invokeMethod(
        this, [this, outcome, generation = job.generation] { Apply(outcome, generation); },
        Qt::QueuedConnection);
    lock.lock();
    computing_ = false;
    idle_.notify_all();
  }
}

void LiveCurves::Apply(const std::shared_ptr<LiveOutcome>& outcome, std::uint64_t generation) {
  // A newer change is computing, or a study of the window has drawn since.
  if (generation != generation_ || outcome->stopped || !study_ || !form_.isEnabled()) return;
  if (!outcome->problem.empty()) {
    if (showStatus) showStatus("Live: " + QString::fromStdString(outcome->problem));
    problemShown_ = true;
    return;
  }
  if (problemShown_ && showStatus) showStatus({});
  problemShown_ = false;
  for (auto [window, drawn] :
       {std::pair{&linlin_, &outcome->linlin}, std::pair{&linlog_, &outcome->linlog}}) {
    window->Clear();
    drawn->surface.Replay(*window);
    window->SetCaption(drawn->caption);
  }
  emit redrawn();
}

}  // namespace pelarin
