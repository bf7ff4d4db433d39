// What a save must never do: write a part out of order or with the writer's own marks in it, drop text it cannot keep,
// differ between a sheet edited whole and one streamed (byte for byte, whether the edits keep to row order or not),
// leave a temporary file, or start without room for its data. Each case runs on a sheet edited whole and on one edited
// as a stream of rows. (The reading and writing tests run on streamed sheets as well: CMakeLists.txt.)

#include <gmock/gmock.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <regex>

#include "TestPackages.h"
#include "common/Errors.h"
#include "workbook/TemporarySpace.h"
#include "workbook/UnkeptText.h"
#include "workbook/WorkbookFiles.h"
#include "workbook/XlsxWorkbook.h"

namespace vontralek::workbook {
namespace {

namespace fs = std::filesystem;
using namespace test;
using ::testing::AllOf, ::testing::HasSubstr, ::testing::ThrowsMessage;

constexpr std::uint64_t kWhole = UINT64_MAX, kStreamed = 0; // PackageLimits::streamFromSize

std::unique_ptr<XlsxWorkbook> Open(const Parts& parts, std::uint64_t streamFrom) {
  return XlsxWorkbook::FromBytes(ZipParts(parts), "integrity.xlsx", {.streamFromSize = streamFrom});
}

// The row numbers of a sheet part in file order, and its cells' references.
std::vector<std::string> References(const std::string& part, const char* what) {
  std::vector<std::string> found;
  const std::regex tag(std::string("<") + what + " r=\"([A-Z]*[0-9]+)\"");
  for (std::sregex_iterator m(part.begin(), part.end(), tag), end; m != end; ++m) found.push_back((*m)[1]);
  return found;
}

TEST(SheetIntegrity, RowsAndCellsOutOfOrderAreWrittenInSheetOrderWithoutTheWritersMarks) {
  // Row 11 before row 10, row 3 before row 2, and in row 3 cell E3 before B3 and A3: numbers go between and after.
  const std::string rows =
      "<row r=\"1\"><c r=\"A1\"><v>0</v></c></row><row r=\"3\"><c r=\"E3\"><v>5</v></c>"
      "<c r=\"B3\"><v>2</v></c><c r=\"A3\"><v>3</v></c></row><row r=\"2\"><c r=\"A2\"><v>1</v></c></row>"
      "<row r=\"11\"><c r=\"A11\"><v>11</v></c></row><row r=\"10\"><c r=\"A10\"><v>10</v></c></row>";
  for (const std::uint64_t streamFrom : {kWhole, kStreamed}) {
    auto book = Open(MinimalParts({"", rows, "", ""}), streamFrom);
    Worksheet& s = book->Worksheets(2);
    for (int r = 2; r <= 11; ++r) {
      if (s.IsEmpty(r, 1)) continue;
      s.SetNumber(r, 11, s.NumberValue(r, 1) / 2);
      s.SetNumber(r, 12, 1.5);
      s.SetText(r, 83, "ok");
    }
    s.SetNumber(3, 3, 3.5); // between E3 and B3 of the file
    s.SetNumber(3, 7, 7.5); // after both
    const auto parts = UnzipParts(book->SaveToBytes());
    for (const auto& [name, text] : parts) EXPECT_EQ(text.find("<?vontralek"), std::string::npos) << name;
    const std::string& sheet = parts.at("xl/worksheets/sheet2.xml");
    EXPECT_EQ(References(sheet, "row"), (std::vector<std::string>{"1", "2", "3", "10", "11"})) << streamFrom;
    EXPECT_EQ(References(sheet, "c"),
              (std::vector<std::string>{"A1", "A2",  "K2",  "L2",  "CE2", "A3",   "B3",  "C3",  "E3",  "G3",  "K3",
                                        "L3", "CE3", "A10", "K10", "L10", "CE10", "A11", "K11", "L11", "CE11"}));
    auto again = XlsxWorkbook::FromBytes(book->SaveToBytes(), "again.xlsx", {.streamFromSize = streamFrom});
    Worksheet& a = again->Worksheets(2);
    EXPECT_EQ(std::vector<double>({a.NumberValue(10, 11), a.NumberValue(11, 11), a.NumberValue(11, 12),
                                   a.NumberValue(3, 3), a.NumberValue(3, 7), a.NumberValue(2, 11)}),
              std::vector<double>({5, 5.5, 1.5, 3.5, 7.5, 0.5}));
    EXPECT_TRUE(a.Value(11, 83).EqualsText("ok"));
  }
}

TEST(SheetIntegrity, TextTheWriterCouldNotKeepIsRefusedAtOpenNamingTheSheet) {
  const std::string cell = "<row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>&lol9;</t></is></c></row>";
  for (const std::uint64_t streamFrom : {kWhole, kStreamed}) {
    Parts parts = MinimalParts({"", "", cell, ""});
    std::string& sheet = parts[6].second;
    // First as the red team sent it: a document type declaring the entity.
    sheet.insert(sheet.find("?>") + 2, "<!DOCTYPE worksheet [<!ENTITY lol9 \"x\">]>");
    EXPECT_THAT([&] { Open(parts, streamFrom); },
                ThrowsMessage<WorkbookError>(AllOf(HasSubstr("worksheet 3 (\"Sheet3\")"),
                                                   HasSubstr("a document type declaration"),
                                                   HasSubstr("cannot be read or written back as it is"))));
    sheet.erase(sheet.find("<!DOCTYPE"), sheet.find("]>") + 2 - sheet.find("<!DOCTYPE"));
    EXPECT_THAT([&] { Open(parts, streamFrom); },
                ThrowsMessage<WorkbookError>(AllOf(HasSubstr("Sheet3"), HasSubstr("the entity reference &lol9;"))));
  }
  // XML's own entities, character references, a lone '&' and markup inside CDATA, comments and instructions are text.
  EXPECT_EQ(UnkeptConstruct("<a b=\"&amp;&#10;&#x41;\">&lt;&gt;&quot;&apos; a & b; &;<![CDATA[<!DOCTYPE &x;]]>"
                            "<!-- <!DOCTYPE &y; --><?pi <!DOCTYPE &z; ?></a>"),
            "");
  EXPECT_EQ(UnkeptConstruct("<a b=\"&x;\"/>"), "the entity reference &x;");
  EXPECT_EQ(UnkeptConstruct("<?xml version=\"1.0\"?><!DOCTYPE a><a/>"), "a document type declaration");
}

TEST(SheetIntegrity, ATemporaryFileIsRemovedWhenTheWriterFails) {
  const fs::path folder = TestFolder("integrity-temporary"), target = folder / "book.xlsx";
  const std::string before = ZipParts(MinimalParts({"<row r=\"1\"><c r=\"A1\"><v>1</v></c></row>"}));
  WriteBytes(target, before);
  const auto failing = [](int fd, const fs::path&) {
    throw WorkbookError(::write(fd, "PK", 2) == 2 ? "the writer failed" : "no write");
  };
  EXPECT_THROW(WriteFileAtomically(target, failing, nullptr), WorkbookError);
  // A streamed sheet whose part outgrows what a reader accepts: refused inside the writer, after it started.
  PackageLimits limits{.streamFromSize = 0};
  limits.maxPartSize = 4096;
  auto book = XlsxWorkbook::FromBytes(before, target, limits);
  for (int r = 1; r <= 200; ++r) book->Worksheets(1).SetNumber(r, 2, r / 7.0);
  EXPECT_THROW(book->Save(), WorkbookError);
  EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);
  EXPECT_EQ(ReadBytes(target), before);
}

// The fds of this process open on a file without a name in folder.
int UnnamedFilesIn(const fs::path& folder) {
  int count = 0;
  for (const auto& fd : fs::directory_iterator("/proc/self/fd")) {
    std::error_code ec;
    const std::string target = fs::read_symlink(fd.path(), ec).string();
    if (!ec && target.rfind(folder.string() + "/", 0) == 0 && target.find("(deleted)") != std::string::npos) ++count;
  }
  return count;
}

TEST(SheetIntegrity, AStreamedSheetKeepsItsRowsInTmpdirAndARunWithoutRoomIsRefusedUpFront) {
  const fs::path folder = TestFolder("integrity-tmpdir"), target = folder / "book.xlsx";
  const fs::path tmpdir = TestFolder("integrity-tmpdir-rows");
  std::string rows;
  for (int r = 1; r <= 1000; ++r)
    rows += "<row r=\"" + std::to_string(r) + "\"><c><v>" + std::to_string(r) + "</v></c></row>";
  const std::string before = ZipParts(MinimalParts({"", rows}));
  WriteBytes(target, before);
  struct RestoreTmpdir {
    const char* set = std::getenv("TMPDIR");
    const std::string value = set ? set : "";
    ~RestoreTmpdir() { set ? ::setenv("TMPDIR", value.c_str(), 1) : ::unsetenv("TMPDIR"); }
  } restore;
  ::setenv("TMPDIR", tmpdir.c_str(), 1);
  std::uint64_t asked = 0;
  PackageLimits limits{.streamFromSize = 0};
  limits.freeSpace = [&](const fs::path& where) { return where == tmpdir ? std::optional(asked) : std::nullopt; };
  {
    auto book = XlsxWorkbook::FromBytes(before, target, limits);
    EXPECT_EQ(UnnamedFilesIn(tmpdir), 0); // made when needed, in the folder the check chose
    // 1000 rows of 80 numbers: about 1.2 MB deflated, with the margin.
    asked = 1 << 20;
    EXPECT_THAT([&] { book->CheckRoomToWrite(2, 80, target); },
                ThrowsMessage<WorkbookError>(AllOf(HasSubstr("worksheet 2 (\"Sheet2\")"), HasSubstr(tmpdir.string()),
                                                   HasSubstr("only 1 MB are free"), HasSubstr("TMPDIR"))));
    asked = 4 << 20;
    book->CheckRoomToWrite(2, 80, target);
    EXPECT_EQ(UnnamedFilesIn(tmpdir), 1);
    // Without the check, the file is made when the first rows are deflated (256 kB of them): in TMPDIR too.
    auto unchecked = XlsxWorkbook::FromBytes(before, target, limits);
    for (int r = 1; r <= 1000; ++r)
      for (int c = 2; c <= 21; ++c) unchecked->Worksheets(2).SetNumber(r, c, r / 3.0);
    EXPECT_EQ(UnnamedFilesIn(tmpdir), 2);
  }
  // Without TMPDIR the rows go beside the file the results are saved to.
  ::unsetenv("TMPDIR");
  limits.freeSpace = {};
  auto book = XlsxWorkbook::FromBytes(before, folder / "elsewhere" / "read-only.xlsx", limits);
  book->CheckRoomToWrite(2, 80, target);
  book->Worksheets(2).SetNumber(1, 2, 0.5);
  EXPECT_EQ(UnnamedFilesIn(folder), 1);
}

// A batch sheet with what a stream must carry through: a row and cells without r, rows missing (31 to 39), a shared
// formula over K5:V40 (in K5, V6, K40) whose master is overwritten (K5 also in the calculation chain), a comment
// between rows, a formatted row below the samples, texts in column A; declared Latin-1 (é is E9) if latin1 is set.
// Its dimension "A1" is the one a fuzzed package had, which a streamed sheet once kept where the whole sheet did not.
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
  parts[5].second.insert(parts[5].second.find("<sheetData>"), "<dimension ref=\"A1\"/>");
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
                ThrowsMessage<WorkbookError>(HasSubstr(why)));
  }
  EXPECT_NO_THROW(XlsxWorkbook::FromBytes(package, "sound.xlsx", {.streamFromSize = 0}));
}

} // namespace
} // namespace vontralek::workbook
