#include "workbook/RowReadAhead.h"

#include <system_error>
#include <utility>

namespace vontralek::workbook {

RowReadAhead::~RowReadAhead() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
}

// As RowStream::Start; the rows after the head are then read ahead (here,
// if no thread can be started).
bool RowReadAhead::Start(std::string& head) {
  if (!rows_.Start(head)) return false;
  try {
    thread_ = std::thread([this] { Work(); });
  } catch (const std::system_error&) {
    alone_ = true;
  }
  return true;
}

// As RowStream::Read, the row's text given in place: it stays valid (and
// may be changed) until the next call.
RowStream::Next RowReadAhead::Read(char*& text, std::size_t& length, int& number) {
  if (alone_) {
    const RowStream::Next next = rows_.Read(batch_.text, number);
    if (next == RowStream::Next::End) batch_.tail = rows_.Tail();
    text = batch_.text.data();
    length = batch_.text.size();
    return next;
  }
  while (at_ == batch_.rows.size()) {
    if (batch_.last) {
      if (batch_.error) std::rethrow_exception(batch_.error);
      return batch_.end;
    }
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return !ready_.empty() || failure_; });
    if (ready_.empty()) std::rethrow_exception(failure_);
    batch_ = std::move(ready_.front());
    ready_.pop_front();
    lock.unlock();
    changed_.notify_all();
    at_ = 0;
  }
  const Row& row = batch_.rows[at_++];
  text = batch_.text.data() + row.begin;
  length = row.length;
  number = row.number;
  return RowStream::Next::Row;
}

void RowReadAhead::Work() {
  try {
    ReadAhead();
  } catch (...) { // no memory to hand a batch over
    const std::lock_guard<std::mutex> lock(mutex_);
    failure_ = std::current_exception();
  }
  changed_.notify_all();
}

void RowReadAhead::ReadAhead() {
  std::string text;
  for (bool last = false; !last;) {
    Batch batch;
    try {
      while (batch.rows.size() < kRowsPerBatch) {
        int number = 0;
        const RowStream::Next next = rows_.Read(text, number);
        if (next != RowStream::Next::Row) {
          batch.last = true;
          batch.end = next;
          if (next == RowStream::Next::End) batch.tail = rows_.Tail();
          break;
        }
        batch.rows.push_back({batch.text.size(), text.size(), number});
        batch.text += text;
      }
    } catch (...) {
      batch.last = true;
      batch.error = std::current_exception();
    }
    last = batch.last;
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return stop_ || ready_.size() < kBatchesAhead; });
    if (stop_) return;
    ready_.push_back(std::move(batch));
    lock.unlock();
    changed_.notify_all();
  }
}

} // namespace vontralek::workbook
