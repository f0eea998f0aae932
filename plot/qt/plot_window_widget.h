// The plot windows linlin and linlog: MDI children that keep what is drawn on them as a recording, show it
// replayed at the window's size (a resized window shows the same drawing at its new size), and handle the
// mouse and keys through PlotInteraction: the read-out box at the top, the rubber band line, the
// Escape message and the double click that saves the image as a bitmap.
#pragma once

#include <QImage>
#include <QString>
#include <QWidget>
#include <functional>
#include <string>

#include "model/state.h"
#include "plot/plot_interaction.h"
#include "plot/qt/plot_image.h"
#include "plot/recording_surface.h"
#include "ui/recorded_plot_window.h"

class QLineEdit;

namespace pelarin {

class PlotWindowWidget : public QWidget, public RecordedPlotWindow, private PlotWindowRequests {
  Q_OBJECT

 public:
  // A modal Yes/No question (true for Yes) and a modal message with an exclamation icon. Message boxes
  // unless replaced.
  using Asker = std::function<bool(const QString& text, const QString& title)>;
  using Notifier = std::function<void(const QString& text, const QString& title)>;

  // Captioned "I(V)" (linlin) or "linlogplot" (linlog); state supplies the drag point, dragLineOn,
  // darkFlag, Vt and the study's label and folder.
  PlotWindowWidget(PlotId id, State& state, QWidget* parent = nullptr);

  // Also brings a minimised or maximised window back to its normal size.
  void SetWindowStateNormal() override;
  // Show and Hide act on the enclosing MDI sub-window when there is one.
  void Show() override;
  void Hide() override;
  void SetCaption(const std::string& caption) override;
  void SetReadoutBackground(Colour colour) override;

  void SetAsker(Asker asker);
  void SetNotifier(Notifier notifier);

  [[nodiscard]] const RecordingSurface& Drawing() const { return surface; }
  // The drawing as the window shows it (without the read-out box and the rubber band), at the window's size.
  [[nodiscard]] QImage Image();
  [[nodiscard]] QLineEdit* ReadoutBox() const { return readoutBox_; }
  [[nodiscard]] const RubberBand& RubberBandLine() const { return interaction_.RubberBandLine(); }
  // The reference extents of the axes at 15 units a pixel.
  [[nodiscard]] QSize sizeHint() const override { return {625, 373}; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // What the interaction asks of the window.
  bool AskYesNo(const std::string& text, const std::string& title) override;
  void ShowExclamation(const std::string& text, const std::string& title) override;
  void SaveImage(const std::string& path) override;

  void DrawingChanged() override;
  // Renders the drawing again if it changed or the window was resized.
  void Render();
  // Shows the interaction's read-out text and rubber band.
  void ShowInteraction();
  void PlaceReadoutBox();

  PlotInteraction interaction_;
  QLineEdit* readoutBox_;
  Asker asker_;
  Notifier notifier_;
  QImage shown_;
  UserMapping mapping_;
  bool stale_ = true;
  // The release that ends a double click brings no click.
  bool releaseEndsDoubleClick_ = false;
};

}  // namespace pelarin
