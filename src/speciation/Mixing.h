#pragma once

// Mixtures of two waters. With the alkalinity and DIC given, every total of a
// mixture is the fraction-weighted sum of the waters' totals: calcium,
// alkalinity and carbon are conserved on mixing, pH and pCO2 are not.

#include "model/ModelState.h"

namespace vontralek {

// The mixture of fraction (0 to 1) of solved water a with 1 - fraction of
// solved water b, ready for SolveSpeciation: the constants, charges and model
// of a, the pair alkalinity and DIC, the totals of species rows 3 to 9, the
// alkalinity and the DIC weighted, and the temperature weighted (when both
// waters have one). Throws SampleFailure for a fraction outside 0 to 1 or when
// only one of the waters has a temperature.
ModelState MixedWater(const ModelState& a, const ModelState& b, double fraction);

} // namespace vontralek
