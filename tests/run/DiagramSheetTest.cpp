#include <gmock/gmock.h>

#include <filesystem>

#include "TestSupport.h"
#include "run/Run.h"
#include "workbook/XlsxWorkbook.h"

namespace vontralek {
namespace {

namespace fs = std::filesystem;
using workbook::PictureSheetState;
using workbook::XlsxWorkbook;

RunSummary RunBatch(const fs::path& path) {
  ModelState state;
  return RunWorkbook(state, {path, std::nullopt, DataSheet::Batch, CarbonatePair::AlkalinityPH, {}}, nullptr);
}

// The shipped workbook (E35 "Diagrams" yes): a batch adds the worksheet "Diagrams" after the four with the
// Piper and Schoeller pictures; a second batch replaces them (still five sheets, as many parts). A worksheet
// "Diagrams" whose pictures are not this program's stops the run before anything is written.
TEST(DiagramSheet, AddedByABatchReplacedByTheNextAUsersSheetStopsTheRun) {
  const fs::path folder = testing::EmptyFolder("diagram-sheet"), path = folder / "book.xlsx";
  fs::copy_file(VONTRALEK_SHIPPED_WORKBOOK, path);
  RunBatch(path);
  const std::string once = testing::ReadFile(path);
  auto book = XlsxWorkbook::FromBytes(once, path);
  ASSERT_EQ(book->WorksheetCount(), 5);
  EXPECT_EQ(book->Worksheets(5).Name(), "Diagrams");
  EXPECT_EQ(book->PictureSheet("Diagrams", "VONTRALEK diagram"), PictureSheetState::Ours);
  RunBatch(path);
  auto again = XlsxWorkbook::FromFile(path);
  EXPECT_EQ(again->WorksheetCount(), 5);
  EXPECT_EQ(testing::ReadFile(path).size() / 1000, once.size() / 1000); // the pictures replaced, not added

  // The same worksheet with pictures of another program's.
  const fs::path user = folder / "user.xlsx";
  auto shipped = XlsxWorkbook::FromFile(VONTRALEK_SHIPPED_WORKBOOK);
  shipped->PutPictureSheet("diagrams", "USER", {{once.substr(0, 0), 10, 10, 0, 0, "USER chart"}});
  shipped->SaveAs(user);
  const std::string before = testing::ReadFile(user);
  EXPECT_THAT([&] { RunBatch(user); }, ::testing::ThrowsMessage<RunError>(::testing::HasSubstr(
                                           "worksheet \"Diagrams\" that this program did not write")));
  EXPECT_EQ(testing::ReadFile(user), before);
}

} // namespace
} // namespace vontralek
