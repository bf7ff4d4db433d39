#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

namespace vontralek::workbook {

// The value of one cell: empty, a number, or a text. A formula cell gives its
// cached value.
struct CellValue {
  enum class Kind { Empty, Number, Text };
  Kind kind = Kind::Empty;
  double number = 0.0;
  std::string text;

  static CellValue Empty() { return {}; }
  static CellValue Number(double v) { return {Kind::Number, v, {}}; }
  static CellValue Text(std::string t) { return {Kind::Text, 0.0, std::move(t)}; }

  bool IsEmpty() const { return kind == Kind::Empty; }
  // Exact, case-sensitive comparison; a number or an empty cell never equals a text.
  bool EqualsText(std::string_view t) const { return kind == Kind::Text && text == t; }
};

// "P5" for row 5, column 16. Rows and columns are 1-based.
std::string CellAddress(int row, int column);

class Worksheet {
public:
  virtual ~Worksheet() = default;

  virtual std::string Name() const = 0;
  virtual int Number() const = 0; // 1-based position in the workbook

  virtual CellValue Value(int row, int column) const = 0;
  bool IsEmpty(int row, int column) const { return Value(row, column).IsEmpty(); }
  // The value as a double: empty = 0, a number as stored, text that reads as a
  // finite decimal number is converted; any other text throws TypeMismatchError
  // naming the worksheet, the cell in A1 form and the text found.
  double NumberValue(int row, int column) const;

  virtual void SetNumber(int row, int column, double value) = 0;
  virtual void SetText(int row, int column, std::string_view text) = 0;
  // Characters start..start+length-1 (1-based) of the cell's text are shown
  // lowered (subscript) or raised (superscript).
  virtual void SetSubscript(int row, int column, int start, int length) = 0;
  virtual void SetSuperscript(int row, int column, int start, int length) = 0;
};

class Workbook {
public:
  virtual ~Workbook() = default;

  // Worksheet by 1-based number; throws WorkbookError when it does not exist.
  virtual Worksheet& Worksheets(int number) = 0;
  virtual int WorksheetCount() const = 0;
  // The worksheet becomes the one shown when the file is next opened.
  virtual void Activate(int number) = 0;
  // Writes the workbook back to the file it was opened from (atomically).
  virtual void Save() = 0;
  // Writes the workbook to another file, leaving the original untouched.
  virtual void SaveAs(const std::filesystem::path& path) = 0;
  virtual std::filesystem::path Path() const = 0;
};

// Opens a workbook file (.xlsx, .xlsm; .xls and .ods through LibreOffice).
// Throws WorkbookError naming the file and the problem.
std::unique_ptr<Workbook> OpenWorkbook(const std::filesystem::path& path);

// Refuses a workbook that a spreadsheet application has open (LibreOffice's
// ".~lock.NAME#" or Excel's "~$NAME" beside it): saving over it would lose the
// results or the user's edits. Throws WorkbookError saying what to do.
void CheckNotOpenElsewhere(const std::filesystem::path& path);

// Parses text as a finite decimal number, independent of the process locale.
// Returns false for anything else ("nan", "inf", hexadecimal, "7,25", "").
bool ParseDecimal(std::string_view text, double& value);

} // namespace vontralek::workbook
