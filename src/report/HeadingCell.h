#pragma once

#include <string>

#include "layout/Layout.h"

namespace vontralek {

// A heading the run writes on its data sheet: the cell, the text as the
// program writes it (a cell holding it reads back the same text), and the
// characters shown lowered and raised (1-based start, length; 0: none).
struct HeadingCell {
  layout::CellRef cell;
  std::string text;
  int subscriptStart = 0, subscriptLength = 0;
  int superscriptStart = 0, superscriptLength = 0;
  // One of the headings of the carbonate pair's two input columns: another
  // pair's heading in its cell means the sheet holds another pair's values.
  bool pairHeading = false;
};

} // namespace vontralek
