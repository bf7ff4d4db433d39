// The carbonate system closed from the dissolved inorganic carbon. With the
// conditional constants of the pass KH', Kw', K1', K2', H = [H+] and P = pCO2:
//   CO2 = KH' P,  B = [HCO3-] = K1' KH' P / H,  C = [CO3 2-] = K2' B / H,
// so DIC = CO2 + B + C = KH' P (1 + K1'/H + K1' K2'/H^2), and the alkalinity
// balance of pair "A", Alk = B + 2C + Kw'/H - H. Pair DIC and pH takes H from
// the pH as pair "A" does and P from DIC; pair alkalinity and DIC takes H from
// the alkalinity balance with DIC given (g(H) = 0 in DissolvedCarbon.h), which
// falls with H from +inf to -inf and so has one root. Its search starts from
// the last pass's H+, which it gives back unchanged when the inputs are the
// same, so that the outer iteration can settle.

#include "speciation/DissolvedCarbon.h"

#include <cmath>
#include <limits>
#include <optional>
#include <string>

#include "common/Errors.h"
#include "speciation/FloatingPointFaults.h"

namespace vontralek::speciation_detail {

namespace {

// The bracket of the search, mol/L: pH -2 to 20, beyond any water.
constexpr double kLowestH = 1e-20;
constexpr double kHighestH = 100.0;

bool PositiveFinite(double x) { return x > 0.0 && x <= std::numeric_limits<double>::max(); }

// A first [H+] from the buffer the alkalinity lies in: CO2/HCO3-,
// HCO3-/CO3 2-, or water and strong acid or base alone.
double FirstHydrogen(const AlkalinityBalance& b) {
  const double Alk = b.alkalinity, DIC = b.carbon;
  if (Alk <= 0.0) return -Alk + std::sqrt(b.k.K1 * DIC + b.k.Kw);
  if (Alk < DIC) return b.k.K1 * (DIC - Alk) / Alk;
  if (Alk < 2.0 * DIC) return b.k.K2 * (2.0 * DIC - Alk) / (Alk - DIC);
  return b.k.Kw / (Alk - 2.0 * DIC);
}

std::string Mmol(double molPerL) { return Num(molPerL * 1000.0); }

CarbonConstants ConstantsOfPass(const ModelState& state) {
  const auto& C = state.ConstantTable;
  const CarbonConstants k{C[constant::CO2Solubility].ConditionalK, C[constant::WaterIonProduct].ConditionalK,
                          C[constant::CarbonicAcid1].ConditionalK, C[constant::CarbonicAcid2].ConditionalK};
  if (!PositiveFinite(k.KH) || !PositiveFinite(k.Kw) || !PositiveFinite(k.K1) || !PositiveFinite(k.K2))
    throw SampleFailure("a DIC needs the CO2 solubility constant, the ion product of water and both dissociation "
                        "constants of carbonic acid (equilibrium constants 1 to 4); one of them is 0 or out of "
                        "range; enter it in worksheet 3");
  return k;
}

} // namespace

double HydrogenFromAlkalinityAndCarbon(const AlkalinityBalance& balance, double start, double* slopeAtRoot) {
  const CarbonConstants& k = balance.k;
  if (!PositiveFinite(k.Kw) || !PositiveFinite(k.K1) || !PositiveFinite(k.K2) || !(balance.carbon >= 0.0) ||
      !std::isfinite(balance.alkalinity))
    return 0.0;
  double lo = kLowestH, hi = kHighestH;
  const auto middle = [&] { return std::sqrt(lo * hi); };
  if (!PositiveFinite(start)) start = FirstHydrogen(balance);
  double H = start > lo && start < hi ? start : middle();
  double slope = 0.0;
  for (int iteration = 0; iteration < 200; ++iteration) {
    const double g = balance.Value(H, slope);
    if (g == 0.0) break;
    if (!std::isfinite(g) || !std::isfinite(slope)) return 0.0;
    if (g > 0.0)
      lo = H; // g falls with H: the root lies above
    else
      hi = H;
    // Newton's step in ln H, r = d(ln H); near the root H (1 + r) is the
    // same step to second order and needs no exp.
    const double r = slope < 0.0 ? -g / slope : HUGE_VAL;
    if (std::fabs(r) <= 1e-13) break;
    double next = std::fabs(r) < 0.1 ? H * (1.0 + r) : std::fabs(r) < 50.0 ? H * std::exp(r) : middle();
    if (!(next > lo && next < hi)) next = middle();
    if (hi <= lo * (1.0 + 1e-15)) break;
    H = next;
  }
  // A root at the edge of the bracket is none: no water has that pH.
  if (!(H > kLowestH * 1.000001 && H < kHighestH * 0.999999)) return 0.0;
  if (slopeAtRoot) *slopeAtRoot = slope;
  return H;
}

void CloseFromDissolvedCarbon(ModelState& state, bool checkEachStep) {
  auto& S = state.SpeciesTable;
  const CarbonConstants k = ConstantsOfPass(state);
  double& H = S[species::Hydrogen].TotalConc;
  {
    // The searches test what they compute themselves and raise no flag on a
    // water; constants near the ends of the range of a double may. Such a
    // flag makes the solver repeat the solve testing each step, and there it
    // is placed here.
    std::optional<FaultScope> searches;
    if (checkEachStep) searches.emplace();
    if (state.Calcite.active) {
      const CalciteCondition& w = state.Calcite;
      const CalciteSolution solution = SolveCalciteDissolved(state, k);
      const double D = solution.dissolved;
      state.Calcite.dissolved = D;
      S[species::Calcium].TotalConc = w.calcium + D;
      state.Alkalinity = w.alkalinity + 2.0 * D;
      state.DIC = w.carbon + D;
      H = solution.hydrogen;
    } else if (!(state.DIC >= 0.0) || !std::isfinite(state.DIC)) {
      throw SampleFailure("the DIC " + Mmol(state.DIC) +
                          " mmol/L is negative or out of range; give a DIC of 0 or more");
    } else if (state.InputPair == CarbonatePair::AlkalinityDIC) {
      H = HydrogenFromAlkalinityAndCarbon({state.Alkalinity, state.DIC, k}, H);
      if (H == 0.0)
        throw SampleFailure("alkalinity " + Mmol(state.Alkalinity) + " meq/L with DIC " + Mmol(state.DIC) +
                            " mmol/L gives no pH between -2 and 20; check them");
    }
    if (checkEachStep && FaultRaised())
      throw SampleFailure("the carbonate system from DIC" + std::string(state.Calcite.active ? " with calcite" : "") +
                          " meets values beyond the range of a double; check the constants and the sample");
  }
  if (state.InputPair == CarbonatePair::DICPH) {
    H = std::pow(10.0, -state.PH) / S[species::Hydrogen].Gamma;
    if (!PositiveFinite(H))
      throw SampleFailure("the hydrogen-ion concentration from pH " + Num(state.PH) +
                          " is 0 or out of range; check the sample's pH");
  }
  state.PCO2 = state.DIC / (k.KH * (1.0 + k.K1 / H + k.K1 * k.K2 / (H * H)));
  S[species::Bicarbonate].TotalConc = k.K1 * k.KH * state.PCO2 / H;
  S[species::Carbonate].TotalConc = k.K1 * k.KH * k.K2 * state.PCO2 / (H * H);
}

} // namespace vontralek::speciation_detail
