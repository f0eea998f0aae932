// The status bar's part that shows a running command: its name and time so far, a busy bar and a Stop
// button. Shown while the study runner has a command, hidden otherwise.
#pragma once

#include <QElapsedTimer>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QWidget>

#include "app/qt/study_runner.h"

namespace pelarin {

class CommandStatus : public QWidget {
  Q_OBJECT

 public:
  explicit CommandStatus(StudyRunner& runner, QWidget* parent = nullptr);
  [[nodiscard]] QPushButton* StopButton() const { return stopButton_; }
  // Asks the command to stop and says so.
  void Stop();

 private:
  void Started();
  void ShowTime();

  StudyRunner& runner_;
  QLabel* label_;
  QProgressBar* bar_;
  QPushButton* stopButton_;
  QTimer ticker_;
  QElapsedTimer clock_;
};

}  // namespace pelarin
