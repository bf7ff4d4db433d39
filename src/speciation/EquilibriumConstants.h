#pragma once

// The equilibrium constants of a solve: K = 10^LogK, at the sample's
// temperature when one is given, with the Davies slope of water there.

#include "model/ModelState.h"

namespace vontralek::speciation_detail {

// Throws SampleFailure for a sample temperature outside 0 to 100 °C: the
// model's data hold for liquid water at 1 atm.
void RequirePlausibleTemperature(const ModelState& state);

// Sets K and SampleLogK of every ConstantTable row: K = 10^LogK, or exactly 0
// for an absent constant (LogK 0); with a sample temperature, LogK at that
// temperature. Returns the Davies slope A in (L/mol)^0.5: 0.512 without a
// temperature, A(T) with one. The powers of the last successful computation
// (state.Memo) are reused while their inputs are the same to the bit. Tests
// each power and throws ArithmeticFault naming the constant.
double ComputeEquilibriumConstants(ModelState& state);

} // namespace vontralek::speciation_detail
