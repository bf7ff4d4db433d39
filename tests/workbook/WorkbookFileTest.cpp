// Files on disk: what is not a workbook is refused and left as it was, a
// workbook open in a spreadsheet application is refused, and saving replaces
// the file in one step so that it is never half written.

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "TestPackages.h"
#include "model/Errors.h"
#include "workbook/XlsxWorkbook.h"

namespace vontralek::workbook {
namespace {

namespace fs = std::filesystem;
using test::MinimalParts;
using test::ReadBytes;
using test::WriteBytes;
using test::ZipParts;

std::string ValidPackage() {
  return ZipParts(MinimalParts({"<row r=\"1\"><c r=\"A1\"><v>1</v></c></row>", "", "", ""}));
}

TEST(WorkbookFile, WhatIsNotAWorkbookIsRefusedAndLeftUntouched) {
  const auto folder = test::TestFolder("malformed");
  test::Parts missingPart = MinimalParts({"", "", "", ""}), samePart = missingPart;
  missingPart.erase(missingPart.begin() + 6); // sheet 3
  // Two tabs naming one part (found by fuzzing): edits of one would be lost.
  std::string& rels = samePart[3].second;
  rels.replace(rels.find("worksheets/sheet2.xml"), 21, "worksheets/sheet1.xml");
  const std::string ole = std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) + std::string(4088, '\0');
  const std::string valid = ValidPackage();
  // (file name, content, a word the message must contain)
  const std::vector<std::tuple<std::string, std::string, std::string>> cases = {
      {"text.xlsx", "Sample;pH\nW1;7.25\n", "not a zip"},
      {"empty.xlsx", "", "not a zip"},
      {"truncated.xlsx", valid.substr(0, valid.size() / 2), "zip package cannot be read"},
      {"badxml.xlsx", ZipParts(MinimalParts({"<row><c><v>1</v></row>", "", "", ""})), "not well-formed XML"},
      {"encrypted.xlsx", ole, "password"},
      {"three.xlsx", ZipParts(MinimalParts({"", "", ""})), "needs four"},
      {"missingpart.xlsx", ZipParts(missingPart), "missing from the package"},
      {"samepart.xlsx", ZipParts(samePart), "one and the same part"},
      {"otherzip.xlsx", ZipParts({{"readme.txt", "hello"}}), "_rels/.rels"},
  };
  for (const auto& [name, bytes, word] : cases) {
    const fs::path path = folder / name;
    WriteBytes(path, bytes);
    try {
      OpenWorkbook(path);
      ADD_FAILURE() << name << " was opened";
    } catch (const WorkbookError& e) {
      const std::string message = e.what();
      EXPECT_NE(message.find(path.string()), std::string::npos) << message;
      EXPECT_NE(message.find(word), std::string::npos) << message;
    }
    EXPECT_EQ(ReadBytes(path), bytes) << name << " was changed";
  }
  EXPECT_THROW(OpenWorkbook(folder / "absent.xlsx"), WorkbookError);
  EXPECT_FALSE(fs::exists(folder / "absent.xlsx"));
}

TEST(WorkbookFile, SavingRespectsLocksTheOriginalAndPermissions) {
  const auto folder = test::TestFolder("locked");
  const fs::path path = folder / "VONTRALEK.xlsx", copy = folder / "out.xlsx";
  WriteBytes(path, ValidPackage());
  ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
  const std::string before = ReadBytes(path);
  for (const std::string lock : {".~lock.VONTRALEK.xlsx#", "~$VONTRALEK.xlsx"}) {
    WriteBytes(folder / lock, "user,host");
    EXPECT_THROW(OpenWorkbook(path), WorkbookError) << lock;
    fs::remove(folder / lock);
  }
  // Opened first, then someone opens it in LibreOffice: the save is refused
  // and the file keeps its old content.
  auto book = OpenWorkbook(path);
  book->Worksheets(1).SetNumber(1, 1, 42.0);
  WriteBytes(folder / ".~lock.VONTRALEK.xlsx#", "user,host");
  try {
    book->Save();
    ADD_FAILURE() << "saved over a locked workbook";
  } catch (const WorkbookError& e) {
    EXPECT_NE(std::string(e.what()).find("LibreOffice"), std::string::npos) << e.what();
  }
  EXPECT_EQ(ReadBytes(path), before);
  fs::remove(folder / ".~lock.VONTRALEK.xlsx#");
  // Save as leaves the original; save keeps the permissions and no temporary file.
  book->SaveAs(copy);
  EXPECT_EQ(ReadBytes(path), before);
  EXPECT_EQ(OpenWorkbook(copy)->Worksheets(1).NumberValue(1, 1), 42.0);
  auto again = OpenWorkbook(path);
  again->Worksheets(2).SetText(1, 1, "x");
  again->Save();
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 2);
}

TEST(WorkbookFile, AKillDuringSaveLeavesTheOldOrTheNewFile) {
  const auto folder = test::TestFolder("kill");
  const fs::path path = folder / "book.xlsx";
  test::MakeStyledWorkbook(path);
  constexpr int kRows = 400, kColumns = 60;
  int completed = 0, killed = 0;
  double last = 0.0; // the value of the last save known to have finished
  for (int round = 1; round <= 16; ++round) {
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    if (child == 0) {
      // A run: every cell of the block gets the round number, then a save
      // once the parent knows the save is starting.
      try {
        auto book = OpenWorkbook(path);
        for (int r = 2; r < 2 + kRows; ++r) {
          for (int c = 11; c < 11 + kColumns; ++c) book->Worksheets(2).SetNumber(r, c, round);
        }
        if (::write(ready[1], "1", 1) != 1) ::_exit(3);
        book->Save();
      } catch (...) {
        ::_exit(2);
      }
      ::_exit(0);
    }
    ::close(ready[1]);
    char go = 0;
    EXPECT_EQ(::read(ready[0], &go, 1), 1);
    ::close(ready[0]);
    // Kill at a different moment of the save each round: at its start,
    // while the package is built, while it is written, after the rename.
    std::this_thread::sleep_for(std::chrono::microseconds((round - 1) * 2500));
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    const bool finished = WIFEXITED(status);
    EXPECT_TRUE(!finished || WEXITSTATUS(status) == 0);
    ++(finished ? completed : killed);
    // Whatever happened, the file is a whole workbook with one consistent block.
    auto book = OpenWorkbook(path);
    Worksheet& batch = book->Worksheets(2);
    const double first = batch.NumberValue(2, 11);
    EXPECT_EQ(batch.NumberValue(1 + kRows, 10 + kColumns), first) << "round " << round;
    EXPECT_TRUE(finished ? first == round : first == last || first == round) << "round " << round << ": " << first;
    last = first;
  }
  std::cout << "saves completed: " << completed << ", killed: " << killed << "\n";
}

} // namespace
} // namespace vontralek::workbook
