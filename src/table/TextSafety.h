#pragma once

// Text that a table passes through to its output, made safe to open in a
// spreadsheet program: a field that begins with "=", "+", "-", "@", a tab or a
// carriage return is read there as a formula (=HYPERLINK(...), +cmd|...,
// @SUM(...)) and runs when the file is opened. The common defence (OWASP,
// "CSV injection") puts an apostrophe before such a field, which spreadsheet
// programs show as text; numbers such as -1.5 are left as they are.

#include <string>
#include <string_view>

namespace vontralek::table {

// Whether the text would be read as a formula: it begins with one of the six
// characters and is not a number (an optional sign, digits with at most one
// decimal point or comma, an optional exponent; spaces after it allowed).
bool ReadAsFormula(std::string_view text);

// The text as it may be written: text itself, or "'" + text (built in
// scratch) when it would be read as a formula.
std::string_view SafeText(std::string_view text, std::string& scratch);

// The position of the first NUL byte in text, or npos. A NUL is no character
// of a text file: a table holding one is refused (it is not plain text, or
// was saved as UTF-16).
inline std::size_t FindNul(std::string_view text) { return text.find('\0'); }

} // namespace vontralek::table
