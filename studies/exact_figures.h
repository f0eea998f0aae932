// The lit J(V) curves a study draws, solved exactly from the circuit rather than swept: which circuits
// they are, with the names and colours the study gives them, and their figures of merit.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/exact_circuit.h"
#include "model/figures_of_merit.h"
#include "model/state.h"
#include "plot/surface.h"  // Colour

namespace pelarin {

// Which lit curves a study draws: none (the EQE studies draw contributions), each lit junction alone, the
// stack with all junctions lit, the stack with each pair lit, or with each lit junction alone.
enum class LitCurves { None, EachJunctionAlone, AllLit, EachPairLit, EachOneLit };

// A study's column of the registry for the exact figures.
struct ExactCurvesOfStudy {
  LitCurves curves = LitCurves::None;
  bool coupled = false;             // inside the Rl/Rg network
  std::string_view labelSuffix;     // the study's label: the study name followed by this
  std::array<Colour, 4> colours{};  // curve k's colour (1..3; the single stack curve at 1)
};

struct ExactCurve {
  std::string name;  // as the study's legend names it
  Colour colour = 0;
  exact::Circuit circuit;
};

// The curves the study draws for these parameters, in the study's order.
[[nodiscard]] std::vector<ExactCurve> ExactCurves(const ExactCurvesOfStudy& study, const Parameters& par);

// One curve's figures, or why there are none (a calculation error's sentence).
struct ExactCurveFigures {
  ExactCurve curve;
  std::optional<FiguresOfMerit> figures;
  std::string problem;
};

// The figures of every curve the study draws, with the state's Vt and incident power.
[[nodiscard]] std::vector<ExactCurveFigures> ExactFigures(const ExactCurvesOfStudy& study,
                                                          const State& state);

}  // namespace pelarin
