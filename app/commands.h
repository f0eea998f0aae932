// The command dispatcher: every menu command and the form's Calculation button run through it.
#pragma once

#include <functional>
#include <string>

#include "model/state.h"
#include "ui/ui.h"

namespace pelarin {

// Runs command; an error it raises (input it cannot work with, calculation fault, file error, anything
// else) ends the command with a message box that names the command and says what went wrong, and the
// program goes on.
// Returns true when the command ran to its end.
bool RunCommand(Ui& ui, const std::string& commandName, const std::function<void()>& command);

// Runs the command of a menu entry (Open, Save, Delete or a study's entry) through the dispatcher; false
// when the entry has no command here or the command failed.
bool RunMenuCommand(State& state, Ui& ui, MenuItem item);

}  // namespace pelarin
