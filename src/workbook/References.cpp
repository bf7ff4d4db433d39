#include "workbook/References.h"

#include <algorithm>
#include <charconv>

#include "workbook/Workbook.h"

namespace vontralek::workbook {

bool ParseCellRef(std::string_view ref, int& row, int& column) {
  std::size_t i = 0;
  long col = 0;
  // ASCII letters only: isalpha and toupper would follow the process locale.
  while (i < ref.size() && ((ref[i] >= 'A' && ref[i] <= 'Z') || (ref[i] >= 'a' && ref[i] <= 'z'))) {
    col = col * 26 + ((ref[i] & ~0x20) - 'A' + 1);
    if (col > kMaxColumn) return false;
    ++i;
  }
  long r = 0;
  const std::size_t digits = i;
  while (i < ref.size() && ref[i] >= '0' && ref[i] <= '9') {
    r = r * 10 + (ref[i] - '0');
    if (r > kMaxRow) return false;
    ++i;
  }
  if (i != ref.size() || (digits == 0 && i == 0)) return false;
  row = static_cast<int>(r);
  column = static_cast<int>(col);
  return true;
}

bool ParseInt(std::string_view text, int& value) {
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return ec == std::errc() && end == text.data() + text.size();
}

namespace {

bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// One name-like token of a formula moved by (dRow, dColumn): a cell reference
// "B$3", or a column or row of a range "A:C", "1:4" (kind 'c' or 'r' when the
// token stands beside a ':'). Absolute ($) parts stay; a reference moved off
// the sheet becomes #REF!, as the spreadsheet makes it. Anything else is kept.
std::string ShiftToken(std::string_view token, int dRow, int dColumn, bool besideColon) {
  std::size_t i = 0;
  const bool columnFixed = i < token.size() && token[i] == '$';
  if (columnFixed) ++i;
  const std::size_t lettersStart = i;
  long column = 0;
  while (i < token.size() && IsLetter(token[i]) && i - lettersStart < 3)
    column = column * 26 + ((token[i++] & ~0x20) - 'A' + 1);
  const std::size_t letters = i - lettersStart;
  const bool rowFixed = i < token.size() && token[i] == '$';
  if (rowFixed) ++i;
  const std::size_t digitsStart = i;
  long row = 0;
  while (i < token.size() && IsDigit(token[i]) && i - digitsStart < 7) row = row * 10 + (token[i++] - '0');
  const std::size_t digits = i - digitsStart;
  if (i != token.size()) return std::string(token);
  const bool cell = letters > 0 && digits > 0 && !(columnFixed && letters == 0);
  const bool wholeColumn = besideColon && letters > 0 && digits == 0 && !rowFixed;
  const bool wholeRow = besideColon && letters == 0 && digits > 0 && !(columnFixed && rowFixed);
  if ((!cell && !wholeColumn && !wholeRow) || column > kMaxColumn || (digits > 0 && (row < 1 || row > kMaxRow))) {
    return std::string(token); // a name, not a reference
  }
  if (letters > 0 && !columnFixed) column += dColumn;
  if (digits > 0 && !(wholeRow ? columnFixed : rowFixed)) row += dRow;
  if ((letters > 0 && (column < 1 || column > kMaxColumn)) || (digits > 0 && (row < 1 || row > kMaxRow)))
    return "#REF!";
  std::string out;
  if (letters > 0) {
    if (columnFixed) out += '$';
    const std::string address = CellAddress(1, static_cast<int>(column));
    out += address.substr(0, address.size() - 1); // the letters of "C1"
  }
  if (digits > 0) {
    if (wholeRow ? columnFixed : rowFixed) out += '$';
    out += std::to_string(row);
  }
  return out;
}

} // namespace

std::string ShiftFormula(std::string_view formula, int dRow, int dColumn) {
  auto name = [](char c) { return IsLetter(c) || IsDigit(c) || c == '_' || c == '.' || c == '$' || c == '\\'; };
  std::string out;
  std::size_t i = 0;
  while (i < formula.size()) {
    const char c = formula[i];
    if (c == '"' || c == '\'') { // a text or a quoted sheet name; doubled quotes inside
      std::size_t j = i + 1;
      while (j < formula.size() && (formula[j] != c || (j + 1 < formula.size() && formula[j + 1] == c)))
        j += formula[j] == c ? 2 : 1;
      j = std::min(j + 1, formula.size());
      out.append(formula.substr(i, j - i));
      i = j;
    } else if (c == '[') { // a structured reference or an external workbook
      std::size_t j = i, depth = 0;
      do {
        depth += formula[j] == '[';
        depth -= formula[j] == ']';
        ++j;
      } while (j < formula.size() && depth > 0);
      out.append(formula.substr(i, j - i));
      i = j;
    } else if (name(c)) {
      std::size_t j = i;
      while (j < formula.size() && name(formula[j])) ++j;
      const std::string_view token = formula.substr(i, j - i);
      const char next = j < formula.size() ? formula[j] : '\0';
      if (next == '(' || next == '!') {
        out.append(token); // a function or a sheet name
      } else {
        out += ShiftToken(token, dRow, dColumn, next == ':' || (!out.empty() && out.back() == ':'));
      }
      i = j;
    } else {
      out += c;
      ++i;
    }
  }
  return out;
}
} // namespace vontralek::workbook
