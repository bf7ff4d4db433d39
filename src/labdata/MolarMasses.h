#pragma once

// Molar masses of the species a laboratory reports, in g/mol, from the shipped
// data/molar-masses.csv: sums of the IUPAC standard atomic weights (CIAAW,
// abridged to five significant figures, 2021/2022); the electrons of the ions
// are neglected, as is usual in water analysis.

#include <array>
#include <istream>
#include <string>

namespace vontralek::labdata {

// Species rows 1 to 11 are the columns B to L of worksheet 4 (rows 4 and 6):
// H+, OH-, Na+, K+, Ca2+, Mg2+, Cl-, NO3-, SO4 2-, HCO3-, CO3 2-.
inline constexpr int MolarMassSpeciesCount = 11;

struct MolarMasses {
  std::array<double, MolarMassSpeciesCount + 1> species{}; // g/mol by species row 1..11; [0] unused
  double CaCO3 = 0;                                        // g/mol, for alkalinity as mg/L CaCO3
  double Nitrogen = 0;                                     // g/mol, for nitrate as mg/L N
  double Carbon = 0;                                       // g/mol, for DIC as mg/L C
};

// Reads the CSV (species, worksheet_4_column, composition, molar_mass_g_mol,
// source; no quoted fields). Every species above, CaCO3, N and C must be present.
// Throws LabDataError (BadMolarMass) naming the line, or when the file is missing.
MolarMasses LoadMolarMasses(std::istream& in, const std::string& name);
MolarMasses LoadMolarMasses(const std::string& path);

} // namespace vontralek::labdata
