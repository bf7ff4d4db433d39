#include "table/TextSafety.h"

namespace vontralek::table {
namespace {

bool Digit(char c) { return c >= '0' && c <= '9'; }

bool IsNumber(std::string_view t) {
  while (!t.empty() && t.back() == ' ') t.remove_suffix(1);
  std::size_t i = 0;
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
  std::size_t digits = 0;
  while (i < t.size() && Digit(t[i])) ++i, ++digits;
  if (i < t.size() && (t[i] == '.' || t[i] == ',')) {
    ++i;
    while (i < t.size() && Digit(t[i])) ++i, ++digits;
  }
  if (digits == 0) return false;
  if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
    ++i;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
    const std::size_t exponent = i;
    while (i < t.size() && Digit(t[i])) ++i;
    if (i == exponent) return false;
  }
  return i == t.size();
}

} // namespace

bool ReadAsFormula(std::string_view text) {
  if (text.empty()) return false;
  switch (text.front()) {
  case '=':
  case '+':
  case '-':
  case '@':
  case '\t':
  case '\r':
    return !IsNumber(text);
  default:
    return false;
  }
}

std::string_view SafeText(std::string_view text, std::string& scratch) {
  if (!ReadAsFormula(text)) return text;
  scratch.assign(1, '\'');
  scratch.append(text);
  return scratch;
}

} // namespace vontralek::table
