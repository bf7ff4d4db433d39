#include "layout/WorkbookLayout.h"

#include <string>

#include "common/Errors.h"

namespace vontralek::layout {

void CheckWorkbookLayout(workbook::Workbook& workbook) {
  const int count = workbook.WorksheetCount();
  if (count < WorksheetsNeeded) {
    throw WorkbookError("Cannot use the workbook \"" + workbook.Path().string() + "\": it has " +
                        std::to_string(count) +
                        " worksheet(s), but a VONTRALEK workbook needs four, in this order: Main, Batch, equilibrium "
                        "constants and charges. The file was left unchanged. Use a workbook made for VONTRALEK.");
  }
  // Reading one cell parses the whole worksheet.
  for (int number = 1; number <= WorksheetsNeeded; ++number) workbook.Worksheets(number).Value(1, 1);
}

} // namespace vontralek::layout
