#include "app/qt/qt_ui.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QStringList>

#include "app/vector_state.h"

namespace pelarin {
namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

QMessageBox::Icon QtIcon(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::Information:
      return QMessageBox::Information;
    case MessageIcon::Exclamation:
      return QMessageBox::Warning;
    case MessageIcon::Critical:
      return QMessageBox::Critical;
    case MessageIcon::None:
      break;
  }
  return QMessageBox::NoIcon;
}

}  // namespace

void QtMenus::SetCaption(MenuItem item, const std::string& caption) {
  if (QAction* action = Action(item)) action->setText(Q(caption));
}
void QtMenus::SetEnabled(MenuItem item, bool enabled) {
  if (QAction* action = Action(item)) action->setEnabled(enabled);
}
std::string QtMenus::Caption(MenuItem item) const {
  const QAction* action = Action(item);
  return action ? action->text().toStdString() : std::string();
}
bool QtMenus::Enabled(MenuItem item) const {
  const QAction* action = Action(item);
  return action && action->isEnabled();
}

QString QtFilter(std::string_view filter) {
  const QStringList parts =
      QString::fromUtf8(filter.data(), static_cast<qsizetype>(filter.size())).split('|');
  QStringList entries;
  for (int i = 0; i + 1 < parts.size(); i += 2) {
    const QString& description = parts[i];
    const QString& pattern = parts[i + 1];
    if (description.isEmpty() && pattern.isEmpty()) continue;
    entries << (description.contains(pattern) ? description : description + " (" + pattern + ")");
  }
  return entries.join(";;");
}

bool QtUi::Ask(Question question) {
  if (hooks.ask) return hooks.ask(question);
  const QuestionText asked = TextOf(question);
  QMessageBox box(QtIcon(asked.icon), Q(std::string(asked.title)), Q(std::string(asked.text)),
                  QMessageBox::Yes | QMessageBox::No, parent_);
  const bool yes = box.exec() == QMessageBox::Yes;
  CleanVectorState();
  return yes;
}

bool QtUi::AskYesNo(const std::string& text, const std::string& title) {
  if (hooks.askText) return hooks.askText(text, title);
  QMessageBox box(QMessageBox::NoIcon, Q(title), Q(text), QMessageBox::Yes | QMessageBox::No, parent_);
  const bool yes = box.exec() == QMessageBox::Yes;
  CleanVectorState();
  return yes;
}

void QtUi::ShowMessage(const std::string& text, const std::string& title, MessageIcon icon) {
  if (hooks.message) return hooks.message(text, title);
  QMessageBox box(QtIcon(icon), Q(title), Q(text), QMessageBox::Ok, parent_);
  box.exec();
  CleanVectorState();
}

std::optional<std::string> QtUi::OpenFileDialog(const FileDialogRequest& request) {
  return FileDialog(request, false);
}
std::optional<std::string> QtUi::SaveFileDialog(const FileDialogRequest& request) {
  return FileDialog(request, true);
}

std::optional<std::string> QtUi::FileDialog(const FileDialogRequest& request, bool save) {
  if (hooks.file) return hooks.file(request, save);
  QString start = Q(request.startDir);
  if (!request.fileName.empty()) start += "/" + Q(request.fileName);
  const QString title = request.title.empty() ? QString(save ? "Save As" : "Open") : Q(request.title);
  // Our own commands ask before overwriting, with their own words.
  const QString path =
      save ? QFileDialog::getSaveFileName(parent_, title, start, QtFilter(FileFilter(request.kind)), nullptr,
                                          QFileDialog::DontConfirmOverwrite)
           : QFileDialog::getOpenFileName(parent_, title, start, QtFilter(FileFilter(request.kind)));
  CleanVectorState();
  if (path.isEmpty()) return std::nullopt;
  return path.toStdString();
}

}  // namespace pelarin
