#include "app/commands.h"

#include <exception>
#include <new>
#include <string>
#include <string_view>
#include <utility>

#include "app/vector_state.h"
#include "model/calc_error.h"
#include "studies/study_registry.h"
#include "workspace/delete_study.h"
#include "workspace/parameter_file.h"

namespace pelarin {

namespace {

// A calculation error in the user's words: the search that raised it named by what it solves, not by the
// routine ("CalcV1Net: ..." is "the voltage of junction 1 inside the Rl/Rg network: ...").
std::string InUsersWords(const std::string& message) {
  static const std::pair<const char*, const char*> kSearches[] = {
      {"CalcV1Net: ", "the search for the voltage of junction 1 inside the Rl/Rg network: "},
      {"CalcV2Net: ", "the search for the voltage of junction 2 inside the Rl/Rg network: "},
      {"CalcCoupled: ", "the sweep of the stack inside the Rl/Rg network: "},
      {"CalcV: ", "the search for a junction's voltage at its current: "},
      {"CalcJ: ", "the search for a junction's current at its voltage: "},
  };
  for (const auto& [routine, words] : kSearches)
    if (message.starts_with(routine)) return words + message.substr(std::string_view(routine).size());
  return message;
}

}  // namespace

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
    text = commandName + " stopped: " + InUsersWords(e.what());
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
