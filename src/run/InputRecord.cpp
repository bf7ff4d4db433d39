#include "run/InputRecord.h"

#include <openssl/evp.h>

#include <ctime>
#include <stdexcept>

#include <fmt/format.h>

namespace vontralek {

struct DigestingInput::Context {
  EVP_MD_CTX* md = EVP_MD_CTX_new();
  ~Context() { EVP_MD_CTX_free(md); }
};

DigestingInput::DigestingInput(std::streambuf& source, std::optional<std::uint64_t> size)
    : source_(source), size_(size), buffer_(1 << 16), context_(std::make_unique<Context>()) {
  if (context_->md == nullptr || EVP_DigestInit_ex(context_->md, EVP_sha256(), nullptr) != 1)
    throw std::runtime_error("The SHA-256 of the input could not be started (OpenSSL).");
}

DigestingInput::~DigestingInput() = default;

void DigestingInput::Hash(const char* data, std::size_t n) {
  if (EVP_DigestUpdate(context_->md, data, n) != 1)
    throw std::runtime_error("The SHA-256 of the input could not be computed (OpenSSL).");
  bytesRead_.fetch_add(n, std::memory_order_relaxed);
}

DigestingInput::int_type DigestingInput::underflow() {
  if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
  const std::streamsize n = source_.sgetn(buffer_.data(), static_cast<std::streamsize>(buffer_.size()));
  if (n <= 0) return traits_type::eof();
  Hash(buffer_.data(), static_cast<std::size_t>(n));
  setg(buffer_.data(), buffer_.data(), buffer_.data() + n);
  return traits_type::to_int_type(buffer_[0]);
}

std::optional<double> DigestingInput::FractionRead() const {
  if (!size_ || *size_ == 0) return std::nullopt;
  const double fraction = static_cast<double>(BytesRead()) / static_cast<double>(*size_);
  return fraction < 1.0 ? fraction : 1.0;
}

InputRecord DigestingInput::Finish(const std::string& path) {
  while (underflow() != traits_type::eof()) setg(buffer_.data(), egptr(), egptr()); // the rest, hashed and dropped
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_DigestFinal_ex(context_->md, digest, &length) != 1)
    throw std::runtime_error("The SHA-256 of the input could not be computed (OpenSSL).");
  InputRecord record{path, BytesRead(), {}};
  for (unsigned int i = 0; i < length; ++i) record.sha256 += fmt::format("{:02x}", digest[i]);
  return record;
}

std::string UtcIso8601(std::chrono::system_clock::time_point time) {
  const std::time_t seconds = std::chrono::system_clock::to_time_t(time);
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return text;
}

} // namespace vontralek
