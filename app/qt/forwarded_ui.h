// The Ui a study sees on the window's worker thread: every call is run on the UI thread by the window's own
// Ui, in the order the study makes them, so a study asks exactly what it asks on the UI thread. Questions,
// messages, file dialogs and whatever returns a value wait for the UI thread; drawing is gathered and
// handed to the plot windows in batches, and the form's and the menus' settings are sent, without waiting,
// so that the curves grow on screen while the study computes. The form's texts are read once: the form
// takes no typing while a command runs.
#pragma once

#include <QObject>
#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "ui/ui.h"

namespace pelarin {

class ForwardedUi : public Ui {
 public:
  // receiver lives on the UI thread, and windowUi is used only there. Made on the worker thread.
  ForwardedUi(QObject* receiver, Ui& windowUi);
  // Hands over the drawing still held.
  ~ForwardedUi() override;
  ForwardedUi(const ForwardedUi&) = delete;
  ForwardedUi& operator=(const ForwardedUi&) = delete;

  void BeforeComputing(const StudyFiles& files) override;
  using Ui::Ask;
  bool Ask(Question question, const std::string& subject) override;
  void FilesSaved(const std::vector<std::string>& paths) override;
  void ShowMessage(const std::string& text, const std::string& title, MessageIcon icon) override;
  std::optional<std::string> OpenFileDialog(const FileDialogRequest& request) override;
  std::optional<std::string> SaveFileDialog(const FileDialogRequest& request) override;
  PlotWindow& Plot(PlotId id) override { return id == PlotId::linlin ? linlin_ : linlog_; }
  ParameterForm& Form() override { return form_; }
  Menus& MenuBar() override { return menus_; }

  // Runs call on the UI thread and waits for it, after the drawing held; what it throws is thrown here.
  void Call(const std::function<void()>& call);
  // Hands the drawing held to the plot windows on the UI thread, without waiting.
  void PostDrawing();
  // Runs call on the UI thread after the drawing held, without waiting. The call may run after this object
  // is gone: it captures the window's parts, never this.
  void Post(std::function<void()> call);
  // While this returns true (a study stopped because the window closes) every question is answered No,
  // every file dialog cancelled and every message dropped.
  std::function<bool()> quiet;

 private:
  using DrawCall = std::function<void(PlotWindow&)>;

  class ForwardedPlot : public PlotWindow {
   public:
    ForwardedPlot(ForwardedUi& owner, PlotWindow& window) : owner_(owner), window_(window) {}
    void SetWindowStateNormal() override;
    void SetScaleWidth(double width) override;
    void SetScaleHeight(double height) override;
    [[nodiscard]] double ScaleWidth() const override;
    [[nodiscard]] double ScaleHeight() const override;
    void SetUserCoordinates(double left, double top, double right, double bottom) override;
    void SetBackColour(Colour colour) override;
    void SetForeColour(Colour colour) override;
    void SetFillColour(Colour colour) override;
    void SetFillStyle(FillStyle style) override;
    void SetDrawMode(int mode) override;
    void SetDrawStyle(DrawStyle style) override;
    void SetDrawWidth(int width) override;
    void SetPen(double x, double y) override;
    void LineTo(double x, double y, Colour colour) override;
    void Circle(double x, double y, double radius, Colour colour) override;
    void FillRect(double x1, double y1, double x2, double y2, Colour colour) override;
    void Print(const std::string& text) override;
    void Label(const std::string& text, const std::string& exponent, LabelPlace place) override;
    void SetTitles(const PlotTitles& titles) override;
    void BeginCurve(const LegendEntry& entry) override;
    void Clear() override;
    void Show() override;
    void Hide() override;
    void SetCaption(const std::string& caption) override;
    void SetReadoutBackground(Colour colour) override;

    // The drawing held, handed over (in call order) by PostDrawing.
    std::vector<DrawCall> held;
    PlotWindow& Window() { return window_; }

   private:
    void Hold(DrawCall call);
    ForwardedUi& owner_;
    PlotWindow& window_;
    // The extents this command set itself: the window holds the same once the held drawing is replayed,
    // so reading them back needs no wait for the UI thread while it paints.
    std::optional<double> scaleWidth_, scaleHeight_;
  };

  class ForwardedForm : public ParameterForm {
   public:
    ForwardedForm(ForwardedUi& owner, ParameterForm& form) : owner_(owner), form_(form) {}
    // The texts as the form held them at the first read, with the study's own writes since.
    [[nodiscard]] std::string BoxText(int index) const override;
    void SetBoxText(int index, const std::string& text) override;
    void SetStudyName(const std::string& text) override;
    void MarkBox(int index, const std::string& problem) override;
    void Show() override;

   private:
    ForwardedUi& owner_;
    ParameterForm& form_;
    mutable std::vector<std::string> texts_;
  };

  class ForwardedMenus : public Menus {
   public:
    ForwardedMenus(ForwardedUi& owner, Menus& menus) : owner_(owner), menus_(menus) {}
    void SetCaption(MenuItem item, const std::string& caption) override;
    void SetEnabled(MenuItem item, bool enabled) override;
    [[nodiscard]] std::string Caption(MenuItem item) const override;
    [[nodiscard]] bool Enabled(MenuItem item) const override;
    // The entries never change: read where they are.
    [[nodiscard]] const std::vector<StudyMenuEntry>& StudyEntries() const override {
      return menus_.StudyEntries();
    }

   private:
    ForwardedUi& owner_;
    Menus& menus_;
  };

  [[nodiscard]] bool Quiet() const { return quiet && quiet(); }
  // Hands the drawing over when much is held or a while has passed since the last hand-over.
  void DrawingGrew();

  QObject* receiver_;
  Ui& windowUi_;
  ForwardedPlot linlin_, linlog_;
  ForwardedForm form_;
  ForwardedMenus menus_;
  std::size_t heldCount_ = 0;
  std::chrono::steady_clock::time_point lastPost_;
};

}  // namespace pelarin
