#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "workbook/PackageReader.h"
#include "workbook/RowStream.h"

namespace vontralek::workbook {

// The part unpacked and cut into rows on a thread of its own while the caller
// checks them, batch by batch, so that the check at open takes about as long
// as the longer of the two halves (on 10,000 rows of a batch: 9 ms to unpack
// and cut, 14 ms to parse and index) rather than both. Whatever the reading
// throws reaches the caller at the row where it happened, as if it had read
// the part itself.
class RowReadAhead {
public:
  RowReadAhead(const PackageReader& package, const std::string& part) : rows_(package, part) {}
  ~RowReadAhead();
  RowReadAhead(const RowReadAhead&) = delete;
  RowReadAhead& operator=(const RowReadAhead&) = delete;

  // As RowStream::Start; the rows after the head are then read ahead (here,
  // if no thread can be started).
  bool Start(std::string& head);
  // As RowStream::Read, the row's text given in place: it stays valid (and
  // may be changed) until the next call.
  RowStream::Next Read(char*& text, std::size_t& length, int& number);
  std::string Tail() const { return batch_.tail; } // after Read gave End

private:
  struct Row {
    std::size_t begin, length;
    int number;
  };
  struct Batch {
    std::string text; // the rows' texts one after the other
    std::vector<Row> rows;
    bool last = false; // the batch ends the part: end says how
    RowStream::Next end = RowStream::Next::End;
    std::exception_ptr error; // thrown reading the row after the batch's rows
    std::string tail;
  };
  static constexpr std::size_t kRowsPerBatch = 256, kBatchesAhead = 4;

  void Work();

  void ReadAhead();

  RowStream rows_;
  std::thread thread_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Batch> ready_;
  bool stop_ = false;
  std::exception_ptr failure_; // the reading ended without a batch to say why
  bool alone_ = false;         // no thread: the caller reads
  Batch batch_;                // the batch being checked (the caller's)
  std::size_t at_ = 0;
};

} // namespace vontralek::workbook
