#include "model/ParameterLoading.h"

namespace vontralek {

namespace {

// Worksheet numbers of the two parameter sheets.
constexpr int kConstantSheet = 3; // log10 of the thermodynamic constants
constexpr int kChargeSheet = 4;   // charges and weights of the charge sum

} // namespace

void LoadParameterTables(ModelState& state, workbook::Workbook& workbook) {
  // Each value is stored as the workbook holds it: log10 K (0 = no such
  // constant), charge numbers with their sign, dimensionless weights. Every
  // field is written the moment its cell is read, so a cell that cannot be
  // converted leaves the fields before it loaded and those after it untouched.
  const workbook::Worksheet& constants = workbook.Worksheets(kConstantSheet);

  // Row 5, columns B to G: the Henry constant of CO2, the ion product of water,
  // both dissociation constants of carbonic acid and the two calcium solubility
  // products (constants 1 to 6).
  for (int i = 1; i <= 6; ++i) {
    state.ConstantTable[i].LogK = constants.NumberValue(5, i + 1);
  }
  // Rows 13 to 18 (hydroxide, then ligands 1 to 5) against columns C to F
  // (cations 1 to 4): the formation constant of the complex of cation c with
  // ligand h stands in constant row 4h + c + 6, i.e. the complex's row + 6.
  // Read column by column.
  for (int c = 1; c <= 4; ++c) {
    for (int h = 0; h <= 5; ++h) {
      state.ConstantTable[4 * h + c + 6].LogK = constants.NumberValue(13 + h, 2 + c);
    }
  }

  const workbook::Worksheet& charges = workbook.Worksheets(kChargeSheet);

  // Species 1 to 11 in columns B to L: charge in row 4, weight in row 6.
  // Dissolved CO2 (species 12) has no cells and keeps charge and weight 0.
  for (int i = 1; i <= 11; ++i) {
    state.SpeciesTable[i].Charge = charges.NumberValue(4, i + 1);
    state.SpeciesTable[i].SumWeight = charges.NumberValue(6, i + 1);
  }
  // Complexes in two groups of twelve, columns B to M: complexes 1 to 12 in
  // rows 10 (charge) and 11 (weight), complexes 13 to 24 in rows 14 and 15.
  for (int j = 1; j <= 12; ++j) {
    for (int g = 1; g <= 2; ++g) {
      const int row = 12 * (g - 1) + j;
      state.ComplexTable[row].Charge = charges.NumberValue(4 * (g - 1) + 10, j + 1);
      state.ComplexTable[row].SumWeight = charges.NumberValue(4 * (g - 1) + 11, j + 1);
    }
  }
}

void LoadWeightedSumParameters(ModelState& state, workbook::Workbook& workbook) {
  // The sum restarts from the workbook's start value in every solve, so it
  // never carries over from the previous sample of a batch.
  const workbook::Worksheet& charges = workbook.Worksheets(kChargeSheet);
  state.AuxTable[11].WeightedSum = charges.NumberValue(19, 5); // E19
  state.AuxTable[11].SumScale = charges.NumberValue(20, 5);    // E20
}

} // namespace vontralek
