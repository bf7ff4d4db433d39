#include "speciation/SolverMessages.h"

#include "speciation/FloatingPointFaults.h"

namespace vontralek::speciation_detail {

std::string ConstantName(int row) {
  static const char* const names[constant::Named.last + 1] = {"",
                                                              "the CO2 solubility constant",
                                                              "the ion product of water",
                                                              "the first dissociation constant of carbonic acid",
                                                              "the second dissociation constant of carbonic acid",
                                                              "the calcium carbonate solubility product",
                                                              "the calcium sulfate solubility product"};
  if (constant::Named.Contains(row)) return names[row];
  return "the formation constant of complex row " + std::to_string(ComplexRowOfConstant(row));
}

std::string ZeroHydrogenCause(const ModelState& state) {
  switch (state.InputPair) {
  case CarbonatePair::None:
    return "no input pair was chosen, so the hydrogen-ion concentration was never computed; choose alkalinity and "
           "pH, alkalinity and pCO2, or bicarbonate and carbonate";
  case CarbonatePair::AlkalinityPH:
    return "10^-pH is 0 (pH " + Num(state.PH) + " is too high); check the sample's pH";
  case CarbonatePair::AlkalinityPCO2:
    return "the alkalinity balance gave 0 (pCO2 " + Num(state.PCO2) + "); check the sample's pCO2 and alkalinity";
  case CarbonatePair::DICPH:
  case CarbonatePair::AlkalinityDIC:
    return "the hydrogen-ion concentration is out of range; check the sample's pH, alkalinity and DIC";
  case CarbonatePair::BicarbonateCarbonate:
    break;
  }
  if (state.SpeciesTable[species::Bicarbonate].TotalConc == 0.0)
    return "the bicarbonate concentration is 0; pair \"C\" needs a bicarbonate concentration above 0";
  if (state.ConstantTable[constant::CarbonicAcid2].LogK == 0.0)
    return "the second dissociation constant of carbonic acid is absent (LogK 0 for equilibrium constant 4); enter it "
           "in worksheet 3";
  return "H+ = K2' x bicarbonate / carbonate came out 0; check the sample's bicarbonate and carbonate";
}

std::string ImpossibleCarbonateCause(const ModelState& state) {
  const auto& S = state.SpeciesTable;
  const std::string alkalinity = Num(state.Alkalinity * 1000.0) + " meq/L";
  switch (state.InputPair) {
  case CarbonatePair::AlkalinityPH:
    return "pH " + Num(state.PH) + " with alkalinity " + alkalinity +
           " leaves no carbonate: the computed pCO2 is negative (at that pH, hydroxide and its complexes alone, " +
           Num(state.ConstantTable[constant::WaterIonProduct].ConditionalK / S[species::Hydrogen].TotalConc * 1000.0) +
           " meq/L, exceed the alkalinity); check the sample's pH and alkalinity";
  case CarbonatePair::AlkalinityPCO2:
    return "pCO2 " + Num(state.PCO2) + " with alkalinity " + alkalinity +
           " gives a negative hydrogen-ion, bicarbonate or carbonate concentration; a pCO2 must not be negative";
  case CarbonatePair::BicarbonateCarbonate:
    return "bicarbonate " + Num(S[species::Bicarbonate].TotalConc * 1000.0) + " mmol/L with carbonate " +
           Num(S[species::Carbonate].TotalConc * 1000.0) +
           " mmol/L gives a negative hydrogen-ion concentration or pCO2; neither may be negative";
  case CarbonatePair::DICPH:
  case CarbonatePair::AlkalinityDIC:
    return "DIC " + Num(state.DIC * 1000.0) +
           " mmol/L gives a negative concentration or pCO2; a DIC must not be "
           "negative";
  case CarbonatePair::None:
    break;
  }
  return "the carbonate system holds a negative concentration or pCO2";
}

} // namespace vontralek::speciation_detail
