// A large worksheet edited as a stream of rows: the same package as when it is edited whole, byte for byte, whether the
// edits keep to row order or not. (The reading and writing tests run on streamed sheets as well: CMakeLists.txt.)

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "TestPackages.h"
#include "common/Errors.h"
#include "workbook/XlsxWorkbook.h"

namespace vontralek::workbook {
namespace {

using namespace test;

// A batch sheet with what a stream must carry through: a row and cells without r, rows missing (31 to 39), a shared
// formula over K5:V40 (in K5, V6, K40) whose master is overwritten (K5 also in the calculation chain), a comment
// between rows, a formatted row below the samples, texts in column A; declared Latin-1 (é is E9) if latin1 is set.
std::string BatchSheet(bool latin1) {
  std::string rows = "<row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>Sample</t></is></c></row>"
                     "<row><c><v>1</v></c><c><v>7.1</v></c><c r=\"E2\"><v>2.5</v></c></row>";
  for (int r = 3; r <= 30; ++r) {
    const std::string n = std::to_string(r);
    rows += "<row r=\"" + n + "\"><c r=\"A" + n + "\" t=\"inlineStr\"><is><t>W" + n + "</t></is></c><c r=\"B" + n +
            "\"><v>" + std::to_string(6 + r / 10.0) + "</v></c><c r=\"J" + n + "\" s=\"1\"><v>" + n + "</v></c>" +
            (r == 5 ? "<c r=\"K5\"><f t=\"shared\" ref=\"K5:V40\" si=\"0\">B5*2</f><v>1</v></c>" : "") +
            (r == 6 ? "<c r=\"V6\"><f t=\"shared\" si=\"0\"/></c>" : "") + "</row>";
    if (r == 9) rows += "<!-- checked -->";
  }
  rows += "<row r=\"40\" s=\"1\" customFormat=\"1\"><c r=\"A40\" t=\"inlineStr\"><is><t>notes " +
          std::string(latin1 ? "\xE9" : "\xC3\xA9") + "</t></is></c><c r=\"K40\"><f t=\"shared\" si=\"0\"/></c></row>";
  Parts parts = MinimalParts({"", rows, "", ""}, "", "<c r=\"K5\" i=\"2\"/>");
  if (latin1) parts[5].second.replace(parts[5].second.find("UTF-8"), 5, "ISO-8859-1");
  return ZipParts(parts);
}

// A run's access: column A scanned, headings, rows read and written (or cleared); backwards: back to rows 3 and 6.
std::map<std::string, std::string> RunBatch(const std::string& package, std::uint64_t streamFrom, bool backwards,
                                            bool streams) {
  auto book = XlsxWorkbook::FromBytes(package, "stream.xlsx", {.streamFromSize = streamFrom});
  Worksheet& s = book->Worksheets(2);
  int end = 2;
  while (!s.IsEmpty(end, 1)) ++end;
  EXPECT_EQ(end, 31);
  s.SetText(1, 3, "pCO2");
  s.SetSubscript(1, 3, 4, 1);
  for (int r = 2; r < end; ++r) {
    double sum = 0;
    for (int c = 2; c <= 10; ++c) sum += s.NumberValue(r, c);
    if (r == 5) {
      EXPECT_EQ(s.Value(6, 22).text, "M6*2"); // a row ahead, before its master goes
    }
    if (r % 7 == 3) {
      for (int c = 11; c <= 14; ++c) s.SetEmpty(r, c);
      s.SetText(r, 15, "failed");
    } else {
      for (int c = 11; c <= 20; ++c) s.SetNumber(r, c, sum / c);
    }
  }
  s.SetNumber(35, 11, 1.5); // a row the sheet lacks
  EXPECT_EQ(book->Streamed(2), streams);
  if (backwards) {
    s.SetNumber(3, 12, 0.5);
    EXPECT_EQ(s.NumberValue(6, 11), (6.6 + 6) / 11);
    EXPECT_FALSE(book->Streamed(2));
  }
  return UnzipParts(book->SaveToBytes());
}

TEST(StreamedSheet, GivesThePackageOfTheWholeSheetInAndOutOfRowOrder) {
  for (bool latin1 : {false, true}) {
    const std::string package = BatchSheet(latin1);
    for (bool backwards : {false, true}) {
      // Only UTF-8 is cut into rows as bytes: the Latin-1 sheet is read whole.
      const auto whole = RunBatch(package, UINT64_MAX, backwards, false),
                 streamed = RunBatch(package, 0, backwards, !latin1);
      EXPECT_EQ(streamed, whole) << backwards;
      EXPECT_EQ(streamed.count("xl/calcChain.xml"), 0u); // its only entry was overwritten
      EXPECT_NE(streamed.at("xl/worksheets/sheet2.xml").find("notes \xC3\xA9"), std::string::npos);
    }
  }
}

// A streamed sheet is unpacked by this program, not by libzip: damage that libzip would report must be found the same.
TEST(StreamedSheet, ADamagedPartIsRefusedAtOpen) {
  std::string rows; // 2,000 rows: unpacked in many pieces, checked in several batches
  for (int r = 1; r <= 2000; ++r)
    rows += "<row r=\"" + std::to_string(r) + "\"><c r=\"A" + std::to_string(r) + "\"><v>" +
            std::to_string(r * 7 % 1009) + "</v></c></row>";
  const std::string package = ZipParts(MinimalParts({"", rows, "", ""}));
  const std::string name = "xl/worksheets/sheet2.xml";
  // The CRC-32 of the part in its local header (name at 30, CRC at 14) and in the central directory (46 and 16).
  std::string badCrc = package;
  for (std::size_t at = badCrc.find(name); at != std::string::npos; at = badCrc.find(name, at + 1)) {
    if (at >= 46 && badCrc.compare(at - 46, 4, "PK\x01\x02") == 0) badCrc[at - 46 + 16] ^= 1;
    if (at >= 30 && badCrc.compare(at - 30, 4, "PK\x03\x04") == 0) badCrc[at - 30 + 14] ^= 1;
  }
  // The packed data cut short in the middle: the rest of it zeros.
  std::string cut = package;
  const std::size_t local = cut.find(name) - 30;
  std::uint32_t packed = 0;
  std::memcpy(&packed, cut.data() + local + 18, 4);
  const std::size_t data = local + 30 + name.size() + static_cast<unsigned char>(cut[local + 28]);
  std::fill(cut.begin() + static_cast<std::ptrdiff_t>(data + packed / 2),
            cut.begin() + static_cast<std::ptrdiff_t>(data + packed), '\0');
  // Garbage unpacked from the zeros fails one check or another before the CRC-32 does.
  const std::string crcError = "\"" + name + "\" is damaged (CRC error)",
                    damaged = "not a valid .xlsx workbook or is damaged";
  for (const auto& [bytes, why] : {std::pair{badCrc, crcError}, std::pair{cut, damaged}}) {
    EXPECT_THAT([&] { XlsxWorkbook::FromBytes(bytes, "damaged.xlsx", {.streamFromSize = 0}); },
                testing::ThrowsMessage<vontralek::WorkbookError>(testing::HasSubstr(why)));
  }
  EXPECT_NO_THROW(XlsxWorkbook::FromBytes(package, "sound.xlsx", {.streamFromSize = 0}));
}

} // namespace
} // namespace vontralek::workbook
