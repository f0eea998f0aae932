// The shell's procedures that work on the parameter form and the menus through the UI seam.
#pragma once

#include "model/state.h"
#include "ui/ui.h"

namespace pelarin {

// Reads and corrects the 26 boxes of the parameter form into the parameter set, writes corrected values
// back into their boxes, then adapts the menus to the junctions that have a photocurrent.
void ReadParameters(State& state, Ui& ui);

// Adapts captions and enabled states of the study menus to which photocurrents are zero.
void AdaptMenus(const Parameters& par, Menus& menus);

// Sets the start-up constants and flags of the shared state (the layout part of start-up is the window's).
void ResetStartUpConstants(State& state);

}  // namespace pelarin
