#include "speciation/ActivityCoefficients.h"
#include "speciation/FloatingPointFaults.h"
#include "speciation/Speciation.h"
#include "speciation/SpeciationDetail.h"

namespace vontralek {

namespace speciation_detail {

std::string ActivityFaultStep(double charge, bool isComplex, int row) {
  return std::string("computing the activity coefficient of ") + (isComplex ? "complex" : "species") + " row " +
         std::to_string(row) + " (charge " + Num(charge) + ")";
}

std::string ActivityFaultCause(double ionicStrength, double charge) {
  if (ionicStrength < 0.0 && charge != 0.0) {
    return "the ionic strength is negative (" + Num(ionicStrength) +
           " mol/L) and the Davies equation takes its square root; negative inputs (alkalinity, pCO2, a "
           "concentration) or more hydroxide than alkalinity lead there, check the sample's inputs";
  }
  if (ionicStrength < 0.0) {
    return "the ionic strength is negative (" + Num(ionicStrength) +
           " mol/L) and the neutral-complex formula divides by 1 + 60.8128 I; check the sample for negative inputs";
  }
  return "the ionic strength is " + Num(ionicStrength) +
         " mol/L, outside the range the activity formulas can take; check the sample's concentrations";
}

} // namespace speciation_detail

double ComputeActivityCoefficient(double ionicStrength, double charge, bool isComplex, std::int16_t row) {
  using namespace speciation_detail;
  FaultScope scope;
  const double gamma = activity::EvaluateActivityCoefficient(ionicStrength, charge, isComplex, row);
  CheckStep(true, [&] {
    return StepAndCause{ActivityFaultStep(charge, isComplex, row), ActivityFaultCause(ionicStrength, charge)};
  });
  return gamma;
}

} // namespace vontralek
