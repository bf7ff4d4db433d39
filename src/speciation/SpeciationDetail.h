#pragma once

// Pieces shared by the files of the chemistry, not part of its interface.

#include <cmath>
#include <cstdint>
#include <string>

#include "model/ModelState.h"
#include "speciation/WeightedSumSource.h"

namespace vontralek::speciation_detail {

// The activity coefficient without the fault test (the caller tests the
// status flags). Charged entries: Davies, log g = -0.512 z^2 (sqrt(I)/(1 +
// sqrt(I)) - 0.3 I). Neutral species: salting-out, log g = 0.1 I. Neutral
// complexes: a quadratic rule for ComplexTable rows 15, 16, 23 and 24 (the
// calcium and magnesium sulfates and carbonates), a fitted rational function
// for every other neutral complex. Powers are general real powers throughout.
inline double EvaluateActivityCoefficient(double ionicStrength, double charge, bool isComplex, int row) {
  const double I = ionicStrength;
  double logGamma = 0.0;
  if (charge == 0.0) {
    if (isComplex) {
      if (row == 15 || row == 16 || row == 23 || row == 24) {
        logGamma = 0.033 * std::pow(I, 2.0) - 0.3 * I;
      } else {
        const double t = I / (60.8128 * I + 1.0);
        const double u = (t - 0.0319 * std::pow(I, 2.0)) * -11.7021;
        logGamma = u - 0.044 * std::pow(I, 3.0);
      }
    } else {
      logGamma = 0.1 * I;
    }
  } else {
    const double rootI = std::pow(I, 0.5);
    const double s = rootI / (rootI + 1.0) - 0.3 * I;
    logGamma = (std::pow(charge, 2.0) * -0.512) * s;
  }
  return std::pow(10.0, logGamma);
}

// Step and cause of a fault raised by EvaluateActivityCoefficient, in words.
std::string ActivityFaultStep(double charge, bool isComplex, int row);
std::string ActivityFaultCause(double ionicStrength, double charge);

// The carbonate system and the final quantities with their fault tests, for a
// caller that has already cleared the status flags and will restore the state
// if they throw. Without checkEachStep the caller tests the flags itself.
void CloseCarbonateSystem(ModelState& state, bool checkEachStep = true);
void DeriveFinalQuantities(ModelState& state, WeightedSumSource& weightedSum);

// Everything a solve writes, so that a fault can put the state back as it was.
class SolverSnapshot {
public:
  explicit SolverSnapshot(const ModelState& state);
  void Restore(ModelState& state) const;

private:
  decltype(ModelState::SpeciesTable) species_;
  decltype(ModelState::ComplexTable) complexes_;
  decltype(ModelState::ConstantTable) constants_;
  decltype(ModelState::AuxTable) aux_;
  decltype(ModelState::IterationCounters) counters_;
  double pH_, pCO2_, ionicStrength_, newIonicStrength_, initialIonicStrength_, ionicStrengthChange_, freeHydroxide_;
  double logIapCaCO3_, logIapCaSO4_, sar_, sarActivity_;
  bool logIapCaCO3Defined_, logIapCaSO4Defined_;
};

} // namespace vontralek::speciation_detail
