#include <gmock/gmock.h>

#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <fstream>
#include <sstream>

#include "TestSupport.h"
#include "cli/Cli.h"
#include "run/Run.h"

namespace vontralek {
namespace {

using namespace testing;
using ::testing::HasSubstr;
using Args = std::vector<std::string>;
namespace fs = std::filesystem;

// Two waters of data/example-waters.csv (Sierra Nevada spring, Madison recharge), the second with Ca "x"; the spring
// again at pH 10.5 with 0.2 meq/L: hydroxide alone (Kw / 10^-10.5 = 0.32 meq/L) exceeds the alkalinity, no speciation.
constexpr const char* kTable = "sample,pH,alkalinity_meq_L,Na_mmol_L,K_mmol_L,Ca_mmol_L,Mg_mmol_L,Cl_mmol_L,"
                               "NO3_mmol_L,SO4_mmol_L\r\n"
                               "SN2,6.8,0.895,0.259,0.04,0.26,0.071,0.03,0,0.025\r\n"
                               "MR,7.55,4.07674,0.0199395,0.0199395,x,1.00695,0.0199395,0,0.159516\r\n"
                               "SN2,10.5,0.2,0.259,0.04,0.26,0.071,0.03,0,0.025\r\n";

// The spring on the Main sheet and as Batch samples 1 to 3.
MemoryWorkbook SpringBook() {
  MemoryWorkbook wb = BatchBook({kSpring, kSpring, kSpring});
  PutAnalysis(wb.Sheet(1), 5, 1, kSpring);
  return wb;
}

// Batch and Main change places, names and all.
struct MovedTabs : MemoryWorkbook {
  workbook::Worksheet& Worksheets(int n) override { return MemoryWorkbook::Worksheets(n <= 2 ? 3 - n : n); }
};

// Exit status 0 success, 1 a run error, 2 a usage error. The workbook: the spring on the Main sheet, the
// spring, recharge water, seawater and spring as Batch samples 1 to 4, and "ND" for the calcium of sample
// 3 (F4): only the exact "nd" marks an ion not determined, so the batch stops there. All at 10 °C (E29).
// The table: on standard input or from a file, CRLF read, LF written, the bad row named.
TEST(Cli, ExitStatusesAndRunsThatLeaveTheInputUntouched) {
  MemoryWorkbook wb = SpringBook(), emptyPH = SpringBook();
  PutAnalysis(wb.Sheet(2), 3, 2, kRecharge);
  PutAnalysis(wb.Sheet(2), 4, 2, kSeawater);
  wb.Sheet(2).Put(5, 1, Num(4));
  PutAnalysis(wb.Sheet(2), 5, 2, kSpring);
  wb.Sheet(2).Put(4, 6, Text("ND"));
  wb.Sheet(4).Put(29, 5, Num(10)); // E29: every sample at 10 °C, named in the summary
  emptyPH.Sheet(1).Put(5, 1, {});
  MovedTabs movedTabs;
  FillDefaultParameters(movedTabs);
  const fs::path folder = EmptyFolder("cli");
  const std::string in = folder / "in.xlsx", batch = folder / "batch.xlsx", main = folder / "main.xlsx";
  const std::string csv = folder / "in.CSV", kept = folder / "kept.csv", stopped = folder / "stopped.csv";
  const std::string linked = folder / "linked.xlsx", empty = folder / "empty.xlsx", tabs = folder / "tabs.xlsx";
  WriteXlsx(in, wb);
  WriteXlsx(linked, wb);
  fs::create_hard_link(linked, folder / "other-name.xlsx");
  WriteXlsx(empty, emptyPH);
  WriteXlsx(tabs, movedTabs);
  std::ofstream(csv, std::ios::binary) << kTable;
  // E29 = -0 and 5e-324 °C (both in 0 to 100): the summary reads "0 °C", never "-0" or a denormal.
  for (const auto& [name, celsius] : {std::pair{"zero.xlsx", -0.0}, {"tiny.xlsx", 5e-324}}) {
    MemoryWorkbook z = SpringBook();
    z.Sheet(4).Put(29, 5, Num(celsius));
    WriteXlsx(folder / name, z);
  }
  // Arguments, exit status, texts on standard output after a success, else on the error stream.
  // clang-format off
  const std::tuple<Args, int, Args> cases[] = {
      {{"--sheet", "batch", "--output", batch, in}, 1, {"Batch sample 3 (row 4", "F4", "\"ND\"", "marked \"nd\", in lower case",
        "Samples 1 to 2 (rows 2 to 3) were calculated and saved to " + batch, "samples 3 to 4 (rows 4 to 5) were not"}},
      // Sample 3 gets its reason in CE, the batch goes on; the summary on standard output.
      {{"--sheet", "batch", "--keep-going", "-o", folder / "kept.xlsx", in}, 1, {"3 samples calculated, 1 failed", "first failing rows: 4."}},
      {{"--pair=carbonate", "-o", main, in}, 0, {"Main sheet: 1 sample calculated", "Ionic strength", "mmol/L", "Temperature     10 °C (worksheet 4, E29)"}},
      {{"--model", "ion-association", "--extras", "-o", folder / "ia.xlsx", in}, 0, {"SI calcite", "Charge balance", "ion association"}},
      {{"--model", "phreeqc", in}, 2, {"--model"}},
      {{"--sheet", "main", "-o", folder / "z.xlsx", folder / "zero.xlsx"}, 0, {"Temperature     0 °C (worksheet 4, E29)"}},
      {{"--sheet", "main", "-o", folder / "z.xlsx", folder / "tiny.xlsx"}, 0, {"Temperature     0 °C (worksheet 4, E29)"}},
      // The help from the option definitions: every option, then the settings and exit statuses.
      {{"--help"}, 0, {"--sheet main|batch", "--pair", "--output", "--model", "--extras", "--keep-going", "--csv", "--constants",
        "--below-limit", "--threads", "--quiet", "--raw-text", "--version", "E26 When a sample fails", "Exit status", "ion association (default)"}},
      {{folder / "none.xlsx"}, 1, {"none.xlsx"}}, {{"--pair", "alkalinity"}, 2, {"--help"}},
      {{}, 1, {folder.string(), "VONTRALEK.xlsx"}}, // no default workbook beside the program
      {{"--output", in, in}, 2, {"--output names the input workbook"}},
      // Saved in the workbook's own format only: an .xls name on .xlsx content would lie.
      {{"--output", folder / "out.xls", in}, 1, {"extension .xlsx", "Nothing was calculated"}},
      {{"--csv", "-", "--keep-going", "--threads", "2"}, 1, {"\nSN2,6.8,0.895,", "standard input line 3, column 6 (Ca_mmol_L)"}},
      {{csv, "-o", kept, "--keep-going", "--threads", "2"}, 1, {}},
      {{csv, "-o", stopped}, 1, {csv + " line 3, column 6 (Ca_mmol_L)"}},
      {{"-"}, 2, {"--csv"}}, {{"--csv", "-", "--threads", "0"}, 2, {}}, {{"--csv", "-", "--model", "best"}, 2, {}},
      {{in, "--constants", "other.xlsx"}, 2, {}}, // a workbook run takes its own constants
      {{"--csv", "-", "--decimal-comma"}, 2, {"--decimal-comma needs --delimiter ';'"}},
      {{"--csv", "-", "--delimiter", "\\t"}, 2, {"--delimiter takes ',' or ';'"}},
      {{in, "--delimiter", ";"}, 2, {"apply to a table"}},
      // Refused before the first sample: the file keeps every byte.
      {{linked}, 1, {"hard links", "Nothing was calculated"}}, // saving would split the links
      {{empty}, 1, {"A5 is empty", "pH", "Nothing was calculated and the workbook was not changed"}},
      {{"--sheet", "batch", tabs}, 1, {"worksheet 1 is named \"Batch\"", "Nothing was calculated"}}};
  // clang-format on
  for (const auto& [args, status, texts] : cases) {
    const bool existed = !args.empty() && fs::exists(args.back());
    const std::string before = existed ? ReadFile(args.back()) : "";
    std::istringstream input(kTable);
    std::ostringstream out, err;
    EXPECT_EQ(cli::RunCli(args, out, err, {folder, false, nullptr, &input}), status)
        << ::testing::PrintToString(args) << err.str();
    for (const std::string& text : texts) EXPECT_THAT(out.str() + err.str(), HasSubstr(text));
    EXPECT_EQ(existed ? ReadFile(args.back()) : "", before) << args.back();
  }
  EXPECT_FALSE(fs::exists(folder / "out.xls"));
  EXPECT_TRUE(Get(workbook::OpenWorkbook(main)->Worksheets(1), "A4").EqualsText("[CO32-]")); // the carbonate pair
  const auto keptBook = workbook::OpenWorkbook(folder / "kept.xlsx");
  EXPECT_THAT(Get(keptBook->Worksheets(2), "CE4").text, HasSubstr("F4"));
  NumberIn(keptBook->Worksheets(2), "K5");
  NumberIn(workbook::OpenWorkbook(folder / "ia.xlsx")->Worksheets(1), "S5"); // --extras: SI calcite
  // The stopped batch saved rows 2 and 3; rows 4 and 5 were not reached.
  const auto saved = workbook::OpenWorkbook(batch);
  NumberIn(saved->Worksheets(2), "K3");
  ExpectCells(saved->Worksheets(2), {{At("F4"), Text("ND")}, {At("K4"), {}}, {At("K5"), {}}});
  // The table's rows with their reasons, and the provenance beside them; stopped, the row before the bad one.
  const std::string table = ReadFile(kept), partial = ReadFile(stopped);
  EXPECT_EQ(std::count(table.begin(), table.end(), '\n'), 4);
  // A failed row: its inputs, 72 empty result fields (68 results, 4 extra) and its reason.
  EXPECT_THAT(table, AllOf(HasSubstr(",0.159516" + std::string(73, ',') + "\"" + csv + " line 3, column 6"),
                           HasSubstr(csv + " line 4: the sample could not be calculated")));
  EXPECT_THAT(ReadFile(kept + ".json"), HasSubstr("\"keep_going\": true"));
  EXPECT_EQ(std::count(partial.begin(), partial.end(), '\n'), 2);
}

// A terminal's error stream on which the signal comes while sample 1's progress is drawn, as a handler notes it.
struct SignalOnProgress : std::stringbuf {
  explicit SignalOnProgress(int signal) : signal(signal) {}
  std::streamsize xsputn(const char* text, std::streamsize n) override {
    noted = signal;
    return std::stringbuf::xsputn(text, n);
  }
  int signal;
  std::atomic<int> noted{0};
};

TEST(Cli, ASignalSavesTheSamplesCalculatedSoFar) {
  const fs::path folder = EmptyFolder("signal");
  for (const int signal : {SIGINT, SIGTERM}) {
    const std::string path = folder / "batch.xlsx";
    MemoryWorkbook wb = SpringBook();
    WriteXlsx(path, wb);
    SignalOnProgress terminal(signal);
    std::ostringstream out;
    std::ostream err(&terminal);
    EXPECT_EQ(cli::RunCli({"--sheet", "batch", path}, out, err, {folder, true, &terminal.noted}), 128 + signal);
    err.flush();
    // What happened, what was saved, what became of the rest; no cause to correct.
    EXPECT_THAT(terminal.str(),
                AllOf(HasSubstr("stopped by"), HasSubstr("between two samples"),
                      HasSubstr("Sample 1 (row 2) was calculated and saved"),
                      HasSubstr("samples 2 to 3 (rows 3 to 4) were not (their result cells were emptied)"),
                      HasSubstr("Run the batch again to calculate them"), Not(HasSubstr("Correct the cause"))));
    const auto saved = workbook::OpenWorkbook(path);
    EXPECT_EQ(saved->Worksheets(2).Value(2, At("K2").second).kind, CellValue::Kind::Number);
    EXPECT_TRUE(saved->Worksheets(2).Value(3, At("K3").second).IsEmpty());
  }
}

// Two runs on one file, started together or in turn, never both report success on the same file state. One fills the
// Main sheet, the other the Batch sheet: when both succeed, the file holds both results (the second read the first's).
TEST(Cli, TwoRunsOnOneFileNeverBothSucceedOnTheSameState) {
  const fs::path folder = EmptyFolder("concurrent");
  const std::string path = folder / "shared.xlsx";
  int bothSucceeded = 0, oneRefused = 0;
  for (int attempt = 0; attempt < 12; ++attempt) {
    MemoryWorkbook wb = SpringBook();
    WriteXlsx(path, wb);
    pid_t children[2];
    for (int i = 0; i < 2; ++i) {
      children[i] = fork();
      ASSERT_GE(children[i], 0);
      if (children[i] == 0) {
        usleep(static_cast<useconds_t>((attempt * 7 + i * 13) % 20 * 1000)); // stagger the starts
        std::ostringstream out, err;
        _exit(cli::RunCli({"--sheet", i == 0 ? "main" : "batch", path}, out, err, {folder, false}));
      }
    }
    int status[2];
    for (int i = 0; i < 2; ++i) waitpid(children[i], &status[i], 0);
    const bool mainOk = WEXITSTATUS(status[0]) == 0, batchOk = WEXITSTATUS(status[1]) == 0;
    const auto saved = workbook::OpenWorkbook(path);
    const bool mainSaved = saved->Worksheets(1).Value(5, At("R5").second).kind == CellValue::Kind::Number;
    const bool batchSaved = saved->Worksheets(2).Value(2, At("K2").second).kind == CellValue::Kind::Number;
    EXPECT_EQ(std::pair(mainSaved, batchSaved), std::pair(mainOk, batchOk)) << "attempt " << attempt;
    EXPECT_TRUE(mainOk || batchOk);
    bothSucceeded += mainOk && batchOk;
    oneRefused += mainOk != batchOk;
  }
  RecordProperty("both", bothSucceeded);
  RecordProperty("refused", oneRefused);
}

} // namespace
} // namespace vontralek
