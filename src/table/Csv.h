#pragma once

// Streaming CSV (RFC 4180): fields separated by commas, quoted with '"' when
// they hold a comma, a quote (doubled) or a line break; records end in LF or
// CRLF; a UTF-8 byte-order mark at the start is skipped. One record is held
// at a time, so memory stays flat whatever the row count.

#include <cstddef>
#include <istream>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace vontralek::table {

// A table that cannot be read. The message names the source, the line
// (1-based, counting every line of the file, the header being line 1) and,
// where one is at fault, the column (1-based, with its name when known).
class CsvError : public std::runtime_error {
public:
  CsvError(const std::string& message, std::size_t line, std::size_t column)
      : std::runtime_error(message), line_(line), column_(column) {}
  std::size_t line() const { return line_; }
  std::size_t column() const { return column_; } // 0: the whole line

private:
  std::size_t line_, column_;
};

// "SOURCE line L, column C (NAME)" for messages; column 0 leaves the column out.
std::string Place(std::string_view source, std::size_t line, std::size_t column, std::string_view columnName = {});

// How numbers and fields are written: the canonical comma-separated table
// with decimal points, or what European lab software exports, fields
// separated by ';' and numbers with a decimal comma.
struct CsvFormat {
  char delimiter = ',';
  bool decimalComma = false;
};

// The format of a table from its header line (the text up to the first line
// end): ';' between the column names and no ',' outside quotes is the
// European export, ';'-separated with decimal commas; anything else is the
// canonical comma-separated table.
CsvFormat DetectFormat(std::string_view headerLine);

// Every ',' of a number written with a decimal comma made a '.', into
// scratch; the view of scratch. A '.' in it (a thousands separator or a
// decimal point where commas are expected) is kept, for the caller to refuse.
std::string_view DecimalPointText(std::string_view text, std::string& scratch);

class CsvReader {
public:
  // Reads the header line. An input without any line (or only a byte-order
  // mark and blank lines) throws CsvError: the file is empty. Without a
  // format, it is taken from the header line (DetectFormat).
  CsvReader(std::istream& in, std::string source, std::optional<CsvFormat> format = std::nullopt);
  const CsvFormat& Format() const { return format_; }

  const std::vector<std::string>& Header() const { return header_; }

  // The next record into fields (their storage is reused); false at the end.
  // Blank lines are skipped. Throws CsvError for a quote that is not closed,
  // text after a closing quote, a quote inside an unquoted field, a record
  // whose field count differs from the header's, and, on the first call, a
  // file that has a header but no record.
  bool Next(std::vector<std::string>& fields);

  // The line on which the record last read starts.
  std::size_t RecordLine() const { return recordLine_; }
  // "SOURCE line L, column C (NAME)" of a field of the record last read
  // (column 0-based here, as an index into the fields).
  std::string Where(std::size_t fieldIndex) const;
  const std::string& Source() const { return source_; }

private:
  int Peek();
  int Get();
  bool Fill();
  bool ReadRecord(std::vector<std::string>& fields);
  [[noreturn]] void Fail(std::size_t line, std::size_t column, const std::string& what) const;

  std::istream& in_;
  std::string source_;
  std::vector<char> buffer_;
  std::size_t pos_ = 0, end_ = 0;
  std::size_t line_ = 1, recordLine_ = 0, records_ = 0;
  std::vector<std::string> header_;
  CsvFormat format_;
};

// One record built as text, so that rows can be formatted on one thread and
// written on another. Fields are quoted only when they hold the delimiter, a
// quote, CR or LF; the record ends in LF. With a decimal comma, numbers are
// written with ',' where std::to_chars puts '.'.
class CsvRow {
public:
  explicit CsvRow(CsvFormat format = {}) : format_(format) {}
  // Builds the record in storage's memory (its text is dropped), so that a
  // row reused for every record allocates nothing once it is large enough.
  void Reuse(std::string&& storage);
  // Ends the record and hands its text (line end included) over.
  std::string Release();
  void Text(std::string_view text);
  // The shortest text that reads back to the same double (std::to_chars's bytes);
  // NaN, an undefined value, is an empty field.
  void Number(double value);
  void Empty();
  // Ends the record and gives its text (line end included).
  const std::string& End();
  // Starts a new record, reusing the storage.
  void Clear();

private:
  void Separate();
  // Room for at least n more bytes after the used ones.
  char* Room(std::size_t n);
  CsvFormat format_;
  // The record is its first used_ bytes; the rest is room written into
  // directly (a field costs no append of its own).
  std::string text_;
  std::size_t used_ = 0;
  bool first_ = true;
};

// Writes records one field at a time; each row goes out when it ends.
class CsvWriter {
public:
  explicit CsvWriter(std::ostream& out, CsvFormat format = {}) : out_(out), row_(format) {}
  void Text(std::string_view text) { row_.Text(text); }
  void Number(double value) { row_.Number(value); }
  void Empty() { row_.Empty(); }
  void EndRow();
  void Row(const std::vector<std::string>& fields);

private:
  std::ostream& out_;
  CsvRow row_;
};

} // namespace vontralek::table
