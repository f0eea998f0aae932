// A Ui without a window, answering the studies' questions as its caller set it up.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "studies/study_registry.h"
#include "ui/recorded_plot_window.h"
#include "ui/text_form.h"

namespace pelarin {

// The Ui of every headless caller (a scan's cells, the batch commands' form reading, the fit, Python, Live's
// worker): a form of texts, recorded plots, and answers set in advance. No measured data unless given; the
// tables only when kept, replacing older ones only when allowed. Messages are kept: the first one that
// reports a problem becomes the caller's.
class HeadlessUi : public Ui {
 public:
  HeadlessUi(bool tables, bool overwrite) : tables_(tables), overwrite_(overwrite) {}

  // A cell keeps the scan's own rule for existing tables: the overwrite question below.
  void BeforeComputing(const StudyFiles&) override {}
  using Ui::Ask;
  bool Ask(Question question, const std::string& subject) override;
  void FilesSaved(const std::vector<std::string>&) override {}
  void ShowMessage(const std::string& text, const std::string& title, MessageIcon icon) override;
  std::optional<std::string> OpenFileDialog(const FileDialogRequest& request) override;
  std::optional<std::string> SaveFileDialog(const FileDialogRequest& request) override;
  PlotWindow& Plot(PlotId id) override { return id == PlotId::linlin ? linlin : linlog; }
  ParameterForm& Form() override { return form; }
  Menus& MenuBar() override { return menus; }
  [[nodiscard]] bool FollowsChosenFolder() const override { return followsChosenFolder; }

  RecordedPlotWindow linlin, linlog;
  TextForm form;
  MenuTable menus{StudyMenuEntries()};
  std::optional<std::string> paramsToOpen;
  std::string parameterFile;  // where the independent study's parameter file goes with kept tables
  std::optional<std::string> measuredData;  // the measured curve to draw over the study's, when one is
  bool followsChosenFolder = true;          // whether a file chosen moves the working directory
  std::vector<std::string> problems;
  // How the caller's user allows replacing tables ("give --overwrite"), said after the refusal; none: empty.
  std::string overwriteHint;

 private:
  bool tables_, overwrite_;
};

}  // namespace pelarin
