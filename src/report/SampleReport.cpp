#include "report/SampleReport.h"

#include <cmath>

#include "layout/WorkbookLayout.h"

namespace vontralek {

namespace {

// The report's base-10 logarithm: natural logarithm times a nine-decimal
// 1/ln 10. The log activities of the model use the full-precision factor; the
// difference shows in the last digits of worksheet 3 and is kept on purpose.
double ReportLog10(double x) { return std::log(x) * 0.434294481; }

} // namespace

void WriteSampleReport(const ModelState& state, workbook::Workbook& workbook) {
  using layout::SetNumberAt;
  namespace cells = layout::main_sheet;
  const auto& species = state.SpeciesTable;
  const auto& complexes = state.ComplexTable;
  const auto& constants = state.ConstantTable;

  workbook::Worksheet& main = workbook.Worksheets(layout::MainSheet);

  // Totals (mol/L -> mmol/L) of the species that are not inputs, and every
  // activity coefficient, species by species as the tables list them.
  for (int i : species::All) {
    for (const auto& total : cells::Totals) {
      if (total.speciesRow == i) SetNumberAt(main, total.cell, species[i].TotalConc * 1000.0);
    }
    SetNumberAt(main, cells::Gammas[i], species[i].Gamma);
  }

  // The complex matrix of ligands (rows) against cations (columns): the free
  // cations across the top, the free ligands (OH- first) down the side, each
  // body cell the complex of that cation with that ligand, in mmol/L.
  for (int j = 1; j <= 4; ++j) {
    SetNumberAt(main, cells::FreeCations[j], species[species::CationRow(j)].FreeConc * 1000.0);
    for (int k = 0; k <= 5; ++k) {
      const int row = ComplexRow(k, j);
      SetNumberAt(main, cells::Complexes[row], complexes[row].FreeConc * 1000.0);
    }
  }
  SetNumberAt(main, cells::FreeLigands[1], species[species::Hydroxide].FreeConc * 1000.0);
  for (int j = 1; j <= 5; ++j) {
    SetNumberAt(main, cells::FreeLigands[j + 1], species[species::LigandRow(j)].FreeConc * 1000.0);
  }

  // The carbonate variable that the pair did not give, with its label.
  const layout::CellRef label = cells::OtherVariableLabel;
  if (state.InputPair == CarbonatePair::AlkalinityPH || state.InputPair == CarbonatePair::DICPH) {
    main.SetText(label.row, label.column, "pCO2");
    main.SetSubscript(label.row, label.column, 4, 1);
    SetNumberAt(main, cells::OtherVariable, state.PCO2);
  } else if (state.InputPair == CarbonatePair::AlkalinityPCO2 ||
             state.InputPair == CarbonatePair::BicarbonateCarbonate ||
             state.InputPair == CarbonatePair::AlkalinityDIC) {
    main.SetText(label.row, label.column, "pH");
    // No pH without a positive H+ total.
    if (state.PHDefined) {
      SetNumberAt(main, cells::OtherVariable, state.PH);
    } else {
      main.SetText(cells::OtherVariable.row, cells::OtherVariable.column, "nd");
    }
  }
  SetNumberAt(main, cells::IonicStrength, state.IonicStrength * 1000.0); // mol/L -> mmol/L
  SetNumberAt(main, cells::WeightedSum, state.AuxTable[WeightedSumRecord].WeightedSum);

  // Worksheet 3: log10 of the conditional constants beside the log K they came from.
  workbook::Worksheet& constantSheet = workbook.Worksheets(layout::ConstantSheet);
  for (int i : constant::Named) {
    if (constants[i].ConditionalK != 0.0) {
      SetNumberAt(constantSheet, layout::constant_sheet::ConditionalLogK[i], ReportLog10(constants[i].ConditionalK));
    }
  }
  for (int j = 1; j <= 4; ++j) {
    for (int k = 0; k <= 5; ++k) {
      const int m = ConstantRowOfComplex(ComplexRow(k, j));
      // An absent complex (log K 0) shows 0 rather than keeping an old value.
      const double value = constants[m].ConditionalK != 0.0 ? ReportLog10(constants[m].ConditionalK) : 0.0;
      SetNumberAt(constantSheet, layout::constant_sheet::ComplexConditionalLogK[static_cast<std::size_t>(k)][j], value);
    }
  }
}

void ClearSampleReport(workbook::Workbook& workbook) {
  namespace cells = layout::main_sheet;
  workbook::Worksheet& main = workbook.Worksheets(layout::MainSheet);
  const auto clear = [](workbook::Worksheet& sheet, layout::CellRef cell) { sheet.SetEmpty(cell.row, cell.column); };
  for (const auto& total : cells::Totals) clear(main, total.cell);
  for (int i = 1; i <= cells::Gammas.size(); ++i) clear(main, cells::Gammas[i]);
  for (int j = 1; j <= cells::FreeCations.size(); ++j) clear(main, cells::FreeCations[j]);
  for (int j = 1; j <= cells::FreeLigands.size(); ++j) clear(main, cells::FreeLigands[j]);
  for (int n = 1; n <= cells::Complexes.size(); ++n) clear(main, cells::Complexes[n]);
  for (const layout::CellRef cell :
       {cells::OtherVariableLabel, cells::OtherVariable, cells::WeightedSum, cells::IonicStrength}) {
    clear(main, cell);
  }
  workbook::Worksheet& constantSheet = workbook.Worksheets(layout::ConstantSheet);
  for (int i : constant::Named) clear(constantSheet, layout::constant_sheet::ConditionalLogK[i]);
  for (const auto& row : layout::constant_sheet::ComplexConditionalLogK) {
    for (int j = 1; j <= row.size(); ++j) clear(constantSheet, row[j]);
  }
}

} // namespace vontralek
