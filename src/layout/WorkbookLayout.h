#pragma once

#include "layout/Layout.h"
#include "workbook/Workbook.h"

namespace vontralek::layout {

// Cell access by CellRef.
inline double NumberAt(const workbook::Worksheet& sheet, CellRef cell) {
  return sheet.NumberValue(cell.row, cell.column);
}
inline void SetNumberAt(workbook::Worksheet& sheet, CellRef cell, double value) {
  sheet.SetNumber(cell.row, cell.column, value);
}

// Refuses a workbook with fewer than the four worksheets the program uses
// (Main, Batch, equilibrium constants, charges) and reads those four at once,
// so that a damaged one is reported before anything is written. Throws
// WorkbookError naming the file and what to do.
void CheckWorkbookLayout(workbook::Workbook& workbook);

} // namespace vontralek::layout
