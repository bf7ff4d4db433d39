#include "workbook/MemoryWorkbook.h"

#include "common/Errors.h"

namespace vontralek::workbook {

CellValue MemoryWorksheet::Value(int row, int column) const {
  const auto it = cells_.find({row, column});
  return it == cells_.end() ? CellValue::Empty() : it->second;
}

void MemoryWorksheet::SetNumber(int row, int column, double value) {
  cells_[{row, column}] = CellValue::Number(value);
  writes_.emplace_back(row, column);
}

void MemoryWorksheet::SetText(int row, int column, std::string_view text) {
  cells_[{row, column}] = CellValue::Text(std::string(text));
  writes_.emplace_back(row, column);
}

void MemoryWorksheet::SetSubscript(int row, int column, int start, int length) {
  formats_.push_back({row, column, start, length, false});
}

void MemoryWorksheet::SetSuperscript(int row, int column, int start, int length) {
  formats_.push_back({row, column, start, length, true});
}

void MemoryWorksheet::SetEmpty(int row, int column) {
  if (cells_.erase({row, column}) > 0) writes_.emplace_back(row, column);
}

MemoryWorkbook::MemoryWorkbook(int sheetCount) {
  static const char* const names[] = {"Main", "Batch", "Constants", "Charges"};
  for (int i = 1; i <= sheetCount; ++i) {
    sheets_.push_back(std::make_unique<MemoryWorksheet>(i <= 4 ? names[i - 1] : "Sheet" + std::to_string(i), i));
  }
}

Worksheet& MemoryWorkbook::Worksheets(int number) {
  if (number < 1 || number > WorksheetCount()) {
    throw WorkbookError("The workbook has no worksheet " + std::to_string(number) + " (it has " +
                        std::to_string(WorksheetCount()) + ").");
  }
  return *sheets_[static_cast<std::size_t>(number - 1)];
}

void MemoryWorkbook::Activate(int number) {
  Worksheets(number);
  active_ = number;
}

} // namespace vontralek::workbook
