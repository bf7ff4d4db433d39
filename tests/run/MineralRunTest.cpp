// The saturation indices of worksheet 3's phase table and the water-quality values in a workbook run: where they are
// written, a phase a user adds, and the bad tables and settings refused before anything is written.

#include <gmock/gmock.h>

#include <fmt/format.h>

#include "TestSupport.h"
#include "layout/Layout.h"
#include "layout/PhaseLoading.h"
#include "layout/SettingsLoading.h"
#include "run/MineralRun.h"
#include "run/Run.h"

namespace vontralek {
namespace {

using namespace testing;
using ::testing::ElementsAre, ::testing::HasSubstr;
using workbook::MemoryWorksheet;

// The shipped parameters and phase table, ion association, both settings on; seawater on the Main sheet, seawater
// and a spring without potassium on the Batch sheet.
MemoryWorkbook Book() {
  Analysis spring = kSpring;
  spring[3] = 0.0; // no potassium: no SI of sylvite
  MemoryWorkbook wb = BatchBook({kSeawater, spring});
  for (const auto& [cell, text] : {std::pair{"E23", "ion association"}, {"E30", "Yes "}, {"E31", "yes"}})
    Put(wb.Sheet(4), cell, Text(text));
  PutAnalysis(wb.Sheet(1), 5, 1, kSeawater);
  return wb;
}

TEST(MineralRun, TheShippedWorkbookHoldsTheDefaultPhasesWithBothSettingsOn) {
  const std::unique_ptr<workbook::Workbook> shipped = workbook::OpenWorkbook(VONTRALEK_SHIPPED_WORKBOOK);
  const PhaseTable phases = LoadPhaseTable(*shipped);
  ASSERT_EQ(phases.size(), 16u);
  EXPECT_TRUE(phases == DefaultPhases());
  EXPECT_EQ(phases[2].name, "Dolomite(d)");
  EXPECT_EQ(PhaseColumnName(phases[2].name), "SI_dolomite_d");
  const RunSettings settings = LoadRunSettings(*shipped);
  EXPECT_TRUE(settings.saturationIndices && settings.waterQuality);
}

// Antarcticite, CaCl2·6H2O, added on the first empty row with made-up constants (log K 4, ΔH 10 kJ/mol): its SI on the
// Batch sheet is log a(Ca2+) + 2 log a(Cl-) + 6 log a(H2O) - log K of the row's own cells (AJ, AL, CR), at 25 °C.
TEST(MineralRun, BatchAndMainSheetsCarryTheColumnsAndAPhaseAUserAdded) {
  MemoryWorkbook wb = Book();
  const char* const antarcticite[] = {"A107", "B107", "C107", "G107", "M107", "N107", "O107", "V107"};
  const CellValue values[] = {
      Text("Antarcticite"), Text("CaCl2:6H2O"), Num(1), Num(2), Num(6), Num(4), Text("van 't Hoff"), Num(10)};
  for (int i = 0; i < 8; ++i) Put(wb.Sheet(3), antarcticite[i], values[i]);
  ASSERT_EQ(RunOn(wb, DataSheet::Batch), "");
  const MemoryWorksheet& batch = wb.Sheet(2);
  EXPECT_EQ(Get(batch, "CI1").text, "Hardness mmol/L");
  EXPECT_EQ(Get(batch, "CR1").text, "log a H2O");
  EXPECT_EQ(Get(batch, "DC1").text, "SI Aragonite");
  EXPECT_EQ(Get(batch, "DS1").text, "SI Antarcticite"); // the 17th phase
  EXPECT_TRUE(Get(batch, "DT1").IsEmpty());
  for (const char* row : {"2", "3"}) {
    const auto at = [&](const char* column) { return NumberIn(batch, fmt::format("{}{}", column, row)); };
    EXPECT_NEAR(at("DS"), at("AJ") + 2 * at("AL") + 6 * at("CR") - 4, 1e-12) << row;
    EXPECT_NEAR(at("CI"), at("CI") > 60 ? 10.5241 + 54.372 : 0.26 + 0.071, 1e-12) << row; // Ca + Mg, mmol/L
  }
  EXPECT_EQ(Get(batch, "DP3").text, "nd"); // sylvite without potassium
  EXPECT_NEAR(NumberIn(batch, "DP2"), NumberIn(batch, "AI2") + NumberIn(batch, "AL2") - 0.9, 1e-12);

  ASSERT_EQ(RunOn(wb, DataSheet::Main), "");
  const MemoryWorksheet& main = wb.Sheet(1);
  std::vector<std::string> headings;
  for (const char* cell : {"A24", "J24", "A28", "B28", "A29", "A45"}) headings.push_back(Get(main, cell).text);
  EXPECT_THAT(headings, ElementsAre("Hardness mmol/L", "log a H2O", "Phase", "SI", "Aragonite", "Antarcticite"));
  for (int i = 0; i < 10; ++i) // A25:J25 in the order of CI2:CR2, seawater on both sheets
    EXPECT_EQ(main.Value(25, 1 + i).number, batch.Value(2, layout::Column("CI") + i).number) << i;
  for (int k = 0; k < 17; ++k)
    EXPECT_EQ(NumberIn(main, fmt::format("B{}", 29 + k)), batch.Value(2, layout::Column("DC") + k).number) << k;
}

TEST(MineralRun, BadPhaseTablesSettingsAndHeadingsStopTheRunBeforeAnythingIsWritten) {
  using Puts = std::vector<std::tuple<int, const char*, CellValue>>; // worksheet, cell, value
  const DataSheet M = DataSheet::Main, B = DataSheet::Batch;
  std::vector<std::tuple<DataSheet, Puts, std::vector<const char*>>> cases = {
      {M, {{4, "E30", Text("maybe")}}, {"E30", "\"no\" or \"yes\""}},
      {B, {{4, "E31", Num(1)}}, {"E31", "\"no\" or \"yes\""}},
      {M, {{3, "A89", {}}}, {"A89", "\"Phases\"", "E30"}},
      {B, {{3, "C91", Text("one")}}, {"C91", "\"one\" is not a number"}},
      {B, {{3, "N92", {}}}, {"N92", "log K", "empty"}},
      {M, {{3, "O93", Text("cubic")}}, {"O93", "\"cubic\""}},
      {B, {{3, "A107", Text("aragonite")}, {3, "N107", Num(1)}}, {"A107", "used twice", "A91"}},
      {B, {{3, "A107", Num(5)}}, {"A107", "number"}},
      {B, {{3, "W95", Num(1)}}, {"W95", "H2O"}},
      {B, {{2, "CI1", Text("Remarks")}}, {"CI1", "Remarks", "Hardness"}},
      {B, {{2, "DD1", Text("SI Calcite")}}, {"DD1", "SI Dolomite"}},
      {M, {{1, "A28", Text("notes")}}, {"A28", "Phase"}},
      {M, {{4, "J8", {}}}, {"J8", "molar mass"}}};
  cases.push_back({B, {}, {"A151", "60"}}); // 16 shipped phases and 45 more on rows 107 to 151
  for (auto& [mode, puts, texts] : cases) {
    MemoryWorkbook wb = Book();
    for (const auto& [sheet, cell, value] : puts) Put(wb.Sheet(sheet), cell, value);
    if (puts.empty())
      for (int row = 107; row <= 151; ++row) {
        wb.Sheet(3).Put(row, 1, CellValue::Text(fmt::format("phase {}", row)));
        wb.Sheet(3).Put(row, layout::Column("N"), Num(1));
      }
    const std::string error = RunOn(wb, mode);
    for (const char* text : texts) EXPECT_THAT(error, HasSubstr(text)) << texts[0];
    for (int n = 1; n <= 4; ++n) EXPECT_TRUE(wb.Sheet(n).Writes().empty()) << texts[0] << " " << n;
  }
}

// A failed sample keeps no earlier run's values beside its inputs.
TEST(MineralRun, AFailedSampleLosesTheValuesOfAnEarlierRun) {
  MemoryWorkbook wb = Book();
  Put(wb.Sheet(4), "E26", Text("continue"));
  Put(wb.Sheet(2), "B3", Num(30)); // pH 30: no water
  for (const char* cell : {"CI3", "CR3", "DC3", "DR3"}) Put(wb.Sheet(2), cell, Num(9));
  ASSERT_EQ(RunOn(wb, DataSheet::Batch), "");
  EXPECT_THAT(Get(wb.Sheet(2), "CE3").text, HasSubstr("B3"));
  for (const char* cell : {"CI3", "CR3", "DC3", "DR3"}) EXPECT_TRUE(Get(wb.Sheet(2), cell).IsEmpty()) << cell;
}

// With both settings off nothing is written in their places.
TEST(MineralRun, WithTheSettingsOffTheirColumnsStayEmpty) {
  MemoryWorkbook wb = Book();
  Put(wb.Sheet(4), "E30", Text("no"));
  Put(wb.Sheet(4), "E31", {});
  Put(wb.Sheet(3), "C91", Text("ignored: no phases are read"));
  ASSERT_EQ(RunOn(wb, DataSheet::Batch), "");
  ASSERT_EQ(RunOn(wb, DataSheet::Main), "");
  for (const auto& [row, column] : wb.Sheet(2).Writes()) EXPECT_LT(column, layout::Column("CI"));
  for (const auto& [row, column] : wb.Sheet(1).Writes()) EXPECT_LT(row, 24);
}

} // namespace
} // namespace vontralek
