#include "app/qt/help_window.h"

#include <QUrl>

// The help document is compiled into the static library; its resources must be registered explicitly.
static void RegisterHelpResources() { Q_INIT_RESOURCE(help); }

namespace pelarin {

HelpWindow::HelpWindow(QWidget* parent) : QTextBrowser(parent) {
  RegisterHelpResources();
  setWindowFlag(Qt::Window);
  setWindowTitle("Pelarin Help");
  setObjectName("HelpPelarin");
  setOpenExternalLinks(true);
  setSource(QUrl("qrc:/doc/HelpPelarin.html"));
  resize(760, 640);
}

void HelpWindow::ShowDefaultTopic() {
  setSource(QUrl("qrc:/doc/HelpPelarin.html"));
  scrollToAnchor("top");
  show();
  raise();
  activateWindow();
}

}  // namespace pelarin
