#include "speciation/WaterQuality.h"

#include <algorithm>
#include <cmath>

#include "speciation/ActivityCoefficients.h"
#include "speciation/Temperature.h"

namespace vontralek {

namespace {

double LogKOf(const ModelState& s, int row) {
  const ConstantRecord& k = s.ConstantTable[row];
  return s.TemperatureGiven ? k.SampleLogK : k.LogK;
}

double DaviesSlopeOf(const ModelState& s) {
  return s.TemperatureGiven ? DaviesSlope(s.TemperatureC + ZeroCelsiusK) : activity::kDaviesA25C;
}

} // namespace

double SampleAlkalinity(const ModelState& s) {
  if (s.InputPair != CarbonatePair::BicarbonateCarbonate) return s.Alkalinity;
  const auto& S = s.SpeciesTable;
  return S[species::Bicarbonate].TotalConc + 2.0 * S[species::Carbonate].TotalConc + S[species::Hydroxide].TotalConc -
         S[species::Hydrogen].TotalConc;
}

double CalciteSaturationPH(const ModelState& s, double calcium, double bicarbonate) {
  const double f1 = activity::EvaluateActivityCoefficient(s.IonicStrength, 1.0, false, 0, DaviesSlopeOf(s));
  const double pK2 = -LogKOf(s, 4), pKs = -LogKOf(s, 5);
  return pK2 - pKs - std::log10(calcium) - std::log10(bicarbonate) - 5.0 * std::log10(f1);
}

WaterQuality ComputeWaterQuality(const ModelState& s, const std::array<double, 12>& M) {
  const auto& S = s.SpeciesTable;
  WaterQuality q;
  q.hardness = 1000.0 * (S[species::Calcium].TotalConc + S[species::Magnesium].TotalConc);
  const double massCaCO3 = M[species::Calcium] + M[species::Carbonate];
  q.hardnessAsCaCO3 = q.hardness * massCaCO3; // mmol/L x g/mol = mg/L
  q.hardnessGerman = q.hardness / kMmolPerGermanDegree;
  const double alkalinity = SampleAlkalinity(s); // eq/L
  q.carbonateHardness = std::max(0.0, std::min(1000.0 * alkalinity / 2.0, q.hardness));

  double solids = 0.0; // mg/L
  for (int n = species::Sodium; n <= species::Sulfate; ++n) solids = solids + 1000.0 * S[n].TotalConc * M[n];
  solids = solids + 1000.0 * S[species::Carbonate].TotalConc * M[species::Carbonate];
  solids =
      solids + kBicarbonateResidueFraction * (1000.0 * S[species::Bicarbonate].TotalConc * M[species::Bicarbonate]);
  q.dissolvedSolids = solids;

  const auto eq = [&S](int n) { return std::fabs(S[n].Charge) * S[n].TotalConc; };
  const double carbonates = eq(species::Bicarbonate) + eq(species::Carbonate);
  q.larsonSkoldDefined = carbonates > 0.0;
  if (q.larsonSkoldDefined) q.larsonSkold = (eq(species::Ligand1) + eq(species::Sulfate)) / carbonates;

  const double calcium = S[species::Calcium].TotalConc, bicarbonate = S[species::Bicarbonate].TotalConc;
  const bool pHKnown = s.PHDefined || s.InputPair == CarbonatePair::AlkalinityPH;
  q.lsiDefined = calcium > 0.0 && bicarbonate > 0.0 && pHKnown &&
                 s.ConstantTable[constant::CarbonicAcid2].LogK != 0.0 &&
                 s.ConstantTable[constant::CalciteSolubility].LogK != 0.0;
  if (!q.lsiDefined) return q;
  const double pHs = CalciteSaturationPH(s, calcium, bicarbonate);
  q.lsi = s.PH - pHs;
  q.rsi = 2.0 * pHs - s.PH;
  const double alkalinityAsCaCO3 = 1000.0 * alkalinity * massCaCO3 / 2.0; // mg/L
  q.psiDefined = alkalinityAsCaCO3 > 0.0;
  if (q.psiDefined) q.psi = 2.0 * pHs - (kPuckoriusSlope * std::log10(alkalinityAsCaCO3) + kPuckoriusIntercept);
  q.lsiDefined = std::isfinite(q.lsi);
  return q;
}

} // namespace vontralek
