#pragma once

// Numbers as a sheet part stores them: always with a '.', whatever the
// process locale, and written as the shortest text that reads back as the
// same double.

#include <string>
#include <string_view>

namespace vontralek::workbook {

// A stored number (blanks around it allowed); false for anything else and for
// a value that is not finite.
bool ParseStoredNumber(std::string_view text, double& value);
std::string FormatNumber(double value);

} // namespace vontralek::workbook
