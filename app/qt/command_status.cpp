#include "app/qt/command_status.h"

#include <QApplication>
#include <QHBoxLayout>

namespace pelarin {

CommandStatus::CommandStatus(StudyRunner& runner, QWidget* parent)
    : QWidget(parent),
      runner_(runner),
      label_(new QLabel),
      bar_(new QProgressBar),
      stopButton_(new QPushButton("Stop")) {
  setObjectName("commandStatus");
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(0, 0, 0, 0);
  bar_->setRange(0, 0);  // a study does not know how far it has come: the bar only shows it is busy
  bar_->setMaximumWidth(160);
  stopButton_->setObjectName("stopButton");
  row->addWidget(label_);
  row->addWidget(bar_);
  row->addWidget(stopButton_);
  ticker_.setInterval(100);
  connect(&ticker_, &QTimer::timeout, this, &CommandStatus::ShowTime);
  connect(stopButton_, &QPushButton::clicked, this, &CommandStatus::Stop);
  connect(&runner_, &StudyRunner::started, this, &CommandStatus::Started);
  connect(&runner_, &StudyRunner::finished, this, [this] {
    ticker_.stop();
    hide();
  });
  hide();
}

void CommandStatus::Started() {
  clock_.start();
  ticker_.start();
  ShowTime();
  show();
}

void CommandStatus::Stop() {
  runner_.Stop();
  ShowTime();
}

void CommandStatus::ShowTime() {
  // A question or message box of the command waits for the user: the command is not computing then.
  if (QApplication::activeModalWidget() && !runner_.Stopping()) {
    label_->setText(runner_.Name() + ": waiting for your answer");
    bar_->setRange(0, 1);
    return;
  }
  bar_->setRange(0, 0);
  const QString seconds = QString::number(static_cast<double>(clock_.elapsed()) / 1000, 'f', 1);
  label_->setText(runner_.Stopping() ? runner_.Name() + ": stopping..."
                                     : runner_.Name() + ": computing, " + seconds + " s (Escape stops it)");
}

}  // namespace pelarin
