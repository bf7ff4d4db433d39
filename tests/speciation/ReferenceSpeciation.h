#pragma once

// A plain transcription of the speciation procedure, step by step, with no
// shared evaluations, no caches and no fault tests: the yardstick the
// production solver must match to the last bit.

#include "model/ModelState.h"
#include "speciation/WeightedSumSource.h"

namespace vontralek::reference {

double ActivityCoefficient(double I, double z, bool isComplex, int row);
void CarbonateSystem(ModelState& s);
void FinalQuantities(ModelState& s, WeightedSumSource& weightedSum);
void Solve(ModelState& s, WeightedSumSource& weightedSum);

} // namespace vontralek::reference
