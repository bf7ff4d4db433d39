#pragma once

// Records gathered into blocks before they reach the stream: a table of a
// million rows goes out in a few thousand write calls instead of a million.

#include <cstddef>
#include <ostream>
#include <string>
#include <string_view>

namespace vontralek::table {

class BlockOutput {
public:
  // Below this many bytes nothing is written (except by Flush).
  static constexpr std::size_t kBlockSize = std::size_t{1} << 18;

  explicit BlockOutput(std::ostream& out);
  // Keeps text; writes the block once it holds kBlockSize bytes or more.
  // False when the stream failed.
  bool Append(std::string_view text);
  // Writes what is kept and flushes the stream. False when the stream failed.
  bool Flush();

private:
  bool WriteBlock();
  std::ostream& out_;
  std::string block_;
};

} // namespace vontralek::table
