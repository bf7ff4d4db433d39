// The quantities derived once the iteration has ended: activity coefficients
// referred to total concentrations, the calcium carbonate and sulfate
// solubility products referred to concentrations, dissolved CO2, log
// activities, the pH for the pairs that do not give it, the ion activity
// products and saturation indices, the charge-balance error, the weighted
// charge sum and the sodium adsorption ratios.

#include <cmath>

#include "speciation/FloatingPointFaults.h"
#include "speciation/SaturationIndices.h"
#include "speciation/Speciation.h"
#include "speciation/SpeciationDetail.h"

namespace vontralek {

namespace speciation_detail {

const char* SpeciesName(int row) {
  static const char* const names[13] = {
      "",         "H+",       "OH-",     "cation 1 (sodium)", "cation 2",  "cation 3 (calcium)", "cation 4 (magnesium)",
      "ligand 1", "ligand 2", "sulfate", "bicarbonate",       "carbonate", "dissolved CO2"};
  return names[row];
}

namespace {

std::string RowText(int row) { return "species row " + std::to_string(row) + " (" + SpeciesName(row) + ")"; }

// Charge-balance error in %, 100 (cations - anions) / (cations + anions), in
// equivalents of the analytical totals of rows 1 to 11 (H+, OH- = Kw'/H+,
// HCO3-, CO3 2- included); 0 for a sample without ions.
double ChargeBalanceError(const ModelState& state) {
  double cations = 0.0, anions = 0.0;
  for (int n = 1; n <= 11; ++n) {
    const SpeciesRecord& s = state.SpeciesTable[n];
    if (s.Charge > 0.0) cations = cations + s.Charge * s.TotalConc;
    if (s.Charge < 0.0) anions = anions + -s.Charge * s.TotalConc;
  }
  if (cations + anions == 0.0) return 0.0;
  return 100.0 * (cations - anions) / (cations + anions);
}

const char* const kCheckSample = "; check the sample's concentrations";

} // namespace

void DeriveFinalQuantities(ModelState& state, WeightedSumSource& weightedSum) {
  auto& S = state.SpeciesTable;
  auto& X = state.ComplexTable;
  auto& K = state.ConstantTable;

  // Coefficients referred to the total rather than the free concentration,
  // so that activity = gamma x total. As specified, HCO3- and CO3 2- already
  // carry F/T of the last pass and take it a second time (their log
  // activities come out low by log F/T); the ion-association model starts
  // from their free-ion coefficients and applies F/T once.
  const bool ionAssociation = state.Model == SpeciationModel::IonAssociation;
  for (int n = 3; n <= 11; ++n) {
    if (ionAssociation && (n == species::Bicarbonate || n == species::Carbonate)) S[n].Gamma = state.FreeIonGamma[n];
    if (S[n].TotalConc != 0.0 && S[n].FreeConc != 0.0) S[n].Gamma = S[n].Gamma * S[n].FreeConc / S[n].TotalConc;
    if (FaultRaised()) [[unlikely]]
      RaiseFault("referring the activity coefficient of " + RowText(n) + " to its total concentration",
                 "free " + Num(S[n].FreeConc) + " mol/L and total " + Num(S[n].TotalConc) + " mol/L" + kCheckSample);
  }

  // Solubility products of calcium carbonate and sulfate in concentrations.
  K[5].ConditionalK = K[5].K / (S[11].Gamma * S[5].Gamma);
  if (FaultRaised()) [[unlikely]]
    RaiseFault("referring the calcium carbonate solubility product to concentrations",
               "the activity coefficients of calcium and carbonate are " + Num(S[5].Gamma) + " and " +
                   Num(S[11].Gamma) + kCheckSample);
  K[6].ConditionalK = K[6].K / (S[5].Gamma * S[9].Gamma);
  if (FaultRaised()) [[unlikely]]
    RaiseFault("referring the calcium sulfate solubility product to concentrations",
               "the activity coefficients of calcium and sulfate are " + Num(S[5].Gamma) + " and " + Num(S[9].Gamma) +
                   kCheckSample);

  // Dissolved CO2 (with H2CO3) from Henry's law, mol/L.
  S[12].TotalConc = K[1].ConditionalK * state.PCO2;
  S[12].FreeConc = S[12].TotalConc;
  if (FaultRaised()) [[unlikely]]
    RaiseFault("computing dissolved CO2 from pCO2", "pCO2 " + Num(state.PCO2) + " is out of range");

  // log10 activities, ln(x) x log10(e). A row without a positive total has
  // no activity: the field keeps what it held (an earlier sample's value) and
  // is marked undefined, so that no report takes it for this sample's.
  for (int n = 1; n <= 12; ++n) {
    if (S[n].TotalConc > 0.0) {
      S[n].LogActivity = std::log(S[n].Gamma * S[n].TotalConc) * 0.434294481903252;
      S[n].LogActivityDefined = true;
    } else {
      S[n].LogActivityDefined = false;
    }
    if (FaultRaised()) [[unlikely]]
      RaiseFault("computing the log activity of " + RowText(n),
                 "its activity (activity coefficient " + Num(S[n].Gamma) + " x total " + Num(S[n].TotalConc) +
                     " mol/L) is 0 or out of range" + kCheckSample);
  }

  // The pH from the activity of H+ when the pair does not give it.
  // Without a positive H+ total there is no pH: the number left in PH is stale.
  if (state.InputPair == CarbonatePair::AlkalinityPCO2 || state.InputPair == CarbonatePair::BicarbonateCarbonate) {
    state.PH = -S[1].LogActivity;
    state.PHDefined = S[1].LogActivityDefined;
  } else if (state.InputPair == CarbonatePair::AlkalinityPH) {
    state.PHDefined = true;
  }

  // Ion activity products, defined only when both activities are.
  state.LogIapCaCO3 = S[11].LogActivity + S[5].LogActivity;
  state.LogIapCaSO4 = S[9].LogActivity + S[5].LogActivity;
  state.LogIapCaCO3Defined = S[11].LogActivityDefined && S[5].LogActivityDefined;
  state.LogIapCaSO4Defined = S[9].LogActivityDefined && S[5].LogActivityDefined;
  if (FaultRaised()) [[unlikely]]
    RaiseFault("computing the ion activity products", "a log activity is out of range" + std::string(kCheckSample));

  // Saturation indices log IAP - log Ksp of calcite (LogK 5) and gypsum
  // (LogK 6), Ksp at the sample's temperature when one is given; none without
  // the solubility product or the activity product. Gypsum, CaSO4·2H2O,
  // releases two waters: with the ion-association model its IAP takes a_w^2.
  SetWaterActivity(state);
  const bool atTemperature = state.TemperatureGiven;
  state.SaturationIndexCalcite = state.LogIapCaCO3 - (atTemperature ? K[5].SampleLogK : K[5].LogK);
  state.SaturationIndexGypsum =
      (ionAssociation ? state.LogIapCaSO4 + 2.0 * state.LogWaterActivity : state.LogIapCaSO4) -
      (atTemperature ? K[6].SampleLogK : K[6].LogK);
  state.SaturationIndexCalciteDefined = state.LogIapCaCO3Defined && K[5].LogK != 0.0;
  state.SaturationIndexGypsumDefined = state.LogIapCaSO4Defined && K[6].LogK != 0.0 && state.LogWaterActivityDefined;
  state.ChargeBalanceError = ChargeBalanceError(state);
  if (FaultRaised()) [[unlikely]]
    RaiseFault("computing the saturation indices and the charge-balance error",
               "a log activity or a total is out of range" + std::string(kCheckSample));

  // Weighted charge sum: start + scale x sum of z x weight x mmol/L,
  // charges with their sign; dissolved CO2 (row 12) does not enter.
  weightedSum.LoadWeightedSumParameters(state);
  auto& aux = state.AuxTable[WeightedSumRecord];
  for (int n = 1; n <= 11; ++n) {
    aux.WeightedSum = aux.WeightedSum + S[n].Charge * aux.SumScale * S[n].SumWeight * 1000.0 * S[n].FreeConc;
    if (FaultRaised()) [[unlikely]]
      RaiseFault("adding " + RowText(n) + " to the weighted charge sum",
                 "the sum or its scale (" + Num(aux.SumScale) + ") is out of range; check the weighting coefficients");
  }
  for (int n = 1; n <= 24; ++n) {
    aux.WeightedSum = aux.WeightedSum + X[n].Charge * aux.SumScale * X[n].SumWeight * 1000.0 * X[n].FreeConc;
    if (FaultRaised()) [[unlikely]]
      RaiseFault("adding complex row " + std::to_string(n) + " to the weighted charge sum",
                 "the sum or its scale (" + Num(aux.SumScale) + ") is out of range; check the weighting coefficients");
  }

  // Sodium adsorption ratio Na / sqrt(Ca + Mg) in (mmol/L)^0.5, from
  // totals and from activities; 0 for a water without calcium and magnesium.
  state.Sar = 0.0;
  state.SarActivity = 0.0;
  if (S[5].TotalConc == 0.0 && S[6].TotalConc == 0.0) return;
  const double rootThousand = std::pow(1000.0, 0.5);
  state.Sar = rootThousand * S[3].TotalConc / std::pow(S[6].TotalConc + S[5].TotalConc, 0.5);
  if (FaultRaised()) [[unlikely]]
    RaiseFault("computing the sodium adsorption ratio",
               "calcium + magnesium is " + Num(S[6].TotalConc + S[5].TotalConc) +
                   " mol/L, not positive; check the sample's calcium and magnesium");
  state.SarActivity = rootThousand * S[3].TotalConc * S[3].Gamma /
                      std::pow(S[5].Gamma * S[5].TotalConc + S[6].Gamma * S[6].TotalConc, 0.5);
  if (FaultRaised()) [[unlikely]]
    RaiseFault("computing the sodium adsorption ratio from activities",
               "the calcium + magnesium activity is " + Num(S[5].Gamma * S[5].TotalConc + S[6].Gamma * S[6].TotalConc) +
                   ", not positive; check the sample's calcium and magnesium");
}

} // namespace speciation_detail

void ComputeFinalQuantities(ModelState& state, WeightedSumSource& weightedSum) {
  using namespace speciation_detail;
  RestoringOnFailure(state, [&](const ModelState&) { DeriveFinalQuantities(state, weightedSum); });
}

} // namespace vontralek
