#pragma once

// The rows of a worksheet part read as a stream: the part is unpacked piece by
// piece and cut into the text before its rows, each <row> element, and the
// text after them, so that a sheet of a million rows is never in memory whole.

#include <zip.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace vontralek::workbook {

class PackageReader;

class RowStream {
public:
  // Opens the part for reading (it must exist: see PackageReader::HasPart).
  RowStream(const PackageReader& package, const std::string& part);
  ~RowStream();
  RowStream(const RowStream&) = delete;
  RowStream& operator=(const RowStream&) = delete;

  // Reads up to the first row: head becomes the text up to and including the
  // <sheetData> start tag. False when the part does not have that simple form
  // (no open sheetData, a document type declaration, an encoding other than
  // UTF-8): the caller then reads the part whole.
  bool Start(std::string& head);
  // The next row: its text and its number (its r attribute, else the previous
  // row's number plus one). Kinds: Row, End (then Tail() gives the text from
  // </sheetData> to the end) or Unusual (text or elements other than rows
  // inside sheetData).
  enum class Next { Row, End, Unusual };
  Next Read(std::string& row, int& number);
  std::string Tail();
  // Bytes unpacked so far.
  std::uint64_t Unpacked() const { return unpacked_; }

private:
  bool Fill(std::size_t need); // at least need bytes beyond pos_, unless the part ends
  // Up to length unpacked bytes of the part; 0 at its end.
  std::size_t Unpack(char* data, std::size_t length);
  // The end of the markup item starting at pos_ ('<'), one past it; 0 at a
  // truncated part. depthChange: +1 start tag, -1 end tag, 0 otherwise.
  std::size_t ItemEnd(int& depthChange, bool& unusual);
  [[noreturn]] void Damaged(const std::string& problem) const;

  const PackageReader& package_;
  std::string part_;
  zip_file_t* file_ = nullptr;
  struct Inflater; // a deflated part unpacked here rather than by libzip
  std::unique_ptr<Inflater> inflater_;
  std::uint64_t compressed_ = 0, unpacked_ = 0;
  std::string buffer_;
  std::size_t pos_ = 0;
  bool eof_ = false;
  int previousRow_ = 0;
};

// The row number in a <row ...> start tag's r attribute, or 0 when it has none.
// -1 for a value that is no whole number.
int RowNumberOf(std::string_view rowText);

} // namespace vontralek::workbook
