// Water at its own temperature: the Davies slope A(T) from the density and permittivity of water, log K at T by van 't
// Hoff and by the analytic form, the temperature data as a worksheet block or a table gives them, and samples from one
// temperature to the next.

#include <algorithm>
#include <cmath>
#include <string>
#include <tuple>

#include <gmock/gmock.h>

#include "ReferenceSpeciation.h"
#include "SpeciationTestSupport.h"
#include "common/Errors.h"
#include "speciation/Temperature.h"

namespace vontralek {
namespace {

using namespace testsupport;
using ::testing::AllOf, ::testing::HasSubstr;

FixedWeightedSum weights;

TEST(WaterAtTemperature, DaviesSlopeIsPhreeqcsFromZeroToHundredDegrees) {
  // data/davies-a-temperature.csv (0-90 °C): PHREEQC 3.8.8's A, 10 decimals, and the Bradley-Pitzer permittivity.
  const auto rows = ReadTable(SPECIATION_TEST_DATA "/davies-a-temperature.csv");
  ASSERT_EQ(rows.size(), 13u);
  for (const Row& f : rows) {
    const double T = Number(f, "temp_C") + ZeroCelsiusK, eps = Number(f, "eps_bradley_pitzer");
    EXPECT_NEAR(WaterDielectricConstant(T), eps, 1e-9 * eps) << f.at("temp_C");
    EXPECT_NEAR(DaviesSlope(T), Number(f, "A_phreeqc"), 1e-9 * Number(f, "A_phreeqc")) << f.at("temp_C");
  }
  // Independent arithmetic: the published equations evaluated with 30 digits (Python mpmath) at 0, 25, 50, 100 °C;
  // A, density (kg/m3), permittivity.
  const double expected[4][4] = {{0, 0.49083369657184, 999.840022398591, 87.8564189077332},
                                 {25, 0.510024789412357, 997.04301174236, 78.3844178405887},
                                 {50, 0.534578896287252, 988.0291189697, 69.8766362969019},
                                 {100, 0.600073132098894, 958.346803914418, 55.4594351587095}};
  for (const auto& [celsius, A, rho, eps] : expected) {
    const double T = celsius + ZeroCelsiusK;
    EXPECT_NEAR(DaviesSlope(T), A, 1e-12 * A) << celsius;
    EXPECT_NEAR(WaterDensity(T) * 1000, rho, 1e-12 * rho) << celsius;
    EXPECT_NEAR(WaterDielectricConstant(T), eps, 1e-12 * eps) << celsius;
  }
  // IAPWS-95 (Wagner and Pruss 2002): 997.047 kg/m3 at 25 °C and 1 atm; the density is largest near 3.98 °C.
  EXPECT_NEAR(WaterDensity(298.15), 0.997047, 1e-5);
  EXPECT_GT(WaterDensity(277.13), std::max(WaterDensity(276.15), WaterDensity(278.15)));
}

TEST(WaterAtTemperature, LogKFollowsVantHoffAndTheAnalyticFormAtTheSampleTemperature) {
  // Hand arithmetic, T = t + 273.15 K. van 't Hoff, ΔH = -20 kJ/mol (exothermic: K falls as T rises), log K 2 at 25 °C:
  // 20 / (ln 10 · 0.0083147) = 1044.64257737 K, times 1/T - 1/298.15 = 2.41166021e-4 (5 °C), -3.52365527e-4 (60 °C).
  // Analytic, A1..A6 = 1, 0.01, -1000, 2, 1e5, 1e-5, log K -3 at 25 °C: the terms A2 ΔT, A3 Δ(1/T), A4 Δlog10 T,
  // A5 Δ(1/T²), A6 Δ(T²) are -0.2, -0.24116602, -0.06031150, 0.16759106, -0.11526 at 5 °C and 0.35, 0.35236553,
  // 0.09641001, -0.22395181, 0.220955 at 60 °C.
  for (const auto& [celsius, vantHoff, analytic] :
       {std::tuple{5.0, 2.0 + 1044.64257737 * 2.41166021e-4,
                   -3.0 - 0.2 - 0.24116602 - 0.06031150 + 0.16759106 - 0.11526},
        std::tuple{60.0, 2.0 - 1044.64257737 * 3.52365527e-4,
                   -3.0 + 0.35 + 0.35236553 + 0.09641001 - 0.22395181 + 0.220955}}) {
    ModelState s = AtTemperature(Waters()[4], CarbonatePair::AlkalinityPH, celsius);
    s.ConstantTable[19].LogK = 2.0, s.TemperatureTable[19] = {TemperatureForm::VantHoff, {}, -20.0};
    s.ConstantTable[25].LogK = -3.0,
    s.TemperatureTable[25] = {TemperatureForm::Analytic, {0, 1, 0.01, -1000, 2, 1e5, 1e-5}};
    SolveSpeciation(s, weights);
    EXPECT_NEAR(s.ConstantTable[19].SampleLogK, vantHoff, 1e-8) << celsius;
    EXPECT_NEAR(s.ConstantTable[25].SampleLogK, analytic, 1e-8) << celsius;
  }
}

TEST(WaterAtTemperature, LogKIsAnchoredAtTwentyFiveDegrees) {
  // PHREEQC at 5-60 °C checks log K(T); here: at 25 °C the user's log K comes back to the bit, an absent one stays 0.
  const Table<TemperatureRecord, 30> data = ShippedTemperatureData();
  const ModelState s = Sample({}, CarbonatePair::None);
  for (int row = 1; row <= 30; ++row)
    EXPECT_EQ(LogKAtTemperature(s.ConstantTable[row].LogK, data[row], 25 + ZeroCelsiusK), s.ConstantTable[row].LogK);
  EXPECT_EQ(LogKAtTemperature(0.0, data[21], 333.15) + LogKAtTemperature(1.25, TemperatureRecord{}, 333.15), 1.25);
}

TEST(TemperatureData, BadFormsAndTextCoefficientsAreRefusedNamingTheirPlace) {
  std::array<TemperatureValue, TemperatureFields> values{};
  values[0].text = " Van 't Hoff ", values[2].number = 0.5, values[7].text = " -4.5e1 ";
  const TemperatureRecord record = ReadTemperatureRecord(values); // an empty A1 counts as 0
  EXPECT_EQ(std::tuple(record.Form, record.A[1], record.A[2], record.DeltaH),
            std::tuple(TemperatureForm::VantHoff, 0.0, 0.5, -45.0));
  values[0].number = 1.0; // a number where the form belongs
  EXPECT_THROW(ReadTemperatureRecord(values), TemperatureDataError);
  // A bad value anywhere: the table is left as it was, the row and field named.
  Table<TemperatureRecord, 30> table;
  table[3].DeltaH = 7.0;
  const Table<TemperatureRecord, 30> before = table;
  const auto refusal = [&](int row, int field, const char* text) {
    TemperatureDataRows bad{};
    bad[row - 1][field].text = text;
    try {
      FillTemperatureTable(table, bad);
    } catch (const TemperatureDataError& error) {
      EXPECT_EQ(std::tuple(error.row(), error.field(), table == before), std::tuple(row, field, true));
      return std::string(error.what());
    }
    return std::string("accepted");
  };
  EXPECT_THAT(refusal(30, 0, "linear"), AllOf(HasSubstr("\"linear\" is not one of \"analytic\", \"van 't Hoff\""),
                                              HasSubstr("equilibrium constant 30")));
  EXPECT_THAT(refusal(5, 4, "warm"), HasSubstr("coefficient A4 \"warm\" is not a number"));
  EXPECT_THAT(refusal(1, 7, "1,5"), HasSubstr("reaction enthalpy (kJ/mol) \"1,5\" is not a number"));
}

TEST(Temperature, OutsideZeroToHundredDegreesTheSampleFails) {
  for (double celsius : {-0.5, 100.5, 150.0, std::nan(""), 0.0, 100.0}) {
    ModelState s = AtTemperature(Waters()[4], CarbonatePair::AlkalinityPH, celsius);
    const ModelState before = s;
    std::string message = "no failure";
    try {
      SolveSpeciation(s, weights);
    } catch (const SampleFailure& failure) {
      message = failure.what();
      EXPECT_TRUE(std::isnan(celsius) || s == before); // a NaN is not equal to itself
    }
    EXPECT_EQ(message.find("°C is outside 0 to 100 °C") != std::string::npos, !(celsius >= 0 && celsius <= 100))
        << celsius << ": " << message;
  }
}

TEST(Temperature, ConstantsFollowTheTemperatureFromSampleToSample) {
  // One state as in a batch: each solve equals, bit for bit, the same solve without the solver's memo of K, whatever
  // temperature or data the sample before had (calcite's A2, the T term: A1 cancels in log K(T) - log K(25 °C)).
  ModelState batch = AtTemperature(Waters()[1], CarbonatePair::AlkalinityPH, 5.0);
  const std::tuple<double, bool, double> steps[] = {{5, true, 0},   {60, true, 0}, {60, true, 1e-3},
                                                    {60, false, 0}, {25, true, 0}, {25, false, 0}};
  double noTemperatureSI = 0.0, at25SI = 0.0;
  for (const auto& [celsius, given, calciteA2] : steps) {
    batch.TemperatureC = celsius;
    batch.TemperatureGiven = given;
    batch.TemperatureTable[5].A[2] = ShippedTemperatureData()[5].A[2] + calciteA2;
    ModelState alone = batch;
    alone.Memo = SolverMemo{};
    SolveSpeciation(batch, weights);
    SolveSpeciation(alone, weights);
    EXPECT_EQ(reference::FirstDifference(batch, alone), "") << celsius << " " << given << " " << calciteA2;
    (given ? at25SI : noTemperatureSI) = batch.SaturationIndexCalcite;
  }
  // At 25 °C log K comes back to the bit, but the Davies slope is 0.5100, not 0.512: 25 °C is not the same as none.
  EXPECT_EQ(batch.ConstantTable[5].SampleLogK, batch.ConstantTable[5].LogK);
  EXPECT_TRUE(at25SI != noTemperatureSI && std::fabs(at25SI - noTemperatureSI) < 1e-2) << at25SI - noTemperatureSI;
}

} // namespace
} // namespace vontralek
