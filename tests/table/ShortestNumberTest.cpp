// The number text of tables and sheets against std::to_chars, the reference
// of its bytes, over doubles of every kind.

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>

#include "common/ShortestNumber.h"

namespace vontralek {
namespace {

std::string Reference(double value) {
  char text[64];
  return std::string(text, std::to_chars(text, text + sizeof text, value).ptr);
}

std::string Written(double value) {
  char text[kShortestNumberRoom];
  return std::string(text, WriteShortest(text, value));
}

TEST(ShortestNumber, WritesTheBytesOfToCharsForEveryKindOfDouble) {
  std::mt19937_64 random(20261207);
  long mismatches = 0;
  const auto check = [&](double value) {
    if (Written(value) != Reference(value) && ++mismatches <= 5)
      ADD_FAILURE() << "for " << Reference(value) << " written " << Written(value);
  };
  // Any bit pattern: subnormals, huge and tiny exponents, NaNs and infinities.
  for (int i = 0; i < 400000; ++i) {
    const std::uint64_t bits = random();
    double value = 0;
    std::memcpy(&value, &bits, sizeof value);
    check(value);
  }
  for (int i = 0; i < 100000; ++i) {
    // Whole numbers, beyond 2^53 too; results of a few significant digits;
    // values near the switch between fixed and exponent notation.
    check(static_cast<double>(static_cast<std::int64_t>(random() >> (random() % 64)) - (1LL << 40)));
    check(static_cast<double>(random() % 1000000) / 1000.0);
    check(std::ldexp(static_cast<double>(random() >> 11), static_cast<int>(random() % 160) - 80));
  }
  for (int k = -325; k <= 309; ++k) {
    const double power = std::pow(10.0, k);
    for (double value : {power, -power, std::nextafter(power, 0.0), std::nextafter(power, HUGE_VAL)}) check(value);
  }
  for (double value :
       {0.0, -0.0, 5e-324, -5e-324, std::numeric_limits<double>::min(), std::numeric_limits<double>::max(),
        std::numeric_limits<double>::infinity(), std::numeric_limits<double>::quiet_NaN(), 9007199254740992.0,
        123456789012345680000.0, 0.1, 1e-5, 1.5e-5, 123456.7, 1e16, 1e15})
    check(value);
  EXPECT_EQ(mismatches, 0);
}

} // namespace
} // namespace vontralek
