#pragma once

// A part written as a stream: its text deflated piece by piece into an
// anonymous temporary file, so that a sheet of gigabytes never sits in memory.
//
// The part is three independent deflate segments: the text before the rows,
// the rows, the text after them. The first two end on a byte boundary with a
// block that is not the last (a sync flush), so their concatenation is one
// valid deflate stream; the text before the rows, which changes until the
// save (the used range, the selected tab), is thus deflated last.

#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace vontralek::workbook {

class DeflateStream {
public:
  DeflateStream();
  ~DeflateStream();
  DeflateStream(const DeflateStream&) = delete;
  DeflateStream& operator=(const DeflateStream&) = delete;

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
  // Copies up to length bytes of the deflated part from offset; returns how many.
  std::size_t Read(std::uint64_t offset, char* data, std::size_t length) const;

private:
  void Deflate(int flush);
  [[noreturn]] static void Failed(const std::string& what);

  z_stream z_{};
  std::FILE* file_ = nullptr;
  std::string pending_; // rows' text not yet deflated
  std::uint64_t rowsSize_ = 0, rowsCompressed_ = 0, size_ = 0;
  std::uint32_t rowsCrc_ = 0, crc_ = 0;
  std::string head_, tail_; // deflated
  bool finished_ = false;
};

} // namespace vontralek::workbook
