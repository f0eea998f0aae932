// The image plugin of the batch tool: a Qt Gui application without a display, created on the first image.
// The format follows the file's suffix: .bmp, .png or .svg.
#include "batch/image_plugin.h"

#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QSize>
#include <QString>
#include <memory>

#include "plot/qt/plot_image.h"

namespace {

std::unique_ptr<QGuiApplication>& Application() {
  static std::unique_ptr<QGuiApplication> app;
  return app;
}

// Fonts for the images need a Gui application; no display is used.
void StartApplication() {
  if (Application()) return;
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
    // A private runtime folder, so that Qt does not warn about a missing one on every run.
    const QString runtime = QDir::tempPath() + "/pelarin-runtime-" + QString::number(::getuid());
    QDir().mkpath(runtime);
    QFile::setPermissions(runtime, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    qputenv("XDG_RUNTIME_DIR", runtime.toLocal8Bit());
  }
  static int argc = 1;
  static char name[] = "pelarin-batch";
  static char* argv[] = {name, nullptr};
  Application() = std::make_unique<QGuiApplication>(argc, argv);
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) int pelarin_save_plot_image(const pelarin::RecordingSurface* drawing,
                                                                   int width, int height, const char* path) {
  StartApplication();
  const QString file = QString::fromStdString(path);
  const auto format = pelarin::ImageFormatOf(file);
  if (!format) return 0;
  return pelarin::SavePlot(*drawing, QSize(width, height), file, *format) ? 1 : 0;
}

__attribute__((visibility("default"))) void pelarin_finish_images() { Application().reset(); }
}
