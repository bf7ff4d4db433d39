#pragma once

#include "model/ModelState.h"
#include "run/Progress.h"
#include "run/RunError.h"
#include "run/RunSummary.h"
#include "workbook/Workbook.h"

namespace vontralek {

// The run proper over an open workbook: machine epsilon, parameter loading and
// every input that can be checked before a sample is calculated (the Main
// sheet's sample), all before anything is written; then the single sample of
// the Main sheet or every sample of the Batch sheet. Throws RunError on the
// first error; cells written before it stay written, the result cells of the
// failing sample are cleared. summary (optional) is kept up to date as the run
// goes, so that it tells how far the run got even after an error.
void RunCalculation(ModelState& state, workbook::Workbook& workbook, ProgressListener* progress,
                    RunSummary* summary = nullptr, const RunOptions& options = {});

} // namespace vontralek
