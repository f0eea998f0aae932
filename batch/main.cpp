// pelarin-batch: the studies without windows; plot images are rendered with Qt Gui.
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QSize>
#include <QString>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "batch/batch.h"
#include "plot/qt/plot_image.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  const auto options = pelarin::ParseBatchOptions(args, std::cerr);
  if (!options) return pelarin::kBatchUsage;
  // Fonts for the images need a Gui application; no display is used.
  std::unique_ptr<QGuiApplication> app;
  if (options->images) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
      // A private runtime folder, so that Qt does not warn about a missing one on every run.
      const QString runtime = QDir::tempPath() + "/pelarin-runtime-" + QString::number(::getuid());
      QDir().mkpath(runtime);
      QFile::setPermissions(runtime,
                            QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
      qputenv("XDG_RUNTIME_DIR", runtime.toLocal8Bit());
    }
    app = std::make_unique<QGuiApplication>(argc, argv);
  }
  const auto saveImage = [](const pelarin::RecordingSurface& drawing, int width, int height,
                            const std::string& path) {
    return pelarin::SaveBitmap(drawing, QSize(width, height), QString::fromStdString(path));
  };
  return pelarin::RunBatch(*options, std::cout, std::cerr, saveImage);
}
