#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "workbook/Pictures.h"

namespace vontralek::workbook {

// The value of one cell: empty, a number, or a text; a logical value or an
// error value (#DIV/0!, #N/A, ...), which are no numbers; or a formula that was
// never calculated. A formula cell otherwise gives its cached value.
struct CellValue {
  // Boolean: number 1 or 0, text "TRUE"/"FALSE". Error: text "#DIV/0!".
  // UncalculatedFormula: text is the formula (not empty: the cell holds a formula).
  enum class Kind { Empty, Number, Text, Boolean, Error, UncalculatedFormula };
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

void CheckSavable(const std::filesystem::path& target); // below

// "P5" for row 5, column 16. Rows and columns are 1-based.
std::string CellAddress(int row, int column);

class Worksheet {
public:
  virtual ~Worksheet() = default;

  virtual std::string Name() const = 0;
  virtual int Number() const = 0; // 1-based position in the workbook

  virtual CellValue Value(int row, int column) const = 0;
  virtual bool IsEmpty(int row, int column) const { return Value(row, column).IsEmpty(); }
  // The value as a double: empty = 0, a number as stored, text that reads as a
  // finite decimal number is converted; any other text, a logical or error
  // value and a formula without a calculated value throw TypeMismatchError
  // naming the worksheet, the cell in A1 form and what was found.
  double NumberValue(int row, int column) const;
  // The same for the value v just read from the cell (read once, not again).
  double NumberOf(const CellValue& v, int row, int column) const;

  virtual void SetNumber(int row, int column, double value) = 0;
  virtual void SetText(int row, int column, std::string_view text) = 0;
  // Characters start..start+length-1 (1-based) of the cell's text are shown
  // lowered (subscript) or raised (superscript).
  virtual void SetSubscript(int row, int column, int start, int length) = 0;
  virtual void SetSuperscript(int row, int column, int start, int length) = 0;
  // Clears the cell's value (its format stays), e.g. the results of a sample
  // that failed. A cell that was empty stays as it was.
  virtual void SetEmpty(int row, int column) = 0;
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
  // Throws WorkbookError, before anything is calculated, when saving to target
  // would fail or do harm: see CheckSavable. A converted workbook also refuses
  // to replace itself when the round trip would lose content (macros).
  virtual void CheckSaveTo(const std::filesystem::path& target) const { CheckSavable(target); }
  // Throws WorkbookError, before anything is calculated, when writing columns
  // numbers into every row of worksheet number and saving to target would need
  // more room than is free where the temporary data and the new file go (a
  // worksheet large enough to be edited as a stream of rows keeps them in
  // TMPDIR, else beside target). Those data then go there.
  virtual void CheckRoomToWrite(int number, int columns, const std::filesystem::path& target) {
    (void)number, (void)columns, (void)target;
  }
  // A worksheet that holds only pictures: whether name exists and whether all
  // its pictures carry marker (Pictures.h); and putting the pictures on it,
  // after the last worksheet, or in place of those of a sheet of ours. Where a
  // format holds no pictures, a sheet of that name is foreign and putting
  // throws WorkbookError.
  // Names compare without regard to ASCII case, as spreadsheet programs do.
  virtual PictureSheetState PictureSheet(const std::string& name, std::string_view marker);
  virtual void PutPictureSheet(const std::string& name, std::string_view marker, const std::vector<Picture>& pictures);
};

// Opens a workbook file (.xlsx, .xlsm; .xls and .ods through LibreOffice) for a
// run. Throws WorkbookError naming the file and the problem. The workbook is
// held until the object is destroyed: LibreOffice's lock file ".~lock.NAME#" is
// written beside it and an advisory lock (flock and a POSIX record lock) taken,
// so that LibreOffice and a second VONTRALEK run leave it alone; a workbook
// another program holds in any of these ways is refused. Save then refuses to
// replace a file that was changed or replaced since it was read.
std::unique_ptr<Workbook> OpenWorkbook(const std::filesystem::path& path);

// Refuses a workbook that a spreadsheet application has open (LibreOffice's
// ".~lock.NAME#" or Excel's "~$NAME" beside it): saving over it would lose the
// results or the user's edits. Throws WorkbookError saying what to do.
// The lock files are looked for beside the file a symbolic link points to.
void CheckNotOpenElsewhere(const std::filesystem::path& path);

// Whether the workbook can be saved as target without harm; throws
// WorkbookError saying why not and what to do: a file or folder the user may
// not write, a file owned by another user or group (replacing it would change
// its owner), a file with more than one name (hard links: replacing it would
// split them), a name too long for the temporary file beside it. Meant to be
// called right after opening, before anything is calculated; Save checks again.
void CheckSavable(const std::filesystem::path& target);

// Removes the temporary files and LibreOffice profiles of conversions in
// progress and stops a running LibreOffice conversion. For the program's
// SIGINT/SIGTERM handling: call it from the normal flow after the signal was
// noted (it is not async-signal-safe). Safe to call more than once.
void RemoveTemporaryFiles() noexcept;
// Stops a running LibreOffice conversion at once; the conversion then fails
// with a WorkbookError saying it was stopped, and its files are removed as the
// error unwinds. Async-signal-safe: may be called from a SIGINT/SIGTERM handler.
void StopConversion() noexcept;

// A cell's text as messages show it: at most 80 characters, control
// characters escaped (\n, \t, \x1B), characters that show as nothing or as
// a plain space by their code (<U+200B>, <U+00A0>), bytes that are no UTF-8
// as \xFF, "..." where it was cut.
std::string TextForMessage(std::string_view text);

// Parses text as a finite decimal number, independent of the process locale.
// Returns false for anything else ("nan", "inf", hexadecimal, "7,25", "").
bool ParseDecimal(std::string_view text, double& value);

} // namespace vontralek::workbook
