#include "layout/WorkbookLayout.h"

#include <algorithm>
#include <cctype>
#include <string>

#include "common/Errors.h"
#include "common/Words.h"

namespace vontralek::layout {

void CheckWorkbookLayout(workbook::Workbook& workbook) {
  const int count = workbook.WorksheetCount();
  if (count < WorksheetsNeeded) {
    throw WorkbookError("Cannot use the workbook \"" + workbook.Path().string() + "\": it has " +
                        std::to_string(count) +
                        " worksheet(s), but a VONTRALEK workbook needs four, in this order: Main, Batch, equilibrium "
                        "constants and charges. The file was left unchanged. Use a workbook made for VONTRALEK.");
  }
  // The program finds its worksheets by position. A worksheet that carries the
  // name of another one (tabs moved) would be read and written as the wrong
  // sheet: the results would land over the user's data.
  for (int number = 1; number <= count; ++number) {
    const std::string name = workbook.Worksheets(number).Name();
    for (int expected = 1; expected <= WorksheetsNeeded; ++expected) {
      const std::string_view shipped = ShippedSheetNames[static_cast<std::size_t>(expected - 1)];
      // Spreadsheet applications treat worksheet names without regard to case.
      if (expected != number && SameLetters(name, shipped)) {
        throw WorkbookError("Cannot use the workbook \"" + workbook.Path().string() + "\": its worksheet " +
                            std::to_string(number) + " is named \"" + workbook::TextForMessage(name) +
                            "\", the name of worksheet " + std::to_string(expected) +
                            ". The program finds its worksheets by position (Main, Batch, Constants, Charges); "
                            "move the tabs back into this order. The file was left unchanged.");
      }
    }
  }
  // Reading one cell parses the whole worksheet.
  for (int number = 1; number <= WorksheetsNeeded; ++number) workbook.Worksheets(number).Value(1, 1);
}

} // namespace vontralek::layout
