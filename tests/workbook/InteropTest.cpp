// Other programs read what this layer writes: LibreOffice loads it without
// losing values or the sub- and superscripts, openpyxl reads the values; a
// legacy .xls goes through LibreOffice and back; an .xlsx never starts it.

#include <gtest/gtest.h>
#include <pugixml.hpp>

#include <cstdlib>
#include <sys/stat.h>

#include "TestPackages.h"
#include "model/Errors.h"
#include "workbook/XlsxWorkbook.h"

namespace vontralek::workbook {
namespace {

namespace fs = std::filesystem;
using test::RunCommand;

bool HaveOffice() { return RunCommand("command -v soffice >/dev/null 2>&1").first == 0; }

// soffice --convert-to with a private profile, so that tests may run side by side.
fs::path OfficeConvert(const fs::path& input, const std::string& filter, const std::string& extension,
                       const fs::path& outDir) {
  fs::create_directories(outDir);
  const std::string command = "soffice -env:UserInstallation=file://" + (outDir / "profile").string() +
                              " --headless --norestore --convert-to '" + filter + "' --outdir '" + outDir.string() +
                              "' '" + input.string() + "' >/dev/null 2>&1";
  EXPECT_EQ(RunCommand(command).first, 0) << command;
  return outDir / (input.stem().string() + extension);
}

// The runs of the strings of a package (shared strings and inline strings of
// every sheet) as "text|vertAlign" per run, one string per entry.
std::vector<std::vector<std::string>> RichStrings(const fs::path& path) {
  std::vector<std::vector<std::string>> result;
  for (const auto& [name, data] : test::UnzipParts(test::ReadBytes(path))) {
    if (name != "xl/sharedStrings.xml" && name.rfind("xl/worksheets/", 0) != 0) continue;
    pugi::xml_document doc;
    doc.load_string(data.c_str(), pugi::parse_default | pugi::parse_ws_pcdata_single);
    for (pugi::xpath_node container : doc.select_nodes("//*[local-name()='si' or local-name()='is']")) {
      std::vector<std::string> runs;
      for (pugi::xml_node r : container.node().children()) {
        if (std::string_view(r.name()) != "r") continue;
        std::string align;
        for (pugi::xml_node p : r.child("rPr").children()) {
          if (std::string_view(p.name()) == "vertAlign") align = p.attribute("val").value();
        }
        runs.push_back(std::string(r.child_value("t")) + "|" + align);
      }
      if (!runs.empty()) result.push_back(runs);
    }
  }
  return result;
}

bool HasRuns(const fs::path& path, const std::vector<std::string>& expected) {
  for (const auto& runs : RichStrings(path)) {
    // LibreOffice may leave out an unformatted trailing run's empty rPr, so
    // plain runs are compared by text and alignment only.
    if (runs == expected) return true;
  }
  return false;
}

// The workbook every interop test writes: numbers of every kind, texts with
// blanks, the rich headings, a formula replaced by a constant, sheet 2 shown.
void WriteResults(Workbook& book) {
  Worksheet& main = book.Worksheets(1);
  main.SetText(4, 1, "[CO32-]");
  main.SetSubscript(4, 1, 4, 1);
  main.SetSuperscript(4, 1, 5, 2);
  main.SetText(4, 16, "pCO2");
  main.SetSubscript(4, 16, 4, 1);
  main.SetNumber(5, 16, 0.1);
  main.SetNumber(5, 10, 1.0 / 3.0);
  main.SetNumber(7, 1, -2.5e-300); // was the formula =A5*2
  Worksheet& batch = book.Worksheets(2);
  batch.SetText(1, 2, " pH ");
  batch.SetText(1, 3, "Alk/meq/L");
  for (int r = 2; r <= 4; ++r) {
    for (int c = 11; c <= 79; ++c) batch.SetNumber(r, c, r * 1000 + c + 0.25);
  }
  book.Activate(2);
}

TEST(Interop, LibreOfficeLoadsTheWrittenWorkbook) {
  if (!HaveOffice()) GTEST_SKIP() << "LibreOffice is not installed";
  const auto folder = test::TestFolder("interop-lo");
  const fs::path path = folder / "results.xlsx";
  test::MakeStyledWorkbook(path);
  {
    auto book = OpenWorkbook(path);
    WriteResults(*book);
    book->Save();
  }
  const fs::path converted = OfficeConvert(path, "xlsx", ".xlsx", folder / "lo");
  ASSERT_TRUE(fs::exists(converted));
  auto reread = XlsxWorkbook::FromFile(converted);
  EXPECT_EQ(reread->Worksheets(1).NumberValue(5, 16), 0.1);
  // LibreOffice keeps 15 significant digits of a number it writes out.
  EXPECT_NEAR(reread->Worksheets(1).NumberValue(5, 10), 1.0 / 3.0, 1e-15);
  EXPECT_EQ(reread->Worksheets(1).NumberValue(7, 1), -2.5e-300);
  EXPECT_EQ(reread->Worksheets(1).NumberValue(5, 1), 7.25); // untouched input
  EXPECT_TRUE(reread->Worksheets(1).Value(4, 1).EqualsText("[CO32-]"));
  EXPECT_TRUE(reread->Worksheets(2).Value(1, 2).EqualsText(" pH "));
  EXPECT_EQ(reread->Worksheets(2).NumberValue(4, 79), 4079.25);
  EXPECT_EQ(reread->Worksheets(5).Name(), "Notes");
  EXPECT_TRUE(HasRuns(converted, {"[CO|", "3|subscript", "2-|superscript", "]|"}));
  EXPECT_TRUE(HasRuns(converted, {"pCO|", "2|subscript"}));
  // The shown sheet survives too.
  pugi::xml_document workbook;
  workbook.load_string(test::UnzipParts(test::ReadBytes(converted)).at("xl/workbook.xml").c_str());
  EXPECT_STREQ(workbook.select_node("//workbookView").node().attribute("activeTab").value(), "1");
}

TEST(Interop, OpenpyxlReadsTheWrittenWorkbook) {
  if (RunCommand("/usr/bin/python3 -c 'import openpyxl' 2>/dev/null").first != 0) {
    GTEST_SKIP() << "python3-openpyxl is not installed";
  }
  const auto folder = test::TestFolder("interop-openpyxl");
  const fs::path path = folder / "results.xlsx";
  test::MakeStyledWorkbook(path);
  {
    auto book = OpenWorkbook(path);
    WriteResults(*book);
    book->Save();
  }
  const std::string script =
      "import openpyxl\n"
      "wb = openpyxl.load_workbook('" +
      path.string() +
      "')\n"
      "m, b = wb.worksheets[0], wb.worksheets[1]\n"
      "for v in (m['P5'].value, m['J5'].value, m['A7'].value, m['A4'].value, m['P4'].value, b['B1'].value,\n"
      "          b['CA4'].value, b['A2'].value, wb.active.title, len(wb.worksheets)):\n"
      "    print(repr(v))\n";
  test::WriteBytes(folder / "read.py", script);
  const auto [status, output] = RunCommand("/usr/bin/python3 '" + (folder / "read.py").string() + "' 2>&1");
  ASSERT_EQ(status, 0) << output;
  // repr of the doubles is Python's shortest round-trip form.
  EXPECT_EQ(output, "0.1\n0.3333333333333333\n-2.5e-300\n'[CO32-]'\n'pCO2'\n' pH '\n4079.25\n'W1'\n'Batch'\n5\n");
  // openpyxl 3.0 drops rich-text runs, so the runs are read from the sheet XML.
  EXPECT_TRUE(HasRuns(path, {"[CO|", "3|subscript", "2-|superscript", "]|"}));
}

// A workbook in a format LibreOffice converts: made from the styled .xlsx,
// opened, written, saved in its own format in place, then checked through a
// conversion back to .xlsx.
void RoundTripThroughOffice(const std::string& name, const std::string& filter, const std::string& extension,
                            const std::string& signature) {
  const auto folder = test::TestFolder("interop-" + name);
  test::MakeStyledWorkbook(folder / "source.xlsx");
  const fs::path made = OfficeConvert(folder / "source.xlsx", filter, extension, folder / "made");
  ASSERT_TRUE(fs::exists(made));
  const fs::path path = folder / ("VONTRALEK" + extension);
  fs::rename(made, path);
  {
    auto book = OpenWorkbook(path);
    EXPECT_EQ(book->Worksheets(1).NumberValue(5, 1), 7.25);
    WriteResults(*book);
    book->Save();
  }
  // Still the same format, in place of the original.
  EXPECT_NE(test::ReadBytes(path).find(signature), std::string::npos);
  const fs::path back = OfficeConvert(path, "xlsx", ".xlsx", folder / "check");
  auto reread = XlsxWorkbook::FromFile(back);
  EXPECT_EQ(reread->Worksheets(1).NumberValue(5, 16), 0.1);
  EXPECT_NEAR(reread->Worksheets(1).NumberValue(5, 10), 1.0 / 3.0, 1e-15); // 15 digits, as above
  EXPECT_EQ(reread->Worksheets(2).NumberValue(3, 40), 3040.25);
  EXPECT_TRUE(reread->Worksheets(2).Value(1, 3).EqualsText("Alk/meq/L"));
  EXPECT_TRUE(HasRuns(back, {"[CO|", "3|subscript", "2-|superscript", "]|"}));
  EXPECT_TRUE(HasRuns(back, {"pCO|", "2|subscript"}));
}

TEST(Interop, XlsRoundTripThroughLibreOfficeKeepsNumbersAndScripts) {
  if (!HaveOffice()) GTEST_SKIP() << "LibreOffice is not installed";
  RoundTripThroughOffice("xls", "xls:MS Excel 97", ".xls", std::string("\xD0\xCF\x11\xE0", 4)); // OLE file
}

TEST(Interop, OdsRoundTripThroughLibreOfficeKeepsNumbersAndScripts) {
  if (!HaveOffice()) GTEST_SKIP() << "LibreOffice is not installed";
  RoundTripThroughOffice("ods", "ods", ".ods", "application/vnd.oasis.opendocument.spreadsheet");
}

// PATH is replaced for the scope of a test.
class PathOverride {
public:
  explicit PathOverride(const fs::path& dir) : old_(std::getenv("PATH") ? std::getenv("PATH") : "") {
    ::setenv("PATH", dir.c_str(), 1);
  }
  ~PathOverride() { ::setenv("PATH", old_.c_str(), 1); }

private:
  std::string old_;
};

TEST(Interop, WithoutLibreOfficeAnXlsIsRefusedWithAdvice) {
  const auto folder = test::TestFolder("interop-nooffice");
  fs::create_directories(folder / "bin");
  test::WriteBytes(folder / "book.xls", std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) + std::string(504, '\0'));
  PathOverride path(folder / "bin");
  try {
    OpenWorkbook(folder / "book.xls");
    FAIL() << "opened";
  } catch (const WorkbookError& e) {
    const std::string message = e.what();
    EXPECT_NE(message.find("LibreOffice"), std::string::npos) << message;
    EXPECT_NE(message.find(".xlsx"), std::string::npos) << message;
    EXPECT_NE(message.find("book.xls"), std::string::npos) << message;
  }
}

TEST(Interop, OpeningAnXlsxNeverStartsLibreOffice) {
  const auto folder = test::TestFolder("interop-fake");
  fs::create_directories(folder / "bin");
  const fs::path marker = folder / "started";
  const fs::path fake = folder / "bin" / "soffice";
  test::WriteBytes(fake, "#!/bin/sh\n/usr/bin/touch '" + marker.string() + "'\nexit 1\n");
  ::chmod(fake.c_str(), 0755);
  test::MakeStyledWorkbook(folder / "book.xlsx");
  PathOverride path(folder / "bin");
  auto book = OpenWorkbook(folder / "book.xlsx");
  book->Worksheets(2).SetNumber(2, 11, 1.0);
  book->Save();
  EXPECT_FALSE(fs::exists(marker));
  // The stand-in does get started for an .xls, so its silence above means something.
  test::WriteBytes(folder / "book.xls", "not really");
  EXPECT_THROW(OpenWorkbook(folder / "book.xls"), WorkbookError);
  EXPECT_TRUE(fs::exists(marker));
  EXPECT_EQ(test::ReadBytes(folder / "book.xls"), "not really");
}

} // namespace
} // namespace vontralek::workbook
