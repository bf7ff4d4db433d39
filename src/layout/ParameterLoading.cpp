#include "layout/ParameterLoading.h"

#include <array>
#include <string>

#include "common/Errors.h"
#include "layout/WorkbookLayout.h"
#include "model/TemperatureData.h"

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

bool LoadTemperatureTable(ModelState& state, workbook::Workbook& workbook) {
  const workbook::Worksheet& sheet = workbook.Worksheets(ConstantSheet);
  const CellRef title = constant_sheet::TemperatureTitle;
  const workbook::CellValue heading = sheet.Value(title.row, title.column);
  std::string_view text = heading.kind == workbook::CellValue::Kind::Text ? heading.text : std::string_view{};
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  if (text != kTemperatureBlockTitle) return false;

  // The cells first (the rows view their texts), then the table in one go.
  std::array<std::array<workbook::CellValue, TemperatureFields>, 30> cells;
  TemperatureDataRows rows{};
  for (int n = 1; n <= 30; ++n) {
    for (int field = 0; field < TemperatureFields; ++field) {
      const auto i = static_cast<std::size_t>(n - 1);
      const auto f = static_cast<std::size_t>(field);
      workbook::CellValue& value = cells[i][f];
      value = sheet.Value(constant_sheet::TemperatureFirstRow + n - 1, constant_sheet::TemperatureColumns[field + 1]);
      if (value.kind == workbook::CellValue::Kind::Number) rows[i][f].number = value.number;
      rows[i][f].text = value.text; // a Boolean, error or formula is text: no number
    }
  }
  try {
    FillTemperatureTable(state.TemperatureTable, rows);
  } catch (const TemperatureDataError& error) {
    const std::string cell = workbook::CellAddress(constant_sheet::TemperatureFirstRow + error.row() - 1,
                                                   constant_sheet::TemperatureColumns[error.field() + 1]);
    throw WorkbookError("Worksheet 3 (\"" + workbook::TextForMessage(sheet.Name()) + "\"), cell " + cell +
                        " (temperature data): " + error.what() +
                        ". Correct the cell, or empty the row's form for "
                        "a constant without temperature dependence.");
  }
  return true;
}

} // namespace vontralek
