#include "workbook/Places.h"

#include "workbook/Workbook.h"

namespace vontralek::workbook {

std::string SheetPlace(int number, std::string_view name) {
  return "Worksheet " + std::to_string(number) + " (\"" + TextForMessage(name) + "\")";
}

std::string CellPlace(int number, std::string_view name, int row, int column) {
  return SheetPlace(number, name) + ", cell " + CellAddress(row, column);
}

std::string CellPlace(const Worksheet& sheet, int row, int column) {
  return CellPlace(sheet.Number(), sheet.Name(), row, column);
}

} // namespace vontralek::workbook
