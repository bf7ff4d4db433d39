#pragma once

#include "model/ModelState.h"
#include "workbook/Workbook.h"

namespace vontralek {

// Reads the 30 log K values from worksheet 3 and the charges and weights of
// the 11 species and 24 complexes from worksheet 4 into the state, cell by cell
// in a fixed order (the order decides which cell an error names).
void LoadParameterTables(ModelState& state, workbook::Workbook& workbook);

// Reads the weighted sum's start value (E19) and scale (E20) of worksheet 4
// into the weighted-sum record of AuxTable.
void LoadWeightedSumParameters(ModelState& state, workbook::Workbook& workbook);

} // namespace vontralek
