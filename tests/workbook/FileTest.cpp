// The workbook file during a run: held against other programs, replaced only when safe, temporary files cleaned up.

#include <gmock/gmock.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <thread>

#include "TestPackages.h"
#include "common/Errors.h"
#include "workbook/WorkbookFiles.h"
#include "workbook/XlsxWorkbook.h"

namespace vontralek::workbook {
namespace {

namespace fs = std::filesystem;
using namespace test;
using ::testing::AllOf, ::testing::HasSubstr, ::testing::ThrowsMessage;

std::string Valid(double a1 = 1.0) {
  return ZipParts(MinimalParts({"<row r=\"1\"><c r=\"A1\"><v>" + std::to_string(a1) + "</v></c></row>", "", "", ""}));
}

TEST(WorkbookHold, ARunHoldsTheWorkbookAgainstOtherRunsAndLockingPrograms) {
  const fs::path folder = TestFolder("hold"), path = folder / "book.xlsx", lock = folder / ".~lock.book.xlsx#";
  WriteBytes(path, Valid());
  // Left by a run that was killed: its lock file (process gone) and a temporary file.
  char host[256] = {};
  ::gethostname(host, sizeof host - 1);
  WriteBytes(lock, "VONTRALEK (process 2147483646),user," + std::string(host) + ",01.01.2026 10:00,;");
  WriteBytes(folder / ".~book.xlsx.vontralek-Ab12Cd", "partial");
  WriteBytes(folder / ".~book.xlsx.vontralek-Ab12Cd.Ef34Gh", "partial"); // libzip's own, beside ours
  WriteBytes(folder / ".~book.xlsx.vontralek-notours", "kept");
  {
    auto book = OpenWorkbook(path);
    EXPECT_THAT(ReadBytes(lock), HasSubstr("VONTRALEK (process " + std::to_string(::getpid()) + "),"));
    EXPECT_FALSE(fs::exists(folder / ".~book.xlsx.vontralek-Ab12Cd") ||
                 fs::exists(folder / ".~book.xlsx.vontralek-Ab12Cd.Ef34Gh"));
    EXPECT_TRUE(fs::exists(folder / ".~book.xlsx.vontralek-notours"));
    // A second run (even in this process) is refused while the first holds it.
    EXPECT_THAT([&] { OpenWorkbook(path); }, ThrowsMessage<WorkbookError>(HasSubstr("in use")));
    book->Worksheets(1).SetNumber(1, 1, 2.0);
    book->Save();
    EXPECT_THAT([&] { OpenWorkbook(path); }, ThrowsMessage<WorkbookError>(HasSubstr("in use"))); // after a save too
  }
  EXPECT_FALSE(fs::exists(lock));
  EXPECT_EQ(XlsxWorkbook::FromFile(path)->Worksheets(1).NumberValue(1, 1), 2.0);
  {
    // A sheet streamed is saved into a file that libzip puts in place: that file is held.
    auto book = XlsxWorkbook::FromBytes(ReadBytes(path), path, {.streamFromSize = 0});
    book->HoldFile(std::make_shared<FileHold>(path));
    book->Worksheets(1).SetNumber(1, 1, 3.0);
    book->Save();
    const int fd = ::open(path.c_str(), O_RDWR);
    EXPECT_NE(::flock(fd, LOCK_EX | LOCK_NB), 0);
    ::close(fd);
  }
  // A run on another machine (a shared folder) cannot be told dead from here.
  WriteBytes(lock, "VONTRALEK (process 2147483646),user,otherhost,01.01.2026 10:00,;");
  EXPECT_THAT([&] { OpenWorkbook(path); },
              ThrowsMessage<WorkbookError>(HasSubstr("another VONTRALEK (process 2147483646) run on otherhost")));
  fs::remove(lock);
  // A program holding the file with flock or with lockf.
  for (const bool useFlock : {true, false}) {
    const int fd = ::open(path.c_str(), O_RDWR);
    ASSERT_EQ(useFlock ? ::flock(fd, LOCK_EX) : ::lockf(fd, F_LOCK, 0), 0);
    EXPECT_THAT([&] { OpenWorkbook(path); }, ThrowsMessage<WorkbookError>(HasSubstr("in use"))) << useFlock;
    ::close(fd);
  }
  EXPECT_NO_THROW(OpenWorkbook(path));
}

TEST(WorkbookHold, AFileChangedDuringTheRunIsNotOverwritten) {
  const fs::path folder = TestFolder("changed"), path = folder / "book.xlsx";
  // Replaced (another program saves by renaming), or rewritten in place.
  for (const bool replace : {true, false}) {
    WriteBytes(path, Valid());
    auto book = OpenWorkbook(path);
    book->Worksheets(1).SetNumber(1, 1, 5.0);
    const std::string theirs = Valid(3.0);
    if (replace) {
      WriteBytes(folder / "other.xlsx", theirs);
      fs::rename(folder / "other.xlsx", path);
    } else {
      WriteBytes(path, theirs);
    }
    EXPECT_THAT([&] { book->Save(); }, ThrowsMessage<WorkbookError>(AllOf(HasSubstr("changed, replaced or removed"),
                                                                          HasSubstr("Nothing was written"))));
    EXPECT_EQ(ReadBytes(path), theirs) << replace;
  }
}

TEST(WorkbookHold, LocksAreLookedForBesideTheTargetAndExcelsOwnerFileByItsRule) {
  const fs::path folder = TestFolder("links");
  for (const char* sub : {"real", "links"}) fs::create_directories(folder / sub);
  const fs::path real = folder / "real" / "VONTRALEK.xlsx", link = folder / "links" / "book.xlsx";
  WriteBytes(real, Valid());
  fs::create_symlink(real, link);
  WriteBytes(folder / "real" / ".~lock.VONTRALEK.xlsx#", "Someone,someone,otherhost,01.01.2026 10:00,file:///;");
  EXPECT_THAT([&] { OpenWorkbook(link); }, ThrowsMessage<WorkbookError>(HasSubstr("open in LibreOffice")));
  fs::remove(folder / "real" / ".~lock.VONTRALEK.xlsx#");
  {
    auto book = OpenWorkbook(link); // saved through the link: the target is replaced, the link stays
    book->Worksheets(1).SetNumber(1, 1, 4.0);
    book->Save();
  }
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(XlsxWorkbook::FromFile(real)->Worksheets(1).NumberValue(1, 1), 4.0);
  // Excel's owner file of VONTRALEK.xlsx is "~$VONTRALEK.xlsx"; Office shortens long names by their first two
  // characters, so the same owner file belongs to ABVONTRALEK.xlsx only when VONTRALEK.xlsx is not there.
  const fs::path other = folder / "real" / "ABVONTRALEK.xlsx";
  WriteBytes(other, Valid());
  WriteBytes(folder / "real" / "~$VONTRALEK.xlsx", "owner");
  EXPECT_THROW(OpenWorkbook(real), WorkbookError);
  EXPECT_NO_THROW(OpenWorkbook(other));
  fs::remove(real);
  EXPECT_THAT([&] { OpenWorkbook(other); }, ThrowsMessage<WorkbookError>(HasSubstr("open in Excel")));
}

// A package larger than what is read whole is read from its file as parts are needed: the same workbook as from its
// bytes, saved over the very file it is being read from; what is no package is refused as when read whole.
TEST(WorkbookFile, ALargePackageIsReadFromItsFileAsTheBytesWouldBe) {
  const fs::path folder = TestFolder("large"), path = folder / "book.xlsx";
  std::string rows;
  for (int r = 1; r <= 300; ++r)
    rows += "<row r=\"" + std::to_string(r) + "\"><c r=\"A" + std::to_string(r) + "\"><v>" + std::to_string(r) +
            "</v></c></row>";
  const std::string bytes = ZipParts(MinimalParts({rows, "", "", ""}));
  WriteBytes(path, bytes);
  const PackageLimits fromFile{.streamFromSize = 0, .readWholeUpTo = 0};
  const auto edit = [](XlsxWorkbook& book) {
    for (int r = 1; r <= 300; ++r) book.Worksheets(1).SetNumber(r, 2, book.Worksheets(1).NumberValue(r, 1) / 4);
  };
  auto held = XlsxWorkbook::FromBytes(bytes, path, {.streamFromSize = 0});
  auto read = XlsxWorkbook::FromFile(path, fromFile);
  edit(*held);
  edit(*read);
  EXPECT_EQ(UnzipParts(read->SaveToBytes()), UnzipParts(held->SaveToBytes()));
  read->Save();
  EXPECT_EQ(XlsxWorkbook::FromFile(path)->Worksheets(1).NumberValue(300, 2), 75.0);
  const fs::path text = folder / "text.xlsx";
  WriteBytes(text, "PK but no zip at all");
  EXPECT_THAT([&] { XlsxWorkbook::FromFile(text, fromFile); },
              ThrowsMessage<WorkbookError>(HasSubstr("the zip package cannot be read")));
}

TEST(WorkbookSave, AFileThatCannotBeReplacedSafelyIsRefusedAndModeAndOwnerAreKept) {
  const fs::path folder = TestFolder("savable");
  const std::string bytes = Valid();
  auto refused = [&](const fs::path& path, const std::string& why) {
    EXPECT_THAT([&] { CheckSavable(path); }, ThrowsMessage<WorkbookError>(HasSubstr(why))) << path;
    auto book = XlsxWorkbook::FromFile(path);
    book->Worksheets(1).SetNumber(1, 1, 9.0);
    EXPECT_THROW(book->Save(), WorkbookError) << path; // Save checks again
    EXPECT_EQ(ReadBytes(path), bytes) << path;
  };
  const fs::path readOnly = folder / "readonly.xlsx", linked = folder / "linked.xlsx";
  WriteBytes(readOnly, bytes);
  fs::permissions(readOnly, fs::perms::owner_read | fs::perms::group_read);
  refused(readOnly, "you may not write it");
  WriteBytes(linked, bytes);
  fs::create_hard_link(linked, folder / "second-name.xlsx");
  refused(linked, "2 names (hard links)");
  const fs::path longName = folder / (std::string(245, 'n') + ".xlsx"); // 250 bytes: no room for ".~lock.NAME#"
  WriteBytes(longName, bytes);
  refused(longName, "too long for the temporary file");
  // Mode, owner and group stay (another owner can be given only as root).
  const fs::path kept = folder / "kept.xlsx";
  WriteBytes(kept, bytes);
  fs::permissions(kept, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  const bool root = ::geteuid() == 0;
  ASSERT_TRUE(!root || ::chown(kept.c_str(), 1234, 5678) == 0);
  auto book = OpenWorkbook(kept);
  book->Worksheets(1).SetNumber(1, 1, 9.0);
  book->Save();
  struct stat st {};
  ASSERT_EQ(::stat(kept.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_TRUE(!root || std::pair(st.st_uid, st.st_gid) == std::pair(uid_t{1234}, gid_t{5678})) << st.st_uid;
}

TEST(WorkbookSave, AFileSizeLimitIsAnErrorNotAKill) {
  const fs::path path = TestFolder("fsize") / "book.xlsx";
  MakeStyledWorkbook(path);
  const std::string before = ReadBytes(path);
  const pid_t child = ::fork();
  if (child == 0) {
    const rlimit limit{static_cast<rlim_t>(before.size() / 2), static_cast<rlim_t>(before.size() / 2)};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    try {
      auto book = OpenWorkbook(path);
      book->Worksheets(2).SetNumber(2, 11, 1.0);
      book->Save();
    } catch (const WorkbookError& e) {
      ::_exit(std::string(e.what()).find("ulimit -f") != std::string::npos ? 0 : 2);
    }
    ::_exit(1);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status)) << "killed by signal " << WTERMSIG(status);
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(ReadBytes(path), before);
}

// A stand-in for LibreOffice: "converts" to .xlsx by copying $FAKE_XLSX, back by copying; sleeps on $FAKE_SLEEP.
struct FakeOffice {
  fs::path folder;
  std::string oldPath = std::getenv("PATH"), oldTmp = std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "";
  explicit FakeOffice(const fs::path& f) : folder(f) {
    for (const char* sub : {"bin", "tmp"}) fs::create_directories(folder / sub);
    WriteBytes(folder / "bin" / "soffice",
               "#!/bin/sh\n[ -n \"$FAKE_SLEEP\" ] && sleep \"$FAKE_SLEEP\"\n"
               "while [ $# -gt 0 ]; do case \"$1\" in --convert-to) f=$2; shift;; --outdir) d=$2; shift;; -*) ;;"
               " *) in=$1;; esac; shift; done\nstem=$(basename \"$in\"); stem=${stem%.*}\n"
               "case \"$f\" in xlsx) cp \"$FAKE_XLSX\" \"$d/$stem.xlsx\";; ods) cp \"$in\" \"$d/$stem.ods\";;"
               " *) cp \"$in\" \"$d/$stem.xls\";; esac\n");
    fs::permissions(folder / "bin" / "soffice", fs::perms::owner_all);
    WriteBytes(folder / "converted.xlsx", Valid());
    ::setenv("PATH", ((folder / "bin").string() + ":" + oldPath).c_str(), 1);
    ::setenv("TMPDIR", (folder / "tmp").c_str(), 1);
    ::setenv("FAKE_XLSX", (folder / "converted.xlsx").c_str(), 1);
  }
  ~FakeOffice() {
    ::setenv("PATH", oldPath.c_str(), 1);
    oldTmp.empty() ? ::unsetenv("TMPDIR") : ::setenv("TMPDIR", oldTmp.c_str(), 1);
    ::unsetenv("FAKE_SLEEP");
  }
  bool TemporaryFolders() const { return !fs::is_empty(folder / "tmp"); }
};

TEST(ConvertedWorkbook, MacrosAreNotLostInPlaceAndTemporaryFilesGoOnRequest) {
  const fs::path folder = TestFolder("converted");
  const FakeOffice office(folder);
  const fs::path macros = folder / "macros.ods", plain = folder / "plain.ods";
  const std::string withBasic = ZipParts(
      {{"mimetype", "application/vnd.oasis.opendocument.spreadsheet"}, {"Basic/Standard/Module1.xml", "<module/>"}});
  WriteBytes(macros, withBasic);
  WriteBytes(plain, ZipParts({{"mimetype", "application/vnd.oasis.opendocument.spreadsheet"}}));
  {
    auto book = OpenWorkbook(macros);
    EXPECT_TRUE(office.TemporaryFolders());
    EXPECT_THAT([&] { book->CheckSaveTo(macros); },
                ThrowsMessage<WorkbookError>(AllOf(HasSubstr("macros"), HasSubstr("-o"), HasSubstr(".xlsm"))));
    EXPECT_THROW(book->Save(), WorkbookError);
    EXPECT_EQ(ReadBytes(macros), withBasic);
    EXPECT_NO_THROW(book->CheckSaveTo(folder / "results.ods")); // another file may be written
    auto other = OpenWorkbook(plain);
    EXPECT_NO_THROW(other->CheckSaveTo(plain));
    // What the program's SIGINT/SIGTERM handling calls: the folders go at once.
    RemoveTemporaryFiles();
    EXPECT_FALSE(office.TemporaryFolders());
  }
  // A conversion in progress is stopped (as from a signal handler), and its files go.
  ::setenv("FAKE_SLEEP", "30", 1);
  const auto start = std::chrono::steady_clock::now();
  std::thread run([&] {
    EXPECT_THAT([&] { OpenWorkbook(plain); }, ThrowsMessage<WorkbookError>(HasSubstr("stopped on request")));
  });
  auto started = [&] { // the conversion's log is opened as it starts
    try {
      for (const auto& entry : fs::recursive_directory_iterator(folder / "tmp"))
        if (entry.path().filename() == "soffice.log") return true;
    } catch (const fs::filesystem_error&) { // a folder went while it was listed
    }
    return false;
  };
  while (!started() && std::chrono::steady_clock::now() - start < std::chrono::seconds(5))
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  StopConversion();
  run.join();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  EXPECT_FALSE(office.TemporaryFolders());
}

} // namespace
} // namespace vontralek::workbook
