// The start of every study plot: a cleared, shown window with a white read-out box, solid fill, copy-pen
// drawing and the study's caption.
#pragma once

#include <string>

#include "studies/ui.h"

namespace pelarin {

inline PlotWindow& StartPlot(Ui& ui, PlotId id, const std::string& caption) {
  PlotWindow& window = ui.Plot(id);
  window.Clear();
  window.Show();
  window.SetReadoutBackground(PaletteColour(15));
  window.SetFillStyle(FillStyle::Solid);
  window.SetDrawMode(kCopyPen);
  window.SetCaption(caption);
  return window;
}

}  // namespace pelarin
