#pragma once

#include "model/ModelState.h"
#include "run/Progress.h"
#include "run/RunSummary.h"
#include "speciation/WeightedSumSource.h"
#include "workbook/Workbook.h"

namespace vontralek::sheet_run {

// Counts the samples: rows from 2 down to the first cell of the marker column
// that holds nothing; a 0 or an empty text still marks a sample, and rows
// below the first empty cell are not processed. Column A is not scanned beyond
// the last row a worksheet can have.
void CountBatchSamples(ModelState& state, const workbook::Worksheet& sheet);

// Every sample of the Batch sheet, each from the state the previous one left:
// the Batch source reads the rows, the pipeline solves them (on a second core
// when there is one), the Batch sink writes their results or reasons.
void RunBatch(ModelState& state, workbook::Workbook& workbook, WeightedSumSource& weightedSum,
              ProgressListener* progress, RunSummary& summary, const RunOptions& options);

} // namespace vontralek::sheet_run
