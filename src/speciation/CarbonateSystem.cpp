// The carbonate system closed, in each outer pass, from the two variables the
// analysis gives. With the conditional constants of the pass KH' (CO2
// solubility), Kw' (water), K1' and K2' (carbonic acid), and H = [H+]:
//   B = [HCO3-] = K1' KH' pCO2 / H,  C = [CO3 2-] = K2' B / H,
// and the alkalinity balance Alk = B + 2C + Kw'/H - H. Pair "B" of the
// procedure as specified leaves a term of that balance out (-H for a positive
// alkalinity, 2C otherwise); the ion-association model solves it in full.

#include <cmath>

#include "speciation/DissolvedCarbon.h"
#include "speciation/FloatingPointFaults.h"
#include "speciation/Speciation.h"
#include "speciation/SpeciationDetail.h"

namespace vontralek {

namespace speciation_detail {

namespace {

const char* const kStepPairA = "closing the carbonate system from alkalinity and pH";
const char* const kStepPairB = "closing the carbonate system from alkalinity and pCO2";
const char* const kStepPairC = "closing the carbonate system from bicarbonate and carbonate";

// Why K1' x KH' (or a product with K2') came out 0: a constant that is
// absent (LogK 0 gives K = 0) or underflows.
std::string ConstantCause(const ModelState& state) {
  static const char* const names[constant::CarbonicAcid2 + 1] = {"", "the CO2 solubility constant", "",
                                                                 "the first dissociation constant of carbonic acid",
                                                                 "the second dissociation constant of carbonic acid"};
  for (int row : {constant::CO2Solubility, constant::CarbonicAcid1, constant::CarbonicAcid2}) {
    const ConstantRecord& constant = state.ConstantTable[row];
    if (constant.ConditionalK != 0.0) continue;
    return std::string(names[row]) + " is 0" +
           (constant.LogK == 0.0 ? " because it is absent (LogK 0 for equilibrium constant " + std::to_string(row) + ")"
                                 : " (equilibrium constant " + std::to_string(row) + ")") +
           "; enter it in worksheet 3";
  }
  return "";
}

std::string PairACause(const ModelState& state, double H, double K1KH, double K2) {
  if (H == 0.0)
    return "the hydrogen-ion concentration 10^-pH is 0 (pH " + Num(state.PH) + " is too high); check the sample's pH";
  if (std::isinf(H))
    return "the hydrogen-ion concentration 10^-pH is out of range (pH " + Num(state.PH) + "); check the sample's pH";
  if (K1KH == 0.0) return ConstantCause(state);
  if (H + 2.0 * K2 == 0.0) return "H+ + 2 K2' is 0; check the sample's pH and the carbonic-acid constants";
  if (std::pow(H, 2.0) == 0.0)
    return "the square of the hydrogen-ion concentration (" + Num(H) + " mol/L) is 0; check the sample's pH";
  return "the pH (" + Num(state.PH) + ") and alkalinity (" + Num(state.Alkalinity) +
         " eq/L) give values out of range; check them";
}

std::string PairBCause(const ModelState& state, double H) {
  if (H == 0.0)
    return "the hydrogen-ion concentration came out 0 (pCO2 " + Num(state.PCO2) +
           ", no CO2 and no water dissociation); check the sample's pCO2 and the constants";
  if (std::pow(H, 2.0) == 0.0)
    return "the square of the hydrogen-ion concentration (" + Num(H) + " mol/L) is 0; check the sample's pCO2";
  return "the alkalinity (" + Num(state.Alkalinity) + " eq/L) and pCO2 (" + Num(state.PCO2) +
         ") give no real root of the alkalinity balance or values out of range; check them";
}

std::string PairCCause(const ModelState& state) {
  const double B = state.SpeciesTable[species::Bicarbonate].TotalConc;
  const double C = state.SpeciesTable[species::Carbonate].TotalConc;
  if (C == 0.0) return "the carbonate concentration is 0; pair \"C\" needs a carbonate concentration above 0";
  std::string constants = ConstantCause(state);
  if (!constants.empty()) return constants;
  return "the bicarbonate (" + Num(B) + " mol/L) and carbonate (" + Num(C) +
         " mol/L) concentrations give values out of range; check them";
}

// Pair "B" in the ion-association model: the full alkalinity balance of pair
// "A", Alk = B + 2C + Kw'/H - H with B = A/H, C = K2' A/H^2 (A = K1' KH' pCO2),
// multiplied by H^2: f(H) = H^3 + Alk H^2 - S H - 2 K2' A = 0, S = A + Kw'.
// f has one positive root (Descartes: one sign change for either sign of
// Alk); Newton from the closed-form start converges in 3 to 5 steps. A step to
// H <= 0 halves H instead.
double SolveFullAlkalinityBalance(double start, double Alk, double A, double S, double K2) {
  double H = start;
  for (int iteration = 0; iteration < 50; ++iteration) {
    const double f = std::pow(H, 3.0) + Alk * std::pow(H, 2.0) - S * H - 2.0 * K2 * A;
    const double slope = 3.0 * std::pow(H, 2.0) + 2.0 * Alk * H - S;
    if (slope == 0.0) {
      H = 0.5 * H;
      continue;
    }
    const double step = f / slope;
    if (H - step <= 0.0) {
      H = 0.5 * H;
      continue;
    }
    H = H - step;
    if (std::fabs(step) <= 1e-15 * H) break;
  }
  return H;
}

} // namespace

void CloseCarbonateSystem(ModelState& state, bool checkEachStep, RememberedValue* hydrogenActivity) {
  auto& S = state.SpeciesTable;
  auto& CK = state.ConstantTable;
  const double KH = CK[constant::CO2Solubility].ConditionalK;
  const double Kw = CK[constant::WaterIonProduct].ConditionalK;
  const double K1 = CK[constant::CarbonicAcid1].ConditionalK;
  const double K2 = CK[constant::CarbonicAcid2].ConditionalK;
  double& H = S[species::Hydrogen].TotalConc;
  double& B = S[species::Bicarbonate].TotalConc;
  double& C = S[species::Carbonate].TotalConc;
  const double Alk = state.Alkalinity;

  switch (state.InputPair) {
  case CarbonatePair::AlkalinityPH: {
    const auto cause = [&] { return StepAndCause{kStepPairA, PairACause(state, H, K1 * KH, K2)}; };
    const auto tenToMinus = [](double pH) { return std::pow(10.0, -pH); };
    H = (hydrogenActivity ? hydrogenActivity->Of(state.PH, tenToMinus) : tenToMinus(state.PH)) /
        S[species::Hydrogen].Gamma;
    CheckStep(checkEachStep, [&] {
      return StepAndCause{kStepPairA, "10^-pH divided by the activity coefficient of H+ is out of range (pH " +
                                          Num(state.PH) + "); check the sample's pH"};
    });
    // The alkalinity balance solved for the CO2 pressure.
    state.PCO2 = std::pow(H, 2.0) / (K1 * KH) * (Alk + H - Kw / H) / (H + 2.0 * K2);
    CheckStep(checkEachStep, cause);
    B = K1 * KH * state.PCO2 / H;
    CheckStep(checkEachStep, cause);
    C = K1 * KH * K2 * state.PCO2 / std::pow(H, 2.0);
    CheckStep(checkEachStep, cause);
    break;
  }
  case CarbonatePair::AlkalinityPCO2: {
    const auto cause = [&] { return StepAndCause{kStepPairB, PairBCause(state, H)}; };
    const double P = state.PCO2;
    const double Sum = K1 * KH * P + Kw;
    if (Alk > 0.0) {
      // Positive root of Alk H^2 - S H - 2 K2' K1' KH' P = 0 (H+ term left out).
      H = (std::pow(std::pow(Sum, 2.0) + Alk * 8.0 * KH * K1 * K2 * P, 0.5) + Sum) / (2.0 * Alk);
    } else {
      // Positive root of H^2 + Alk H - S = 0 (carbonate term left out).
      H = (std::pow(std::pow(Alk, 2.0) + 4.0 * Sum, 0.5) + Alk * -1.0) * 0.5;
    }
    CheckStep(checkEachStep, cause);
    if (state.Model == SpeciationModel::IonAssociation) {
      H = SolveFullAlkalinityBalance(H, Alk, K1 * KH * P, Sum, K2);
      CheckStep(checkEachStep, cause);
    }
    B = K1 * KH * P / H;
    CheckStep(checkEachStep, cause);
    C = K1 * KH * K2 * P / std::pow(H, 2.0);
    CheckStep(checkEachStep, cause);
    break;
  }
  case CarbonatePair::BicarbonateCarbonate: {
    const auto cause = [&] { return StepAndCause{kStepPairC, PairCCause(state)}; };
    H = K2 * B / C;
    CheckStep(checkEachStep, cause);
    state.PCO2 = B * H / (K1 * KH);
    CheckStep(checkEachStep, cause);
    break;
  }
  case CarbonatePair::DICPH:
  case CarbonatePair::AlkalinityDIC:
    CloseFromDissolvedCarbon(state, checkEachStep);
    break;
  case CarbonatePair::None:
    // No pair: nothing is computed, H, B, C and pCO2 keep their values.
    break;
  }
}

} // namespace speciation_detail

void SolveCarbonateSystem(ModelState& state) {
  using namespace speciation_detail;
  RestoringOnFailure(state, [&](const ModelState&) { CloseCarbonateSystem(state); });
}

} // namespace vontralek
