// Reading cells, editing packages (all but the written cells kept byte for byte), refusing bad or locked files.

#include <gmock/gmock.h>
#include <pugixml.hpp>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <limits>

#include "TestPackages.h"
#include "common/Errors.h"
#include "workbook/XlsxWorkbook.h"

namespace vontralek::workbook {
namespace {

namespace fs = std::filesystem;
using namespace test;
using ::testing::AllOf, ::testing::HasSubstr, ::testing::ThrowsMessage;

// VONTRALEK_TEST_STREAMED set: every worksheet is edited as a stream of rows.
PackageLimits Limits() {
  PackageLimits limits;
  if (std::getenv("VONTRALEK_TEST_STREAMED")) limits.streamFromSize = 0;
  return limits;
}

// A workbook of four worksheets, those not given empty.
auto Open(std::vector<std::string> sheets, const std::string& sst = "", const std::string& chain = "") {
  sheets.resize(4);
  return XlsxWorkbook::FromBytes(ZipParts(MinimalParts(sheets, sst, chain)), "test.xlsx", Limits());
}

std::string Inline(const std::string& ref, const std::string& text) {
  return "<c r=\"" + ref + "\" t=\"inlineStr\"><is><t>" + text + "</t></is></c>";
}

struct Part { // a part of the saved package, parsed
  pugi::xml_document doc;
  Part(const std::map<std::string, std::string>& parts, const std::string& name) {
    EXPECT_TRUE(doc.load_string(parts.at(name).c_str(), pugi::parse_default | pugi::parse_ws_pcdata_single)) << name;
  }
  pugi::xml_node Cell(const std::string& ref) const {
    return doc.select_node(("//*[local-name()='c'][@r='" + ref + "']").c_str()).node();
  }
};

TEST(XlsxRead, ValuesOfEveryKindOfCell) {
  // Shared string 0 is empty, 1 rich text whose phonetic guide is no part of the value, 2 a string with escapes:
  // U+1F600 as a UTF-16 surrogate pair (UTF-8 F0 9F 98 80), a lone high surrogate (U+FFFD, UTF-8 EF BF BD); no 3.
  const std::string sst = "<si><t/></si><si><r><t>[HCO</t></r><r><rPr><vertAlign val=\"subscript\"/></rPr><t>3</t></r>"
                          "<r><t>-</t></r><rPh sb=\"0\" eb=\"1\"><t>X</t></rPh></si><si><t xml:space=\"preserve\"> "
                          "a&amp;b_x000D_ _xD83D__xDE00__xD83D_x</t></si>";
  auto book = Open(
      {"<row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c><c r=\"B1\" t=\"s\"><v>1</v></c><c r=\"C1\" t=\"s\"><v>2</v></c>" +
       Inline("D1", "nd") + "<c r=\"E1\"><v>7.25</v></c><c r=\"F1\" s=\"3\"/><c r=\"G1\"><v>1E-3</v></c>" +
       Inline("H1", " 1.5 ") + "<c r=\"I1\" t=\"n\"><v>-0</v></c><c r=\"J1\" t=\"s\"><v>3</v></c></row>" +
       // Formula cells give their cached value; F2 never calculated, nor G2 and H2 sharing G2's formula (H2: B2*2).
       "<row r=\"2\"><c r=\"A2\"><f>2+3</f><v>5</v></c><c r=\"B2\" t=\"str\"><f>\"a\"&amp;\"b\"</f><v>ab</v></c>"
       "<c r=\"C2\" t=\"b\"><f>1=1</f><v>1</v></c><c r=\"D2\" t=\"b\"><v>0</v></c>"
       "<c r=\"E2\" t=\"e\"><f>1/0</f><v>#DIV/0!</v></c><c r=\"F2\"><f>A2</f></c>"
       "<c r=\"G2\"><f t=\"shared\" ref=\"G2:H2\" si=\"0\">A2*2</f></c><c r=\"H2\"><f t=\"shared\" si=\"0\"/></c></row>"
       // Row 3: B3, C3 and D3 without r, F3, G3 without r; a row without r is the previous plus one (4), C5 explicit.
       "<row r=\"3\"><c r=\"B3\"><v>1</v></c><c><v>2</v></c><c><v>3</v></c><c r=\"F3\"><v>4</v></c><c><v>5</v></c>"
       "</row><row><c><v>6</v></c></row><row><c r=\"C5\"><v>7</v></c></row>"},
      sst);
  Worksheet& s = book->Worksheets(1);
  const std::vector<std::tuple<int, int, const char*>> texts = {
      {1, 1, ""}, {1, 2, "[HCO3-"}, {1, 3, " a&b\r \xF0\x9F\x98\x80\xEF\xBF\xBDx"}, {1, 4, "nd"}, {2, 2, "ab"}};
  for (const auto& [row, column, text] : texts) EXPECT_TRUE(s.Value(row, column).EqualsText(text)) << text;
  // Logical and error values and uncalculated formulas are no numbers, nor empty, nor texts: named with the cell.
  const std::vector<std::tuple<int, int, const char*>> mismatches = {
      {2, 3, "logical value TRUE"},
      {2, 4, "logical value FALSE"},
      {2, 5, "error value #DIV/0!"},
      {2, 6, "formula =A2, which was never calculated"},
      {2, 8, "formula =B2*2, which was never calculated"}};
  for (const auto& [row, column, what] : mismatches) {
    EXPECT_FALSE(s.IsEmpty(row, column) || s.Value(row, column).EqualsText(what));
    EXPECT_THAT([&] { s.NumberValue(row, column); },
                ThrowsMessage<TypeMismatchError>(AllOf(HasSubstr(CellAddress(row, column) + " holds the " + what))));
  }
  EXPECT_THAT([&] { s.NumberValue(2, 6); }, ThrowsMessage<TypeMismatchError>(HasSubstr("recalculate and save it")));
  // (row, column, number); 0 where the cell is empty.
  const std::vector<std::tuple<int, int, double>> numbers = {
      {1, 5, 7.25}, {1, 6, 0}, {1, 7, 0.001}, {1, 8, 1.5}, {1, 9, 0}, {2, 1, 5}, {3, 2, 1},   {3, 3, 2},
      {3, 4, 3},    {3, 5, 0}, {3, 6, 4},     {3, 7, 5},   {4, 1, 6}, {5, 3, 7}, {1, 100, 0}, {9, 1, 0}};
  for (const auto& [row, column, number] : numbers)
    EXPECT_EQ(s.NumberValue(row, column), number) << row << "," << column;
  EXPECT_TRUE(s.IsEmpty(1, 6));                 // a style alone
  EXPECT_FALSE(s.Value(1, 4).EqualsText("ND")); // exact, case-sensitive
  for (const auto& [row, column] : {std::pair{0, 1}, {1, 16385}}) EXPECT_THROW(s.Value(row, column), WorkbookError);
  EXPECT_THAT([&] { s.Value(1, 10); }, ThrowsMessage<WorkbookError>(AllOf(HasSubstr("J1"), HasSubstr("test.xlsx"))));
}

TEST(XlsxRead, TextIsANumberOnlyWhenItIsAFiniteDecimal) {
  // Numeric texts and their numbers (0.1 the double nearest to 1/10) in AD7...; type mismatches in AN7...
  const std::vector<std::pair<std::string, double>> numbers = {
      {"7.25", 7.25}, {"  -0.5e-3 ", -0.0005}, {"+12", 12}, {".5", 0.5}, {"0.1", 1.0 / 10.0}};
  const std::vector<std::string> refused = {"nan",   "inf",   "-infinity", "0x1p3", "7,25", "1e400",
                                            "1.2.3", "12abc", "--1",       "e5",    "n.d.", "#DIV/0!"};
  std::string row = "<row r=\"7\">";
  for (std::size_t i = 0; i < numbers.size(); ++i) row += Inline(CellAddress(7, 30 + int(i)), numbers[i].first);
  for (std::size_t i = 0; i < refused.size(); ++i) row += Inline(CellAddress(7, 40 + int(i)), refused[i]);
  auto book = Open({row + "</row>"});
  Worksheet& s = book->Worksheets(1);
  for (std::size_t i = 0; i < numbers.size(); ++i)
    EXPECT_EQ(s.NumberValue(7, 30 + int(i)), numbers[i].second) << numbers[i].first;
  for (std::size_t i = 0; i < refused.size(); ++i)
    EXPECT_THAT([&] { s.NumberValue(7, 40 + int(i)); },
                ThrowsMessage<TypeMismatchError>(AllOf(HasSubstr("worksheet 1 (\"Sheet1\")"),
                                                       HasSubstr(CellAddress(7, 40 + int(i))),
                                                       HasSubstr("\"" + refused[i] + "\""))));
  // A message shows 80 characters of a long text, control characters escaped (ESC starts a sequence), "é" once.
  s.SetText(8, 1, "\x1B[2J\u00e9" + std::string(100000, 'x'));
  EXPECT_THAT([&] { s.NumberValue(8, 1); },
              ThrowsMessage<TypeMismatchError>(HasSubstr("\"\\x1B[2J\u00e9" + std::string(75, 'x') + "...\"")));
}

TEST(XlsxWrite, OnlyTheWrittenSheetsChangeAndScriptsBecomeRichTextRuns) {
  const auto path = TestFolder("roundtrip") / "book.xlsx";
  MakeStyledWorkbook(path);
  const auto before = UnzipParts(ReadBytes(path));
  auto book = XlsxWorkbook::FromBytes(ReadBytes(path), path, Limits());
  Worksheet& main = book->Worksheets(1);
  main.SetNumber(5, 10, 0.125);  // J5, formatted "0.000"
  main.SetText(4, 1, "[CO32-]"); // "[CO" plain, "3" lowered, "2-" raised
  main.SetSubscript(4, 1, 4, 1);
  main.SetSuperscript(4, 1, 5, 2);
  main.SetSubscript(1, 1, 1, 5); // a heading already there: a shared string, bold 14 pt
  main.SetText(4, 3, "pCO2");
  main.SetSubscript(4, 3, 4, 1);
  main.SetText(4, 3, "pH");      // the formatting goes with the old text
  main.SetSubscript(4, 4, 1, 1); // an empty cell: nothing to format
  main.SetNumber(4, 5, 1);
  main.SetSubscript(4, 5, 1, 1); // a number: nothing to format
  book->Worksheets(2).SetText(1, 2, "pH");
  book->Worksheets(2).SetNumber(2, 11, 1.5);
  book->Activate(2); // shown next time
  book->Save();
  const auto after = UnzipParts(ReadBytes(path));
  ASSERT_EQ(before.size(), after.size());
  for (const auto& [name, data] : before) {
    ASSERT_TRUE(after.count(name)) << name;
    if (name == "xl/workbook.xml") continue; // gains the recalculation request
    const bool written = name == "xl/worksheets/sheet1.xml" || name == "xl/worksheets/sheet2.xml";
    EXPECT_EQ(after.at(name) == data, !written) << name;
  }
  // The written cell keeps the style the user gave it; the tab shown next time is selected.
  const Part oldMain(before, "xl/worksheets/sheet1.xml"), sheet(after, "xl/worksheets/sheet1.xml");
  EXPECT_STREQ(sheet.Cell("J5").attribute("s").value(), oldMain.Cell("J5").attribute("s").value());
  EXPECT_STREQ(sheet.Cell("J5").child_value("v"), "0.125");
  EXPECT_FALSE(sheet.doc.select_node("//sheetView[@tabSelected]"));
  EXPECT_TRUE(Part(after, "xl/worksheets/sheet2.xml").doc.select_node("//sheetView[@tabSelected='1']"));
  // Each run carries the cell's font (libxlsxwriter's default: Calibri 11): text|vertAlign|font|size.
  std::vector<std::string> runs;
  for (pugi::xml_node r : sheet.Cell("A4").child("is").children("r")) {
    const pugi::xml_node p = r.child("rPr");
    runs.push_back(std::string(r.child_value("t")) + "|" + p.child("vertAlign").attribute("val").value() + "|" +
                   p.child("rFont").attribute("val").value() + "|" + p.child("sz").attribute("val").value());
  }
  EXPECT_EQ(runs, (std::vector<std::string>{"[CO||Calibri|11", "3|subscript|Calibri|11", "2-|superscript|Calibri|11",
                                            "]||Calibri|11"}));
  const pugi::xml_node a1 = sheet.Cell("A1").child("is");
  EXPECT_EQ(std::distance(a1.children("r").begin(), a1.children("r").end()), 2);
  EXPECT_STREQ(a1.child("r").child("rPr").child("sz").attribute("val").value(), "14");
  EXPECT_TRUE(a1.child("r").child("rPr").child("b"));
  EXPECT_FALSE(sheet.Cell("C4").child("is").child("r") || sheet.Cell("D4"));
  EXPECT_STREQ(sheet.Cell("E4").child_value("v"), "1");
  // Read again after the save (a streamed sheet from the new file).
  EXPECT_TRUE(book->Worksheets(2).Value(1, 2).EqualsText("pH"));
  EXPECT_EQ(book->Worksheets(2).NumberValue(2, 11), 1.5);
}

TEST(XlsxWrite, RowsAndCellsStayInOrderAndTheDimensionCoversThem) {
  // Existing: B2 and, in a row without r (row 3), A3 and B3 without r. Column D takes style 4 (<cols> added to sheet 1,
  // parts[4]) and row 6 its own style 5; the dimension the file gives reaches row 3000, which the new one keeps.
  Parts parts =
      MinimalParts({"<row r=\"2\" spans=\"2:2\"><c r=\"B2\"><v>1</v></c></row><row><c><v>2</v></c><c><v>3</v></c></row>"
                    "<row r=\"6\" spans=\"1:1\" s=\"5\" customFormat=\"1\"/>",
                    "", "", ""});
  parts[4].second.insert(parts[4].second.find("<sheetData>"),
                         "<dimension ref=\"B2:D3000\"/><cols><col min=\"4\" max=\"4\" style=\"4\"/></cols>");
  auto book = XlsxWorkbook::FromBytes(ZipParts(parts), "w.xlsx", Limits());
  Worksheet& s = book->Worksheets(1);
  // Backwards and into gaps (row 5 before 3, CA before K, A2 before B2), D4 twice, B3 in place; CA5, D4 then texts.
  for (auto [row, column, value] : std::vector<std::tuple<int, int, double>>{
           {5, 79, 9}, {5, 11, 8}, {2, 1, 7}, {1, 3, 6}, {4, 4, 5}, {4, 4, 55}, {3, 2, 33}})
    s.SetNumber(row, column, value);
  s.SetText(5, 79, "text");
  s.SetText(4, 4, "column style");
  s.SetText(6, 1, "row style");
  s.SetNumber(6, 2, 1); // a number takes the row's style too
  // A batch of 2000 rows with a text among them: the XML is written in many pieces.
  for (int row = 7; row <= 2006; ++row)
    for (int c = 1; c <= 3; ++c) s.SetNumber(row, c, row + c / 4.0);
  s.SetText(1000, 2, "middle");
  s.SetNumber(2006, 4, 1.0 / 3.0); // 16 digits to read back as the same double
  const Part sheet(UnzipParts(book->SaveToBytes()), "xl/worksheets/sheet1.xml");
  std::vector<std::string> refs; // address and style, in file order
  for (pugi::xpath_node c : sheet.doc.select_nodes("//c"))
    refs.push_back(std::string(c.node().attribute("r").value()) + c.node().attribute("s").value());
  ASSERT_EQ(refs.size(), 10u + 6000u + 1u);
  EXPECT_EQ(std::vector<std::string>(refs.begin(), refs.begin() + 10),
            (std::vector<std::string>{"C1", "A2", "B2", "A3", "B3", "D44", "K5", "CA5", "A65", "B65"}));
  for (int i = 0; i < 6000; ++i) EXPECT_EQ(refs[10 + i], CellAddress(7 + i / 3, 1 + i % 3));
  EXPECT_FALSE(sheet.doc.select_node("//row[@spans]") || sheet.Cell("CA5").child("v"));
  EXPECT_STREQ(sheet.doc.document_element().child("dimension").attribute("ref").value(), "A1:CA3000");
  EXPECT_EQ(std::tuple(std::string(sheet.Cell("D2006").child_value("v")), sheet.Cell("D2006").attribute("s").as_int()),
            std::tuple("0.3333333333333333", 4)); // the column's style
  // <dimension> goes before <sheetData>, as the schema orders them.
  EXPECT_STREQ(sheet.doc.document_element().first_child().name(), "dimension");
  auto reread = XlsxWorkbook::FromBytes(book->SaveToBytes(), "o.xlsx", Limits());
  EXPECT_TRUE(reread->Worksheets(1).Value(1000, 2).EqualsText("middle"));
  EXPECT_EQ(reread->CellPositions(1), book->CellPositions(1));
  EXPECT_THROW(s.SetNumber(2, 1, std::numeric_limits<double>::quiet_NaN()), WorkbookError);
  EXPECT_THROW(s.SetNumber(2, 1, -std::numeric_limits<double>::infinity()), WorkbookError);
}

TEST(XlsxWrite, AConstantReplacingAFormulaLeavesTheCalculationChain) {
  // Sheet 1: formulas in A1, B1, C1; sheet 2 in A1; sheet 3 a formula shared
  // by A1 (its master) and A2. The chain names the sheet (i) only where it changes.
  auto book = Open(
      {"<row r=\"1\"><c r=\"A1\"><f>1+1</f><v>2</v></c><c r=\"B1\"><f>A1*2</f><v>4</v></c>"
       "<c r=\"C1\"><f>B1*2</f><v>8</v></c></row>",
       "<row r=\"1\"><c r=\"A1\"><f>Sheet1!A1</f><v>2</v></c></row>",
       "<row r=\"1\"><c r=\"A1\"><f t=\"shared\" ref=\"A1:A2\" si=\"0\">B1*2</f><v>2</v></c></row>"
       "<row r=\"2\"><c r=\"A2\"><f t=\"shared\" si=\"0\"/><v>6</v></c></row>"},
      "",
      "<c r=\"A1\" i=\"1\" l=\"1\"/><c r=\"B1\"/><c r=\"C1\"/><c r=\"A1\" i=\"2\"/><c r=\"A1\" i=\"3\"/><c r=\"A2\"/>");
  book->Worksheets(1).SetNumber(1, 1, 5.0); // the first entry, whose i and l the next one inherits
  book->Worksheets(1).SetText(1, 3, "done");
  auto parts = UnzipParts(book->SaveToBytes());
  std::vector<std::string> chain;                  // r:i:l
  const Part calcChain(parts, "xl/calcChain.xml"); // named: a temporary would die before the loop
  for (pugi::xml_node c : calcChain.doc.document_element().children("c"))
    chain.push_back(std::string(c.attribute("r").value()) + ":" + c.attribute("i").value() + ":" +
                    c.attribute("l").value());
  EXPECT_EQ(chain, (std::vector<std::string>{"B1:1:1", "A1:2:", "A1:3:", "A2::"}));
  const Part sheet(parts, "xl/worksheets/sheet1.xml");
  EXPECT_TRUE(!sheet.Cell("A1").child("f") && sheet.Cell("B1").child("f")); // untouched formula stays
  EXPECT_FALSE(sheet.Cell("C1").child("f") || sheet.Cell("C1").child("v")); // a text now
  // The remaining formulas are recalculated on open; calcPr follows <sheets>.
  const Part workbookPart(parts, "xl/workbook.xml");
  const pugi::xml_node last = workbookPart.doc.document_element().last_child();
  EXPECT_STREQ(last.name(), "calcPr");
  EXPECT_STREQ(last.attribute("fullCalcOnLoad").value(), "1");
  // With the last formulas gone the chain would be empty: its part, relationship and content type go. Replacing the
  // master of a shared formula gives the cells that shared it a formula of their own (A2: B1*2 moved down one row).
  book->Worksheets(1).SetNumber(1, 2, 1.0);
  book->Worksheets(2).SetNumber(1, 1, 1.0);
  book->Worksheets(3).SetNumber(1, 1, 0.0);
  EXPECT_THAT(UnzipParts(book->SaveToBytes()).at("xl/worksheets/sheet3.xml"), HasSubstr("<f>B2*2</f>"));
  book->Worksheets(3).SetNumber(2, 1, 6.0);
  parts = UnzipParts(book->SaveToBytes());
  EXPECT_EQ(parts.count("xl/calcChain.xml"), 0u);
  EXPECT_EQ(parts.at("xl/_rels/workbook.xml.rels").find("calcChain"), std::string::npos);
  EXPECT_EQ(parts.at("[Content_Types].xml").find("calcChain"), std::string::npos);
  EXPECT_EQ(parts.at("xl/worksheets/sheet3.xml").find("<f"), std::string::npos);
}

TEST(XlsxWrite, AClearedCellKeepsItsFormatAndLosesItsFormula) {
  // A failed sample's results are cleared: K2 a styled number, L2 a formula in the chain, T2 written in this run.
  auto book = Open({"<row r=\"2\"><c r=\"K2\" s=\"3\"><v>1</v></c><c r=\"L2\"><f>K2*2</f><v>2</v></c>"
                    "<c r=\"M2\"><f>K2*3</f><v>3</v></c></row>"},
                   "", "<c r=\"L2\" i=\"1\"/><c r=\"M2\"/>");
  Worksheet& s = book->Worksheets(1);
  s.SetNumber(2, 20, 5.0);
  for (int column : {11, 12, 20}) s.SetEmpty(2, column);
  s.SetEmpty(3, 1); // nothing there
  const auto saved = UnzipParts(book->SaveToBytes());
  const Part sheet(saved, "xl/worksheets/sheet1.xml");
  EXPECT_STREQ(sheet.Cell("K2").attribute("s").value(), "3");
  EXPECT_FALSE(sheet.Cell("K2").child("v") || sheet.Cell("L2").child("f") || sheet.Cell("T2") || sheet.Cell("A3"));
  EXPECT_THAT(saved.at("xl/calcChain.xml"), AllOf(::testing::Not(HasSubstr("L2")), HasSubstr("M2")));
}

TEST(XlsxWrite, SheetEdgesTabsAndLiteralEscapesSurviveARoundTrip) {
  // Sheet 1: empty, marked "A1" by its writer. Sheet 2: column A filled in the last rows, 1,048,575 and 1,048,576.
  Parts parts = MinimalParts({"",
                              "<row r=\"1048575\"><c r=\"A1048575\"><v>1</v></c></row>"
                              "<row r=\"1048576\"><c r=\"A1048576\"><v>2</v></c></row>",
                              "", ""});
  parts[4].second.insert(parts[4].second.find("<sheetData"), "<dimension ref=\"A1\"/>");
  // The tab bar starts at the third tab, which is the active one: one past
  // the tab activated below, the nearest case that must still move.
  parts[2].second.insert(parts[2].second.find("<sheets>"),
                         "<bookViews><workbookView firstSheet=\"2\" activeTab=\"2\"/></bookViews>");
  auto book = XlsxWorkbook::FromBytes(ZipParts(parts), "edges.xlsx", Limits());
  Worksheet& batch = book->Worksheets(2);
  EXPECT_EQ(batch.NumberValue(1048576, 1), 2.0);
  EXPECT_THROW(batch.Value(1048577, 1), WorkbookError); // no row beyond the last
  batch.SetNumber(1048576, 79, 0.5);
  // Text that looks like an escape is kept as typed: "_x0041_" is not "A".
  book->Worksheets(1).SetText(5, 11, "a_x0041_b_x00");
  book->Activate(2);
  const auto saved = UnzipParts(book->SaveToBytes());
  // Only the written cell: "A1" of an empty sheet covers nothing.
  EXPECT_STREQ(Part(saved, "xl/worksheets/sheet1.xml").doc.select_node("//dimension").node().attribute("ref").value(),
               "K5");
  const Part workbookXml(saved, "xl/workbook.xml"); // named: the node lives in its document
  const pugi::xml_node view = workbookXml.doc.select_node("//workbookView").node();
  EXPECT_STREQ(view.attribute("activeTab").value(), "1");
  EXPECT_STREQ(view.attribute("firstSheet").value(), "1"); // the active tab stays visible
  auto reread = XlsxWorkbook::FromBytes(book->SaveToBytes(), "edges2.xlsx", Limits());
  EXPECT_TRUE(reread->Worksheets(1).Value(5, 11).EqualsText("a_x0041_b_x00"));
  EXPECT_EQ(reread->Worksheets(2).NumberValue(1048576, 79), 0.5);
}

TEST(XlsxWrite, ASharedFormulaKeepsItsCellsAndFileTextCannotPassForTheWritersMarks) {
  // A formula filled down A1:A4 and across to B1 (one shared formula), as a user fills a result column. Moved, relative
  // references move; absolute ones, texts, quoted sheet names, functions and numbers stay.
  const std::string formula = "SUM(C1:D1)+$E$1*F$1+'My Sheet'!G1&\"H1\"+LOG10(I1)+Data!$J1+1E3+K:K+2:2";
  std::string rows = "<row r=\"1\"><c r=\"A1\"><f t=\"shared\" ref=\"A1:B4\" si=\"0\">" + formula +
                     "</f><v>1</v></c><c r=\"B1\"><f t=\"shared\" si=\"0\"/><v>1</v></c></row>";
  for (int r = 2; r <= 4; ++r) {
    const std::string n = std::to_string(r);
    rows += "<row r=\"" + n + "\"><c r=\"A" + n + "\"><f t=\"shared\" si=\"0\"/><v>1</v></c></row>";
  }
  // Sheet 2: CDATA is written as read; its text imitates the marks that once put written numbers into the XML.
  const std::string imitation = "<?vontralek-numbers 0?><?vontralek-numbers 1 0 1000?>";
  auto book =
      Open({rows, "<row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t><![CDATA[" + imitation + "]]></t></is></c></row>"});
  book->Worksheets(1).SetNumber(1, 1, 0.5); // the master
  book->Worksheets(1).SetNumber(3, 1, 0.5); // a cell sharing it
  book->Worksheets(2).SetNumber(1, 2, 2.0);
  const std::string saved = book->SaveToBytes();
  auto reread = XlsxWorkbook::FromBytes(saved, "marks.xlsx", Limits());
  EXPECT_TRUE(reread->Worksheets(2).Value(1, 1).EqualsText(imitation) && reread->CellPositions(2).size() == 2u);
  const Part sheet(UnzipParts(saved), "xl/worksheets/sheet1.xml");
  EXPECT_FALSE(sheet.Cell("A1").child("f") || sheet.Cell("A3").child("f"));
  EXPECT_STREQ(sheet.Cell("A2").child_value("f"),
               "SUM(C2:D2)+$E$1*F$1+'My Sheet'!G2&\"H1\"+LOG10(I2)+Data!$J2+1E3+K:K+3:3");
  EXPECT_STREQ(sheet.Cell("B1").child_value("f"),
               "SUM(D1:E1)+$E$1*G$1+'My Sheet'!H1&\"H1\"+LOG10(J1)+Data!$J1+1E3+L:L+2:2");
}

TEST(XlsxPackage, LimitsHoldForReadingAndWriting) {
  const std::string bytes = ZipParts(MinimalParts({"<row r=\"1\"><c r=\"A1\"><v>1</v></c></row>", "", "", ""}));
  // The limits, made small: each is checked while reading...
  auto refused = [&](PackageLimits limits, const std::string& package, const std::string& why) {
    EXPECT_THAT([&] { XlsxWorkbook::FromBytes(package, "limits.xlsx", limits); },
                ThrowsMessage<WorkbookError>(HasSubstr(why)));
  };
  // 200,000 blanks pack about 1000:1.
  const std::string bomb =
      ZipParts(MinimalParts({"<row r=\"1\"><c r=\"A1\"><v>1</v></c></row>" + std::string(200000, ' '), "", "", ""}));
  refused({.maxPartSize = 100000}, bomb, "unpacks to more than 100000 bytes");
  refused({.maxTotalSize = 150000}, bomb, "more than 150000 bytes");
  refused({.maxEntries = 5}, bomb, "8 entries, more than the 5");
  refused({.maxRatio = 100, .ratioFromSize = 65536}, bomb, "decompression bomb");
  EXPECT_NO_THROW(XlsxWorkbook::FromBytes(bomb, "limits.xlsx", {.maxRatio = 100, .ratioFromSize = 1 << 20}));
  // ...and what is written stays within them: a part that would pack too densely is stored, one too large is refused.
  const PackageLimits tight = {.maxRatio = 50, .ratioFromSize = 20000};
  auto dense = XlsxWorkbook::FromBytes(bytes, "dense.xlsx", tight);
  for (int r = 1; r <= 1000; ++r) dense->Worksheets(2).SetText(r, 1, std::string(1000, 'q'));
  const std::string denseBytes = dense->SaveToBytes();
  EXPECT_GT(denseBytes.size(), 1000000u); // 1 MB of "q" stored, not deflated
  EXPECT_NO_THROW(XlsxWorkbook::FromBytes(denseBytes, "dense2.xlsx", tight));
  auto large = XlsxWorkbook::FromBytes(bytes, "large.xlsx", {.maxPartSize = 50000});
  for (int r = 1; r <= 2000; ++r) large->Worksheets(2).SetNumber(r, 1, r);
  EXPECT_THAT([&] { large->SaveToBytes(); }, ThrowsMessage<WorkbookError>(HasSubstr("to be opened again")));
}

TEST(WorkbookFile, WhatIsNotAWorkbookOrIsLockedIsRefusedAndLeftUntouched) {
  const auto folder = TestFolder("malformed");
  Parts missingPart = MinimalParts({"", "", "", ""}), samePart = missingPart;
  missingPart.erase(missingPart.begin() + 6); // sheet 3
  // Two tabs naming one part (found by fuzzing): edits of one would be lost.
  samePart[3].second.replace(samePart[3].second.find("sheet2.xml"), 6, "sheet1");
  const std::string ole = std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) + std::string(4088, '\0');
  const std::string valid = ZipParts(MinimalParts({"<row r=\"1\"><c r=\"A1\"><v>1</v></c></row>", "", "", ""}));
  // Part names compare without regard to case: two entries for one part.
  Parts twice = MinimalParts({"", "", "", ""});
  twice.push_back({"XL/worksheets/Sheet1.xml", twice[4].second});
  // (file name, content, a word the message must contain)
  // clang-format off
  const std::vector<std::tuple<std::string, std::string, std::string>> cases = {
      {"text.xlsx", "Sample;pH\nW1;7.25\n", "not a zip"},
      {"truncated.xlsx", valid.substr(0, valid.size() / 2), "zip package cannot be read"},
      {"badxml.xlsx", ZipParts(MinimalParts({"<row><c><v>1</v></row>", "", "", ""})), "not well-formed XML"},
      {"encrypted.xlsx", ole, "password"},
      {"missingpart.xlsx", ZipParts(missingPart), "missing from the package"},
      {"samepart.xlsx", ZipParts(samePart), "one and the same part"},
      {"otherzip.xlsx", ZipParts({{"readme.txt", "hello"}}), "_rels/.rels"},
      // Ambiguous content: programs disagree on which copy counts.
      {"tworows.xlsx", ZipParts(MinimalParts({"<row r=\"2\"/><row r=\"3\"/><row r=\"2\"/>", "", "", ""})), "row 2 twice"},
      {"twocells.xlsx", ZipParts(MinimalParts({"<row r=\"2\"><c r=\"B2\"/><c r=\"C2\"/><c r=\"B2\"/></row>", "", "", ""})), "cell B2 twice"},
      {"a0.xlsx", ZipParts(MinimalParts({"<row r=\"5\"><c r=\"A0\"><v>1</v></c></row>", "", "", ""})), "\"A0\" in row 5"},
      {"otherrow.xlsx", ZipParts(MinimalParts({"<row r=\"5\"><c r=\"A7\"><v>1</v></c></row>", "", "", ""})), "\"A7\" in row 5"},
      {"twoentries.xlsx", ZipParts(twice), "entry \"XL/worksheets/Sheet1.xml\" twice"}};
  // clang-format on
  for (const auto& [name, bytes, word] : cases) {
    const fs::path path = folder / name;
    WriteBytes(path, bytes);
    EXPECT_THAT([&] { OpenWorkbook(path); },
                ThrowsMessage<WorkbookError>(AllOf(HasSubstr(path.string()), HasSubstr(word))));
    EXPECT_EQ(ReadBytes(path), bytes) << name << " was changed";
  }
  EXPECT_THROW(OpenWorkbook(folder / "absent.xlsx"), WorkbookError);
  EXPECT_FALSE(fs::exists(folder / "absent.xlsx"));
  // Opened, then opened in LibreOffice too: the save is refused, the file kept.
  const fs::path path = folder / "VONTRALEK.xlsx";
  WriteBytes(path, valid);
  auto book = OpenWorkbook(path);
  book->Worksheets(1).SetNumber(1, 1, 42.0);
  WriteBytes(folder / ".~lock.VONTRALEK.xlsx#", "user,host"); // LibreOffice replaces ours
  EXPECT_THAT([&] { book->Save(); }, ThrowsMessage<WorkbookError>(HasSubstr("LibreOffice")));
  EXPECT_EQ(ReadBytes(path), valid);
}

TEST(WorkbookFile, AKillDuringSaveLeavesTheOldOrTheNewFile) {
  const fs::path path = TestFolder("kill") / "book.xlsx";
  MakeStyledWorkbook(path);
  constexpr int kRows = 400, kColumns = 60;
  double last = 0.0; // the value of the last save known to have finished
  for (int round = 1; round <= 16; ++round) {
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    if (child == 0) {
      // A run: the block gets the round number, saved once the parent knows.
      try {
        std::unique_ptr<Workbook> book = OpenWorkbook(path);
        if (std::getenv("VONTRALEK_TEST_STREAMED")) book = XlsxWorkbook::FromBytes(ReadBytes(path), path, Limits());
        for (int r = 2; r < 2 + kRows; ++r)
          for (int c = 11; c < 11 + kColumns; ++c) book->Worksheets(2).SetNumber(r, c, round);
        if (::write(ready[1], "1", 1) != 1) ::_exit(3);
        book->Save();
      } catch (...) {
        ::_exit(2);
      }
      ::_exit(0);
    }
    ::close(ready[1]);
    char go;
    EXPECT_EQ(::read(ready[0], &go, 1), 1);
    ::close(ready[0]);
    // Kill at another moment of the save each round (start, package built, written, renamed).
    ::usleep((round - 1) * 2500);
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    const bool finished = WIFEXITED(status); // then it saved
    EXPECT_TRUE(!finished || WEXITSTATUS(status) == 0);
    // Whatever happened, the file is a whole workbook with one consistent block.
    auto book = OpenWorkbook(path);
    Worksheet& batch = book->Worksheets(2);
    const double first = batch.NumberValue(2, 11);
    EXPECT_EQ(batch.NumberValue(1 + kRows, 10 + kColumns), first) << "round " << round;
    EXPECT_TRUE(finished ? first == round : first == last || first == round) << "round " << round << ": " << first;
    last = first;
  }
}

} // namespace
} // namespace vontralek::workbook
