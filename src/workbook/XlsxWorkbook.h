#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "workbook/TemporarySpace.h"
#include "workbook/Workbook.h"

namespace vontralek::workbook {

class FileHold; // FileHold.h

// What the reader accepts from a package, checked while it reads: a package
// beyond these is refused as damaged (a decompression bomb of a few MB can
// unpack to gigabytes). The writer keeps within the same limits, so what it
// saves can always be opened again: a full sheet of 1,048,576 rows of results
// is about 2.5 GB of XML.
struct PackageLimits {
  std::uint64_t maxPartSize = 4ull << 30;    // bytes of one part, uncompressed
  std::uint64_t maxTotalSize = 8ull << 30;   // bytes of all parts read, uncompressed
  std::uint64_t maxEntries = 100000;         // entries in the zip directory
  std::uint64_t maxRatio = 250;              // uncompressed : compressed size of a part...
  std::uint64_t ratioFromSize = 16ull << 20; // ...once it has unpacked to this many bytes
  // A worksheet part this large is edited as a stream of rows, so that memory
  // does not grow with the rows (see XlsxSheetStreaming.cpp) and its rows are
  // deflated on a second thread as a batch writes them: from a few thousand
  // rows on, that is faster than deflating the whole sheet at the save.
  std::uint64_t streamFromSize = 1ull << 20;
  // A package file larger than this is not read into memory whole: its parts
  // are read from the file as they are needed (a full sheet's package is some
  // 70 MB). The file is held (FileHold) and replaced only by a rename, so what
  // is read stays the file that was opened.
  std::uint64_t readWholeUpTo = 16ull << 20;
  // Free bytes in a folder; FreeSpace (statvfs) when empty.
  FreeSpaceQuery freeSpace = {};
};

// An .xlsx or .xlsm package edited in place. The package is kept as the bytes
// it was read from (or, when large, read from its file); at save only the parts that changed (the touched sheets,
// and workbook.xml, calcChain.xml, the relationships and [Content_Types].xml
// when needed) are rewritten, every other part is carried over byte for byte.
class XlsxWorkbook : public Workbook {
public:
  // Reads the file; throws WorkbookError naming the file and the problem.
  static std::unique_ptr<XlsxWorkbook> FromFile(const std::filesystem::path& path, const PackageLimits& limits = {});
  // Opens a package held in memory; displayName is used in messages and as
  // the target of Save.
  static std::unique_ptr<XlsxWorkbook> FromBytes(std::string bytes, const std::filesystem::path& displayName,
                                                 const PackageLimits& limits = {});

  ~XlsxWorkbook() override;

  Worksheet& Worksheets(int number) override;
  int WorksheetCount() const override;
  void Activate(int number) override;
  void Save() override;
  // Writes to path and from then on saves there (the original stays as it was).
  void SaveAs(const std::filesystem::path& path) override;
  std::filesystem::path Path() const override;
  void CheckRoomToWrite(int number, int columns, const std::filesystem::path& target) override;
  PictureSheetState PictureSheet(const std::string& name, std::string_view marker) override;
  void PutPictureSheet(const std::string& name, std::string_view marker, const std::vector<Picture>& pictures) override;

  // The package with every change applied, without touching any file.
  std::string SaveToBytes();
  // Whether worksheet number is edited as a stream of rows (see PackageLimits).
  bool Streamed(int number);
  // Every cell stored in worksheet number, as (row, column) in sheet order.
  std::vector<std::pair<int, int>> CellPositions(int number);
  // Holds the file for the lifetime of this object (see OpenWorkbook): Save
  // refuses to replace a file changed since it was read.
  void HoldFile(std::shared_ptr<FileHold> hold);

  struct Impl;

private:
  explicit XlsxWorkbook(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

// Where the time of the last save of an xlsx workbook in this process went (for
// the benchmarks): the sheet XML written, the new parts deflated, the package
// assembled and checked (deflate excluded), the file written and synced. A
// sheet edited as a stream was deflated on a second thread during the run:
// that time is in deflateSeconds too, though it overlapped the run.
struct SaveTimings {
  double serializeSeconds = 0, deflateSeconds = 0, packageSeconds = 0, fileSeconds = 0;
};
SaveTimings LastSaveTimings();

// File helpers shared by the xlsx and the converted workbooks.
std::string ReadWorkbookFile(const std::filesystem::path& path);
// Writes bytes to a temporary file beside path, flushes it to disk and renames
// it over path, so that path is always either the old or the new file. An
// existing file keeps its permissions, owner and group. A file-size limit
// (ulimit -f) gives a WorkbookError, not a kill by SIGXFSZ.
void WriteFileAtomically(const std::filesystem::path& path, const std::string& bytes);

} // namespace vontralek::workbook
