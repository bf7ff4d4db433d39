#pragma once

#include <cstdint>

#include "model/ModelState.h"
#include "speciation/WeightedSumSource.h"

namespace vontralek {

// Every operation below that can meet a division by zero, an overflow or an
// invalid operation throws ArithmeticFault (common/Errors.h) naming the step and
// its cause, and leaves the state as it was on entry. Underflow is no fault.
// The caller's floating-point status flags are the same after the call.

// Activity coefficient of a species (isComplex false) or complex at ionic
// strength I (mol/L): Davies-type for charged entries, empirical polynomials
// for neutral ones (row decides the rule for neutral complexes).
double ComputeActivityCoefficient(double ionicStrength, double charge, bool isComplex, std::int16_t row);

// Sets state.MachineEpsilon: the first power of two whose sum with 1 rounds to
// 1, 2^-53 in double precision. The convergence tolerance of the solver.
void ComputeMachineEpsilon(ModelState& state);

// Closes the carbonate system from the given pair (InputPair) for one outer
// pass, with the conditional constants of ConstantTable rows 1 to 4.
void SolveCarbonateSystem(ModelState& state);

// Derived quantities after the iteration: total-referred activity
// coefficients, dissolved CO2, log activities (rows without a positive total
// are marked undefined), pH for pairs "B" and "C" (undefined without a
// positive H+ total), ion activity products and saturation indices of calcite
// and gypsum (each marked undefined when an activity or the LogK it needs is),
// charge-balance error, weighted sum (start value and scale from weightedSum),
// sodium adsorption ratios.
void ComputeFinalQuantities(ModelState& state, WeightedSumSource& weightedSum);

// Speciates the sample held in the state (mol/L, eq/L) with state.Model.
// Throws SampleFailure (common/Errors.h), leaving the state as it was on entry,
// when the sample has no result: an iteration that ends at its pass limit
// while the ionic strength or a free ligand still changes by more than 1e-9
// relative per pass, or inputs that are impossible together (a negative pCO2,
// H+, HCO3-, CO3 2- or free concentration).
void SolveSpeciation(ModelState& state, WeightedSumSource& weightedSum);

} // namespace vontralek
