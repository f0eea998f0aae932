#include "app/commands.h"

#include <exception>
#include <new>

#include "app/delete_study.h"
#include "app/parameter_file.h"
#include "model/calc_error.h"
#include "studies/studies.h"

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

namespace pelarin {
namespace {

// An entry whose study is still being built says so instead of doing nothing.
std::function<void(State&, Ui&)> NotAvailableYet(const std::string& what) {
  return [what](State&, Ui& ui) {
    ui.ShowMessage(what + " is not available yet.", "Pelarin", MessageIcon::Information);
  };
}

}  // namespace

const std::vector<MenuCommand>& MenuCommands() {
  using M = MenuItem;
  static const std::vector<MenuCommand> commands = {
      {M::Charger, "Open", LoadParameters},
      {M::Sauvegarde, "Save", SaveParameters},
      {M::suppression, "Delete", DeleteStudy},
      {M::Eachjunction, "Independent junctions", IndependentStudy},
      {M::SansRf, "All junctions without Rl", StudyAllJunctions},
      {M::AvecRl, "All junctions with Rl + Rg", NotAvailableYet("The three-junction study with Rl and Rg")},
      {M::TwojunctionsWoRf, "2 junctions without Rl", StudyTwoJunctions},
      {M::TwojunctionWRf, "2 junctions with Rl + Rg",
       NotAvailableYet("The two-junction study with Rl and Rg")},
      {M::OnejonctionWoRf, "1 junction without Rl", StudyOneJunction},
      {M::OnejunctionWRf, "1 junction with Rl + Rg",
       NotAvailableYet("The one-junction study with Rl and Rg")},
      {M::test_EQE_3junct_Ill, "EQE illuminated", NotAvailableYet("The EQE study")},
      {M::test_EQE_3junct_Dark, "EQE dark", NotAvailableYet("The EQE study")},
      {M::test_EQE_2junct_1and2_Ill, "EQE 1 and 2 illuminated", NotAvailableYet("The EQE study")},
      {M::test_EQE_2junct_1and3_Ill, "EQE 1 and 3 illuminated", NotAvailableYet("The EQE study")},
      {M::test_EQE_2junct_2and3_Ill, "EQE 2 and 3 illuminated", NotAvailableYet("The EQE study")},
  };
  return commands;
}

bool RunMenuCommand(State& state, Ui& ui, MenuItem item) {
  for (const MenuCommand& command : MenuCommands())
    if (command.item == item) return RunCommand(ui, command.name, [&] { command.run(state, ui); });
  return false;
}

bool RunCalculationButton(State& state, Ui& ui) { return RunMenuCommand(state, ui, MenuItem::Eachjunction); }

}  // namespace pelarin
