#pragma once

#include "model/RunSettings.h"
#include "workbook/Workbook.h"

namespace vontralek {

// Reads the settings block of worksheet 4 (labels in column A, values in
// E23:E29: model, extra results, values below the detection limit, what a
// failed sample does, ion unit, alkalinity unit, temperature) and the molar masses of row
// 8 (B8:L8, g/mol; an empty cell gives 0, "none given") into a RunSettings.
// Texts are matched without regard to letter case and surrounding spaces; an
// empty cell means the default, so a workbook without the block runs as
// before. Anything else throws WorkbookError naming the cell and the allowed
// values. Nothing is written.
RunSettings LoadRunSettings(workbook::Workbook& workbook);

// Only the molar mass a conversion needs must be there: throws WorkbookError
// naming the cell of species row n when settings.molarMass[n] is missing or
// not positive.
void CheckMolarMass(const RunSettings& settings, int speciesRow);

// The texts of the model and failure settings, for messages and help.
inline constexpr const char* kModelSpecified = "as specified";
inline constexpr const char* kModelIonAssociation = "ion association";
// The temperature setting that takes each sample's own (Batch CF, Main V5).
inline constexpr const char* kTemperaturePerSample = "per sample";

} // namespace vontralek
