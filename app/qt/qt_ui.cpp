#include "app/qt/qt_ui.h"

#include <QFileDialog>
#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>
#include <QStringList>
#include <algorithm>

#include "app/vector_state.h"
#include "ui/saved_files_text.h"

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

QPoint PlaceOver(QSize box, const QRect& anchor, const QRect& screen) {
  QPoint at = anchor.center() - QPoint(box.width() / 2, box.height() / 2);
  at.setX(std::clamp(at.x(), screen.left(), std::max(screen.left(), screen.right() + 1 - box.width())));
  at.setY(std::clamp(at.y(), screen.top(), std::max(screen.top(), screen.bottom() + 1 - box.height())));
  return at;
}

int QtUi::RunPlaced(QDialog& box) {
  box.adjustSize();
  QRect anchor;
  if (anchor_ && anchor_->isVisible()) {
    anchor = QRect(anchor_->mapToGlobal(QPoint(0, 0)), anchor_->size());
  } else if (parent_) {
    // The strip the form takes at the top of the window.
    anchor = QRect(parent_->mapToGlobal(QPoint(0, 0)), QSize(parent_->width(), parent_->height() / 3));
  }
  if (anchor.isValid()) {
    const QScreen* screen =
        parent_ && parent_->screen() ? parent_->screen() : QGuiApplication::primaryScreen();
    box.move(PlaceOver(box.frameGeometry().size(), anchor, screen ? screen->availableGeometry() : anchor));
  }
  const int result = box.exec();
  CleanVectorState();
  return result;
}

bool QtUi::Ask(Question question, const std::string& subject) {
  if (hooks.ask) return hooks.ask(question, subject);
  const QuestionText asked = TextOf(question);
  QMessageBox box(QtIcon(asked.icon), Q(std::string(asked.title)), Q(QuestionMessage(question, subject)),
                  QMessageBox::Yes | QMessageBox::No, parent_);
  return RunPlaced(box) == QMessageBox::Yes;
}

bool QtUi::AskYesNo(const std::string& text, const std::string& title) {
  if (hooks.askText) return hooks.askText(text, title);
  // A carriage return starts a new line of the question.
  QString shown = Q(text);
  shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  QMessageBox box(QMessageBox::NoIcon, Q(title), shown, QMessageBox::Yes | QMessageBox::No, parent_);
  return RunPlaced(box) == QMessageBox::Yes;
}

void QtUi::ShowMessage(const std::string& text, const std::string& title, MessageIcon icon) {
  if (hooks.message) return hooks.message(text, title);
  QMessageBox box(QtIcon(icon), Q(title), Q(text), QMessageBox::Ok, parent_);
  RunPlaced(box);
}

void QtUi::FilesSaved(const std::vector<std::string>& paths) {
  if (showStatus) showStatus(Q(SavedFilesText(paths)));
}

std::optional<std::string> QtUi::OpenFileDialog(const FileDialogRequest& request) {
  return FileDialog(request, false);
}
std::optional<std::string> QtUi::SaveFileDialog(const FileDialogRequest& request) {
  return FileDialog(request, true);
}

std::optional<std::string> QtUi::FileDialog(const FileDialogRequest& request, bool save) {
  std::optional<std::string> chosen = hooks.file ? hooks.file(request, save) : ShowFileDialog(request, save);
  if (chosen && !chosen->empty() && request.kind == FileKind::MeasuredData) lastMeasuredData = chosen;
  return chosen;
}

std::optional<std::string> QtUi::ShowFileDialog(const FileDialogRequest& request, bool save) {
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
