// The thresholds that end a solve's iterations, each at its edge. The scenarios (SampleFailureTest) show a water that
// does not converge; these pin the numbers themselves.

#include <cmath>
#include <string>

#include <gmock/gmock.h>

#include "common/Errors.h"
#include "speciation/Convergence.h"
#include "speciation/Speciation.h"

namespace vontralek {
namespace {

using ::testing::HasSubstr;

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

} // namespace
} // namespace vontralek
