#pragma once

// A1 references: a cell's name in a worksheet, and formulas moved as the
// spreadsheet moves them when it fills a formula into other cells.

#include <string>
#include <string_view>

namespace vontralek::workbook {

constexpr int kMaxRow = 1048576;
constexpr int kMaxColumn = 16384;

// Parses "BC12" (or "bc12"); either part may be missing (row or column 0).
// Returns false on anything else or on a position outside the sheet.
bool ParseCellRef(std::string_view ref, int& row, int& column);
// A whole decimal int and nothing else.
bool ParseInt(std::string_view text, int& value);
// The formula of a cell moved by (dRow, dColumn) from where it was written,
// as the spreadsheet fills a shared formula: relative references move, those
// moved off the sheet become #REF!. Texts in quotes, quoted sheet names,
// bracketed parts, functions and sheet names are kept.
std::string ShiftFormula(std::string_view formula, int dRow, int dColumn);

} // namespace vontralek::workbook
