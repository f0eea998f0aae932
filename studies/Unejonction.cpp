// The stack with a single junction lit and the other two dark: one curve per lit junction.
#include "studies/partial_illumination.h"
#include "studies/studies.h"

namespace pelarin {

void StudyOneJunction(State& state, Ui& ui) {
  static const PartialIllumination kOneJunction = {
      true,
      {0, 255, 65280, 16711680},
      "_1 junction",
      {"", "_J(V)_1Junction_#1.txt", "_J(V)_1Junction_#2.txt", "_J(V)_1Junction_#3.txt"},
      "                    J(V) 1 Junction Illuminated [J (A/cm2) vs V (V)]",
      {"#.###E+##", "#.#####E+##", "#.####E+##", "#.###E+##", "#.###E+##"}};
  RunPartialIllumination(state, ui, kOneJunction);
}

}  // namespace pelarin
