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

// The title that marks worksheet 3's block of temperature data.
inline constexpr const char* kTemperatureBlockTitle = "Temperature dependence of log K";

// Reads the temperature data of the 30 constants (form, A1..A6, reaction
// enthalpy in kJ/mol) from worksheet 3's block into state.TemperatureTable.
// Returns false, with nothing changed, when the block's title is not there
// (a workbook made before the block existed). A form that is not one of the
// three or a coefficient that is text throws WorkbookError naming its cell,
// with the table left as it was.
bool LoadTemperatureTable(ModelState& state, workbook::Workbook& workbook);

} // namespace vontralek
