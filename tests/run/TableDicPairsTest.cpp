// The pairs with DIC in a table: the example waters entered as alkalinity and pH, then as DIC and pH and as alkalinity
// and DIC with the DIC the first run gave, are the same waters, the reactions included.

#include <algorithm>
#include <cmath>
#include <map>
#include <string>
#include <vector>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "TestSupport.h"
#include "run/TableRun.h"

namespace vontralek {
namespace {

using namespace testing;
using Rows = std::vector<std::map<std::string, std::string>>;

// The fields `first` and then [from, to) as a CSV line (none needs quoting).
std::string Joined(Fields first, Fields::const_iterator from, Fields::const_iterator to) {
  first.insert(first.end(), from, to);
  std::string line;
  for (std::size_t i = 0; i < first.size(); ++i) line += (i ? "," : "") + first[i];
  return line + "\n";
}

// The five waters of data/example-waters.csv at 15 °C with the alkalinity-and-pH pair.
std::string ExampleTable() {
  std::string csv = "sample,temperature_C,pH,alkalinity_meq_L,Na_mmol_L,K_mmol_L,Ca_mmol_L,Mg_mmol_L,Cl_mmol_L,"
                    "NO3_mmol_L,SO4_mmol_L\n";
  const std::vector<Fields> example = CsvFields(ReadFile(VONTRALEK_DATA_DIR "/example-waters.csv"));
  for (std::size_t r = 1; r < example.size(); ++r)
    csv += Joined({example[r][0], "15"}, example[r].begin() + 3, example[r].end());
  return csv;
}

// Every output row by column name, from the table mode with both reactions.
Rows Solve(const std::string& csv) {
  TableOptions options;
  options.settings.reactions = {.calciteSaturation = true,
                                .evaluationTemperature = TemperatureSource::Fixed,
                                .evaluationTemperatureC = 10.0,
                                .equilibriumPCO2Given = true,
                                .equilibriumPCO2 = 3.98e-4};
  return CsvRecords(RunTableText(csv, options));
}

// The table with column `replaced` (pH or alkalinity) giving way to the DIC of `given`, as `name` (value x factor).
std::string WithDIC(const std::string& csv, const Rows& given, const std::string& replaced, const std::string& name,
                    double factor) {
  std::vector<Fields> table = CsvFields(csv);
  const std::size_t at = std::find(table[0].begin(), table[0].end(), replaced) - table[0].begin();
  table[0][at] = name;
  std::string text;
  for (std::size_t r = 0; r < table.size(); ++r) {
    if (r > 0) table[r][at] = fmt::format("{}", std::stod(given[r - 1].at("DIC_mmol_L")) * factor);
    text += Joined({}, table[r].begin(), table[r].end());
  }
  return text;
}

TEST(TableDicPairs, GiveTheSameResultsAsAlkalinityAndPH) {
  const std::string csv = ExampleTable();
  const Rows a = Solve(csv);
  // DIC and pH with DIC in mmol/L; alkalinity and DIC in mg/L as C (M(C) = 12.011 g/mol, CIAAW 2021).
  const Rows dicPH = Solve(WithDIC(csv, a, "alkalinity_meq_L", "DIC_mmol_L", 1.0));
  const Rows alkDIC = Solve(WithDIC(csv, a, "pH", "DIC_mg_L_as_C", 12.011));
  ASSERT_EQ(a.size(), 5u);
  int compared = 0;
  for (const Rows* other : {&dicPH, &alkDIC})
    for (std::size_t r = 0; r < a.size(); ++r) {
      EXPECT_EQ((*other)[r].at("status"), "ok");
      for (const auto& [name, text] : (*other)[r]) {
        // The initial ionic strength is where the iteration starts, from the pair's own inputs: not a result.
        if (!a[r].count(name) || name == "sample" || name == "status" || name == "initial_ionic_strength_mmol_L" ||
            text.empty())
          continue;
        const double x = std::stod(text), y = std::stod(a[r].at(name));
        const bool logarithm = name.starts_with("pH") || name.starts_with("SI_") || name.starts_with("log_") ||
                               name == "LSI" || name == "RSI" || name == "PSI";
        EXPECT_LE(std::fabs(x - y), 1e-10 * (logarithm ? 1.0 : std::fabs(y))) << a[r].at("sample") << " " << name;
        ++compared;
      }
    }
  // Every result and reaction column of both runs, less the pair's own inputs.
  EXPECT_GT(compared, 2 * 5 * 85);
}

} // namespace
} // namespace vontralek
