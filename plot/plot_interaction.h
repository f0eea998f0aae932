// What the plot windows do with the mouse and the keyboard, without a window: the read-out box, the rubber
// band with its resistance (linlin) or ideality-factor (linlog) measurement, which stays shown after the
// release until the next press or the next plot, and the double click that saves the window's image. A window
// feeds it its events in user coordinates and shows the read-out text and the rubber band it keeps.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <utility>

#include "model/state.h"

namespace pelarin {

enum class PlotKind { linlin, linlog };

// The name a plot is saved under: the study label with "_dark.bmp" for the lin-log window or dark curves,
// else "_ill.bmp".
[[nodiscard]] std::string PlotImageName(const std::string& studyLabel, PlotKind kind, double darkFlag);

// Buttons as the events deliver them: 1 left, 2 right; several held add up.
inline constexpr int kLeftButton = 1;
inline constexpr int kRightButton = 2;

// The rubber band line: end points in user coordinates, hidden unless dragging.
struct RubberBand {
  bool visible = false;
  double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
};

// What the handlers ask of the window around them.
class PlotWindowRequests {
 public:
  virtual ~PlotWindowRequests() = default;
  // Modal Yes/No question; true for Yes.
  [[nodiscard]] virtual bool AskYesNo(const std::string& text, const std::string& title) = 0;
  // Saves the window's image as a bitmap file at path, replacing any file there.
  virtual void SaveImage(const std::string& path) = 0;
};

class PlotInteraction {
 public:
  PlotInteraction(PlotKind kind, State& state, PlotWindowRequests& requests);

  // Mouse events with the button pressed or released, or the buttons held while moving, at user
  // coordinates x, y (single precision, as the window delivers them).
  void MouseDown(int button, float x, float y);
  void MouseMove(int buttons, float x, float y);
  void MouseUp(int button, float x, float y);
  // A click empties the read-out box, but leaves a measurement shown.
  void Click();
  void DblClick();
  // A new plot: the read-out box empties, the rubber band hides, a measurement goes.
  void Reset();
  // For a plot that is not a J(V) curve (a scan's): no rubber band and no slope measurement, only the
  // read-out; and the double click offers imagePath (when not empty) instead of the study's image name.
  void SetMeasuring(bool measuring) { measuring_ = measuring; }
  void SetImagePath(std::string imagePath) { imagePath_ = std::move(imagePath); }
  // A value the read-out adds after x and y, as "<label>= <value>", where valueAt gives one (a colour map's
  // figure under the cursor); an empty function adds nothing.
  using ValueAt = std::function<std::optional<double>(double x, double y)>;
  void SetReadoutValue(std::string label, ValueAt valueAt) {
    valueLabel_ = std::move(label);
    valueAt_ = std::move(valueAt);
  }

  // The text of the read-out box.
  [[nodiscard]] const std::string& Readout() const { return readout_; }
  [[nodiscard]] const RubberBand& RubberBandLine() const { return rubberBand_; }
  [[nodiscard]] PlotKind Kind() const { return kind_; }
  // The file name a double click offers: studyLabel with "_ill.bmp" or "_dark.bmp".
  [[nodiscard]] std::string ImageName() const;

 private:
  [[nodiscard]] std::string ReadoutText(float x, float y) const;
  // The slope measurement between the pressed point and (x, y): "R = ... Ohm.cm2" or "m = ...".
  [[nodiscard]] std::string Measurement(float x, float y) const;
  [[nodiscard]] bool HeightDiffers(float y) const;
  void ShowMeasurement(float x, float y);

  PlotKind kind_;
  State& state_;
  PlotWindowRequests& requests_;
  std::string readout_;
  bool measurementShown_ = false;
  bool measuring_ = true;
  std::string imagePath_;
  std::string valueLabel_;
  ValueAt valueAt_;
  RubberBand rubberBand_;
};

}  // namespace pelarin
