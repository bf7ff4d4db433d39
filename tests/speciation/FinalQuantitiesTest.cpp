#include <cmath>

#include <gtest/gtest.h>

#include "DefaultParameters.h"
#include "StateCompare.h"
#include "model/Errors.h"
#include "speciation/Speciation.h"

namespace vontralek {
namespace {

using testdata::FixedWeightedSum;

// A converged state written by hand: every species at 1 mmol/L total, free
// concentrations n x 0.1 mmol/L, coefficients 0.8, the shipped charges.
ModelState HandState() {
  ModelState s;
  for (int n = 1; n <= 11; ++n) {
    auto& row = s.SpeciesTable[n];
    row.Charge = testdata::kSpeciesCharges[n - 1];
    row.TotalConc = 1e-3;
    row.FreeConc = n * 1e-4;
    row.Gamma = 0.8;
    row.SumWeight = 1.0;
  }
  s.SpeciesTable[12].Gamma = 1.0; // dissolved CO2, total computed from pCO2
  for (int n = 1; n <= 24; ++n) s.ComplexTable[n].Charge = testdata::kComplexCharges[n - 1];
  s.ConstantTable[1].ConditionalK = 0.03;
  s.PCO2 = 1e-3;
  s.PH = 7.5;
  return s;
}

TEST(FinalQuantities, ReferCoefficientsToTotalsAndDeriveCO2AndPH) {
  ModelState s = HandState();
  s.InputPair = std::string("B");
  FixedWeightedSum weights;
  ComputeFinalQuantities(s, weights);
  // Rows 3 to 11: 0.8 x (n x 0.1 mM) / 1 mM; rows 1 and 2 keep 0.8.
  EXPECT_DOUBLE_EQ(s.SpeciesTable[5].Gamma, 0.4);
  EXPECT_DOUBLE_EQ(s.SpeciesTable[11].Gamma, 0.88);
  EXPECT_EQ(s.SpeciesTable[1].Gamma, 0.8);
  // Dissolved CO2 = KH' x pCO2 = 0.03 x 1e-3.
  EXPECT_DOUBLE_EQ(s.SpeciesTable[12].TotalConc, 3e-5);
  EXPECT_DOUBLE_EQ(s.SpeciesTable[12].FreeConc, 3e-5);
  // pH = -log10(0.8 x 1e-3) = 3.0969100130080565.
  EXPECT_NEAR(s.PH, 3.0969100130080565, 1e-13);
  // log IAP(CaCO3) = log10(0.88e-3) + log10(0.4e-3).
  EXPECT_NEAR(s.LogIapCaCO3, -3.0555173278498313 + -3.3979400086720375, 1e-13);
  EXPECT_TRUE(s.LogIapCaCO3Defined);
  s.InputPair = std::string("A");
  s.PH = 7.5;
  ComputeFinalQuantities(s, weights);
  EXPECT_EQ(s.PH, 7.5);
}

TEST(FinalQuantities, ARowWithoutTotalHasNoActivityAndNoProduct) {
  ModelState s = HandState();
  s.InputPair = std::string("A");
  FixedWeightedSum weights;
  ComputeFinalQuantities(s, weights);
  ASSERT_TRUE(s.SpeciesTable[5].LogActivityDefined);
  // The next sample has no calcium: its stale log activity must not make
  // either ion activity product look computed.
  s.SpeciesTable[5].TotalConc = 0.0;
  s.SpeciesTable[5].FreeConc = 0.0;
  s.SpeciesTable[8].TotalConc = -1e-6;
  ComputeFinalQuantities(s, weights);
  EXPECT_FALSE(s.SpeciesTable[5].LogActivityDefined);
  EXPECT_FALSE(s.SpeciesTable[8].LogActivityDefined);
  EXPECT_TRUE(s.SpeciesTable[9].LogActivityDefined);
  EXPECT_FALSE(s.LogIapCaCO3Defined);
  EXPECT_FALSE(s.LogIapCaSO4Defined);
  // Calcium back, carbonate gone: only the carbonate product is undefined.
  s.SpeciesTable[5].TotalConc = 1e-3;
  s.SpeciesTable[11].TotalConc = 0.0;
  ComputeFinalQuantities(s, weights);
  EXPECT_FALSE(s.LogIapCaCO3Defined);
  EXPECT_TRUE(s.LogIapCaSO4Defined);
}

TEST(FinalQuantities, WeightedSumRestartsFromItsStartValue) {
  ModelState s = HandState();
  s.SpeciesTable[12].Charge = 3.0; // row 12 stays out whatever it holds
  s.SpeciesTable[12].SumWeight = 1e6;
  s.ComplexTable[3].FreeConc = 1e-3; // CaOH+, charge +1
  s.ComplexTable[3].SumWeight = 2.0;
  FixedWeightedSum weights(7.0, 2.0);
  // Sum over rows 1..11 of z x n x 0.1 mmol/L = 0.1 x (1 - 2 + 3 + 4 + 10 + 12 - 7
  // - 8 - 18 - 10 - 22) = -3.7; CaOH+ adds 1 x 2 x 1 = 2: 7 + 2 x (-1.7) = 3.6.
  for (int solve = 1; solve <= 3; ++solve) {
    ComputeFinalQuantities(s, weights);
    EXPECT_NEAR(s.AuxTable[11].WeightedSum, 3.6, 1e-12) << "solve " << solve;
    EXPECT_EQ(s.AuxTable[11].SumScale, 2.0);
  }
  EXPECT_EQ(weights.calls, 3);
}

TEST(FinalQuantities, SodiumAdsorptionRatio) {
  ModelState s = HandState();
  FixedWeightedSum weights;
  // Na 10 mmol/L over sqrt(Ca + Mg) = sqrt(4 mmol/L): 5 (mmol/L)^0.5.
  s.SpeciesTable[3].TotalConc = 10e-3;
  s.SpeciesTable[5].TotalConc = 0.0;
  s.SpeciesTable[6].TotalConc = 4e-3;
  s.SpeciesTable[6].FreeConc = 4e-3; // coefficient stays 0.8
  s.SpeciesTable[3].FreeConc = 10e-3;
  ComputeFinalQuantities(s, weights);
  EXPECT_NEAR(s.Sar, 5.0, 1e-12);
  // With activities: 10 x 0.8 / sqrt(0.8 x 4) = 4.47213595499958.
  EXPECT_NEAR(s.SarActivity, 4.47213595499958, 1e-12);
  // Neither calcium nor magnesium: both ratios 0, and the earlier values gone.
  s.SpeciesTable[6].TotalConc = 0.0;
  EXPECT_NO_THROW(ComputeFinalQuantities(s, weights));
  EXPECT_EQ(s.Sar, 0.0);
  EXPECT_EQ(s.SarActivity, 0.0);
  // A negative calcium + magnesium has no square root: a fault, nothing changed.
  s.SpeciesTable[5].TotalConc = -1e-3;
  const ModelState before = s;
  try {
    ComputeFinalQuantities(s, weights);
    ADD_FAILURE() << "expected ArithmeticFault";
  } catch (const ArithmeticFault& fault) {
    EXPECT_EQ(std::string(fault.what()).rfind("invalid operation while computing the sodium adsorption ratio", 0), 0u)
        << fault.what();
  }
  EXPECT_EQ(testdata::FirstDifference(s, before), "");
}

} // namespace
} // namespace vontralek
