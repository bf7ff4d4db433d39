#pragma once

// What a water will do: the same water at another temperature, in equilibrium
// with calcite (closed system) and in equilibrium with a CO2 pressure (open
// system). Each is a speciation with one more condition, solved by
// SolveSpeciation with the model, constants, temperature data and activity
// rules of the sample; none changes the sample's own state.

#include "model/CarbonateTotals.h"
#include "model/ModelState.h"
#include "speciation/WeightedSumSource.h"

namespace vontralek {

// Alkalinity of a solved state, eq/L: the given one, or HCO3- + 2 CO3 2- +
// OH- - H+ (totals with their complexes) for the pairs that do not give it.
double AlkalinityOf(const ModelState& solved);

// The reactions a run asks for, for one sample.
struct ReactionConditions {
  bool calciteSaturation = false;
  // The temperature of the calcite evaluation, °C; none: the sample's own.
  bool evaluationTemperatureGiven = false;
  double evaluationTemperatureC = 0.0;
  // The CO2 pressure of the open-system equilibrium, in the unit of the CO2
  // solubility constant (atm); none: no such equilibrium.
  bool equilibriumPCO2Given = false;
  double equilibriumPCO2 = 0.0;
};

// The reactions the conditions ask for, from a state SolveSpeciation has just
// solved, into state.Reactions (cleared first); the rest of the state is left
// as it was. Throws SampleFailure or ArithmeticFault naming the reaction and
// its reason when one cannot be solved.
void ComputeReactions(ModelState& state, const ReactionConditions& conditions, WeightedSumSource& weightedSum);

} // namespace vontralek
