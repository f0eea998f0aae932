// The study parameter file (".plr"): 26 lines of label and value, then one line for each operating condition
// that is not the default, saved from the form's values and loaded back into the parameter form. The file's
// base name is the study's name.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "model/parameter_table.h"
#include "model/state.h"
#include "ui/ui.h"

namespace pelarin {

// A path returned by a file dialog, split into its folder (with a final separator) and its file name.
struct ChosenPath {
  std::string folder;
  std::string fileName;
};
[[nodiscard]] ChosenPath SplitChosenPath(const std::string& path);

// The study name a file name stands for: its part before the first point, or all of it without a point.
[[nodiscard]] std::string StudyNameOf(const std::string& fileName);

// The text of a parameter file: for each parameter, its label, "= " and its value with the fewest digits
// that read back to it (the mask's text wherever that does); then each condition that is not the default,
// its label and its shortest text ("T= 80"); every line ending in CR LF. A cell at the reference conditions
// is the 26 lines alone.
[[nodiscard]] std::string ParameterFileText(const Parameters& par);

// What a parameter file's text holds: the value text of each line (commas made points, blanks around it
// removed), or the first line that is not a parameter line and why.
struct ParameterFileReading {
  std::array<std::string, kParameterCount> values;
  int badLine = 0;      // 1-based; 0 when the text is a parameter file
  std::string problem;  // "line 3 has no \"=\"", when badLine is not 0
};

// Checks and reads a parameter file's text: 26 lines at least (CR LF, LF or CR ends a line), each
// "label= value" with the parameter's own label in order (blanks and case aside) and a value that is one
// number; then condition lines ("T= 80"), each condition at most once, among lines without "=" (notes,
// ignored). A later line with "=" that is no condition's, or holds no number, is refused. A condition
// without its line reads as its default.
[[nodiscard]] ParameterFileReading ReadParameterText(std::string_view text);

// Asks for a file name, sets the study name from it, reads the form into the parameter set and writes the
// set as <studyName>.plr in the chosen folder. A failure to write is shown in a message box.
void SaveParameters(State& state, Ui& ui);

// Asks for a parameter file and, once it has been read whole and found to be one, puts its values into the
// form's boxes, makes its base name the study name and reads the form into the parameter set (marking the
// boxes a cell cannot have). A file that cannot be read, or is no parameter file, is refused in a message
// box that names it and its first bad line, and changes nothing.
void LoadParameters(State& state, Ui& ui);

}  // namespace pelarin
