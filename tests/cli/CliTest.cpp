#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <sys/wait.h>

#include "TestWorkbooks.h"
#include "cli/Cli.h"
#include "workbook/MemoryWorkbook.h"

namespace vontralek::cli {
namespace {

using workbook::CellValue;
using workbook::MemoryWorkbook;

std::string Bytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A workbook with the default parameters, the Sierra Nevada spring water
// (data/example-waters.csv) on the Main sheet and twice on the Batch sheet.
std::filesystem::path MakeWorkbook(const std::filesystem::path& path, bool upperCaseNd = false) {
  MemoryWorkbook wb;
  testing::FillDefaultParameters(wb);
  const double spring[9] = {6.8, 0.895, 0.259, 0.04, 0.26, 0.071, 0.03, 0, 0.025};
  for (int c = 1; c <= 9; ++c) wb.Sheet(1).Put(5, c, CellValue::Number(spring[c - 1]));
  for (int row = 2; row <= 3; ++row) {
    wb.Sheet(2).Put(row, 1, CellValue::Number(row - 1));
    for (int c = 2; c <= 10; ++c) wb.Sheet(2).Put(row, c, CellValue::Number(spring[c - 2]));
  }
  if (upperCaseNd) wb.Sheet(2).Put(3, 9, CellValue::Text("ND"));
  testing::WriteXlsx(path, wb);
  return path;
}

struct Outcome {
  int status;
  std::string out, err;
};

Outcome Invoke(const std::vector<std::string>& args, const std::filesystem::path& folder = ".") {
  std::ostringstream out, err;
  CliEnvironment env;
  env.programFolder = folder;
  const int status = RunCli(args, out, err, env);
  return {status, out.str(), err.str()};
}

TEST(Cli, ASingleSamplePrintsItsKeyResultsAndExitsWithZero) {
  const auto folder = vontralek::testing::TestFolder("cli_single");
  const auto input = MakeWorkbook(folder / "in.xlsx");
  const auto output = folder / "out.xlsx";
  const std::string before = Bytes(input);
  const Outcome o = Invoke({"--output", output.string(), input.string()});
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_NE(o.out.find("Main sheet: 1 sample calculated"), std::string::npos) << o.out;
  EXPECT_NE(o.out.find("pH              6.8\n"), std::string::npos) << o.out; // pair A echoes the pH
  EXPECT_NE(o.out.find("Ionic strength"), std::string::npos) << o.out;
  EXPECT_NE(o.out.find("mmol/L"), std::string::npos) << o.out;
  EXPECT_NE(o.out.find("Weighted sum"), std::string::npos) << o.out;
  // --output leaves the input as it was, byte for byte.
  EXPECT_EQ(Bytes(input), before);
  auto result = workbook::OpenWorkbook(output);
  EXPECT_TRUE(result->Worksheets(1).Value(4, 16).EqualsText("pCO2"));
  EXPECT_EQ(result->Worksheets(1).Value(5, 16).kind, CellValue::Kind::Number);
}

TEST(Cli, ABatchWritesIntoTheNamedWorkbookAndCountsItsSamples) {
  const auto folder = vontralek::testing::TestFolder("cli_batch");
  const auto input = MakeWorkbook(folder / "in.xlsx");
  const Outcome o = Invoke({"--sheet", "batch", "--pair", "ph", input.string()});
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_NE(o.out.find("Batch sheet: 2 samples calculated"), std::string::npos) << o.out;
  EXPECT_EQ(o.out.find("Weighted sum"), std::string::npos) << "key results are for a single sample only";
  EXPECT_TRUE(o.err.empty()) << "no progress bar when the error stream is not a terminal: " << o.err;
  auto result = workbook::OpenWorkbook(input);
  EXPECT_EQ(result->Worksheets(2).Value(3, 19).number, 6.8); // S3: the pH as given
}

TEST(Cli, ARunErrorExitsWithOneAndSaysWhereAndHowFar) {
  const auto folder = vontralek::testing::TestFolder("cli_error");
  const auto input = MakeWorkbook(folder / "in.xlsx", true);
  const Outcome o = Invoke({"--sheet=batch", input.string()});
  EXPECT_EQ(o.status, 1);
  EXPECT_NE(o.err.find("I3"), std::string::npos) << o.err;
  EXPECT_NE(o.err.find("Sample 1 (row 2) was calculated and saved"), std::string::npos) << o.err;
  // A workbook that does not exist, and no default workbook in the folder.
  EXPECT_EQ(Invoke({(folder / "none.xlsx").string()}).status, 1);
  const Outcome noDefault = Invoke({}, folder);
  EXPECT_EQ(noDefault.status, 1);
  EXPECT_NE(noDefault.err.find("VONTRALEK.xlsx"), std::string::npos) << noDefault.err;
}

TEST(Cli, FindsTheDefaultWorkbookInTheProgramFolder) {
  const auto folder = vontralek::testing::TestFolder("cli_default");
  MakeWorkbook(folder / "VONTRALEK.xlsx");
  const Outcome o = Invoke({"--pair", "carbonate"}, folder);
  // The spring's first two cells read as carbonate 6.8 and bicarbonate 0.895 mmol/L.
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_NE(o.out.find(folder.string() + "/VONTRALEK.xlsx"), std::string::npos) << o.out;
}

TEST(Cli, UsageErrorsExitWithTwoAndHelpAndVersionWithZero) {
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"--pair", "alkalinity"}, {"--sheet"}, {"--frobnicate"}, {"a.xlsx", "b.xlsx"}}) {
    const Outcome o = Invoke(args);
    EXPECT_EQ(o.status, 2) << args[0];
    EXPECT_NE(o.err.find("--help"), std::string::npos) << o.err;
  }
  const Outcome help = Invoke({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("--sheet main|batch"), std::string::npos);
  const Outcome version = Invoke({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out.rfind("vontralek-cli ", 0), 0u) << version.out;
  // --output naming the input itself would not leave it untouched.
  const auto folder = vontralek::testing::TestFolder("cli_same_output");
  const auto input = MakeWorkbook(folder / "in.xlsx");
  EXPECT_EQ(Invoke({"--output", input.string(), input.string()}).status, 2);
}

TEST(Cli, TheProgramReturnsTheStatusToTheShell) {
  auto status = [](const std::string& args) {
    const int raw = std::system((std::string(VONTRALEK_CLI_PROGRAM) + " " + args + " >/dev/null 2>&1").c_str());
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  };
  EXPECT_EQ(status("--help"), 0);
  EXPECT_EQ(status("--pair nonsense"), 2);
  EXPECT_EQ(status("/nonexistent/folder/w.xlsx"), 1);
}

} // namespace
} // namespace vontralek::cli
