#pragma once

// The activity-coefficient rules of the model, with their constants and
// sources. Every rule gives log10 of the coefficient, I being the ionic
// strength in mol/L; the coefficient is 10^(log g). Powers are general real
// powers (pow), as the model defines them, so that results stay bit-identical.

#include <cmath>

#include "model/Rows.h"

namespace vontralek::activity {

// Charged entries: the Davies equation (Davies, C. W. 1962, Ion Association,
// Butterworths, London, ch. 3):
//   log g = -A z^2 (sqrt(I) / (1 + sqrt(I)) - 0.3 I).
// A is the Debye-Hueckel constant of water (WaterProperties.h), in
// (L/mol)^(1/2); 0.512 is the value at 25 degC usual in natural-water
// chemistry (Stumm, W. and Morgan, J. J. 1996, Aquatic Chemistry, 3rd ed.,
// Wiley, ch. 3). From the dielectric constant of Bradley and Pitzer (1979) it
// is 0.5100 at 25 degC, which PHREEQC uses; the model keeps 0.512. With a
// sample temperature the solver passes A(T) (Temperature.h) in its place.
inline constexpr double kDaviesA25C = 0.512; // (L/mol)^(1/2), 25 degC
// The linear term of Davies (1962), who revised his earlier 0.2 (Davies 1938,
// J. Chem. Soc. 2093) to 0.3 to fit activity data up to I of about 0.5 mol/L.
inline constexpr double kDaviesLinear = 0.3;

// Neutral species (dissolved CO2): salting out after Setschenow, log g = b I,
// with b = 0.1, the default for uncharged species in PHREEQC (Parkhurst, D. L.
// and Appelo, C. A. J. 2013, USGS Techniques and Methods 6-A43, the
// activity-coefficient equations of the aqueous model).
inline constexpr double kSaltingOut = 0.1;

// Neutral complexes. Two empirical rules belong to the model itself; no
// published source is stated for either, so they are kept exactly as defined:
// - the calcium and magnesium sulfates and carbonates (ComplexTable rows 15,
//   16, 23, 24): log g = 0.033 I^2 - 0.3 I, a quadratic that lowers g (to
//   0.72 at I = 0.5 mol/L);
// - every other neutral complex: a rational fit, log g = -11.7021 (I / (1 +
//   60.8128 I) - 0.0319 I^2) - 0.044 I^3 (g = 0.80 at I = 0.5 mol/L).
inline constexpr double kQuadraticSquare = 0.033, kQuadraticLinear = 0.3;
inline constexpr double kFitScale = -11.7021, kFitPole = 60.8128, kFitSquare = 0.0319, kFitCube = 0.044;

// The complexes with the quadratic rule: cations 3 and 4 (calcium, magnesium)
// with ligands 3 (sulfate) and 5 (carbonate), ComplexTable rows 4h + c.
constexpr bool UsesQuadraticNeutralRule(int complexRow) {
  return complexRow == complex::CalciumSulfate || complexRow == complex::MagnesiumSulfate ||
         complexRow == complex::CalciumCarbonate || complexRow == complex::MagnesiumCarbonate;
}

// The activity coefficient without a fault test (the caller tests the status
// flags). isComplex: a ComplexTable row; row: the entry's row in its table.
// rootOf(I) gives I^0.5, the power pow(I, 0.5), when the Davies equation
// needs it (a caller may keep it from one evaluation to the next).
template <typename Root>
inline double EvaluateActivityCoefficient(double ionicStrength, double charge, bool isComplex, int row, double daviesA,
                                          Root&& rootOf) {
  const double I = ionicStrength;
  double logGamma = 0.0;
  if (charge == 0.0) {
    if (!isComplex) {
      logGamma = kSaltingOut * I;
    } else if (UsesQuadraticNeutralRule(row)) {
      logGamma = kQuadraticSquare * std::pow(I, 2.0) - kQuadraticLinear * I;
    } else {
      const double t = I / (kFitPole * I + 1.0);
      const double u = (t - kFitSquare * std::pow(I, 2.0)) * kFitScale;
      logGamma = u - kFitCube * std::pow(I, 3.0);
    }
  } else {
    const double rootI = rootOf(I);
    const double s = rootI / (rootI + 1.0) - kDaviesLinear * I;
    logGamma = (std::pow(charge, 2.0) * -daviesA) * s;
  }
  return std::pow(10.0, logGamma);
}

inline double EvaluateActivityCoefficient(double ionicStrength, double charge, bool isComplex, int row,
                                          double daviesA = kDaviesA25C) {
  return EvaluateActivityCoefficient(ionicStrength, charge, isComplex, row, daviesA,
                                     [](double I) { return std::pow(I, 0.5); });
}

} // namespace vontralek::activity
