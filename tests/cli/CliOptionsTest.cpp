#include <gtest/gtest.h>

#include "cli/CliOptions.h"

namespace vontralek::cli {
namespace {

TEST(CliOptions, DefaultsToTheMainSheetWithAlkalinityAndPH) {
  const CliOptions o = ParseCommandLine({});
  EXPECT_EQ(o.sheetMode, "A");
  EXPECT_EQ(o.inputPair, "A");
  EXPECT_FALSE(o.workbook);
  EXPECT_FALSE(o.output);
  EXPECT_FALSE(o.help);
  EXPECT_FALSE(o.version);
}

TEST(CliOptions, MapsTheChoicesOfTheMainWindowToTheirCodes) {
  EXPECT_EQ(ParseCommandLine({"--sheet", "batch"}).sheetMode, "B");
  EXPECT_EQ(ParseCommandLine({"--sheet=main"}).sheetMode, "A");
  EXPECT_EQ(ParseCommandLine({"--pair", "pco2"}).inputPair, "B");
  EXPECT_EQ(ParseCommandLine({"--pair=carbonate"}).inputPair, "C");
  EXPECT_EQ(ParseCommandLine({"--pair", "ph"}).inputPair, "A");
  const CliOptions o = ParseCommandLine({"--sheet", "batch", "data/w.xlsx", "--output", "out.xlsx"});
  EXPECT_EQ(o.sheetMode, "B");
  EXPECT_EQ(*o.workbook, "data/w.xlsx");
  EXPECT_EQ(*o.output, "out.xlsx");
  EXPECT_EQ(*ParseCommandLine({"-o", "x.xlsx"}).output, "x.xlsx");
  // After "--" a name that starts with a dash is a workbook.
  EXPECT_EQ(*ParseCommandLine({"--", "-odd.xlsx"}).workbook, "-odd.xlsx");
  EXPECT_TRUE(ParseCommandLine({"--help"}).help);
  EXPECT_TRUE(ParseCommandLine({"--version"}).version);
}

TEST(CliOptions, RejectsWhatItCannotUnderstand) {
  EXPECT_THROW(ParseCommandLine({"--sheet", "Batch"}), UsageError); // values are lower case
  EXPECT_THROW(ParseCommandLine({"--pair", "alk"}), UsageError);
  EXPECT_THROW(ParseCommandLine({"--pair"}), UsageError);
  EXPECT_THROW(ParseCommandLine({"--output"}), UsageError);
  EXPECT_THROW(ParseCommandLine({"--output="}), UsageError);
  EXPECT_THROW(ParseCommandLine({"--verbose"}), UsageError);
  EXPECT_THROW(ParseCommandLine({"a.xlsx", "b.xlsx"}), UsageError);
  EXPECT_THROW(ParseCommandLine({"--sheet", "main", "--sheet", "batch"}), UsageError);
}

} // namespace
} // namespace vontralek::cli
