// The stack with only some junctions lit: one curve per slot, each joined from a sweep towards reverse
// voltage and a sweep towards the fully lit stack's open-circuit voltage. The two- and one-junction studies
// differ only in the settings below.
#pragma once

#include <array>
#include <string>

#include "model/state.h"
#include "plot/surface.h"
#include "studies/ui.h"

namespace pelarin {

struct PartialIllumination {
  bool slotIsTheLitJunction;     // one-junction study: slot k lights junction k; two-junction: darkens it
  std::array<Colour, 4> colour;  // index 1..3
  std::string labelSuffix;
  std::array<std::string, 4> fileName;  // index 1..3
  std::string caption;
  std::array<const char*, 5> masks;  // total V, J, V1, V2, V3
};

void RunPartialIllumination(State& state, Ui& ui, const PartialIllumination& study);

}  // namespace pelarin
