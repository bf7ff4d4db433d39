#include <gmock/gmock.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <regex>
#include <sstream>

#include <nlohmann/json.hpp>

#include "TestSupport.h"
#include "cli/Cli.h"
#include "cli/TableProgressBar.h"
#include "run/InputRecord.h"

namespace vontralek {
namespace {

using namespace testing;
using ::testing::AllOf, ::testing::HasSubstr, ::testing::Not;
using Args = std::vector<std::string>;
namespace fs = std::filesystem;

// The spring of data/example-waters.csv, then a row whose Ca is no number; without K and NO3 columns.
constexpr const char* kTable = "sample,pH,alkalinity_meq_L,Na_mmol_L,Ca_mmol_L,Mg_mmol_L,Cl_mmol_L,SO4_mmol_L\n"
                               "SN2,6.8,0.895,0.259,0.26,0.071,0.03,0.025\n";

struct Outcome {
  int status;
  std::string out, err;
};
Outcome Cli(const Args& args, const std::string& input = kTable, bool terminal = false) {
  std::istringstream in(input);
  std::ostringstream out, err;
  cli::CliEnvironment env{fs::path(VONTRALEK_TEST_TMP), terminal, nullptr, &in};
  env.progressAfterSeconds = 0.0;
  const int status = cli::RunCli(args, out, err, env);
  return {status, out.str(), err.str()};
}

// The choice words in any letter case, with spaces, hyphens or underscores, on the command line and in a workbook's
// settings; every summary names the model that ran.
TEST(CliDoors, ChoiceWordsInAnySpellingAndSummariesNameTheModel) {
  const fs::path folder = EmptyFolder("doors");
  MemoryWorkbook wb = BatchBook({kSpring});
  wb.Sheet(4).Put(23, 5, Text(" Ion_Association")); // E23
  wb.Sheet(4).Put(28, 5, Text("MEQ/L"));            // E28
  const std::string book = folder / "in.xlsx";
  WriteXlsx(book, wb);
  for (const Args& args : {Args{"--sheet", "Batch", "--pair", "PH", "-o", folder / "a.xlsx", book},
                           Args{"--sheet", "batch", "--model", "Ion Association", "-o", folder / "b.xlsx", book}}) {
    const Outcome o = Cli(args);
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_THAT(o.out, HasSubstr("Model           ion association"));
  }
  EXPECT_THAT(Cli({"--sheet", "main", "--model", "AS-SPECIFIED", "-o", folder / "c.xlsx", book}).err,
              HasSubstr("A5")); // the Main sheet's empty sample, after the model word was accepted
  for (const char* model : {"ion_association", "Ion-Association", "ion association"}) {
    const Outcome o =
        Cli({"--csv", "-", "--model", model, "--pair", "pH", "--below-limit", "HALF", "-o", folder / "t.csv"});
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_THAT(o.out, AllOf(HasSubstr("ion association model"), HasSubstr("not measured (no column): K, NO3")));
  }
  EXPECT_EQ(Cli({"--csv", "-", "--model", "ion associations"}).status, 2);
  EXPECT_EQ(Cli({"--csv", "-", "--pair", "p h"}).status, 2);
}

// --keep-going exits 1 whenever a row failed, in the table mode as in the workbook mode.
TEST(CliDoors, KeepGoingExitsOneWhenARowFailed) {
  const fs::path folder = EmptyFolder("keep");
  const std::string bad = std::string(kTable) + "MR,7.55,4.07674,0.0199395,x,1.00695,0.0199395,0.159516\n";
  EXPECT_EQ(Cli({"--csv", "-", "--keep-going", "-o", folder / "a.csv"}).status, 0);
  const Outcome failed = Cli({"--csv", "-", "--keep-going", "-o", folder / "b.csv"}, bad);
  EXPECT_EQ(failed.status, 1);
  EXPECT_THAT(failed.out, HasSubstr("2 rows (1 with a reason in status)"));
}

// On a terminal a table run draws its progress on the error stream; otherwise, and with --quiet, nothing.
TEST(CliDoors, ProgressOnATerminalOnly) {
  std::string many = kTable;
  for (int i = 0; i < 200; ++i) many += "SN2,6.8,0.895,0.259,0.26,0.071,0.03,0.025\n";
  const fs::path out = EmptyFolder("progress") / "out.csv";
  EXPECT_THAT(Cli({"--csv", "-", "-o", out}, many, true).err, AllOf(HasSubstr("rows/s"), HasSubstr("201 rows")));
  EXPECT_EQ(Cli({"--csv", "-", "-o", out}, many, false).err, "");
  const Outcome quiet = Cli({"--csv", "-", "-o", out, "--quiet"}, many, true);
  EXPECT_EQ(quiet.err + quiet.out, "");
  EXPECT_EQ(cli::TableProgressBar::Line(120000, 3.0, 0.5),
            "[##########          ]  50%  120,000 rows  40,000 rows/s  0:03 left");
  EXPECT_EQ(cli::TableProgressBar::Line(7, 2.0, std::nullopt), "7 rows  4 rows/s");
}

// The record names the input file, its size and SHA-256 (checked against sha256sum) and the start time in UTC.
TEST(CliDoors, TheProvenanceRecordNamesTheInputFileAndTheStartTime) {
  const fs::path folder = EmptyFolder("record");
  const std::string input = folder / "in.csv", output = folder / "out.csv";
  std::ofstream(input, std::ios::binary) << kTable;
  const auto before = std::chrono::system_clock::now();
  ASSERT_EQ(Cli({input, "-o", output}).status, 0);
  const nlohmann::json record = nlohmann::json::parse(std::ifstream(output + ".json"));
  std::string sum(64, ' ');
  FILE* pipe = popen(("sha256sum " + input).c_str(), "r");
  ASSERT_EQ(std::fread(sum.data(), 1, 64, pipe), 64u);
  pclose(pipe);
  EXPECT_EQ(record["input"]["path"], input);
  EXPECT_EQ(record["input"]["size_bytes"], fs::file_size(input));
  EXPECT_EQ(record["input"]["sha256"], sum);
  const std::string started = record["started_utc"];
  EXPECT_TRUE(std::regex_match(started, std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ)"))) << started;
  EXPECT_TRUE(started >= UtcIso8601(before) && started <= UtcIso8601(std::chrono::system_clock::now())) << started;
  EXPECT_THAT(record["ions_not_measured"].dump(), HasSubstr("\"K\",\"NO3\""));
  // The digest of bytes read through the stream: FIPS 180-2's "abc".
  std::stringbuf abc("abc");
  DigestingInput digest(abc, 3);
  EXPECT_EQ(digest.Finish("abc").sha256, "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
}

} // namespace
} // namespace vontralek
