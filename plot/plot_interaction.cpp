#include "plot/plot_interaction.h"

#include <cmath>

#include "model/number_text.h"

namespace pelarin {

PlotInteraction::PlotInteraction(PlotKind kind, State& state, PlotWindowRequests& requests)
    : kind_(kind), state_(state), requests_(requests) {}

std::string PlotInteraction::ReadoutText(float x, float y) const {
  // On linlog the height is the logarithm of the current density.
  const double shownY = kind_ == PlotKind::linlog ? std::exp(static_cast<double>(y)) : y;
  std::string text = "x= " + Format(x, "#.##E+##") + "   y= " + Format(shownY, "#.##E+##");
  if (valueAt_) {
    if (const auto value = valueAt_(x, y)) text += "   " + valueLabel_ + "= " + Format(*value, "#.####E+##");
  }
  return text;
}

bool PlotInteraction::HeightDiffers(float y) const { return static_cast<float>(state_.plot.dragY0) != y; }

std::string PlotInteraction::Measurement(float x, float y) const {
  const double slope = (x - state_.plot.dragX0) / (y - state_.plot.dragY0);
  // On linlin the slope dV/dJ of the curve, whose negative is a resistance in Ohm.cm2 (V over A/cm2); on
  // linlog dV / d ln J, which divided by Vt is the ideality factor.
  if (kind_ == PlotKind::linlin) return "R = " + Format(-slope, "#.###E+##") + " Ohm.cm2";
  return "m = " + Format(slope / state_.k.Vt, "##.##");
}

void PlotInteraction::ShowMeasurement(float x, float y) {
  readout_ = Measurement(x, y);
  measurementShown_ = true;
}

void PlotInteraction::MouseDown(int button, float x, float y) {
  readout_ = button == kRightButton ? ReadoutText(x, y) : std::string();
  measurementShown_ = false;
  if (button == kLeftButton) {
    rubberBand_.x1 = x;
    rubberBand_.y1 = y;
    state_.plot.dragX0 = x;
    state_.plot.dragY0 = y;
  }
}

void PlotInteraction::MouseMove(int buttons, float x, float y) {
  const bool left = (buttons & kLeftButton) != 0;
  const bool right = (buttons & kRightButton) != 0;
  const bool readout = kind_ == PlotKind::linlin ? right : left || right;
  if (readout) {
    readout_ = ReadoutText(x, y);
    measurementShown_ = false;
  } else if (!measurementShown_) {
    readout_.clear();
  }
  if (left && measuring_ && state_.flags.dragLineOn == 1) {
    rubberBand_.visible = true;
    rubberBand_.x2 = x;
    rubberBand_.y2 = y;
    // With equal heights the box keeps what it shows.
    if (HeightDiffers(y)) ShowMeasurement(x, y);
  }
}

void PlotInteraction::MouseUp(int button, float x, float y) {
  rubberBand_.visible = false;
  if (button != kLeftButton) return;
  // linlin measures where the rubber band was drawn; linlog on every left release.
  const bool measures = measuring_ && (kind_ == PlotKind::linlog || state_.flags.dragLineOn == 1);
  if (measures && HeightDiffers(y)) ShowMeasurement(x, y);
}

void PlotInteraction::Click() {
  if (!measurementShown_) readout_.clear();
}

void PlotInteraction::Reset() {
  readout_.clear();
  measurementShown_ = false;
  rubberBand_.visible = false;
}

std::string PlotImageName(const std::string& studyLabel, PlotKind kind, double darkFlag) {
  const bool dark = kind == PlotKind::linlog || darkFlag != 0;
  return studyLabel + (dark ? "_dark.bmp" : "_ill.bmp");
}

std::string PlotInteraction::ImageName() const {
  return PlotImageName(state_.id.studyLabel, kind_, state_.flags.darkFlag);
}

void PlotInteraction::DblClick() {
  const std::string name =
      imagePath_.empty() ? ImageName() : imagePath_.substr(imagePath_.find_last_of('/') + 1);
  if (!requests_.AskYesNo("Do you want to save the image\runder : " + name + " ?", "SAVE IMAGE")) return;
  readout_.clear();
  measurementShown_ = false;
  requests_.SaveImage(imagePath_.empty() ? state_.id.studyDir + name : imagePath_);
}

}  // namespace pelarin
