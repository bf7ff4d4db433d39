#pragma once

// When the iterations of a solve end, and when their end is a result.
// Both loops (the outer passes on the ionic strength, the inner passes of the
// mass balances) end when their quantities change by no more than
// state.MachineEpsilon, in percent, from one pass to the next (the ionic
// strength: IonicStrengthChange; every ligand: PercentChange), or when their
// counter exceeds kPassLimit.

#include "model/ModelState.h"

namespace vontralek::speciation_detail {

// A loop ends when its counter exceeds this: 101 passes at most.
inline constexpr int kPassLimit = 100;
// A loop ended by its pass limit has converged when its quantities change by
// at most this, relative, per pass (1e-9, in percent as the changes are kept).
inline constexpr double kConvergedPercent = 1e-7;
// The end of the outer passes of a solve with equilibrium with calcite as an
// extra condition (1e-14 relative, in percent).
inline constexpr double kCalciteSettledPercent = 1e-12;

// After the loops: throws SampleFailure when a loop ended at its pass limit
// while still changing by more than kConvergedPercent per pass. A quantity
// that no longer moves has converged whatever its stale change says (a ligand
// without total keeps the PercentChange of an earlier solve; a sample without
// ions its IonicStrengthChange).
void RequireConvergence(const ModelState& state);

} // namespace vontralek::speciation_detail
