// The Qt implementation of the UI seam: real message boxes, real file dialogs, the real windows.
#pragma once

#include <QAction>
#include <QDialog>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <map>
#include <string_view>
#include <vector>

#include "ui/ui.h"

namespace pelarin {

// The menu bar's entries by control, with captions and enabled states on the real actions.
class QtMenus : public Menus {
 public:
  explicit QtMenus(std::vector<StudyMenuEntry> studies) : studies_(std::move(studies)) {}
  void Bind(MenuItem item, QAction* action) { actions_[item] = action; }
  [[nodiscard]] QAction* Action(MenuItem item) const {
    const auto found = actions_.find(item);
    return found == actions_.end() ? nullptr : found->second.data();
  }
  [[nodiscard]] const std::vector<StudyMenuEntry>& StudyEntries() const override { return studies_; }
  void SetCaption(MenuItem item, const std::string& caption) override;
  void SetEnabled(MenuItem item, bool enabled) override;
  [[nodiscard]] std::string Caption(MenuItem item) const override;
  [[nodiscard]] bool Enabled(MenuItem item) const override;

 private:
  std::map<MenuItem, QPointer<QAction>> actions_;
  std::vector<StudyMenuEntry> studies_;
};

// Replacements for the modal dialogs, for scripted runs of the window program (widget tests).
struct DialogHooks {
  std::function<bool(Question question, const std::string& subject)> ask;
  std::function<bool(const std::string& text, const std::string& title)> askText;
  std::function<void(const std::string& text, const std::string& title)> message;
  std::function<std::optional<std::string>(const FileDialogRequest& request, bool save)> file;
};

class QtUi : public Ui {
 public:
  QtUi(QWidget* dialogParent, ParameterForm& form, PlotWindow& linlin, PlotWindow& linlog, QtMenus& menus)
      : parent_(dialogParent), form_(form), linlin_(linlin), linlog_(linlog), menus_(menus) {}

  void BeforeComputing(const StudyFiles&) override {}  // the window asks before it writes, file by file
  using Ui::Ask;
  bool Ask(Question question, const std::string& subject) override;
  // A Yes/No question of the window's own (the plot windows' image question).
  bool AskYesNo(const std::string& text, const std::string& title);
  void ShowMessage(const std::string& text, const std::string& title, MessageIcon icon) override;
  // Puts the sentence of SavedFilesText in the status line.
  void FilesSaved(const std::vector<std::string>& paths) override;
  std::optional<std::string> OpenFileDialog(const FileDialogRequest& request) override;
  std::optional<std::string> SaveFileDialog(const FileDialogRequest& request) override;
  PlotWindow& Plot(PlotId id) override { return id == PlotId::linlin ? linlin_ : linlog_; }
  ParameterForm& Form() override { return form_; }
  Menus& MenuBar() override { return menus_; }

  DialogHooks hooks;
  // Questions and messages stand over this widget (the parameter form), clear of the plots; over the top of
  // the dialog parent when it is hidden.
  void SetQuestionAnchor(QWidget* anchor) { anchor_ = anchor; }
  // Shows a line in the window's status bar.
  std::function<void(const QString& text)> showStatus;
  // The measured curve last chosen for drawing over a study's curves.
  std::optional<std::string> lastMeasuredData;

 private:
  std::optional<std::string> FileDialog(const FileDialogRequest& request, bool save);
  std::optional<std::string> ShowFileDialog(const FileDialogRequest& request, bool save);
  // Runs a modal box placed over the anchor; its result.
  int RunPlaced(QDialog& box);
  QPointer<QWidget> anchor_;
  QWidget* parent_;
  ParameterForm& form_;
  PlotWindow& linlin_;
  PlotWindow& linlog_;
  QtMenus& menus_;
};

// "fichiers (*.plr)|*.plr|" becomes the Qt filter "fichiers (*.plr)".
[[nodiscard]] QString QtFilter(std::string_view filter);

// Where a box of this size stands: centred over the anchor rectangle, inside the screen.
[[nodiscard]] QPoint PlaceOver(QSize box, const QRect& anchor, const QRect& screen);

}  // namespace pelarin
