#include "table/Csv.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

#include "common/ShortestNumber.h"

namespace vontralek::table {
namespace {
// The input is read a block of 256 KB at a time.
constexpr std::size_t kBufferSize = 1 << 18;
} // namespace

std::string Place(std::string_view source, std::size_t line, std::size_t column, std::string_view columnName) {
  std::string place(source);
  place += " line " + std::to_string(line);
  if (column > 0) {
    place += ", column " + std::to_string(column);
    if (!columnName.empty()) {
      place += " (";
      place.append(columnName);
      place += ')';
    }
  }
  return place;
}

CsvReader::CsvReader(std::istream& in, std::string source, std::optional<CsvFormat> format)
    : in_(in), source_(std::move(source)), buffer_(kBufferSize) {
  // A UTF-8 byte-order mark, as spreadsheet programs write it, is no text.
  if (Peek() == 0xEF) {
    const std::string bom = "\xEF\xBB\xBF";
    std::size_t i = 0;
    while (i < 3 && Peek() == static_cast<unsigned char>(bom[i])) Get(), ++i;
    if (i != 3) Fail(1, 0, "the file starts with an incomplete byte-order mark; save it as UTF-8 text");
  }
  if (format) {
    format_ = *format;
  } else if (Peek() != -1) { // the header line as far as the first block holds it
    const std::string_view block(buffer_.data() + pos_, end_ - pos_);
    format_ = DetectFormat(block.substr(0, block.find_first_of("\r\n")));
  }
  if (!ReadRecord(header_))
    Fail(1, 0, "the file is empty; the first line must name the columns, e.g. sample,pH,alkalinity_meq_L,...");
}

bool CsvReader::Fill() {
  if (!in_) return false;
  in_.read(buffer_.data(), static_cast<std::streamsize>(buffer_.size()));
  pos_ = 0;
  end_ = static_cast<std::size_t>(in_.gcount());
  return end_ > 0;
}

int CsvReader::Peek() {
  if (pos_ == end_ && !Fill()) return -1;
  return static_cast<unsigned char>(buffer_[pos_]);
}

int CsvReader::Get() {
  const int c = Peek();
  if (c != -1) ++pos_;
  return c;
}

void CsvReader::Fail(std::size_t line, std::size_t column, const std::string& what) const {
  const std::string name = column > 0 && column <= header_.size() ? header_[column - 1] : std::string();
  throw CsvError(Place(source_, line, column, name) + ": " + what, line, column);
}

std::string CsvReader::Where(std::size_t fieldIndex) const {
  return Place(source_, recordLine_, fieldIndex + 1, fieldIndex < header_.size() ? header_[fieldIndex] : "");
}

bool CsvReader::ReadRecord(std::vector<std::string>& fields) {
  for (int c = Peek();; c = Peek()) { // blank lines are no records
    if (c == -1) return false;
    if (c != '\n' && c != '\r') break;
    Get();
    if (c == '\r' && Peek() == '\n') Get();
    ++line_;
  }
  recordLine_ = line_;
  const int delimiter = static_cast<unsigned char>(format_.delimiter);
  std::size_t n = 0;
  for (;;) {
    if (n == fields.size()) fields.emplace_back();
    std::string& field = fields[n++];
    field.clear();
    int c = Peek();
    if (c == '"') {
      Get();
      const std::size_t openedOn = line_;
      for (;;) {
        c = Get();
        if (c == -1) Fail(openedOn, n, "the quoted field opened on this line is not closed; end it with a '\"'");
        if (c == '"') {
          if (Peek() != '"') break;
          Get(); // a doubled quote is one quote
        } else if (c == '\n' || (c == '\r' && Peek() != '\n')) {
          ++line_;
        }
        field += static_cast<char>(c);
      }
      c = Peek();
      if (c != delimiter && c != '\n' && c != '\r' && c != -1)
        Fail(line_, n,
             "text after the closing quote of a quoted field; quote the whole field and double quotes inside");
    } else {
      while (c != delimiter && c != '\n' && c != '\r' && c != -1) {
        if (c == '"') Fail(line_, n, "a quote inside an unquoted field; quote the whole field and double the quote");
        // Copy the run of ordinary characters left in the buffer at once.
        std::size_t run = pos_;
        while (run < end_) {
          const char k = buffer_[run];
          if (k == delimiter || k == '\n' || k == '\r' || k == '"') break;
          ++run;
        }
        field.append(buffer_.data() + pos_, run - pos_);
        pos_ = run;
        c = Peek();
      }
    }
    c = Get();
    if (c == delimiter) continue;
    if (c == '\r' && Peek() == '\n') Get();
    if (c != -1) ++line_;
    break;
  }
  fields.resize(n);
  return true;
}

bool CsvReader::Next(std::vector<std::string>& fields) {
  if (!ReadRecord(fields)) {
    if (records_ == 0) Fail(line_, 0, "the file has a header but no data rows");
    return false;
  }
  ++records_;
  if (fields.size() != header_.size())
    Fail(recordLine_, 0,
         std::to_string(fields.size()) + " fields where the header names " + std::to_string(header_.size()) +
             " columns; quote fields that hold commas");
  return true;
}

char* CsvRow::Room(std::size_t n) {
  // Within the storage's capacity a resize only fills the new bytes; beyond
  // it the string grows geometrically, so a reused row soon allocates no more.
  if (text_.size() - used_ < n) text_.resize(std::max(text_.capacity(), used_ + n));
  return text_.data() + used_;
}

void CsvRow::Separate() {
  if (!first_) {
    *Room(1) = format_.delimiter;
    ++used_;
  }
  first_ = false;
}

void CsvRow::Text(std::string_view text) {
  Separate();
  const char special[] = {format_.delimiter, '"', '\r', '\n', '\0'};
  if (text.find_first_of(special) == std::string_view::npos) {
    if (!text.empty()) std::memcpy(Room(text.size()), text.data(), text.size());
    used_ += text.size();
    return;
  }
  char* p = Room(2 * text.size() + 2); // every character a quote at most
  char* const start = p;
  *p++ = '"';
  for (char c : text) {
    if (c == '"') *p++ = '"';
    *p++ = c;
  }
  *p++ = '"';
  used_ += static_cast<std::size_t>(p - start);
}

void CsvRow::Number(double value) {
  Separate();
  if (std::isnan(value)) return;
  char* const text = Room(kShortestNumberRoom);
  char* const end = WriteShortest(text, value);
  if (format_.decimalComma) std::replace(text, end, '.', ',');
  used_ += static_cast<std::size_t>(end - text);
}

void CsvRow::Empty() { Separate(); }

const std::string& CsvRow::End() {
  *Room(1) = '\n';
  text_.resize(used_ + 1);
  used_ = text_.size();
  return text_;
}

void CsvRow::Reuse(std::string&& storage) {
  text_ = std::move(storage);
  Clear();
}

std::string CsvRow::Release() {
  End();
  first_ = true;
  used_ = 0;
  return std::move(text_);
}

void CsvRow::Clear() {
  used_ = 0; // the storage's bytes are room again
  first_ = true;
}

void CsvWriter::EndRow() {
  const std::string& text = row_.End();
  out_.write(text.data(), static_cast<std::streamsize>(text.size()));
  row_.Clear();
}

void CsvWriter::Row(const std::vector<std::string>& fields) {
  for (const std::string& f : fields) Text(f);
  EndRow();
}

} // namespace vontralek::table
