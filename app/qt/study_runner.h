// Runs the window's commands (studies, Open, Save, Delete) on a worker thread, one at a time, so that the
// window keeps painting while a study computes. The command talks to a ForwardedUi, which asks its
// questions on the UI thread while the command waits; a stop flag, which the junction searches check at
// every evaluation, ends a running study early.
#pragma once

#include <QObject>
#include <QString>
#include <QThread>
#include <atomic>
#include <functional>
#include <memory>

#include "ui/ui.h"

namespace pelarin {

class StudyRunner : public QObject {
  Q_OBJECT

 public:
  // The command gets the Ui to talk through and the flag that says it should stop.
  using Command = std::function<void(Ui& ui, const std::atomic<bool>& stop)>;

  // windowUi is the window's own Ui, used on the UI thread only.
  explicit StudyRunner(Ui& windowUi, QObject* parent = nullptr);
  // Stops a running command without its messages and waits for it.
  ~StudyRunner() override;

  // Starts command, named name in the status bar; false, and nothing started, while another one runs.
  [[nodiscard]] bool Start(const QString& name, Command command);
  // Asks the running command to stop at its next evaluation; nothing when none runs.
  void Stop();
  // Stop, and drop the messages the command would still show (the window is closing).
  void StopQuietly();
  // Waits until the running command has ended, answering its questions meanwhile.
  void Wait();
  [[nodiscard]] bool Running() const { return thread_ != nullptr; }
  [[nodiscard]] bool Stopping() const { return stop_.load(); }
  [[nodiscard]] const QString& Name() const { return name_; }

 signals:
  void started(const QString& name);
  void finished(const QString& name);

 private:
  void Ended();

  Ui& windowUi_;
  std::unique_ptr<QThread> thread_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> quiet_{false};
  QString name_;
};

}  // namespace pelarin
