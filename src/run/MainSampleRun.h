#pragma once

#include "model/ModelState.h"
#include "run/RunSummary.h"
#include "speciation/WeightedSumSource.h"
#include "workbook/Workbook.h"

namespace vontralek::sheet_run {

// The Main sheet's single sample (row 5): its inputs read and checked
// before anything is written, then solved from the state the window's
// earlier runs left, its results written onto the Main sheet and worksheet 3.
// A failure ends the run with a RunError; the results cells are cleared.
void RunSingleSample(ModelState& state, workbook::Workbook& workbook, WeightedSumSource& weightedSum,
                     RunSummary& summary, const RunOptions& options);

} // namespace vontralek::sheet_run
