#include "workbook/XlsxSheet.h"

#include <charconv>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "common/Errors.h"
#include "common/ShortestNumber.h"
#include "workbook/PackageReader.h"
#include "workbook/References.h"
#include "workbook/XlsxXml.h"

namespace vontralek::workbook {

using namespace xml;

std::string NumbersMarkName() {
  static std::uint64_t state = [] {
    std::uint64_t seed = 0;
    if (FILE* f = std::fopen("/dev/urandom", "rb")) {
      if (std::fread(&seed, sizeof seed, 1, f) != 1) seed = 0;
      std::fclose(f);
    }
    return seed ^ reinterpret_cast<std::uintptr_t>(&seed) ^ static_cast<std::uint64_t>(std::time(nullptr));
  }();
  char name[64];
  std::uint64_t a = state += 0x9E3779B97F4A7C15ull, b = state += 0x9E3779B97F4A7C15ull;
  auto mix = [](std::uint64_t z) { // splitmix64
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  };
  std::snprintf(name, sizeof name, "vontralek-%016llx%016llx", static_cast<unsigned long long>(mix(a)),
                static_cast<unsigned long long>(mix(b)));
  return name;
}

void XlsxSheet::MarkOutOfOrder(int row) const {
  throw WorkbookError("Cannot save " + book_.Where() + ": the numbers written into " + SheetName() + " near row " +
                      std::to_string(row) +
                      " came out of order while the sheet was written (a fault of this program). The file on disk "
                      "was not changed.");
}

void XlsxSheet::UpdateDimension() {
  if (!written_) return;
  pugi::xml_node root = doc_->document_element();
  pugi::xml_node dimension = EnsureChild(root, "dimension", kWorksheetOrder);
  int r1 = minRow_, c1 = minColumn_, r2 = maxRow_, c2 = maxColumn_;
  const std::string_view ref = dimension.attribute("ref").value();
  const auto colon = ref.find(':');
  int a = 0, b = 0, c = 0, d = 0;
  if (colon == std::string_view::npos) {
    if (ParseCellRef(ref, a, b) && a > 0 && b > 0) c = a, d = b;
  } else if (!ParseCellRef(ref.substr(0, colon), a, b) || !ParseCellRef(ref.substr(colon + 1), c, d)) {
    a = b = c = d = 0;
  }
  // "A1" alone is what writers put in an empty sheet: it covers nothing.
  // Only in a part that held no cell when it was read, whether edited whole or streamed.
  const bool emptySheetMark = colon == std::string_view::npos && a == 1 && b == 1 && !readCells_;
  if (a > 0 && b > 0 && c > 0 && d > 0 && !emptySheetMark) {
    r1 = std::min(r1, std::min(a, c));
    c1 = std::min(c1, std::min(b, d));
    r2 = std::max(r2, std::max(a, c));
    c2 = std::max(c2, std::max(b, d));
  }
  const std::string value =
      r1 == r2 && c1 == c2 ? CellAddress(r1, c1) : CellAddress(r1, c1) + ":" + CellAddress(r2, c2);
  if (dimension.attribute("ref")) {
    dimension.attribute("ref").set_value(value.c_str());
  } else {
    dimension.append_attribute("ref") = value.c_str();
  }
}

// Writes the cells of row r from numbers[first] to numbers[last - 1] as the
// DOM would: <c r="K2" s="3"><v>1.5</v></c>, with the row's namespace prefix.
// A batch writes hundreds of thousands of them: the text goes straight into
// room made for the longest the cells can take, cut to size at the end.
void XlsxSheet::ExpandNumbers(const Mark& mark, std::string& out) const {
  const int r = mark.row;
  const std::size_t first = mark.first, last = mark.last;
  const Row& row = mark.row_ ? *mark.row_ : rows_.at(r);
  const std::string c = Prefixed(row.node, "c"), v = Prefixed(row.node, "v");
  char rowDigits[16];
  const std::string_view rowText(rowDigits,
                                 static_cast<std::size_t>(std::to_chars(rowDigits, rowDigits + 16, r).ptr - rowDigits));
  // The fixed text of a cell is 20 bytes, the names twice each, then at most
  // 3 letters, 7 digits of the row, 11 characters of the style and 24 of the
  // number: 80 besides the names leaves room for each number written below.
  const std::size_t cellMost = 2 * (c.size() + v.size()) + 80;
  const std::size_t start = out.size();
  out.resize(start + (last - first) * cellMost);
  char* p = out.data() + start;
  const auto put = [&p](std::string_view text) {
    std::memcpy(p, text.data(), text.size());
    p += text.size();
  };
  for (std::size_t i = first; i < last; ++i) {
    const NumberCell& n = row.numbers[i];
    *p++ = '<';
    put(c);
    put(" r=\"");
    char letters[4];
    int count = 0;
    for (int col = n.column; col > 0; col = (col - 1) / 26) letters[count++] = static_cast<char>('A' + (col - 1) % 26);
    while (count > 0) *p++ = letters[--count];
    put(rowText);
    if (n.style != 0) {
      put("\" s=\"");
      p = std::to_chars(p, p + 16, n.style).ptr;
    }
    put("\"><");
    put(v);
    *p++ = '>';
    // The shortest text that reads back as the same double, always with '.'.
    p = WriteShortest(p, n.value);
    put("</");
    put(v);
    put("></");
    put(c);
    *p++ = '>';
  }
  out.resize(static_cast<std::size_t>(p - out.data()));
}

std::vector<pugi::xml_node> XlsxSheet::MarkNumbers(int number, Row& row, const std::string& markName,
                                                   std::vector<Mark>& ranges) const {
  std::vector<pugi::xml_node> marks;
  std::size_t d = 0;
  for (std::size_t i = 0; i < row.numbers.size();) {
    while (d < row.cells.size() && row.cells[d].column < row.numbers[i].column) ++d;
    std::size_t j = i;
    while (j < row.numbers.size() && (d == row.cells.size() || row.numbers[j].column < row.cells[d].column)) ++j;
    pugi::xml_node mark = d < row.cells.size() && row.cells[d].node.parent() == row.node
                              ? row.node.insert_child_before(pugi::node_pi, row.cells[d].node)
                              : row.node.append_child(pugi::node_pi);
    mark.set_name(markName.c_str());
    mark.set_value(std::to_string(ranges.size()).c_str());
    marks.push_back(mark);
    ranges.push_back({number, i, j});
    i = j;
  }
  return marks;
}

std::string XlsxSheet::Serialize() {
  Load();
  UpdateDimension();
  // Each run of numbers kept outside the DOM gets a mark in its place among the
  // row's elements; the writer replaces the marks by the cells as it streams,
  // so the XML of those cells never exists as a DOM nor twice in memory.
  // A mark's value is its index in marks; the writer accepts them only in
  // order, so nothing else can be taken for one.
  std::vector<pugi::xml_node> marks;
  std::vector<Mark> ranges;
  // A guess at the size: a number cell "<c r=\"BZ1000\"><v>0.0012345678901234567</v></c>" is
  // 40-50 bytes, a cell element from the file about as much. Reserved memory
  // that stays unused is never touched, so a guess on the high side costs nothing.
  std::size_t expected = 4096;
  const std::string markName = NumbersMarkName();
  struct RemoveMarks {
    std::vector<pugi::xml_node>& marks;
    ~RemoveMarks() {
      for (pugi::xml_node mark : marks) mark.parent().remove_child(mark);
    }
  } removeMarks{marks};
  for (auto& [number, row] : rows_) {
    expected += 64 * (row.numbers.size() + row.cells.size()) + 32;
    for (pugi::xml_node mark : MarkNumbers(number, row, markName, ranges)) marks.push_back(mark);
  }
  if (marks.empty()) return xml::Serialize(*doc_);
  std::size_t next = 0;
  return xml::Serialize(
      *doc_, markName,
      [&](std::string_view value, std::string& out) {
        // The name is ours alone: a mark out of turn is a fault, never written.
        if (next >= ranges.size() || value != std::to_string(next))
          MarkOutOfOrder(ranges[std::min(next, ranges.size() - 1)].row);
        ExpandNumbers(ranges[next++], out);
        return true;
      },
      expected);
}

bool XlsxSheet::MayBeTabSelected() const {
  // Every sheet is read when the workbook is opened; a sheet streamed is read
  // again after a save, as a stream.
  Load();
  for (pugi::xml_node v = Child(Child(doc_->document_element(), "sheetViews"), "sheetView"); v;
       v = NextNamed(v, "sheetView")) {
    if (v.attribute("tabSelected").as_bool()) return true;
  }
  return false;
}

void XlsxSheet::SetTabSelected(bool selected) {
  Load();
  pugi::xml_node root = doc_->document_element();
  if (selected) {
    pugi::xml_node views = EnsureChild(root, "sheetViews", kWorksheetOrder);
    pugi::xml_node view = Child(views, "sheetView");
    if (!view) {
      view = views.append_child(Prefixed(views, "sheetView").c_str());
      view.append_attribute("workbookViewId") = 0;
    }
    for (; view; view = NextNamed(view, "sheetView")) {
      if (view.attribute("workbookViewId").as_int() != 0) continue;
      if (view.attribute("tabSelected").as_bool()) continue;
      view.remove_attribute("tabSelected");
      view.prepend_attribute("tabSelected") = "1";
      dirty_ = true;
    }
  } else {
    for (pugi::xml_node v = Child(Child(root, "sheetViews"), "sheetView"); v; v = NextNamed(v, "sheetView")) {
      if (v.attribute("tabSelected")) {
        v.remove_attribute("tabSelected");
        dirty_ = true;
      }
    }
  }
}

} // namespace vontralek::workbook
