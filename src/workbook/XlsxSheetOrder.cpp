// Rows and cells in sheet order. A part may list them otherwise (row 11 before
// row 10, E3 before B3), which spreadsheet programs do not accept and which
// would put the numbers written into such rows in the wrong places: they are
// put in order as the part is read, so that every row is written, and every
// row and cell written later goes, where its number says.

#include "workbook/XlsxSheet.h"

namespace vontralek::workbook {

void XlsxSheet::PutRowsInOrder() const {
  for (auto& [number, row] : rows_) sheetData_.append_move(row.node);
}

void XlsxSheet::PutCellsInOrder(const Row& row) {
  for (auto cell = row.cells.rbegin(); cell != row.cells.rend(); ++cell)
    pugi::xml_node(row.node).prepend_move(cell->node);
}

std::vector<std::pair<int, int>> XlsxSheet::Positions() const {
  Load();
  StopStreaming();
  std::vector<std::pair<int, int>> positions;
  for (const auto& [r, row] : rows_) {
    auto n = row.numbers.begin();
    for (const DomCell& cell : row.cells) {
      for (; n != row.numbers.end() && n->column < cell.column; ++n) positions.emplace_back(r, n->column);
      positions.emplace_back(r, cell.column);
    }
    for (; n != row.numbers.end(); ++n) positions.emplace_back(r, n->column);
  }
  return positions;
}

} // namespace vontralek::workbook
