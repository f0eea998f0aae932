// Pelarin, the window program.
#include <QApplication>

#include "app/qt/main_window.h"
#include "app/vector_state.h"
#include "model/state.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("Pelarin");
  pelarin::CleanVectorState();
  pelarin::State state;
  pelarin::MainWindow window(state);
  window.StartUp();
  return QApplication::exec();
}
