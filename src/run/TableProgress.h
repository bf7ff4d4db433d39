#pragma once

#include <cstdint>

namespace vontralek {

// Receives the progress of a table run: the command line's bar. A table is
// streamed, so the row count is not known beforehand; the listener may know
// how much of the input was read (see DigestingInput).
class TableProgressListener {
public:
  virtual ~TableProgressListener() = default;
  // After each row written, in input order, on the thread that writes.
  virtual void OnRowsWritten(std::int64_t rows) = 0;
};

} // namespace vontralek
