// A user interface that answers No to every question and cancels every file dialog: a study computes and
// draws into the two recorded plot windows, and writes nothing. Messages are kept. For benchmarks and tools.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "studies/study_registry.h"
#include "ui/recorded_plot_window.h"
#include "ui/text_form.h"
#include "ui/ui.h"

namespace pelarin::testing {

class DecliningUi : public Ui {
 public:
  void BeforeComputing(const StudyFiles&) override {}
  using Ui::Ask;
  bool Ask(Question, const std::string&) override { return false; }
  void FilesSaved(const std::vector<std::string>& paths) override {
    saved.insert(saved.end(), paths.begin(), paths.end());
  }
  void ShowMessage(const std::string& text, const std::string&, MessageIcon) override {
    messages.push_back(text);
  }
  std::optional<std::string> OpenFileDialog(const FileDialogRequest&) override { return std::nullopt; }
  std::optional<std::string> SaveFileDialog(const FileDialogRequest&) override { return std::nullopt; }
  PlotWindow& Plot(PlotId id) override { return id == PlotId::linlin ? linlin : linlog; }
  ParameterForm& Form() override { return form; }
  Menus& MenuBar() override { return menus; }

  RecordedPlotWindow linlin, linlog;
  TextForm form;
  MenuTable menus{StudyMenuEntries()};
  std::vector<std::string> messages;
  std::vector<std::string> saved;  // files announced as written (none, as every save is declined)
};

}  // namespace pelarin::testing
