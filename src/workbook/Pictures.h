#pragma once

// Pictures on a worksheet of their own (PNG images with their drawing), as a
// program puts its figures into a workbook.

#include <string>
#include <vector>

namespace vontralek::workbook {

struct Picture {
  std::string png; // the PNG file's bytes
  int widthPx = 0; // shown at this size (96 dpi pixels)
  int heightPx = 0;
  int row = 0, column = 0; // its top left corner's cell, 0-based
  std::string name;        // its name in the drawing (the program's marker first)
};

// A worksheet of that name: none, one whose every picture is named with the
// program's marker (a sheet the program wrote), or any other (the user's).
enum class PictureSheetState { Absent, Ours, Foreign };

} // namespace vontralek::workbook
