#include "workbook/DeflateStream.h"

#include <unistd.h>

#include <isa-l/igzip_lib.h>
#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "common/Errors.h"
#include "workbook/TemporarySpace.h"

namespace vontralek::workbook {

namespace {
constexpr std::size_t kPiece = 1 << 18; // text deflated at a time

// One segment deflated on its own, ending as flush says.
std::string DeflateSegment(std::string_view text, int flush) {
  z_stream z{};
  if (deflateInit2(&z, 1, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) throw std::bad_alloc();
  std::string out(deflateBound(&z, text.size()) + 16, '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
  z.avail_in = static_cast<uInt>(text.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  deflate(&z, flush);
  out.resize(out.size() - z.avail_out);
  deflateEnd(&z);
  return out;
}
} // namespace

void DeflateStream::Failed(const std::string& what) {
  throw WorkbookError("Cannot save the workbook: " + what + " (" + std::strerror(errno) +
                      "). The file on disk was not changed. Check that the temporary folder has space.");
}

DeflateStream::DeflateStream(const std::filesystem::path& folder)
    : z_(std::make_unique<isal_zstream>()), folder_(folder) {
  // Raw deflate (no gzip or zlib wrapper) with a 32 kB window, as a zip part needs.
  isal_deflate_init(z_.get());
  z_->level = 1;
  levelBuffer_ = std::make_unique<unsigned char[]>(ISAL_DEF_LVL1_DEFAULT);
  z_->level_buf = levelBuffer_.get();
  z_->level_buf_size = ISAL_DEF_LVL1_DEFAULT;
  z_->end_of_stream = 0; // the text after the rows follows in a segment of its own
  pending_.reserve(kPiece + 4096);
  worker_ = std::thread([this] { Work(); });
}

DeflateStream::~DeflateStream() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  changed_.notify_all();
  worker_.join();
  if (file_) std::fclose(file_);
}

void DeflateStream::MoveTo(const std::filesystem::path& folder) {
  Wait();
  if (rowsSize_ > 0 || !pending_.empty() || finished_) return;
  std::FILE* moved = UnnamedTemporaryFile(folder);
  if (file_) std::fclose(file_);
  file_ = moved;
  folder_ = folder;
}

void DeflateStream::Work() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return busy_ || stop_; });
    if (!busy_) return;
    lock.unlock();
    std::exception_ptr failure;
    try {
      Deflate(working_, flushing_);
    } catch (...) {
      failure = std::current_exception();
    }
    lock.lock();
    if (failure && !failure_) failure_ = failure;
    busy_ = false;
    changed_.notify_all();
  }
}

void DeflateStream::Wait() {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [this] { return !busy_; });
  if (failure_) std::rethrow_exception(failure_);
}

void DeflateStream::Hand(bool flush) {
  Wait();
  if (!file_) file_ = UnnamedTemporaryFile(folder_); // made when first needed
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    working_.swap(pending_);
    flushing_ = flush;
    busy_ = true;
  }
  changed_.notify_all();
  pending_.clear();
}

void DeflateStream::Deflate(std::string& text, bool flush) {
  const auto start = std::chrono::steady_clock::now();
  rowsCrc_ = libdeflate_crc32(rowsCrc_, text.data(), text.size());
  rowsSize_ += text.size();
  isal_zstream& z = *z_;
  z.next_in = reinterpret_cast<std::uint8_t*>(text.data());
  z.avail_in = static_cast<std::uint32_t>(text.size());
  z.flush = flush ? SYNC_FLUSH : NO_FLUSH;
  unsigned char out[1 << 16];
  do {
    z.next_out = out;
    z.avail_out = sizeof out;
    if (isal_deflate(&z) != COMP_OK) Failed("the worksheet could not be compressed");
    const std::size_t n = sizeof out - z.avail_out;
    if (n > 0 && std::fwrite(out, 1, n, file_) != n) Failed("writing the worksheet's temporary file failed");
    rowsCompressed_ += n;
  } while (z.avail_out == 0 || z.avail_in > 0);
  text.clear();
  seconds_ += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void DeflateStream::Append(std::string_view text) {
  pending_.append(text);
  if (pending_.size() >= kPiece) Hand();
}

void DeflateStream::Finish(std::string_view head, std::string_view tail) {
  Wait();
  if (!finished_) {
    Hand(true);
    Wait();
  }
  finished_ = true;
  if (std::fflush(file_) != 0) Failed("writing the worksheet's temporary file failed");
  head_ = DeflateSegment(head, Z_SYNC_FLUSH);
  tail_ = DeflateSegment(tail, Z_FINISH);
  const auto crcOf = [](std::string_view text) {
    return crc32(0, reinterpret_cast<const Bytef*>(text.data()), static_cast<uInt>(text.size()));
  };
  uLong crc = crc32_combine(crcOf(head), rowsCrc_, static_cast<z_off_t>(rowsSize_));
  crc = crc32_combine(crc, crcOf(tail), static_cast<z_off_t>(tail.size()));
  crc_ = static_cast<std::uint32_t>(crc);
  size_ = head.size() + rowsSize_ + tail.size();
}

std::size_t DeflateStream::Read(std::uint64_t offset, char* data, std::size_t length) const {
  std::size_t done = 0;
  auto from = [&](std::string_view segment, std::uint64_t start) {
    if (done == length || offset + done < start || offset + done >= start + segment.size()) return;
    const std::size_t at = static_cast<std::size_t>(offset + done - start);
    const std::size_t n = std::min(length - done, segment.size() - at);
    std::memcpy(data + done, segment.data() + at, n);
    done += n;
  };
  from(head_, 0);
  const std::uint64_t rowsStart = head_.size();
  while (done < length && offset + done >= rowsStart && offset + done < rowsStart + rowsCompressed_) {
    const std::uint64_t at = offset + done - rowsStart;
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(length - done, rowsCompressed_ - at));
    const ssize_t n = ::pread(fileno(file_), data + done, want, static_cast<off_t>(at));
    if (n <= 0) return done;
    done += static_cast<std::size_t>(n);
  }
  from(tail_, rowsStart + rowsCompressed_);
  return done;
}

std::string DeflateStream::Inflate() {
  Wait();
  Hand(true); // all the rows so far, out of the compressor too
  Wait();
  std::fflush(file_);
  std::string text;
  z_stream z{};
  if (inflateInit2(&z, -15) != Z_OK) throw std::bad_alloc();
  char in[1 << 16], out[1 << 16];
  for (std::uint64_t offset = 0; offset < rowsCompressed_;) {
    const ssize_t n = ::pread(fileno(file_), in, sizeof in, static_cast<off_t>(offset));
    if (n <= 0) break;
    offset += static_cast<std::uint64_t>(n);
    z.next_in = reinterpret_cast<Bytef*>(in);
    z.avail_in = static_cast<uInt>(n);
    do {
      z.next_out = reinterpret_cast<Bytef*>(out);
      z.avail_out = sizeof out;
      const int rc = inflate(&z, Z_NO_FLUSH);
      text.append(out, sizeof out - z.avail_out);
      if (rc != Z_OK && rc != Z_BUF_ERROR) break;
    } while (z.avail_out == 0);
  }
  inflateEnd(&z);
  return text;
}

} // namespace vontralek::workbook
