// Where the programs find their workbook when none is named: beside the program
// in the build tree, else the user's own copy of the installed template.
#include "run/UserWorkbook.h"

#include <gmock/gmock.h>

#include <fstream>
#include <string>

#include "TestSupport.h"
#include "run/RunError.h"

namespace vontralek {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr, ::testing::ThrowsMessage;

void Write(const fs::path& path, const std::string& text) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

class UserWorkbookTest : public ::testing::Test {
protected:
  void SetUp() override {
    root_ = testing::EmptyFolder(std::string("user-workbook-") +
                                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
    bin_ = root_ / "prefix" / "bin";
    fs::create_directories(bin_);
    places_.home = root_ / "home";
  }
  void TearDown() override { fs::remove_all(root_); }
  fs::path root_, bin_;
  UserDataPlaces places_;
};

TEST_F(UserWorkbookTest, InTheBuildTreeTheWorkbookBesideTheProgramIsUsedInPlace) {
  Write(bin_ / "VONTRALEK.xlsx", "beside");
  Write(root_ / "prefix" / "share" / "vontralek" / "VONTRALEK.xlsx", "template");
  const DefaultWorkbook found = LocateDefaultWorkbook(bin_, places_);
  EXPECT_EQ(found.path, bin_ / "VONTRALEK.xlsx");
  EXPECT_FALSE(found.createdFrom);
  EXPECT_FALSE(fs::exists(root_ / "home"));
}

TEST_F(UserWorkbookTest, InstalledTheUserCopyIsMadeOnceFromTheTemplateAndThenKept) {
  const fs::path templatePath = root_ / "prefix" / "share" / "vontralek" / "VONTRALEK.xlsx";
  Write(templatePath, "template");
  fs::permissions(templatePath, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  const fs::path copy = root_ / "home" / ".local" / "share" / "vontralek" / "VONTRALEK.xlsx";

  const DefaultWorkbook first = LocateDefaultWorkbook(bin_, places_);
  EXPECT_EQ(first.path, copy);
  EXPECT_EQ(first.createdFrom, templatePath);
  EXPECT_EQ(testing::ReadFile(copy), "template");
  // The copy is the user's to edit, although the template is read-only.
  EXPECT_NE(fs::status(copy).permissions() & fs::perms::owner_write, fs::perms::none);

  Write(copy, "edited by the user");
  const DefaultWorkbook second = LocateDefaultWorkbook(bin_, places_);
  EXPECT_EQ(second.path, copy);
  EXPECT_FALSE(second.createdFrom);
  EXPECT_EQ(testing::ReadFile(copy), "edited by the user");
  EXPECT_EQ(testing::ReadFile(templatePath), "template");
  // No temporary file of the copy is left behind.
  EXPECT_EQ(std::distance(fs::directory_iterator(copy.parent_path()), fs::directory_iterator()), 1);
}

TEST_F(UserWorkbookTest, TheDataFolderFollowsXdgDataHomeWhenAbsolute) {
  places_.xdgDataHome = root_ / "xdg";
  EXPECT_EQ(UserWorkbookFolder(places_), root_ / "xdg" / "vontralek");
  places_.xdgDataHome = fs::path("relative/xdg"); // ignored, as the XDG rules say
  EXPECT_EQ(UserWorkbookFolder(places_), root_ / "home" / ".local" / "share" / "vontralek");
  EXPECT_THROW(UserWorkbookFolder(UserDataPlaces{}), RunError);
}

TEST_F(UserWorkbookTest, WithoutWorkbookOrTemplateTheMessageNamesTheProgramFolder) {
  EXPECT_THAT([&] { LocateDefaultWorkbook(bin_, places_); }, ThrowsMessage<RunError>(HasSubstr(bin_.string())));
}

TEST_F(UserWorkbookTest, AUserFolderThatCannotBeMadeIsReportedWithItsPath) {
  Write(root_ / "prefix" / "share" / "vontralek" / "VONTRALEK.xlsx", "template");
  Write(root_ / "home" / ".local", "a file where the folder should be");
  EXPECT_THAT([&] { LocateDefaultWorkbook(bin_, places_); },
              ThrowsMessage<RunError>(HasSubstr((root_ / "home" / ".local").string())));
}

} // namespace
} // namespace vontralek
