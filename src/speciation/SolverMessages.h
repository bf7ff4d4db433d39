#pragma once

// What the solver says when a step faults or a sample has no result: the
// cause in words, naming the inputs that lead there and what to check.

#include <string>

#include "model/ModelState.h"

namespace vontralek::speciation_detail {

// The name of ConstantTable row `row` in messages, e.g. "the ion product of water".
std::string ConstantName(int row);

// Why H+ came out 0 before the hydroxide is computed from it.
std::string ZeroHydrogenCause(const ModelState& state);

// Why the carbonate system of a pass is impossible: which inputs, together,
// leave no non-negative solution.
std::string ImpossibleCarbonateCause(const ModelState& state);

// The cause of a fault in the mass balances, the complexes or the ionic strength.
inline constexpr const char* kDivergence =
    "the concentrations left the range of a double; check the sample for negative or implausible concentrations";

} // namespace vontralek::speciation_detail
