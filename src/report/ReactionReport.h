#pragma once

// The columns of the reactions and of the dissolved inorganic carbon: on the
// Batch sheet the evaluation temperature input in CG ("per sample"), DIC in
// CH, the calcite saturation in CS:CX and the CO2 equilibrium in CY:DB,
// headings on row 1; on the Main sheet the evaluation temperature in W5 under
// W4, DIC in X5 under X4 and the reactions in D29:M29 under D28:M28.

#include <cstdint>
#include <vector>

#include "model/ModelState.h"
#include "report/HeadingCell.h"
#include "workbook/Workbook.h"

namespace vontralek {

struct ReactionColumns {
  bool evaluationTemperature = false; // the input column of "per sample"
  bool dissolvedCarbon = false;
  bool calcite = false;
  bool co2 = false;
};

// The headings of the reaction columns, in sheet order.
inline constexpr int ReactionValueCount = 10;
extern const char* const kReactionHeadings[ReactionValueCount];

std::vector<HeadingCell> ReactionHeadings(DataSheet sheetMode, const ReactionColumns& columns);

// DIC and the reaction results of the Main sheet's sample or of batch sample
// k; an undefined one reads "nd".
void WriteReactionResults(const ModelState& solved, workbook::Workbook& workbook, DataSheet sheetMode,
                          std::int64_t sample, const ReactionColumns& columns);
// Empties them (a failed sample).
void ClearReactionResults(workbook::Workbook& workbook, DataSheet sheetMode, std::int64_t sample,
                          const ReactionColumns& columns);

} // namespace vontralek
