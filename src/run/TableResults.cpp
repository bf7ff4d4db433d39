#include "run/TableResults.h"

#include <cmath>
#include <limits>

#include "model/CarbonateTotals.h"

namespace vontralek {

void ExtractResults(const ModelState& s, double* v) {
  constexpr double nan = std::numeric_limits<double>::quiet_NaN();
  const auto defined = [](bool d, double x) { return d ? x : nan; };
  std::size_t i = 0;
  // The Batch row's results, in its units: mol/L -> mmol/L for the ionic
  // strengths and concentrations, SAR in (mmol/L)^0.5.
  v[i++] = s.AuxTable[WeightedSumRecord].WeightedSum;
  v[i++] = s.PCO2;
  v[i++] = s.IonicStrength * 1000.0;
  v[i++] = s.InitialIonicStrength * 1000.0;
  v[i++] = defined(s.LogIapCaSO4Defined, s.LogIapCaSO4);
  v[i++] = defined(s.LogIapCaCO3Defined, s.LogIapCaCO3);
  v[i++] = s.Sar;
  v[i++] = s.SarActivity;
  v[i++] = defined(s.PHDefined || s.InputPair == CarbonatePair::AlkalinityPH, s.PH);
  for (int n = 1; n <= 12; ++n) v[i++] = s.SpeciesTable[n].Gamma;
  for (int n = 1; n <= 12; ++n) v[i++] = defined(s.SpeciesTable[n].LogActivityDefined, s.SpeciesTable[n].LogActivity);
  for (int n = 1; n <= 12; ++n) v[i++] = s.SpeciesTable[n].FreeConc * 1000.0;
  for (int n = 1; n <= 24; ++n) v[i++] = s.ComplexTable[n].FreeConc * 1000.0;
  v[i++] = defined(s.SaturationIndexCalciteDefined, s.SaturationIndexCalcite);
  v[i++] = defined(s.SaturationIndexGypsumDefined, s.SaturationIndexGypsum);
  v[i++] = s.ChargeBalanceError;
  v[i++] = DissolvedInorganicCarbon(s) * 1000.0; // mmol/L
}

} // namespace vontralek
