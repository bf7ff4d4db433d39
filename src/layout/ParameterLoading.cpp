#include "layout/ParameterLoading.h"

#include "layout/WorkbookLayout.h"

namespace vontralek {

using namespace layout;

void LoadParameterTables(ModelState& state, workbook::Workbook& workbook) {
  // Each value is stored as the workbook holds it: log10 K (0 = no such
  // constant), charge numbers with their sign, dimensionless weights. Every
  // field is written the moment its cell is read, so a cell that cannot be
  // converted leaves the fields before it loaded and those after it untouched.
  const workbook::Worksheet& constants = workbook.Worksheets(ConstantSheet);

  // The Henry constant of CO2, the ion product of water, both dissociation
  // constants of carbonic acid and the two calcium solubility products.
  for (int i = 1; i <= 6; ++i) {
    state.ConstantTable[i].LogK = NumberAt(constants, constant_sheet::LogK[i]);
  }
  // The formation constants of the complexes, read column by column (cation
  // by cation), hydroxide first, then ligands 1 to 5.
  for (int c = 1; c <= 4; ++c) {
    for (int h = 0; h <= 5; ++h) {
      state.ConstantTable[ConstantRowOfComplex(ComplexRow(h, c))].LogK =
          NumberAt(constants, constant_sheet::ComplexLogK[static_cast<std::size_t>(h)][c]);
    }
  }

  const workbook::Worksheet& charges = workbook.Worksheets(ChargeSheet);

  // Species 1 to 11: charge, then weight. Dissolved CO2 (species 12) has no
  // cells and keeps charge and weight 0.
  for (int i = 1; i <= 11; ++i) {
    state.SpeciesTable[i].Charge = NumberAt(charges, charge_sheet::SpeciesCharges[i]);
    state.SpeciesTable[i].SumWeight = NumberAt(charges, charge_sheet::SpeciesWeights[i]);
  }
  // Complexes in two groups of twelve, read in pairs: complex j, then j + 12.
  for (int j = 1; j <= 12; ++j) {
    for (int g = 1; g <= 2; ++g) {
      const int row = 12 * (g - 1) + j;
      state.ComplexTable[row].Charge = NumberAt(charges, charge_sheet::ComplexCharges[row]);
      state.ComplexTable[row].SumWeight = NumberAt(charges, charge_sheet::ComplexWeights[row]);
    }
  }
}

void LoadWeightedSumParameters(ModelState& state, workbook::Workbook& workbook) {
  // The sum restarts from the workbook's start value in every solve, so it
  // never carries over from the previous sample of a batch.
  const workbook::Worksheet& charges = workbook.Worksheets(ChargeSheet);
  state.AuxTable[WeightedSumRecord].WeightedSum = NumberAt(charges, charge_sheet::WeightedSumStart);
  state.AuxTable[WeightedSumRecord].SumScale = NumberAt(charges, charge_sheet::SumScale);
}

} // namespace vontralek
