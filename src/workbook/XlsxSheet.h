#pragma once

// One worksheet part, edited: the DOM of the part, parsed on first use, with an
// ordered index of rows and cells so that lookups and inserts stay O(log n),
// and numbers written where there was no cell kept outside the DOM until the
// part is written out.

#include <pugixml.hpp>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "workbook/RichText.h"
#include "workbook/Workbook.h"

namespace vontralek::workbook {

class PackageReader;
class SharedStrings;
class CalcChain;
class DeflateStream;

// The parts of the workbook a worksheet reads or changes besides its own.
struct SheetContext {
  const PackageReader& package;
  SharedStrings& strings;
  Styles& styles;
  CalcChain& calcChain;
  std::string Where() const; // the workbook, for messages
};

// The name of the processing instructions that stand for numbers kept
// outside the DOM while a sheet is written: random, so that no content of the
// file (a CDATA section is written as it was read) can pass for one.
std::string NumbersMarkName();

class XlsxSheet : public Worksheet {
public:
  struct Info {
    std::string name;
    int tabIndex = 0; // position among all sheets of <sheets>, 0-based
    int sheetId = 0;
    std::string part;
  };

  XlsxSheet(SheetContext book, Info info, int number);
  ~XlsxSheet() override;

  std::string Name() const override { return info_.name; }
  int Number() const override { return number_; }
  CellValue Value(int row, int column) const override;
  // Whether a cell is empty; a streamed sheet answers for column A of the
  // rows ahead from what it noted when it checked them, without reading them again.
  bool IsEmpty(int row, int column) const override;
  void SetNumber(int row, int column, double value) override;
  void SetText(int row, int column, std::string_view text) override;
  void SetSubscript(int row, int column, int start, int length) override {
    Align(row, column, start, length, kSubscript);
  }
  void SetSuperscript(int row, int column, int start, int length) override {
    Align(row, column, start, length, kSuperscript);
  }
  void SetEmpty(int row, int column) override;

  const Info& info() const { return info_; }
  // "worksheet 2 (\"Batch\")", for messages.
  std::string SheetName() const {
    return "worksheet " + std::to_string(number_) + " (\"" + TextForMessage(info_.name) + "\")";
  }
  bool Dirty() const { return dirty_; }
  bool Written() const { return written_; }
  // Reads the part. A part of at least StreamFrom bytes is read as a stream
  // of rows when its form allows (see XlsxSheetStreaming.cpp).
  void Load() const;
  void StreamFrom(std::uint64_t bytes) { streamFromSize_ = bytes; }
  std::string Serialize();
  // Whether the sheet is edited as a stream of rows; its part is then
  // written by FinishStream, not Serialize.
  bool Streamed() const { return stream_ != nullptr; }
  DeflateStream& FinishStream();
  // Streamed: the rows are kept in folder from now on (before any is written out).
  void KeepRowsIn(const std::filesystem::path& folder);
  // The rows of the part as read, or of the DOM.
  std::size_t RowCount() const;
  // After the workbook was saved: the sheet is read again from the new package.
  void Reload();
  std::vector<std::pair<int, int>> Positions() const;
  // Marks or unmarks the sheet as the selected tab of the first workbook view.
  void SetTabSelected(bool selected);
  bool MayBeTabSelected() const;

private:
  struct DomCell {
    int column;
    pugi::xml_node node;
  };
  // A number written where the sheet had no cell, kept outside the DOM: 16
  // bytes instead of about 480 for a <c> element, its r attribute, a <v> child
  // and its text. A batch writes hundreds of thousands of them; they are put
  // into the XML only while the sheet is serialized. A cell that gets a text
  // later moves into the DOM.
  struct NumberCell {
    int column;
    int style;
    double value;
  };
  struct Row {
    pugi::xml_node node;
    std::vector<DomCell> cells;              // sorted by column
    std::vector<NumberCell> numbers;         // sorted by column; never a column of cells
    std::shared_ptr<pugi::xml_document> own; // a streamed row's own document
    // Looked up once for the many numbers a run puts into a row: whether the
    // row's span hint is gone, and the row's own format for new cells.
    bool spansDropped = false;
    signed char formatted = -1; // -1 not looked up yet, 0 none, 1 rowStyle
    int rowStyle = 0;
  };
  // The entry of a vector sorted by column where column is or would go.
  template <class Vector> static auto AtColumn(Vector& cells, int column) {
    return std::lower_bound(cells.begin(), cells.end(), column,
                            [](const auto& cell, int c) { return cell.column < c; });
  }
  struct ColumnStyle {
    int min, max, style;
  };

  std::string Where(int row, int column) const {
    return "worksheet " + std::to_string(number_) + " (\"" + TextForMessage(info_.name) + "\"), cell " +
           CellAddress(row, column);
  }
  void CheckPosition(int row, int column) const;
  void LoadDocument(std::unique_ptr<pugi::xml_document> doc) const;
  // Checks one row element and indexes its cells; numbers made explicit.
  // previousRow: the number of the row before it, becomes this one's.
  Row IndexRow(pugi::xml_node r, int& previousRow) const;
  // Rows or a row's cells listed out of order in the part, put in order (XlsxSheetOrder.cpp).
  void PutRowsInOrder() const;
  static void PutCellsInOrder(const Row& row);
  const Row* RowForReading(int row) const;
  pugi::xml_node FindCell(int row, int column) const;
  const NumberCell* FindNumber(int row, int column) const;
  Row& RowForWriting(int row);
  void Touch(int row, int column);
  pugi::xml_node CellForWriting(int row, int column);
  struct Mark {
    int row;
    std::size_t first, last;
    const Row* row_ = nullptr; // when not (yet) in rows_
  };
  void ExpandNumbers(const Mark& mark, std::string& out) const;
  // Throws WorkbookError: a mark came out of turn (it is never written).
  [[noreturn]] void MarkOutOfOrder(int row) const;
  // Marks for the numbers of row (kept outside the DOM); returns them.
  std::vector<pugi::xml_node> MarkNumbers(int number, Row& row, const std::string& markName,
                                          std::vector<Mark>& ranges) const;

  // Streaming: the rows before the window are written out, the rows after it
  // are still in the part read; see XlsxSheetStreaming.cpp.
  struct Stream;
  bool LoadStreamed() const;
  void NoteFirstColumn(Stream& stream, const Row& row, int number) const;
  // A write to row: the window moves there, writing out the rows before it.
  void Advance(int row) const;
  // The rows from the window on written out (all of them when limit is past the last).
  void WriteOut(int limit) const;
  void PrintRow(int number, Row& row, std::string& out) const;
  std::unique_ptr<pugi::xml_document> ParseRow(const std::string& text) const;
  void ApplyDroppedShared(Row& row, int number) const;
  // The next row of the part, past the window: taken as parsed when read ahead, else parsed; shared formulas fixed.
  Row TakeSourceRow() const;
  // The row at the part's pass (past what was read ahead), parsed.
  Row ParseSourceRow() const;
  // The access left row order: the sheet becomes a whole DOM again.
  void StopStreaming() const;
  struct SharedMaster {
    std::string text;
    int row, column;
  };
  void NoteDroppedShared(const std::string& si, const std::string& text, int row, int column);
  const SharedMaster* StreamedMaster(const std::string& si) const;
  pugi::xml_node SheetData();
  void DropContent(pugi::xml_node cell, int row, int column);
  void DropSharedFormula(pugi::xml_node master, int row, int column);
  std::string FormulaText(int row, int column, pugi::xml_node f) const;
  void Align(int row, int column, int start, int length, std::uint8_t kind);
  int DefaultStyle(pugi::xml_node rowNode, int column) const;
  int DefaultStyle(Row& row, int column) const; // the same, the row's part looked up once
  void UpdateDimension();

  SheetContext book_;
  Info info_;
  int number_;
  mutable std::unique_ptr<pugi::xml_document> doc_;
  mutable pugi::xml_node sheetData_;
  mutable std::map<int, Row> rows_;
  mutable std::vector<ColumnStyle> columnStyles_;
  mutable std::unique_ptr<Stream> stream_;
  std::uint64_t streamFromSize_ = UINT64_MAX;
  bool dirty_ = false;
  bool written_ = false;
  mutable bool readCells_ = false; // the part held cells when it was read
  int minRow_ = INT_MAX, minColumn_ = INT_MAX, maxRow_ = 0, maxColumn_ = 0;
  // Character formats set on a cell's text since it was last written, one entry per character.
  std::map<std::pair<int, int>, std::vector<std::uint8_t>> alignments_;
};

} // namespace vontralek::workbook
