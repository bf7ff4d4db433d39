#pragma once

#include <string>
#include <vector>

#include "layout/Layout.h"
#include "model/ModelState.h"
#include "report/ExtraResults.h"
#include "report/HeadingCell.h"
#include "workbook/Workbook.h"

namespace vontralek {

// The headings of the pair's two input columns (Main A4:B4, Batch B1:C1, on
// the Batch sheet with their units); no pair: none.
std::vector<HeadingCell> PairHeadings(DataSheet sheetMode, CarbonatePair pair);

// Every heading a run writes on its data sheet: the pair's, then those of
// the added columns (report/ExtraResults). The one list the run checks
// before anything is written and then writes; a column added to the run adds
// its heading to AddedHeadings, and is checked and written with the others.
std::vector<HeadingCell> RunHeadings(DataSheet sheetMode, CarbonatePair pair, AddedColumns columns);

// Before anything is written: each cell of the list must be empty or hold
// the heading the run would write there. A pair heading cell that holds the
// program's heading of another pair refuses the run naming the cells and the
// pair they show (the sheet's values would be read as the wrong quantities);
// any other content is the user's and is never overwritten. Throws
// WorkbookError saying what to do.
void CheckRunHeadings(workbook::Workbook& workbook, DataSheet sheetMode, CarbonatePair pair,
                      const std::vector<HeadingCell>& headings);

// Writes the headings of the list, with their sub- and superscripts.
void WriteRunHeadings(workbook::Workbook& workbook, DataSheet sheetMode, const std::vector<HeadingCell>& headings);

// The pair as messages name it: "alkalinity and pH".
const char* PairName(CarbonatePair pair);

} // namespace vontralek
