// The main window: an MDI area with the parameter form and the two plot windows, the menu bar,
// help, about and quit. Menu commands run through the command dispatcher; this class only wires them.
#pragma once

#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QScrollArea>
#include <QShortcut>
#include <functional>
#include <memory>
#include <string_view>

#include "app/qt/command_status.h"
#include "app/qt/live_curves.h"
#include "app/qt/parameter_form.h"
#include "app/qt/qt_ui.h"
#include "app/qt/scan_dialog_settings.h"
#include "app/qt/study_runner.h"
#include "model/state.h"

namespace pelarin {

class HelpWindow;
class PlotWindowWidget;

class MainWindow : public QMainWindow {
  Q_OBJECT

 public:
  explicit MainWindow(State& state, QWidget* parent = nullptr);
  ~MainWindow() override;

  // Shows the window, sets the start-up constants, lays out the form and the hidden plot windows.
  void StartUp();
  // Places the form across the top of an area of this size and the two plot windows below it, side by
  // side, all inside the area: the form keeps the height its boxes need.
  void LayOut(QSize area);

  [[nodiscard]] QtUi& Ui() { return *ui_; }
  [[nodiscard]] QtMenus& Menus() { return menus_; }
  [[nodiscard]] ParameterFormWidget* FormWidget() const { return form_; }
  [[nodiscard]] QMdiSubWindow* FormWindow() const { return formWindow_; }
  [[nodiscard]] QMdiSubWindow* LinlinWindow() const { return linlinWindow_; }
  [[nodiscard]] QMdiSubWindow* LinlogWindow() const { return linlogWindow_; }
  [[nodiscard]] PlotWindowWidget* Linlin() const { return linlin_; }
  [[nodiscard]] PlotWindowWidget* Linlog() const { return linlog_; }
  [[nodiscard]] QMdiArea* Area() const { return area_; }
  [[nodiscard]] HelpWindow* Help() const { return help_; }

  // Starts a command of the window (a study, Open, Save, Delete) on the study runner's thread, with the
  // incident power of the form; while it runs the form and the menus that start computations are
  // disabled and the status bar shows its progress and a Stop button. The command returns whether it ran
  // to its end. False when another command runs.
  bool StartCommand(const QString& name, const std::function<bool(pelarin::Ui& ui)>& command);
  // Starts the command of a menu entry or of the Calculation button (the independent study).
  bool StartMenuCommand(MenuItem item);
  // Waits until the running command has ended (its questions are asked meanwhile).
  void WaitForCommand() { runner_->Wait(); }
  [[nodiscard]] StudyRunner& Runner() { return *runner_; }
  [[nodiscard]] QPushButton* StopButton() const { return commandStatus_->StopButton(); }
  // The live curves, switched by the menu entry and the form's check box alike.
  void SetLive(bool on);
  [[nodiscard]] LiveCurves& Live() { return *live_; }

  // The menu commands of the window itself.
  void ShowHelpMessage();
  void ShowAbout();
  void Quit();
  void OpenHelp();
  // Puts the incident power box's value into the state; false, after telling why, when it holds none.
  bool ReadIncidentPowerBox();
  // Opens the scan dialog on the form's values; a scan's plot goes to the scan plot window. The dialog
  // is modal: the window paints while the scan runs, but its form and state stay as the scan found them.
  void OpenScanDialog();
  // The window of the last scan's plot, made by the first scan.
  [[nodiscard]] PlotWindowWidget* ScanPlot() const { return scanPlot_; }
  [[nodiscard]] QMdiSubWindow* ScanPlotWindow() const { return scanPlotWindow_; }
  // Called with each scan dialog as it opens, before it runs (widget tests drive it from here).
  std::function<void(class ScanDialog& dialog)> onScanDialog;
  // Opens the fit dialog on the form's values; the picture of a fit goes to the fit's plot window of its
  // kind (the lit curves and the residuals on linear axes, the dark curves on the linear-log ones).
  void OpenFitDialog();
  [[nodiscard]] PlotWindowWidget* FitPlot(PlotId id) const { return fitPlot_[static_cast<int>(id)]; }
  [[nodiscard]] QMdiSubWindow* FitPlotWindow(PlotId id) const { return fitPlotWindow_[static_cast<int>(id)]; }
  // Called with each fit dialog as it opens, before it runs (widget tests drive it from here).
  std::function<void(class FitDialog& dialog)> onFitDialog;

 protected:
  // Fits the form to the width its window gives it.
  bool eventFilter(QObject* watched, QEvent* event) override;
  // Closing during a command asks whether to stop it; the window closes once it has stopped.
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildMenus();
  void WirePlot(PlotWindowWidget* plot);
  // The form, the menus that start computations and the plot windows' mouse follow whether a command
  // runs; the status bar shows it.
  void SetBusy(bool busy);
  // The plot windows there are now.
  [[nodiscard]] std::vector<PlotWindowWidget*> PlotWidgets() const;
  QAction* AddEntry(QMenu* menu, MenuItem item, std::string_view caption);
  void AddStudyEntries(QMenu* menu, MenuItem parent);
  QMenu* AddSubmenu(QMenu* parent, MenuItem item);
  void ReadParametersOnOpen(QMenu* menu);

  State& state_;
  QMdiArea* area_;
  ParameterFormWidget* form_;
  QScrollArea* formScroll_;
  QMdiSubWindow* formWindow_;
  PlotWindowWidget* linlin_;
  PlotWindowWidget* linlog_;
  QMdiSubWindow* linlinWindow_;
  QMdiSubWindow* linlogWindow_;
  PlotWindowWidget* scanPlot_ = nullptr;
  ScanDialogSettings scanSettings_;  // the last scan dialog's, for the next one
  QMdiSubWindow* scanPlotWindow_ = nullptr;
  PlotWindowWidget* fitPlot_[2] = {};  // by PlotId
  QMdiSubWindow* fitPlotWindow_[2] = {};
  HelpWindow* help_;
  QtMenus menus_;
  std::unique_ptr<QtUi> ui_;
  CommandStatus* commandStatus_ = nullptr;
  QShortcut* escape_ = nullptr;
  // The menu entry of the last command started, and whether it ran to its end (set on its thread).
  MenuItem lastItem_ = MenuItem::Files;
  std::atomic<bool> lastRan_{false};
  std::unique_ptr<LiveCurves> live_;
  // Last, so that it stops and waits for its command while the window's parts still exist.
  std::unique_ptr<StudyRunner> runner_;
};

}  // namespace pelarin
