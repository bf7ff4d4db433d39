// The small pieces of the xlsx layer: A1 references, moved formulas, part names, UTF-8 characters, package writer.

#include <gtest/gtest.h>
#include <zip.h>

#include "TestPackages.h"

#include "workbook/NumberText.h"
#include "workbook/PackageReader.h"
#include "workbook/PackageWriter.h"
#include "workbook/References.h"
#include "workbook/RichText.h"
#include "workbook/Workbook.h"

namespace vontralek::workbook {
namespace {

TEST(References, CellNamesInsideTheSheetOnly) {
  int row = -1, column = -1;
  // XFD = 24*676 + 6*26 + 4 = 16384, the last column; row 1048576 the last row; Z = 26, AA = 27.
  EXPECT_EQ(CellAddress(1, 26) + CellAddress(2, 27) + CellAddress(1048576, 16384), "Z1AA2XFD1048576");
  EXPECT_TRUE(ParseCellRef("xfd1048576", row, column) && std::pair(row, column) == std::pair(1048576, 16384));
  EXPECT_TRUE(ParseCellRef("C", row, column) && std::pair(row, column) == std::pair(0, 3)); // a whole column: row 0
  for (const char* bad : {"XFE1", "A1048577", "", "A1B", "A-1", "\u00C41"})
    EXPECT_FALSE(ParseCellRef(bad, row, column)) << bad;
}

TEST(References, AFilledFormulaMovesItsRelativeParts) {
  // (Moves of plain, absolute and whole-column references: the shared-formula test of the workbook.)
  // Texts, quoted sheet names, structured references and sheet names stay.
  EXPECT_EQ(ShiftFormula("\"A1\"&'B 1'!A1&Sheet1!A1&T[[#This Row],[A1]]", 1, 0),
            "\"A1\"&'B 1'!A2&Sheet1!A2&T[[#This Row],[A1]]");
  EXPECT_EQ(ShiftFormula("A1+XFD1", 0, 1), "B1+#REF!"); // moved off the sheet
  EXPECT_EQ(ShiftFormula("A2", -1, 0), "A1");
  EXPECT_EQ(ShiftFormula("A1", -1, 0), "#REF!");
}

TEST(NumberText, StoredNumbersAreFiniteDecimalsWithADot) {
  double v = 0;
  EXPECT_TRUE(ParseStoredNumber(" +1E-3\n", v) && v == 0.001);
  for (const char* bad : {"7,25", "nan", "inf", "1e400", "0x10", "", " "})
    EXPECT_FALSE(ParseStoredNumber(bad, v)) << bad;
}

TEST(PackageNames, TargetsResolveAgainstTheirPartsFolder) {
  EXPECT_EQ(ResolveTarget("xl/", "worksheets/sheet1.xml"), "xl/worksheets/sheet1.xml");
  EXPECT_EQ(ResolveTarget("xl/worksheets/", "../sharedStrings.xml"), "xl/sharedStrings.xml");
  EXPECT_EQ(ResolveTarget("xl/", "/xl/./styles.xml"), "xl/styles.xml");
  EXPECT_EQ(ResolveTarget("xl/", "../docProps/app.xml"), "docProps/app.xml");
  EXPECT_EQ(ResolveTarget("", "../a.xml"), "a.xml"); // never above the root
}

TEST(RichText, CharactersAreCodePointsNotBytes) {
  // "m³ H₂O": ³ is 2 bytes (C2 B3), ₂ is 3 (E2 82 82).
  const std::string text = "m\xC2\xB3 H\xE2\x82\x82O";
  EXPECT_TRUE(CodePointCount(text) == 6u && CodePointOffsets(text) == std::vector<std::size_t>({0, 1, 3, 4, 5, 8, 9}));
}

TEST(PackageWriter, NewPartsAreDeflatedAsLibzipReadsThemAndTheRestIsCopied) {
  // Parts of every size the deflater treats apart: empty, one byte, a large sheet-like part (2 MB of varied numbers).
  std::string large;
  for (int i = 0; large.size() < (2u << 20); ++i)
    large += "<c r=\"K" + std::to_string(i) + "\"><v>" + FormatNumber(i / 7.0) + "</v></c>";
  const test::Parts before = {
      {"a.xml", "<a/>"}, {"b.bin", std::string(1000, 'b')}, {"c.xml", "<c/>"}, {"d.xml", "<d/>"}};
  PackageReader reader("t.xlsx", {});
  reader.Open(test::ZipParts(before, {"b.bin"}));
  const std::string written =
      WritePackage(reader, {{"A.xml", ""}, {"c.xml", "x"}, {"new.xml", large}}, {"D.XML"}); // names without case
  EXPECT_EQ(test::UnzipParts(written), // libzip checks each CRC-32 as it reads
            (std::map<std::string, std::string>{
                {"a.xml", ""}, {"b.bin", before[1].second}, {"c.xml", "x"}, {"new.xml", large}}));
  EXPECT_LT(written.size(), large.size() / 3);
  // The old order, new parts last; the stored part stays stored.
  PackageReader check("w.xlsx", {});
  check.Open(written);
  std::string order;
  for (zip_uint64_t i = 0; i < 4; ++i) {
    zip_stat_t st;
    zip_stat_index(check.Archive(), i, 0, &st);
    order += std::string(st.name) + (st.comp_method == ZIP_CM_STORE ? " stored " : " ");
  }
  EXPECT_EQ(order, "a.xml b.bin stored c.xml new.xml ");
}

} // namespace
} // namespace vontralek::workbook
