// Water at its own temperature: the Davies slope A(T) from the density and permittivity of water, and log K at T by
// van 't Hoff and by the analytic form, through a solve that gives the temperature in °C.

#include <cmath>
#include <string>

#include <gtest/gtest.h>

#include "SpeciationTestSupport.h"
#include "speciation/Temperature.h"

namespace vontralek {
namespace {

using namespace testsupport;

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

} // namespace
} // namespace vontralek
