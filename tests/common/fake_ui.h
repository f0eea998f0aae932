// A scripted, complete user interface for tests: queued answers, recorded questions and messages,
// recorded drawing of both plot windows, a parameter form held as strings, and plain menus.
#pragma once

#include <deque>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/parameter_table.h"
#include "plot/recording_surface.h"
#include "studies/ui.h"

namespace pelarin::testing {

class FakePlotWindow : public PlotWindow {
 public:
  void SetWindowStateNormal() override { surface.SetWindowStateNormal(); }
  void SetScaleWidth(double w) override { surface.SetScaleWidth(w); }
  void SetScaleHeight(double h) override { surface.SetScaleHeight(h); }
  [[nodiscard]] double ScaleWidth() const override { return surface.ScaleWidth(); }
  [[nodiscard]] double ScaleHeight() const override { return surface.ScaleHeight(); }
  void SetUserCoordinates(double l, double t, double r, double b) override { surface.SetUserCoordinates(l, t, r, b); }
  void SetBackColour(Colour c) override { surface.SetBackColour(c); }
  void SetForeColour(Colour c) override { surface.SetForeColour(c); }
  void SetFillColour(Colour c) override { surface.SetFillColour(c); }
  void SetFillStyle(FillStyle s) override { surface.SetFillStyle(s); }
  void SetDrawMode(int m) override { surface.SetDrawMode(m); }
  void SetDrawStyle(DrawStyle s) override { surface.SetDrawStyle(s); }
  void SetDrawWidth(int w) override { surface.SetDrawWidth(w); }
  void SetPen(double x, double y) override { surface.SetPen(x, y); }
  void LineTo(double x, double y, Colour c) override { surface.LineTo(x, y, c); }
  void Circle(double x, double y, double r, Colour c) override { surface.Circle(x, y, r, c); }
  void Print(const std::string& text) override { surface.Print(text); }
  void Clear() override {
    surface.Clear();
    ++clearCount;
  }
  void Show() override { visible = true; }
  void Hide() override { visible = false; }
  void SetCaption(const std::string& text) override { caption = text; }
  void SetReadoutBackground(Colour c) override { readoutBackground = c; }

  [[nodiscard]] std::vector<DrawOp> CirclesDrawn() const {
    std::vector<DrawOp> circles;
    for (const DrawOp& op : surface.Ops())
      if (op.kind == DrawOp::Kind::Circle) circles.push_back(op);
    return circles;
  }

  RecordingSurface surface;
  bool visible = false;
  std::string caption;
  Colour readoutBackground = 0;
  int clearCount = 0;
};

class FakeForm : public ParameterForm {
 public:
  FakeForm() {
    for (int i = 0; i < kParameterCount; ++i) boxes[i] = std::string(kParameterBoxes[i].defaultText);
  }
  [[nodiscard]] std::string Text1(int index) const override { return boxes.at(index); }
  void SetText1(int index, const std::string& text) override {
    boxes.at(index) = text;
    ++writes;
  }
  void SetText2(const std::string& text) override { text2 = text; }
  void Show() override { ++showCount; }

  std::array<std::string, kParameterCount> boxes;
  std::string text2 = "Test";
  int showCount = 0;
  int writes = 0;
};

struct Question {
  std::string text, title;
  bool answer;
};
struct Message {
  std::string text, title;
  MessageIcon icon;
};

class FakeUi : public Ui {
 public:
  // Queued answers; a question with none queued is a test failure (thrown), never a silent default.
  std::deque<bool> answers;
  std::deque<std::optional<std::string>> fileChoices;
  std::vector<Question> questions;
  std::vector<Message> messages;
  std::vector<FileDialogRequest> dialogs;

  bool AskYesNo(const std::string& text, const std::string& title, MessageIcon) override {
    if (answers.empty()) throw std::logic_error("unexpected question: " + text);
    const bool answer = answers.front();
    answers.pop_front();
    questions.push_back({text, title, answer});
    return answer;
  }
  void ShowMessage(const std::string& text, const std::string& title, MessageIcon icon) override {
    messages.push_back({text, title, icon});
  }
  std::optional<std::string> OpenFileDialog(const FileDialogRequest& request) override { return NextFile(request); }
  std::optional<std::string> SaveFileDialog(const FileDialogRequest& request) override { return NextFile(request); }
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
