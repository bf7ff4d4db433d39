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

double Worksheet::NumberValue(int row, int column) const {
  const CellValue v = Value(row, column);
  switch (v.kind) {
  case CellValue::Kind::Empty:
    return 0.0;
  case CellValue::Kind::Number:
    return v.number;
  case CellValue::Kind::Text:
    break;
  }
  double parsed = 0.0;
  if (ParseDecimal(v.text, parsed)) return parsed;
  throw TypeMismatchError("Type mismatch: worksheet " + std::to_string(Number()) + " (\"" + Name() + "\"), cell " +
                          CellAddress(row, column) + " holds the text \"" + v.text +
                          "\" where a number is expected. Enter a number, or leave the cell empty for 0.");
}

} // namespace vontralek::workbook
