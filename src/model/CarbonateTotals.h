#pragma once

// The carbon of a solved state, as the reports and the reactions take it.

#include "model/ModelState.h"

namespace vontralek {

// Molar mass of CaCO3, g/mol, from the standard atomic weights (CIAAW 2021:
// Ca 40.078, C 12.011, O 15.999).
inline constexpr double kMolarMassCaCO3 = 100.086;

// Dissolved inorganic carbon of a solved state, mol/L: CO2 + HCO3- + CO3 2-,
// each with its complexes.
inline double DissolvedInorganicCarbon(const ModelState& solved) {
  const auto& S = solved.SpeciesTable;
  return S[species::DissolvedCO2].TotalConc + S[species::Bicarbonate].TotalConc + S[species::Carbonate].TotalConc;
}

} // namespace vontralek
