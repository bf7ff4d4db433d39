#include <atomic>
#include <cmath>
#include <cstdlib>
#include <new>
#include <random>

#include <gtest/gtest.h>

#include "DefaultParameters.h"
#include "ReferenceSpeciation.h"
#include "StateCompare.h"
#include "model/Errors.h"
#include "speciation/Speciation.h"

// Every allocation of the test program is counted, to show that a solve makes none.
namespace {
std::atomic<long> allocationCount{0};
}
void* operator new(std::size_t size) {
  ++allocationCount;
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace vontralek {
namespace {

using testdata::ExampleWater;
using testdata::FirstDifference;
using testdata::FixedWeightedSum;

class Solver : public ::testing::Test {
protected:
  void SetUp() override {
    testdata::LoadDefaultParameters(fresh, VONTRALEK_DATA_DIR);
    ComputeMachineEpsilon(fresh);
    waters = testdata::LoadExampleWaters(VONTRALEK_DATA_DIR);
    ASSERT_EQ(waters.size(), 5u);
  }

  // A state with the parameters loaded and nothing solved yet.
  ModelState fresh;
  std::vector<ExampleWater> waters;
  FixedWeightedSum weights;
};

// Each cation and ligand: total = free + every complex it is part of.
void ExpectMassBalancesClose(const ModelState& s, const std::string& label) {
  const auto& S = s.SpeciesTable;
  const auto& X = s.ComplexTable;
  for (int r = 1; r <= 4; ++r) {
    double total = S[r + 2].FreeConc + X[r].FreeConc;
    for (int h = 0; h <= 4; ++h) total += X[4 * h + r + 4].FreeConc;
    EXPECT_NEAR(total, S[r + 2].TotalConc, 1e-12 * S[r + 2].TotalConc) << label << ", cation row " << r + 2;
  }
  for (int h = 0; h <= 4; ++h) {
    double total = S[h + 7].FreeConc;
    for (int r = 1; r <= 4; ++r) total += X[4 * h + r + 4].FreeConc;
    EXPECT_NEAR(total, S[h + 7].TotalConc, 1e-12 * std::fabs(S[h + 7].TotalConc)) << label << ", ligand row " << h + 7;
  }
  double hydroxide = S[2].FreeConc;
  for (int r = 1; r <= 4; ++r) hydroxide += X[r].FreeConc;
  EXPECT_NEAR(hydroxide, S[2].TotalConc, 1e-12 * S[2].TotalConc) << label << ", hydroxide";
}

TEST_F(Solver, MassBalancesCloseOnRealisticWaters) {
  ModelState batch = fresh;
  batch.InputPair = std::string("A");
  for (const ExampleWater& water : waters) {
    ModelState single = fresh;
    single.InputPair = std::string("A");
    testdata::PutSample(single, water);
    SolveSpeciation(single, weights);
    EXPECT_LE(single.IterationCounters[3], 100) << water.id << " did not converge";
    ExpectMassBalancesClose(single, water.id);
    // Sulfate really is complexed in these waters (CaSO4, MgSO4, NaSO4-).
    EXPECT_LT(single.SpeciesTable[9].FreeConc, 0.999 * single.SpeciesTable[9].TotalConc) << water.id;
    testdata::PutSample(batch, water);
    SolveSpeciation(batch, weights);
    ExpectMassBalancesClose(batch, water.id + " in a batch");
  }
}

TEST_F(Solver, BicarbonateAndCarbonateFromPairAGiveThePHBack) {
  for (const ExampleWater& water : waters) {
    ModelState a = fresh;
    a.InputPair = std::string("A");
    testdata::PutSample(a, water);
    SolveSpeciation(a, weights);

    ModelState c = fresh;
    c.InputPair = std::string("C");
    testdata::PutSample(c, water);
    c.Alkalinity = 0.0; // the run never sets it for pair "C"
    c.SpeciesTable[10].TotalConc = a.SpeciesTable[10].TotalConc;
    c.SpeciesTable[11].TotalConc = a.SpeciesTable[11].TotalConc;
    SolveSpeciation(c, weights);
    EXPECT_NEAR(c.PH, water.pH, 1e-9) << water.id;
    EXPECT_NEAR(c.PCO2, a.PCO2, 1e-9 * a.PCO2) << water.id;
  }
}

TEST_F(Solver, PCO2FromPairAGivesThePHBackWithinTheMissingHydrogenTerm) {
  // Pair "B" solves Alk = B + 2C + Kw'/H without the -H term. B + 2C + Kw'/H
  // falls at least as 1/H and at most as 1/H^2, so with H* the hydrogen ion of
  // pair "A" its root lies between H* (1 + H*/Alk)^0.5 and H* (1 + H*/Alk):
  // the pH comes back lower by between half and all of log10(1 + H*/Alk).
  for (const ExampleWater& water : waters) {
    ModelState a = fresh;
    a.InputPair = std::string("A");
    testdata::PutSample(a, water);
    SolveSpeciation(a, weights);

    ModelState b = fresh;
    b.InputPair = std::string("B");
    testdata::PutSample(b, water);
    b.PCO2 = a.PCO2;
    SolveSpeciation(b, weights);
    const double bound = std::log10(1.0 + a.SpeciesTable[1].TotalConc / a.Alkalinity);
    const double shift = water.pH - b.PH;
    // 2% slack for the activity coefficients, which follow the ionic strength.
    EXPECT_GE(shift, 0.49 * bound) << water.id;
    EXPECT_LE(shift, 1.02 * bound) << water.id;
    EXPECT_LT(bound, 1e-3) << water.id; // the pairs agree to a thousandth of a pH unit
  }
}

TEST_F(Solver, MatchesTheStepByStepProcedureBitForBit) {
  // Random waters around the examples, every pair, on one state as in a batch;
  // midway the constants and charges change, as a different workbook would.
  std::mt19937_64 random(20261207);
  std::uniform_real_distribution<double> factor(0.05, 3.0), pHShift(-1.5, 1.5);
  ModelState fast = fresh, plain = fresh;
  FixedWeightedSum fastWeights(0.25, 1.5), plainWeights(0.25, 1.5);
  int faults = 0;
  for (int sample = 1; sample <= 300; ++sample) {
    ExampleWater water = waters[random() % waters.size()];
    for (double* value :
         {&water.alkalinity, &water.Na, &water.K, &water.Ca, &water.Mg, &water.Cl, &water.NO3, &water.SO4})
      *value *= (random() % 8 == 0) ? 0.0 : factor(random);
    water.pH += pHShift(random);
    const char pair[2] = {"ABC"[random() % 3], 0};
    const double pCO2 = std::pow(10.0, -3.5) * factor(random);
    for (ModelState* s : {&fast, &plain}) {
      testdata::PutSample(*s, water);
      s->InputPair = std::string(pair);
      if (*pair == 'B') s->PCO2 = pCO2;
      if (*pair == 'C') {
        s->SpeciesTable[10].TotalConc = water.alkalinity / 1000 * 0.95 + 1e-6;
        s->SpeciesTable[11].TotalConc = water.alkalinity / 1000 * 0.02 + 1e-7;
      }
      if (sample == 100 || sample == 200) {
        s->ConstantTable[21].LogK += 0.125 * sample / 100;
        s->ConstantTable[11].LogK = sample == 100 ? 0.5 : 0.0;
        s->ComplexTable[15].Charge = sample == 100 ? 1.0 : 0.0;
        s->SpeciesTable[12].Charge = sample == 100 ? -1.0 : 0.0;
      }
    }
    const ModelState before = fast;
    try {
      SolveSpeciation(fast, fastWeights);
    } catch (const ArithmeticFault&) {
      // A water pushed out of range (more hydroxide than alkalinity): nothing
      // may have changed, and the batch goes on from the same state.
      ASSERT_EQ(FirstDifference(fast, before), "") << "sample " << sample;
      ++faults;
      continue;
    }
    reference::Solve(plain, plainWeights);
    ASSERT_EQ(FirstDifference(fast, plain), "") << "sample " << sample << " pair " << pair;
  }
  EXPECT_LT(faults, 30);
}

TEST_F(Solver, EachSampleStartsFromWhatTheLastOneLeft) {
  // The first pass of a solve refers the OH-, HCO3- and CO3 2- coefficients to
  // the previous sample's totals, so a batch and a fresh start differ.
  ModelState batch = fresh, plain = fresh;
  batch.InputPair = plain.InputPair = std::string("A");
  bool differs = false;
  for (const ExampleWater& water : waters) {
    ModelState single = fresh;
    single.InputPair = std::string("A");
    testdata::PutSample(single, water);
    SolveSpeciation(single, weights);
    testdata::PutSample(batch, water);
    SolveSpeciation(batch, weights);
    testdata::PutSample(plain, water);
    reference::Solve(plain, weights);
    ASSERT_EQ(FirstDifference(batch, plain), "") << water.id;
    differs = differs || !FirstDifference(batch, single).empty();
  }
  EXPECT_TRUE(differs);
}

TEST_F(Solver, AStaleLigandChangeKeepsTheInnerLoopGoing) {
  // A ligand without total never updates its PercentChange, so a value left
  // above the tolerance makes every inner loop run its 101 passes.
  ModelState s = fresh;
  s.InputPair = std::string("A");
  testdata::PutSample(s, waters[3]);
  s.SpeciesTable[8].TotalConc = 0.0;
  s.SpeciesTable[8].PercentChange = 1.0;
  SolveSpeciation(s, weights);
  EXPECT_EQ(s.IterationCounters[4], 101);
  EXPECT_EQ(s.SpeciesTable[8].PercentChange, 1.0);
  EXPECT_EQ(s.SpeciesTable[8].FreeConc, 0.0);
  s.SpeciesTable[8].PercentChange = 0.0;
  SolveSpeciation(s, weights);
  EXPECT_LT(s.IterationCounters[4], 101);
}

TEST_F(Solver, ZeroNewIonicStrengthKeepsTheEarlierChange) {
  // Pure water with no CO2 (pair "B", pCO2 0, alkalinity 0): every ion of the
  // ionic-strength sum is 0, the change is not rewritten, and a value left
  // above the tolerance runs the outer loop to its cap.
  ModelState s = fresh;
  s.InputPair = std::string("B");
  s.IonicStrengthChange = 5.0;
  SolveSpeciation(s, weights);
  EXPECT_EQ(s.IterationCounters[3], 101);
  EXPECT_EQ(s.IonicStrengthChange, 5.0);
  // H+ = sqrt(Kw') with every coefficient 1 at I = 0.
  EXPECT_NEAR(s.SpeciesTable[1].TotalConc, std::pow(10.0, -13.9995 / 2), 1e-20);
  s.IonicStrengthChange = 0.0;
  SolveSpeciation(s, weights);
  EXPECT_EQ(s.IterationCounters[3], 1);
}

TEST_F(Solver, SolvesWithoutAllocating) {
  ModelState s = fresh;
  s.InputPair = std::string("A");
  testdata::PutSample(s, waters[0]);
  SolveSpeciation(s, weights); // the constants are computed once for the run
  const long before = allocationCount;
  for (const ExampleWater& water : waters) {
    testdata::PutSample(s, water);
    SolveSpeciation(s, weights);
  }
  EXPECT_EQ(allocationCount - before, 0);
}

TEST_F(Solver, AZeroLogKDropsItsComplexOut) {
  ModelState s = fresh;
  s.InputPair = std::string("A");
  testdata::PutSample(s, waters[0]);
  SolveSpeciation(s, weights);
  // Rows 7 and 8 (NaOH, KOH) are absent in the shipped data: K 0, no complex.
  EXPECT_EQ(s.ConstantTable[7].K, 0.0);
  EXPECT_EQ(s.ComplexTable[1].FreeConc, 0.0);
  EXPECT_EQ(s.ConstantTable[9].K, std::pow(10.0, 1.2195));
  EXPECT_GT(s.ComplexTable[3].FreeConc, 0.0);
}

} // namespace
} // namespace vontralek
