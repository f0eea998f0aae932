#include <string>

#include "workspace/read_parameters.h"

namespace pelarin {
namespace {

constexpr const char* kUnavailable = "******";

}  // namespace

void AdaptMenus(const Parameters& p, Menus& menus) {
  using M = MenuItem;
  const bool allLit = p.Jsc1 != 0 && p.Jsc2 != 0 && p.Jsc3 != 0;
  // The two-junction submenu needs every junction lit; the EQE submenu of pairs becomes the one-junction
  // menu when a junction is dark.
  menus.SetEnabled(M::TwoJunctions, allLit);
  menus.SetCaption(M::TwoJunctions, allLit ? "&2 junctions" : kUnavailable);
  menus.SetCaption(M::AllJunctions, "&All junctions");
  menus.SetCaption(M::EqeAllJunctions, "&All junctions");
  menus.SetCaption(M::EqeTwoJunctions, allLit ? "&2 junctions" : "&1 junction");

  for (const StudyMenuEntry& entry : menus.StudyEntries()) {
    const Availability& rule = entry.availability;
    const bool offered = IsOffered(rule, p);
    menus.SetEnabled(entry.item, offered);
    // An EQE pair entry is named after the junctions it lights, or marked unavailable.
    if (rule.junction != 0)
      menus.SetCaption(entry.item, std::string(!offered ? kUnavailable
                                               : allLit ? rule.allLitCaption
                                                        : rule.partialCaption));
  }
}

}  // namespace pelarin
