// The shell's procedures that work on the parameter form and the menus through the UI seam.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/parameter_table.h"
#include "model/state.h"
#include "ui/ui.h"

namespace pelarin {

// What the text of one box gives under its row's rule.
struct BoxReading {
  double value = 0;       // the value used, when the text can be used
  std::string shownText;  // what the box shows afterwards: commas made points, corrections written
  std::string problem;    // why the text cannot be used ("\"abc\" is not a number"); empty when it can
};

// Reads one box: every comma is a decimal point; the text must be one number as a whole. An empty series
// or parallel resistance, or a zero one, becomes 0.001 and a coupling resistance is clamped, both shown in
// the box; any other empty box, a negative resistance, photocurrent or saturation current, an ideality
// factor not above 0 and a number beyond the largest double are problems.
[[nodiscard]] BoxReading ReadBox(const ParameterRow& row, std::string_view text);

// The incident power the efficiencies refer to (mW/cm2), read as every face reads it: commas are decimal
// points, the text must be one number as a whole, finite and above 0; nothing otherwise.
[[nodiscard]] std::optional<double> ReadIncidentPower(std::string_view text);

// A box that cannot be used: its index and the sentence that says why ("Jsc1: \"abc\" is not a number.").
struct BadBox {
  int index = 0;
  std::string sentence;
};

// Reads every box (the 26 and the conditions) into the form's values, writes commas made points and
// corrected values back into their boxes, marks each box that cannot be used (and unmarks the others), puts
// the cell at its conditions (UseCell; conditions that leave no cell mark the box that does), then adapts
// the menus. A bad box leaves its value as it was. Returns the bad boxes, in form order.
[[nodiscard]] std::vector<BadBox> ReadParameterForm(State& state, Ui& ui);

// ReadParameterForm for a command that needs a whole cell: throws InputError naming every bad box.
void ReadParameters(State& state, Ui& ui);

// Adapts captions and enabled states of the study menus to which photocurrents are zero.
void AdaptMenus(const Parameters& par, Menus& menus);

// Sets the start-up constants and flags of the shared state (the layout part of start-up is the window's).
void ResetStartUpConstants(State& state);

}  // namespace pelarin
