// A scripted, complete user interface for tests: queued answers, recorded questions and messages, the files
// announced as saved, recorded drawing of both plot windows, a parameter form held as strings, and plain
// menus.
#pragma once

#include <deque>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "ui/recorded_plot_window.h"
#include "ui/text_form.h"
#include "ui/ui.h"

namespace pelarin::testing {

using FakePlotWindow = RecordedPlotWindow;

using FakeForm = TextForm;

struct AskedQuestion {
  pelarin::Question question;
  std::string text, title;
  bool answer;
  std::string subject{};
};
struct Message {
  std::string text, title;
  MessageIcon icon;
};

class FakeUi : public Ui {
 public:
  // The menus hold the given studies' entries (none for tests below the study layer).
  explicit FakeUi(std::vector<StudyMenuEntry> studies = {}) : menus(std::move(studies)) {}

  // Queued answers; a question with none queued is a test failure (thrown), never a silent default.
  std::deque<bool> answers;
  std::deque<std::optional<std::string>> fileChoices;
  std::vector<AskedQuestion> questions;
  std::vector<Message> messages;
  std::vector<FileDialogRequest> dialogs;
  std::vector<StudyFiles> planned;              // what each study said it would write
  std::vector<std::vector<std::string>> saved;  // each announcement of files written

  void BeforeComputing(const StudyFiles& files) override { planned.push_back(files); }
  using Ui::Ask;
  bool Ask(pelarin::Question question, const std::string& subject) override {
    const QuestionText asked = TextOf(question);
    if (answers.empty()) throw std::logic_error("unexpected question: " + std::string(asked.text));
    const bool answer = answers.front();
    answers.pop_front();
    questions.push_back({question, std::string(asked.text), std::string(asked.title), answer, subject});
    return answer;
  }
  void FilesSaved(const std::vector<std::string>& paths) override { saved.push_back(paths); }
  void ShowMessage(const std::string& text, const std::string& title, MessageIcon icon) override {
    messages.push_back({text, title, icon});
  }
  std::optional<std::string> OpenFileDialog(const FileDialogRequest& request) override {
    return NextFile(request);
  }
  std::optional<std::string> SaveFileDialog(const FileDialogRequest& request) override {
    return NextFile(request);
  }
  PlotWindow& Plot(PlotId id) override { return id == PlotId::linlin ? linlin : linlog; }
  ParameterForm& Form() override { return form; }
  Menus& MenuBar() override { return menus; }

  FakePlotWindow linlin, linlog;
  FakeForm form;
  MenuTable menus;

 private:
  std::optional<std::string> NextFile(const FileDialogRequest& request) {
    if (fileChoices.empty()) throw std::logic_error("unexpected file dialog: " + request.title);
    dialogs.push_back(request);
    auto choice = fileChoices.front();
    fileChoices.pop_front();
    return choice;
  }
};

}  // namespace pelarin::testing
