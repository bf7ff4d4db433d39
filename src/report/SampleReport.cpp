#include "report/SampleReport.h"

#include <cmath>

namespace vontralek {

namespace {

// The report's base-10 logarithm: natural logarithm times a nine-decimal
// 1/ln 10. The log activities of the model use the full-precision factor; the
// difference shows in the last digits of worksheet 3 and is kept on purpose.
double ReportLog10(double x) { return std::log(x) * 0.434294481; }

} // namespace

void WriteSampleReport(const ModelState& state, workbook::Workbook& workbook) {
  const auto& species = state.SpeciesTable;
  const auto& complexes = state.ComplexTable;
  const auto& constants = state.ConstantTable;

  workbook::Worksheet& main = workbook.Worksheets(1);

  // Rows 5 and 9: one column per species in the order of the input row: C:I
  // are species rows 3 to 9 (their row-5 totals are the user's input and are
  // left alone), J:N species rows 1, 2, 10, 11, 12. Totals mol/L -> mmol/L.
  for (int i = 1; i <= 12; ++i) {
    if (i <= 2) {
      main.SetNumber(5, i + 9, species[i].TotalConc * 1000.0);
      main.SetNumber(9, i + 9, species[i].Gamma);
    } else if (i <= 9) {
      main.SetNumber(9, i, species[i].Gamma);
    } else {
      main.SetNumber(5, i + 2, species[i].TotalConc * 1000.0);
      main.SetNumber(9, i + 2, species[i].Gamma);
    }
  }

  // The matrix D15:H21 of ligands (rows) against cations (columns): header
  // row 15 the free cations, header column D the free ligands (OH- first),
  // each body cell the complex of that cation with that ligand, in mmol/L.
  for (int j = 1; j <= 4; ++j) {
    main.SetNumber(15, j + 4, species[j + 2].FreeConc * 1000.0);
    for (int k = 0; k <= 5; ++k) {
      main.SetNumber(16 + k, j + 4, complexes[4 * k + j].FreeConc * 1000.0);
    }
  }
  main.SetNumber(16, 4, species[species::Hydroxide].FreeConc * 1000.0);
  for (int j = 1; j <= 5; ++j) {
    main.SetNumber(16 + j, 4, species[j + 6].FreeConc * 1000.0);
  }

  // P4:P5 the carbonate variable that the pair did not give.
  if (state.InputPair == CarbonatePair::AlkalinityPH) {
    main.SetText(4, 16, "pCO2");
    main.SetSubscript(4, 16, 4, 1);
    main.SetNumber(5, 16, state.PCO2);
  } else if (state.InputPair == CarbonatePair::AlkalinityPCO2 ||
             state.InputPair == CarbonatePair::BicarbonateCarbonate) {
    main.SetText(4, 16, "pH");
    main.SetNumber(5, 16, state.PH);
  }
  main.SetNumber(5, 18, state.IonicStrength * 1000.0); // mol/L -> mmol/L
  main.SetNumber(5, 17, state.AuxTable[11].WeightedSum);

  // Worksheet 3: log10 of the conditional constants beside the log K they came
  // from: one row below B5:G5, seven columns right of C13:F18.
  workbook::Worksheet& constantSheet = workbook.Worksheets(3);
  for (int i = 1; i <= 6; ++i) {
    if (constants[i].ConditionalK != 0.0) constantSheet.SetNumber(6, i + 1, ReportLog10(constants[i].ConditionalK));
  }
  for (int j = 1; j <= 4; ++j) {
    for (int k = 0; k <= 5; ++k) {
      const int m = 4 * k + j + 6;
      // An absent complex (log K 0) shows 0 rather than keeping an old value.
      const double value = constants[m].ConditionalK != 0.0 ? ReportLog10(constants[m].ConditionalK) : 0.0;
      constantSheet.SetNumber(13 + k, 9 + j, value);
    }
  }
}

} // namespace vontralek
