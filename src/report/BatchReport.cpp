#include "report/BatchReport.h"

#include <string>

#include "common/Errors.h"
#include "layout/Layout.h"

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

// Sample k sits on row k + 1 under the heading row. A worksheet has at most
// 1,048,576 rows, so the row always fits an int.
int RowOfSample(std::int64_t sample) {
  if (sample < 1 || sample >= layout::LastSheetRow) {
    throw WorkbookError("Batch sample " + std::to_string(sample) +
                        " has no row on the Batch sheet (rows 2 to 1048576 hold samples).");
  }
  return static_cast<int>(sample + 1);
}

} // namespace

void WriteBatchRow(const ModelState& state, workbook::Workbook& workbook) {
  namespace col = layout::batch_sheet;
  workbook::Worksheet& batch = workbook.Worksheets(layout::BatchSheet);
  const int r = RowOfSample(state.CurrentSample);

  batch.SetNumber(r, col::WeightedSum, state.AuxTable[WeightedSumRecord].WeightedSum);
  batch.SetNumber(r, col::PCO2, state.PCO2);
  batch.SetNumber(r, col::IonicStrength, state.IonicStrength * 1000.0);               // mol/L -> mmol/L
  batch.SetNumber(r, col::InitialIonicStrength, state.InitialIonicStrength * 1000.0); // mol/L -> mmol/L
  SetLogOrNd(batch, r, col::LogIapCaSO4, state.LogIapCaSO4Defined, state.LogIapCaSO4);
  SetLogOrNd(batch, r, col::LogIapCaCO3, state.LogIapCaCO3Defined, state.LogIapCaCO3);
  batch.SetNumber(r, col::Sar, state.Sar);                 // (mmol/L)^0.5
  batch.SetNumber(r, col::SarActivity, state.SarActivity); // (mmol/L)^0.5
  // No pH without a positive H+ total (pairs "B" and "C").
  SetLogOrNd(batch, r, col::PH, state.PHDefined, state.PH);

  for (int i : species::All) {
    const SpeciesRecord& s = state.SpeciesTable[i];
    batch.SetNumber(r, col::Gammas[i], s.Gamma);
    SetLogOrNd(batch, r, col::LogActivities[i], s.LogActivityDefined, s.LogActivity);
    batch.SetNumber(r, col::FreeConcs[i], s.FreeConc * 1000.0);
  }
  for (int n : complex::All) {
    batch.SetNumber(r, col::Complexes[n], state.ComplexTable[n].FreeConc * 1000.0);
  }
}

void ClearBatchRow(workbook::Workbook& workbook, std::int64_t sample) {
  workbook::Worksheet& batch = workbook.Worksheets(layout::BatchSheet);
  const int r = RowOfSample(sample);
  for (int column = layout::batch_sheet::WeightedSum; column <= layout::batch_sheet::Complexes[24]; ++column) {
    batch.SetEmpty(r, column);
  }
}

} // namespace vontralek
