// The plot windows linlin and linlog: MDI children that keep what is drawn on them as a recording, show it
// replayed at the window's size as a figure (titles, labels and legend laid out for that size), and handle
// the mouse through PlotInteraction: the read-out box at the top right, the rubber band line and the
// double click that saves the image as a bitmap. A right click opens a menu that
// saves the image as PNG, SVG or BMP, copies it, or exports the curves as CSV.
#pragma once

#include <QImage>
#include <QPoint>
#include <QString>
#include <QWidget>
#include <functional>
#include <string>
#include <utility>

#include "model/state.h"
#include "plot/plot_interaction.h"
#include "plot/qt/plot_image.h"
#include "plot/recording_surface.h"
#include "ui/recorded_plot_window.h"

class QLineEdit;
class QMenu;

namespace pelarin {

class PlotWindowWidget : public QWidget, public RecordedPlotWindow, private PlotWindowRequests {
  Q_OBJECT

 public:
  // A modal Yes/No question (true for Yes) and a modal message with an exclamation icon. Message boxes
  // unless replaced.
  using Asker = std::function<bool(const QString& text, const QString& title)>;
  using Notifier = std::function<void(const QString& text, const QString& title)>;
  // A save dialog: the path chosen (empty when cancelled) from a title, a proposed path and a filter.
  using SaveChooser =
      std::function<QString(const QString& title, const QString& proposed, const QString& filter)>;
  // Told of every file the window wrote.
  using SavedListener = std::function<void(const QString& path)>;

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
  void SetSaveChooser(SaveChooser chooser);
  void SetSavedListener(SavedListener listener);
  // The path, without suffix, proposed for saved images and exports instead of the study's folder and label,
  // and the double click's bitmap with ".bmp" (a scan's plot proposes its file's name); empty for the
  // study's.
  void SetFileStem(const QString& stem);
  // Whether a left drag measures a resistance (linlin) or an ideality factor (linlog): on for J(V) plots.
  void SetMeasuring(bool measuring) { interaction_.SetMeasuring(measuring); }
  // A value the read-out adds after x and y (a colour map's figure under the cursor).
  void SetReadoutValue(const std::string& label, PlotInteraction::ValueAt valueAt);

  [[nodiscard]] const RecordingSurface& Drawing() const { return surface; }
  // The drawing as the window shows it (without the read-out box and the rubber band), at the window's size.
  [[nodiscard]] QImage Image();
  // Where the last render placed the drawing, its labels and its legend.
  [[nodiscard]] const PlotLayout& Layout();
  [[nodiscard]] QLineEdit* ReadoutBox() const { return readoutBox_; }
  [[nodiscard]] const RubberBand& RubberBandLine() const { return interaction_.RubberBandLine(); }
  // The right-click menu: "Save image as...", "Copy image", "Export data as CSV...".
  [[nodiscard]] QMenu* ContextMenu() const { return contextMenu_; }
  // The reference extents of the axes at 15 units a pixel.
  [[nodiscard]] QSize sizeHint() const override { return {625, 373}; }

  // The menu's commands. Save and export ask for a file through the save chooser, proposing the study's
  // folder and label; the image format follows the file's suffix (PNG when it has none of the three).
  void SaveImageAs();
  void CopyImage();
  void ExportCsv();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  // What the interaction asks of the window.
  bool AskYesNo(const std::string& text, const std::string& title) override;
  void SaveImage(const std::string& path) override;

  void DrawingChanged() override;
  void DrawingCleared() override;
  // Renders the drawing again if it changed or the window was resized.
  void Render();
  // Shows the interaction's read-out text and rubber band.
  void ShowInteraction();
  void PlaceReadoutBox();
  // The study's folder and label, the stem proposed for saved files.
  [[nodiscard]] QString ProposedStem() const;

  State& state_;
  PlotInteraction interaction_;
  QLineEdit* readoutBox_;
  QMenu* contextMenu_;
  Asker asker_;
  Notifier notifier_;
  SaveChooser saveChooser_;
  SavedListener savedListener_;
  QImage shown_;
  PlotLayout layout_;
  bool stale_ = true;
  // The release that ends a double click brings no click.
  bool releaseEndsDoubleClick_ = false;
  QPoint rightPressAt_;
  QString fileStem_;
};

}  // namespace pelarin
