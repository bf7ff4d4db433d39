#pragma once

#include <cstdint>

#include "model/ModelState.h"
#include "speciation/WeightedSumSource.h"

namespace vontralek {

// Activity coefficient of a species (isComplex false) or complex at ionic
// strength I (mol/L): Davies-type for charged entries, empirical polynomials
// for neutral ones.
double ComputeActivityCoefficient(double ionicStrength, double charge, bool isComplex, std::int16_t row);

// Sets state.MachineEpsilon: the first power of two whose sum with 1 rounds to 1.
void ComputeMachineEpsilon(ModelState& state);

// Closes the carbonate system from the given pair (InputPair) for one outer pass.
void SolveCarbonateSystem(ModelState& state);

// Derived quantities after the iteration: log activities, pH, ion activity
// products, dissolved CO2, weighted sum, sodium adsorption ratios.
void ComputeFinalQuantities(ModelState& state, WeightedSumSource& weightedSum);

// Speciates the sample held in the state. Throws ArithmeticFault (state left as
// it was on entry) on a division by zero, overflow or invalid operation.
void SolveSpeciation(ModelState& state, WeightedSumSource& weightedSum);

} // namespace vontralek
