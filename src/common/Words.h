#pragma once

#include <cstddef>
#include <string_view>

namespace vontralek {

// How the program compares the words a user types for a setting or a choice
// ("per sample", "continue", "ion association", a worksheet's name, ".csv"):
// blanks around the word do not count, nor the case of the letters A to Z;
// in a choice, a space, a hyphen and an underscore between its parts are the
// same ("Ion_Association", "ion-association").
// Only ASCII letters are folded: a word of ours is ASCII, and bytes of UTF-8
// text must not be changed one by one.

// The text without the spaces and tabs at either end.
constexpr std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

// The letters A to Z in lower case (ASCII only: not the locale's rules).
constexpr char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Equal but for the case of the letters A to Z.
constexpr bool SameLetters(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  return true;
}

// A typed choice is the word: trimmed, then equal but for letter case, a
// space, hyphen or underscore standing for any one of them.
constexpr bool SameWord(std::string_view typed, std::string_view word) {
  const auto part = [](char c) { return c == ' ' || c == '-' || c == '_'; };
  typed = TrimBlanks(typed);
  if (typed.size() != word.size()) return false;
  for (std::size_t i = 0; i < word.size(); ++i)
    if (part(word[i]) ? !part(typed[i]) : LowerAscii(typed[i]) != LowerAscii(word[i])) return false;
  return true;
}

} // namespace vontralek
