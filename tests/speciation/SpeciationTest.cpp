#include <atomic>
#include <cfenv>
#include <cmath>
#include <new>
#include <random>

#include <gtest/gtest.h>

#include "ReferenceSpeciation.h"
#include "SpeciationTestSupport.h"
#include "common/Errors.h"

// Every allocation of the test program is counted, to show that a solve makes none.
static std::atomic<long> allocationCount{0};
[[gnu::noinline]] void* operator new(std::size_t size) {
  ++allocationCount;
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
[[gnu::noinline]] void operator delete(void* p) noexcept { std::free(p); }
[[gnu::noinline]] void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace vontralek {
namespace {

using namespace testsupport;
using reference::FirstDifference;

FixedWeightedSum weights{0.25, 1.5};

TEST(ActivityCoefficient, OnlyAnExactZeroChargeIsNeutral) {
  // The rules themselves are held against PHREEQC's coefficients of the same waters (PhreeqcAgreementTest). Here the
  // boundary: a tiny charge takes the Davies equation (g = 1 to 1e-15, not the neutral 10^(0.1 I) = 1.023) and its
  // square root of a negative ionic strength; a neutral species does not.
  EXPECT_NEAR(ComputeActivityCoefficient(0.1, 1e-12, false, 12), 1.0, 1e-15);
  EXPECT_NO_THROW(ComputeActivityCoefficient(-0.01, 0.0, false, 12));
  EXPECT_THROW(ComputeActivityCoefficient(-0.01, 1e-12, false, 12), ArithmeticFault);
}

TEST(FinalQuantities, DerivedFromAHandWrittenStateWithoutStaleResults) {
  // A converged state written by hand: every species at 1 mmol/L total, free concentrations n x 0.1 mmol/L,
  // coefficients 0.8, the shipped charges (fields: total, free, next free, charge, gamma, log activity, weight).
  ModelState s;
  for (int n = 1; n <= 11; ++n) s.SpeciesTable[n] = {1e-3, n * 1e-4, 0, kSpeciesCharges[n - 1], 0.8, 0, 1};
  s.SpeciesTable[12] = {0, 0, 0, 3.0, 1.0, 0, 1e6}; // dissolved CO2 stays out of the sum whatever it holds
  for (int n = 1; n <= 24; ++n) s.ComplexTable[n].Charge = kComplexCharges[n - 1];
  s.ComplexTable[3] = {0, 1e-3, 0, 1.0, 0, 0, 2.0}; // CaOH+ at 1 mmol/L, weight 2
  s.InputPair = CarbonatePair::AlkalinityPCO2;
  s.ConstantTable[5].LogK = -8.48;
  FixedWeightedSum sum(7.0, 2.0);
  ComputeFinalQuantities(s, sum);
  // Coefficients of rows 3 to 11 referred to totals, 0.8 x (n x 0.1 mM) / 1 mM, row 1 kept: pH = -log10(0.8 x 1e-3);
  // log IAP(CaCO3) = log10(0.88e-3) + log10(0.4e-3); SI calcite = log IAP + 8.48, none for gypsum without LogK.
  EXPECT_NEAR(s.PH, 3.0969100130080565, 1e-13);
  EXPECT_NEAR(s.LogIapCaCO3, -6.453457336521868, 1e-13);
  EXPECT_NEAR(s.SaturationIndexCalcite, 2.026542663478132, 1e-12);
  EXPECT_TRUE(s.PHDefined && s.LogIapCaCO3Defined && s.SaturationIndexCalciteDefined);
  EXPECT_FALSE(s.SaturationIndexGypsumDefined);
  // SAR = sqrt(1000) x 1e-3 / sqrt(2e-3) = 0.70710678118654752; with the
  // referred coefficients 0.24 (Na), 0.4 (Ca), 0.48 (Mg): 0.24 / sqrt(0.88).
  EXPECT_NEAR(s.Sar, 0.70710678118654752, 1e-12);
  EXPECT_NEAR(s.SarActivity, 0.2558408596267325, 1e-12);
  // Weighted sum: rows 1..11 give 0.1 x (1 - 2 + 3 + 4 + 10 + 12 - 7 - 8 - 18
  // - 10 - 22) = -3.7 mmol/L, CaOH+ 1 x 2 x 1 = 2: 7 + 2 x (-1.7) = 3.6.
  EXPECT_NEAR(s.AuxTable[11].WeightedSum, 3.6, 1e-12);
  // Charge balance of the totals (1 mM each): cations 1 + 1 + 1 + 2 + 2 = 7,
  // anions 1 + 1 + 1 + 2 + 1 + 2 = 8 meq/L, 100 (7 - 8) / 15 = -6.6667 %.
  EXPECT_NEAR(s.ChargeBalanceError, -100.0 / 15.0, 1e-12);

  // No calcium and a negative ligand 2: their stale log activities must not make either ion activity product look
  // computed; SAR from magnesium alone, sqrt(1000) x 1e-3 / sqrt(1e-3) = 1; the weighted sum restarts from 7 without
  // calcium's 2 x 0.5 mmol/L: 7 + 2 x (-4.7 + 2) = 1.6.
  s.ConstantTable[6].LogK = -4.58;
  s.SpeciesTable[5].TotalConc = s.SpeciesTable[5].FreeConc = 0.0;
  s.SpeciesTable[8].TotalConc = -1e-6;
  ComputeFinalQuantities(s, sum);
  EXPECT_FALSE(s.SpeciesTable[5].LogActivityDefined || s.SpeciesTable[8].LogActivityDefined);
  EXPECT_TRUE(s.SpeciesTable[9].LogActivityDefined);
  EXPECT_FALSE(s.LogIapCaCO3Defined || s.LogIapCaSO4Defined);
  EXPECT_FALSE(s.SaturationIndexCalciteDefined || s.SaturationIndexGypsumDefined);
  EXPECT_NEAR(s.Sar, 1.0, 1e-12);
  EXPECT_NEAR(s.AuxTable[11].WeightedSum, 1.6, 1e-12);
  EXPECT_EQ(sum.calls, 2);
  // Neither calcium nor magnesium: both ratios 0, not a fault. The charge balance counts the negative total: cations
  // 1 + 1 + 1 + 2 = 5, anions 1 + 1 - 0.001 + 2 + 1 + 2 = 6.999 meq/L.
  s.SpeciesTable[6].TotalConc = 0.0;
  ComputeFinalQuantities(s, sum);
  EXPECT_EQ(s.Sar + s.SarActivity, 0.0);
  EXPECT_NEAR(s.ChargeBalanceError, 100.0 * (3.0 - 6.999) / 9.999, 1e-12);
  // No H+ total for a pair that computes the pH: no pH, not the stale one. A water without ions is balanced.
  for (int n = 1; n <= 11; ++n) s.SpeciesTable[n].TotalConc = 0.0;
  ComputeFinalQuantities(s, sum);
  EXPECT_TRUE(!s.PHDefined && s.ChargeBalanceError == 0.0);
}

TEST(Solver, ABatchMatchesTheStepByStepProcedureBitForBit) {
  // The example waters, pure water, then random waters around the examples (every pair, some totals 0, some
  // alkalinities negative) on one state as in a batch; midway the constants and charges change, as another workbook's
  // would. A solve starts from what the last one left (the OH-, HCO3-, CO3 2- coefficients, and stale changes: a ligand
  // without total never updates its PercentChange, nor pure water its IonicStrengthChange, so a value above the
  // tolerance runs a loop to its cap). A fault or a failed sample must change nothing, and the batch goes on.
  std::mt19937_64 random(20261207);
  std::uniform_real_distribution<double> factor(0.05, 3.0), pHShift(-1.5, 1.5);
  ModelState fast = Sample({}, CarbonatePair::None), plain = fast;
  int faults = 0, failures = 0, carryOvers = 0;
  for (int sample = 1; sample <= 305; ++sample) {
    const bool example = sample <= 5, pure = sample == 6, faulty = sample == 7, noCarbonate = sample == 8;
    ExampleWater water = pure ? ExampleWater{"pure"} : Waters()[example ? sample - 1 : faulty ? 4 : random() % 5];
    if (faulty) water.pH = 11.5, water.alkalinity = 0.01; // the river with more hydroxide than alkalinity: fails
    const char pair[2] = {example || faulty ? 'A' : pure ? 'B' : noCarbonate ? 'C' : "ABC"[random() % 3], 0};
    if (!example && !pure && !faulty && !noCarbonate) {
      water.pH += pHShift(random);
      water.alkalinity *= random() % 8 == 0 ? 0.0 : factor(random);
      if (*pair == 'B' && random() % 8 == 0) water.alkalinity *= -0.01; // more acid than the CO2 equivalence point
      for (double& total : water.totals) total *= random() % 8 == 0 ? 0.0 : factor(random);
    }
    const double pCO2 = pure ? 0.0 : std::pow(10.0, -3.5) * factor(random);
    for (ModelState* s : {&fast, &plain}) {
      PutSample(*s, water);
      s->InputPair = PairFromCode(pair);
      if (*pair == 'B') s->PCO2 = pCO2;
      if (sample == 2) s->SpeciesTable[8].PercentChange = 1.0; // the second water has no ligand 2 (nitrate)
      if (pure) s->IonicStrengthChange = 5.0;
      if (*pair == 'C') {
        s->SpeciesTable[10].TotalConc = water.alkalinity / 1000 * 0.95 + 1e-6;
        s->SpeciesTable[11].TotalConc = noCarbonate ? 0.0 : water.alkalinity / 1000 * 0.02 + 1e-7; // 0 divides
      }
      if (sample == 100 || sample == 200) {
        s->ConstantTable[21].LogK += 0.125 * sample / 100;
        s->ConstantTable[11].LogK = sample == 100 ? 0.5 : 0.0;
        s->ComplexTable[15].Charge = sample == 100 ? 1.0 : 0.0;
        s->SpeciesTable[12].Charge = sample == 100 ? -1.0 : 0.0;
      }
    }
    const ModelState before = fast;
    const long allocations = allocationCount;
    try {
      SolveSpeciation(fast, weights);
    } catch (const ArithmeticFault&) {
      ASSERT_EQ(FirstDifference(fast, before), "") << "sample " << sample;
      std::feclearexcept(FE_ALL_EXCEPT); // the plain procedure must meet a fault there too
      reference::Solve(plain, weights);
      EXPECT_TRUE(std::fetestexcept(FE_DIVBYZERO | FE_OVERFLOW | FE_INVALID)) << "sample " << sample;
      plain = fast;
      ++faults;
      continue;
    } catch (const SampleFailure&) {
      ASSERT_EQ(FirstDifference(fast, before), "") << "sample " << sample;
      plain = fast;
      ++failures;
      continue;
    }
    EXPECT_EQ(allocationCount - allocations, 0) << "sample " << sample;
    reference::Solve(plain, weights);
    ASSERT_EQ(FirstDifference(fast, plain), "") << "sample " << sample << " pair " << pair;
    EXPECT_TRUE(!(pure || sample == 2) || fast.IterationCounters[pure ? 3 : 4] == 101) << "stale change " << sample;
    if (example) {
      ModelState single = Sample(water, CarbonatePair::AlkalinityPH);
      SolveSpeciation(single, weights);
      carryOvers += !FirstDifference(fast, single).empty();
    }
  }
  EXPECT_GT(carryOvers, 0);
  EXPECT_TRUE(faults >= 1 && faults < 30) << faults;
  EXPECT_TRUE(failures >= 1 && failures < 30) << failures;
}

} // namespace
} // namespace vontralek
