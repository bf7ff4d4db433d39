#pragma once

// Pieces shared by the files of the chemistry, not part of its interface.

#include <bit>
#include <cstdint>
#include <string>

#include "model/ModelState.h"
#include "speciation/WeightedSumSource.h"

namespace vontralek::speciation_detail {

// Step and cause of a fault raised by an activity coefficient, in words.
std::string ActivityFaultStep(double charge, bool isComplex, int row);
std::string ActivityFaultCause(double ionicStrength, double charge);

// A function of one double kept with the bits of the argument it was taken
// at. A solve asks for sqrt(I) once per charged coefficient group and for
// 10^-pH once per outer pass, each time with the same argument; pow gives the
// same result for the same bits, so it is taken once. The first call with a
// new argument computes it where it always was, so a fault is raised (and
// named) by the same step.
class RememberedValue {
public:
  template <typename Function> double Of(double x, Function&& f) {
    const std::uint64_t bits = std::bit_cast<std::uint64_t>(x);
    if (!valid_ || bits != bits_) {
      value_ = f(x);
      bits_ = bits;
      valid_ = true;
    }
    return value_;
  }

private:
  std::uint64_t bits_ = 0;
  double value_ = 0.0;
  bool valid_ = false;
};

// The carbonate system and the final quantities with their fault tests, for a
// caller that has already cleared the status flags and will restore the state
// if they throw. Without checkEachStep the caller tests the flags itself.
// hydrogenActivity: where the solver keeps 10^-pH from pass to pass (none:
// computed every call).
void CloseCarbonateSystem(ModelState& state, bool checkEachStep = true, RememberedValue* hydrogenActivity = nullptr);
void DeriveFinalQuantities(ModelState& state, WeightedSumSource& weightedSum);

// The name of a species row in messages, e.g. "cation 3 (calcium)".
const char* SpeciesName(int row);

// Runs work(entry) on the state with the status flags cleared, entry being a
// copy of the state as it was; if work throws, the state is put back to entry
// (the solver's memo excepted, which holds no result). The caller's status
// flags come back in every case.
template <typename Work> void RestoringOnFailure(ModelState& state, Work&& work);

// Puts the state back to entry, keeping the solver's memo.
inline void RestoreState(ModelState& state, const ModelState& entry) {
  const SolverMemo memo = state.Memo;
  state = entry;
  state.Memo = memo;
}

} // namespace vontralek::speciation_detail

#include "speciation/FloatingPointFaults.h"

template <typename Work> void vontralek::speciation_detail::RestoringOnFailure(ModelState& state, Work&& work) {
  const ModelState entry = state;
  FaultScope scope;
  try {
    work(entry);
  } catch (...) {
    RestoreState(state, entry);
    throw;
  }
}
