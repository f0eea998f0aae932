// Pelarin, the window program.
#include <QApplication>
#include <cstdio>
#include <cstring>

#include "app/qt/main_window.h"
#include "app/qt/stack_schematic.h"
#include "app/vector_state.h"
#include "model/state.h"
#include "pelarin_version.h"

namespace {

constexpr const char* kHelp = R"(Usage: pelarin [--help] [--version]

Pelarin simulates a monolithic three-junction solar cell from the two-diode equivalent circuit of each
junction and five coupling resistances. Its window holds the parameter form (the 26 parameters of the
junctions, the operating conditions and the coupling physics) and the plots of the studies: the J(V) curves of
each junction, of the series stack lit and dark, with one or two junctions lit, with or without the coupling
network, and the artefacts of an EQE measurement of the stack. The Calculations and EQE menus run them, the
Calculations menu also holds the parameter scans, the fit to measured data and the live curves; Files opens
and saves parameter files (.plr); F1 shows the help.

Options:
  --help     show this text and exit
  --version  show the version and exit

The same studies run without windows in pelarin-batch (see pelarin-batch --help), and from Python with
import pelarin.
)";

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::fputs(kHelp, stdout);
      return 0;
    }
    if (std::strcmp(argv[i], "--version") == 0) {
      std::puts("pelarin " PELARIN_VERSION);
      return 0;
    }
  }
  QApplication app(argc, argv);
  QApplication::setApplicationName("Pelarin");
  QApplication::setApplicationVersion(PELARIN_VERSION);
  QApplication::setWindowIcon(pelarin::StackIcon());
  QApplication::setDesktopFileName("pelarin");
  pelarin::CleanVectorState();
  pelarin::State state;
  pelarin::MainWindow window(state);
  window.StartUp();
  return QApplication::exec();
}
