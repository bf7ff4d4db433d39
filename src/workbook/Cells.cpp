#include <charconv>
#include <string>

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

std::string TextForMessage(std::string_view text) {
  // A cell may hold 32,767 characters and terminal control sequences: a message
  // shows the start of it, with every control character made visible.
  constexpr std::size_t kShown = 80;
  std::string out;
  std::size_t characters = 0, i = 0;
  for (; i < text.size() && characters < kShown; ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if ((c & 0xC0) != 0x80) ++characters; // a UTF-8 sequence counts once
    if (c == '\n') {
      out += "\\n";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c < 0x20 || c == 0x7F) {
      static const char hex[] = "0123456789ABCDEF";
      out += "\\x";
      out += hex[c >> 4];
      out += hex[c & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
  // Finish a character cut in the middle, then mark the cut.
  while (i < text.size() && (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) out += text[i++];
  if (i < text.size()) out += "...";
  return out;
}

double Worksheet::NumberValue(int row, int column) const {
  const CellValue v = Value(row, column);
  const std::string where = "worksheet " + std::to_string(Number()) + " (\"" + TextForMessage(Name()) + "\"), cell " +
                            CellAddress(row, column);
  switch (v.kind) {
  case CellValue::Kind::Empty:
    return 0.0;
  case CellValue::Kind::Number:
    return v.number;
  case CellValue::Kind::Text: {
    double parsed = 0.0;
    if (ParseDecimal(v.text, parsed)) return parsed;
    throw TypeMismatchError("Type mismatch: " + where + " holds the text \"" + TextForMessage(v.text) +
                            "\" where a number is expected. Enter a number, or leave the cell empty for 0.");
  }
  case CellValue::Kind::Boolean:
    throw TypeMismatchError("Type mismatch: " + where + " holds the logical value " + v.text +
                            " where a number is expected. Enter a number, or leave the cell empty for 0.");
  case CellValue::Kind::Error:
    throw TypeMismatchError("Type mismatch: " + where + " holds the error value " + TextForMessage(v.text) +
                            " where a number is expected. Correct the formula or enter a number.");
  case CellValue::Kind::UncalculatedFormula:
    break;
  }
  throw TypeMismatchError("Type mismatch: " + where + " holds the formula =" + TextForMessage(v.text) +
                          ", which was never calculated (the file has no value for it). Open the workbook, "
                          "recalculate and save it in the spreadsheet application, or enter a number.");
}

} // namespace vontralek::workbook
