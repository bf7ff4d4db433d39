#pragma once

#include "layout/Layout.h"
#include "model/ModelState.h"
#include "model/RunSettings.h"
#include "report/ExtraResults.h"
#include "workbook/Workbook.h"

namespace vontralek::sheet_run {

// The headings of the two input columns of the pair (on the Batch sheet they
// carry their units). No pair: no headings.
void WritePairHeadings(CarbonatePair pair, workbook::Worksheet& sheet, layout::CellRef first, layout::CellRef second,
                       bool withUnits);

// What the run adds to the sheet beyond the specified results.
inline AddedColumns AddedColumnsOf(const RunSettings& settings) {
  return {settings.extraResults, settings.onFailure == FailurePolicy::Continue,
          settings.temperature == TemperatureSource::PerSample};
}

} // namespace vontralek::sheet_run
