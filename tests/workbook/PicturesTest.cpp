// Pictures on a worksheet of their own in an xlsx package.

#include <gtest/gtest.h>

#include <cstdlib>

#include "TestPackages.h"
#include "common/Errors.h"
#include "diagram/Diagram.h"
#include "workbook/XlsxWorkbook.h"

namespace vontralek::workbook {
namespace {

namespace fs = std::filesystem;

std::vector<Picture> Figures(double calcium) {
  const std::vector<diagram::DiagramSample> water = {{"W", calcium, 2, 1.5, 0.5, 0.5, 0.5, 2, 5}};
  std::vector<Picture> pictures;
  for (const auto kind : {diagram::DiagramKind::Piper, diagram::DiagramKind::Schoeller})
    pictures.push_back({diagram::DrawDiagram(kind, water, diagram::ImageFormat::Png), 570, 410,
                        kind == diagram::DiagramKind::Piper ? 0 : 30, 0,
                        "VONTRALEK " + std::string(diagram::DiagramKindName(kind))});
  return pictures;
}

std::size_t Count(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// Added after the last worksheet with every other part as it was (the workbook's list of sheets, its
// relationships and the content types aside); put again, the pictures are replaced, not added; a sheet of
// the user's is never replaced, whatever the letter case of its name; LibreOffice shows both pictures
// (images in its PDF) and openpyxl opens the file.
TEST(PictureSheet, AddedThenReplacedOtherPartsUnchangedUsersSheetRefused) {
  const fs::path folder = test::TestFolder("pictures"), path = folder / "book.xlsx";
  test::MakeStyledWorkbook(path); // five worksheets and a chart: a drawing of the user's
  const std::string before = test::ReadBytes(path);
  auto book = XlsxWorkbook::FromBytes(before, path);
  EXPECT_EQ(book->PictureSheet("diagrams", "VONTRALEK"), PictureSheetState::Absent);
  EXPECT_EQ(book->PictureSheet("notes", "VONTRALEK"), PictureSheetState::Foreign);
  EXPECT_THROW(book->PutPictureSheet("NOTES", "VONTRALEK", Figures(4)), WorkbookError);
  book->PutPictureSheet("Diagrams", "VONTRALEK", Figures(4));
  const std::string once = book->SaveToBytes();
  const auto original = test::UnzipParts(before), added = test::UnzipParts(once);
  for (const auto& [name, data] : original) {
    const bool listed =
        name == "xl/workbook.xml" || name == "xl/_rels/workbook.xml.rels" || name == "[Content_Types].xml";
    EXPECT_TRUE(listed || added.at(name) == data) << name;
  }
  EXPECT_EQ(added.size(), original.size() + 6); // sheet, drawing, their relationships, two images
  EXPECT_NE(added.at("[Content_Types].xml").find("<Default Extension=\"png\" ContentType=\"image/png\"/>"),
            std::string::npos); // Excel refuses a part without its type

  auto reread = XlsxWorkbook::FromBytes(once, path);
  ASSERT_EQ(reread->WorksheetCount(), 6);
  EXPECT_EQ(reread->Worksheets(6).Name(), "Diagrams");
  EXPECT_EQ(reread->PictureSheet("DIAGRAMS", "VONTRALEK"), PictureSheetState::Ours);
  EXPECT_EQ(reread->PictureSheet("Diagrams", "OTHER"), PictureSheetState::Foreign);
  reread->PutPictureSheet("Diagrams", "VONTRALEK", Figures(8));
  const auto twice = test::UnzipParts(reread->SaveToBytes());
  EXPECT_EQ(twice.size(), added.size());
  std::size_t changed = 0;
  for (const auto& [name, data] : added) changed += twice.at(name) != data;
  EXPECT_EQ(changed, 2u); // the two images, nothing else

  test::WriteBytes(path, once);
  const std::string convert = "cd '" + folder.string() + "' && soffice -env:UserInstallation=file://" +
                              (folder / "profile").string() +
                              " --headless --norestore --convert-to pdf book.xlsx >/dev/null 2>&1";
  ASSERT_EQ(std::system(convert.c_str()), 0);
  EXPECT_GE(Count(test::ReadBytes(folder / "book.pdf"), "/Subtype/Image"), 2u);
  const std::string openpyxl = "/usr/bin/python3 -c \"import openpyxl; assert openpyxl.load_workbook('" +
                               path.string() + "').sheetnames[-1] == 'Diagrams'\" 2>/dev/null";
  EXPECT_EQ(std::system(openpyxl.c_str()), 0);
}

} // namespace
} // namespace vontralek::workbook
