// The reactions in a workbook run: their settings, the columns they fill on both data sheets, a sample whose reaction
// cannot be solved, and the settings refused before anything is written.

#include <gmock/gmock.h>

#include <cmath>
#include <map>

#include "TestSupport.h"
#include "run/Run.h"

namespace vontralek {
namespace {

using namespace testing;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using workbook::MemoryWorksheet;

// PHREEQC 3.8.8's reactions of seawater analysed at 25 °C (tests/speciation/data/reference-reactions.csv), by case.
std::map<std::string, std::map<std::string, double>> SeawaterAt25() {
  std::map<std::string, std::map<std::string, double>> rows;
  for (const auto& f : CsvRecords(ReadFile(REACTIONS_REFERENCE)))
    if (f.at("id") == "SW" && (f.at("temp_C").starts_with("2.5") || f.at("case") == "t10_from25"))
      for (const auto& [name, value] : f)
        if (name != "case" && name != "id" && !value.empty()) rows[f.at("case")][name] = std::stod(value);
  return rows;
}

// Seawater at 25 °C, ion association, calcite saturation per sample and CO2 at 10^-3.4 atm: on the Main sheet and
// on Batch rows 2 (evaluated at 10 °C, CG2) and 3 (at its own temperature, CG3 empty).
MemoryWorkbook Book() {
  MemoryWorkbook wb = BatchBook({kSeawater, kSeawater});
  for (const auto& [cell, v] : {std::pair{"E23", Text("ion association")},
                                {"E29", Num(25)},
                                {"E32", Text("yes")},
                                {"E33", Text("Per Sample")},
                                {"E34", Num(std::pow(10.0, -3.4))},
                                {"E26", Text("continue")}})
    Put(wb.Sheet(4), cell, v);
  PutAnalysis(wb.Sheet(1), 5, 1, kSeawater);
  Put(wb.Sheet(2), "CG2", Num(10));
  return wb;
}

TEST(ReactionRun, BothSheetsCarryTheReactionsAsPhreeqcComputesThem) {
  const auto phreeqc = SeawaterAt25();
  ASSERT_EQ(phreeqc.size(), 4u);
  MemoryWorkbook wb = Book();
  ASSERT_EQ(RunOn(wb, DataSheet::Batch), "");
  ASSERT_EQ(RunOn(wb, DataSheet::Main), "");
  const MemoryWorksheet &batch = wb.Sheet(2), &main = wb.Sheet(1);
  // pH and SI within 1e-6, amounts (mmol/L from mol/kgw) within 1e-6 relative; the CO2 given off is a difference of
  // two DICs, held to 1e-6 of the DIC.
  const auto near = [&](const std::string& a1, double expected, bool logarithm, double scale = 0.0) {
    const double got = NumberIn(batch, a1);
    const double gap =
        logarithm ? std::fabs(got - expected) : std::fabs(got - expected) / std::fabs(scale ? scale : expected);
    EXPECT_LE(gap, 1e-6) << a1 << ": " << got << " against " << expected;
  };
  const double dic = phreeqc.at("speciate").at("tot_C") * 1000.0;
  near("CH3", dic, false);
  near("CS2", phreeqc.at("t10_from25").at("pH"), true);
  near("CT2", phreeqc.at("t10_from25").at("SI_Calcite"), true);
  EXPECT_EQ(NumberIn(batch, "CS3"), NumberIn(batch, "S3")); // at its own temperature: the sample's own pH
  near("CU3", phreeqc.at("calcite").at("pH"), true);
  near("CV3", -phreeqc.at("calcite").at("calcite_precipitated_mol") * 1000.0, false);
  // mg/L as CaCO3: mmol/L x 100.086 g/mol; the CCPP is the deposit, the capacity's negative.
  EXPECT_DOUBLE_EQ(NumberIn(batch, "CW3"), NumberIn(batch, "CV3") * 100.086);
  EXPECT_EQ(NumberIn(batch, "CX3"), -NumberIn(batch, "CW3"));
  near("CY3", phreeqc.at("co2").at("pH"), true);
  near("CZ3", phreeqc.at("co2").at("tot_C") * 1000.0, false);
  near("DA3", phreeqc.at("co2").at("SI_Calcite"), true);
  near("DB3", phreeqc.at("co2").at("CO2_degassed_mol") * 1000.0, false, dic);
  EXPECT_THAT((std::vector<std::string>{Get(batch, "CG1").text, Get(batch, "CH1").text, Get(batch, "CS1").text,
                                        Get(batch, "CX1").text, Get(batch, "DB1").text}),
              ElementsAre("Evaluation temperature/°C", "DIC/mmol/L", "pH evaluation", "CCPP/mg/L CaCO3",
                          "CO2 degassed/mmol/L"));
  // The Main sheet: the same water at its own temperature, row 29 in the order of CS:DB, DIC in X5.
  EXPECT_NEAR(NumberIn(main, "X5"), NumberIn(batch, "CH3"), 1e-12 * dic);
  const char* const mainCells[] = {"D29", "E29", "F29", "G29", "H29", "I29", "J29", "K29", "L29", "M29"};
  const char* const batchCells[] = {"CS3", "CT3", "CU3", "CV3", "CW3", "CX3", "CY3", "CZ3", "DA3", "DB3"};
  // (Solved from another start: equal to the last bits of the convergence.)
  for (int i = 0; i < 10; ++i)
    EXPECT_NEAR(NumberIn(main, mainCells[i]), NumberIn(batch, batchCells[i]),
                1e-9 * std::fabs(NumberIn(batch, batchCells[i])))
        << mainCells[i];
  EXPECT_EQ(Get(main, "W4").text, "Evaluation temperature/°C");
}

// A reaction that cannot be solved fails its sample like the speciation (tests/speciation/ReactionsTest.cpp gives the
// reasons); here the sample's own evaluation temperature cannot be used.
TEST(ReactionRun, ASampleWhoseReactionCannotBeDoneFailsWithItsReasonAndTheBatchGoesOn) {
  MemoryWorkbook wb = Book();
  Put(wb.Sheet(2), "CG2", Text("warm"));
  Put(wb.Sheet(2), "CS2", Num(99)); // an earlier run's value
  ASSERT_EQ(RunOn(wb, DataSheet::Batch), "");
  EXPECT_THAT(Get(wb.Sheet(2), "CE2").text, HasSubstr("CG2 (the sample's evaluation temperature) holds \"warm\""));
  EXPECT_TRUE(Get(wb.Sheet(2), "CS2").IsEmpty());
  EXPECT_EQ(Get(wb.Sheet(2), "CE3").text, "ok");
}

TEST(ReactionRun, SettingsThatCannotBeUsedAreRefusedBeforeAnythingIsWritten) {
  const std::pair<std::vector<std::pair<const char*, CellValue>>, const char*> cases[] = {
      {{{"E34", Text("air")}}, "E34 (\"Equilibrium pCO2\") holds \"air\", which is no CO2 pressure"},
      {{{"E34", Num(2)}}, "at most 1"},
      {{{"E33", Text("warm")}}, "E33 (\"Evaluation temperature\") holds \"warm\""},
      {{{"E33", Num(120)}}, "E33"},
      {{{"E23", Text("as specified")}}, "calculated with the ion-association model"},
  };
  for (const auto& [cells, message] : cases) {
    MemoryWorkbook wb = Book();
    for (const auto& [cell, v] : cells) Put(wb.Sheet(4), cell, v);
    EXPECT_THAT(RunOn(wb, DataSheet::Batch), HasSubstr(message));
    EXPECT_TRUE(wb.Sheet(2).Writes().empty()) << message;
  }
}

} // namespace
} // namespace vontralek
