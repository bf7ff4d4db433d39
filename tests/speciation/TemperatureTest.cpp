// Water at its own temperature: the Davies slope and log K at T, the temperature data as a worksheet block or a table
// gives them, and samples from one temperature to the next.

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
