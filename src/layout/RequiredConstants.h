#pragma once

#include "model/ModelState.h"
#include "workbook/Workbook.h"

namespace vontralek {

// Before anything is written: the constants without which no water can be
// speciated, in either model and for every pair, must be present (log K not
// 0, which leaves a constant out): the CO2 solubility, the ion product of
// water and both dissociation constants of carbonic acid (worksheet 3,
// B5:E5). Without them every sample would fail (or, without the ion product
// or with pCO2 given, come out without hydroxide or carbonate). The calcite
// and gypsum solubility products (an SI then reads "nd") and the complexes
// (left out) may be absent. Throws WorkbookError naming the cell.
void CheckRequiredConstants(const ModelState& state, workbook::Workbook& workbook);

} // namespace vontralek
