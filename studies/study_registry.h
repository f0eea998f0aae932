// The one table of studies. Each row feeds the main window's menus, the menu adaptation, the command
// dispatcher, and the batch tool's study list, refusal rule and help. A new study is a new source file
// and a row here.
#pragma once

#include <span>
#include <string_view>
#include <vector>

#include "model/state.h"
#include "studies/exact_figures.h"
#include "ui/menu_items.h"
#include "ui/ui.h"

namespace pelarin {

struct StudyEntry {
  std::string_view caption;      // the menu entry's caption
  MenuItem parent;               // the menu or submenu that holds it
  std::string_view commandName;  // names the command in error messages
  std::string_view batchName;    // the batch tool's name for it
  std::string_view summary;      // the batch tool's one-line description
  Availability availability;     // when the entry is offered
  void (*run)(State&, Ui&);
  ExactCurvesOfStudy exact;  // its lit J(V) curves for the exact figures and the scans
};

// Every study, in menu order.
[[nodiscard]] std::span<const StudyEntry> Studies();

// The study with this batch name, or nullptr.
[[nodiscard]] const StudyEntry* FindStudy(std::string_view batchName);

// The menu entry of a study of the table.
[[nodiscard]] MenuItem MenuItemOf(const StudyEntry& study);

// The studies' entries as the menus hold them.
[[nodiscard]] std::vector<StudyMenuEntry> StudyMenuEntries();

}  // namespace pelarin
