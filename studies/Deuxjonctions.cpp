// The stack with each pair of junctions lit and the third one dark: three curves.
#include "studies/partial_illumination.h"
#include "studies/studies.h"

namespace pelarin {

void StudyTwoJunctions(State& state, Ui& ui) {
  static const PartialIllumination kTwoJunctions = {
      false,
      {0, 128, 32768, 8388608},
      "_2 junctions",
      {"", "_J(V)_2Junctions_#2&#3.txt", "_J(V)_2Junctions_#1&#3.txt", "_J(V)_2Junctions_#1&#2.txt"},
      "                    J(V) 2 Junctions Illuminated [J (A/cm2) vs V (V)]",
      {"#.###E+##", "#.######E+##", "#.###E+##", "#.###E+##", "#.###E+##"}};
  RunPartialIllumination(state, ui, kTwoJunctions);
}

}  // namespace pelarin
