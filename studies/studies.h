// The study commands: each reads the parameters, runs its sweeps, draws, and offers to save its tables.
#pragma once

#include "model/state.h"
#include "studies/stack_curve.h"
#include "ui/ui.h"

namespace pelarin {

// Each junction alone, illuminated and dark (the form's Calculation button and "&Independent").
void IndependentStudy(State& state, Ui& ui);

// The series stack lit and dark, without coupling resistances. With subStudyFlag = 1 it only runs the lit
// sweep, leaves the stack's open-circuit voltage in stackVoc and clears the flag.
void StudyAllJunctions(State& state, Ui& ui);

// The junction voltages that the three-junction stack's sweeps start from, and no coupling network.
void SetStackStart(State& state);

// The lit sweep of the three-junction stack with the parameters already read: sets its sweep inputs, runs
// it, leaves the open-circuit voltage in stackVoc and returns the curve.
StackCurve LitStackSweep(State& state);

// The stack with each pair of junctions lit and the third dark.
void StudyTwoJunctions(State& state, Ui& ui);

// The stack with one junction lit and the other two dark, for each lit junction.
void StudyOneJunction(State& state, Ui& ui);

}  // namespace pelarin
