#pragma once

// The state of a worksheet edited as a stream of rows (see
// XlsxSheetStreaming.cpp): the passes over the part, the rows read ahead, what
// the check at open noted and the rows written out.

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "workbook/DeflateStream.h"
#include "workbook/PackageReader.h"
#include "workbook/RowStream.h"
#include "workbook/XlsxSheet.h"

namespace vontralek::workbook {

struct XlsxSheet::Stream {
  // A forward pass over the part's rows, one row looked ahead.
  struct Cursor {
    std::unique_ptr<RowStream> rows;
    bool has = false, end = false;
    std::string text;
    int number = 0;
    int taken = 0; // the last row passed
    void Open(const PackageReader& package, const std::string& part) {
      rows = std::make_unique<RowStream>(package, part);
      std::string head;
      rows->Start(head);
      has = end = false;
      taken = 0;
    }
    bool Look() {
      if (!has && !end) (rows->Read(text, number) == RowStream::Next::Row ? has : end) = true;
      return has;
    }
    void Take() {
      has = false;
      taken = number;
    }
  };
  std::string tail; // the part's text from </sheetData> on
  Cursor source;    // the rows after the window
  // Rows taken from source ahead of the window and parsed for reading, by
  // number: kept until the window reaches them (source has passed them).
  std::map<int, Row> near;
  // How far past the window a read takes the rows from source: each parsed
  // row holds a page of memory, so this many at most are kept.
  static constexpr int kNearReach = 1024;
  Cursor ahead; // reads beyond that reach
  // Rows beyond the reach parsed for reading, the latest kept (source still
  // holds them: one taken there is not parsed again).
  std::map<int, Row> far;
  static constexpr std::size_t kFarKept = 1024;
  bool TakeFar(int number, Row& row) {
    const auto found = far.find(number);
    if (found == far.end()) return false;
    row = std::move(found->second);
    far.erase(found);
    return true;
  }
  // The number of the part's next row past the window, read ahead or not.
  bool NextSource(int& number) {
    if (!near.empty()) {
      number = near.begin()->first;
      return true;
    }
    if (!source.Look()) return false;
    number = source.number;
    return true;
  }
  // Column A of every row as checked at open, by row number: whether it is
  // certainly empty or certainly not (a plain number), else unknown. Rows are
  // counted by that column before they are read; the count need not parse them.
  enum : std::uint8_t { kUnknown, kEmpty, kFilled };
  std::vector<std::uint8_t> firstColumn;
  int windowStart = 1; // rows before it are written out
  int loadedUpTo = 0;  // the part's rows up to it are in the window or written out
  std::size_t rowCount = 0;
  std::map<std::string, SharedMaster> masters, dropped; // shared formulas by si; those overwritten
  DeflateStream out;
  std::string text;
  explicit Stream(const std::filesystem::path& temporaryFolder) : out(temporaryFolder) {}
};

} // namespace vontralek::workbook
