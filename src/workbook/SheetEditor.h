#pragma once

// One worksheet part, edited: the DOM of the part, parsed on first use, with an
// ordered index of rows and cells so that lookups and inserts stay O(log n),
// and numbers written where there was no cell kept outside the DOM until the
// part is written out.

#include <pugixml.hpp>

#include <algorithm>
#include <climits>
#include <cstdint>
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

// The parts of the workbook a worksheet reads or changes besides its own.
struct SheetContext {
  const PackageReader& package;
  SharedStrings& strings;
  Styles& styles;
  CalcChain& calcChain;
  std::string Where() const; // the workbook, for messages
};

class XlsxSheet : public Worksheet {
public:
  struct Info {
    std::string name;
    int tabIndex = 0; // position among all sheets of <sheets>, 0-based
    int sheetId = 0;
    std::string part;
  };

  XlsxSheet(SheetContext book, Info info, int number) : book_(book), info_(std::move(info)), number_(number) {}

  std::string Name() const override { return info_.name; }
  int Number() const override { return number_; }
  CellValue Value(int row, int column) const override;
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
  bool Dirty() const { return dirty_; }
  bool Written() const { return written_; }
  void Load() const;
  std::string Serialize();
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
    std::vector<DomCell> cells;      // sorted by column
    std::vector<NumberCell> numbers; // sorted by column; never a column of cells
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
  pugi::xml_node FindCell(int row, int column) const;
  const NumberCell* FindNumber(int row, int column) const;
  Row& RowForWriting(int row);
  void Touch(int row, int column);
  pugi::xml_node CellForWriting(int row, int column);
  struct Mark {
    int row;
    std::size_t first, last;
  };
  void ExpandNumbers(const Mark& mark, std::string& out) const;
  pugi::xml_node SheetData();
  void DropContent(pugi::xml_node cell, int row, int column);
  void DropSharedFormula(pugi::xml_node master, int row, int column);
  std::string FormulaText(int row, int column, pugi::xml_node f) const;
  void Align(int row, int column, int start, int length, std::uint8_t kind);
  int DefaultStyle(pugi::xml_node rowNode, int column) const;
  void UpdateDimension();

  SheetContext book_;
  Info info_;
  int number_;
  mutable std::unique_ptr<pugi::xml_document> doc_;
  mutable pugi::xml_node sheetData_;
  mutable std::map<int, Row> rows_;
  mutable std::vector<ColumnStyle> columnStyles_;
  bool dirty_ = false;
  bool written_ = false;
  int minRow_ = INT_MAX, minColumn_ = INT_MAX, maxRow_ = 0, maxColumn_ = 0;
  // Character formats set on a cell's text since it was last written, one entry per character.
  std::map<std::pair<int, int>, std::vector<std::uint8_t>> alignments_;
};

} // namespace vontralek::workbook
