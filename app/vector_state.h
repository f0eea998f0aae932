// Hands the processor's vector unit over to a computation in a clean state.
#pragma once

namespace pelarin {

// Clears the upper halves of the AVX registers (vzeroupper) when the processor has them. Libraries that use
// wide vector instructions (Qt's start-up and painting among them) can leave those halves dirty; on many
// x86-64 processors every later SSE instruction, and so every exp() of the junction balances, then pays a
// transition penalty that made a study in the window program many times slower than the same study in
// the batch tool. Called after the toolkit starts, before each command and after each modal dialog.
// Free where the processor has no such penalty; nothing at all on other architectures.
void CleanVectorState();

}  // namespace pelarin
