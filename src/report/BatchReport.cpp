#include "report/BatchReport.h"

#include <string>

#include "model/Errors.h"

namespace vontralek {

namespace {

// A logarithm the model could not form (a species with a non-positive total)
// is shown as "nd", never as the number a previous sample left in the field.
void SetLogOrNd(workbook::Worksheet& sheet, int row, int column, bool defined, double value) {
  if (defined) {
    sheet.SetNumber(row, column, value);
  } else {
    sheet.SetText(row, column, "nd");
  }
}

} // namespace

void WriteBatchRow(const ModelState& state, workbook::Workbook& workbook) {
  workbook::Worksheet& batch = workbook.Worksheets(2);
  // Sample k sits on row k + 1 under the heading row. A worksheet has at most
  // 1,048,576 rows, so the row always fits an int.
  if (state.CurrentSample < 1 || state.CurrentSample >= 1048576) {
    throw WorkbookError("Batch sample " + std::to_string(state.CurrentSample) +
                        " has no row on the Batch sheet (rows 2 to 1048576 hold samples).");
  }
  const int r = static_cast<int>(state.CurrentSample + 1);

  batch.SetNumber(r, 11, state.AuxTable[11].WeightedSum);
  batch.SetNumber(r, 12, state.PCO2);
  batch.SetNumber(r, 13, state.IonicStrength * 1000.0);        // mol/L -> mmol/L
  batch.SetNumber(r, 14, state.InitialIonicStrength * 1000.0); // mol/L -> mmol/L
  SetLogOrNd(batch, r, 15, state.LogIapCaSO4Defined, state.LogIapCaSO4);
  SetLogOrNd(batch, r, 16, state.LogIapCaCO3Defined, state.LogIapCaCO3);
  batch.SetNumber(r, 17, state.Sar);         // (mmol/L)^0.5
  batch.SetNumber(r, 18, state.SarActivity); // (mmol/L)^0.5
  batch.SetNumber(r, 19, state.PH);

  for (int i = 1; i <= 12; ++i) {
    const SpeciesRecord& s = state.SpeciesTable[i];
    batch.SetNumber(r, 19 + i, s.Gamma);
    SetLogOrNd(batch, r, 31 + i, s.LogActivityDefined, s.LogActivity);
    batch.SetNumber(r, 43 + i, s.FreeConc * 1000.0);
  }
  for (int n = 1; n <= 24; ++n) {
    batch.SetNumber(r, 55 + n, state.ComplexTable[n].FreeConc * 1000.0);
  }
}

} // namespace vontralek
