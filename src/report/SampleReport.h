#pragma once

#include "model/ModelState.h"
#include "workbook/Workbook.h"

namespace vontralek {

// Writes the results of the single sample to the Main sheet (worksheet 1: row 5
// J:N and P:R, row 9 C:N, the complex matrix D15:H21, the label P4) and the
// log10 of the conditional constants to worksheet 3 (B6:G6, J13:M18).
// Concentrations leave the model in mol/L and enter the workbook in mmol/L.
// Reads the state only; never writes the input cells A5:I5.
void WriteSampleReport(const ModelState& state, workbook::Workbook& workbook);

// Empties every cell WriteSampleReport writes, so that a sample that failed
// keeps no earlier run's results beside its inputs.
void ClearSampleReport(workbook::Workbook& workbook);

} // namespace vontralek
