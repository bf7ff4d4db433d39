#include <gtest/gtest.h>

#include <array>
#include <fstream>
#include <iterator>
#include <string>

#include "TestWorkbooks.h"
#include "run/Run.h"
#include "workbook/MemoryWorkbook.h"

namespace vontralek {
namespace {

using workbook::CellValue;
using workbook::MemoryWorkbook;

std::string Bytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Four batch samples (spring, recharge, seawater, spring from
// data/example-waters.csv) and the Main-sheet sample of the spring.
MemoryWorkbook SampleWorkbook() {
  MemoryWorkbook wb;
  testing::FillDefaultParameters(wb);
  const std::array<std::array<double, 9>, 3> waters = {{
      {6.8, 0.895, 0.259, 0.04, 0.26, 0.071, 0.03, 0, 0.025},
      {7.55, 4.07674, 0.0199395, 0.0199395, 1.19637, 1.00695, 0.0199395, 0, 0.159516},
      {8.22, 2.37541, 479.15, 10.4425, 10.5241, 54.372, 558.433, 0.004785, 28.8817},
  }};
  for (int k = 1; k <= 4; ++k) {
    const auto& w = waters[static_cast<std::size_t>((k - 1) % 3)];
    std::string marker = "S";
    marker += std::to_string(k);
    wb.Sheet(2).Put(k + 1, 1, CellValue::Text(marker));
    for (int c = 2; c <= 10; ++c) wb.Sheet(2).Put(k + 1, c, CellValue::Number(w[static_cast<std::size_t>(c - 2)]));
  }
  for (int c = 1; c <= 9; ++c) wb.Sheet(1).Put(5, c, CellValue::Number(waters[0][static_cast<std::size_t>(c - 1)]));
  return wb;
}

TEST(RunWorkbook, AnErrorKeepsAndSavesTheEarlierSamplesAndNeverWritesTheInputs) {
  const auto folder = testing::TestFolder("run_error_saves");
  const auto path = folder / "batch.xlsx";
  MemoryWorkbook source = SampleWorkbook();
  source.Sheet(2).Put(4, 6, CellValue::Text("ND")); // F4: calcium of sample 3
  testing::WriteXlsx(path, source);

  // The same run over the in-memory copy gives the numbers the file must hold.
  MemoryWorkbook expected = SampleWorkbook();
  expected.Sheet(2).Put(4, 6, CellValue::Text("ND"));
  ModelState memoryState;
  memoryState.SheetMode = "B";
  memoryState.InputPair = "A";
  EXPECT_THROW(RunCalculation(memoryState, expected, nullptr), RunError);

  ModelState state;
  RunRequest request;
  request.workbookPath = path;
  request.sheetMode = "B";
  request.inputPair = "A";
  try {
    RunWorkbook(state, request, nullptr);
    FAIL() << "the upper-case ND must stop the batch";
  } catch (const RunError& e) {
    const std::string message = e.what();
    EXPECT_NE(message.find("F4"), std::string::npos) << message;
    EXPECT_NE(message.find("Samples 1 to 2 (rows 2 to 3) were calculated and saved to " + path.string()),
              std::string::npos)
        << message;
    EXPECT_NE(message.find("samples 3 to 4 (rows 4 to 5) were not"), std::string::npos) << message;
  }

  auto saved = workbook::OpenWorkbook(path);
  auto& batch = saved->Worksheets(2);
  // Rows 2 and 3 hold their 69 results, bit for bit as computed.
  for (int row = 2; row <= 3; ++row) {
    for (int column = 11; column <= 79; ++column) {
      const CellValue want = expected.Sheet(2).Value(row, column);
      const CellValue got = batch.Value(row, column);
      ASSERT_EQ(got.kind, want.kind) << workbook::CellAddress(row, column);
      EXPECT_EQ(got.number, want.number) << workbook::CellAddress(row, column);
      EXPECT_EQ(got.text, want.text) << workbook::CellAddress(row, column);
    }
  }
  // Rows 4 and 5 were not reached.
  for (int row = 4; row <= 5; ++row) EXPECT_TRUE(batch.Value(row, 11).IsEmpty()) << row;
  // Every input cell is as it was; the headings are the run's.
  for (const auto& [cell, value] : source.Sheet(2).Cells()) {
    const CellValue got = batch.Value(cell.first, cell.second);
    EXPECT_EQ(got.kind, value.kind) << workbook::CellAddress(cell.first, cell.second);
    EXPECT_EQ(got.number, value.number);
    EXPECT_EQ(got.text, value.text);
  }
  EXPECT_TRUE(batch.Value(1, 2).EqualsText("pH"));
  EXPECT_TRUE(batch.Value(1, 3).EqualsText("Alk/meq/L"));
}

TEST(RunWorkbook, OutputFileLeavesTheInputUntouched) {
  const auto folder = testing::TestFolder("run_output");
  const auto input = folder / "input.xlsx";
  const auto output = folder / "output.xlsx";
  MemoryWorkbook source = SampleWorkbook();
  testing::WriteXlsx(input, source);
  const std::string before = Bytes(input);

  ModelState state;
  RunRequest request;
  request.workbookPath = input;
  request.outputPath = output;
  request.sheetMode = "A";
  request.inputPair = "A";
  const RunSummary summary = RunWorkbook(state, request, nullptr);
  EXPECT_EQ(summary.samplesDone, 1);
  EXPECT_EQ(Bytes(input), before);

  auto result = workbook::OpenWorkbook(output);
  auto& main = result->Worksheets(1);
  EXPECT_TRUE(main.Value(4, 16).EqualsText("pCO2"));
  EXPECT_EQ(main.Value(5, 16).number, state.PCO2);
  EXPECT_EQ(main.Value(5, 18).number, state.IonicStrength * 1000);
  EXPECT_EQ(main.Value(5, 17).number, state.AuxTable[11].WeightedSum);
  EXPECT_EQ(main.Value(5, 1).number, 6.8); // input kept
}

TEST(RunWorkbook, AMissingWorkbookIsARunErrorThatCreatesNothing) {
  const auto folder = testing::TestFolder("run_missing");
  ModelState state;
  RunRequest request;
  request.workbookPath = folder / "absent.xlsx";
  request.outputPath = folder / "out.xlsx";
  try {
    RunWorkbook(state, request, nullptr);
    FAIL();
  } catch (const RunError& e) {
    EXPECT_NE(std::string(e.what()).find("absent.xlsx"), std::string::npos) << e.what();
    EXPECT_NE(std::string(e.what()).find("Nothing was calculated"), std::string::npos) << e.what();
  }
  EXPECT_FALSE(std::filesystem::exists(folder / "out.xlsx"));
}

TEST(DefaultWorkbookPath, PrefersTheXlsWorkbookThenTheXlsx) {
  const auto folder = testing::TestFolder("default_path");
  try {
    DefaultWorkbookPath(folder);
    FAIL();
  } catch (const RunError& e) {
    const std::string message = e.what();
    EXPECT_NE(message.find(folder.string()), std::string::npos) << message;
    EXPECT_NE(message.find("VONTRALEK.xls "), std::string::npos) << message;
    EXPECT_NE(message.find("VONTRALEK.xlsx"), std::string::npos) << message;
  }
  std::ofstream(folder / "VONTRALEK.xlsx") << "x";
  EXPECT_EQ(DefaultWorkbookPath(folder), folder / "VONTRALEK.xlsx");
  std::ofstream(folder / "VONTRALEK.xls") << "x";
  EXPECT_EQ(DefaultWorkbookPath(folder), folder / "VONTRALEK.xls");
}

} // namespace
} // namespace vontralek
