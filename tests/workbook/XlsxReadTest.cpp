// Reading cells: empty is 0, a number is itself, numeric text is converted,
// any other text is a type mismatch naming worksheet, cell and text; shared and
// inline strings, cached formula values, cells and rows without an r attribute.

#include <gtest/gtest.h>

#include <cmath>

#include "TestPackages.h"
#include "model/Errors.h"
#include "workbook/XlsxWorkbook.h"

namespace vontralek::workbook {
namespace {

std::unique_ptr<XlsxWorkbook> Open(const std::string& sheet1, const std::string& sst = "") {
  return XlsxWorkbook::FromBytes(test::ZipParts(test::MinimalParts({sheet1, "", "", ""}, sst)), "test.xlsx");
}

std::string Inline(const std::string& ref, const std::string& text) {
  return "<c r=\"" + ref + "\" t=\"inlineStr\"><is><t>" + text + "</t></is></c>";
}

TEST(CellAddress, ColumnLettersAreBijectiveBase26) {
  // Z = 26, AA = 27, AZ = 52, BA = 53, CA = 79, XFD = 16384 (the last column).
  const std::vector<std::tuple<int, int, std::string>> cases = {
      {1, 1, "A1"},   {1, 26, "Z1"},        {1, 27, "AA1"}, {2, 52, "AZ2"},
      {2, 53, "BA2"}, {1001, 79, "CA1001"}, {5, 16, "P5"},  {1048576, 16384, "XFD1048576"}};
  for (const auto& [row, column, address] : cases) EXPECT_EQ(CellAddress(row, column), address);
}

TEST(XlsxRead, ValuesOfEveryKindOfCell) {
  // Shared string 0 is empty, 1 rich text whose phonetic guide is no part of
  // the value, 2 a string with escapes; index 3 does not exist.
  const std::string sst = "<si><t/></si><si><r><t>[HCO</t></r><r><rPr><vertAlign val=\"subscript\"/></rPr><t>3</t></r>"
                          "<r><t>-</t></r><rPh sb=\"0\" eb=\"1\"><t>X</t></rPh></si><si><t xml:space=\"preserve\"> "
                          "a&amp;b_x000D_ </t></si>";
  auto book = Open(
      "<row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c><c r=\"B1\" t=\"s\"><v>1</v></c><c r=\"C1\" t=\"s\"><v>2</v></c>" +
          Inline("D1", "nd") + "<c r=\"E1\"><v>7.25</v></c><c r=\"F1\" s=\"3\"/><c r=\"G1\"><v>1E-3</v></c>" +
          Inline("H1", " 1.5 ") + "<c r=\"I1\" t=\"n\"><v>-0</v></c><c r=\"J1\" t=\"s\"><v>3</v></c></row>" +
          // Formula cells give their cached value; F2 was never calculated.
          "<row r=\"2\"><c r=\"A2\"><f>2+3</f><v>5</v></c><c r=\"B2\" t=\"str\"><f>\"a\"&amp;\"b\"</f><v>ab</v></c>"
          "<c r=\"C2\" t=\"b\"><f>1=1</f><v>1</v></c><c r=\"D2\" t=\"b\"><v>0</v></c>"
          "<c r=\"E2\" t=\"e\"><f>1/0</f><v>#DIV/0!</v></c><c r=\"F2\"><f>A2</f></c></row>"
          // Row 3: B3, then C3 and D3 without r, F3, then G3 without r; a row
          // without r is the previous plus one (4), C5 explicit again.
          "<row r=\"3\"><c r=\"B3\"><v>1</v></c><c><v>2</v></c><c><v>3</v></c><c r=\"F3\"><v>4</v></c><c><v>5</v></c>"
          "</row><row><c><v>6</v></c></row><row><c r=\"C5\"><v>7</v></c></row>",
      sst);
  Worksheet& s = book->Worksheets(1);
  const std::vector<std::tuple<int, int, const char*>> texts = {{1, 1, ""},   {1, 2, "[HCO3-"}, {1, 3, " a&b\r "},
                                                                {1, 4, "nd"}, {2, 2, "ab"},     {2, 5, "#DIV/0!"}};
  for (const auto& [row, column, text] : texts) EXPECT_TRUE(s.Value(row, column).EqualsText(text)) << text;
  // (row, column, number); 0 where the cell is empty.
  const std::vector<std::tuple<int, int, double>> numbers = {
      {1, 5, 7.25}, {1, 6, 0}, {1, 7, 0.001}, {1, 8, 1.5}, {1, 9, 0}, {2, 1, 5}, {2, 3, 1},
      {2, 4, 0},    {2, 6, 0}, {3, 2, 1},     {3, 3, 2},   {3, 4, 3}, {3, 5, 0}, {3, 6, 4},
      {3, 7, 5},    {4, 1, 6}, {5, 3, 7},     {1, 100, 0}, {9, 1, 0}};
  for (const auto& [row, column, number] : numbers)
    EXPECT_EQ(s.NumberValue(row, column), number) << row << "," << column;
  EXPECT_TRUE(s.IsEmpty(1, 6) && s.IsEmpty(2, 6)); // a style alone, a formula never calculated
  EXPECT_FALSE(s.Value(1, 9).EqualsText("0") || s.Value(1, 6).EqualsText(""));
  EXPECT_FALSE(s.Value(1, 4).EqualsText("ND") || s.Value(1, 4).EqualsText("nd ")); // exact, case-sensitive
  const std::vector<std::pair<int, int>> positions = {{3, 2}, {3, 3}, {3, 4}, {3, 6}, {3, 7}, {4, 1}, {5, 3}};
  const auto all = book->CellPositions(1);
  EXPECT_TRUE(std::equal(positions.begin(), positions.end(), all.end() - 7));
  EXPECT_THROW(s.Value(0, 1), WorkbookError);
  EXPECT_THROW(s.Value(1, 16385), WorkbookError);
  EXPECT_THROW(book->Worksheets(5), WorkbookError);
  try {
    s.Value(1, 10);
    FAIL() << "a missing shared string was read";
  } catch (const WorkbookError& e) {
    EXPECT_NE(std::string(e.what()).find("J1"), std::string::npos) << e.what();
    EXPECT_NE(std::string(e.what()).find("test.xlsx"), std::string::npos) << e.what();
  }
}

TEST(XlsxRead, TextIsANumberOnlyWhenItIsAFiniteDecimal) {
  // (text, its number; NAN where the text is a type mismatch). 0.1 must be the
  // double nearest to 1/10.
  const std::vector<std::pair<std::string, double>> cases = {{"7.25", 7.25},      {"  -0.5e-3 ", -0.0005},
                                                             {"+12", 12},         {".5", 0.5},
                                                             {"0.1", 1.0 / 10.0}, {"nan", NAN},
                                                             {"inf", NAN},        {"-infinity", NAN},
                                                             {"0x1p3", NAN},      {"7,25", NAN},
                                                             {"1e400", NAN},      {"1.2.3", NAN},
                                                             {"12abc", NAN},      {"--1", NAN},
                                                             {"e5", NAN},         {"n.d.", NAN},
                                                             {"#DIV/0!", NAN}};
  std::string row = "<row r=\"7\">";
  for (std::size_t i = 0; i < cases.size(); ++i) row += Inline(CellAddress(7, 30 + int(i)), cases[i].first);
  auto book = Open(row + "</row>");
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const auto& [text, number] = cases[i];
    const int column = 30 + int(i); // AD, AE...
    if (!std::isnan(number)) {
      EXPECT_EQ(book->Worksheets(1).NumberValue(7, column), number) << text;
      continue;
    }
    try {
      book->Worksheets(1).NumberValue(7, column);
      ADD_FAILURE() << text << " was read as a number";
    } catch (const TypeMismatchError& e) {
      const std::string message = e.what();
      for (const std::string& part :
           {std::string("worksheet 1 (\"Sheet1\")"), CellAddress(7, column), "\"" + text + "\""}) {
        EXPECT_NE(message.find(part), std::string::npos) << message;
      }
    }
  }
}

TEST(XlsxRead, PrefixedNamespaceAndWorksheetOrder) {
  // The main namespace under a prefix; the sheet order is that of <sheets>.
  test::Parts parts = test::MinimalParts({"", "", "", ""});
  for (auto& [name, data] : parts) {
    if (name == "xl/worksheets/sheet2.xml") {
      data = "<x:worksheet xmlns:x=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><x:sheetData>"
             "<x:row r=\"1\"><x:c r=\"A1\" t=\"inlineStr\"><x:is><x:t>second</x:t></x:is></x:c></x:row>"
             "</x:sheetData></x:worksheet>";
    }
    if (name == "xl/workbook.xml") {
      const auto a = data.find("<sheet name=\"Sheet2\""), b = data.find("/>", a) + 2;
      const std::string second = data.substr(a, b - a);
      data.erase(a, b - a);
      data.insert(data.find("<sheet "), second);
    }
  }
  auto book = XlsxWorkbook::FromBytes(test::ZipParts(parts), "prefixed.xlsx");
  EXPECT_EQ(book->Worksheets(1).Name(), "Sheet2");
  EXPECT_TRUE(book->Worksheets(1).Value(1, 1).EqualsText("second"));
  EXPECT_EQ(book->Worksheets(2).Name(), "Sheet1");
  // Cells written there take the prefix too.
  book->Worksheets(1).SetNumber(1, 2, 2.5);
  book->Worksheets(1).SetText(1, 3, "t");
  const std::string xml = test::UnzipParts(book->SaveToBytes()).at("xl/worksheets/sheet2.xml");
  EXPECT_NE(xml.find("<x:c r=\"B1\"><x:v>2.5</x:v></x:c><x:c r=\"C1\" t=\"inlineStr\"><x:is><x:t>t</x:t>"),
            std::string::npos)
      << xml;
}

} // namespace
} // namespace vontralek::workbook
