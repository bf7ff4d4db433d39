// Samples without a result (arithmetic faults, impossible inputs, iterations unconverged at their pass limit) are
// refused with step and cause, the state left as it was; every other sample is calculated with closed mass balances.
// The thresholds that end a solve's iterations are pinned at their edges.

#include <cfenv>
#include <cmath>
#include <iostream>
#include <random>
#include <string>

#include <gmock/gmock.h>

#include "ReferenceSpeciation.h"
#include "SpeciationTestSupport.h"
#include "common/Errors.h"
#include "speciation/Convergence.h"

namespace vontralek {
namespace {

using ::testing::AllOf, ::testing::HasSubstr, ::testing::StartsWith;
using namespace testsupport;

FixedWeightedSum weights;

// The message of the error a solve throws ("no error" if none), "failure: " before that of a SampleFailure; the state
// must come back as it was, the caller's floating-point flags untouched, no weighted sum loaded.
std::string RefusalOf(ModelState& s) {
  const ModelState before = s;
  const int loads = weights.calls;
  std::feclearexcept(FE_ALL_EXCEPT);
  std::feraiseexcept(FE_INEXACT);
  std::string message = "no error";
  try {
    SolveSpeciation(s, weights);
  } catch (const SampleFailure& failure) {
    message = std::string("failure: ") + failure.what();
  } catch (const ArithmeticFault& fault) {
    message = fault.what();
  }
  if (message != "no error") {
    EXPECT_EQ(reference::FirstDifference(s, before), "") << message;
    EXPECT_EQ(weights.calls, loads) << message;
  }
  EXPECT_EQ(std::fetestexcept(FE_ALL_EXCEPT), FE_INEXACT) << message;
  return message;
}

TEST(Refusal, FaultsAndImpossibleInputsNameTheStepAndTheCause) {
  const std::string zero = "division by zero while ",
                    hydroxide = zero + "computing hydroxide from the ion product of water",
                    pairA = zero + "closing the carbonate system from alkalinity and pH";
  // On the river water; a field left 0 keeps the river's. Impossible inputs fail under either model: at pH 10.5
  // hydroxide alone is Kw / 10^-10.5 = 0.32 meq/L, more than the alkalinity of 0.2 meq/L; H+ = K2' HCO3- / CO3 2- is
  // negative with a negative carbonate; a negative sodium total leaves negative free sodium.
  struct Case {
    const char* pair;
    double bicarbonate, carbonate, alkalinity, pH, sodium, logK;
    int logKRow;
    std::string step, cause;
  };
  const Case cases[] = {
      {"", 0, 0, 0, 0, 0, 0, 0, hydroxide, "hydrogen-ion concentration is 0: no input pair was chosen"},
      {"C", 1e-3, 0, 0, 0, 0, 0, 0, zero + "closing the carbonate system from bicarbonate and carbonate",
       "and carbonate: the carbonate concentration is 0"},
      {"C", 0, 1e-5, 0, 0, 0, 0, 0, hydroxide, "the bicarbonate concentration is 0"},
      {"A", 0, 0, 0, 0, 0, 0, 1, pairA, "LogK 0 for equilibrium constant 1"},
      {"A", 0, 0, 0, 0, 0, 0, 3, pairA, "LogK 0 for equilibrium constant 3"},
      {"C", 1e-3, 1e-5, 0, 0, 0, 0, 4, hydroxide, "LogK 0 for equilibrium constant 4"}, // H+ = K2' B / C = 0
      {"A", 0, 0, 0, 0, 0, 309, 17, "overflow while computing the equilibrium constants",
       "LogK 309 of the formation constant of complex row 11 (equilibrium constant 17)"},
      {"A", 0, 0, -0.05, 0, 0, 0, 0, "invalid operation while computing the activity coefficient of species row 1",
       "ionic strength is negative"}, // half of it outweighs the ions
      {"A", 0, 0, 0.2e-3, 10.5, 0, 0, 0,
       "failure: ", "pH 10.5 with alkalinity 0.2 meq/L leaves no carbonate: the computed pCO2 is negative"},
      {"C", 1e-3, -1e-5, 0, 0, 0, 0, 0,
       "failure: ", "carbonate -0.01 mmol/L gives a negative hydrogen-ion concentration"},
      {"A", 0, 0, 0, 0, -1e-4, 0, 0, "failure: ", "free concentration of cation 1 (sodium) came out -0.0999"},
  };
  for (const Case& c : cases)
    for (SpeciationModel model : {SpeciationModel::AsSpecified, SpeciationModel::IonAssociation}) {
      if (model == SpeciationModel::IonAssociation && c.step != "failure: ") continue;
      ModelState s = Sample(Waters()[4], PairFromCode(c.pair), model);
      s.SpeciesTable[10].TotalConc = c.bicarbonate;
      s.SpeciesTable[11].TotalConc = c.carbonate;
      if (c.alkalinity != 0) s.Alkalinity = c.alkalinity;
      if (c.pH != 0) s.PH = c.pH;
      if (c.sodium != 0) s.SpeciesTable[3].TotalConc = c.sodium;
      if (c.logKRow != 0) s.ConstantTable[c.logKRow].LogK = c.logK;
      EXPECT_THAT(RefusalOf(s), AllOf(StartsWith(c.step), HasSubstr(c.cause)));
    }
}

TEST(Refusal, AnUnconvergedIterationIsNoResult) {
  // Seawater concentrated fivefold (I about 3 mol/L, far beyond the Davies equation): the procedure as specified
  // still changes I by 0.005 % a pass at its limit of 101 passes; the ion-association model converges on it.
  ExampleWater brine = Waters()[0];
  for (double& total : brine.totals) total *= 5;
  brine.alkalinity *= 5;
  ModelState specified = Sample(brine, CarbonatePair::AlkalinityPH);
  EXPECT_THAT(RefusalOf(specified),
              HasSubstr("did not converge after 101 passes: the ionic strength still changes by 0.00"));
  ModelState ionAssociation = Sample(brine, CarbonatePair::AlkalinityPH, SpeciationModel::IonAssociation);
  EXPECT_EQ(RefusalOf(ionAssociation), "no error");
  EXPECT_LT(LargestMassBalanceGap(ionAssociation), 1e-12);
  // Without charges the ionic strength stays 0 and the outer iteration ends after one pass; calcium and sulfate bound
  // by log K 12 in equal totals settle by far too slowly for 101 mass-balance passes.
  ModelState neutral = Sample(Waters()[1], CarbonatePair::AlkalinityPH);
  for (int n = 1; n <= 12; ++n) neutral.SpeciesTable[n].Charge = 0.0;
  for (int n = 1; n <= 24; ++n) neutral.ComplexTable[n].Charge = 0.0;
  neutral.ConstantTable[21].LogK = 12.0;
  neutral.SpeciesTable[5].TotalConc = neutral.SpeciesTable[9].TotalConc;
  EXPECT_THAT(RefusalOf(neutral), HasSubstr("did not converge after 101 passes of the mass balances: the free "
                                            "concentration of sulfate still changes by"));
}

TEST(Convergence, TheToleranceIsTwoToTheMinusFiftyThree) {
  // Both loops stop once their change (in %) is at most this; the reference solver takes it from the state as well.
  ModelState s;
  ComputeMachineEpsilon(s);
  EXPECT_EQ(s.MachineEpsilon, std::ldexp(1.0, -53));
}

TEST(Convergence, ALoopAtItsLimitOf101PassesIsAResultOnlyWithinOneBillionthPerPass) {
  // 1e-9 relative, kept in percent: 1e-7 % per pass is accepted, the next double above is not; a loop that ended
  // before its 101st pass ended on its own criterion, whatever change is left.
  const double edge = 1e-7, above = std::nextafter(edge, 1.0);
  ModelState s;
  s.NewIonicStrength = 0.01;
  s.SpeciesTable[species::Sulfate].FreeConc = 1e-3;
  const auto refusal = [&s](int outer, double ionicChange, int inner, double sulfateChange) {
    s.IterationCounters[counters::OuterPasses] = static_cast<std::int16_t>(outer);
    s.IterationCounters[counters::InnerPasses] = static_cast<std::int16_t>(inner);
    s.IonicStrengthChange = ionicChange;
    s.SpeciesTable[species::Sulfate].PercentChange = sulfateChange;
    try {
      speciation_detail::RequireConvergence(s);
    } catch (const SampleFailure& failure) {
      return std::string(failure.what());
    }
    return std::string("accepted");
  };
  EXPECT_EQ(refusal(101, edge, 101, edge), "accepted");
  EXPECT_EQ(refusal(100, 1.0, 100, 1.0), "accepted");
  EXPECT_THAT(refusal(101, above, 0, 0.0), HasSubstr("did not converge after 101 passes: the ionic strength"));
  EXPECT_THAT(refusal(1, 0.0, 101, above), HasSubstr("101 passes of the mass balances: the free concentration of "
                                                     "sulfate"));
  EXPECT_THAT(refusal(101, 1e-6, 1, 0.0), HasSubstr("still changes by 1e-06% per pass"));
  // A quantity that no longer moves has converged whatever its stale change: no ionic strength, no free sulfate.
  s.NewIonicStrength = 0.0;
  s.SpeciesTable[species::Sulfate].FreeConc = 0.0;
  EXPECT_EQ(refusal(101, 1.0, 101, 1.0), "accepted");
}

TEST(Refusal, RandomWatersAreCalculatedWithClosedBalancesOrFailWithAReason) {
  // 10,000 waters per model on one state, as in a batch: pH 4 to 10, alkalinity 0.05 to 20 meq/L, each of the seven
  // ions 0.01 to 600 mmol/L (log-uniform); the pairs in turn, "B" with the pCO2 and "C" with the carbonate totals the
  // pH and alkalinity give in dilute water (K1 KH = 10^-7.82, K2 = 10^-10.33); the ion-association model at 0-100 °C.
  for (SpeciationModel model : {SpeciationModel::AsSpecified, SpeciationModel::IonAssociation}) {
    std::mt19937_64 random(20261207);
    std::uniform_real_distribution<double> pHs(4.0, 10.0), logAlkalinity(std::log10(0.05), std::log10(20.0)),
        logIon(-2.0, std::log10(600.0));
    ModelState s = AtTemperature({}, CarbonatePair::AlkalinityPH, 25.0);
    s.Model = model;
    s.TemperatureGiven = model == SpeciationModel::IonAssociation;
    int calculated = 0, failed = 0;
    for (int sample = 0; sample < 10000; ++sample) {
      const double pH = pHs(random), alkalinity = std::pow(10.0, logAlkalinity(random)) / 1000;
      for (int n = 3; n <= 9; ++n) s.SpeciesTable[n].TotalConc = std::pow(10.0, logIon(random)) / 1000;
      const double H = std::pow(10.0, -pH), K2 = std::pow(10.0, -10.33),
                   bicarbonate = alkalinity / (1.0 + 2.0 * K2 / H);
      s.InputPair = static_cast<CarbonatePair>(1 + sample % 3);
      s.PH = pH;
      s.TemperatureC = 100.0 * static_cast<double>(sample) / 9999.0;
      s.Alkalinity = s.InputPair == CarbonatePair::BicarbonateCarbonate ? 0.0 : alkalinity;
      s.PCO2 = bicarbonate * H / std::pow(10.0, -7.82);
      s.SpeciesTable[10].TotalConc = bicarbonate;
      s.SpeciesTable[11].TotalConc = bicarbonate * K2 / H;
      const ModelState before = s;
      try {
        SolveSpeciation(s, weights);
      } catch (const VontralekError& error) {
        ASSERT_TRUE(s == before && std::string(error.what()).size() > 20u) << "sample " << sample;
        ++failed;
        continue;
      }
      ASSERT_LE(LargestMassBalanceGap(s), 1e-9) << "sample " << sample;
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
