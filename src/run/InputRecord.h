#pragma once

// What the provenance record of a table run says about its input: the file's
// path, its size and the SHA-256 of its bytes, taken as the reader reads them
// (so the digest is that of exactly the bytes the results come from, and the
// file is read once), and the time the run started.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <streambuf>
#include <string>
#include <vector>

namespace vontralek {

struct InputRecord {
  std::string path;        // as given on the command line; "-" for standard input
  std::uint64_t bytes = 0; // the size read
  std::string sha256;      // hex, lower case
};

// A stream buffer between the input (a file or standard input) and the table
// reader that counts and hashes every byte that passes through it.
class DigestingInput : public std::streambuf {
public:
  // size: the input's size when known beforehand (a regular file), for the
  // progress; none for a pipe.
  DigestingInput(std::streambuf& source, std::optional<std::uint64_t> size);
  ~DigestingInput() override;
  DigestingInput(const DigestingInput&) = delete;
  DigestingInput& operator=(const DigestingInput&) = delete;

  // Bytes handed to the reader so far; safe to ask from another thread.
  std::uint64_t BytesRead() const { return bytesRead_.load(std::memory_order_relaxed); }
  std::optional<std::uint64_t> Size() const { return size_; }
  // The fraction of the input read, when its size is known.
  std::optional<double> FractionRead() const;
  // Reads what the reader left (nothing after a complete run) and gives the
  // record of the whole input. Throws std::runtime_error when hashing fails.
  InputRecord Finish(const std::string& path);

protected:
  int_type underflow() override;

private:
  void Hash(const char* data, std::size_t n);
  std::streambuf& source_;
  std::optional<std::uint64_t> size_;
  std::vector<char> buffer_;
  struct Context;
  std::unique_ptr<Context> context_;
  std::atomic<std::uint64_t> bytesRead_{0};
};

// A time as UTC in ISO 8601 to the second: "2026-12-07T18:05:09Z".
std::string UtcIso8601(std::chrono::system_clock::time_point time);

} // namespace vontralek
