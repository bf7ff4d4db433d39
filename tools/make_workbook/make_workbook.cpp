// Builds the shipped workbook from one readable text file per worksheet.
//
//   make_workbook OUTPUT.xlsx SHEET.txt...
//
// The worksheets appear in the order of the files. A sheet file holds:
//
//   # a comment
//   [Main]                    the worksheet's name (first line)
//   @width C:N 14             column width, in characters
//   @height 3 45              row height, in points
//   @freeze B2                rows above and columns left of B2 stay in view
//   @style result J5:N5       a style for the cells of a range (blank unless
//                             a cell of the range is given a value below)
//   A5 input = 8.22           a cell, an optional style, its value
//   A6 = Sample: seawater     text
//   J2 = 'nd                  a leading apostrophe keeps text that reads as a number
//   E4 = Ca^{2+}/mmol/L       ^{...} superscript, _{...} subscript
//
// A value that reads as a decimal number (std::from_chars, independent of the
// locale) is stored as a number, anything else as text. Styles: title, head,
// wrap (head with wrapped text), right (right-aligned, spills into empty cells
// on its left), input, result, note.
#include <xlsxwriter.h>

#include <charconv>
#include <clocale>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace {

struct Fragment {
  std::string text;
  std::uint8_t script = 0; // 0 plain, LXW_FONT_SUPERSCRIPT, LXW_FONT_SUBSCRIPT
};

struct Cell {
  std::string style;
  bool hasValue = false;
  bool isNumber = false;
  double number = 0.0;
  std::vector<Fragment> text;
};

struct Sheet {
  std::string name;
  std::string file;
  std::vector<std::pair<std::pair<int, int>, double>> widths; // first..last column (0-based), width
  std::vector<std::pair<int, double>> heights;                // row (0-based), height
  int freezeRow = 0, freezeColumn = 0;
  std::map<std::pair<int, int>, Cell> cells; // (row, column), 0-based
};

[[noreturn]] void Fail(const std::string& file, int line, const std::string& what) {
  throw std::runtime_error(file + ":" + std::to_string(line) + ": " + what);
}

std::string Trim(std::string s) {
  const auto first = s.find_first_not_of(" \t\r");
  if (first == std::string::npos) return "";
  const auto last = s.find_last_not_of(" \t\r");
  return s.substr(first, last - first + 1);
}

// "AB12" -> (11, 27) 0-based; false when the text is no cell address.
bool ParseCell(const std::string& a1, int& row, int& column) {
  std::size_t i = 0;
  column = 0;
  while (i < a1.size() && a1[i] >= 'A' && a1[i] <= 'Z') column = column * 26 + (a1[i++] - 'A' + 1);
  if (i == 0 || i == a1.size()) return false;
  const auto [end, ec] = std::from_chars(a1.data() + i, a1.data() + a1.size(), row);
  if (ec != std::errc() || end != a1.data() + a1.size() || row < 1) return false;
  --row;
  --column;
  return true;
}

// "J5:N9" or a single cell.
bool ParseRange(const std::string& text, int& r1, int& c1, int& r2, int& c2) {
  const auto colon = text.find(':');
  if (colon == std::string::npos) {
    if (!ParseCell(text, r1, c1)) return false;
    r2 = r1;
    c2 = c1;
    return true;
  }
  return ParseCell(text.substr(0, colon), r1, c1) && ParseCell(text.substr(colon + 1), r2, c2) && r1 <= r2 && c1 <= c2;
}

bool ParseNumber(const std::string& text, double& value) {
  const char* begin = text.data();
  const char* end = text.data() + text.size();
  if (begin != end && *begin == '+') ++begin;
  const auto [stop, ec] = std::from_chars(begin, end, value, std::chars_format::general);
  return begin != end && ec == std::errc() && stop == end;
}

// Splits "SO_{4}^{2-}" into the runs "SO", "4" (subscript), "2-" (superscript).
std::vector<Fragment> ParseMarkup(const std::string& text, const std::string& file, int line) {
  std::vector<Fragment> out;
  std::string plain;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if ((text[i] == '^' || text[i] == '_') && i + 1 < text.size() && text[i + 1] == '{') {
      const auto close = text.find('}', i + 2);
      if (close == std::string::npos || close == i + 2) Fail(file, line, "unclosed or empty " + text.substr(i, 2));
      if (!plain.empty()) out.push_back({std::move(plain), 0});
      plain.clear();
      const std::uint8_t script = text[i] == '^' ? LXW_FONT_SUPERSCRIPT : LXW_FONT_SUBSCRIPT;
      out.push_back({text.substr(i + 2, close - i - 2), script});
      i = close;
    } else {
      plain += text[i];
    }
  }
  if (!plain.empty()) out.push_back({std::move(plain), 0});
  return out;
}

// Not a style of the sheet files: the default font inside a rich text.
const char* const kDefaultRun = "default-run";

const char* const kStyles[] = {"", "title", "head", "wrap", "right", "input", "result", "note"};

bool IsStyle(const std::string& name) {
  for (const char* s : kStyles) {
    if (name == s) return true;
  }
  return false;
}

Sheet ReadSheet(const std::string& file) {
  std::ifstream in(file);
  if (!in) throw std::runtime_error(file + ": cannot be opened");
  Sheet sheet;
  sheet.file = file;
  std::string raw;
  int line = 0;
  while (std::getline(in, raw)) {
    ++line;
    const std::string text = Trim(raw);
    if (text.empty() || text[0] == '#') continue;
    if (text[0] == '[') {
      if (!sheet.name.empty() || text.back() != ']') Fail(file, line, "one [worksheet name] per file, first");
      sheet.name = text.substr(1, text.size() - 2);
      continue;
    }
    if (sheet.name.empty()) Fail(file, line, "the file must start with [worksheet name]");
    if (text[0] == '@') {
      char directive[16] = {}, a[64] = {}, b[64] = {};
      if (std::sscanf(text.c_str(), "@%15s %63s %63s", directive, a, b) < 2) Fail(file, line, "incomplete directive");
      const std::string d = directive;
      int r1, c1, r2, c2;
      if (d == "width") {
        std::string columns = a;
        if (columns.find(':') == std::string::npos) columns += ":" + columns;
        const auto colon = columns.find(':');
        if (!ParseRange(columns.substr(0, colon) + "1:" + columns.substr(colon + 1) + "1", r1, c1, r2, c2))
          Fail(file, line, "bad columns " + std::string(a));
        double width = 0.0;
        if (!ParseNumber(b, width)) Fail(file, line, "bad width " + std::string(b));
        sheet.widths.push_back({{c1, c2}, width});
      } else if (d == "height") {
        int row = 0;
        double height = 0.0;
        const std::string rowText = a;
        const auto [end, ec] = std::from_chars(rowText.data(), rowText.data() + rowText.size(), row);
        if (ec != std::errc() || end != rowText.data() + rowText.size() || row < 1)
          Fail(file, line, "bad row " + rowText);
        if (!ParseNumber(b, height)) Fail(file, line, "bad height " + std::string(b));
        sheet.heights.push_back({row - 1, height});
      } else if (d == "freeze") {
        if (!ParseCell(a, r1, c1)) Fail(file, line, "bad cell " + std::string(a));
        sheet.freezeRow = r1;
        sheet.freezeColumn = c1;
      } else if (d == "style") {
        if (!IsStyle(a)) Fail(file, line, "unknown style " + std::string(a));
        if (!ParseRange(b, r1, c1, r2, c2)) Fail(file, line, "bad range " + std::string(b));
        for (int r = r1; r <= r2; ++r) {
          for (int c = c1; c <= c2; ++c) sheet.cells[{r, c}].style = a;
        }
      } else {
        Fail(file, line, "unknown directive @" + d);
      }
      continue;
    }
    const auto equals = text.find('=');
    if (equals == std::string::npos) Fail(file, line, "expected CELL [style] = value");
    const std::string left = Trim(text.substr(0, equals));
    const std::string value = Trim(text.substr(equals + 1));
    const auto space = left.find_first_of(" \t");
    const std::string address = left.substr(0, space);
    const std::string style = space == std::string::npos ? "" : Trim(left.substr(space));
    int row, column;
    if (!ParseCell(address, row, column)) Fail(file, line, "bad cell " + address);
    if (!IsStyle(style)) Fail(file, line, "unknown style " + style);
    Cell& cell = sheet.cells[{row, column}];
    if (cell.hasValue) Fail(file, line, address + " is given twice");
    if (!style.empty()) cell.style = style;
    if (value.empty()) continue;
    cell.hasValue = true;
    if (value[0] != '\'' && ParseNumber(value, cell.number)) {
      cell.isNumber = true;
    } else {
      cell.text = ParseMarkup(value[0] == '\'' ? value.substr(1) : value, file, line);
    }
  }
  if (sheet.name.empty()) throw std::runtime_error(file + ": no [worksheet name]");
  return sheet;
}

// The cell format of a style, and the font of each of its text runs.
class Formats {
public:
  explicit Formats(lxw_workbook* book) : book_(book) {}

  lxw_format* Get(const std::string& style, std::uint8_t script = 0) {
    if (style.empty() && script == 0) return nullptr;
    lxw_format*& f = formats_[{style, script}];
    if (f) return f;
    f = workbook_add_format(book_);
    if (style == "title") {
      format_set_bold(f);
      format_set_font_size(f, 14);
    } else if (style == "head") {
      format_set_bold(f);
    } else if (style == "wrap") {
      format_set_bold(f);
      format_set_text_wrap(f);
      format_set_align(f, LXW_ALIGN_VERTICAL_TOP);
    } else if (style == "right") {
      format_set_align(f, LXW_ALIGN_RIGHT);
    } else if (style == "input") {
      format_set_bg_color(f, 0xFFF2CC); // pale yellow: the user's entries
      format_set_border(f, LXW_BORDER_THIN);
    } else if (style == "result") {
      format_set_bg_color(f, 0xE7E6E6); // pale grey: written by the program
      format_set_border(f, LXW_BORDER_THIN);
    } else if (style == "note") {
      format_set_italic(f);
      format_set_font_color(f, 0x595959);
    }
    if (script != 0) format_set_font_script(f, script);
    return f;
  }

private:
  lxw_workbook* book_;
  std::map<std::pair<std::string, std::uint8_t>, lxw_format*> formats_;
};

void Check(lxw_error error, const Sheet& sheet, const std::string& what) {
  if (error != LXW_NO_ERROR) {
    throw std::runtime_error(sheet.file + ": " + what + ": " + lxw_strerror(error));
  }
}

void WriteSheet(lxw_workbook* book, Formats& formats, const Sheet& sheet) {
  lxw_worksheet* ws = workbook_add_worksheet(book, sheet.name.c_str());
  if (!ws) throw std::runtime_error(sheet.file + ": worksheet \"" + sheet.name + "\" cannot be added");
  for (const auto& [columns, width] : sheet.widths) {
    Check(worksheet_set_column(ws, static_cast<lxw_col_t>(columns.first), static_cast<lxw_col_t>(columns.second), width,
                               nullptr),
          sheet, "column width");
  }
  for (const auto& [row, height] : sheet.heights) {
    Check(worksheet_set_row(ws, static_cast<lxw_row_t>(row), height, nullptr), sheet, "row height");
  }
  if (sheet.freezeRow > 0 || sheet.freezeColumn > 0) {
    worksheet_freeze_panes(ws, static_cast<lxw_row_t>(sheet.freezeRow), static_cast<lxw_col_t>(sheet.freezeColumn));
  }
  for (const auto& [at, cell] : sheet.cells) {
    const auto row = static_cast<lxw_row_t>(at.first);
    const auto column = static_cast<lxw_col_t>(at.second);
    lxw_format* format = formats.Get(cell.style);
    char address[LXW_MAX_CELL_NAME_LENGTH];
    lxw_rowcol_to_cell(address, row, column);
    const std::string where = sheet.name + "!" + address;
    if (!cell.hasValue || (!cell.isNumber && cell.text.empty())) {
      Check(worksheet_write_blank(ws, row, column, format), sheet, where);
    } else if (cell.isNumber) {
      Check(worksheet_write_number(ws, row, column, cell.number, format), sheet, where);
    } else if (cell.text.size() == 1) {
      // One run: a plain text, or one raised or lowered as a whole.
      lxw_format* whole = cell.text[0].script == 0 ? format : formats.Get(cell.style, cell.text[0].script);
      Check(worksheet_write_string(ws, row, column, cell.text[0].text.c_str(), whole), sheet, where);
    } else {
      std::vector<lxw_rich_string_tuple> runs;
      for (const Fragment& f : cell.text)
        runs.push_back({formats.Get(cell.style, f.script), const_cast<char*>(f.text.c_str())});
      // A run in the default font has no format of its own; the first run of a
      // rich string may omit it, the others need one: an empty format.
      for (std::size_t i = 1; i < runs.size(); ++i) {
        if (!runs[i].format) runs[i].format = formats.Get(kDefaultRun);
      }
      std::vector<lxw_rich_string_tuple*> list;
      for (auto& r : runs) list.push_back(&r);
      list.push_back(nullptr);
      Check(worksheet_write_rich_string(ws, row, column, list.data(), format), sheet, where);
    }
  }
}

} // namespace

int main(int argc, char** argv) {
  // libxlsxwriter prints numbers with printf: a decimal comma locale would
  // corrupt every number in the file.
  std::setlocale(LC_ALL, "C");
  if (argc < 3) {
    std::cerr << "usage: make_workbook OUTPUT.xlsx SHEET.txt...\n";
    return 2;
  }
  try {
    std::vector<Sheet> sheets;
    for (int i = 2; i < argc; ++i) sheets.push_back(ReadSheet(argv[i]));

    lxw_workbook* book = workbook_new(argv[1]);
    if (!book) throw std::runtime_error(std::string(argv[1]) + ": cannot be created");
    // A fixed creation date, so that the same sources give the same file.
    lxw_doc_properties properties = {};
    properties.title = const_cast<char*>("VONTRALEK");
    properties.subject = const_cast<char*>("Carbonate system and aqueous speciation of water analyses");
    properties.created = 1767225600; // 2026-01-01 00:00 UTC
    workbook_set_properties(book, &properties);
    Formats formats(book);
    try {
      for (const Sheet& sheet : sheets) WriteSheet(book, formats, sheet);
    } catch (...) {
      workbook_close(book);
      std::remove(argv[1]);
      throw;
    }
    const lxw_error error = workbook_close(book);
    if (error != LXW_NO_ERROR) {
      std::remove(argv[1]);
      throw std::runtime_error(std::string(argv[1]) + ": " + lxw_strerror(error));
    }
  } catch (const std::exception& e) {
    std::cerr << "make_workbook: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
