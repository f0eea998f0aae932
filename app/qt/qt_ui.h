// The Qt implementation of the UI seam: real message boxes, real file dialogs, the real windows.
#pragma once

#include <QAction>
#include <QPointer>
#include <QWidget>
#include <array>
#include <functional>

#include "studies/ui.h"

namespace pelarin {

// The menu bar's entries by control, with captions and enabled states on the real actions.
class QtMenus : public Menus {
 public:
  void Bind(MenuItem item, QAction* action) { actions_[static_cast<std::size_t>(item)] = action; }
  [[nodiscard]] QAction* Action(MenuItem item) const { return actions_[static_cast<std::size_t>(item)]; }
  void SetCaption(MenuItem item, const std::string& caption) override;
  void SetEnabled(MenuItem item, bool enabled) override;
  [[nodiscard]] std::string Caption(MenuItem item) const override;
  [[nodiscard]] bool Enabled(MenuItem item) const override;

 private:
  std::array<QPointer<QAction>, kMenuItemCount> actions_{};
};

// Replacements for the modal dialogs, for scripted runs of the window program (widget tests).
struct DialogHooks {
  std::function<bool(const std::string& text, const std::string& title)> ask;
  std::function<void(const std::string& text, const std::string& title)> message;
  std::function<std::optional<std::string>(const FileDialogRequest& request, bool save)> file;
};

class QtUi : public Ui {
 public:
  QtUi(QWidget* dialogParent, ParameterForm& form, PlotWindow& linlin, PlotWindow& linlog, QtMenus& menus)
      : parent_(dialogParent), form_(form), linlin_(linlin), linlog_(linlog), menus_(menus) {}

  bool AskYesNo(const std::string& text, const std::string& title, MessageIcon icon) override;
  void ShowMessage(const std::string& text, const std::string& title, MessageIcon icon) override;
  std::optional<std::string> OpenFileDialog(const FileDialogRequest& request) override;
  std::optional<std::string> SaveFileDialog(const FileDialogRequest& request) override;
  PlotWindow& Plot(PlotId id) override { return id == PlotId::linlin ? linlin_ : linlog_; }
  ParameterForm& Form() override { return form_; }
  Menus& MenuBar() override { return menus_; }

  DialogHooks hooks;

 private:
  std::optional<std::string> FileDialog(const FileDialogRequest& request, bool save);
  QWidget* parent_;
  ParameterForm& form_;
  PlotWindow& linlin_;
  PlotWindow& linlog_;
  QtMenus& menus_;
};

// "fichiers (*.plr)|*.plr|" becomes the Qt filter "fichiers (*.plr)".
[[nodiscard]] QString QtFilter(const std::string& filter);

}  // namespace pelarin
