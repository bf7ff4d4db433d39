#include "common/Errors.h"
#include "workbook/PackageReader.h"
#include "workbook/Workbook.h"

namespace vontralek::workbook {

// A format without pictures: a worksheet of that name is not ours.
PictureSheetState Workbook::PictureSheet(const std::string& name, std::string_view) {
  for (int n = 1; n <= WorksheetCount(); ++n)
    if (LowerName(Worksheets(n).Name()) == LowerName(name)) return PictureSheetState::Foreign;
  return PictureSheetState::Absent;
}

void Workbook::PutPictureSheet(const std::string& name, std::string_view, const std::vector<Picture>&) {
  throw WorkbookError("The worksheet \"" + name + "\" with pictures cannot be written into " + Path().string() +
                      "; save the workbook as .xlsx, or turn the pictures off.");
}

} // namespace vontralek::workbook
