// The study parameter file (".plr"): 26 lines of label and value, saved from the parameter set and loaded
// back into the parameter form. The file's base name is the study's name.
#pragma once

#include <string>

#include "model/state.h"
#include "ui/ui.h"

namespace pelarin {

// The file dialogs' filter for parameter files.

// A path returned by a file dialog, split into its folder (with a final separator) and its file name.
struct ChosenPath {
  std::string folder;
  std::string fileName;
};
[[nodiscard]] ChosenPath SplitChosenPath(const std::string& path);

// The study name a file name stands for: its part before the first point, or all of it without a point.
[[nodiscard]] std::string StudyNameOf(const std::string& fileName);

// Asks for a file name, sets the study name from it, reads the form into the parameter set and writes the
// set as <studyName>.plr in the chosen folder. A failure to write is shown in a message box.
void SaveParameters(State& state, Ui& ui);

// Asks for a parameter file and, once it has been read whole, puts its values into the form's boxes, makes
// its base name the study name and reads the form into the parameter set. A file that cannot be read is
// shown in a message box and changes nothing.
void LoadParameters(State& state, Ui& ui);

}  // namespace pelarin
