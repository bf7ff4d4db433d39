#pragma once

#include "model/ModelState.h"
#include "speciation/Convergence.h"

namespace vontralek::speciation_detail {

// In the ion-association model an outer iteration that ends at its pass
// limit with I still changing by more than 1e-12 (relative) goes on for as
// many passes again, damped: hot, alkaline, Mg-rich waters whose alkalinity
// is nearly all OH- and MgOH+ make the free fraction of OH- swing from pass
// to pass by a factor close to -1, slowly growing or dying, and their pCO2
// (a small difference of alkalinity and hydroxide) would carry the swing
// amplified. Every water that converges within the pass limit keeps its
// result to the bit.
class HydroxideDamping {
public:
  // Above this change (1e-12 relative, in percent) at the pass limit the
  // iteration is retried damped.
  static constexpr double kRetryPercent = 1e-10;

  bool Active() const { return damped_; }

  // Whether the iteration that just ended goes on damped; if so its pass
  // counter starts again.
  bool Retry(ModelState& state, bool ionAssociation) {
    auto& outer = state.IterationCounters[counters::OuterPasses];
    if (!ionAssociation || damped_ || outer <= kPassLimit || state.NewIonicStrength == 0.0 ||
        !(state.IonicStrengthChange > kRetryPercent))
      return false;
    damped_ = true;
    outer = 0;
    return true;
  }

  // Damped: the free fraction F/T of OH- is taken as the mean of this
  // pass's and the one used in the pass before, which turns a swing by a
  // factor near -1 into fast convergence. (Those of HCO3- and CO3 2- settle
  // without swinging; a mean would only slow them down.)
  void Apply(ModelState& state) {
    auto& hydroxide = state.SpeciesTable[species::Hydroxide];
    const double free = state.FreeIonGamma[species::Hydroxide];
    const double fraction = hydroxide.Gamma / free;
    const double used = usedFraction_ == 0.0 ? fraction : 0.5 * (fraction + usedFraction_);
    hydroxide.Gamma = free * used;
    usedFraction_ = used;
  }

private:
  bool damped_ = false;       // the passes after an unconverged iteration
  double usedFraction_ = 0.0; // F/T of OH- used in the last damped pass
};

} // namespace vontralek::speciation_detail
