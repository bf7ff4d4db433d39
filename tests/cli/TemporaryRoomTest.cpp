// A batch large enough to be edited as a stream of rows keeps them in a temporary file in TMPDIR until the save: the
// run checks that folder before its first sample and, when it cannot be used, refuses with the workbook untouched.

#include <gmock/gmock.h>

#include <cstdlib>
#include <sstream>

#include "TestSupport.h"
#include "cli/Cli.h"

namespace vontralek {
namespace {

namespace fs = std::filesystem;
using namespace vontralek::testing;
using ::testing::AllOf, ::testing::HasSubstr;

TEST(CliTemporaryRoom, ABatchWhoseTemporaryFolderCannotBeUsedIsRefusedBeforeItsFirstSample) {
  MemoryWorkbook wb = BatchBook(std::vector<Analysis>(5000, kSpring)); // some 2 MB of sheet XML: streamed
  const fs::path folder = EmptyFolder("cli-temporary-room");
  const std::string path = folder / "large.xlsx";
  WriteXlsx(path, wb);
  const std::string before = ReadFile(path);
  struct RestoreTmpdir {
    const char* set = std::getenv("TMPDIR");
    const std::string value = set ? set : "";
    ~RestoreTmpdir() { set ? ::setenv("TMPDIR", value.c_str(), 1) : ::unsetenv("TMPDIR"); }
  } restore;
  const fs::path missing = folder / "missing";
  ::setenv("TMPDIR", missing.c_str(), 1);
  std::ostringstream out, err;
  EXPECT_EQ(cli::RunCli({"--sheet", "batch", path}, out, err, {folder, false}), 1);
  EXPECT_THAT(err.str(), AllOf(HasSubstr(missing.string()), HasSubstr("TMPDIR"),
                               HasSubstr("Nothing was calculated and the workbook was not changed")));
  EXPECT_EQ(ReadFile(path), before);
}

} // namespace
} // namespace vontralek
