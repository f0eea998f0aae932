// The main window's menu bar: its fixed entries and submenus, the entries of the studies (numbered from
// the study registry), and when a study's entry is offered.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "model/state.h"

namespace pelarin {

// Fixed entries and submenus. A study's entry is StudyMenuItem(n), n its row in the study registry.
enum class MenuItem : int {
  Files,
  Open,
  Save,
  Delete,
  Quit,
  Calculations,
  AllJunctions,
  TwoJunctions,
  OneJunction,
  Eqe,
  EqeAllJunctions,
  EqeTwoJunctions,
  Question,
  Help,
  About,
  Scan,  // the scan dialog, in the Calculations menu after the studies
  Fit,   // the fit dialog, in the Calculations menu after the scan
  Live,  // the switch of the live curves, last in the Calculations menu
  FirstStudy = 100,
};

[[nodiscard]] constexpr MenuItem StudyMenuItem(std::size_t row) {
  return static_cast<MenuItem>(static_cast<int>(MenuItem::FirstStudy) + static_cast<int>(row));
}
[[nodiscard]] constexpr bool IsStudyItem(MenuItem item) { return item >= MenuItem::FirstStudy; }

struct FixedMenuEntry {
  MenuItem item;
  MenuItem parent;  // the entry itself for a top-level menu
  std::string_view caption;
};

// The fixed entries and submenus in the order the menu bar shows them; the studies' entries go into
// their submenus after these.
inline constexpr FixedMenuEntry kFixedMenuEntries[] = {
    {MenuItem::Files, MenuItem::Files, "&Files"},
    {MenuItem::Open, MenuItem::Files, "&Open"},
    {MenuItem::Save, MenuItem::Files, "&Save"},
    {MenuItem::Delete, MenuItem::Files, "&Delete"},
    {MenuItem::Quit, MenuItem::Files, "&Quit"},
    {MenuItem::Calculations, MenuItem::Calculations, "&Calculations"},
    {MenuItem::AllJunctions, MenuItem::Calculations, "&All junctions"},
    {MenuItem::TwoJunctions, MenuItem::Calculations, "&2 junctions"},
    {MenuItem::OneJunction, MenuItem::Calculations, "&1 junction"},
    {MenuItem::Eqe, MenuItem::Eqe, "EQE"},
    {MenuItem::EqeAllJunctions, MenuItem::Eqe, "All junctions"},
    {MenuItem::EqeTwoJunctions, MenuItem::Eqe, "2 junctions"},
    {MenuItem::Question, MenuItem::Question, "?"},
    {MenuItem::Help, MenuItem::Question, "Help"},
    {MenuItem::About, MenuItem::Question, "About"},
};

// The caption of a fixed entry or submenu as created; empty for a study's entry.
[[nodiscard]] constexpr std::string_view FixedCaption(MenuItem item) {
  for (const FixedMenuEntry& entry : kFixedMenuEntries)
    if (entry.item == item) return entry.caption;
  return {};
}

// When a study's entry is offered, by which junctions have a photocurrent.
struct Availability {
  // Offered only when all three photocurrents are nonzero.
  bool needsAllLit = false;
  // For the EQE pair entries: the junction (1..3) whose photocurrent must be nonzero; the entry is then
  // captioned allLitCaption with all three lit and partialCaption otherwise. 0 for other entries.
  int junction = 0;
  std::string_view allLitCaption{};
  std::string_view partialCaption{};
};

// Whether a study with this availability is offered for these parameters.
[[nodiscard]] inline bool IsOffered(const Availability& availability, const Parameters& p) {
  const bool allLit = p.Jsc1 != 0 && p.Jsc2 != 0 && p.Jsc3 != 0;
  if (availability.junction != 0) return Photocurrent(p, availability.junction) != 0;
  return !availability.needsAllLit || allLit;
}

// What a study that is not offered needs, as its refusals say it: "all three junctions illuminated (Jsc1,
// Jsc2 and Jsc3 nonzero)", or "junction 2 illuminated (Jsc2 nonzero)" for an entry tied to one junction.
[[nodiscard]] inline std::string NeededIllumination(const Availability& availability) {
  const int junction = availability.junction;
  if (junction == 0) return "all three junctions illuminated (Jsc1, Jsc2 and Jsc3 nonzero)";
  const std::string k = std::to_string(junction);
  return "junction " + k + " illuminated (Jsc" + k + " nonzero)";
}

// The refusal of a study that is not offered for the parameters, without its final stop.
[[nodiscard]] inline std::string NotOfferedText(std::string_view batchName,
                                                const Availability& availability) {
  return "the study \"" + std::string(batchName) + "\" needs " + NeededIllumination(availability) +
         "; the window program does not offer it for these parameters";
}

// A study's entry as the menus know it.
struct StudyMenuEntry {
  MenuItem item;
  MenuItem parent;
  std::string_view caption;
  Availability availability;
};

}  // namespace pelarin
