#pragma once

#include "model/RunSettings.h"
#include "workbook/Workbook.h"

namespace vontralek {

// Whether a batch run keeps the status column (CE): with "continue", and
// with "stop" when an earlier run left the column (its heading in CE1). A run
// that keeps it writes "ok" beside every sample it calculates and the reason
// beside the one it fails on, so that no earlier status stays beside new
// results.
bool StatusColumnInUse(workbook::Workbook& workbook, const RunSettings& settings);

} // namespace vontralek
