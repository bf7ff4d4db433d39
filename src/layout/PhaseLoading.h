#pragma once

#include "model/PhaseTable.h"
#include "workbook/Workbook.h"

namespace vontralek {

// The title that marks worksheet 3's phase table.
inline constexpr const char* kPhaseTableTitle = "Phases";

// Whether worksheet 3 holds the title of the phase table (A89).
bool HasPhaseTable(workbook::Workbook& workbook);

// Reads worksheet 3's phase table: one phase per row from row 91 down to the
// first row whose name (A) is empty. Throws WorkbookError naming the cell,
// before anything is written, for a workbook without the title (A89), a name
// that is a number or has no letter or digit, a name used twice (letter case
// and punctuation aside: each phase has its own output column), a coefficient,
// log K or temperature coefficient that is not a number, an empty log K, a
// form that is not one of the three, a cell right of V on a phase row (W:Z:
// the reaction names a species the model does not have), or more than 60
// phases.
PhaseTable LoadPhaseTable(workbook::Workbook& workbook);

} // namespace vontralek
