// Deletion of a whole study: its parameter file and its study folder with the result files in it.
#pragma once

#include "model/state.h"
#include "ui/ui.h"

namespace pelarin {

// Asks for a study's parameter file and, once the user confirms, removes that file, the files of the study's
// own folder and the folder, then names the study "Test" again. What it leaves (read-only files,
// sub-folders, a study folder that is a link) is listed in a message box, and the study keeps its name.
void DeleteStudy(State& state, Ui& ui);

}  // namespace pelarin
