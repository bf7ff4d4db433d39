// A mixture is the waters' totals weighted by their fractions (PHREEQC's MIX,
// Parkhurst and Appelo 2013, with mol/L standing for mol/kg water); its
// temperature is weighted the same way, as the heat capacities of dilute
// waters are nearly equal.

#include "speciation/Mixing.h"

#include "common/Errors.h"
#include "speciation/FloatingPointFaults.h"
#include "speciation/Reactions.h"

namespace vontralek {

ModelState MixedWater(const ModelState& a, const ModelState& b, double fraction) {
  if (!(fraction >= 0.0 && fraction <= 1.0))
    throw SampleFailure("the fraction of the first water, " + speciation_detail::Num(fraction) +
                        ", is outside 0 to 1; give the first water's share of the mixture");
  if (a.TemperatureGiven != b.TemperatureGiven)
    throw SampleFailure("only one of the two waters has a temperature; give both a temperature or neither");
  const double rest = 1.0 - fraction;
  const auto mix = [&](double x, double y) { return fraction * x + rest * y; };
  ModelState mixture = a;
  for (int n = 3; n <= 9; ++n)
    mixture.SpeciesTable[n].TotalConc = mix(a.SpeciesTable[n].TotalConc, b.SpeciesTable[n].TotalConc);
  mixture.Alkalinity = mix(AlkalinityOf(a), AlkalinityOf(b));
  mixture.DIC = mix(DissolvedInorganicCarbon(a), DissolvedInorganicCarbon(b));
  mixture.InputPair = CarbonatePair::AlkalinityDIC;
  if (a.TemperatureGiven) mixture.TemperatureC = mix(a.TemperatureC, b.TemperatureC);
  return mixture;
}

} // namespace vontralek
