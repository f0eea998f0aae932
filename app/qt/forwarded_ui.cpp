#include "app/qt/forwarded_ui.h"

#include <QMetaObject>
#include <exception>
#include <utility>

#include "model/parameter_table.h"

namespace pelarin {
namespace {

// Enough to show a curve growing a few times a second without a hand-over per point.
constexpr std::size_t kMostHeld = 4096;
constexpr auto kLongestHold = std::chrono::milliseconds(50);

}  // namespace

ForwardedUi::ForwardedUi(QObject* receiver, Ui& windowUi)
    : receiver_(receiver),
      windowUi_(windowUi),
      linlin_(*this, windowUi.Plot(PlotId::linlin)),
      linlog_(*this, windowUi.Plot(PlotId::linlog)),
      form_(*this, windowUi.Form()),
      menus_(*this, windowUi.MenuBar()),
      lastPost_(std::chrono::steady_clock::now()) {}

ForwardedUi::~ForwardedUi() { PostDrawing(); }

void ForwardedUi::Call(const std::function<void()>& call) {
  PostDrawing();
  std::exception_ptr thrown;
  QMetaObject::invokeMethod(
      receiver_,
      [&] {
        try {
          call();
        } catch (...) {
          thrown = std::current_exception();
        }
      },
      Qt::BlockingQueuedConnection);
  if (thrown) std::rethrow_exception(thrown);
}

void ForwardedUi::Post(std::function<void()> call) {
  PostDrawing();
  QMetaObject::invokeMethod(receiver_, std::move(call), Qt::QueuedConnection);
}

void ForwardedUi::PostDrawing() {
  lastPost_ = std::chrono::steady_clock::now();
  heldCount_ = 0;
  for (ForwardedPlot* plot : {&linlin_, &linlog_}) {
    if (plot->held.empty()) continue;
    QMetaObject::invokeMethod(
        receiver_,
        [calls = std::exchange(plot->held, {}), &window = plot->Window()] {
          for (const DrawCall& call : calls) call(window);
        },
        Qt::QueuedConnection);
  }
}

void ForwardedUi::DrawingGrew() {
  if (++heldCount_ >= kMostHeld || std::chrono::steady_clock::now() - lastPost_ > kLongestHold) PostDrawing();
}

void ForwardedUi::BeforeComputing(const StudyFiles& files) {
  Call([&] { windowUi_.BeforeComputing(files); });
}

bool ForwardedUi::Ask(Question question, const std::string& subject) {
  bool yes = false;
  Call([&] { yes = !Quiet() && windowUi_.Ask(question, subject); });
  return yes;
}

void ForwardedUi::FilesSaved(const std::vector<std::string>& paths) {
  Post([&ui = windowUi_, paths] { ui.FilesSaved(paths); });
}

void ForwardedUi::ShowMessage(const std::string& text, const std::string& title, MessageIcon icon) {
  Call([&] {
    if (!Quiet()) windowUi_.ShowMessage(text, title, icon);
  });
}

std::optional<std::string> ForwardedUi::OpenFileDialog(const FileDialogRequest& request) {
  std::optional<std::string> chosen;
  Call([&] {
    if (!Quiet()) chosen = windowUi_.OpenFileDialog(request);
  });
  return chosen;
}

std::optional<std::string> ForwardedUi::SaveFileDialog(const FileDialogRequest& request) {
  std::optional<std::string> chosen;
  Call([&] {
    if (!Quiet()) chosen = windowUi_.SaveFileDialog(request);
  });
  return chosen;
}

// The plot windows: drawing is held, everything else waits for the UI thread.
void ForwardedUi::ForwardedPlot::Hold(DrawCall call) {
  held.push_back(std::move(call));
  owner_.DrawingGrew();
}
void ForwardedUi::ForwardedPlot::SetWindowStateNormal() {
  Hold([](PlotWindow& w) { w.SetWindowStateNormal(); });
}
void ForwardedUi::ForwardedPlot::SetScaleWidth(double width) {
  scaleWidth_ = width;
  Hold([=](PlotWindow& w) { w.SetScaleWidth(width); });
}
void ForwardedUi::ForwardedPlot::SetScaleHeight(double height) {
  scaleHeight_ = height;
  Hold([=](PlotWindow& w) { w.SetScaleHeight(height); });
}
double ForwardedUi::ForwardedPlot::ScaleWidth() const {
  if (scaleWidth_) return *scaleWidth_;
  double width = 0;
  owner_.Call([&] { width = window_.ScaleWidth(); });
  return width;
}
double ForwardedUi::ForwardedPlot::ScaleHeight() const {
  if (scaleHeight_) return *scaleHeight_;
  double height = 0;
  owner_.Call([&] { height = window_.ScaleHeight(); });
  return height;
}
void ForwardedUi::ForwardedPlot::SetUserCoordinates(double left, double top, double right, double bottom) {
  scaleWidth_ = right - left;
  scaleHeight_ = bottom - top;
  Hold([=](PlotWindow& w) { w.SetUserCoordinates(left, top, right, bottom); });
}
void ForwardedUi::ForwardedPlot::SetBackColour(Colour colour) {
  Hold([=](PlotWindow& w) { w.SetBackColour(colour); });
}
void ForwardedUi::ForwardedPlot::SetForeColour(Colour colour) {
  Hold([=](PlotWindow& w) { w.SetForeColour(colour); });
}
void ForwardedUi::ForwardedPlot::SetFillColour(Colour colour) {
  Hold([=](PlotWindow& w) { w.SetFillColour(colour); });
}
void ForwardedUi::ForwardedPlot::SetFillStyle(FillStyle style) {
  Hold([=](PlotWindow& w) { w.SetFillStyle(style); });
}
void ForwardedUi::ForwardedPlot::SetDrawMode(int mode) {
  Hold([=](PlotWindow& w) { w.SetDrawMode(mode); });
}
void ForwardedUi::ForwardedPlot::SetDrawStyle(DrawStyle style) {
  Hold([=](PlotWindow& w) { w.SetDrawStyle(style); });
}
void ForwardedUi::ForwardedPlot::SetDrawWidth(int width) {
  Hold([=](PlotWindow& w) { w.SetDrawWidth(width); });
}
void ForwardedUi::ForwardedPlot::SetPen(double x, double y) {
  Hold([=](PlotWindow& w) { w.SetPen(x, y); });
}
void ForwardedUi::ForwardedPlot::LineTo(double x, double y, Colour colour) {
  Hold([=](PlotWindow& w) { w.LineTo(x, y, colour); });
}
void ForwardedUi::ForwardedPlot::Circle(double x, double y, double radius, Colour colour) {
  Hold([=](PlotWindow& w) { w.Circle(x, y, radius, colour); });
}
void ForwardedUi::ForwardedPlot::FillRect(double x1, double y1, double x2, double y2, Colour colour) {
  Hold([=](PlotWindow& w) { w.FillRect(x1, y1, x2, y2, colour); });
}
void ForwardedUi::ForwardedPlot::Print(const std::string& text) {
  Hold([=](PlotWindow& w) { w.Print(text); });
}
void ForwardedUi::ForwardedPlot::Label(const std::string& text, const std::string& exponent,
                                       LabelPlace place) {
  Hold([=](PlotWindow& w) { w.Label(text, exponent, place); });
}
void ForwardedUi::ForwardedPlot::SetTitles(const PlotTitles& titles) {
  Hold([=](PlotWindow& w) { w.SetTitles(titles); });
}
void ForwardedUi::ForwardedPlot::BeginCurve(const LegendEntry& entry) {
  Hold([=](PlotWindow& w) { w.BeginCurve(entry); });
}
void ForwardedUi::ForwardedPlot::Clear() {
  Hold([](PlotWindow& w) { w.Clear(); });
}
void ForwardedUi::ForwardedPlot::Show() {
  Hold([](PlotWindow& w) { w.Show(); });
}
void ForwardedUi::ForwardedPlot::Hide() {
  Hold([](PlotWindow& w) { w.Hide(); });
}
void ForwardedUi::ForwardedPlot::SetCaption(const std::string& caption) {
  Hold([=](PlotWindow& w) { w.SetCaption(caption); });
}
void ForwardedUi::ForwardedPlot::SetReadoutBackground(Colour colour) {
  Hold([=](PlotWindow& w) { w.SetReadoutBackground(colour); });
}

std::string ForwardedUi::ForwardedForm::BoxText(int index) const {
  if (texts_.empty()) {
    owner_.Call([&] {
      for (int i = 0; i < kParameterCount; ++i) texts_.push_back(form_.BoxText(i));
    });
  }
  return texts_.at(static_cast<std::size_t>(index));
}
void ForwardedUi::ForwardedForm::SetBoxText(int index, const std::string& text) {
  if (!texts_.empty()) texts_.at(static_cast<std::size_t>(index)) = text;
  owner_.Post([&form = form_, index, text] { form.SetBoxText(index, text); });
}
void ForwardedUi::ForwardedForm::SetStudyName(const std::string& text) {
  owner_.Post([&form = form_, text] { form.SetStudyName(text); });
}
void ForwardedUi::ForwardedForm::MarkBox(int index, const std::string& problem) {
  owner_.Post([&form = form_, index, problem] { form.MarkBox(index, problem); });
}
void ForwardedUi::ForwardedForm::Show() {
  owner_.Post([&form = form_] { form.Show(); });
}

void ForwardedUi::ForwardedMenus::SetCaption(MenuItem item, const std::string& caption) {
  owner_.Post([&menus = menus_, item, caption] { menus.SetCaption(item, caption); });
}
void ForwardedUi::ForwardedMenus::SetEnabled(MenuItem item, bool enabled) {
  owner_.Post([&menus = menus_, item, enabled] { menus.SetEnabled(item, enabled); });
}
std::string ForwardedUi::ForwardedMenus::Caption(MenuItem item) const {
  std::string caption;
  owner_.Call([&] { caption = menus_.Caption(item); });
  return caption;
}
bool ForwardedUi::ForwardedMenus::Enabled(MenuItem item) const {
  bool enabled = false;
  owner_.Call([&] { enabled = menus_.Enabled(item); });
  return enabled;
}

}  // namespace pelarin
