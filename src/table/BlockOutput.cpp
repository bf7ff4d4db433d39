#include "table/BlockOutput.h"

namespace vontralek::table {

// A little more than a block, so that the row that fills it rarely grows it.
BlockOutput::BlockOutput(std::ostream& out) : out_(out) { block_.reserve(kBlockSize + (std::size_t{1} << 14)); }

bool BlockOutput::WriteBlock() {
  // A write of more than the stream's own buffer goes to the file in one call.
  out_.write(block_.data(), static_cast<std::streamsize>(block_.size()));
  block_.clear();
  return static_cast<bool>(out_);
}

bool BlockOutput::Append(std::string_view text) {
  block_.append(text);
  return block_.size() < kBlockSize || WriteBlock();
}

bool BlockOutput::Flush() {
  if (!block_.empty() && !WriteBlock()) return false;
  out_.flush();
  return static_cast<bool>(out_);
}

} // namespace vontralek::table
