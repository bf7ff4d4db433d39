#include <gmock/gmock.h>

#include <fstream>
#include <sstream>

#include "TestSupport.h"
#include "cli/Cli.h"
#include "run/DiagramSamples.h"
#include "run/Run.h"
#include "run/TableRun.h"

namespace vontralek {
namespace {

using namespace testing; // vontralek::testing: the workbooks of the tests
using ::testing::HasSubstr;
namespace fs = std::filesystem;

// The spring of data/example-waters.csv (named S1), a row with Ca "x" and one whose hydroxide alone
// (pH 10.5) exceeds its alkalinity: the two fail and are left out of the diagrams.
constexpr const char* kTable = "sample,pH,alkalinity_meq_L,Na_mmol_L,K_mmol_L,Ca_mmol_L,Mg_mmol_L,Cl_mmol_L,"
                               "NO3_mmol_L,SO4_mmol_L\n"
                               "S1,6.8,0.895,0.259,0.04,0.26,0.071,0.03,0,0.025\n"
                               "S2,7.55,4.07674,0.02,0.02,x,1.00695,0.02,0,0.159516\n"
                               ",10.5,0.2,0.259,0.04,0.26,0.071,0.03,0,0.025\n";

// The collector gets each row in order with its ions in meq/L: mmol/L times the charge (Ca 0.26 x 2,
// SO4 0.025 x 2, Na 0.259 x 1) and the given alkalinity; failed rows marked, unnamed ones numbered.
TEST(Diagrams, TheRunHandsEveryRowsMajorIonsInMeqPerL) {
  std::istringstream in(kTable);
  std::ostringstream out;
  TableOptions options;
  options.settings.onFailure = FailurePolicy::Continue;
  options.threads = 2;
  DiagramSamples collected;
  options.collector = &collected;
  RunTable(in, "t.csv", out, options, LoadTableParameters(std::nullopt));
  const auto& s = collected.samples;
  ASSERT_EQ(s.size(), 3u);
  EXPECT_THAT(std::vector({s[0].ca, s[0].so4, s[0].na, s[0].alkalinity}),
              ::testing::Pointwise(::testing::DoubleNear(1e-12), {0.52, 0.05, 0.259, 0.895}));
  EXPECT_TRUE(s[0].name == "S1" && !s[0].failed && s[1].failed && s[2].failed);
  EXPECT_EQ(s[2].name, "3");
}

// The command line draws after a workbook batch (names from column A) and after a table; both options
// or neither, a known kind, an .svg or .png file.
TEST(Diagrams, TheCommandLineDrawsTheRunsSamples) {
  const fs::path folder = EmptyFolder("diagrams");
  MemoryWorkbook wb = BatchBook({kSpring, kSpring, kSpring});
  for (const char* name : {"A2", "A3", "A4"}) Put(wb.Sheet(2), name, Text(name));
  wb.Sheet(2).Put(3, 6, Text("ND")); // sample 2's calcium: fails
  const std::string book = folder / "b.xlsx", csv = folder / "t.csv";
  WriteXlsx(book, wb);
  // The run itself: names from column A, the failed sample marked.
  ModelState state;
  std::tie(state.SheetMode, state.InputPair) = std::tuple(DataSheet::Batch, CarbonatePair::AlkalinityPH);
  RunOptions run;
  run.onFailure = FailurePolicy::Continue;
  DiagramSamples collected;
  run.collector = &collected;
  RunCalculation(state, wb, nullptr, nullptr, run);
  ASSERT_EQ(collected.samples.size(), 3u);
  EXPECT_EQ(collected.samples[2].name, "A4");
  EXPECT_TRUE(collected.samples[1].failed && !collected.samples[2].failed);
  std::ofstream(csv) << kTable;
  const std::string svg = folder / "b.svg", png = folder / "t.PNG";
  const std::tuple<std::vector<std::string>, int, std::string> cases[] = {
      {{"--sheet", "batch", "--keep-going", "--diagram", "piper", "--diagram-out", svg, book},
       1,
       "Piper diagram of 2 samples (meq/L); 1 left out (failed or without cations or anions) written to " + svg},
      {{csv, "-o", folder / "o.csv", "--keep-going", "--diagram", "Stiff", "--diagram-out", png},
       1, // rows failed
       "Stiff diagram of 1 sample (meq/L); 2 left out"},
      {{"--diagram", "piper", book}, 2, "go together"},
      {{"--diagram", "ternary", "--diagram-out", svg, book}, 2, "use piper, stiff or schoeller"},
      {{"--diagram", "piper", "--diagram-out", folder / "d.pdf", book}, 2, "ending in .svg or .png"}};
  for (const auto& [args, status, text] : cases) {
    std::ostringstream out, err;
    EXPECT_EQ(cli::RunCli(args, out, err, {folder, false}), status) << err.str();
    EXPECT_THAT(out.str() + err.str(), HasSubstr(text));
  }
  EXPECT_THAT(ReadFile(svg), HasSubstr("<svg"));
  EXPECT_THAT(ReadFile(png).substr(0, 4), HasSubstr("PNG"));
  EXPECT_FALSE(fs::exists(folder / "d.pdf"));
}

} // namespace
} // namespace vontralek
