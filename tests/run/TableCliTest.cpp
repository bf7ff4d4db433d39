#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "cli/Cli.h"

namespace vontralek::cli {
namespace {

namespace fs = std::filesystem;

// Two waters from data/example-waters.csv (Sierra Nevada spring, Madison recharge), the second with Ca "x".
constexpr const char* kTable = "sample,pH,alkalinity_meq_L,Na_mmol_L,K_mmol_L,Ca_mmol_L,Mg_mmol_L,Cl_mmol_L,"
                               "NO3_mmol_L,SO4_mmol_L\r\n"
                               "SN2,6.8,0.895,0.259,0.04,0.26,0.071,0.03,0,0.025\r\n"
                               "MR,7.55,4.07674,0.0199395,0.0199395,x,1.00695,0.0199395,0,0.159516\r\n";

struct Outcome {
  int status;
  std::string out, err;
};

Outcome Cli(const std::vector<std::string>& args, const std::string& input = "") {
  std::istringstream in(input);
  std::ostringstream out, err;
  CliEnvironment env;
  env.standardInput = &in;
  const int status = RunCli(args, out, err, env);
  return {status, out.str(), err.str()};
}

std::string Contents(const fs::path& path) {
  std::ifstream in(path);
  return {std::istreambuf_iterator<char>(in), {}};
}

TEST(TableMode, StandardInputToStandardOutputOrAFileWithItsProvenance) {
  const Outcome piped = Cli({"--csv", "-", "--keep-going", "--threads", "2"}, kTable);
  ASSERT_EQ(piped.status, 0) << piped.err;
  EXPECT_NE(piped.out.find("\nSN2,6.8,0.895,"), std::string::npos); // CRLF read, LF written
  EXPECT_NE(piped.out.find("standard input line 3, column 6 (Ca_mmol_L)"), std::string::npos);

  const fs::path folder = fs::path(VONTRALEK_TEST_TMP) / "table_mode";
  fs::create_directories(folder);
  const fs::path input = folder / "in.CSV", output = folder / "out.csv";
  std::ofstream(input, std::ios::binary) << kTable;
  const Outcome kept = Cli({input.string(), "-o", output.string(), "--keep-going", "--threads", "2"});
  EXPECT_EQ(kept.status, 0) << kept.err;
  EXPECT_EQ(Contents(output), piped.out.substr(0, piped.out.find("standard input")) +
                                  piped.out.substr(piped.out.find("standard input") + 14).insert(0, input.string()));
  EXPECT_NE(Contents(output.string() + ".json").find("\"keep_going\": true"), std::string::npos);

  // Without keep-going: exit 1, the row named, the row before it kept.
  const Outcome stopped = Cli({input.string(), "-o", output.string()});
  EXPECT_EQ(stopped.status, 1);
  EXPECT_NE(stopped.err.find(input.string() + " line 3, column 6 (Ca_mmol_L)"), std::string::npos) << stopped.err;
  const std::string partial = Contents(output);
  EXPECT_EQ(std::count(partial.begin(), partial.end(), '\n'), 2);
}

TEST(TableMode, OptionsOutsideTheirModeAreUsageErrors) {
  EXPECT_EQ(Cli({"-"}).status, 2);                            // "-" needs --csv
  EXPECT_EQ(Cli({"--csv", "-", "--threads", "0"}).status, 2); // at least one thread
  EXPECT_EQ(Cli({"--csv", "-", "--model", "best"}, kTable).status, 2);
  EXPECT_EQ(Cli({"book.xlsx", "--constants", "other.xlsx"}).status, 2); // a workbook run takes its own
}

} // namespace
} // namespace vontralek::cli
