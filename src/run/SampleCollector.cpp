#include "run/SampleCollector.h"

#include <cmath>

#include "speciation/WaterQuality.h"

namespace vontralek {

MajorIons MajorIonsOf(const ModelState& s) {
  const auto meq = [&s](int row) {
    return 1000.0 * std::fabs(s.SpeciesTable[row].Charge) * s.SpeciesTable[row].TotalConc;
  };
  MajorIons ions;
  ions.na = meq(species::Sodium);
  ions.k = meq(species::Cation2);
  ions.ca = meq(species::Calcium);
  ions.mg = meq(species::Magnesium);
  ions.cl = meq(species::Ligand1);
  ions.no3 = meq(species::Ligand2);
  ions.so4 = meq(species::Sulfate);
  ions.alkalinity = 1000.0 * SampleAlkalinity(s);
  return ions;
}

} // namespace vontralek
