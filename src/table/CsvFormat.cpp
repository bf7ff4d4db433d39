#include "table/Csv.h"

namespace vontralek::table {

CsvFormat DetectFormat(std::string_view headerLine) {
  std::size_t commas = 0, semicolons = 0;
  bool quoted = false;
  for (const char c : headerLine) {
    if (c == '"') quoted = !quoted; // a doubled quote toggles twice
    if (quoted) continue;
    commas += c == ',';
    semicolons += c == ';';
  }
  // Lab software in locales with a decimal comma separates fields with ';'.
  if (semicolons > 0 && commas == 0) return CsvFormat{';', true};
  return CsvFormat{};
}

std::string_view DecimalPointText(std::string_view text, std::string& scratch) {
  scratch.assign(text);
  for (char& c : scratch)
    if (c == ',') c = '.';
  return scratch;
}

} // namespace vontralek::table
