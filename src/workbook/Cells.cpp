#include <charconv>
#include <cstdio>
#include <string>
#include <utility>

#include "common/Errors.h"
#include "workbook/Workbook.h"

namespace vontralek::workbook {

std::string CellAddress(int row, int column) {
  std::string letters;
  for (int c = column; c > 0; c = (c - 1) / 26) {
    letters.insert(letters.begin(), static_cast<char>('A' + (c - 1) % 26));
  }
  return letters + std::to_string(row);
}

bool ParseDecimal(std::string_view text, double& value) {
  // Spreadsheet applications accept surrounding blanks in numeric text.
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty()) return false;
  // Only digits, one decimal point, a sign and an exponent: from_chars with the
  // general format also accepts "inf", "nan" and hexadecimal after a prefix, so
  // reject any letter other than the exponent marker first.
  for (char ch : text) {
    const bool ok = (ch >= '0' && ch <= '9') || ch == '.' || ch == '-' || ch == '+' || ch == 'e' || ch == 'E';
    if (!ok) return false;
  }
  double parsed = 0.0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), parsed, std::chars_format::general);
  if (ec != std::errc() || end != text.data() + text.size()) return false;
  value = parsed;
  return true;
}

namespace {

// Characters that show as nothing, or as a plain space, where a message
// quotes a cell: C1 controls, no-break and other spaces, zero-width
// characters, direction marks, the byte-order mark, variation selectors,
// fillers and tags. Shown as <U+200B>, so that a message never seems to
// quote a valid value.
bool Invisible(char32_t c) {
  return (c >= 0x80 && c <= 0xA0) || c == 0xAD || c == 0x34F || c == 0x61C || c == 0x115F || c == 0x1160 ||
         c == 0x17B4 || c == 0x17B5 || (c >= 0x180B && c <= 0x180F) || (c >= 0x2000 && c <= 0x200F) ||
         (c >= 0x2028 && c <= 0x202F) || (c >= 0x205F && c <= 0x206F) || c == 0x3000 || c == 0x3164 ||
         (c >= 0xFE00 && c <= 0xFE0F) || c == 0xFEFF || c == 0xFFA0 || (c >= 0xFFF0 && c <= 0xFFFB) ||
         (c >= 0xE0000 && c <= 0xE0FFF);
}

// The UTF-8 sequence at text[i]: its code point and length; length 0 for a
// byte that starts no valid sequence (overlong, surrogate, cut short).
std::pair<char32_t, std::size_t> DecodeUtf8(std::string_view text, std::size_t i) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = byte(i);
  std::size_t length = lead < 0x80             ? 1
                       : (lead & 0xE0) == 0xC0 ? 2
                       : (lead & 0xF0) == 0xE0 ? 3
                       : (lead & 0xF8) == 0xF0 ? 4
                                               : 0;
  if (length == 0 || i + length > text.size()) return {0, 0};
  char32_t c = length == 1 ? lead : lead & (0x7F >> length);
  for (std::size_t k = 1; k < length; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return {0, 0};
    c = (c << 6) | (byte(i + k) & 0x3F);
  }
  static constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
  if (c < kSmallest[length] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return {0, 0};
  return {c, length};
}

} // namespace

std::string TextForMessage(std::string_view text) {
  // A cell may hold 32,767 characters, terminal control sequences and
  // characters that show as nothing: a message shows the start of it, with
  // every control and invisible character made visible.
  constexpr std::size_t kShown = 80;
  static const char hex[] = "0123456789ABCDEF";
  std::string out;
  std::size_t characters = 0, i = 0;
  while (i < text.size() && characters < kShown) {
    ++characters;
    const auto [c, length] = DecodeUtf8(text, i);
    if (length == 0) { // not UTF-8: the byte as such
      const auto b = static_cast<unsigned char>(text[i++]);
      out += "\\x";
      out += hex[b >> 4];
      out += hex[b & 15];
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c < 0x20 || c == 0x7F) {
      out += "\\x";
      out += hex[c >> 4];
      out += hex[c & 15];
    } else if (Invisible(c)) {
      char code[16];
      std::snprintf(code, sizeof code, "<U+%04X>", static_cast<unsigned>(c));
      out += code;
    } else {
      out.append(text.substr(i, length));
    }
    i += length;
  }
  if (i < text.size()) out += "...";
  return out;
}

double Worksheet::NumberValue(int row, int column) const { return NumberOf(Value(row, column), row, column); }

double Worksheet::NumberOf(const CellValue& v, int row, int column) const {
  // Where the cell is, said only when a message needs it (a batch reads thousands of cells).
  const auto place = [&] {
    return "worksheet " + std::to_string(Number()) + " (\"" + TextForMessage(Name()) + "\"), cell " +
           CellAddress(row, column);
  };
  switch (v.kind) {
  case CellValue::Kind::Empty:
    return 0.0;
  case CellValue::Kind::Number:
    return v.number;
  case CellValue::Kind::Text: {
    double parsed = 0.0;
    if (ParseDecimal(v.text, parsed)) return parsed;
    throw TypeMismatchError("Type mismatch: " + place() + " holds the text \"" + TextForMessage(v.text) +
                            "\" where a number is expected. Enter a number, or leave the cell empty for 0.");
  }
  case CellValue::Kind::Boolean:
    throw TypeMismatchError("Type mismatch: " + place() + " holds the logical value " + v.text +
                            " where a number is expected. Enter a number, or leave the cell empty for 0.");
  case CellValue::Kind::Error:
    throw TypeMismatchError("Type mismatch: " + place() + " holds the error value " + TextForMessage(v.text) +
                            " where a number is expected. Correct the formula or enter a number.");
  case CellValue::Kind::UncalculatedFormula:
    break;
  }
  throw TypeMismatchError("Type mismatch: " + place() + " holds the formula =" + TextForMessage(v.text) +
                          ", which was never calculated (the file has no value for it). Open the workbook, "
                          "recalculate and save it in the spreadsheet application, or enter a number.");
}

} // namespace vontralek::workbook
