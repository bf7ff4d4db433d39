// Reading cells of an .xlsx package: shared and inline strings, cached
// formula values, booleans and error values, and the positions of cells and
// rows that carry no r attribute.

#include <gtest/gtest.h>

#include "TestPackages.h"
#include "model/Errors.h"
#include "workbook/XlsxWorkbook.h"

namespace vontralek::workbook {
namespace {

using test::MinimalParts;
using test::ZipParts;

std::unique_ptr<XlsxWorkbook> Open(const std::vector<std::string>& sheetData, const std::string& sst = "") {
  std::vector<std::string> sheets = sheetData;
  while (sheets.size() < 4) sheets.push_back("");
  return XlsxWorkbook::FromBytes(ZipParts(MinimalParts(sheets, sst)), "test.xlsx");
}

TEST(XlsxRead, SharedStringIndicesCountEverySiAndJoinRichRuns) {
  // Index 0 is empty, 1 is rich text in two runs with a phonetic guide that is
  // not part of the value, 2 a plain string with escaped characters.
  const std::string sst =
      "<si><t/></si>"
      "<si><r><t>[HCO</t></r><r><rPr><vertAlign val=\"subscript\"/></rPr><t>3</t></r>"
      "<r><rPr><vertAlign val=\"superscript\"/></rPr><t>-</t></r><rPh sb=\"0\" eb=\"1\"><t>X</t></rPh></si>"
      "<si><t xml:space=\"preserve\"> a&amp;b_x000D_ </t></si>";
  auto book = Open({"<row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c><c r=\"B1\" t=\"s\"><v>1</v></c>"
                    "<c r=\"C1\" t=\"s\"><v>2</v></c><c r=\"D1\" t=\"s\"><v>3</v></c></row>"},
                   sst);
  Worksheet& s = book->Worksheets(1);
  EXPECT_TRUE(s.Value(1, 1).EqualsText(""));
  EXPECT_TRUE(s.Value(1, 2).EqualsText("[HCO3-"));
  EXPECT_TRUE(s.Value(1, 3).EqualsText(" a&b\r "));
  // Index 3 does not exist: the file is damaged, and the message says where.
  try {
    s.Value(1, 4);
    FAIL();
  } catch (const WorkbookError& e) {
    EXPECT_NE(std::string(e.what()).find("D1"), std::string::npos) << e.what();
    EXPECT_NE(std::string(e.what()).find("test.xlsx"), std::string::npos) << e.what();
  }
}

TEST(XlsxRead, InlineStringsNumbersAndEmptyCells) {
  auto book = Open({"<row r=\"2\"><c r=\"A2\" t=\"inlineStr\"><is><t>nd</t></is></c>"
                    "<c r=\"B2\"><v>7.25</v></c><c r=\"C2\" s=\"3\"/><c r=\"D2\"><v>1E-3</v></c>"
                    "<c r=\"E2\" t=\"n\"><v>-0</v></c>"
                    "<c r=\"F2\" t=\"inlineStr\"><is><r><t>p</t></r><r><t>CO2</t></r></is></c></row>"});
  Worksheet& s = book->Worksheets(1);
  EXPECT_TRUE(s.Value(2, 1).EqualsText("nd"));
  EXPECT_EQ(s.NumberValue(2, 2), 7.25);
  EXPECT_TRUE(s.IsEmpty(2, 3)); // a style alone is no value
  EXPECT_EQ(s.NumberValue(2, 3), 0.0);
  EXPECT_EQ(s.NumberValue(2, 4), 0.001);
  EXPECT_EQ(s.NumberValue(2, 5), 0.0);
  EXPECT_TRUE(s.Value(2, 6).EqualsText("pCO2"));
  EXPECT_TRUE(s.IsEmpty(1, 1));   // a row that is not there
  EXPECT_TRUE(s.IsEmpty(2, 100)); // a cell beyond the last of its row
  EXPECT_THROW(s.Value(0, 1), WorkbookError);
  EXPECT_THROW(s.Value(1, 16385), WorkbookError);
}

TEST(XlsxRead, FormulaCellsGiveTheirCachedValue) {
  auto book = Open({"<row r=\"1\"><c r=\"A1\"><f>2+3</f><v>5</v></c>"
                    "<c r=\"B1\" t=\"str\"><f>\"a\"&amp;\"b\"</f><v>ab</v></c>"
                    "<c r=\"C1\" t=\"b\"><f>1=1</f><v>1</v></c><c r=\"D1\" t=\"b\"><v>0</v></c>"
                    "<c r=\"E1\" t=\"e\"><f>1/0</f><v>#DIV/0!</v></c><c r=\"F1\"><f>A1</f></c></row>"});
  Worksheet& s = book->Worksheets(1);
  EXPECT_EQ(s.NumberValue(1, 1), 5.0);
  EXPECT_TRUE(s.Value(1, 2).EqualsText("ab"));
  EXPECT_EQ(s.NumberValue(1, 3), 1.0); // TRUE
  EXPECT_EQ(s.NumberValue(1, 4), 0.0); // FALSE
  EXPECT_TRUE(s.Value(1, 5).EqualsText("#DIV/0!"));
  EXPECT_THROW(s.NumberValue(1, 5), TypeMismatchError); // an error value is no number
  EXPECT_TRUE(s.IsEmpty(1, 6));                         // never calculated
}

TEST(XlsxRead, CellsAndRowsWithoutRTakeThePreviousPlusOne) {
  // Row 3 has cells B3 (explicit), C3, D3 (implicit), F3 (explicit), G3
  // (implicit); the next row has no r and is row 4, the one after it row 5.
  auto book = Open({"<row r=\"3\"><c r=\"B3\"><v>1</v></c><c><v>2</v></c><c><v>3</v></c>"
                    "<c r=\"F3\"><v>4</v></c><c><v>5</v></c></row>"
                    "<row><c><v>6</v></c></row><row><c r=\"C5\"><v>7</v></c></row>"});
  Worksheet& s = book->Worksheets(1);
  EXPECT_EQ(s.NumberValue(3, 2), 1.0);
  EXPECT_EQ(s.NumberValue(3, 3), 2.0);
  EXPECT_EQ(s.NumberValue(3, 4), 3.0);
  EXPECT_TRUE(s.IsEmpty(3, 5));
  EXPECT_EQ(s.NumberValue(3, 6), 4.0);
  EXPECT_EQ(s.NumberValue(3, 7), 5.0);
  EXPECT_EQ(s.NumberValue(4, 1), 6.0);
  EXPECT_EQ(s.NumberValue(5, 3), 7.0);
  const std::vector<std::pair<int, int>> expected = {{3, 2}, {3, 3}, {3, 4}, {3, 6}, {3, 7}, {4, 1}, {5, 3}};
  EXPECT_EQ(book->CellPositions(1), expected);
}

TEST(XlsxRead, PrefixedNamespaceAndWorksheetOrder) {
  // Some writers put the main namespace under a prefix; the sheet order is
  // that of <sheets>, not of the part names.
  test::Parts parts = MinimalParts({"", "", "", ""});
  for (auto& [name, data] : parts) {
    if (name == "xl/worksheets/sheet2.xml") {
      data = "<x:worksheet xmlns:x=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><x:sheetData>"
             "<x:row r=\"1\"><x:c r=\"A1\" t=\"inlineStr\"><x:is><x:t>second</x:t></x:is></x:c></x:row>"
             "</x:sheetData></x:worksheet>";
    }
    if (name == "xl/workbook.xml") {
      const auto a = data.find("<sheet name=\"Sheet2\"");
      const auto b = data.find("/>", a) + 2;
      const std::string second = data.substr(a, b - a);
      data.erase(a, b - a);
      data.insert(data.find("<sheet "), second); // Sheet2 becomes the first tab
    }
  }
  auto book = XlsxWorkbook::FromBytes(ZipParts(parts), "prefixed.xlsx");
  EXPECT_EQ(book->Worksheets(1).Name(), "Sheet2");
  EXPECT_TRUE(book->Worksheets(1).Value(1, 1).EqualsText("second"));
  EXPECT_EQ(book->Worksheets(2).Name(), "Sheet1");
  EXPECT_THROW(book->Worksheets(5), WorkbookError);
  EXPECT_THROW(book->Worksheets(0), WorkbookError);
}

} // namespace
} // namespace vontralek::workbook
