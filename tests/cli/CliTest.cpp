#include <gmock/gmock.h>
#include <xlsxwriter.h>

#include <sstream>

#include "TestSupport.h"
#include "cli/Cli.h"
#include "run/Run.h"

namespace vontralek {
namespace {

using namespace testing;
using ::testing::HasSubstr;
using Args = std::vector<std::string>;

// Every cell of the in-memory workbook written to an .xlsx file.
void WriteXlsx(const std::string& path, MemoryWorkbook& wb) {
  lxw_workbook* book = workbook_new(path.c_str());
  for (int s = 1; s <= wb.WorksheetCount(); ++s) {
    lxw_worksheet* out = workbook_add_worksheet(book, wb.Sheet(s).Name().c_str());
    for (const auto& [cell, v] : wb.Sheet(s).Cells()) {
      const lxw_row_t row = static_cast<lxw_row_t>(cell.first - 1);
      const lxw_col_t column = static_cast<lxw_col_t>(cell.second - 1);
      if (v.kind == CellValue::Kind::Number) worksheet_write_number(out, row, column, v.number, nullptr);
      if (v.kind == CellValue::Kind::Text) worksheet_write_string(out, row, column, v.text.c_str(), nullptr);
    }
  }
  ASSERT_EQ(workbook_close(book), LXW_NO_ERROR) << path;
}

// Exit status 0 success, 1 a run error, 2 a usage error. The workbook: the spring on the Main sheet, the
// spring, recharge water, seawater and spring as Batch samples 1 to 4, and "ND" for the calcium of sample
// 3 (F4): only the exact "nd" marks an ion not determined, so the batch stops there.
TEST(Cli, ExitStatusesAndRunsThatLeaveTheInputUntouched) {
  MemoryWorkbook wb;
  FillDefaultParameters(wb);
  PutAnalysis(wb.Sheet(1), 5, 1, kSpring);
  for (int k = 1; k <= 4; ++k) {
    wb.Sheet(2).Put(k + 1, 1, Num(k));
    PutAnalysis(wb.Sheet(2), k + 1, 2, k == 2 ? kRecharge : k == 3 ? kSeawater : kSpring);
  }
  wb.Sheet(2).Put(4, 6, Text("ND"));
  const std::filesystem::path folder = std::filesystem::path(VONTRALEK_TEST_TMP) / "cli";
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  const std::string in = folder / "in.xlsx", batch = folder / "batch.xlsx", main = folder / "main.xlsx";
  WriteXlsx(in, wb);
  const auto bytes = [&] { return (std::ostringstream() << std::ifstream(in, std::ios::binary).rdbuf()).str(); };
  const std::string before = bytes();
  // Arguments, exit status, texts on standard output after a success, else on the error stream.
  // clang-format off
  const std::tuple<Args, int, Args> cases[] = {
      {{"--sheet", "batch", "--output", batch, in}, 1, {"Batch sample 3 (row 4", "F4", "\"ND\"", "marked \"nd\", in lower case",
        "Samples 1 to 2 (rows 2 to 3) were calculated and saved to " + batch, "samples 3 to 4 (rows 4 to 5) were not"}},
      {{"--pair=carbonate", "-o", main, in}, 0, {"Main sheet: 1 sample calculated", "Ionic strength", "mmol/L"}},
      {{"--help"}, 0, {"--sheet main|batch"}},
      {{folder / "none.xlsx"}, 1, {"none.xlsx"}},
      {{}, 1, {folder.string(), "VONTRALEK.xlsx"}}, // no default workbook beside the program
      {{"--pair", "alkalinity"}, 2, {"--help"}},
      {{"--output", in, in}, 2, {"--output names the input workbook"}},
      // Saved in the workbook's own format only: an .xls name on .xlsx content would lie.
      {{"--output", folder / "out.xls", in}, 1, {"extension .xlsx", "Nothing was calculated"}}};
  // clang-format on
  for (const auto& [args, status, texts] : cases) {
    std::ostringstream out, err;
    EXPECT_EQ(cli::RunCli(args, out, err, {folder, false}), status) << ::testing::PrintToString(args) << err.str();
    for (const std::string& text : texts) EXPECT_THAT((status == 0 ? out : err).str(), HasSubstr(text));
  }
  EXPECT_EQ(bytes(), before);
  EXPECT_FALSE(std::filesystem::exists(folder / "out.xls"));
  EXPECT_TRUE(workbook::OpenWorkbook(main)->Worksheets(1).Value(4, 1).EqualsText("[CO32-]")); // the carbonate pair
  // The batch saved as the same run leaves it in memory: headings, rows 2 and
  // 3, the inputs untouched; rows 4 and 5 were not reached.
  ModelState memory;
  memory.SheetMode = DataSheet::Batch;
  memory.InputPair = CarbonatePair::AlkalinityPH;
  EXPECT_THROW(RunCalculation(memory, wb, nullptr), RunError);
  const auto saved = workbook::OpenWorkbook(batch);
  ExpectCells(saved->Worksheets(2), wb.Sheet(2).Cells());
  ExpectCells(saved->Worksheets(2), {{{4, 11}, {}}, {{5, 11}, {}}});
}

} // namespace
} // namespace vontralek
