#pragma once

// What a water chemist reads off an analysis besides the speciation: hardness,
// carbonate hardness, calculated dissolved solids, the Larson-Skold index and
// the calcite indices of water treatment (Langelier, Ryznar, Puckorius). All
// from the analytical totals of a solved sample; nothing here changes it.

#include <array>

#include "model/ModelState.h"

namespace vontralek {

// 1 German degree of hardness (°dH) is 10 mg/L CaO = 0.17833 mmol/L.
inline constexpr double kMmolPerGermanDegree = 0.17833;
// Bicarbonate counts in the dissolved solids as the carbonate it leaves on
// evaporation (2 HCO3- -> CO3 2- + CO2 + H2O): 60.008 / (2 · 61.016) = 0.4917
// of its mass (APHA Standard Methods 1030 E).
inline constexpr double kBicarbonateResidueFraction = 0.4917;
// Puckorius (1979): the equilibrium pH of cooling water,
// pHeq = 1.465 log10(alkalinity / mg/L as CaCO3) + 4.54.
inline constexpr double kPuckoriusSlope = 1.465, kPuckoriusIntercept = 4.54;

struct WaterQuality {
  double hardness = 0.0;          // Ca + Mg, mmol/L
  double hardnessAsCaCO3 = 0.0;   // mg/L as CaCO3
  double hardnessGerman = 0.0;    // °dH
  double carbonateHardness = 0.0; // min(alkalinity / 2, hardness), mmol/L, not below 0
  double dissolvedSolids = 0.0;   // mg/L
  double larsonSkold = 0.0;       // (Cl- + SO4 2-) / (HCO3- + CO3 2-), equivalents
  double lsi = 0.0, rsi = 0.0, psi = 0.0;
  bool larsonSkoldDefined = false; // no bicarbonate or carbonate: none
  bool lsiDefined = false;         // needs calcium, bicarbonate, pH, K2 and Ks
  bool psiDefined = false;         // needs a positive alkalinity too
};

// The alkalinity in eq/L: the given one, or with bicarbonate and carbonate
// given, HCO3- + 2 CO3 2- + OH- - H+ of the totals.
double SampleAlkalinity(const ModelState& solved);

// The pH at which the water would be saturated with calcite (Langelier 1936):
//   pHs = pK2 - pKs + p[Ca2+] + p[HCO3-] + 5 pfm,
// K2 of HCO3- = H+ + CO3 2- (constant 4) and Ks of calcite (constant 5) at the
// sample's temperature, calcium and bicarbonate in mol/L, pfm = -log10 of the
// Davies coefficient of a monovalent ion at the sample's ionic strength (the
// Davies slope the solve used). Davies gives log f2 = 4 log f1, so 5 pfm is
// the p of f(Ca2+) f(HCO3-).
double CalciteSaturationPH(const ModelState& solved, double calcium, double bicarbonate);

// molarMass: g/mol of species rows 1 to 11 (index 0 unused), the molar
// masses of worksheet 4 or the shipped ones; Ca + CO3 make M(CaCO3).
WaterQuality ComputeWaterQuality(const ModelState& solved, const std::array<double, 12>& molarMass);

} // namespace vontralek
