// libFuzzer target for the .xlsx reader. An input starting with "PK" is the package; any other is split at
// NUL bytes into the XML parts named below and zipped, so that mutations reach the XML. Each package is read,
// edited as a run does, saved to memory and reopened: what was written must read back, and the texts of the
// written sheet not written stay as they were (no content of the file can pass for the writer's own marks);
// sheet 2 edited as a stream of rows is written as when it is edited whole, byte for byte, with the numbers written
// read back and none of the writer's marks (processing instructions of a random name) in any part.

#include <algorithm>
#include <cstdint>
#include <string>

#include "../TestPackages.h"
#include "common/Errors.h"
#include "workbook/XlsxWorkbook.h"

using namespace vontralek::workbook;

// Whether text holds a processing instruction named as the writer names its marks: "vontralek-" and 32 hexadecimal
// digits, new to this process, so that no input holds one.
bool HasWritersMark(const std::string& text) {
  for (std::size_t at = text.find("<?vontralek-"); at != std::string::npos; at = text.find("<?vontralek-", at + 1)) {
    const std::size_t digits = text.find_first_not_of("0123456789abcdef", at + 12);
    if ((digits == std::string::npos ? text.size() : digits) - (at + 12) == 32) return true;
  }
  return false;
}

// Sheet 2 edited as a batch run does (row order); streamFrom 0: as a stream of rows.
std::string EditedBatch(const std::string& package, std::uint64_t streamFrom) {
  auto book = XlsxWorkbook::FromBytes(package, "fuzz.xlsx", {.streamFromSize = streamFrom});
  Worksheet& s = book->Worksheets(2);
  for (int r = 1; r <= 5; ++r) (void)s.Value(r, 1);
  s.SetText(1, 3, "pCO2");
  s.SetSubscript(1, 3, 4, 1);
  for (int r = 2; r <= 4; ++r) {
    (void)s.Value(r, 2);
    s.SetNumber(r, 11, r * 0.5);
    s.SetEmpty(r, r - 1);
  }
  const std::string saved = book->SaveToBytes();
  for (const auto& [name, text] : test::UnzipParts(saved))
    if (HasWritersMark(text)) __builtin_trap();
  auto again = XlsxWorkbook::FromBytes(saved, "fuzz-saved.xlsx");
  for (int r = 2; r <= 4; ++r)
    if (again->Worksheets(2).NumberValue(r, 11) != r * 0.5) __builtin_trap();
  return test::UnzipParts(saved)["xl/worksheets/sheet2.xml"];
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string input(reinterpret_cast<const char*>(data), size);
  if (input.rfind("PK", 0) != 0) {
    test::Parts parts;
    for (const char* name : {"[Content_Types].xml", "_rels/.rels", "xl/workbook.xml", "xl/_rels/workbook.xml.rels",
                             "xl/worksheets/sheet1.xml", "xl/worksheets/sheet2.xml", "xl/worksheets/sheet3.xml",
                             "xl/worksheets/sheet4.xml", "xl/sharedStrings.xml", "xl/styles.xml", "xl/calcChain.xml"}) {
      if (input.empty()) break; // the parts not given are missing
      const std::size_t end = std::min(input.find('\0'), input.size());
      parts.push_back({name, input.substr(0, end)});
      input.erase(0, end + 1);
    }
    if (parts.empty()) return 0; // libzip writes no empty package
    input = test::ZipParts(parts);
  }
  // A sheet streamed is written as the same sheet edited whole, byte for byte.
  std::string whole;
  try {
    whole = EditedBatch(input, UINT64_MAX);
  } catch (const vontralek::WorkbookError&) {
  }
  if (!whole.empty() && EditedBatch(input, 0) != whole) __builtin_trap();
  try {
    auto book = XlsxWorkbook::FromBytes(input, "fuzz.xlsx");
    for (int n = 1; n <= 4; ++n)
      for (const auto& [row, column] : book->CellPositions(n)) {
        try {
          (void)book->Worksheets(n).NumberValue(row, column);
        } catch (const vontralek::WorkbookError&) { // text that is no number
        }
      }
    std::vector<std::pair<std::pair<int, int>, std::string>> texts; // of sheet 2, before it is written
    for (const auto& position : book->CellPositions(2)) {
      const CellValue v = book->Worksheets(2).Value(position.first, position.second);
      if (v.kind == CellValue::Kind::Text && position != std::pair(2, 79)) texts.push_back({position, v.text});
    }
    Worksheet& main = book->Worksheets(1);
    main.SetText(4, 1, "[CO32-]");
    main.SetSubscript(4, 1, 4, 1);
    main.SetSuperscript(4, 1, 5, 2);
    main.SetNumber(5, 16, 0.1);
    book->Worksheets(2).SetNumber(2, 79, -1.5e-7);
    book->Activate(2);
    auto again = XlsxWorkbook::FromBytes(book->SaveToBytes(), "fuzz-saved.xlsx");
    if (!again->Worksheets(1).Value(4, 1).EqualsText("[CO32-]") || again->Worksheets(1).NumberValue(5, 16) != 0.1 ||
        again->Worksheets(2).NumberValue(2, 79) != -1.5e-7)
      __builtin_trap(); // written, but read back otherwise
    for (const auto& [position, text] : texts)
      if (!again->Worksheets(2).Value(position.first, position.second).EqualsText(text)) __builtin_trap();
  } catch (const vontralek::WorkbookError&) {
    // A damaged package is refused with a message: the expected outcome.
  }
  return 0;
}
