#pragma once

#include <string>
#include <string_view>

namespace vontralek::workbook {

class Worksheet;

// How every message names a place in a workbook, so that the user reads the
// same words wherever the program found the fault.

// "Worksheet 2 (\"Batch\")": the worksheet's number (1-based, the order of
// the tabs) and its name as messages show text.
std::string SheetPlace(int number, std::string_view name);

// "Worksheet 2 (\"Batch\"), cell K5": a cell by 1-based row and column.
std::string CellPlace(int number, std::string_view name, int row, int column);
std::string CellPlace(const Worksheet& sheet, int row, int column);

} // namespace vontralek::workbook
