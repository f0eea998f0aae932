#include "studies/exact_figures.h"

#include "model/calc_error.h"
#include "studies/study_output.h"  // StackCurveName

namespace pelarin {

std::vector<ExactCurve> ExactCurves(const ExactCurvesOfStudy& study, const Parameters& par) {
  std::vector<ExactCurve> curves;
  const auto stackCurve = [&](int k, std::array<bool, 3> lit) {
    const std::array<bool, 4> named{false, lit[0], lit[1], lit[2]};
    curves.push_back({StackCurveName(named), study.colours[static_cast<std::size_t>(k)],
                      exact::Stack(lit, study.coupled)});
  };
  switch (study.curves) {
    case LitCurves::None:
      break;
    case LitCurves::EachJunctionAlone:
      for (int k = 1; k <= 3; ++k)
        if (Photocurrent(par, k) != 0)
          curves.push_back({"#" + std::to_string(k) + " alone", study.colours[static_cast<std::size_t>(k)],
                            exact::JunctionAlone(k)});
      break;
    case LitCurves::AllLit:
      stackCurve(1, {true, true, true});
      break;
    case LitCurves::EachPairLit:
      for (int k = 1; k <= 3; ++k) stackCurve(k, {k != 1, k != 2, k != 3});
      break;
    case LitCurves::EachOneLit:
      for (int k = 1; k <= 3; ++k)
        if (Photocurrent(par, k) != 0) stackCurve(k, {k == 1, k == 2, k == 3});
      break;
  }
  return curves;
}

std::vector<ExactCurveFigures> ExactFigures(const ExactCurvesOfStudy& study, const State& state) {
  std::vector<ExactCurveFigures> result;
  for (ExactCurve& curve : ExactCurves(study, state.par)) {
    ExactCurveFigures figures{.curve = std::move(curve), .figures = std::nullopt, .problem = {}};
    try {
      const exact::CircuitSolver solver(state.par, state.k.Vt, figures.curve.circuit);
      figures.figures = solver.Figures(state.figures.LightPower());
    } catch (const CalcError& e) {
      figures.problem = std::string("Calculation error: ") + e.what();
    }
    result.push_back(std::move(figures));
  }
  return result;
}

}  // namespace pelarin
