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
  static const char* const names[species::Count + 1] = {
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
  for (int n : species::Ions) {
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
  for (int n : species::CationsAndLigands) {
    if (ionAssociation && (n == species::Bicarbonate || n == species::Carbonate)) S[n].Gamma = state.FreeIonGamma[n];
    if (S[n].TotalConc != 0.0 && S[n].FreeConc != 0.0) S[n].Gamma = S[n].Gamma * S[n].FreeConc / S[n].TotalConc;
    if (FaultRaised()) [[unlikely]]
      RaiseFault("referring the activity coefficient of " + RowText(n) + " to its total concentration",
                 "free " + Num(S[n].FreeConc) + " mol/L and total " + Num(S[n].TotalConc) + " mol/L" + kCheckSample);
  }

  // Solubility products of calcium carbonate and sulfate in concentrations.
  const auto& calcium = S[species::Calcium];
  const auto& carbonate = S[species::Carbonate];
  const auto& sulfate = S[species::Sulfate];
  auto& calcite = K[constant::CalciteSolubility];
  auto& gypsum = K[constant::GypsumSolubility];
  calcite.ConditionalK = calcite.K / (carbonate.Gamma * calcium.Gamma);
  if (FaultRaised()) [[unlikely]]
    RaiseFault("referring the calcium carbonate solubility product to concentrations",
               "the activity coefficients of calcium and carbonate are " + Num(calcium.Gamma) + " and " +
                   Num(carbonate.Gamma) + kCheckSample);
  gypsum.ConditionalK = gypsum.K / (calcium.Gamma * sulfate.Gamma);
  if (FaultRaised()) [[unlikely]]
    RaiseFault("referring the calcium sulfate solubility product to concentrations",
               "the activity coefficients of calcium and sulfate are " + Num(calcium.Gamma) + " and " +
                   Num(sulfate.Gamma) + kCheckSample);

  // Dissolved CO2 (with H2CO3) from Henry's law, mol/L.
  auto& co2 = S[species::DissolvedCO2];
  co2.TotalConc = K[constant::CO2Solubility].ConditionalK * state.PCO2;
  co2.FreeConc = co2.TotalConc;
  if (FaultRaised()) [[unlikely]]
    RaiseFault("computing dissolved CO2 from pCO2", "pCO2 " + Num(state.PCO2) + " is out of range");

  // log10 activities, ln(x) x log10(e). A row without a positive total has
  // no activity: the field keeps what it held (an earlier sample's value) and
  // is marked undefined, so that no report takes it for this sample's.
  for (int n : species::All) {
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
  if (state.InputPair == CarbonatePair::AlkalinityPCO2 || state.InputPair == CarbonatePair::BicarbonateCarbonate ||
      state.InputPair == CarbonatePair::AlkalinityDIC) {
    state.PH = -S[species::Hydrogen].LogActivity;
    state.PHDefined = S[species::Hydrogen].LogActivityDefined;
  } else if (state.InputPair == CarbonatePair::AlkalinityPH || state.InputPair == CarbonatePair::DICPH) {
    state.PHDefined = true;
  }

  // Ion activity products, defined only when both activities are.
  state.LogIapCaCO3 = carbonate.LogActivity + calcium.LogActivity;
  state.LogIapCaSO4 = sulfate.LogActivity + calcium.LogActivity;
  state.LogIapCaCO3Defined = carbonate.LogActivityDefined && calcium.LogActivityDefined;
  state.LogIapCaSO4Defined = sulfate.LogActivityDefined && calcium.LogActivityDefined;
  if (FaultRaised()) [[unlikely]]
    RaiseFault("computing the ion activity products", "a log activity is out of range" + std::string(kCheckSample));

  // Saturation indices log IAP - log Ksp of calcite (LogK 5) and gypsum
  // (LogK 6), Ksp at the sample's temperature when one is given; none without
  // the solubility product or the activity product. Gypsum, CaSO4·2H2O,
  // releases two waters: with the ion-association model its IAP takes a_w^2.
  SetWaterActivity(state);
  const bool atTemperature = state.TemperatureGiven;
  state.SaturationIndexCalcite = state.LogIapCaCO3 - (atTemperature ? calcite.SampleLogK : calcite.LogK);
  state.SaturationIndexGypsum =
      (ionAssociation ? state.LogIapCaSO4 + 2.0 * state.LogWaterActivity : state.LogIapCaSO4) -
      (atTemperature ? gypsum.SampleLogK : gypsum.LogK);
  state.SaturationIndexCalciteDefined = state.LogIapCaCO3Defined && calcite.LogK != 0.0;
  state.SaturationIndexGypsumDefined = state.LogIapCaSO4Defined && gypsum.LogK != 0.0 && state.LogWaterActivityDefined;
  state.ChargeBalanceError = ChargeBalanceError(state);
  if (FaultRaised()) [[unlikely]]
    RaiseFault("computing the saturation indices and the charge-balance error",
               "a log activity or a total is out of range" + std::string(kCheckSample));

  // Weighted charge sum: start + scale x sum of z x weight x mmol/L,
  // charges with their sign; dissolved CO2 (row 12) does not enter.
  weightedSum.LoadWeightedSumParameters(state);
  auto& aux = state.AuxTable[WeightedSumRecord];
  for (int n : species::Ions) {
    aux.WeightedSum = aux.WeightedSum + S[n].Charge * aux.SumScale * S[n].SumWeight * 1000.0 * S[n].FreeConc;
    if (FaultRaised()) [[unlikely]]
      RaiseFault("adding " + RowText(n) + " to the weighted charge sum",
                 "the sum or its scale (" + Num(aux.SumScale) + ") is out of range; check the weighting coefficients");
  }
  for (int n : complex::All) {
    aux.WeightedSum = aux.WeightedSum + X[n].Charge * aux.SumScale * X[n].SumWeight * 1000.0 * X[n].FreeConc;
    if (FaultRaised()) [[unlikely]]
      RaiseFault("adding complex row " + std::to_string(n) + " to the weighted charge sum",
                 "the sum or its scale (" + Num(aux.SumScale) + ") is out of range; check the weighting coefficients");
  }

  // Sodium adsorption ratio Na / sqrt(Ca + Mg) in (mmol/L)^0.5, from
  // totals and from activities; 0 for a water without calcium and magnesium.
  state.Sar = 0.0;
  state.SarActivity = 0.0;
  const auto& sodium = S[species::Sodium];
  const auto& magnesium = S[species::Magnesium];
  if (calcium.TotalConc == 0.0 && magnesium.TotalConc == 0.0) return;
  const double rootThousand = std::pow(1000.0, 0.5);
  state.Sar = rootThousand * sodium.TotalConc / std::pow(magnesium.TotalConc + calcium.TotalConc, 0.5);
  if (FaultRaised()) [[unlikely]]
    RaiseFault("computing the sodium adsorption ratio",
               "calcium + magnesium is " + Num(magnesium.TotalConc + calcium.TotalConc) +
                   " mol/L, not positive; check the sample's calcium and magnesium");
  state.SarActivity = rootThousand * sodium.TotalConc * sodium.Gamma /
                      std::pow(calcium.Gamma * calcium.TotalConc + magnesium.Gamma * magnesium.TotalConc, 0.5);
  if (FaultRaised()) [[unlikely]]
    RaiseFault("computing the sodium adsorption ratio from activities",
               "the calcium + magnesium activity is " +
                   Num(calcium.Gamma * calcium.TotalConc + magnesium.Gamma * magnesium.TotalConc) +
                   ", not positive; check the sample's calcium and magnesium");
}

} // namespace speciation_detail

void ComputeFinalQuantities(ModelState& state, WeightedSumSource& weightedSum) {
  using namespace speciation_detail;
  RestoringOnFailure(state, [&](const ModelState&) { DeriveFinalQuantities(state, weightedSum); });
}

} // namespace vontralek
