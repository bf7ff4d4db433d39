#pragma once

// A double as the shortest text that reads back as the same double, byte for
// byte what std::to_chars(first, last, value) writes: the digits, fixed or
// exponent notation whichever is shorter (fixed on a tie), "e+XX" with at
// least two exponent digits. A table or sheet of results writes about a
// hundred such numbers a sample; this takes their digits from Dragonbox (in
// {fmt}, Debian's libfmt) and lays them out here, at about two thirds of
// libstdc++'s time (its Ryu path formats generically). Whatever is uncommon
// (zero, infinities, NaN, integers beyond 2^53 in fixed notation) goes to
// std::to_chars itself.

#include <fmt/format.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace vontralek {

// Room enough for any double's text: "-2.2250738585072014e-308" is 24 bytes.
inline constexpr std::size_t kShortestNumberRoom = 32;

namespace shortest_detail {

inline constexpr char kDigitPairs[] = "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
                                      "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
                                      "8081828384858687888990919293949596979899";

inline void PutPair(char* at, unsigned pair) { std::memcpy(at, kDigitPairs + 2 * pair, 2); }

// The number of decimal digits of s (at least 1).
inline int DigitCount(std::uint64_t s) {
  static constexpr std::uint64_t kPowers[] = {1ULL,
                                              10ULL,
                                              100ULL,
                                              1000ULL,
                                              10000ULL,
                                              100000ULL,
                                              1000000ULL,
                                              10000000ULL,
                                              100000000ULL,
                                              1000000000ULL,
                                              10000000000ULL,
                                              100000000000ULL,
                                              1000000000000ULL,
                                              10000000000000ULL,
                                              100000000000000ULL,
                                              1000000000000000ULL,
                                              10000000000000000ULL,
                                              100000000000000000ULL,
                                              1000000000000000000ULL,
                                              10000000000000000000ULL};
  const int bits = 64 - __builtin_clzll(s | 1);
  const int guess = (bits * 1233) >> 12; // floor(log10(2^bits)): 1233 / 4096 ~ log10(2)
  return guess + (s >= kPowers[guess] ? 1 : 0);
}

// The decimal digits of s written so that they end at end.
inline void PutDigits(char* end, std::uint64_t s) {
  while (s >= 100000000) { // eight digits at a time in 32-bit arithmetic
    const std::uint64_t upper = s / 100000000;
    const auto lower = static_cast<std::uint32_t>(s - upper * 100000000);
    end -= 8;
    PutPair(end, lower / 1000000);
    PutPair(end + 2, lower / 10000 % 100);
    PutPair(end + 4, lower / 100 % 100);
    PutPair(end + 6, lower % 100);
    s = upper;
  }
  auto rest = static_cast<std::uint32_t>(s);
  while (rest >= 100) {
    end -= 2;
    PutPair(end, rest % 100);
    rest /= 100;
  }
  if (rest >= 10) {
    PutPair(end - 2, rest);
  } else {
    *(end - 1) = static_cast<char>('0' + rest);
  }
}

} // namespace shortest_detail

// Writes value's text at out, which has kShortestNumberRoom bytes; returns the
// end of the text.
inline char* WriteShortest(char* out, double value) {
  using namespace shortest_detail;
#if FMT_VERSION >= 80000 && FMT_VERSION < 120000
  if (!std::isfinite(value) || value == 0.0) return std::to_chars(out, out + kShortestNumberRoom, value).ptr;
  // value = significand * 10^exponent, the significand as short as will read back.
  const auto decimal = fmt::detail::dragonbox::to_decimal(value);
  const std::uint64_t significand = decimal.significand;
  const int exponent = decimal.exponent;
  const int digits = DigitCount(significand);
  const int scientific = exponent + digits - 1; // d.ddd * 10^scientific
  const int magnitude = scientific < 0 ? -scientific : scientific;
  const int scientificLength = digits + (digits > 1 ? 1 : 0) + 2 + (magnitude >= 100 ? 3 : 2);
  int fixedLength = 0;
  if (exponent >= 0) {
    fixedLength = digits + exponent; // ddd000
  } else if (scientific >= 0) {
    fixedLength = digits + 1; // dd.ddd
  } else {
    fixedLength = digits + 1 - scientific; // 0.000ddd
  }
  char* p = out;
  if (fixedLength <= scientificLength) {
    if (exponent > 0) return std::to_chars(out, out + kShortestNumberRoom, value).ptr;
    if (value < 0) *p++ = '-';
    if (exponent == 0) {
      PutDigits(p + digits, significand);
      return p + digits;
    }
    if (scientific >= 0) {
      // The digits one place to the right, then the whole part moved left
      // over the point's place byte by byte (a wider copy of bytes just
      // stored two at a time would stall on the store buffer).
      PutDigits(p + 1 + digits, significand);
      for (int i = 0; i <= scientific; ++i) p[i] = p[i + 1];
      p[scientific + 1] = '.';
      return p + digits + 1;
    }
    p[0] = '0';
    p[1] = '.';
    std::memset(p + 2, '0', static_cast<std::size_t>(-scientific - 1));
    char* const end = p + 1 - scientific + digits;
    PutDigits(end, significand);
    return end;
  }
  if (value < 0) *p++ = '-';
  PutDigits(p + 1 + digits, significand); // d.ddd: the first digit moved left over the point's place
  p[0] = p[1];
  if (digits > 1) {
    p[1] = '.';
    p += digits + 1;
  } else {
    p += 1;
  }
  *p++ = 'e';
  *p++ = scientific < 0 ? '-' : '+';
  if (magnitude >= 100) {
    *p++ = static_cast<char>('0' + magnitude / 100);
  }
  PutPair(p, static_cast<unsigned>(magnitude % 100));
  return p + 2;
#else
  return std::to_chars(out, out + kShortestNumberRoom, value).ptr;
#endif
}

} // namespace vontralek
