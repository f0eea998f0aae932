// What the three studies with the coupling network share: the leak currents of a point, the resistance line
// of their tables, and their refusal when a junction is dark.
#include <string>

#include "model/number_text.h"
#include "studies/coupled_studies.h"
#include "ui/menu_items.h"

namespace pelarin {

LeakCurrents LeaksAt(const Parameters& p, double V, double V2, double V3) {
  return {.Jrg1 = V / p.Rg1,
          .Jrg2 = (V2 + V3) / p.Rg2,
          .Jrg3 = V3 / p.Rg3,
          .Jrl2 = (V - V3) / p.Rl2,
          .Jrl1 = (V - V3 - V2) / p.Rl1};
}

std::string CouplingResistanceLine(const Parameters& p) {
  return Format(p.Rl1, "Rl1 = #.###E+##") + '\t' + Format(p.Rl2, "Rl2 = #.###E+##") + '\t' +
         Format(p.Rg1, "Rg1 = #.###E+##") + '\t' + Format(p.Rg2, "Rg2 = #.###E+##") + '\t' +
         Format(p.Rg3, "Rg3 = #.###E+##") + '\t' + "(Ohm.cm2)";
}

bool AllJunctionsLitOrRefuse(const Parameters& p, Ui& ui) {
  constexpr Availability kAllLit{.needsAllLit = true};
  if (IsOffered(kAllLit, p)) return true;
  // The same rule that disables the menu entries; the lit start current would otherwise be 0.
  ui.ShowMessage("This study needs " + NeededIllumination(kAllLit) + ".", "With Rl + Rg",
                 MessageIcon::Exclamation);
  return false;
}

}  // namespace pelarin
