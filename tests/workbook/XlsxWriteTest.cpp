// Editing an .xlsx package: only the cells written change, everything else is
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

pugi::xml_node CellNode(pugi::xml_document& doc, const std::string& ref) {
  return doc.select_node(("//*[local-name()='c'][@r='" + ref + "']").c_str()).node();
}

void Parse(pugi::xml_document& doc, const std::string& xml) {
  ASSERT_TRUE(doc.load_string(xml.c_str(), pugi::parse_default | pugi::parse_ws_pcdata_single)) << xml;
}

TEST(XlsxWrite, OnlyTheWrittenSheetsChangeEveryOtherPartIsKept) {
  const auto folder = test::TestFolder("roundtrip");
  const auto path = folder / "book.xlsx";
  test::MakeStyledWorkbook(path);
  const auto before = UnzipParts(test::ReadBytes(path));
  {
    auto book = XlsxWorkbook::FromFile(path);
    book->Worksheets(1).SetNumber(5, 10, 0.125); // J5, formatted "0.000"
    book->Worksheets(2).SetText(1, 2, "pH");
    book->Worksheets(2).SetNumber(2, 11, 1.5);
    book->Save();
  }
  const auto after = UnzipParts(test::ReadBytes(path));
  ASSERT_EQ(before.size(), after.size());
  for (const auto& [name, data] : before) {
    ASSERT_TRUE(after.count(name)) << name;
    if (name == "xl/workbook.xml") continue; // may gain the recalculation request
    if (name == "xl/worksheets/sheet1.xml" || name == "xl/worksheets/sheet2.xml") {
      EXPECT_NE(after.at(name), data) << name;
    } else {
      EXPECT_EQ(after.at(name), data) << name << " changed";
    }
  }
  // The written cell keeps the style the user gave it.
  pugi::xml_document oldMain, newMain, workbook;
  Parse(oldMain, before.at("xl/worksheets/sheet1.xml"));
  Parse(newMain, after.at("xl/worksheets/sheet1.xml"));
  Parse(workbook, after.at("xl/workbook.xml"));
  const pugi::xml_node j5 = CellNode(newMain, "J5");
  EXPECT_STREQ(j5.attribute("s").value(), CellNode(oldMain, "J5").attribute("s").value());
  EXPECT_STRNE(j5.attribute("s").value(), "");
  EXPECT_STREQ(j5.child_value("v"), "0.125");
  // The user's formulas are recalculated when the workbook is next opened.
  EXPECT_TRUE(workbook.select_node("//*[local-name()='calcPr'][@fullCalcOnLoad='1']"));

  auto reread = XlsxWorkbook::FromFile(path);
  EXPECT_EQ(reread->Worksheets(1).NumberValue(5, 10), 0.125);
  EXPECT_EQ(reread->Worksheets(1).NumberValue(5, 1), 7.25);
  EXPECT_TRUE(reread->Worksheets(1).Value(1, 1).EqualsText("Water analysis"));
  EXPECT_TRUE(reread->Worksheets(2).Value(1, 2).EqualsText("pH"));
  EXPECT_TRUE(reread->Worksheets(2).Value(2, 1).EqualsText("W1")); // a shared string untouched
  EXPECT_EQ(reread->Worksheets(2).NumberValue(2, 11), 1.5);
}

TEST(XlsxWrite, NumbersAreTheShortestTextThatReadsBackExactly) {
  auto book = XlsxWorkbook::FromBytes(ZipParts(MinimalParts({"", "", "", ""})), "n.xlsx");
  // Expected texts: the fewest significant digits that identify the double
  // (1/3 needs 16; 2^-1074 is the smallest subnormal).
  const std::vector<std::pair<double, std::string>> cases = {
      {0.1, "0.1"},          {1.0 / 3.0, "0.3333333333333333"}, {1e-300, "1e-300"},
      {-0.0, "-0"},          {6.02214076e23, "6.02214076e+23"}, {std::ldexp(1.0, -1074), "5e-324"},
      {1234567.0, "1234567"}};
  for (std::size_t i = 0; i < cases.size(); ++i)
    book->Worksheets(1).SetNumber(1, static_cast<int>(i) + 1, cases[i].first);
  pugi::xml_document doc;
  Parse(doc, UnzipParts(book->SaveToBytes()).at("xl/worksheets/sheet1.xml"));
  auto reread = XlsxWorkbook::FromBytes(book->SaveToBytes(), "n.xlsx");
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const int column = static_cast<int>(i) + 1;
    EXPECT_EQ(std::string(CellNode(doc, CellAddress(1, column)).child_value("v")), cases[i].second);
    const double back = reread->Worksheets(1).NumberValue(1, column);
    EXPECT_EQ(std::signbit(back), std::signbit(cases[i].first));
    EXPECT_EQ(back, cases[i].first);
  }
  EXPECT_THROW(book->Worksheets(1).SetNumber(2, 1, std::numeric_limits<double>::quiet_NaN()), WorkbookError);
  EXPECT_THROW(book->Worksheets(1).SetNumber(2, 1, std::numeric_limits<double>::infinity()), WorkbookError);
}

TEST(XlsxWrite, RowsAndCellsStayInOrderAndTheDimensionCoversThem) {
  // Existing: B2 and, in a row without r (row 3), A3 and B3 without r.
  auto book = XlsxWorkbook::FromBytes(
      ZipParts(MinimalParts(
          {"<row r=\"2\" spans=\"2:2\"><c r=\"B2\"><v>1</v></c></row><row><c><v>2</v></c><c><v>3</v></c></row>", "", "",
           ""})),
      "o.xlsx");
  Worksheet& s = book->Worksheets(1);
  // Written backwards and into the gaps: row 5 before row 3, CA before K, A2 before B2.
  s.SetNumber(5, 79, 9);
  s.SetNumber(5, 11, 8);
  s.SetNumber(2, 1, 7);
  s.SetNumber(1, 3, 6);
  s.SetNumber(4, 2, 5);
  s.SetNumber(3, 2, 33); // replaces B3 in place
  pugi::xml_document doc;
  Parse(doc, UnzipParts(book->SaveToBytes()).at("xl/worksheets/sheet1.xml"));
  std::vector<std::string> refs;
  int lastRow = 0;
  for (pugi::xml_node row : doc.document_element().child("sheetData").children("row")) {
    EXPECT_GT(row.attribute("r").as_int(), lastRow);
    lastRow = row.attribute("r").as_int();
    for (pugi::xml_node c : row.children("c")) refs.push_back(c.attribute("r").value());
  }
  const std::vector<std::string> expected = {"C1", "A2", "B2", "A3", "B3", "B4", "K5", "CA5"};
  EXPECT_EQ(refs, expected);
  EXPECT_STREQ(doc.document_element().child("dimension").attribute("ref").value(), "A1:CA5");
  // <dimension> goes before <sheetData>, as the schema orders them.
  EXPECT_STREQ(doc.document_element().first_child().name(), "dimension");
  auto reread = XlsxWorkbook::FromBytes(book->SaveToBytes(), "o.xlsx");
  EXPECT_EQ(reread->Worksheets(1).NumberValue(3, 1), 2.0);
  EXPECT_EQ(reread->Worksheets(1).NumberValue(3, 2), 33.0);
  EXPECT_EQ(reread->Worksheets(1).NumberValue(2, 2), 1.0);
}

TEST(XlsxWrite, TextKeepsBlanksControlCharactersAndMarkup) {
  auto book = XlsxWorkbook::FromBytes(ZipParts(MinimalParts({"", "", "", ""})), "t.xlsx");
  const std::vector<std::string> texts = {"  Alk/meq/L ", "a<b>&\"c\"", "line\r\nbreak\x01", "_x0041_", "Ca²⁺", ""};
  for (std::size_t i = 0; i < texts.size(); ++i) book->Worksheets(3).SetText(static_cast<int>(i) + 1, 1, texts[i]);
  pugi::xml_document doc;
  Parse(doc, UnzipParts(book->SaveToBytes()).at("xl/worksheets/sheet3.xml"));
  const pugi::xml_node a1 = CellNode(doc, "A1");
  EXPECT_STREQ(a1.attribute("t").value(), "inlineStr");
  EXPECT_STREQ(a1.child("is").child("t").attribute("xml:space").value(), "preserve");
  EXPECT_FALSE(CellNode(doc, "A2").child("is").child("t").attribute("xml:space"));
  auto reread = XlsxWorkbook::FromBytes(book->SaveToBytes(), "t.xlsx");
  for (std::size_t i = 0; i < texts.size(); ++i) {
    EXPECT_TRUE(reread->Worksheets(3).Value(static_cast<int>(i) + 1, 1).EqualsText(texts[i])) << texts[i];
  }
}

TEST(XlsxWrite, SubAndSuperscriptBecomeRichTextRuns) {
  const auto folder = test::TestFolder("richtext");
  const auto path = folder / "rich.xlsx";
  test::MakeStyledWorkbook(path);
  auto book = XlsxWorkbook::FromFile(path);
  Worksheet& main = book->Worksheets(1);
  // The carbonate heading: "[CO" plain, "3" lowered, "2-" raised.
  main.SetText(4, 1, "[CO32-]");
  main.SetSubscript(4, 1, 4, 1);
  main.SetSuperscript(4, 1, 5, 2);
  // A heading that was already in the sheet (a shared string, bold 14 pt).
  main.SetSubscript(1, 1, 1, 5);
  // pCO2 then overwritten by plain text: the formatting goes with the old text.
  main.SetText(4, 3, "pCO2");
  main.SetSubscript(4, 3, 4, 1);
  main.SetText(4, 3, "pH");
  main.SetSubscript(4, 4, 1, 1); // an empty cell: nothing to format
  book->Save();

  pugi::xml_document doc;
  Parse(doc, UnzipParts(test::ReadBytes(path)).at("xl/worksheets/sheet1.xml"));
  std::vector<std::pair<std::string, std::string>> runs; // (text, vertAlign)
  for (pugi::xml_node r : CellNode(doc, "A4").child("is").children("r")) {
    runs.push_back({r.child_value("t"), r.child("rPr").child("vertAlign").attribute("val").value()});
    // Each run carries the cell's font (libxlsxwriter's default: Calibri 11).
    EXPECT_STREQ(r.child("rPr").child("rFont").attribute("val").value(), "Calibri");
    EXPECT_STREQ(r.child("rPr").child("sz").attribute("val").value(), "11");
  }
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"[CO", ""}, {"3", "subscript"}, {"2-", "superscript"}, {"]", ""}};
  EXPECT_EQ(runs, expected);
  const pugi::xml_node a1 = CellNode(doc, "A1");
  ASSERT_EQ(std::distance(a1.child("is").children("r").begin(), a1.child("is").children("r").end()), 2);
  EXPECT_STREQ(a1.child("is").child("r").child("rPr").child("sz").attribute("val").value(), "14");
  EXPECT_TRUE(a1.child("is").child("r").child("rPr").child("b"));
  EXPECT_FALSE(CellNode(doc, "C4").child("is").child("r"));
  EXPECT_FALSE(CellNode(doc, "D4"));

  auto reread = XlsxWorkbook::FromFile(path);
  EXPECT_TRUE(reread->Worksheets(1).Value(4, 1).EqualsText("[CO32-]"));
  EXPECT_TRUE(reread->Worksheets(1).Value(1, 1).EqualsText("Water analysis"));
  EXPECT_TRUE(reread->Worksheets(1).Value(4, 3).EqualsText("pH"));
}

// Sheet 1: formulas in A1, B1, C1; sheet 2: a formula in A1. The chain names
// the sheet (i) only where it changes.
test::Parts FormulaParts(const std::string& chain) {
  return MinimalParts({"<row r=\"1\"><c r=\"A1\"><f>1+1</f><v>2</v></c><c r=\"B1\"><f>A1*2</f><v>4</v></c>"
                       "<c r=\"C1\"><f>B1*2</f><v>8</v></c></row>",
                       "<row r=\"1\"><c r=\"A1\"><f>Sheet1!A1</f><v>2</v></c></row>", "", ""},
                      "", chain);
}

std::vector<std::string> ChainEntries(const std::map<std::string, std::string>& parts) {
  std::vector<std::string> entries;
  pugi::xml_document doc;
  doc.load_string(parts.at("xl/calcChain.xml").c_str());
  for (pugi::xml_node c : doc.document_element().children("c")) {
    entries.push_back(std::string(c.attribute("r").value()) + ":" + c.attribute("i").value());
  }
  return entries;
}

TEST(XlsxWrite, AConstantReplacingAFormulaLeavesTheCalculationChain) {
  auto book = XlsxWorkbook::FromBytes(
      ZipParts(FormulaParts("<c r=\"A1\" i=\"1\"/><c r=\"B1\"/><c r=\"C1\"/><c r=\"A1\" i=\"2\"/>")), "f.xlsx");
  book->Worksheets(1).SetNumber(1, 1, 5.0); // the first entry, whose i the next one inherits
  book->Worksheets(1).SetText(1, 3, "done");
  auto parts = UnzipParts(book->SaveToBytes());
  EXPECT_EQ(ChainEntries(parts), (std::vector<std::string>{"B1:1", "A1:2"}));
  pugi::xml_document sheet;
  Parse(sheet, parts.at("xl/worksheets/sheet1.xml"));
  EXPECT_FALSE(CellNode(sheet, "A1").child("f"));
  EXPECT_STREQ(CellNode(sheet, "A1").child_value("v"), "5");
  EXPECT_TRUE(CellNode(sheet, "B1").child("f")); // untouched formula stays
  // The formulas that remain are recalculated on open; calcPr follows <sheets>.
  pugi::xml_document workbook;
  Parse(workbook, parts.at("xl/workbook.xml"));
  EXPECT_STREQ(workbook.document_element().last_child().name(), "calcPr");
  EXPECT_STREQ(workbook.document_element().last_child().attribute("fullCalcOnLoad").value(), "1");
  EXPECT_FALSE(CellNode(sheet, "C1").child("f"));
  EXPECT_FALSE(CellNode(sheet, "C1").child("v"));

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
  auto book = XlsxWorkbook::FromBytes(
      ZipParts(
          MinimalParts({"<row r=\"1\"><c r=\"A1\"><f t=\"shared\" ref=\"A1:A2\" si=\"0\">B1*2</f><v>2</v></c></row>"
                        "<row r=\"2\"><c r=\"A2\"><f t=\"shared\" si=\"0\"/><v>6</v></c></row>",
                        "", "", ""},
                       "", "<c r=\"A1\" i=\"1\"/><c r=\"A2\"/>")),
      "sh.xlsx");
  book->Worksheets(1).SetNumber(1, 1, 0.0);
  const auto parts = UnzipParts(book->SaveToBytes());
  EXPECT_EQ(parts.count("xl/calcChain.xml"), 0u);
  auto reread = XlsxWorkbook::FromBytes(book->SaveToBytes(), "sh.xlsx");
  EXPECT_EQ(reread->Worksheets(1).NumberValue(2, 1), 6.0);
  EXPECT_EQ(parts.at("xl/worksheets/sheet1.xml").find("<f"), std::string::npos);
}

TEST(XlsxWrite, ActivatedSheetIsTheOneShownNextTime) {
  const auto folder = test::TestFolder("activate");
  const auto path = folder / "a.xlsx";
  test::MakeStyledWorkbook(path);
  const auto before = UnzipParts(test::ReadBytes(path));
  auto book = XlsxWorkbook::FromFile(path);
  book->Activate(2);
  book->Save();
  const auto after = UnzipParts(test::ReadBytes(path));
  pugi::xml_document workbook, first, second;
  Parse(workbook, after.at("xl/workbook.xml"));
  Parse(first, after.at("xl/worksheets/sheet1.xml"));
  Parse(second, after.at("xl/worksheets/sheet2.xml"));
  EXPECT_STREQ(workbook.select_node("//workbookView").node().attribute("activeTab").value(), "1");
  EXPECT_FALSE(first.select_node("//sheetView[@tabSelected]"));
  EXPECT_TRUE(second.select_node("//sheetView[@tabSelected='1']"));
  // Sheets that were never selected are not rewritten.
  EXPECT_EQ(after.at("xl/worksheets/sheet3.xml"), before.at("xl/worksheets/sheet3.xml"));
  EXPECT_THROW(book->Activate(6), WorkbookError);
}

// Sets a German locale for the scope of a test: the decimal comma is what a
// GUI toolkit brings in from the environment.
class GermanLocale {
public:
  GermanLocale() {
    if (std::setlocale(LC_ALL, "de_DE.UTF-8")) return;
    // Not installed: build it into a private folder (LOCPATH) when possible.
    const auto folder = test::TestFolder("locale");
    const std::string command =
        "localedef -i de_DE -f UTF-8 '" + (folder / "de_DE.UTF-8").string() + "' >/dev/null 2>&1";
    if (std::system(command.c_str()) == 0 || std::filesystem::exists(folder / "de_DE.UTF-8" / "LC_NUMERIC")) {
      ::setenv("LOCPATH", folder.c_str(), 1);
      std::setlocale(LC_ALL, "de_DE.UTF-8");
    }
  }
  ~GermanLocale() {
    std::setlocale(LC_ALL, "C");
    ::unsetenv("LOCPATH");
  }
  bool Active() const {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%.2f", 7.25);
    return std::string(buffer) == "7,25";
  }
};

TEST(XlsxWrite, NumbersIgnoreTheProcessLocale) {
  GermanLocale german;
  if (!german.Active()) GTEST_SKIP() << "no German locale can be had on this machine";
  auto book = XlsxWorkbook::FromBytes(
      ZipParts(
          MinimalParts({"<row r=\"1\"><c r=\"A1\"><v>7.25</v></c><c r=\"B1\" t=\"inlineStr\"><is><t>0.5</t></is></c>"
                        "<c r=\"C1\" t=\"inlineStr\"><is><t>7,25</t></is></c></row>",
                        "", "", ""})),
      "de.xlsx");
  Worksheet& s = book->Worksheets(1);
  EXPECT_EQ(s.NumberValue(1, 1), 7.25);
  EXPECT_EQ(s.NumberValue(1, 2), 0.5);
  EXPECT_THROW(s.NumberValue(1, 3), TypeMismatchError); // a comma is no decimal point in a workbook
  s.SetNumber(2, 1, 1234.5);
  const std::string xml = UnzipParts(book->SaveToBytes()).at("xl/worksheets/sheet1.xml");
  EXPECT_NE(xml.find("<v>1234.5</v>"), std::string::npos) << xml;
  auto reread = XlsxWorkbook::FromBytes(book->SaveToBytes(), "de.xlsx");
  EXPECT_EQ(reread->Worksheets(1).NumberValue(2, 1), 1234.5);
}

} // namespace
} // namespace vontralek::workbook
