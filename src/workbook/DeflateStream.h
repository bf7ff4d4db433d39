#pragma once

// A part written as a stream: its text deflated piece by piece into an
// unnamed temporary file (in TMPDIR or beside the workbook: see
// TemporarySpace.h), so that a sheet of gigabytes never sits in memory.
//
// The part is three independent deflate segments: the text before the rows,
// the rows, the text after them. The first two end on a byte boundary with a
// block that is not the last (a sync flush), so their concatenation is one
// valid deflate stream; the text before the rows, which changes until the
// save (the used range, the selected tab), is thus deflated last.
// The rows are deflated on a thread of their own, a piece at a time, while
// the caller goes on (a batch solves its next samples meanwhile), by ISA-L's
// igzip at level 1: on a batch's sheet XML about 3.7 times faster than
// zlib's level 1 with 8 % smaller output, and, unlike libdeflate, a stream.

#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

struct isal_zstream;

namespace vontralek::workbook {

class DeflateStream {
public:
  // The temporary file is made in folder when the first rows are deflated.
  explicit DeflateStream(const std::filesystem::path& folder);
  ~DeflateStream();
  DeflateStream(const DeflateStream&) = delete;
  DeflateStream& operator=(const DeflateStream&) = delete;

  // The temporary file is made in folder now (so that a folder where none can
  // be made is known at once), or moved there while nothing was written to it.
  void MoveTo(const std::filesystem::path& folder);
  // The rows' text, in order.
  void Append(std::string_view text);
  // Ends the rows' segment; head and tail are the text around it.
  void Finish(std::string_view head, std::string_view tail);
  // The rows' text so far, unpacked again (for a sheet that must be edited
  // out of order after all).
  std::string Inflate();

  // After Finish: the part as deflated data, its unpacked size and CRC-32.
  std::uint64_t Size() const { return size_; }
  std::uint64_t CompressedSize() const { return head_.size() + rowsCompressed_ + tail_.size(); }
  std::uint32_t Crc() const { return crc_; }
  // Time spent deflating the rows (on the worker, beside the caller's work).
  double Seconds() const { return seconds_; }
  // Copies up to length bytes of the deflated part from offset; returns how many.
  std::size_t Read(std::uint64_t offset, char* data, std::size_t length) const;

private:
  // On the worker only: igzip's AVX-512 code leaves the upper vector registers
  // dirty, which a thread started later from the calling thread would inherit
  // (the solver's pow then runs 2.5 times slower).
  void Deflate(std::string& text, bool flush); // flush: end on a byte boundary
  void Hand(bool flush = false);               // pending_ to the worker
  void Wait();                                 // until the worker is idle; rethrows its failure
  void Work();
  [[noreturn]] static void Failed(const std::string& what);

  std::unique_ptr<isal_zstream> z_;
  std::unique_ptr<unsigned char[]> levelBuffer_;
  std::filesystem::path folder_;
  std::FILE* file_ = nullptr;
  std::string pending_; // rows' text not yet handed over
  std::string working_; // the piece the worker deflates
  std::mutex mutex_;
  std::condition_variable changed_;
  bool busy_ = false, stop_ = false, flushing_ = false;
  std::exception_ptr failure_;
  std::thread worker_;
  std::uint64_t rowsSize_ = 0, rowsCompressed_ = 0, size_ = 0;
  std::uint32_t rowsCrc_ = 0, crc_ = 0;
  std::string head_, tail_; // deflated
  bool finished_ = false;
  double seconds_ = 0;
};

} // namespace vontralek::workbook
