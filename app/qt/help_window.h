// The program's help: an HTML document shown in a window of its own (F1 anywhere opens it).
#pragma once

#include <QTextBrowser>

namespace pelarin {

class HelpWindow : public QTextBrowser {
 public:
  explicit HelpWindow(QWidget* parent = nullptr);
  // Shows the help at its first topic.
  void ShowDefaultTopic();
};

}  // namespace pelarin
