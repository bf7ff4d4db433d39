// Samples without a result: impossible inputs and iterations that end at
// their pass limit unconverged fail with a reason and leave the state as it
// was; every other sample is calculated with closed mass balances.

#include <cfenv>
#include <cmath>
#include <iostream>
#include <random>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "SpeciationTestSupport.h"
#include "common/Errors.h"

namespace vontralek {
namespace {

using ::testing::HasSubstr;
using namespace testsupport;

FixedWeightedSum weights;

// The message of the SampleFailure a solve throws ("no failure" if none); on
// a failure the state must come back as it was, and the caller's status flags
// always.
std::string FailureOf(ModelState& s) {
  const ModelState before = s;
  std::feclearexcept(FE_ALL_EXCEPT);
  std::string message = "no failure";
  try {
    SolveSpeciation(s, weights);
  } catch (const SampleFailure& failure) {
    message = failure.what();
    EXPECT_TRUE(s == before) << message;
  }
  EXPECT_EQ(std::fetestexcept(FE_ALL_EXCEPT), 0) << message;
  return message;
}

TEST(SampleFailure, ImpossibleInputsNameTheirCombination) {
  const ExampleWater& river = Waters()[4];
  for (SpeciationModel model : {SpeciationModel::AsSpecified, SpeciationModel::IonAssociation}) {
    // At pH 10.5 hydroxide alone is Kw / 10^-10.5 = 0.32 meq/L, more than the
    // whole alkalinity of 0.2 meq/L: no carbonate can make up the balance.
    ModelState alkaline = Sample(river, CarbonatePair::AlkalinityPH, model);
    alkaline.PH = 10.5;
    alkaline.Alkalinity = 0.2e-3;
    EXPECT_THAT(FailureOf(alkaline),
                HasSubstr("pH 10.5 with alkalinity 0.2 meq/L leaves no carbonate: the computed pCO2 is negative"));
    // H+ = K2' HCO3- / CO3 2- is negative with a negative carbonate.
    ModelState carbonate = Sample(river, CarbonatePair::BicarbonateCarbonate, model);
    carbonate.SpeciesTable[10].TotalConc = 1e-3;
    carbonate.SpeciesTable[11].TotalConc = -1e-5;
    EXPECT_THAT(FailureOf(carbonate), HasSubstr("carbonate -0.01 mmol/L gives a negative hydrogen-ion concentration"));
    // A negative sodium total leaves negative free sodium.
    ModelState sodium = Sample(river, CarbonatePair::AlkalinityPH, model);
    sodium.SpeciesTable[3].TotalConc = -1e-4;
    EXPECT_THAT(FailureOf(sodium), HasSubstr("free concentration of cation 1 (sodium) came out -0.0999"));
  }
}

TEST(SampleFailure, AnUnconvergedIterationIsNoResult) {
  // Seawater concentrated fivefold (I about 3 mol/L, far beyond the Davies
  // equation): the procedure as specified still changes the ionic strength by
  // 0.005 % per pass at its limit of 101 passes; the ion-association model
  // converges on it.
  ExampleWater brine = Waters()[0];
  for (double& total : brine.totals) total *= 5;
  brine.alkalinity *= 5;
  ModelState specified = Sample(brine, CarbonatePair::AlkalinityPH);
  EXPECT_THAT(FailureOf(specified),
              HasSubstr("did not converge after 101 passes: the ionic strength still changes by 0.00"));
  ModelState ionAssociation = Sample(brine, CarbonatePair::AlkalinityPH, SpeciationModel::IonAssociation);
  EXPECT_EQ(FailureOf(ionAssociation), "no failure");
  EXPECT_LT(testsupport::LargestMassBalanceGap(ionAssociation), 1e-12);

  // Without charges the ionic strength stays 0 and the outer iteration ends
  // after one pass; calcium and sulfate bound by log K 12 in equal totals
  // settle by far too slowly for 101 mass-balance passes.
  ModelState neutral = Sample(Waters()[1], CarbonatePair::AlkalinityPH);
  for (int n = 1; n <= 12; ++n) neutral.SpeciesTable[n].Charge = 0.0;
  for (int n = 1; n <= 24; ++n) neutral.ComplexTable[n].Charge = 0.0;
  neutral.ConstantTable[21].LogK = 12.0;
  neutral.SpeciesTable[5].TotalConc = neutral.SpeciesTable[9].TotalConc;
  EXPECT_THAT(FailureOf(neutral),
              HasSubstr("did not converge after 101 passes of the mass balances: the free concentration of sulfate "
                        "still changes by"));
}

TEST(SampleFailure, RandomWatersAreCalculatedWithClosedBalancesOrFailWithAReason) {
  // 10,000 waters per model on one state, as in a batch: pH 4 to 10,
  // alkalinity 0.05 to 20 meq/L, each of the seven ions 0.01 to 600 mmol/L
  // (log-uniform); the pairs in turn, pair "B" with the pCO2 and pair "C" with
  // the carbonate totals that the pH and alkalinity give in dilute water
  // (K1 KH = 10^-7.82, K2 = 10^-10.33).
  for (SpeciationModel model : {SpeciationModel::AsSpecified, SpeciationModel::IonAssociation}) {
    std::mt19937_64 random(20261207);
    std::uniform_real_distribution<double> pHs(4.0, 10.0), logAlkalinity(std::log10(0.05), std::log10(20.0)),
        logIon(-2.0, std::log10(600.0));
    ModelState s = Sample({}, CarbonatePair::AlkalinityPH, model);
    int calculated = 0, failed = 0;
    for (int sample = 0; sample < 10000; ++sample) {
      const double pH = pHs(random), alkalinity = std::pow(10.0, logAlkalinity(random)) / 1000;
      for (int n = 3; n <= 9; ++n) s.SpeciesTable[n].TotalConc = std::pow(10.0, logIon(random)) / 1000;
      const double H = std::pow(10.0, -pH), K2 = std::pow(10.0, -10.33);
      const double bicarbonate = alkalinity / (1.0 + 2.0 * K2 / H);
      s.InputPair = static_cast<CarbonatePair>(1 + sample % 3);
      s.PH = pH;
      s.Alkalinity = s.InputPair == CarbonatePair::BicarbonateCarbonate ? 0.0 : alkalinity;
      s.PCO2 = bicarbonate * H / std::pow(10.0, -7.82);
      s.SpeciesTable[10].TotalConc = bicarbonate;
      s.SpeciesTable[11].TotalConc = bicarbonate * K2 / H;
      const ModelState before = s;
      try {
        SolveSpeciation(s, weights);
      } catch (const VontralekError& error) {
        ASSERT_TRUE(s == before) << "sample " << sample;
        ASSERT_GT(std::string(error.what()).size(), 20u) << "sample " << sample;
        ++failed;
        continue;
      }
      ASSERT_LE(testsupport::LargestMassBalanceGap(s), 1e-9) << "sample " << sample;
      ASSERT_TRUE(s.PCO2 >= 0.0 && std::isfinite(s.PCO2) && std::isfinite(s.PH) && s.IonicStrength > 0.0)
          << "sample " << sample;
      ++calculated;
    }
    std::cout << (model == SpeciationModel::AsSpecified ? "as specified" : "ion association") << ": " << calculated
              << " calculated, " << failed << " failed of 10000\n";
    EXPECT_GT(calculated, 5000);
  }
}

} // namespace
} // namespace vontralek
