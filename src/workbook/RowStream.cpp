#include "workbook/RowStream.h"

#include <isa-l/igzip_lib.h>
#include <libdeflate.h>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <vector>

#include "common/Errors.h"
#include "workbook/PackageReader.h"

namespace vontralek::workbook {

namespace {
bool Blank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// The local name of the tag that starts at text[0] ('<' or "</").
std::string_view LocalTagName(std::string_view text) {
  std::size_t start = text.size() > 1 && text[1] == '/' ? 2 : 1, end = start;
  while (end < text.size() && !Blank(text[end]) && text[end] != '>' && text[end] != '/') ++end;
  std::string_view name = text.substr(start, end - start);
  const auto colon = name.find(':');
  return colon == std::string_view::npos ? name : name.substr(colon + 1);
}
} // namespace

int RowNumberOf(std::string_view row) {
  // Attributes up to the end of the start tag; a quote is never inside a name.
  for (std::size_t i = LocalTagName(row).size() + 1; i < row.size() && row[i] != '>';) {
    if (row[i] == '"' || row[i] == '\'') {
      i = row.find(row[i], i + 1);
      if (i == std::string_view::npos) return -1;
      ++i;
      continue;
    }
    if (row[i] == 'r' && Blank(row[i - 1])) {
      std::size_t j = i + 1;
      while (j < row.size() && Blank(row[j])) ++j;
      if (j < row.size() && row[j] == '=') {
        ++j;
        while (j < row.size() && Blank(row[j])) ++j;
        if (j >= row.size() || (row[j] != '"' && row[j] != '\'')) return -1;
        const std::size_t close = row.find(row[j], j + 1);
        if (close == std::string_view::npos) return -1;
        int value = 0;
        const auto [end, ec] = std::from_chars(row.data() + j + 1, row.data() + close, value);
        return ec == std::errc() && end == row.data() + close && value > 0 ? value : -1;
      }
    }
    ++i;
  }
  return 0;
}

// A deflated part is unpacked with ISA-L's igzip, some 2.3 times as fast as
// the zlib inflate libzip would use (a large sheet is unpacked once at open and
// twice more by the run), from the packed bytes libzip reads. libzip would
// check the CRC-32 at the end of the part; this checks it and the size the same.
struct RowStream::Inflater {
  inflate_state state{};
  std::vector<std::uint8_t> packed = std::vector<std::uint8_t>(1 << 16);
  bool packedEnd = false, checked = false;
  std::uint64_t size = 0, produced = 0;
  std::uint32_t crc = 0, producedCrc = 0;
};

RowStream::RowStream(const PackageReader& package, const std::string& part) : package_(package), part_(part) {
  const PackageReader::Deflated deflated = package.OpenDeflatedPart(part);
  if (deflated.file) {
    file_ = deflated.file;
    compressed_ = deflated.compressedSize;
    inflater_ = std::make_unique<Inflater>();
    isal_inflate_init(&inflater_->state); // raw deflate, as in a zip entry
    inflater_->size = deflated.size;
    inflater_->crc = deflated.crc;
  } else {
    file_ = package.OpenPart(part, compressed_);
  }
}

RowStream::~RowStream() {
  if (file_) zip_fclose(file_);
}

std::size_t RowStream::Unpack(char* data, std::size_t length) {
  if (!inflater_) {
    const zip_int64_t n = zip_fread(file_, data, length);
    if (n < 0) Damaged(std::string("is damaged (") + zip_file_strerror(file_) + ")");
    return static_cast<std::size_t>(n);
  }
  Inflater& in = *inflater_;
  inflate_state& z = in.state;
  for (;;) {
    if (z.block_state == ISAL_BLOCK_FINISH) {
      if (!in.checked && (in.produced != in.size || in.producedCrc != in.crc)) Damaged("is damaged (CRC error)");
      in.checked = true;
      return 0;
    }
    if (z.avail_in == 0 && !in.packedEnd) {
      const zip_int64_t n = zip_fread(file_, in.packed.data(), in.packed.size());
      if (n < 0) Damaged(std::string("is damaged (") + zip_file_strerror(file_) + ")");
      in.packedEnd = n == 0;
      z.next_in = in.packed.data();
      z.avail_in = static_cast<std::uint32_t>(n);
    }
    z.next_out = reinterpret_cast<std::uint8_t*>(data);
    z.avail_out = static_cast<std::uint32_t>(length);
    const std::uint32_t available = z.avail_in;
    if (isal_inflate(&z) < 0) Damaged("is damaged (its packed data is not valid deflate data)");
    const std::size_t n = length - z.avail_out;
    if (n > 0) {
      in.producedCrc = static_cast<std::uint32_t>(libdeflate_crc32(in.producedCrc, data, n));
      in.produced += n;
      return n;
    }
    // Nothing came out and nothing was taken: the packed data ended before the deflate stream did.
    if (z.avail_in == available && z.block_state != ISAL_BLOCK_FINISH && (in.packedEnd || available > 0))
      Damaged("is damaged (its packed data ends early)");
  }
}

void RowStream::Damaged(const std::string& problem) const {
  package_.Damaged("the part \"" + TextForMessage(part_) + "\" " + problem);
}

bool RowStream::Fill(std::size_t need) {
  while (buffer_.size() - pos_ < need && !eof_) {
    char chunk[65536];
    const std::size_t n = Unpack(chunk, sizeof chunk);
    if (n == 0) {
      eof_ = true;
      break;
    }
    buffer_.append(chunk, n);
    unpacked_ += n;
    // The limits of a part read whole, checked as the data comes.
    const PackageLimits& limits = package_.Limits();
    if (unpacked_ > limits.maxPartSize)
      Damaged("unpacks to more than " + std::to_string(limits.maxPartSize) + " bytes");
    if (unpacked_ >= limits.ratioFromSize && unpacked_ / std::max<std::uint64_t>(compressed_, 1) > limits.maxRatio) {
      Damaged("unpacks to more than " + std::to_string(limits.maxRatio) +
              " times its packed size (a decompression bomb)");
    }
  }
  return buffer_.size() - pos_ >= need;
}

std::size_t RowStream::ItemEnd(int& depthChange, bool& unusual) {
  depthChange = 0;
  unusual = false;
  // The text that closes the item, found in the buffer as it fills.
  auto find = [&](std::string_view closing, std::size_t from) -> std::size_t {
    for (;;) {
      const std::size_t at = buffer_.find(closing, from);
      if (at != std::string::npos) return at + closing.size();
      from = std::max(from, buffer_.size() >= closing.size() ? buffer_.size() - closing.size() + 1 : 0);
      if (!Fill(buffer_.size() - pos_ + 65536)) {
        if (eof_ && buffer_.find(closing, from) == std::string::npos) return 0;
      }
    }
  };
  if (buffer_.size() - pos_ < 9) Fill(9);
  const std::string_view start = std::string_view(buffer_).substr(pos_, 9);
  if (start.substr(0, 4) == "<!--") return find("-->", pos_ + 4);
  if (start.substr(0, 9) == "<![CDATA[") {
    unusual = true;
    return find("]]>", pos_ + 9);
  }
  if (start.substr(0, 2) == "<!") {
    unusual = true; // a document type declaration
    return find(">", pos_ + 2);
  }
  if (start.substr(0, 2) == "<?") return find("?>", pos_ + 2);
  if (start.substr(0, 2) == "</") {
    depthChange = -1;
    return find(">", pos_ + 2);
  }
  // A start tag: '>' outside quoted attribute values ends it. The bytes in
  // the buffer are scanned in one go; a quoted value is passed with memchr.
  char quote = 0;
  for (std::size_t i = pos_ + 1;;) {
    if (i >= buffer_.size() && !Fill(i - pos_ + 1)) return 0;
    const char* data = buffer_.data();
    const std::size_t size = buffer_.size();
    if (quote) {
      const void* closing = std::memchr(data + i, quote, size - i);
      if (!closing) {
        i = size;
        continue;
      }
      i = static_cast<std::size_t>(static_cast<const char*>(closing) - data) + 1;
      quote = 0;
      continue;
    }
    while (i < size && data[i] != '>' && data[i] != '"' && data[i] != '\'') ++i;
    if (i >= size) continue;
    if (data[i] == '>') {
      depthChange = data[i - 1] == '/' ? 0 : 1;
      return i + 1;
    }
    quote = data[i++];
  }
}

bool RowStream::Start(std::string& head) {
  Fill(4096);
  // Only UTF-8 is cut as bytes: another encoding goes through the whole-part reader.
  if (buffer_.size() >= 2 && (static_cast<unsigned char>(buffer_[0]) >= 0xFE)) return false;
  if (buffer_.compare(0, 5, "<?xml") == 0) {
    const std::size_t end = buffer_.find("?>");
    const std::string declaration = buffer_.substr(0, end);
    const std::size_t enc = declaration.find("encoding");
    if (enc != std::string::npos) {
      std::string value = declaration.substr(enc + 8, 12);
      for (char& c : value) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
      if (value.find("utf-8") == std::string::npos) return false;
    }
  }
  int depth = 0;
  for (;;) {
    while (Fill(1) && buffer_[pos_] != '<') ++pos_;
    if (!Fill(1)) return false;
    int change = 0;
    bool unusual = false;
    const std::size_t end = ItemEnd(change, unusual);
    if (end == 0) return false;
    if (unusual && buffer_.compare(pos_, 9, "<![CDATA[") != 0) return false;
    const std::string_view item = std::string_view(buffer_).substr(pos_, end - pos_);
    if (item[1] != '/' && item[1] != '!' && item[1] != '?' && depth == 1 && LocalTagName(item) == "sheetData") {
      if (change == 0) return false; // <sheetData/>: no rows to stream
      head = buffer_.substr(0, end);
      pos_ = end;
      return true;
    }
    depth += change;
    pos_ = end;
  }
}

RowStream::Next RowStream::Read(std::string& row, int& number) {
  if (pos_ > (1u << 20)) {
    buffer_.erase(0, pos_);
    pos_ = 0;
  }
  for (;;) {
    while (Fill(1) && Blank(buffer_[pos_])) ++pos_;
    if (!Fill(1)) Damaged("ends inside its sheetData element");
    if (buffer_[pos_] != '<') return Next::Unusual;
    int change = 0;
    bool unusual = false;
    const std::size_t end = ItemEnd(change, unusual);
    if (end == 0) Damaged("ends inside its sheetData element");
    if (unusual) return Next::Unusual;
    if (change == -1) return Next::End; // </sheetData>
    const std::string_view item = std::string_view(buffer_).substr(pos_, end - pos_);
    if (item[1] == '!' || item[1] == '?') { // comments and processing instructions are not kept
      pos_ = end;
      continue;
    }
    if (LocalTagName(item) != "row") return Next::Unusual;
    const std::size_t begin = pos_;
    pos_ = end;
    for (int depth = change; depth > 0;) {
      if (!Fill(1)) Damaged("ends inside a row");
      if (buffer_[pos_] != '<') {
        const std::size_t lt = buffer_.find('<', pos_);
        pos_ = lt == std::string::npos ? buffer_.size() : lt;
        continue;
      }
      const std::size_t next = ItemEnd(change, unusual);
      if (next == 0) Damaged("ends inside a row");
      depth += change;
      pos_ = next;
    }
    row.assign(buffer_, begin, pos_ - begin);
    const int stated = RowNumberOf(row);
    number = stated == 0 ? previousRow_ + 1 : stated;
    if (number > 0) previousRow_ = number;
    return Next::Row;
  }
}

std::string RowStream::Tail() {
  while (Fill(buffer_.size() - pos_ + 65536)) {
  }
  return buffer_.substr(pos_);
}

} // namespace vontralek::workbook
