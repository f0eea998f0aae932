#include "app/qt/study_runner.h"

#include <QEventLoop>

#include "app/qt/forwarded_ui.h"

namespace pelarin {

StudyRunner::StudyRunner(Ui& windowUi, QObject* parent) : QObject(parent), windowUi_(windowUi) {}

StudyRunner::~StudyRunner() {
  if (!Running()) return;
  StopQuietly();
  Wait();
}

bool StudyRunner::Start(const QString& name, Command command) {
  if (Running()) return false;
  stop_ = false;
  quiet_ = false;
  name_ = name;
  thread_.reset(QThread::create([this, command = std::move(command)] {
    ForwardedUi ui(this, windowUi_);
    ui.quiet = [this] { return quiet_.load(); };
    command(ui, stop_);
  }));
  thread_->setObjectName("study");
  connect(thread_.get(), &QThread::finished, this, &StudyRunner::Ended, Qt::QueuedConnection);
  emit started(name_);
  thread_->start();
  return true;
}

void StudyRunner::Stop() {
  if (Running()) stop_ = true;
}

void StudyRunner::StopQuietly() {
  quiet_ = true;
  Stop();
}

void StudyRunner::Wait() {
  if (!Running()) return;
  QEventLoop loop;
  connect(this, &StudyRunner::finished, &loop, &QEventLoop::quit);
  loop.exec();
}

void StudyRunner::Ended() {
  // The drawing the command handed over was posted before this, so the windows show all of it.
  thread_->wait();
  thread_.reset();
  stop_ = false;
  emit finished(name_);
}

}  // namespace pelarin
