#include "speciation/Convergence.h"

#include <string>

#include "common/Errors.h"
#include "speciation/FloatingPointFaults.h"
#include "speciation/Speciation.h"
#include "speciation/SpeciationDetail.h"

namespace vontralek {

namespace speciation_detail {

void RequireConvergence(const ModelState& state) {
  const auto& S = state.SpeciesTable;
  const auto& counters = state.IterationCounters;
  const int passes = kPassLimit + 1;
  if (counters[counters::OuterPasses] > kPassLimit && state.NewIonicStrength != 0.0 &&
      state.IonicStrengthChange > kConvergedPercent) [[unlikely]]
    throw SampleFailure("did not converge after " + std::to_string(passes) +
                        " passes: the ionic strength still changes by " + Num(state.IonicStrengthChange) +
                        "% per pass");
  if (counters[counters::InnerPasses] <= kPassLimit) return;
  for (int l : species::Ligands)
    if (S[l].FreeConc != 0.0 && S[l].PercentChange > kConvergedPercent) [[unlikely]]
      throw SampleFailure("did not converge after " + std::to_string(passes) +
                          " passes of the mass balances: the free concentration of " + SpeciesName(l) +
                          " still changes by " + Num(S[l].PercentChange) + "% per pass");
}

} // namespace speciation_detail

void ComputeMachineEpsilon(ModelState& state) {
  // Halve until adding to 1 no longer changes 1: 2^-53 with rounding to
  // nearest. The sum is stored through a volatile so that it is rounded to
  // double and not folded away.
  volatile double trial = 2.0;
  state.MachineEpsilon = 1.0;
  while (trial > 1.0) {
    state.MachineEpsilon = state.MachineEpsilon / 2.0;
    trial = state.MachineEpsilon + 1.0;
  }
}

} // namespace vontralek
