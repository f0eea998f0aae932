#include "app/commands.h"

#include <exception>
#include <new>

#include "model/calc_error.h"

namespace pelarin {

bool RunCommand(Ui& ui, const std::string& commandName, const std::function<void()>& command) {
  std::string text, title;
  try {
    command();
    return true;
  } catch (const CalcError& e) {
    title = "Calculation error";
    text = commandName + " stopped: " + e.what();
  } catch (const FileError& e) {
    title = "File error";
    text = commandName + " stopped: " + e.what();
  } catch (const std::bad_alloc&) {
    title = "Error";
    text = commandName + " stopped: not enough memory.";
  } catch (const std::exception& e) {
    title = "Error";
    text = commandName + " stopped: " + e.what();
  }
  ui.ShowMessage(text, title, MessageIcon::Critical);
  return false;
}

}  // namespace pelarin
