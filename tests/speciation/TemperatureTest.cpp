// Water at its own temperature: the Davies slope and log K at T, the
// temperature data as read from a block or a table, and the ion-association
// model against PHREEQC 3.8.8 at 5 to 60 °C.

#include <algorithm>
#include <cmath>
#include <iostream>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "ReferenceSpeciation.h"
#include "SpeciationTestSupport.h"
#include "common/Errors.h"
#include "speciation/Temperature.h"

namespace vontralek {
namespace {

using testsupport::ReadTable, testsupport::Sample, testsupport::Waters;
using Row = std::map<std::string, std::string>;

testdata::FixedWeightedSum weights;

double Number(const Row& row, const std::string& heading) { return std::stod(row.at(heading)); }

// data/logk-temperature.csv through the loader-independent reader, as the
// table mode fills the state.
Table<TemperatureRecord, 30> ShippedTemperatureData() {
  static const std::vector<Row> table = ReadTable(VONTRALEK_DATA_DIR "/logk-temperature.csv");
  const char* const headings[TemperatureFields] = {"form", "A1", "A2", "A3", "A4", "A5", "A6", "delta_h_kJ_mol"};
  TemperatureDataRows rows{};
  for (const Row& row : table)
    for (int field = 0; field < TemperatureFields; ++field)
      rows[std::stoul(row.at("row")) - 1][field].text = row.at(headings[field]);
  Table<TemperatureRecord, 30> data;
  FillTemperatureTable(data, rows);
  return data;
}

ModelState AtTemperature(const testdata::ExampleWater& water, CarbonatePair pair, double celsius) {
  ModelState s = Sample(water, pair, SpeciationModel::IonAssociation);
  s.TemperatureTable = ShippedTemperatureData();
  s.TemperatureGiven = true;
  s.TemperatureC = celsius;
  return s;
}

// Reference: the Bradley-Pitzer permittivity, Kell density and the slope
// formula evaluated independently at 0 to 90 °C, beside PHREEQC's own A.
TEST(WaterAtTemperature, PermittivityDensityAndDaviesSlopeMatchTheReferenceTable) {
  const auto rows = ReadTable(SPECIATION_TEST_DATA "/davies-a-temperature.csv");
  ASSERT_EQ(rows.size(), 13u);
  for (const Row& f : rows) {
    const double T = Number(f, "temp_C") + ZeroCelsiusK, eps = Number(f, "eps_bradley_pitzer"),
                 rho = Number(f, "rho_kell_g_cm3");
    EXPECT_NEAR(WaterDielectricConstant(T), eps, 1e-9 * eps) << f.at("temp_C");
    EXPECT_NEAR(WaterDensity(T), rho, 1e-9 * rho) << f.at("temp_C");
    EXPECT_NEAR(DaviesSlope(T), Number(f, "A_formula"), 1e-9) << f.at("temp_C");
    EXPECT_NEAR(DaviesSlope(T), Number(f, "A_phreeqc"), 7.4e-6) << f.at("temp_C");
  }
}

TEST(WaterAtTemperature, LogKIsAnchoredAtTwentyFiveDegrees) {
  const Table<TemperatureRecord, 30> data = ShippedTemperatureData();
  ModelState s = Sample({}, CarbonatePair::None);
  // Evaluated by hand (40 digits) from the coefficients of the data file:
  // log K25 + f(T) - f(298.15); Kw analytic, calcite analytic, CaSO4 and NaCO3-
  // van 't Hoff (ΔH 6.9036 and 37.27944 kJ/mol).
  const std::tuple<int, double, double> cases[] = {{2, 5, -14.732200515041489},  {2, 60, -13.032296575973562},
                                                   {5, 5, -8.3941936135501972},  {5, 60, -8.7587958790267144},
                                                   {21, 5, 2.213038010904417},   {21, 60, 2.4270593883149894},
                                                   {27, 5, 0.80040525888385168}, {27, 60, 1.956120696900943}};
  for (const auto& [row, celsius, logK] : cases)
    EXPECT_NEAR(LogKAtTemperature(s.ConstantTable[row].LogK, data[row], celsius + ZeroCelsiusK), logK, 1e-11)
        << "row " << row << " at " << celsius;
  for (int row = 1; row <= 30; ++row) // at 25 °C the anchor comes back; an absent constant stays 0
    EXPECT_EQ(LogKAtTemperature(s.ConstantTable[row].LogK, data[row], 25 + ZeroCelsiusK), s.ConstantTable[row].LogK);
  EXPECT_EQ(LogKAtTemperature(0.0, data[21], 333.15), 0.0);
  EXPECT_EQ(LogKAtTemperature(1.25, TemperatureRecord{}, 333.15), 1.25);
}

TEST(TemperatureData, BadFormsAndTextCoefficientsAreRefusedNamingTheirPlace) {
  std::array<TemperatureValue, TemperatureFields> values{};
  values[0].text = " Van 't Hoff ";
  values[2].number = 0.5;
  values[7].text = " -4.5e1 ";
  TemperatureRecord record = ReadTemperatureRecord(values);
  EXPECT_EQ(record.Form, TemperatureForm::VantHoff);
  EXPECT_EQ(record.A[2], 0.5);
  EXPECT_EQ(record.DeltaH, -45.0);
  EXPECT_EQ(record.A[1], 0.0); // empty counts as 0

  // A bad value anywhere: the table is left as it was, the row and field named.
  TemperatureDataRows rows{};
  Table<TemperatureRecord, 30> table;
  table[3].DeltaH = 7.0;
  const Table<TemperatureRecord, 30> before = table;
  const auto refusal = [&](int row, int field, const char* text) {
    TemperatureDataRows bad = rows;
    bad[row - 1][field].text = text;
    try {
      FillTemperatureTable(table, bad);
    } catch (const TemperatureDataError& error) {
      EXPECT_EQ(error.row(), row);
      EXPECT_EQ(error.field(), field);
      EXPECT_TRUE(table == before);
      return std::string(error.what());
    }
    return std::string("accepted");
  };
  using ::testing::AllOf, ::testing::HasSubstr;
  EXPECT_THAT(refusal(30, 0, "linear"), AllOf(HasSubstr("\"linear\" is not one of \"analytic\", \"van 't Hoff\""),
                                              HasSubstr("equilibrium constant 30")));
  EXPECT_THAT(refusal(5, 4, "warm"), HasSubstr("coefficient A4 \"warm\" is not a number"));
  EXPECT_THAT(refusal(1, 7, "1,5"), HasSubstr("reaction enthalpy (kJ/mol) \"1,5\" is not a number"));
  values[0].number = 1.0; // a number where the form belongs
  EXPECT_THROW(ReadTemperatureRecord(values), TemperatureDataError);
}

TEST(Temperature, OutsideZeroToHundredDegreesTheSampleFails) {
  for (double celsius : {-0.5, 100.5, 150.0, std::nan("")}) {
    ModelState s = AtTemperature(Waters()[4], CarbonatePair::AlkalinityPH, celsius);
    const ModelState before = s;
    EXPECT_THROW(
        {
          try {
            SolveSpeciation(s, weights);
          } catch (const SampleFailure& failure) {
            EXPECT_THAT(failure.what(), ::testing::HasSubstr("°C is outside 0 to 100 °C"));
            throw;
          }
        },
        SampleFailure)
        << celsius;
    if (!std::isnan(celsius)) {
      EXPECT_TRUE(s == before);
    }
  }
  for (double celsius : {0.0, 100.0}) {
    ModelState s = AtTemperature(Waters()[4], CarbonatePair::AlkalinityPH, celsius);
    EXPECT_NO_THROW(SolveSpeciation(s, weights)) << celsius;
  }
}

TEST(Temperature, ConstantsFollowTheTemperatureFromSampleToSample) {
  // One state as in a batch: each solve must equal, bit for bit, the same
  // solve from the same state without the solver's memo of K, whatever
  // temperature or data the sample before had.
  ModelState batch = AtTemperature(Waters()[1], CarbonatePair::AlkalinityPH, 5.0);
  const std::tuple<double, bool, double> steps[] = {{5, true, 0},   {60, true, 0}, {60, true, 0.25},
                                                    {60, false, 0}, {25, true, 0}, {25, false, 0}};
  double noTemperatureSI = 0.0, at25SI = 0.0;
  for (const auto& [celsius, given, calciteA1] : steps) {
    batch.TemperatureC = celsius;
    batch.TemperatureGiven = given;
    batch.TemperatureTable[5].A[1] = ShippedTemperatureData()[5].A[1] + calciteA1;
    ModelState alone = batch;
    alone.Memo = SolverMemo{};
    SolveSpeciation(batch, weights);
    SolveSpeciation(alone, weights);
    EXPECT_EQ(reference::FirstDifference(batch, alone), "") << celsius << " " << given << " " << calciteA1;
    (given ? at25SI : noTemperatureSI) = batch.SaturationIndexCalcite;
  }
  // At 25 °C the user's log K comes back to the bit, but the Davies slope is
  // 0.5100, not 0.512: a temperature of 25 °C is not the same as none.
  EXPECT_EQ(batch.ConstantTable[5].SampleLogK, batch.ConstantTable[5].LogK);
  EXPECT_NE(at25SI, noTemperatureSI);
  EXPECT_NEAR(at25SI, noTemperatureSI, 1e-2);
}

TEST(Temperature, IonAssociationAgreesWithPhreeqcFromFiveToSixtyDegrees) {
  // PHREEQC 3.8.8 with these log K(T) expressions, the same activity rules and
  // its own Davies A (column DH_A, within 7.4e-6 of ours); molalities stand for
  // mol/L. Pairs "B" and "C" take its pCO2 and its carbonate totals (free ion
  // and complexes).
  const char* const freeIons[12] = {"",     "H+",  "OH-",  "Na+",   "K+",    "Ca+2",
                                    "Mg+2", "Cl-", "NO3-", "SO4-2", "HCO3-", "CO3-2"};
  const std::pair<const char*, int> complexes[] = {{"CaOH+", 3},    {"MgOH+", 4},   {"NaSO4-", 13}, {"KSO4-", 14},
                                                   {"CaSO4", 15},   {"MgSO4", 16},  {"NaHCO3", 17}, {"CaHCO3+", 19},
                                                   {"MgHCO3+", 20}, {"NaCO3-", 21}, {"CaCO3", 23},  {"MgCO3", 24}};
  std::map<std::string, double> largest; // relative for amounts, absolute for logarithms
  const auto compare = [&](double actual, double expected, const std::string& what, bool logarithm,
                           const std::string& label) {
    const double deviation = logarithm ? std::fabs(actual - expected) : std::fabs(actual - expected) / expected;
    if (expected == 0.0 && !logarithm) {
      EXPECT_EQ(actual, 0.0) << label << what;
      return;
    }
    EXPECT_LE(deviation, logarithm ? 1e-5 : 1e-4) << label << what;
    largest[what] = std::max(largest[what], deviation);
  };
  int compared = 0;
  for (const Row& ref : ReadTable(SPECIATION_TEST_DATA "/reference-temperature.csv")) {
    const auto& water = *std::find_if(Waters().begin(), Waters().end(), [&](auto& w) { return w.id == ref.at("id"); });
    for (CarbonatePair pair :
         {CarbonatePair::AlkalinityPH, CarbonatePair::AlkalinityPCO2, CarbonatePair::BicarbonateCarbonate}) {
      ModelState s = AtTemperature(water, pair, Number(ref, "temp_C"));
      const std::string label =
          ref.at("id") + " at " + ref.at("temp_C") + " °C pair " + std::to_string(static_cast<int>(pair)) + ": ";
      if (pair == CarbonatePair::AlkalinityPCO2) s.PCO2 = Number(ref, "pCO2");
      if (pair == CarbonatePair::BicarbonateCarbonate) {
        s.Alkalinity = 0.0;
        s.SpeciesTable[10].TotalConc =
            Number(ref, "m_HCO3-") + Number(ref, "NaHCO3") + Number(ref, "CaHCO3+") + Number(ref, "MgHCO3+");
        s.SpeciesTable[11].TotalConc =
            Number(ref, "m_CO3-2") + Number(ref, "NaCO3-") + Number(ref, "CaCO3") + Number(ref, "MgCO3");
      }
      SolveSpeciation(s, weights);
      compare(s.IonicStrength, Number(ref, "I"), "I", false, label);
      compare(s.PCO2, Number(ref, "pCO2"), "pCO2", false, label);
      compare(s.PH, Number(ref, "pH"), "pH", true, label);
      for (int n = 1; n <= 11; ++n) {
        compare(s.SpeciesTable[n].FreeConc, Number(ref, std::string("m_") + freeIons[n]), freeIons[n], false, label);
        compare(s.FreeIonGamma[n], Number(ref, std::string("gamma_") + freeIons[n]), "gamma", false, label);
      }
      compare(s.SpeciesTable[12].TotalConc, Number(ref, "m_CO2(aq)"), "CO2(aq)", false, label);
      for (const auto& [name, row] : complexes)
        compare(s.ComplexTable[row].FreeConc, Number(ref, name), name, false, label);
      compare(s.SaturationIndexCalcite, Number(ref, "SI_calcite"), "SI calcite", true, label);
      compare(s.SaturationIndexGypsum, Number(ref, "SI_gypsum"), "SI gypsum", true, label);
      compare(s.LogIapCaCO3, Number(ref, "logIAP_calcite"), "log IAP calcite", true, label);
      ++compared;
    }
  }
  EXPECT_EQ(compared, 75); // five waters, five temperatures, three pairs
  for (const auto& [what, deviation] : largest) std::cout << "largest deviation " << what << ": " << deviation << "\n";
}

} // namespace
} // namespace vontralek
