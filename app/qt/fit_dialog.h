// The fit dialog: the cell's free parameters fitted to measured J(V) curves, starting from the form's
// values. It lists the measured files with their lighting, units, sign, conditions and weight, the boxes with
// a tick for the free ones and their bounds, runs the fit on a worker thread with a progress bar and a
// Cancel button while the window keeps painting, shows the report the batch tool prints, hands the picture
// of the fit to the main window, and puts the fitted values into the form when the user says so.
#pragma once

#include <QDialog>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "fit/fit.h"
#include "fit/fit_plot.h"
#include "model/parameter_table.h"
#include "model/state.h"
#include "plot/recording_surface.h"
#include "ui/text_form.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QTableWidget;
class QTableWidgetItem;

namespace pelarin {

class FitDialog : public QDialog {
  Q_OBJECT

 public:
  // Fits from state and the form's texts as they stand now; questions, messages and file dialogs go
  // through ui, and the fitted values go into ui's form.
  FitDialog(const State& state, const ParameterForm& form, Ui& ui, QWidget* parent = nullptr);
  // Stops a fit under way after its starts in progress.
  ~FitDialog() override;

  // A picture of the ended fit, for a plot window.
  struct Picture {
    RecordingSurface drawing;
    fit::FitPicture which = fit::FitPicture::Lit;
    std::string caption;   // for its window
    std::string fileStem;  // proposed for its saved images: beside the first measured file
  };
  std::function<void(const Picture& picture)> showPlot;

  // Asks for a measured file, as the Add... button does, and lists it; false when none was chosen.
  bool AddCurve();
  // Starts the fit as the Run button does; false, having said why, when it cannot start.
  bool Start();
  // Stops the fit after the starts under way; the best point so far is reported.
  void Cancel();
  // Asks, then writes the fitted values of the free parameters into the form, as Apply to form does.
  void ApplyToForm();
  [[nodiscard]] bool Running() const { return worker_.joinable(); }
  // The result of the last fit that ended; nothing before one has or while one runs.
  [[nodiscard]] const std::optional<fit::FitResult>& Result() const { return result_; }

  // The measured curves, a row each: file, columns, configuration, units, sign, T, X, weight, Remove.
  [[nodiscard]] QTableWidget* CurveTable() const { return curves_; }
  [[nodiscard]] QComboBox* ConfigurationBox(int row) const { return rows_.at(row).configuration; }
  [[nodiscard]] QComboBox* UnitBox(int row) const { return rows_.at(row).unit; }
  [[nodiscard]] QComboBox* SignBox(int row) const { return rows_.at(row).sign; }
  [[nodiscard]] QLineEdit* TemperatureBox(int row) const { return rows_.at(row).temperature; }
  [[nodiscard]] QLineEdit* WeightBox(int row) const { return rows_.at(row).weight; }
  [[nodiscard]] QPushButton* RemoveButton(int row) const { return rows_.at(row).remove; }
  [[nodiscard]] QCheckBox* CoupledBox() const { return coupled_; }
  // The parameters, a row each in form order: the name with its free tick, LO, HI, the form's value, unit.
  [[nodiscard]] QTableWidget* ParameterTable() const { return parameters_; }
  [[nodiscard]] QTableWidgetItem* FreeItem(int index) const;
  [[nodiscard]] QTableWidgetItem* LowItem(int index) const;
  [[nodiscard]] QTableWidgetItem* HighItem(int index) const;
  [[nodiscard]] QTableWidgetItem* FormValueItem(int index) const;
  [[nodiscard]] QSpinBox* StartsBox() const { return starts_; }
  [[nodiscard]] QComboBox* LossBox() const { return loss_; }
  [[nodiscard]] QLineEdit* DarkFloorBox() const { return darkFloor_; }
  [[nodiscard]] QComboBox* PictureBox() const { return picture_; }
  [[nodiscard]] QPlainTextEdit* ReportBox() const { return report_; }
  [[nodiscard]] QLabel* StatusLabel() const { return status_; }
  [[nodiscard]] QProgressBar* ProgressBar() const { return progress_; }
  [[nodiscard]] QPushButton* AddButton() const { return add_; }
  [[nodiscard]] QPushButton* RunButton() const { return run_; }
  [[nodiscard]] QPushButton* ApplyButton() const { return apply_; }
  [[nodiscard]] QPushButton* CancelButton() const { return cancel_; }

  // Cancel and Escape stop a fit under way rather than close the dialog.
  void reject() override;

 private:
  struct CurveRow {
    std::string path;
    QComboBox* configuration = nullptr;
    QComboBox* unit = nullptr;
    QComboBox* sign = nullptr;
    QLineEdit* columns = nullptr;
    QLineEdit* temperature = nullptr;
    QLineEdit* concentration = nullptr;
    QLineEdit* weight = nullptr;
    QPushButton* remove = nullptr;
  };

  void AddCurveRow(const std::string& path);
  void RemoveCurveRow(const QPushButton* button);
  // Names each row's file with its folder, and fits the table's width to its columns.
  void ShowFileNames();
  // The form's values as the form reads them, or nothing with the reason in error.
  [[nodiscard]] std::optional<State> FormState(std::string& error) const;
  // Shows the form's values in the parameter table.
  void ShowFormValues();
  // The options as the dialog holds them, the files read; nothing, with the reason said, when they cannot
  // be fitted.
  [[nodiscard]] std::unique_ptr<fit::FitOptions> Options();
  void EnableInputs(bool enabled);
  // On the dialog's thread: the progress bar and its label after each start, and the end of the fit with its
  // result or what ended it without one.
  void ShowProgress(const ProgressReport& report);
  void Finish(std::optional<fit::FitResult> result, const std::string& failure);
  // Draws the picture chosen in the picture box and hands it to the window.
  void ShowPicture();

  State state_;
  TextForm form_;
  Ui& ui_;
  std::vector<CurveRow> rows_;
  QTableWidget* curves_;
  QCheckBox* coupled_;
  QTableWidget* parameters_;
  QSpinBox* starts_;
  QComboBox* loss_;
  QLineEdit* darkFloor_;
  QComboBox* picture_;
  QPlainTextEdit* report_;
  QLabel* status_;
  QProgressBar* progress_;
  QPushButton* add_;
  QPushButton* run_;
  QPushButton* apply_;
  QPushButton* cancel_;

  std::unique_ptr<fit::FitOptions> options_;  // of the fit under way or the last one
  std::optional<fit::FitResult> result_;
  std::thread worker_;
  std::atomic<bool> stop_{false};
};

}  // namespace pelarin
