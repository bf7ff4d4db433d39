#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "table/Columns.h"
#include "table/Csv.h"

namespace vontralek::table {
namespace {

using ::testing::AllOf, ::testing::ElementsAre, ::testing::HasSubstr;
using Rows = std::vector<std::vector<std::string>>;

// The header and records of a text, read as a file named "t.csv".
Rows ReadAll(const std::string& text) {
  std::istringstream in(text);
  CsvReader reader(in, "t.csv");
  Rows rows{reader.Header()};
  for (std::vector<std::string> fields; reader.Next(fields);) rows.push_back(fields);
  return rows;
}

// The CsvError a text raises: its message, line and column.
CsvError ErrorOf(const std::string& text) {
  try {
    ReadAll(text);
  } catch (const CsvError& e) {
    return e;
  }
  ADD_FAILURE() << "no error for " << text;
  return CsvError("", 0, 0);
}

TEST(CsvReading, QuotingLineEndsAndByteOrderMark) {
  // Quoted commas, doubled quotes, a quoted line break; CRLF and LF mixed; a BOM; blank lines skipped.
  const std::string text = "\xEF\xBB\xBFsample,pH\r\n\"a,b\",7.5\r\n\"say \"\"hi\"\"\",8\n\n\"two\nlines\",6.5\n"
                           "\"\",\r\nlast,7";
  EXPECT_THAT(ReadAll(text),
              ElementsAre(ElementsAre("sample", "pH"), ElementsAre("a,b", "7.5"), ElementsAre("say \"hi\"", "8"),
                          ElementsAre("two\nlines", "6.5"), ElementsAre("", ""), ElementsAre("last", "7")));
  // Lines count every line of the file: the record after the quoted line break starts on line 7.
  std::istringstream in(text);
  CsvReader reader(in, "t.csv");
  std::vector<std::string> fields;
  std::vector<std::size_t> lines;
  while (reader.Next(fields)) lines.push_back(reader.RecordLine());
  EXPECT_THAT(lines, ElementsAre(2, 3, 5, 7, 8));
  EXPECT_EQ(reader.Where(1), "t.csv line 8, column 2 (pH)");
}

TEST(CsvReading, MalformedFilesAreRefusedNamingLineAndColumn) {
  const auto expect = [](const std::string& text, std::size_t line, std::size_t column, const char* words) {
    const CsvError e = ErrorOf(text);
    EXPECT_EQ(e.line(), line) << e.what();
    EXPECT_EQ(e.column(), column) << e.what();
    EXPECT_THAT(e.what(), AllOf(HasSubstr("t.csv line " + std::to_string(line)), HasSubstr(words)));
  };
  expect("", 1, 0, "the file is empty");
  expect("\xEF\xBB\xBF\r\n\n", 1, 0, "the file is empty");
  expect("sample,pH\r\n", 2, 0, "header but no data rows");
  expect("sample,pH\n\n", 3, 0, "header but no data rows");
  expect("sample,pH\na,7\n\"b\n,7\n", 3, 1, "not closed");
  expect("sample,pH\na,7\nb,\"7\"x\n", 3, 2, "after the closing quote");
  expect("sample,pH\na,7\"5\n", 2, 2, "a quote inside an unquoted field");
  expect("sample,pH\na,7\nb,7,9\n", 3, 0, "3 fields where the header names 2");
  expect("sample,pH\n\"x\ny\",7\nb\n", 4, 0, "1 fields where the header names 2");
}

TEST(CsvWriting, QuotesWhenNeededAndWritesShortestExactNumbers) {
  std::ostringstream out;
  CsvWriter writer(out);
  writer.Row({"plain", "a,b", "say \"hi\"", "two\nlines", ""});
  writer.Number(0.1);
  writer.Number(std::numeric_limits<double>::quiet_NaN());
  writer.Number(-2.5e-12);
  writer.Empty();
  writer.Number(100);
  writer.EndRow();
  EXPECT_EQ(out.str(), "plain,\"a,b\",\"say \"\"hi\"\"\",\"two\nlines\",\n0.1,,-2.5e-12,,100\n");

  // Every double comes back bit for bit from its text.
  std::mt19937_64 random(7);
  std::ostringstream numbers;
  CsvWriter many(numbers);
  std::vector<double> values;
  for (int i = 0; i < 2000; ++i) {
    double v;
    do {
      const std::uint64_t bits = random();
      std::memcpy(&v, &bits, sizeof v);
    } while (!std::isfinite(v));
    values.push_back(v);
    many.Number(v);
    many.EndRow();
  }
  std::istringstream back("x\n" + numbers.str());
  CsvReader reader(back, "numbers");
  std::vector<std::string> fields;
  for (double v : values) {
    ASSERT_TRUE(reader.Next(fields));
    double read = 0;
    std::from_chars(fields[0].data(), fields[0].data() + fields[0].size(), read);
    EXPECT_EQ(std::memcmp(&read, &v, sizeof v), 0) << fields[0];
  }
}

std::vector<std::string> Header(const std::string& line) { return ReadAll(line + "\n" + line + "\n").front(); }

TEST(TableColumns, NamesGiveQuantityAndUnit) {
  const auto h = Header("sample,Na_mg_L,K_mmol_L,Ca_meq_L,Mg_mg_L,Cl_mmol_L,NO3_mg_L_as_N,SO4_meq_L,pH,"
                        "alkalinity_mg_L_as_CaCO3,site,temperature_C,Nature");
  const InputColumns c = ReadInputColumns(h, "t.csv");
  EXPECT_EQ(c.Index(Quantity::Na), 1);
  EXPECT_EQ(c.Unit(Quantity::Na), ColumnUnit::MgPerL);
  EXPECT_EQ(c.Unit(Quantity::Ca), ColumnUnit::MeqPerL);
  EXPECT_EQ(c.Unit(Quantity::NO3), ColumnUnit::MgPerLAsN);
  EXPECT_EQ(c.Unit(Quantity::Alkalinity), ColumnUnit::MgPerLAsCaCO3);
  EXPECT_EQ(c.Index(Quantity::Temperature), 11);
  EXPECT_EQ(c.roles[10].quantity, Quantity::Extra);
  EXPECT_EQ(c.roles[12].quantity, Quantity::Extra);
  EXPECT_EQ(ChoosePair(c, std::nullopt, "t.csv"), PairColumns::AlkalinityPH);
  EXPECT_EQ(ReadInputColumns(Header("alkalinity_mg_L_as_HCO3,HCO3_mg_L"), "t.csv").Unit(Quantity::Alkalinity),
            ColumnUnit::MgPerLAsHCO3);

  const auto refused = [](const std::string& line) {
    try {
      ReadInputColumns(Header(line), "t.csv");
    } catch (const CsvError& e) {
      return std::string(e.what());
    }
    return std::string("accepted");
  };
  EXPECT_THAT(refused("Na_mmol_L,pH,Na_mg_L"),
              AllOf(HasSubstr("t.csv line 1, column 3 (Na_mg_L)"), HasSubstr("second column for Na beside column 1")));
  EXPECT_THAT(refused("pH,alkalinity_meq_L,alkalinity_mg_L_as_CaCO3"), HasSubstr("second column for alkalinity"));
  EXPECT_THAT(refused("pH,Na_ppm"), AllOf(HasSubstr("column 2 (Na_ppm)"), HasSubstr("Na_mmol_L, Na_mg_L or Na_meq_L")));
  EXPECT_THAT(refused("Cl_mg_L_as_N"), HasSubstr("unknown unit"));
  EXPECT_THAT(refused("pCO2"), HasSubstr("needs its unit: name it pCO2_atm"));
  EXPECT_THAT(refused("alkalinity_mmol_L"), HasSubstr("alkalinity_mg_L_as_CaCO3"));
}

TEST(TableColumns, ThePairAndEveryIonNeedTheirColumns) {
  const std::string ions = "Na_mmol_L,K_mmol_L,Ca_mmol_L,Mg_mmol_L,Cl_mmol_L,NO3_mmol_L,SO4_mmol_L";
  const auto pair = [&](const std::string& more, std::optional<PairColumns> requested = std::nullopt) {
    return ChoosePair(ReadInputColumns(Header(ions + "," + more), "t.csv"), requested, "t.csv");
  };
  EXPECT_EQ(pair("pCO2_atm,alkalinity_meq_L"), PairColumns::AlkalinityPCO2);
  EXPECT_EQ(pair("HCO3_mmol_L,CO3_mmol_L"), PairColumns::BicarbonateCarbonate);
  EXPECT_EQ(pair("pH,pCO2_atm,alkalinity_meq_L", PairColumns::AlkalinityPCO2), PairColumns::AlkalinityPCO2);
  EXPECT_THROW(
      {
        try {
          pair("pH,pCO2_atm,alkalinity_meq_L");
        } catch (const CsvError& e) {
          EXPECT_THAT(e.what(), HasSubstr("more than one carbonate pair"));
          throw;
        }
      },
      CsvError);
  const auto refused = [&](const std::string& header, std::optional<PairColumns> requested) {
    try {
      ChoosePair(ReadInputColumns(Header(header), "t.csv"), requested, "t.csv");
    } catch (const CsvError& e) {
      return std::string(e.what());
    }
    return std::string("accepted");
  };
  EXPECT_THAT(refused(ions + ",pH", std::nullopt), HasSubstr("no carbonate pair"));
  EXPECT_THAT(refused(ions + ",pH", PairColumns::AlkalinityPH),
              HasSubstr("no column alkalinity_meq_L, alkalinity_mg_L_as_CaCO3 or alkalinity_mg_L_as_HCO3"));
  EXPECT_THAT(refused("pH,alkalinity_meq_L,Na_mmol_L,K_mmol_L,Ca_mmol_L,Mg_mmol_L,Cl_mmol_L,SO4_mmol_L", std::nullopt),
              HasSubstr("no column NO3_mmol_L, NO3_mg_L, NO3_meq_L or NO3_mg_L_as_N"));
}

// Output: the inputs, then the Batch row's 69 results (columns K to CA), then
// SI_calcite, SI_gypsum, charge_balance_error_percent and status.
TEST(TableColumns, OutputNamesFollowTheBatchRow) {
  const auto& r = ResultColumnNames();
  ASSERT_EQ(r.size(), ResultColumnCount);
  EXPECT_EQ(r[0], "weighted_sum"); // column K
  EXPECT_EQ(r[ResultPCO2], "pCO2_atm");
  EXPECT_EQ(r[4], "log_IAP_gypsum"); // column O, CaSO4
  EXPECT_EQ(r[ResultPH], "pH");      // column S
  EXPECT_EQ(r[9], "gamma_H");        // T, 12 coefficients
  EXPECT_EQ(r[20], "gamma_CO2");
  EXPECT_EQ(r[21], "log_a_H"); // AF
  EXPECT_EQ(r[33], "free_H_mmol_L");
  EXPECT_EQ(r[44], "free_CO2_mmol_L");
  EXPECT_EQ(r[45], "NaOH_mmol_L");       // BD, complex row 1
  EXPECT_EQ(r[45 + 14], "CaSO4_mmol_L"); // complex row 15: cation 3 with sulfate
  EXPECT_EQ(r[68], "MgCO3_mmol_L");      // CA, complex row 24
  EXPECT_THAT(std::vector<std::string>(r.begin() + 69, r.end()),
              ElementsAre("SI_calcite", "SI_gypsum", "charge_balance_error_percent", "status"));

  const std::vector<std::string> in = {"sample", "pH", "alkalinity_meq_L"};
  const auto a = OutputHeader(in, PairColumns::AlkalinityPH, "t.csv");
  EXPECT_EQ(a.size(), 3 + ResultColumnCount - 1);
  EXPECT_EQ(std::count(a.begin(), a.end(), "pH"), 1);
  EXPECT_EQ(a[3], "weighted_sum");
  EXPECT_EQ(OutputHeader({"pCO2_atm"}, PairColumns::AlkalinityPCO2, "t.csv").size(), ResultColumnCount);
  EXPECT_EQ(OutputHeader({"HCO3_mmol_L"}, PairColumns::BicarbonateCarbonate, "t.csv").size(), 1 + ResultColumnCount);
  // A pH column the pair does not use, or an extra column named like a result, would appear twice.
  for (const auto& [header, pairColumns] :
       {std::pair{in, PairColumns::AlkalinityPCO2},
        std::pair{std::vector<std::string>{"x", "SAR"}, PairColumns::AlkalinityPH}}) {
    try {
      OutputHeader(header, pairColumns, "t.csv");
      ADD_FAILURE() << "accepted";
    } catch (const CsvError& e) {
      EXPECT_THAT(e.what(), AllOf(HasSubstr("t.csv line 1, column 2"), HasSubstr("the results have a column")));
    }
  }
}

} // namespace
} // namespace vontralek::table
