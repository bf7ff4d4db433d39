#include "run/Progress.h"

#include <cfenv>
#include <cmath>
#include <limits>
#include <string>

#include <fmt/format.h>

#include "common/Errors.h"

namespace vontralek {

double RoundToDigits(double value, std::int16_t digits) {
  const double scale = std::pow(10.0, static_cast<double>(digits));
  const double scaled = value * scale;
  // A 32-bit signed integer holds the rounded value; outside its range (or for
  // a value that is not a number at all) the rounding cannot be represented.
  if (!(scaled >= -2147483648.5 && scaled <= 2147483647.5)) {
    throw ArithmeticFault(
        fmt::format("Overflow: {:f} rounded to {} decimal places does not fit a 32-bit integer.", value, digits));
  }
  // nearbyint rounds in the current mode; the default mode sends ties to the
  // even integer (12.5 -> 12, 13.5 -> 14, -2.5 -> -2).
  const int savedMode = std::fegetround();
  std::fesetround(FE_TONEAREST);
  const double nearest = std::nearbyint(scaled);
  std::fesetround(savedMode);
  // -2147483648.5 and 2147483647.5 round to an even neighbour outside the range.
  if (nearest < -2147483648.0 || nearest > 2147483647.0) {
    throw ArithmeticFault(
        fmt::format("Overflow: {:f} rounded to {} decimal places does not fit a 32-bit integer.", value, digits));
  }
  const auto r = static_cast<std::int32_t>(nearest);
  return static_cast<double>(r) / std::pow(10.0, static_cast<double>(digits));
}

namespace {

// The plain text of a double as a spreadsheet-era runtime prints it: up to 15
// significant digits, no trailing zeros, no leading blank ("25", "12.5").
std::string NumberText(double value) {
  return fmt::format("{:.15g}", value == 0.0 ? 0.0 : value); // -0 reads "0"
}

} // namespace

ProgressUpdate ShowProgress(double percent) {
  ProgressUpdate update;
  update.percent = percent;
  const double shown = RoundToDigits(percent, 0);
  // Only the start of the last sample (exactly 100) reads "finishing"; 99.5
  // rounds to 100 yet still reads "completed".
  update.caption = fmt::format("{}%{}", NumberText(shown), percent == 100.0 ? " finishing" : " completed");
  return update;
}

} // namespace vontralek
