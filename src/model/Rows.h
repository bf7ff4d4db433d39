#pragma once

// The rows of the model's tables by name. The tables keep 1-based rows; every
// row the chemistry reads is named here with its number, and every group of
// rows a loop walks is a range whose bounds are visible. A range is walked in
// ascending order, so a sum over it adds in the order of the rows.

namespace vontralek {

// Rows first to last (inclusive), walked first to last.
struct RowRange {
  int first, last;

  struct Iterator {
    int row;
    constexpr int operator*() const { return row; }
    constexpr Iterator& operator++() {
      ++row;
      return *this;
    }
    constexpr bool operator!=(const Iterator& other) const { return row != other.row; }
  };
  constexpr Iterator begin() const { return {first}; }
  constexpr Iterator end() const { return {last + 1}; }
  constexpr bool Contains(int row) const { return row >= first && row <= last; }
  constexpr int Count() const { return last - first + 1; }
};

// SpeciesTable: the dissolved species. Cations 1 to 4 and ligands 1 to 5 are
// the ions that form the complexes; the workbook may hold other ions in the
// rows of cation 2 and ligands 1 and 2.
namespace species {
inline constexpr int Hydrogen = 1;      // H+
inline constexpr int Hydroxide = 2;     // OH-, the complexes' ligand group 0
inline constexpr int Sodium = 3;        // Na+, cation 1
inline constexpr int Cation2 = 4;       // cation 2 (K+ in the shipped workbook)
inline constexpr int Calcium = 5;       // Ca2+, cation 3
inline constexpr int Magnesium = 6;     // Mg2+, cation 4
inline constexpr int Ligand1 = 7;       // ligand 1 (Cl- in the shipped workbook)
inline constexpr int Ligand2 = 8;       // ligand 2 (NO3- in the shipped workbook)
inline constexpr int Sulfate = 9;       // SO4 2-, ligand 3
inline constexpr int Bicarbonate = 10;  // HCO3-, ligand 4
inline constexpr int Carbonate = 11;    // CO3 2-, ligand 5
inline constexpr int DissolvedCO2 = 12; // CO2(aq) with H2CO3, neutral

inline constexpr int Count = 12;
inline constexpr RowRange All{1, 12};
// Every ion, H+ to CO3 2-: the rows with an analytical total that enter the
// charge balance and the weighted charge sum; dissolved CO2 does not.
inline constexpr RowRange Ions{1, 11};
// The seven ions the analysis gives directly: Na+, cation 2, Ca2+, Mg2+,
// ligands 1 and 2, SO4 2- (the carbonate ions come from the carbonate system).
inline constexpr RowRange AnalysedIons{3, 9};
inline constexpr RowRange Cations{3, 6};            // cations 1 to 4
inline constexpr RowRange Ligands{7, 11};           // ligands 1 to 5
inline constexpr RowRange CationsAndLigands{3, 11}; // the ions that form complexes, OH- apart

// The row of cation c (1 to 4) and of ligand h (1 to 5).
constexpr int CationRow(int cation) { return cation + 2; }
constexpr int LigandRow(int ligand) { return ligand + 6; }
} // namespace species

// ComplexTable: the complex of cation c (1 to 4) with ligand group h (0 OH-,
// 1 to 5 ligands 1 to 5) sits in row 4h + c.
constexpr int ComplexRow(int ligandGroup, int cation) { return 4 * ligandGroup + cation; }

namespace complex {
inline constexpr int SodiumHydroxide = 1;       // NaOH
inline constexpr int Cation2Hydroxide = 2;      // KOH in the shipped workbook
inline constexpr int CalciumHydroxide = 3;      // CaOH+
inline constexpr int MagnesiumHydroxide = 4;    // MgOH+
inline constexpr int SodiumLigand1 = 5;         // NaCl in the shipped workbook
inline constexpr int Cation2Ligand1 = 6;        // KCl
inline constexpr int CalciumLigand1 = 7;        // CaCl+
inline constexpr int MagnesiumLigand1 = 8;      // MgCl+
inline constexpr int SodiumLigand2 = 9;         // NaNO3 in the shipped workbook
inline constexpr int Cation2Ligand2 = 10;       // KNO3
inline constexpr int CalciumLigand2 = 11;       // CaNO3+
inline constexpr int MagnesiumLigand2 = 12;     // MgNO3+
inline constexpr int SodiumSulfate = 13;        // NaSO4-
inline constexpr int Cation2Sulfate = 14;       // KSO4- in the shipped workbook
inline constexpr int CalciumSulfate = 15;       // CaSO4
inline constexpr int MagnesiumSulfate = 16;     // MgSO4
inline constexpr int SodiumBicarbonate = 17;    // NaHCO3
inline constexpr int Cation2Bicarbonate = 18;   // KHCO3 in the shipped workbook
inline constexpr int CalciumBicarbonate = 19;   // CaHCO3+
inline constexpr int MagnesiumBicarbonate = 20; // MgHCO3+
inline constexpr int SodiumCarbonate = 21;      // NaCO3-
inline constexpr int Cation2Carbonate = 22;     // KCO3- in the shipped workbook
inline constexpr int CalciumCarbonate = 23;     // CaCO3
inline constexpr int MagnesiumCarbonate = 24;   // MgCO3

inline constexpr int Count = 24;
inline constexpr RowRange All{1, 24};

// The complex of the cation in species row cationRow with the ligand (or OH-)
// in species row ligandRow.
constexpr int Of(int cationRow, int ligandRow) {
  return ComplexRow(ligandRow == species::Hydroxide ? 0 : ligandRow - 6, cationRow - 2);
}

static_assert(Of(species::Sodium, species::Hydroxide) == SodiumHydroxide &&
              Of(species::Magnesium, species::Hydroxide) == MagnesiumHydroxide &&
              Of(species::Cation2, species::Ligand1) == Cation2Ligand1 &&
              Of(species::Calcium, species::Ligand2) == CalciumLigand2 &&
              Of(species::Calcium, species::Sulfate) == CalciumSulfate &&
              Of(species::Sodium, species::Bicarbonate) == SodiumBicarbonate &&
              Of(species::Magnesium, species::Carbonate) == MagnesiumCarbonate);
} // namespace complex

// ConstantTable: log K of the 30 equilibria.
namespace constant {
inline constexpr int CO2Solubility = 1;     // KH: CO2(g) = CO2(aq)
inline constexpr int WaterIonProduct = 2;   // Kw: H2O = H+ + OH-
inline constexpr int CarbonicAcid1 = 3;     // K1: CO2(aq) + H2O = H+ + HCO3-
inline constexpr int CarbonicAcid2 = 4;     // K2: HCO3- = H+ + CO3 2-
inline constexpr int CalciteSolubility = 5; // Ksp: CaCO3 = Ca2+ + CO3 2-
inline constexpr int GypsumSolubility = 6;  // Ksp: CaSO4 = Ca2+ + SO4 2-

inline constexpr int Count = 30;
inline constexpr RowRange All{1, 30};
// The six constants with a name of their own; rows 7 to 30 are the formation
// constants of complex rows 1 to 24.
inline constexpr RowRange Named{1, 6};
} // namespace constant

// ConstantTable row of the formation constant of ComplexTable row m, and back.
constexpr int ConstantRowOfComplex(int complexRow) { return complexRow + 6; }
constexpr int ComplexRowOfConstant(int constantRow) { return constantRow - 6; }

// AuxTable: only record 11 is used, holding the weighted charge sum and its scale.
inline constexpr int WeightedSumRecord = 11;
// IterationCounters: element 3 counts the outer passes, element 4 the inner passes of the last solve.
namespace counters {
inline constexpr int OuterPasses = 3;
inline constexpr int InnerPasses = 4;
} // namespace counters

} // namespace vontralek
