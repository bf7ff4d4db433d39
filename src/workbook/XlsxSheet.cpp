#include "workbook/XlsxSheet.h"

#include <charconv>
#include <cmath>

#include "common/Errors.h"
#include "workbook/CalcChain.h"
#include "workbook/NumberText.h"
#include "workbook/PackageReader.h"
#include "workbook/Places.h"
#include "workbook/References.h"
#include "workbook/SharedStrings.h"
#include "workbook/XlsxXml.h"

namespace vontralek::workbook {

using namespace xml;

std::string SheetContext::Where() const { return package.Where(); }

void XlsxSheet::Load() const {
  if (doc_) return;
  if (book_.package.StatedSize(info_.part) >= streamFromSize_ && LoadStreamed()) return;
  auto doc = std::make_unique<pugi::xml_document>();
  book_.package.ParsePart(info_.part, *doc, SheetName());
  LoadDocument(std::move(doc));
  for (const auto& [number, row] : rows_) readCells_ = readCells_ || !row.cells.empty();
}

void XlsxSheet::LoadDocument(std::unique_ptr<pugi::xml_document> doc) const {
  pugi::xml_node root = doc->document_element();
  if (LocalName(root.name()) != "worksheet")
    book_.package.Damaged("the part \"" + TextForMessage(info_.part) + "\" is not a worksheet");
  sheetData_ = Child(root, "sheetData");
  int previousRow = 0;
  bool inOrder = true;
  for (pugi::xml_node r = Child(sheetData_, "row"); r; r = NextNamed(r, "row")) {
    const int before = previousRow;
    Row row = IndexRow(r, previousRow);
    inOrder = inOrder && previousRow > before;
    // A row or cell given twice is read as the first copy by some programs
    // and as the last by others: the file is ambiguous, hence damaged.
    if (!rows_.try_emplace(previousRow, std::move(row)).second)
      book_.package.Damaged("worksheet \"" + TextForMessage(info_.name) + "\" has row " + std::to_string(previousRow) +
                            " twice");
  }
  if (!inOrder) PutRowsInOrder();
  // Column default styles, for cells created in formatted columns.
  columnStyles_.clear();
  for (pugi::xml_node col = Child(Child(root, "cols"), "col"); col; col = NextNamed(col, "col")) {
    if (col.attribute("style")) {
      columnStyles_.push_back(
          {col.attribute("min").as_int(), col.attribute("max").as_int(), col.attribute("style").as_int()});
    }
  }
  doc_ = std::move(doc);
}

XlsxSheet::Row XlsxSheet::IndexRow(pugi::xml_node r, int& previousRow) const {
  int rowNumber = previousRow + 1;
  if (pugi::xml_attribute a = r.attribute("r")) {
    if (!ParseInt(a.value(), rowNumber) || rowNumber < 1 || rowNumber > kMaxRow) {
      book_.package.Damaged("worksheet \"" + TextForMessage(info_.name) + "\" has a row numbered \"" +
                            TextForMessage(a.value()) + "\"");
    }
  } else {
    // A row without a number follows the previous one; the number is made
    // explicit so that rows inserted later cannot shift it.
    if (rowNumber > kMaxRow)
      book_.package.Damaged("worksheet \"" + TextForMessage(info_.name) + "\" has too many rows");
    r.append_attribute("r") = rowNumber;
  }
  previousRow = rowNumber;
  Row row{r, {}, {}, {}};
  int previousColumn = 0;
  bool inOrder = true;
  for (pugi::xml_node c = Child(r, "c"); c; c = NextNamed(c, "c")) {
    int column = previousColumn + 1;
    if (pugi::xml_attribute a = c.attribute("r")) {
      // The reference must name a cell of this very row ("A0" names none).
      int cellRow = 0;
      if (!ParseCellRef(a.value(), cellRow, column) || column < 1 || cellRow != rowNumber) {
        book_.package.Damaged("worksheet \"" + TextForMessage(info_.name) + "\" has a cell named \"" +
                              TextForMessage(a.value()) + "\" in row " + std::to_string(rowNumber));
      }
    } else {
      if (column > kMaxColumn)
        book_.package.Damaged("worksheet \"" + TextForMessage(info_.name) + "\" has too many columns");
      c.append_attribute("r") = CellAddress(rowNumber, column).c_str();
    }
    previousColumn = column;
    const auto at = AtColumn(row.cells, column);
    if (at != row.cells.end() && at->column == column) {
      book_.package.Damaged("worksheet \"" + TextForMessage(info_.name) + "\" has cell " +
                            CellAddress(rowNumber, column) + " twice");
    }
    inOrder = inOrder && at == row.cells.end();
    row.cells.insert(at, {column, c});
  }
  if (!inOrder) PutCellsInOrder(row);
  return row;
}

void XlsxSheet::CheckPosition(int row, int column) const {
  if (row < 1 || row > kMaxRow || column < 1 || column > kMaxColumn) {
    throw WorkbookError(SheetPlace(number_, info_.name) + " has no cell at row " + std::to_string(row) + ", column " +
                        std::to_string(column) + " of " + book_.Where() +
                        ": rows run from 1 to 1048576 and columns from 1 to 16384.");
  }
}

pugi::xml_node XlsxSheet::FindCell(int row, int column) const {
  const Row* r = RowForReading(row);
  if (!r) return {};
  const auto c = AtColumn(r->cells, column);
  return c == r->cells.end() || c->column != column ? pugi::xml_node() : c->node;
}

const XlsxSheet::NumberCell* XlsxSheet::FindNumber(int row, int column) const {
  const Row* r = RowForReading(row);
  if (!r) return nullptr;
  const auto n = AtColumn(r->numbers, column);
  return n == r->numbers.end() || n->column != column ? nullptr : &*n;
}

CellValue XlsxSheet::Value(int row, int column) const {
  CheckPosition(row, column);
  // The row looked up once for both kinds of cell.
  const Row* r = RowForReading(row);
  if (!r) return CellValue::Empty();
  if (const auto n = AtColumn(r->numbers, column); n != r->numbers.end() && n->column == column)
    return CellValue::Number(n->value);
  const auto c = AtColumn(r->cells, column);
  if (c == r->cells.end() || c->column != column) return CellValue::Empty();
  pugi::xml_node cell = c->node;
  const std::string_view type = cell.attribute("t").value();
  if (type == "inlineStr") {
    pugi::xml_node is = Child(cell, "is");
    return is ? CellValue::Text(RichText(is)) : CellValue::Empty();
  }
  pugi::xml_node v = Child(cell, "v");
  if (!v) {
    // A formula that was never calculated (many generators write none) has
    // no value to give: its own kind, not an empty cell read as 0.
    if (pugi::xml_node f = Child(cell, "f"))
      return {CellValue::Kind::UncalculatedFormula, 0.0, FormulaText(row, column, f)};
    return CellValue::Empty(); // only a style
  }
  const char* text = v.text().get();
  if (type == "s") {
    long index = -1;
    std::string_view digits = text;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), index);
    if (ec != std::errc() || end != digits.data() + digits.size()) index = -1;
    return CellValue::Text(book_.strings.At(index, Where(row, column)));
  }
  if (type == "str" || type == "d") {
    // Text from a formula, or a date in ISO form.
    return CellValue::Text(DecodeEscapes(text));
  }
  // An error value such as #DIV/0! and a logical value are no numbers.
  if (type == "e") return {CellValue::Kind::Error, 0.0, DecodeEscapes(text)};
  double number = 0.0;
  if (type == "b") {
    const std::string_view b = text;
    if (b == "1" || b == "true" || b == "TRUE") return {CellValue::Kind::Boolean, 1.0, "TRUE"};
    if (b == "0" || b == "false" || b == "FALSE") return {CellValue::Kind::Boolean, 0.0, "FALSE"};
  } else if (ParseStoredNumber(text, number)) {
    return CellValue::Number(number);
  } else if (std::string_view(text).empty()) {
    return CellValue::Empty();
  }
  book_.package.Damaged(Where(row, column) + " holds \"" + TextForMessage(text) +
                        "\" where a stored number is expected");
}

pugi::xml_node XlsxSheet::SheetData() {
  Load();
  if (!sheetData_) sheetData_ = InsertInOrder(doc_->document_element(), "sheetData", kWorksheetOrder);
  return sheetData_;
}

int XlsxSheet::DefaultStyle(pugi::xml_node rowNode, int column) const {
  // A new cell takes the row's format if the row has one, else its column's.
  if (rowNode.attribute("customFormat").as_bool() && rowNode.attribute("s")) return rowNode.attribute("s").as_int();
  for (const ColumnStyle& cs : columnStyles_) {
    if (column >= cs.min && column <= cs.max) return cs.style;
  }
  return 0;
}

int XlsxSheet::DefaultStyle(Row& row, int column) const {
  if (row.formatted < 0) {
    row.formatted = row.node.attribute("customFormat").as_bool() && row.node.attribute("s") ? 1 : 0;
    if (row.formatted) row.rowStyle = row.node.attribute("s").as_int();
  }
  if (row.formatted) return row.rowStyle;
  for (const ColumnStyle& cs : columnStyles_) {
    if (column >= cs.min && column <= cs.max) return cs.style;
  }
  return 0;
}

XlsxSheet::Row& XlsxSheet::RowForWriting(int row) {
  Load();
  Advance(row);
  pugi::xml_node data = SheetData();
  auto rowIt = rows_.find(row);
  if (rowIt == rows_.end()) {
    const auto next = rows_.upper_bound(row);
    const std::string name = Prefixed(data, "row");
    pugi::xml_node node = next != rows_.end() && next->second.node.parent() == data
                              ? data.insert_child_before(name.c_str(), next->second.node)
                              : data.append_child(name.c_str());
    node.append_attribute("r") = row;
    rowIt = rows_.emplace(row, Row{node, {}, {}, {}}).first;
  }
  return rowIt->second;
}

void XlsxSheet::Touch(int row, int column) {
  dirty_ = true;
  written_ = true;
  minRow_ = std::min(minRow_, row);
  maxRow_ = std::max(maxRow_, row);
  minColumn_ = std::min(minColumn_, column);
  maxColumn_ = std::max(maxColumn_, column);
}

// The cell's element, made if needed: a new cell takes its default format, and
// a number kept outside the DOM becomes an element with the format it had.
pugi::xml_node XlsxSheet::CellForWriting(int row, int column) {
  CheckPosition(row, column);
  Row& r = RowForWriting(row);
  auto cellIt = AtColumn(r.cells, column);
  if (cellIt == r.cells.end() || cellIt->column != column) {
    int style = 0;
    if (auto n = AtColumn(r.numbers, column); n != r.numbers.end() && n->column == column) {
      style = n->style;
      r.numbers.erase(n);
    } else {
      style = DefaultStyle(r.node, column);
      // The row's span hint may no longer cover its cells; it is optional.
      r.node.remove_attribute("spans");
    }
    const std::string name = Prefixed(r.node, "c");
    pugi::xml_node node = cellIt != r.cells.end() && cellIt->node.parent() == r.node
                              ? r.node.insert_child_before(name.c_str(), cellIt->node)
                              : r.node.append_child(name.c_str());
    node.append_attribute("r") = CellAddress(row, column).c_str();
    if (style != 0) node.append_attribute("s") = style;
    cellIt = r.cells.insert(cellIt, {column, node});
  }
  Touch(row, column);
  return cellIt->node;
}

void XlsxSheet::DropSharedFormula(pugi::xml_node master, int masterRow, int masterColumn) {
  // The cells that share this formula hold only a reference to the master's
  // text. With the master overwritten each of them gets the formula as its
  // own, moved from the master to where it stands, as the spreadsheet would
  // have filled it: the cells not written keep their formulas.
  const std::string si = master.attribute("si").value();
  const std::string text = master.text().get();
  for (auto& [r, row] : rows_) {
    for (auto& [c, cell] : row.cells) {
      pugi::xml_node f = Child(cell, "f");
      if (f && f != master && std::string_view(f.attribute("t").value()) == "shared" &&
          si == f.attribute("si").value()) {
        f.remove_attribute("t");
        f.remove_attribute("si");
        f.remove_attribute("ref");
        f.text().set(ShiftFormula(text, r - masterRow, c - masterColumn).c_str());
        dirty_ = true;
      }
    }
  }
  // Streamed: the rows still to come get theirs as they are read.
  NoteDroppedShared(si, text, masterRow, masterColumn);
}

std::string XlsxSheet::FormulaText(int row, int column, pugi::xml_node f) const {
  std::string text = f.text().get();
  if (!text.empty() || std::string_view(f.attribute("t").value()) != "shared") return text;
  // A cell sharing a formula: the master's text, moved here.
  const std::string si = f.attribute("si").value();
  if (const auto* master = StreamedMaster(si))
    return ShiftFormula(master->text, row - master->row, column - master->column);
  for (const auto& [r, rowCells] : rows_) {
    for (const auto& [c, cell] : rowCells.cells) {
      pugi::xml_node m = Child(cell, "f");
      if (m && m.attribute("ref") && std::string_view(m.attribute("t").value()) == "shared" &&
          si == m.attribute("si").value()) {
        return ShiftFormula(m.text().get(), row - r, column - c);
      }
    }
  }
  return "(a shared formula without its master)";
}

void XlsxSheet::SetEmpty(int row, int column) {
  CheckPosition(row, column);
  Load();
  Advance(row);
  const auto r = rows_.find(row);
  if (r == rows_.end()) return;
  if (auto n = AtColumn(r->second.numbers, column); n != r->second.numbers.end() && n->column == column) {
    r->second.numbers.erase(n); // a number written in this run, where there was no cell
    Touch(row, column);
    return;
  }
  pugi::xml_node cell = FindCell(row, column);
  if (!cell || (!Child(cell, "v") && !Child(cell, "f") && !Child(cell, "is"))) return;
  DropContent(cell, row, column); // the cell element stays with its format
  Touch(row, column);
}

void XlsxSheet::DropContent(pugi::xml_node cell, int row, int column) {
  if (pugi::xml_node f = Child(cell, "f")) {
    // A constant replaces the formula: its calculation chain entry goes too.
    if (std::string_view(f.attribute("t").value()) == "shared" && f.attribute("ref")) DropSharedFormula(f, row, column);
    cell.remove_child(f);
    book_.calcChain.Remove(info_.sheetId, CellAddress(row, column));
  }
  while (pugi::xml_node v = Child(cell, "v")) cell.remove_child(v);
  while (pugi::xml_node is = Child(cell, "is")) cell.remove_child(is);
  cell.remove_attribute("t");
  cell.remove_attribute("cm");
  cell.remove_attribute("vm");
  alignments_.erase({row, column});
}

void XlsxSheet::SetNumber(int row, int column, double value) {
  if (!std::isfinite(value)) {
    throw WorkbookError("Cannot write " + FormatNumber(value) + " into " + Where(row, column) + " of " + book_.Where() +
                        ": a workbook cell holds only finite numbers.");
  }
  CheckPosition(row, column);
  Row& r = RowForWriting(row);
  if (auto cell = AtColumn(r.cells, column); cell == r.cells.end() || cell->column != column) {
    // No element: the number is kept outside the DOM.
    auto n = AtColumn(r.numbers, column);
    if (n != r.numbers.end() && n->column == column) {
      n->value = value;
    } else {
      r.numbers.insert(n, {column, DefaultStyle(r, column), value});
      if (!r.spansDropped) r.node.remove_attribute("spans");
      r.spansDropped = true;
    }
    Touch(row, column);
    return;
  }
  pugi::xml_node cell = CellForWriting(row, column);
  DropContent(cell, row, column);
  // The shortest text that reads back as the same double, always with '.'.
  InsertInOrder(cell, "v", kCellOrder).text().set(FormatNumber(value).c_str());
}

void XlsxSheet::SetText(int row, int column, std::string_view text) {
  pugi::xml_node cell = CellForWriting(row, column);
  DropContent(cell, row, column);
  cell.append_attribute("t") = "inlineStr";
  pugi::xml_node is = InsertInOrder(cell, "is", kCellOrder);
  SetTextElement(is.append_child(Prefixed(cell, "t").c_str()), text);
}

void XlsxSheet::Align(int row, int column, int start, int length, std::uint8_t kind) {
  CheckPosition(row, column);
  Load();
  Advance(row);
  pugi::xml_node existing = FindCell(row, column); // a number kept outside the DOM has no text
  if (!existing || Child(existing, "f")) return;   // no text of its own to format
  const CellValue value = Value(row, column);
  if (value.kind != CellValue::Kind::Text) return;
  const std::size_t count = CodePointCount(value.text);
  auto& kinds = alignments_[{row, column}];
  kinds.resize(count, kPlain);
  // Characters beyond the text are ignored, as the spreadsheet does.
  const long first = std::max(1, start);
  const long last = std::min<long>(static_cast<long>(count), static_cast<long>(start) + length - 1);
  for (long i = first; i <= last; ++i) kinds[static_cast<std::size_t>(i - 1)] = kind;
  const std::vector<std::uint8_t> keep = kinds;
  pugi::xml_node cell = CellForWriting(row, column);
  DropContent(cell, row, column);
  WriteRuns(cell, book_.styles.FontOfStyle(cell.attribute("s").as_int()), value.text, keep);
  alignments_[{row, column}] = keep;
}

} // namespace vontralek::workbook
