// The command dispatcher and the table of menu commands that run shell procedures and studies.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "model/state.h"
#include "studies/ui.h"

namespace pelarin {

// Runs command; an error it raises (calculation fault, file error, anything else) ends the command with a
// message box that names the command and says what went wrong, and the program goes on.
// Returns true when the command ran to its end.
bool RunCommand(Ui& ui, const std::string& commandName, const std::function<void()>& command);

// A menu entry's command: what the entry runs, by the entry's control.
struct MenuCommand {
  MenuItem item;
  std::string name;  // for error messages
  std::function<void(State&, Ui&)> run;
};

// The commands of every menu entry that runs a shell procedure or a study (Help, About and Quit belong to
// the window program).
[[nodiscard]] const std::vector<MenuCommand>& MenuCommands();

// Runs the command of a menu entry through the dispatcher; false when there is none or it failed.
bool RunMenuCommand(State& state, Ui& ui, MenuItem item);

// The command of the parameter form's "Calculation" button.
bool RunCalculationButton(State& state, Ui& ui);

}  // namespace pelarin
