#include "report/StatusColumn.h"

#include "layout/Layout.h"
#include "report/ExtraResults.h"

namespace vontralek {

bool StatusColumnInUse(workbook::Workbook& workbook, const RunSettings& settings) {
  if (settings.onFailure == FailurePolicy::Continue) return true;
  AddedColumns status;
  status.status = true;
  const std::vector<HeadingCell> headings = AddedHeadings(DataSheet::Batch, status);
  const workbook::Worksheet& sheet = workbook.Worksheets(layout::BatchSheet);
  return !headings.empty() &&
         sheet.Value(headings.front().cell.row, headings.front().cell.column).EqualsText(headings.front().text);
}

} // namespace vontralek
