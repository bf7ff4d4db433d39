#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include <gmock/gmock.h>

#include "TestSupport.h"
#include "layout/ParameterLoading.h"
#include "run/TableRun.h"
#include "table/Csv.h"

namespace vontralek {
namespace {

using testing::Fields;
using ::testing::HasSubstr;

// Three of the example waters (data/example-waters.csv: seawater, a spring, a
// recharge water) with names holding the other convention's separators.
const std::vector<Fields> kTable{
    {"sample", "pH", "alkalinity_meq_L", "Na_mmol_L", "K_mmol_L", "Ca_mmol_L", "Mg_mmol_L", "Cl_mmol_L", "NO3_mmol_L",
     "SO4_mmol_L"},
    {"SW, surface", "8.22", "2.37541", "479.15", "10.4425", "10.5241", "54.372", "558.433", "0.004785", "28.8817"},
    {"MY; spring", "6.61", "4.8526", "31.7781", "2.53109", "11.2404", "4.52407", "17.7874", "0", "19.7903"},
    {"R \"3\"", "7.4", "1.2", "0.5", "0.05", "0.7", "0.2", "0.4", "nd", "0.15"}};

// The table as text: numbers with a decimal comma when format says so.
std::string Text(const std::vector<Fields>& table, table::CsvFormat format) {
  std::string text;
  for (std::size_t r = 0; r < table.size(); ++r) {
    table::CsvRow row(format);
    for (std::size_t c = 0; c < table[r].size(); ++c) {
      std::string field = table[r][c];
      if (format.decimalComma && r > 0 && c > 0) std::replace(field.begin(), field.end(), '.', ',');
      row.Text(field);
    }
    text += row.Release();
  }
  return text;
}

std::string Solved(const std::string& csv, int threads, std::optional<table::CsvFormat> in = std::nullopt,
                   std::optional<table::CsvFormat> out = std::nullopt) {
  TableOptions options;
  options.settings.onFailure = FailurePolicy::Continue;
  options.threads = threads;
  options.inputFormat = in;
  options.outputFormat = out;
  return testing::RunTableText(csv, options);
}

TEST(TableFormats, ASemicolonTableWithDecimalCommasGivesTheCanonicalTablesResults) {
  const table::CsvFormat european{';', true};
  for (const int threads : {1, 2}) {
    const std::string canonical = Solved(Text(kTable, {}), threads);
    ASSERT_THAT(canonical, HasSubstr(",ok\n"));
    // Detected from the header, written back in its convention: the same fields, ',' for '.' in the numbers.
    const std::string back = Solved(Text(kTable, european), threads);
    std::vector<Fields> expected = testing::CsvFields(canonical);
    for (std::size_t r = 1; r < expected.size(); ++r)
      for (std::size_t c = 1; c < expected[r].size(); ++c)
        std::replace(expected[r][c].begin(), expected[r][c].end(), '.', ',');
    EXPECT_EQ(testing::CsvFields(back), expected);
    EXPECT_EQ(back.substr(0, 7), "sample;");
    // Told otherwise, the canonical output byte for byte; so is a ';' table with decimal points, told so.
    EXPECT_EQ(Solved(Text(kTable, european), threads, european, table::CsvFormat{}), canonical);
    EXPECT_EQ(Solved(Text(kTable, {';', false}), threads, table::CsvFormat{';', false}, table::CsvFormat{}), canonical);
  }
}

TEST(TableFormats, ADecimalPointInADecimalCommaTableIsTheRowsReasonAndTheRowsBeforeAStopAreWritten) {
  // "1.234" may be 1234 with a thousands separator: the row is refused, naming line and column, not guessed.
  const std::string good = Text(kTable, {';', true});
  std::string text = good;
  text.replace(text.find("11,2404"), 7, "1.234"); // the spring's calcium
  const std::vector<Fields> rows = testing::CsvFields(Solved(text, 1));
  EXPECT_TRUE(rows[1].back() == "ok" && rows[3].back() == "ok");
  EXPECT_THAT(rows[2].back(), HasSubstr("in.csv line 3, column 6 (Ca_mmol_L): \"1.234\" has a '.'"));
  // Stopped there, or at a quote never closed on line 5: an error naming it, never a success, whatever the threads;
  // the rows before it leave their block.
  TableOptions options;
  for (options.threads = 1; options.threads <= 2; ++options.threads)
    for (const auto& [csv, lines, why] : {std::tuple{text, 2, "line 3"}, {good + "x;\"7\n", 4, "line 5"}}) {
      std::istringstream input(csv);
      std::ostringstream output;
      EXPECT_THAT([&] { RunTable(input, "in.csv", output, options, LoadTableParameters(std::nullopt)); },
                  ::testing::ThrowsMessage<std::exception>(HasSubstr(why)));
      EXPECT_EQ(std::ranges::count(output.str(), '\n'), lines) << options.threads;
    }
}

} // namespace
} // namespace vontralek
