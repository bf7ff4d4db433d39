// The reactions, each one solve of a copy of the sample's state:
// - the water at the evaluation temperature keeps its totals: its alkalinity
//   and DIC (the carbon does not leave a closed water) with every ion, solved
//   with the pair alkalinity and DIC there (skipped at the sample's own);
// - equilibrium with calcite, closed system, from the water at the evaluation
//   temperature: the pass's carbonate closure also finds the calcite D that
//   dissolves (D > 0) or deposits (D < 0) until IAP = Ksp, calcium and DIC
//   rising by D and the alkalinity by 2 D (DissolvedCarbon.cpp);
// - equilibrium with CO2 gas, open system, at the sample's temperature: the
//   alkalinity stays (CO2 carries none) and the pCO2 is given, i.e. the pair
//   alkalinity and pCO2; the carbon the water gives off is the DIC lost.
// So the calcite saturation costs one or two speciations and the CO2
// equilibrium one, beside the sample's own.

#include "speciation/Reactions.h"

#include <cmath>
#include <cstring>
#include <optional>
#include <string>

#include "common/Errors.h"
#include "speciation/FloatingPointFaults.h"
#include "speciation/Speciation.h"

namespace vontralek {

namespace {

// A solve of one reaction; a failure names the reaction before its reason.
void SolveReaction(ModelState& state, WeightedSumSource& weightedSum, const std::string& reaction) {
  try {
    SolveSpeciation(state, weightedSum);
  } catch (const ArithmeticFault& fault) {
    throw ArithmeticFault(reaction + ": " + fault.what());
  } catch (const SampleFailure& failure) {
    throw SampleFailure(reaction + ": " + failure.what());
  }
}

// The same water with its alkalinity and DIC given, as a reaction starts it
// (in place: a state is some 12 KB, and a reaction would otherwise copy it
// several times).
void GiveAlkalinityAndCarbon(ModelState& state) {
  state.Alkalinity = AlkalinityOf(state);
  state.DIC = DissolvedInorganicCarbon(state);
  state.InputPair = CarbonatePair::AlkalinityDIC;
  state.WarmStart = true;
}

} // namespace

double AlkalinityOf(const ModelState& solved) {
  switch (solved.InputPair) {
  case CarbonatePair::AlkalinityPH:
  case CarbonatePair::AlkalinityPCO2:
  case CarbonatePair::AlkalinityDIC:
    return solved.Alkalinity;
  case CarbonatePair::BicarbonateCarbonate:
  case CarbonatePair::DICPH:
  case CarbonatePair::None:
    break;
  }
  const auto& S = solved.SpeciesTable;
  return S[species::Bicarbonate].TotalConc + 2.0 * S[species::Carbonate].TotalConc + S[species::Hydroxide].TotalConc -
         S[species::Hydrogen].TotalConc;
}

void ComputeReactions(ModelState& state, const ReactionConditions& settings, WeightedSumSource& weightedSum) {
  state.Reactions = ReactionResults{};
  const ModelState& solved = state;
  ReactionResults results;
  if (settings.calciteSaturation) {
    const double Tb = settings.evaluationTemperatureC;
    const bool ownTemperature = !settings.evaluationTemperatureGiven ||
                                (solved.TemperatureGiven && std::memcmp(&Tb, &solved.TemperatureC, sizeof Tb) == 0);
    std::optional<ModelState> atTb;
    if (!ownTemperature) {
      atTb.emplace(solved);
      GiveAlkalinityAndCarbon(*atTb);
      atTb->TemperatureGiven = true;
      atTb->TemperatureC = Tb;
      atTb->Memo = state.EvaluationMemo;
      SolveReaction(*atTb, weightedSum, "bringing the water to " + speciation_detail::Num(Tb) + " °C");
      state.EvaluationMemo = atTb->Memo;
    }
    const ModelState& evaluation = atTb ? *atTb : solved;
    results.pHEvaluation = evaluation.PH;
    results.siCalciteEvaluation = evaluation.SaturationIndexCalcite;
    results.siCalciteEvaluationDefined = evaluation.SaturationIndexCalciteDefined;

    // The water at the evaluation temperature is not needed after this: the
    // calcite equilibrium starts from it in place.
    std::optional<ModelState> own;
    if (!atTb) own.emplace(solved);
    ModelState& calcite = atTb ? *atTb : *own;
    GiveAlkalinityAndCarbon(calcite);
    calcite.Calcite = {.active = true,
                       .calcium = calcite.SpeciesTable[species::Calcium].TotalConc,
                       .carbon = calcite.DIC,
                       .alkalinity = calcite.Alkalinity,
                       .dissolved = 0.0};
    const std::string reaction = "bringing the water to equilibrium with calcite";
    SolveReaction(calcite, weightedSum, reaction);
    // The condition holds in every pass; the converged water must meet it.
    if (!calcite.SaturationIndexCalciteDefined || !(std::fabs(calcite.SaturationIndexCalcite) <= 1e-9))
      throw SampleFailure(reaction + ": the iteration ended with SI calcite " +
                          speciation_detail::Num(calcite.SaturationIndexCalcite) + " instead of 0");
    results.pHC = calcite.PH;
    results.dissolutionCapacity = calcite.Calcite.dissolved;
    results.calcite = true;
  }
  if (settings.equilibriumPCO2Given) {
    ModelState open = solved;
    open.Alkalinity = AlkalinityOf(solved);
    open.PCO2 = settings.equilibriumPCO2;
    open.InputPair = CarbonatePair::AlkalinityPCO2;
    open.WarmStart = true;
    SolveReaction(open, weightedSum, "bringing the water to equilibrium with CO2 gas");
    results.pHCO2 = open.PH;
    results.dicCO2 = DissolvedInorganicCarbon(open);
    results.siCalciteCO2 = open.SaturationIndexCalcite;
    results.siCalciteCO2Defined = open.SaturationIndexCalciteDefined;
    results.co2Degassed = DissolvedInorganicCarbon(solved) - results.dicCO2;
    results.co2 = true;
  }
  state.Reactions = results;
}

} // namespace vontralek
