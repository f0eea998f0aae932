// The studies of the stack inside the coupling network (Rl1, Rl2, Rg1, Rg2, Rg3): all junctions lit and
// dark, one junction lit, two junctions lit. Each computes its curves into plain data, then draws them and
// offers to save its tables.
#pragma once

#include <array>
#include <string>

#include "model/state.h"
#include "studies/result_table.h"
#include "studies/stack_curve.h"
#include "ui/ui.h"

namespace pelarin {

// ---- Shared by the three studies ----

// Currents through the coupling resistances at one point of the stack (V the total voltage).
struct LeakCurrents {
  double Jrg1, Jrg2, Jrg3, Jrl2, Jrl1;
};
[[nodiscard]] LeakCurrents LeaksAt(const Parameters& p, double V, double V2, double V3);

// The second line of every table: the five coupling resistances, then "(Ohm.cm2)".
[[nodiscard]] std::string CouplingResistanceLine(const Parameters& p);

// Whether all three junctions are lit; if not, tells the user why the study cannot run.
[[nodiscard]] bool AllJunctionsLitOrRefuse(const Parameters& p, Ui& ui);

// ---- All junctions, lit and dark ----

struct StackCurvesWithRl {
  StackCurve lit;   // from near open circuit down past -0.5 V
  StackCurve dark;  // rising voltage: the reverse branch from its last point, then the forward branch as |J|
  int nRev = 0;     // the first nRev points of dark are the reverse branch
};

// The lit sweep's start current density: 1e-8 A/cm2, or a hundredth of a photocurrent below it.
[[nodiscard]] double LitStartCurrentWithRl(const Parameters& p);

// The lit, dark reverse and dark forward sweeps with the parameters already read.
[[nodiscard]] StackCurvesWithRl ComputeStackWithRl(State& state);

// The lit table (ten columns: the curve and the five leak currents) and the dark table (five columns).
[[nodiscard]] ResultTable LitTableWithRl(const Parameters& p, const StackCurve& lit);
[[nodiscard]] ResultTable DarkTableWithRl(const Parameters& p, const StackCurve& dark);

// "With Rl + Rg" under "&All junctions".
void StudyWithRl(State& state, Ui& ui);

// ---- One or two junctions lit ----

// Curves 1..3, each joined from a sweep from +J0 towards -0.5 V (kept in reverse, so the curve starts at its
// most negative voltage) and a sweep from -J0 towards stackVoc without its last point.
struct PartialCurvesWithRl {
  std::array<StackCurve, 4> curve;
  std::array<double, 4> startCurrent{};  // J0 of curve k
};

// The largest positive parallel resistance; throws CalcError when none is positive.
[[nodiscard]] double LargestParallelResistance(const Parameters& p);

// Curve k with only junction k lit, once stackVoc is known; maxRp sets the start currents.
[[nodiscard]] PartialCurvesWithRl ComputeOneLitWithRl(State& state, double maxRp);

// Curve k with junction k dark and the other two lit, once stackVoc is known.
[[nodiscard]] PartialCurvesWithRl ComputeTwoLitWithRl(State& state);

// The table of one curve: eight columns, the curve and the currents through Rg1, Rg2 and Rg3.
[[nodiscard]] ResultTable PartialTableWithRl(const Parameters& p, const StackCurve& curve);

// "With Rl + Rg" under "&1 junction" and under "&2 junctions".
void StudyOneWithRl(State& state, Ui& ui);
void StudyTwoWithRl(State& state, Ui& ui);

}  // namespace pelarin
