#include "app/commands.h"

#include <exception>
#include <new>

#include "app/vector_state.h"
#include "model/calc_error.h"
#include "studies/study_registry.h"
#include "workspace/delete_study.h"
#include "workspace/parameter_file.h"

namespace pelarin {

bool RunCommand(Ui& ui, const std::string& commandName, const std::function<void()>& command) {
  std::string text, title;
  CleanVectorState();
  MessageIcon icon = MessageIcon::Critical;
  try {
    command();
    return true;
  } catch (const InputError& e) {
    title = "Input error";
    text = commandName + " did not start: " + e.what();
    icon = MessageIcon::Exclamation;
  } catch (const StoppedError&) {
    // Escape or the Stop button: the study ends before it writes, as a failed study does.
    title = "   WHOOOP !";
    text = "Calculation stopped by user";
    icon = MessageIcon::Exclamation;
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
  ui.ShowMessage(text, title, icon);
  return false;
}

bool RunMenuCommand(State& state, Ui& ui, MenuItem item) {
  const auto run = [&](const char* name, void (*command)(State&, Ui&)) {
    return RunCommand(ui, name, [&] { command(state, ui); });
  };
  switch (item) {
    case MenuItem::Open:
      return run("Open", LoadParameters);
    case MenuItem::Save:
      return run("Save", SaveParameters);
    case MenuItem::Delete:
      return run("Delete", DeleteStudy);
    default:
      break;
  }
  for (const StudyEntry& study : Studies())
    if (MenuItemOf(study) == item)
      return RunCommand(ui, std::string(study.commandName), [&] { study.run(state, ui); });
  return false;
}

}  // namespace pelarin
