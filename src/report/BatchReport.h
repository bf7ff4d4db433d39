#pragma once

#include <cstdint>

#include "model/ModelState.h"
#include "workbook/Workbook.h"

namespace vontralek {

// Writes the 69 results of batch sample state.CurrentSample into columns K to
// CA of its row (CurrentSample + 1) of the Batch sheet (worksheet 2).
// Concentrations and ionic strengths in mmol/L; a log activity or ion activity
// product the model marks undefined is written as the text "nd".
void WriteBatchRow(const ModelState& state, workbook::Workbook& workbook);

// Empties the result columns K to CA of batch sample k's row (k + 1), so that
// a sample that failed keeps no earlier run's results beside its inputs.
void ClearBatchRow(workbook::Workbook& workbook, std::int64_t sample);

} // namespace vontralek
