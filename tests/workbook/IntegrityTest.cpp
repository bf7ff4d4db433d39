// What a save must never do: write a part out of order or with the writer's own marks in it, drop text it cannot keep,
// differ between a sheet edited whole and one streamed, leave a temporary file, or start without room for its data.
// Each case runs on a sheet edited whole and on one edited as a stream of rows.

#include <gmock/gmock.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
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

TEST(SheetIntegrity, AStreamedSheetGetsTheDimensionOfTheSheetEditedWhole) {
  // The fuzzer's find: a sheet with one row of cells A1:E1 and the dimension "A1", edited as a batch run does.
  Parts parts = MinimalParts({"", "<row r=\"1\"><c r=\"A1\"><v>1</v></c><c r=\"E1\"><v>5</v></c></row>", "", ""});
  parts[5].second.insert(parts[5].second.find("<sheetData>"), "<dimension ref=\"A1\"/>");
  std::string written[2];
  for (const std::uint64_t streamFrom : {kWhole, kStreamed}) {
    auto book = Open(parts, streamFrom);
    Worksheet& s = book->Worksheets(2);
    s.SetText(1, 3, "pCO2");
    for (int r = 2; r <= 4; ++r) s.SetNumber(r, 11, r * 0.5);
    written[streamFrom == kStreamed] = UnzipParts(book->SaveToBytes())["xl/worksheets/sheet2.xml"];
  }
  EXPECT_THAT(written[0], HasSubstr("<dimension ref=\"A1:K4\"/>"));
  EXPECT_EQ(written[1], written[0]);
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

} // namespace
} // namespace vontralek::workbook
