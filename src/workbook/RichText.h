#pragma once

// Cell formats as far as this layer needs them: the font of a cell format
// (styles part), and a cell's text written as rich-text runs with parts of
// it lowered or raised (H2O, m2) in that font.

#include <pugixml.hpp>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vontralek::workbook {

class PackageReader;

enum : std::uint8_t { kPlain = 0, kSubscript = 1, kSuperscript = 2 };

// Characters of UTF-8 text (code points), and the byte offset of each plus the end.
std::size_t CodePointCount(std::string_view text);
std::vector<std::size_t> CodePointOffsets(std::string_view text);

class Styles {
public:
  // part may be empty (no styles part); read on first use.
  Styles(const PackageReader& package, std::string part) : package_(package), part_(std::move(part)) {}
  // The <font> of cell format styleIndex (the xf of cellXfs), or none.
  pugi::xml_node FontOfStyle(int styleIndex);

private:
  const PackageReader& package_;
  std::string part_;
  bool loaded_ = false;
  pugi::xml_document doc_;
};

// Gives cell (an element without content) the text as an inline rich string:
// one run per stretch of characters of one kind (kinds: one per character),
// each run in font (the cell's own, so that it looks like the rest) plus its
// vertical alignment.
void WriteRuns(pugi::xml_node cell, pugi::xml_node font, const std::string& text,
               const std::vector<std::uint8_t>& kinds);

} // namespace vontralek::workbook
