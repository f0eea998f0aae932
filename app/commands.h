// The command dispatcher: every menu or button command runs through it.
#pragma once

#include <functional>
#include <string>

#include "studies/ui.h"

namespace pelarin {

// Runs command; an error it raises (calculation fault, file error, anything else) ends the command with a
// message box that names the command and says what went wrong, and the program goes on.
// Returns true when the command ran to its end.
bool RunCommand(Ui& ui, const std::string& commandName, const std::function<void()>& command);

}  // namespace pelarin
