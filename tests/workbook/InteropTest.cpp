// openpyxl and LibreOffice read what this layer writes; a legacy .xls goes through LibreOffice and back.

#include <gtest/gtest.h>
#include <pugixml.hpp>

#include <cstdlib>

#include "TestPackages.h"
#include "workbook/XlsxWorkbook.h"

namespace vontralek::workbook {
namespace {

namespace fs = std::filesystem;

// soffice --convert-to with a private profile, so that tests may run side by side.
fs::path Convert(const fs::path& input, const std::string& filter, const std::string& extension, const fs::path& dir) {
  const std::string command = "soffice -env:UserInstallation=file://" + (dir / "profile").string() +
                              " --headless --norestore --convert-to '" + filter + "' --outdir '" + dir.string() +
                              "' '" + input.string() + "' >/dev/null 2>&1";
  EXPECT_EQ(std::system(command.c_str()), 0) << command;
  return dir / (input.stem().string() + extension);
}

// Whether a string of the package (shared or inline) has exactly these runs, each "text|vertAlign".
bool HasRuns(const fs::path& path, const std::vector<std::string>& expected) {
  for (const auto& [name, data] : test::UnzipParts(test::ReadBytes(path))) {
    pugi::xml_document doc;
    if ((name != "xl/sharedStrings.xml" && name.rfind("xl/worksheets/", 0) != 0) ||
        !doc.load_string(data.c_str(), pugi::parse_default | pugi::parse_ws_pcdata_single))
      continue;
    for (pugi::xpath_node string : doc.select_nodes("//*[local-name()='si' or local-name()='is']")) {
      std::vector<std::string> runs;
      for (pugi::xml_node r : string.node().children("r"))
        runs.push_back(std::string(r.child_value("t")) + "|" +
                       r.child("rPr").child("vertAlign").attribute("val").value());
      if (runs == expected) return true;
    }
  }
  return false;
}

// Numbers of every kind, texts with blanks, rich headings, a formula replaced, sheet 2 shown.
void WriteResults(std::unique_ptr<Workbook> book) {
  Worksheet& main = book->Worksheets(1);
  main.SetText(4, 1, "[CO32-]");
  main.SetSubscript(4, 1, 4, 1);
  main.SetSuperscript(4, 1, 5, 2);
  main.SetText(4, 16, "pCO2");
  main.SetSubscript(4, 16, 4, 1);
  main.SetNumber(5, 16, 0.1);
  main.SetNumber(5, 10, 1.0 / 3.0);
  main.SetNumber(7, 1, -2.5e-300); // was the formula =A5*2
  book->Worksheets(2).SetText(1, 2, " pH ");
  for (int r = 2; r <= 4; ++r)
    for (int c = 11; c <= 79; ++c) book->Worksheets(2).SetNumber(r, c, r * 1000 + c + 0.25);
  book->Activate(2);
  book->Save();
}

TEST(Interop, OpenpyxlAndLibreOfficeReadWhatWasWrittenInXlsxAndXls) {
  if (std::system("/usr/bin/python3 -c 'import openpyxl' 2>/dev/null && command -v soffice >/dev/null") != 0)
    GTEST_SKIP() << "needs python3-openpyxl and LibreOffice";
  const auto folder = test::TestFolder("interop");
  const fs::path path = folder / "results.xlsx", xls = folder / "VONTRALEK.xls";
  test::MakeStyledWorkbook(path);
  fs::rename(Convert(path, "xls:MS Excel 97", ".xls", folder / "made"), xls); // a legacy workbook as the user has it
  EXPECT_EQ(OpenWorkbook(xls)->Worksheets(1).NumberValue(5, 1), 7.25);
  // The .xlsx with its sheets edited as streams of rows, as a large batch is.
  WriteResults(XlsxWorkbook::FromBytes(test::ReadBytes(path), path, {.streamFromSize = 0}));
  WriteResults(OpenWorkbook(xls));
  const std::string script = "import openpyxl\nwb = openpyxl.load_workbook('" + path.string() +
                             "')\nm, b = wb.worksheets[0], wb.worksheets[1]\nfor v in (m['P5'].value, m['J5'].value, "
                             "m['A7'].value, m['A4'].value, m['P4'].value, b['B1'].value, b['CA4'].value, "
                             "b['A2'].value, wb.active.title): print(repr(v))";
  const fs::path out = folder / "out.txt";
  ASSERT_EQ(std::system(("/usr/bin/python3 -c \"" + script + "\" >'" + out.string() + "' 2>&1").c_str()), 0)
      << test::ReadBytes(out);
  // repr of a double is Python's shortest round-trip form.
  EXPECT_EQ(test::ReadBytes(out),
            "0.1\n0.3333333333333333\n-2.5e-300\n'[CO32-]'\n'pCO2'\n' pH '\n4079.25\n'W1'\n'Batch'\n");
  // LibreOffice reads it too (its first sheet as CSV; J5 is formatted "0.000").
  const fs::path csv = Convert(path, "csv", ".csv", folder / "csv");
  EXPECT_NE(test::ReadBytes(csv).find("0.333"), std::string::npos) << test::ReadBytes(csv);
  EXPECT_EQ(test::ReadBytes(xls).substr(0, 4), "\xD0\xCF\x11\xE0"); // still an .xls (OLE file) in place
  // What LibreOffice makes of the written .xls, read back by this layer.
  const fs::path back = Convert(xls, "xlsx", ".xlsx", folder / "check");
  ASSERT_TRUE(fs::exists(back));
  auto reread = XlsxWorkbook::FromFile(back);
  EXPECT_EQ(reread->Worksheets(1).NumberValue(5, 16), 0.1);
  EXPECT_NEAR(reread->Worksheets(1).NumberValue(5, 10), 1.0 / 3.0, 1e-15); // LibreOffice keeps 15 digits
  EXPECT_EQ(reread->Worksheets(1).NumberValue(7, 1), -2.5e-300);
  EXPECT_EQ(reread->Worksheets(1).NumberValue(5, 1), 7.25); // untouched input
  EXPECT_TRUE(reread->Worksheets(2).Value(1, 2).EqualsText(" pH "));
  EXPECT_EQ(reread->Worksheets(2).NumberValue(4, 79), 4079.25);
  EXPECT_TRUE(HasRuns(back, {"[CO|", "3|subscript", "2-|superscript", "]|"}));
  EXPECT_TRUE(HasRuns(back, {"pCO|", "2|subscript"}));
}

} // namespace
} // namespace vontralek::workbook
