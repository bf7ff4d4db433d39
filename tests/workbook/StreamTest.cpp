// A large worksheet edited as a stream of rows: the same package as when it is
// edited whole, byte for byte, whether the edits keep to row order or not.

#include <gtest/gtest.h>

#include <cstdint>

#include "TestPackages.h"
#include "workbook/XlsxWorkbook.h"

namespace vontralek::workbook {
namespace {

using namespace test;

// A batch sheet with what a stream must carry through: a row and cells
// without r, rows missing (31 to 39), a shared formula over K5:K7 whose master is
// overwritten (K5 also in the calculation chain), a comment between rows,
// a formatted row below the samples, texts in column A.
std::string BatchRows() {
  std::string rows = "<row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>Sample</t></is></c></row>"
                     "<row><c><v>1</v></c><c><v>7.1</v></c><c r=\"E2\"><v>2.5</v></c></row>";
  for (int r = 3; r <= 30; ++r) {
    const std::string n = std::to_string(r);
    rows += "<row r=\"" + n + "\"><c r=\"A" + n + "\" t=\"inlineStr\"><is><t>W" + n + "</t></is></c><c r=\"B" + n +
            "\"><v>" + std::to_string(6 + r / 10.0) + "</v></c><c r=\"J" + n + "\" s=\"1\"><v>" + n + "</v></c>";
    if (r == 5) rows += "<c r=\"K5\"><f t=\"shared\" ref=\"K5:K7\" si=\"0\">B5*2</f><v>1</v></c>";
    if (r == 6 || r == 7) rows += "<c r=\"K" + n + "\"><f t=\"shared\" si=\"0\"/><v>1</v></c>";
    rows += "</row>";
    if (r == 9) rows += "<!-- checked -->";
  }
  return rows + "<row r=\"40\" s=\"1\" customFormat=\"1\"><c r=\"A40\" t=\"inlineStr\"><is><t>notes</t></is></c></row>";
}

// A run's access: column A scanned, the headings, then row by row read and
// written (or cleared, with a reason); backwards: then back to row 3.
std::map<std::string, std::string> RunBatch(std::uint64_t streamFrom, bool backwards, bool streamed) {
  PackageLimits limits;
  limits.streamFromSize = streamFrom;
  auto book = XlsxWorkbook::FromBytes(ZipParts(MinimalParts({"", BatchRows(), "", ""}, "", "<c r=\"K5\" i=\"2\"/>")),
                                      "stream.xlsx", limits);
  EXPECT_EQ(book->Streamed(2), streamed);
  Worksheet& s = book->Worksheets(2);
  int end = 2;
  while (!s.IsEmpty(end, 1)) ++end;
  EXPECT_EQ(end, 31);
  s.SetText(1, 3, "pCO2");
  s.SetSubscript(1, 3, 4, 1);
  for (int r = 2; r < end; ++r) {
    double sum = 0;
    for (int c = 2; c <= 10; ++c) sum += s.NumberValue(r, c);
    if (r % 7 == 3) {
      for (int c = 11; c <= 14; ++c) s.SetEmpty(r, c);
      s.SetText(r, 15, "failed");
    } else {
      for (int c = 11; c <= 20; ++c) s.SetNumber(r, c, sum / c);
    }
  }
  s.SetNumber(35, 11, 1.5); // a row the sheet lacks
  if (backwards) s.SetNumber(3, 12, 0.5);
  EXPECT_EQ(s.NumberValue(6, 11), (6.6 + 6) / 11); // after the whole sheet was written out
  return UnzipParts(book->SaveToBytes());
}

TEST(StreamedSheet, GivesThePackageOfTheWholeSheetInAndOutOfRowOrder) {
  for (bool backwards : {false, true}) {
    const auto whole = RunBatch(UINT64_MAX, backwards, false), streamed = RunBatch(0, backwards, true);
    EXPECT_EQ(streamed.at("xl/worksheets/sheet2.xml"), whole.at("xl/worksheets/sheet2.xml")) << backwards;
    EXPECT_EQ(streamed, whole);
    EXPECT_EQ(streamed.count("xl/calcChain.xml"), 0u); // its only entry was overwritten
  }
}

TEST(StreamedSheet, SavedInPlaceItReadsBackAndSavesAgain) {
  const auto path = TestFolder("stream") / "batch.xlsx";
  WriteBytes(path, ZipParts(MinimalParts({"", BatchRows(), "", ""})));
  PackageLimits limits;
  limits.streamFromSize = 0;
  auto book = XlsxWorkbook::FromBytes(ReadBytes(path), path, limits);
  book->Worksheets(2).SetNumber(2, 11, 0.25);
  book->Save();
  EXPECT_EQ(book->Worksheets(2).NumberValue(2, 11), 0.25);
  book->Worksheets(2).SetNumber(30, 11, 0.75);
  book->Save();
  const auto parts = UnzipParts(ReadBytes(path));
  auto reread = XlsxWorkbook::FromBytes(ReadBytes(path), path);
  EXPECT_EQ(reread->Worksheets(2).NumberValue(2, 11), 0.25);
  EXPECT_EQ(reread->Worksheets(2).NumberValue(30, 11), 0.75);
  EXPECT_TRUE(reread->Worksheets(2).Value(40, 1).EqualsText("notes"));
  for (const auto& entry : std::filesystem::directory_iterator(path.parent_path()))
    EXPECT_EQ(entry.path().filename(), "batch.xlsx"); // no temporary file left
}

} // namespace
} // namespace vontralek::workbook
