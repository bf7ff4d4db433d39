#include <iterator>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include <gmock/gmock.h>

#include "table/Columns.h"
#include "table/Csv.h"

namespace vontralek::table {
namespace {

using ::testing::AllOf, ::testing::ElementsAre, ::testing::HasSubstr;
using Strings = std::vector<std::string>;

// The header and records of a text read as "t.csv", with the line each record starts on.
std::vector<Strings> ReadAll(const std::string& text, std::vector<std::size_t>* lines = nullptr) {
  std::istringstream in(text);
  CsvReader reader(in, "t.csv");
  std::vector<Strings> rows{reader.Header()};
  for (Strings fields; reader.Next(fields);) {
    rows.push_back(fields);
    if (lines) lines->push_back(reader.RecordLine());
  }
  return rows;
}

// The CsvError that f raises (line and column 0 and "accepted" when none).
template <typename F> CsvError Refusal(F f) {
  try {
    f();
  } catch (const CsvError& e) {
    return e;
  }
  return CsvError("accepted", 0, 0);
}
std::string Message(const std::string& header, std::optional<PairColumns> pair = std::nullopt) {
  return Refusal([&] { ChoosePair(ReadInputColumns(ReadAll(header + "\n" + header).front(), "t.csv"), pair, "t.csv"); })
      .what();
}

TEST(CsvReading, QuotingLineEndsAndByteOrderMark) {
  // Quoted commas, doubled quotes, a quoted line break; CRLF and LF mixed; a BOM; blank lines skipped.
  std::vector<std::size_t> lines;
  EXPECT_THAT(
      ReadAll("\xEF\xBB\xBFsample,pH\r\n\"a,b\",7.5\r\n\"say \"\"hi\"\"\",8\n\n\"two\nlines\",6.5\n\"\",\r\nx,7",
              &lines),
      ElementsAre(ElementsAre("sample", "pH"), ElementsAre("a,b", "7.5"), ElementsAre("say \"hi\"", "8"),
                  ElementsAre("two\nlines", "6.5"), ElementsAre("", ""), ElementsAre("x", "7")));
  EXPECT_THAT(lines, ElementsAre(2, 3, 5, 7, 8)); // every line of the file counts
}

TEST(CsvReading, MalformedFilesAreRefusedNamingLineAndColumn) {
  const auto expect = [](const std::string& text, std::size_t line, std::size_t column, const char* words) {
    const CsvError e = Refusal([&] { ReadAll(text); });
    EXPECT_EQ(std::pair(e.line(), e.column()), std::pair(line, column)) << e.what();
    EXPECT_THAT(e.what(), AllOf(HasSubstr("t.csv line " + std::to_string(line)), HasSubstr(words)));
  };
  expect("", 1, 0, "the file is empty");
  expect("\xEF\xBB\xBF\r\n\n", 1, 0, "the file is empty");
  expect("sample,pH\r\n", 2, 0, "header but no data rows");
  expect("sample,pH\n\n", 3, 0, "header but no data rows");
  expect("sample,pH\na,7\n\"b\n,7\n", 3, 1, "not closed");
  expect("sample,pH\na,7\nb,\"7\"x\n", 3, 2, "column 2 (pH): text after the closing quote");
  expect("sample,pH\na,7\"5\n", 2, 2, "a quote inside an unquoted field");
  expect("sample,pH\na,7\nb,7,9\n", 3, 0, "3 fields where the header names 2");
  expect("sample,pH\n\"x\ny\",7\nb\n", 4, 0, "1 fields where the header names 2");
}

TEST(CsvWriting, QuotesWhenNeededAndWritesShortestExactNumbers) {
  // 0.1 + 0.2 needs all 17 digits to read back as the same double; NaN is empty.
  std::ostringstream out;
  CsvWriter writer(out);
  writer.Row({"plain", "a,b", "say \"hi\"", "two\nlines", "cr\r", ""});
  for (double v : {0.1, 0.1 + 0.2, std::numeric_limits<double>::quiet_NaN(), -2.5e-12, 100.0}) writer.Number(v);
  writer.Empty();
  writer.EndRow();
  EXPECT_EQ(out.str(),
            "plain,\"a,b\",\"say \"\"hi\"\"\",\"two\nlines\",\"cr\r\",\n0.1,0.30000000000000004,,-2.5e-12,100,\n");
}

TEST(TableColumns, NamesGiveQuantityAndUnitAndBadNamesAreRefused) {
  const InputColumns c = ReadInputColumns({"sample", "Na_mg_L", "K_mmol_L", "Ca_meq_L", "NO3_mg_L_as_N", "pH",
                                           "alkalinity_mg_L_as_CaCO3", "site", "temperature_C", "Nature"},
                                          "t.csv");
  EXPECT_EQ(std::tuple(c.Index(Quantity::Na), c.Index(Quantity::Temperature), c.roles[7].quantity, c.roles[9].quantity),
            std::tuple(1, 8, Quantity::Extra, Quantity::Extra));
  EXPECT_EQ(
      std::vector({c.Unit(Quantity::Na), c.Unit(Quantity::Ca), c.Unit(Quantity::NO3), c.Unit(Quantity::Alkalinity)}),
      std::vector({ColumnUnit::MgPerL, ColumnUnit::MeqPerL, ColumnUnit::MgPerLAsN, ColumnUnit::MgPerLAsCaCO3}));
  EXPECT_EQ(ReadInputColumns({"alkalinity_mg_L_as_HCO3"}, "t.csv").Unit(Quantity::Alkalinity),
            ColumnUnit::MgPerLAsHCO3);

  EXPECT_THAT(Message("Na_mmol_L,pH,Na_mg_L"),
              AllOf(HasSubstr("t.csv line 1, column 3 (Na_mg_L)"), HasSubstr("second column for Na beside column 1")));
  EXPECT_THAT(Message("pH,alkalinity_meq_L,alkalinity_mg_L_as_CaCO3"), HasSubstr("second column for alkalinity"));
  EXPECT_THAT(Message("pH,Na_ppm"), AllOf(HasSubstr("column 2 (Na_ppm)"), HasSubstr("Na_mmol_L, Na_mg_L or Na_meq_L")));
  EXPECT_THAT(Message("Cl_mg_L_as_N"), HasSubstr("unknown unit"));
  EXPECT_THAT(Message("pCO2"), HasSubstr("needs its unit: name it pCO2_atm"));
}

TEST(TableColumns, ThePairAndEveryIonNeedTheirColumns) {
  const std::string ions = "Na_mmol_L,K_mmol_L,Ca_mmol_L,Mg_mmol_L,Cl_mmol_L,NO3_mmol_L,SO4_mmol_L,";
  const auto pair = [&](const std::string& more, std::optional<PairColumns> requested = std::nullopt) {
    return ChoosePair(ReadInputColumns(ReadAll(ions + more + "\n" + ions + more).front(), "t.csv"), requested, "t.csv");
  };
  EXPECT_EQ(pair("pH,alkalinity_meq_L"), PairColumns::AlkalinityPH);
  EXPECT_EQ(pair("pCO2_atm,alkalinity_meq_L"), PairColumns::AlkalinityPCO2);
  EXPECT_EQ(pair("HCO3_mmol_L,CO3_mmol_L"), PairColumns::BicarbonateCarbonate);
  EXPECT_EQ(pair("pH,pCO2_atm,alkalinity_meq_L", PairColumns::AlkalinityPCO2), PairColumns::AlkalinityPCO2);
  EXPECT_THAT(Message(ions + "pH,pCO2_atm,alkalinity_meq_L"), HasSubstr("more than one carbonate pair"));
  EXPECT_THAT(Message(ions + "pH,Probe"), AllOf(HasSubstr("no carbonate pair"), HasSubstr("not recognised: Probe")));
  EXPECT_THAT(Message(ions + "pH", PairColumns::AlkalinityPH),
              HasSubstr("no column alkalinity_meq_L, alkalinity_mg_L_as_CaCO3 or alkalinity_mg_L_as_HCO3"));
  // An ion without a column is not measured; the columns not recognised are named when a pair's column is missing.
  const InputColumns noNitrate = ReadInputColumns({"pH", "alkalinity_meq_L", "Na_mmol_L", "Nitrat", "SO4_mmol_L"}, "t");
  EXPECT_EQ(ChoosePair(noNitrate, std::nullopt, "t"), PairColumns::AlkalinityPH);
  EXPECT_THAT(noNitrate.missingIons, ElementsAre("K", "Ca", "Mg", "Cl", "NO3"));
  EXPECT_THAT(Message("Probe,pH,Na_mmol_L", PairColumns::AlkalinityPH),
              AllOf(HasSubstr("no column alkalinity_meq_L"), HasSubstr("; columns not recognised: Probe")));
}

// Output: inputs, the Batch row's 69 results (K:CA), SI_calcite, SI_gypsum, charge_balance_error_percent, DIC_mmol_L,
// status.
TEST(TableColumns, OutputNamesFollowTheBatchRow) {
  const auto& r = ResultColumnNames();
  ASSERT_EQ(r.size(), ResultColumnCount);
  // Every name, built from the documented rules: K:S, then per species (T:AE) gamma_X, (AF:AQ) log_a_X, (AR:BC)
  // free_X_mmol_L, then the complexes BD:CA cation by ligand, then the three extras, DIC and the status.
  std::istringstream first("weighted_sum pCO2_atm ionic_strength_mmol_L initial_ionic_strength_mmol_L "
                           "log_IAP_gypsum log_IAP_calcite SAR SAR_activity pH");
  Strings want{std::istream_iterator<std::string>(first), {}};
  const Strings species = {"H", "OH", "Na", "K", "Ca", "Mg", "Cl", "NO3", "SO4", "HCO3", "CO3", "CO2"};
  for (const char* prefix : {"gamma_", "log_a_", "free_"})
    for (const auto& x : species) want.push_back(prefix + x + (prefix[0] == 'f' ? "_mmol_L" : ""));
  for (const char* ligand : {"OH", "Cl", "NO3", "SO4", "HCO3", "CO3"})
    for (const char* cation : {"Na", "K", "Ca", "Mg"}) want.push_back(std::string(cation) + ligand + "_mmol_L");
  for (const char* extra : {"SI_calcite", "SI_gypsum", "charge_balance_error_percent", "DIC_mmol_L", "status"})
    want.push_back(extra);
  EXPECT_EQ(Strings(r.begin(), r.end()), want);
  EXPECT_EQ(std::tie(r[ResultPCO2], r[ResultPH]), std::tie(want[1], want[8]));

  const Strings in = {"sample", "pH", "alkalinity_meq_L"};
  const auto a = OutputHeader(in, PairColumns::AlkalinityPH, "t.csv");
  EXPECT_TRUE(a.size() == 3 + ResultColumnCount - 1 && std::count(a.begin(), a.end(), "pH") == 1 &&
              a[3] == "weighted_sum");
  EXPECT_EQ(OutputHeader({"pCO2_atm"}, PairColumns::AlkalinityPCO2, "t.csv").size(), ResultColumnCount);
  EXPECT_EQ(OutputHeader({"HCO3_mmol_L"}, PairColumns::BicarbonateCarbonate, "t.csv").size(), 1 + ResultColumnCount);
  // A pH column the pair does not use, or an extra column named like a result, would appear twice.
  for (const auto& [header, p] :
       {std::pair{in, PairColumns::AlkalinityPCO2}, {Strings{"x", "SAR"}, PairColumns::AlkalinityPH}})
    EXPECT_THAT(Refusal([&] { OutputHeader(header, p, "t.csv"); }).what(),
                AllOf(HasSubstr("t.csv line 1, column 2"), HasSubstr("the results have a column")));
}

} // namespace
} // namespace vontralek::table
