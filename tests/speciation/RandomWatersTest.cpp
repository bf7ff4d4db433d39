// The ion-association model at its own temperatures: random plausible waters (fixed seed) solved from each of the
// three input pairs must give one and the same speciation, and none may be refused; among them hot, alkaline waters
// whose alkalinity is nearly all hydroxide and MgOH+, where passes of the iteration overshoot to a negative pCO2.

#include <cmath>
#include <cstdint>
#include <random>
#include <string>

#include <gmock/gmock.h>

#include "SpeciationTestSupport.h"
#include "common/Errors.h"

namespace vontralek {
namespace {

using namespace testsupport;

FixedWeightedSum weights;

// Uniform in [lo, hi) from the 53 high bits of mt19937_64, whose output the standard fixes (its distributions it
// does not): the same waters with any standard library.
struct Draw {
  std::mt19937_64 engine{20260907};
  double operator()(double lo, double hi) { return lo + (hi - lo) * static_cast<double>(engine() >> 11) * 0x1p-53; }
};

// Alkalinity (eq/L) held by hydroxide and its complexes, less H+: what the carbonate system does not carry.
double HydroxideAlkalinity(const ModelState& s) {
  double hydroxide = s.SpeciesTable[2].FreeConc;
  for (int r = 1; r <= 4; ++r) hydroxide += s.ComplexTable[r].FreeConc;
  return hydroxide - s.SpeciesTable[1].FreeConc;
}

// A water at a random temperature from a random alkalinity and pCO2 (pair "B"), the pH it takes then read back, so
// that each has a solution. General: 0-90 °C, 1/3000 to 1 seawater with each ion up to twice or half its share, Cl-
// and SO4 2- balancing the charge, alkalinity 0.3 to 80 % of the cations' charge (a tenth acid), pCO2 1e-3.5 to 1e-0.5;
// ionic strength at most 0.6 mol/L. Hot alkaline: 80-90 °C, Mg-rich chloride brine without sulfate, pCO2 1e-8 to
// 1e-6, drawn again until pH is 9.5-10 and hydroxide and its complexes (mostly MgOH+) carry 94-99.7 % of the
// alkalinity, the waters PHREEQC solves and the iteration of earlier versions refused.
ModelState RandomWater(Draw& u, bool hotAlkaline) {
  const double seawater[7] = {479.15, 10.4425, 10.5241, 54.372, 558.433, 0.004785, 28.8817}; // mmol/L, SW
  const double salinity = hotAlkaline ? u(0.4, 0.9) : std::pow(10.0, u(-3.5, 0.0));
  ExampleWater w{"random", 0.0, 0.0, {}};
  for (int i = 0; i < 7; ++i) w.totals[i] = seawater[i] * salinity * std::pow(10.0, u(-0.3, 0.3));
  if (hotAlkaline) w.totals[3] *= u(2.0, 4.5), w.totals[6] = 0.0;
  const double cations = w.totals[0] + w.totals[1] + 2.0 * (w.totals[2] + w.totals[3]);
  w.alkalinity = hotAlkaline         ? u(20.0, 60.0)
                 : u(0.0, 1.0) < 0.1 ? -u(0.0, 0.05)
                                     : cations * std::pow(10.0, u(-2.5, -0.1));
  const double anions = (cations - w.alkalinity - w.totals[5]) / (w.totals[4] + 2.0 * w.totals[6]);
  w.totals[4] *= anions, w.totals[6] *= anions;
  double I = 0.0;
  for (int i = 0; i < 7; ++i) I += 0.5e-3 * kSpeciesCharges[i + 2] * kSpeciesCharges[i + 2] * w.totals[i];
  for (int i = 0; i < 7 && I > 0.6; ++i) w.totals[i] *= 0.6 / I;
  ModelState s = AtTemperature(w, CarbonatePair::AlkalinityPCO2, hotAlkaline ? u(80.0, 90.0) : u(0.0, 90.0));
  s.PCO2 = std::pow(10.0, hotAlkaline ? u(-8.0, -6.0) : u(-3.5, -0.5));
  SolveSpeciation(s, weights);
  const double share = HydroxideAlkalinity(s) / s.Alkalinity;
  if (hotAlkaline && !(s.PH >= 9.5 && s.PH <= 10.0 && share >= 0.94 && share <= 0.997)) return RandomWater(u, true);
  s.InputPair = CarbonatePair::AlkalinityPH;
  return s;
}

// Solved from alkalinity and pH, then from alkalinity and its pCO2, then from its carbonate totals (free ion and
// complexes): pH, pCO2, free ions and complexes agree within 1e-9 relative (pH within 1e-9 absolute).
void ExpectSameFromEveryPair(ModelState a, const std::string& label) {
  ModelState b = a, c = a;
  ASSERT_NO_THROW(SolveSpeciation(a, weights)) << label;
  b.InputPair = CarbonatePair::AlkalinityPCO2, b.PCO2 = a.PCO2;
  c.InputPair = CarbonatePair::BicarbonateCarbonate, c.Alkalinity = 0.0;
  c.SpeciesTable[10].TotalConc = a.SpeciesTable[10].FreeConc,
  c.SpeciesTable[11].TotalConc = a.SpeciesTable[11].FreeConc;
  for (int r = 1; r <= 4; ++r)
    c.SpeciesTable[10].TotalConc += a.ComplexTable[16 + r].FreeConc,
        c.SpeciesTable[11].TotalConc += a.ComplexTable[20 + r].FreeConc;
  ASSERT_NO_THROW(SolveSpeciation(b, weights)) << label;
  ASSERT_NO_THROW(SolveSpeciation(c, weights)) << label;
  const auto same = [&](double x, double y) { return std::fabs(x - y) <= 1e-9 * std::fabs(x); };
  for (const ModelState* other : {&b, &c}) {
    const std::string which = label + (other == &b ? " pair B" : " pair C");
    EXPECT_NEAR(other->PH, a.PH, 1e-9) << which;
    EXPECT_TRUE(same(a.PCO2, other->PCO2)) << which << " pCO2 " << a.PCO2 << " " << other->PCO2;
    for (int n = 1; n <= 11; ++n)
      EXPECT_TRUE(same(a.SpeciesTable[n].FreeConc, other->SpeciesTable[n].FreeConc)) << which << " species " << n;
    for (int m = 1; m <= 24; ++m)
      EXPECT_TRUE(same(a.ComplexTable[m].FreeConc, other->ComplexTable[m].FreeConc)) << which << " complex " << m;
  }
}

TEST(RandomWaters, EveryPairGivesTheSameSpeciationAtEveryTemperature) {
  Draw u;
  int hydroxideDominated = 0;
  for (int k = 0; k < 400; ++k) {
    const bool hotAlkaline = k % 8 == 0;
    const ModelState water = RandomWater(u, hotAlkaline);
    const std::string label = "water " + std::to_string(k) + " at " + std::to_string(water.TemperatureC) + " °C pH " +
                              std::to_string(water.PH);
    ExpectSameFromEveryPair(water, label);
    if (hotAlkaline) hydroxideDominated += HydroxideAlkalinity(water) > 0.94 * water.Alkalinity;
  }
  EXPECT_EQ(hydroxideDominated, 50);
}

TEST(RandomWaters, HotAlkalineWaterIsRefusedOnlyWithoutASolution) {
  // 87.74 °C, pH 9.6252, mmol/L and meq/L: hydroxide and its complexes (mostly MgOH+) carry 99.7 % of the alkalinity
  // of 49.869 meq/L; passes before convergence overshoot to a negative pCO2. Without carbonate they would carry
  // 49.78 meq/L: with 0.995 of the alkalinity (49.62 meq/L) the water has no solution and is refused.
  const ExampleWater hot{"hot", 9.6252, 49.869, {190.4, 13.06, 18.38, 129.4, 496.5, 0.0, 0.0}};
  ModelState s = AtTemperature(hot, CarbonatePair::AlkalinityPH, 87.74);
  ExpectSameFromEveryPair(s, "hot alkaline");
  SolveSpeciation(s, weights);
  EXPECT_GT(HydroxideAlkalinity(s), 0.996 * s.Alkalinity);
  s = AtTemperature({"hot", 9.6252, 49.869 * 0.995, {190.4, 13.06, 18.38, 129.4, 496.5, 0.0, 0.0}},
                    CarbonatePair::AlkalinityPH, 87.74);
  const ModelState before = s;
  try {
    SolveSpeciation(s, weights);
    ADD_FAILURE() << "no refusal";
  } catch (const SampleFailure& failure) {
    EXPECT_THAT(failure.what(), ::testing::HasSubstr("leaves no carbonate: the computed pCO2 is negative (at that "
                                                     "pH, hydroxide and its complexes alone, 49.77"));
    EXPECT_TRUE(s == before);
  }
}

} // namespace
} // namespace vontralek
