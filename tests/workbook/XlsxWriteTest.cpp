// Editing an .xlsx package: only the cells written change, every other part is
// carried over byte for byte; numbers, texts, rich-text headings, formulas
// replaced by constants (and the calculation chain), the active sheet.

#include <gtest/gtest.h>
#include <pugixml.hpp>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "TestPackages.h"
#include "model/Errors.h"
#include "workbook/XlsxWorkbook.h"

namespace vontralek::workbook {
namespace {

using test::MinimalParts;
using test::UnzipParts;
using test::ZipParts;

std::unique_ptr<XlsxWorkbook> Open(const test::Parts& parts) {
  return XlsxWorkbook::FromBytes(ZipParts(parts), "w.xlsx");
}

// The parsed part, kept alive with the document.
struct Part {
  pugi::xml_document doc;
  Part(const std::map<std::string, std::string>& parts, const std::string& name) {
    EXPECT_TRUE(doc.load_string(parts.at(name).c_str(), pugi::parse_default | pugi::parse_ws_pcdata_single)) << name;
  }
  pugi::xml_node Cell(const std::string& ref) const {
    return doc.select_node(("//*[local-name()='c'][@r='" + ref + "']").c_str()).node();
  }
};

TEST(XlsxWrite, OnlyTheWrittenSheetsChangeEveryOtherPartIsKept) {
  const auto path = test::TestFolder("roundtrip") / "book.xlsx";
  test::MakeStyledWorkbook(path);
  const auto before = UnzipParts(test::ReadBytes(path));
  auto book = XlsxWorkbook::FromFile(path);
  book->Worksheets(1).SetNumber(5, 10, 0.125); // J5, formatted "0.000"
  book->Worksheets(2).SetText(1, 2, "pH");
  book->Worksheets(2).SetNumber(2, 11, 1.5);
  book->Activate(2); // shown next time
  book->Save();
  const auto after = UnzipParts(test::ReadBytes(path));
  ASSERT_EQ(before.size(), after.size());
  for (const auto& [name, data] : before) {
    ASSERT_TRUE(after.count(name)) << name;
    if (name == "xl/workbook.xml") continue; // gains the recalculation request
    const bool written = name == "xl/worksheets/sheet1.xml" || name == "xl/worksheets/sheet2.xml";
    EXPECT_EQ(after.at(name) == data, !written) << name;
  }
  // The written cell keeps the style the user gave it; formulas are recalculated on open.
  const Part oldMain(before, "xl/worksheets/sheet1.xml"), newMain(after, "xl/worksheets/sheet1.xml");
  EXPECT_STREQ(newMain.Cell("J5").attribute("s").value(), oldMain.Cell("J5").attribute("s").value());
  EXPECT_STREQ(newMain.Cell("J5").child_value("v"), "0.125");
  const Part workbook(after, "xl/workbook.xml");
  EXPECT_TRUE(workbook.doc.select_node("//calcPr[@fullCalcOnLoad='1']"));
  EXPECT_STREQ(workbook.doc.select_node("//workbookView").node().attribute("activeTab").value(), "1");
  EXPECT_FALSE(newMain.doc.select_node("//sheetView[@tabSelected]"));
  EXPECT_TRUE(Part(after, "xl/worksheets/sheet2.xml").doc.select_node("//sheetView[@tabSelected='1']"));
  EXPECT_THROW(book->Activate(6), WorkbookError);
  auto reread = XlsxWorkbook::FromFile(path);
  EXPECT_TRUE(reread->Worksheets(2).Value(1, 2).EqualsText("pH"));
  EXPECT_EQ(reread->Worksheets(2).NumberValue(2, 11), 1.5);
}

TEST(XlsxWrite, NumbersAreTheShortestTextThatReadsBackExactly) {
  auto book = Open(MinimalParts({"", "", "", ""}));
  // The fewest significant digits that identify the double (1/3 needs 16;
  // 2^-1074 is the smallest subnormal).
  const std::vector<std::pair<double, std::string>> cases = {
      {0.1, "0.1"},          {1.0 / 3.0, "0.3333333333333333"}, {1e-300, "1e-300"},
      {-0.0, "-0"},          {6.02214076e23, "6.02214076e+23"}, {std::ldexp(1.0, -1074), "5e-324"},
      {1234567.0, "1234567"}};
  for (std::size_t i = 0; i < cases.size(); ++i) book->Worksheets(1).SetNumber(1, int(i) + 1, cases[i].first);
  const Part sheet(UnzipParts(book->SaveToBytes()), "xl/worksheets/sheet1.xml");
  auto reread = XlsxWorkbook::FromBytes(book->SaveToBytes(), "n.xlsx");
  for (std::size_t i = 0; i < cases.size(); ++i) {
    EXPECT_EQ(sheet.Cell(CellAddress(1, int(i) + 1)).child_value("v"), cases[i].second);
    const double back = reread->Worksheets(1).NumberValue(1, int(i) + 1);
    EXPECT_EQ(std::signbit(back), std::signbit(cases[i].first));
    EXPECT_EQ(back, cases[i].first);
  }
  EXPECT_THROW(book->Worksheets(1).SetNumber(2, 1, std::numeric_limits<double>::quiet_NaN()), WorkbookError);
  EXPECT_THROW(book->Worksheets(1).SetNumber(2, 1, -std::numeric_limits<double>::infinity()), WorkbookError);
}

TEST(XlsxWrite, RowsAndCellsStayInOrderAndTheDimensionCoversThem) {
  // Existing: B2 and, in a row without r (row 3), A3 and B3 without r. Column
  // D takes style 4 and row 6 its own style 5.
  test::Parts parts =
      MinimalParts({"<row r=\"2\" spans=\"2:2\"><c r=\"B2\"><v>1</v></c></row><row><c><v>2</v></c><c><v>3</v></c></row>"
                    "<row r=\"6\" s=\"5\" customFormat=\"1\"/>",
                    "", "", ""});
  auto& xml = parts[4].second; // sheet 1
  xml.insert(xml.find("<sheetData>"), "<cols><col min=\"4\" max=\"4\" style=\"4\"/></cols>");
  auto book = Open(parts);
  Worksheet& s = book->Worksheets(1);
  // Backwards and into the gaps: row 5 before row 3, CA before K, A2 before B2.
  s.SetNumber(5, 79, 9);
  s.SetNumber(5, 11, 8);
  s.SetNumber(2, 1, 7);
  s.SetNumber(1, 3, 6);
  s.SetNumber(4, 4, 5);
  s.SetNumber(4, 4, 55);    // written again
  s.SetText(5, 79, "text"); // a number becomes a text
  s.SetNumber(3, 2, 33);    // replaces B3 in place
  s.SetNumber(6, 1, 1);
  // Many rows of numbers (a batch), one with a text between them: enough for
  // the XML to be written out in many pieces.
  for (int row = 7; row <= 2006; ++row) {
    for (int c = 1; c <= 3; ++c) s.SetNumber(row, c, row + c / 4.0);
  }
  s.SetText(1000, 2, "middle");
  const Part sheet(UnzipParts(book->SaveToBytes()), "xl/worksheets/sheet1.xml");
  std::vector<std::string> refs; // address and style, in file order
  for (pugi::xpath_node c : sheet.doc.select_nodes("//c")) {
    refs.push_back(std::string(c.node().attribute("r").value()) + c.node().attribute("s").value());
  }
  ASSERT_EQ(refs.size(), 9u + 6000u);
  EXPECT_EQ(std::vector<std::string>(refs.begin(), refs.begin() + 9),
            (std::vector<std::string>{"C1", "A2", "B2", "A3", "B3", "D44", "K5", "CA5", "A65"}));
  for (int i = 0; i < 6000; ++i) EXPECT_EQ(refs[9 + i], CellAddress(7 + i / 3, 1 + i % 3));
  EXPECT_FALSE(sheet.doc.select_node("//row[@spans]"));
  EXPECT_FALSE(sheet.Cell("CA5").child("v"));
  EXPECT_STREQ(sheet.doc.document_element().child("dimension").attribute("ref").value(), "A1:CA2006");
  // <dimension> goes before <sheetData>, as the schema orders them.
  EXPECT_STREQ(sheet.doc.document_element().first_child().name(), "dimension");
  auto reread = XlsxWorkbook::FromBytes(book->SaveToBytes(), "o.xlsx");
  Worksheet& r = reread->Worksheets(1);
  EXPECT_EQ(r.NumberValue(3, 2) + r.NumberValue(4, 4), 33.0 + 55.0);
  EXPECT_TRUE(r.Value(5, 79).EqualsText("text"));
  EXPECT_TRUE(r.Value(1000, 2).EqualsText("middle"));
  for (int row = 7; row <= 2006; ++row) {
    for (int c = 1; c <= 3; ++c) {
      if ((row != 1000 || c != 2) && r.NumberValue(row, c) != row + c / 4.0) ADD_FAILURE() << CellAddress(row, c);
    }
  }
  EXPECT_EQ(reread->CellPositions(1), book->CellPositions(1));
}

TEST(XlsxWrite, TextKeepsBlanksControlCharactersAndMarkup) {
  auto book = Open(MinimalParts({"", "", "", ""}));
  const std::vector<std::string> texts = {"  Alk/meq/L ", "a<b>&\"c\"", "line\r\nbreak\x01", "_x0041_", "Ca²⁺", ""};
  for (std::size_t i = 0; i < texts.size(); ++i) book->Worksheets(3).SetText(int(i) + 1, 1, texts[i]);
  const Part sheet(UnzipParts(book->SaveToBytes()), "xl/worksheets/sheet3.xml");
  EXPECT_STREQ(sheet.Cell("A1").attribute("t").value(), "inlineStr");
  EXPECT_STREQ(sheet.Cell("A1").child("is").child("t").attribute("xml:space").value(), "preserve");
  EXPECT_FALSE(sheet.Cell("A2").child("is").child("t").attribute("xml:space"));
  auto reread = XlsxWorkbook::FromBytes(book->SaveToBytes(), "t.xlsx");
  for (std::size_t i = 0; i < texts.size(); ++i) {
    EXPECT_TRUE(reread->Worksheets(3).Value(int(i) + 1, 1).EqualsText(texts[i])) << texts[i];
  }
}

TEST(XlsxWrite, SubAndSuperscriptBecomeRichTextRuns) {
  const auto path = test::TestFolder("richtext") / "rich.xlsx";
  test::MakeStyledWorkbook(path);
  auto book = XlsxWorkbook::FromFile(path);
  Worksheet& main = book->Worksheets(1);
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
  book->Save();
  const Part sheet(UnzipParts(test::ReadBytes(path)), "xl/worksheets/sheet1.xml");
  std::vector<std::pair<std::string, std::string>> runs; // (text, vertAlign)
  for (pugi::xml_node r : sheet.Cell("A4").child("is").children("r")) {
    runs.push_back({r.child_value("t"), r.child("rPr").child("vertAlign").attribute("val").value()});
    // Each run carries the cell's font (libxlsxwriter's default: Calibri 11).
    EXPECT_STREQ(r.child("rPr").child("rFont").attribute("val").value(), "Calibri");
    EXPECT_STREQ(r.child("rPr").child("sz").attribute("val").value(), "11");
  }
  EXPECT_EQ(runs, (std::vector<std::pair<std::string, std::string>>{
                      {"[CO", ""}, {"3", "subscript"}, {"2-", "superscript"}, {"]", ""}}));
  const pugi::xml_node a1 = sheet.Cell("A1").child("is");
  EXPECT_EQ(std::distance(a1.children("r").begin(), a1.children("r").end()), 2);
  EXPECT_STREQ(a1.child("r").child("rPr").child("sz").attribute("val").value(), "14");
  EXPECT_TRUE(a1.child("r").child("rPr").child("b"));
  EXPECT_FALSE(sheet.Cell("C4").child("is").child("r"));
  EXPECT_FALSE(sheet.Cell("D4"));
  EXPECT_STREQ(sheet.Cell("E4").child_value("v"), "1");
  auto reread = XlsxWorkbook::FromFile(path);
  EXPECT_TRUE(reread->Worksheets(1).Value(4, 1).EqualsText("[CO32-]"));
  EXPECT_TRUE(reread->Worksheets(1).Value(1, 1).EqualsText("Water analysis"));
  EXPECT_TRUE(reread->Worksheets(1).Value(4, 3).EqualsText("pH"));
}

std::vector<std::string> ChainEntries(const std::map<std::string, std::string>& parts) {
  std::vector<std::string> entries;
  for (pugi::xml_node c : Part(parts, "xl/calcChain.xml").doc.document_element().children("c")) {
    entries.push_back(std::string(c.attribute("r").value()) + ":" + c.attribute("i").value());
  }
  return entries;
}

TEST(XlsxWrite, AConstantReplacingAFormulaLeavesTheCalculationChain) {
  // Sheet 1: formulas in A1, B1, C1; sheet 2 in A1. The chain names the sheet
  // (i) only where it changes.
  auto book = Open(MinimalParts({"<row r=\"1\"><c r=\"A1\"><f>1+1</f><v>2</v></c><c r=\"B1\"><f>A1*2</f><v>4</v></c>"
                                 "<c r=\"C1\"><f>B1*2</f><v>8</v></c></row>",
                                 "<row r=\"1\"><c r=\"A1\"><f>Sheet1!A1</f><v>2</v></c></row>", "", ""},
                                "", "<c r=\"A1\" i=\"1\"/><c r=\"B1\"/><c r=\"C1\"/><c r=\"A1\" i=\"2\"/>"));
  book->Worksheets(1).SetNumber(1, 1, 5.0); // the first entry, whose i the next one inherits
  book->Worksheets(1).SetText(1, 3, "done");
  auto parts = UnzipParts(book->SaveToBytes());
  EXPECT_EQ(ChainEntries(parts), (std::vector<std::string>{"B1:1", "A1:2"}));
  const Part sheet(parts, "xl/worksheets/sheet1.xml");
  EXPECT_FALSE(sheet.Cell("A1").child("f"));
  EXPECT_STREQ(sheet.Cell("A1").child_value("v"), "5");
  EXPECT_TRUE(sheet.Cell("B1").child("f")); // untouched formula stays
  EXPECT_FALSE(sheet.Cell("C1").child("f"));
  EXPECT_FALSE(sheet.Cell("C1").child("v"));
  // The remaining formulas are recalculated on open; calcPr follows <sheets>.
  const Part workbook(parts, "xl/workbook.xml");
  const pugi::xml_node last = workbook.doc.document_element().last_child();
  EXPECT_STREQ(last.name(), "calcPr");
  EXPECT_STREQ(last.attribute("fullCalcOnLoad").value(), "1");
  // With the last formulas gone the chain would be empty: the part, its
  // relationship and its content type are removed.
  book->Worksheets(1).SetNumber(1, 2, 1.0);
  book->Worksheets(2).SetNumber(1, 1, 1.0);
  parts = UnzipParts(book->SaveToBytes());
  EXPECT_EQ(parts.count("xl/calcChain.xml"), 0u);
  EXPECT_EQ(parts.at("xl/_rels/workbook.xml.rels").find("calcChain"), std::string::npos);
  EXPECT_EQ(parts.at("[Content_Types].xml").find("calcChain"), std::string::npos);
  auto reread = XlsxWorkbook::FromBytes(book->SaveToBytes(), "f.xlsx");
  EXPECT_EQ(reread->Worksheets(2).NumberValue(1, 1), 1.0);
  EXPECT_TRUE(reread->Worksheets(1).Value(1, 3).EqualsText("done"));
}

TEST(XlsxWrite, ReplacingASharedFormulaMasterKeepsTheOthersAsValues) {
  auto book = Open(MinimalParts({"<row r=\"1\"><c r=\"A1\"><f t=\"shared\" ref=\"A1:A2\" si=\"0\">B1*2</f><v>2</v></c>"
                                 "</row><row r=\"2\"><c r=\"A2\"><f t=\"shared\" si=\"0\"/><v>6</v></c></row>",
                                 "", "", ""},
                                "", "<c r=\"A1\" i=\"1\"/><c r=\"A2\"/>"));
  book->Worksheets(1).SetNumber(1, 1, 0.0);
  const auto parts = UnzipParts(book->SaveToBytes());
  EXPECT_EQ(parts.count("xl/calcChain.xml"), 0u);
  EXPECT_EQ(parts.at("xl/worksheets/sheet1.xml").find("<f"), std::string::npos);
  EXPECT_EQ(XlsxWorkbook::FromBytes(book->SaveToBytes(), "sh.xlsx")->Worksheets(1).NumberValue(2, 1), 6.0);
}

TEST(XlsxWrite, NumbersIgnoreTheProcessLocale) {
  // A German locale, as a GUI toolkit brings in from the environment: its
  // decimal comma must reach neither reading nor writing. Built into a private
  // folder (LOCPATH) when it is not installed.
  const auto folder = test::TestFolder("locale");
  if (!std::setlocale(LC_ALL, "de_DE.UTF-8")) {
    (void)std::system(
        ("localedef -i de_DE -f UTF-8 '" + (folder / "de_DE.UTF-8").string() + "' >/dev/null 2>&1").c_str());
    ::setenv("LOCPATH", folder.c_str(), 1);
    std::setlocale(LC_ALL, "de_DE.UTF-8");
  }
  struct Restore {
    ~Restore() {
      std::setlocale(LC_ALL, "C");
      ::unsetenv("LOCPATH");
    }
  } restore;
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%.2f", 7.25);
  if (std::string(buffer) != "7,25") GTEST_SKIP() << "no German locale can be had on this machine";
  auto book = Open(MinimalParts({"<row r=\"1\"><c r=\"A1\"><v>7.25</v></c><c r=\"B1\" t=\"inlineStr\"><is><t>0.5</t>"
                                 "</is></c><c r=\"C1\" t=\"inlineStr\"><is><t>7,25</t></is></c></row>",
                                 "", "", ""}));
  Worksheet& s = book->Worksheets(1);
  EXPECT_EQ(s.NumberValue(1, 1), 7.25);
  EXPECT_EQ(s.NumberValue(1, 2), 0.5);
  EXPECT_THROW(s.NumberValue(1, 3), TypeMismatchError); // a comma is no decimal point in a workbook
  s.SetNumber(2, 1, 1234.5);
  const std::string xml = UnzipParts(book->SaveToBytes()).at("xl/worksheets/sheet1.xml");
  EXPECT_NE(xml.find("<v>1234.5</v>"), std::string::npos) << xml;
  EXPECT_EQ(XlsxWorkbook::FromBytes(book->SaveToBytes(), "de.xlsx")->Worksheets(1).NumberValue(2, 1), 1234.5);
}

} // namespace
} // namespace vontralek::workbook
