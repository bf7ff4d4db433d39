#include "workbook/NumberText.h"

#include <charconv>
#include <cmath>

#include "common/ShortestNumber.h"

namespace vontralek::workbook {

// A stored number: always written with a '.' by every spreadsheet program,
// read with from_chars so that the process locale plays no part.
bool ParseStoredNumber(std::string_view text, double& value) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\n' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\n' || text.back() == '\t')) text.remove_suffix(1);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty()) return false;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::general);
  return ec == std::errc() && end == text.data() + text.size() && std::isfinite(value);
}

std::string FormatNumber(double value) {
  char buffer[kShortestNumberRoom];
  return std::string(buffer, WriteShortest(buffer, value));
}

} // namespace vontralek::workbook
