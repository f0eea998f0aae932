// The scan dialog: a study run over a grid of one or two parameters of the form, each stepped evenly or in
// equal ratios. It shows the grid's cell count and an estimate of the time, runs the cells on a worker
// thread with a progress bar and a Cancel button while the window keeps painting, streams the rows to
// "<study name>_scan_<parameter>.csv" in the study folder, and hands the plot of the chosen figure to the
// main window.
#pragma once

#include <QDialog>
#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/qt/scan_dialog_settings.h"
#include "app/scan_cells.h"
#include "app/scan_engine.h"
#include "model/state.h"
#include "plot/plot_interaction.h"
#include "plot/recording_surface.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QSpinBox;

namespace pelarin {

class ScanDialog : public QDialog {
  Q_OBJECT

 public:
  // Scans from state and the form's texts as they stand now; questions and messages go through ui. Opens
  // with settings.
  ScanDialog(const State& state, const ParameterForm& form, Ui& ui, const ScanDialogSettings& settings = {},
             QWidget* parent = nullptr);
  // Stops a scan under way after its cells in progress.
  ~ScanDialog() override;

  // What a scan that ended, completed or cancelled, shows.
  struct Picture {
    RecordingSurface drawing;
    std::string caption;  // for its window
    std::string figure;   // the figure's name
    // Over two parameters, the figure painted at plot coordinates (x, y), for the read-out; else empty.
    PlotInteraction::ValueAt valueAt;
  };
  std::function<void(const Picture& picture)> showPlot;

  // Starts the scan as the Run button does; false, having said why, when it cannot start.
  bool Start();
  // Stops the scan after the cells under way; the rows written so far stay.
  void Cancel();
  [[nodiscard]] bool Running() const { return worker_.joinable(); }
  // The scan's file, once started.
  [[nodiscard]] const std::string& CsvPath() const { return csvPath_; }

  [[nodiscard]] QComboBox* StudyBox() const { return study_; }
  [[nodiscard]] QComboBox* ParameterBox(int axis) const { return rows_[axis].parameter; }
  [[nodiscard]] QLineEdit* FromBox(int axis) const { return rows_[axis].from; }
  [[nodiscard]] QLineEdit* ToBox(int axis) const { return rows_[axis].to; }
  [[nodiscard]] QSpinBox* PointsBox(int axis) const { return rows_[axis].points; }
  [[nodiscard]] QCheckBox* LogBox(int axis) const { return rows_[axis].log; }
  [[nodiscard]] QCheckBox* SecondParameterBox() const { return second_; }
  [[nodiscard]] QComboBox* FigureBox() const { return figure_; }
  [[nodiscard]] QComboBox* MethodBox() const { return method_; }
  // Grid or random sample; the sample's size and seed; each axis's spread in a sample.
  [[nodiscard]] QComboBox* ModeBox() const { return mode_; }
  [[nodiscard]] QSpinBox* SamplesBox() const { return samples_; }
  [[nodiscard]] QSpinBox* SeedBox() const { return seed_; }
  [[nodiscard]] QComboBox* SpreadBox(int axis) const { return rows_[axis].spread; }
  [[nodiscard]] QLabel* EstimateLabel() const { return estimate_; }
  [[nodiscard]] QLabel* StatusLabel() const { return status_; }
  [[nodiscard]] QProgressBar* ProgressBar() const { return progress_; }
  [[nodiscard]] QPushButton* RunButton() const { return run_; }
  [[nodiscard]] QPushButton* CancelButton() const { return cancel_; }

  // What the dialog shows now, for the next one to open with.
  [[nodiscard]] ScanDialogSettings Settings() const;

  // Cancel and Escape stop a scan under way rather than close the dialog.
  void reject() override;

 private:
  struct AxisRow {
    QComboBox* parameter = nullptr;
    QLineEdit* from = nullptr;
    QLineEdit* to = nullptr;
    QSpinBox* points = nullptr;
    QCheckBox* log = nullptr;
    QComboBox* spread = nullptr;
    // The other mode's two texts (grid bounds, or the spread's two numbers): each mode keeps its own.
    QString otherFrom, otherTo;
  };
  bool shownSampling_ = false;

  // The axes as typed, or nothing with the reason in error.
  [[nodiscard]] std::optional<std::vector<ScanAxis>> Axes(std::string& error) const;
  // The shared setup of the chosen study and axes, checked; nothing with the reason in error.
  [[nodiscard]] std::unique_ptr<ScanSetup> Setup(std::string& error) const;
  [[nodiscard]] FigureMethod Method() const;
  [[nodiscard]] bool Sampling() const;
  // Shows the columns of a grid or of a sample.
  void ShowMode();
  // The texts and scale of a newly chosen parameter of an axis: a grid over its own range, or a sample
  // around its value in the form.
  void TakeParameter(int axis);
  [[nodiscard]] const StudyEntry& ChosenStudy() const;
  // One run of the chosen study at the form's values, made once per study.
  const ScanProbe& Probe();
  void UpdateEstimate();
  void EnableInputs(bool enabled);
  // The end of the scan, on the dialog's thread: the picture, the status line and the messages.
  void Finish(const ScanOutcome& outcome);

  State state_;
  TextForm form_;
  Ui& ui_;
  QComboBox* study_;
  AxisRow rows_[2];
  QCheckBox* second_;
  QComboBox* figure_;
  QComboBox* method_;
  QComboBox* mode_;
  QSpinBox* samples_;
  QSpinBox* seed_;
  QLabel* headings_[3] = {};  // over the two numbers and the points (or spread) of each axis
  QLabel* estimate_;
  QLabel* status_;
  QProgressBar* progress_;
  QPushButton* run_;
  QPushButton* cancel_;

  std::map<std::string, ScanProbe> probes_;
  std::unique_ptr<ScanSetup> setup_;
  std::string csvPath_;
  std::thread worker_;
  std::atomic<bool> stop_{false};
};

}  // namespace pelarin
