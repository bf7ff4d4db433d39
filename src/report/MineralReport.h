#pragma once

#include <cstdint>

#include "model/MineralResults.h"
#include "model/ModelState.h"
#include "model/PhaseTable.h"
#include "workbook/Workbook.h"

namespace vontralek {

// The columns of the settings "Saturation indices" (E30) and "Water quality"
// (E31): on the Batch sheet water quality in CI:CR and one saturation index
// per phase from DC, headings on row 1; on the Main sheet water quality in
// A25:J25 under A24:J24 and the phases as a list under A28 "Phase" and B28
// "SI" (name in A, SI in B from row 29).
struct MineralColumns {
  bool saturationIndices = false;
  bool waterQuality = false;
  const PhaseTable* phases = nullptr; // with saturationIndices
};

// The headings of the water-quality columns, in order.
extern const char* const kWaterQualityHeadings[WaterQualityCount];
// "SI Aragonite".
std::string SaturationIndexHeading(const Phase& phase);

// Before anything is written: a heading cell that holds anything but nothing
// or the program's own heading throws WorkbookError naming it.
void CheckMineralHeadings(workbook::Workbook& workbook, DataSheet sheetMode, const MineralColumns& columns);
// The headings (and on the Main sheet the phases' names).
void WriteMineralHeadings(workbook::Workbook& workbook, DataSheet sheetMode, const MineralColumns& columns);
// The values of the Main sheet's sample or of batch sample k; an undefined one reads "nd".
void WriteMineralResults(workbook::Workbook& workbook, DataSheet sheetMode, std::int64_t sample,
                         const MineralColumns& columns, const MineralResults& results);
// Empties them (a failed sample).
void ClearMineralResults(workbook::Workbook& workbook, DataSheet sheetMode, std::int64_t sample,
                         const MineralColumns& columns);

} // namespace vontralek
