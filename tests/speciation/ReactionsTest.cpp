// The pairs with DIC and the reactions: a water entered as alkalinity and pH, then as DIC and pH and as alkalinity and
// DIC with the DIC it gave, is the same water; the reactions against PHREEQC 3.8.8 (data/reference-reactions.csv:
// the five example waters at 15 and 25 °C, with calcite, with CO2 at 10^-3.4 atm and at 10 °C, copied from the shared
// reference set, which states how it was made); a reaction that cannot be solved names itself and its reason.

#include <cmath>
#include <iostream>
#include <string>

#include <gtest/gtest.h>

#include "SpeciationTestSupport.h"
#include "common/Errors.h"
#include "speciation/Mixing.h"
#include "speciation/Reactions.h"

namespace vontralek {
namespace {

using namespace testsupport;

FixedWeightedSum weights;

double Relative(double actual, double expected) {
  return expected == 0.0 ? std::fabs(actual) : std::fabs(actual - expected) / std::fabs(expected);
}

// Every number a solve reports, as (name, value); a pair's given input is the same number on both sides.
std::vector<std::pair<std::string, double>> Results(const ModelState& s) {
  std::vector<std::pair<std::string, double>> v = {{"I", s.IonicStrength},
                                                   {"pH", s.PH},
                                                   {"pCO2", s.PCO2},
                                                   {"DIC", DissolvedInorganicCarbon(s)},
                                                   {"alkalinity", AlkalinityOf(s)},
                                                   {"SI calcite", s.SaturationIndexCalcite},
                                                   {"SI gypsum", s.SaturationIndexGypsum},
                                                   {"SAR activity", s.SarActivity},
                                                   {"weighted sum", s.AuxTable[WeightedSumRecord].WeightedSum}};
  for (int n = 1; n <= 12; ++n) {
    v.emplace_back("free " + std::to_string(n), s.SpeciesTable[n].FreeConc);
    v.emplace_back("gamma " + std::to_string(n), s.SpeciesTable[n].Gamma);
    v.emplace_back("log a " + std::to_string(n), s.SpeciesTable[n].LogActivity);
  }
  for (int m = 1; m <= 24; ++m) v.emplace_back("complex " + std::to_string(m), s.ComplexTable[m].FreeConc);
  return v;
}

TEST(DissolvedCarbonPairs, GiveTheSameWaterAsAlkalinityAndPH) {
  for (const auto model : {SpeciationModel::AsSpecified, SpeciationModel::IonAssociation})
    for (const ExampleWater& water : Waters()) {
      ModelState a = Sample(water, CarbonatePair::AlkalinityPH, model);
      SolveSpeciation(a, weights);
      const double dic = DissolvedInorganicCarbon(a);
      ModelState dicPH = Sample(water, CarbonatePair::DICPH, model), alkDIC = dicPH;
      dicPH.Alkalinity = 0.0, dicPH.DIC = dic;
      alkDIC.InputPair = CarbonatePair::AlkalinityDIC, alkDIC.PH = 0.0, alkDIC.DIC = dic;
      SolveSpeciation(dicPH, weights);
      SolveSpeciation(alkDIC, weights);
      const auto expected = Results(a), fromDicPH = Results(dicPH), fromAlkDIC = Results(alkDIC);
      for (std::size_t i = 0; i < expected.size(); ++i) {
        const auto& [name, value] = expected[i];
        const bool logarithm = name == "pH" || name.starts_with("SI") || name.starts_with("log");
        const auto gap = [&](double x) { return logarithm ? std::fabs(x - value) : Relative(x, value); };
        EXPECT_LE(gap(fromDicPH[i].second), 1e-10) << water.id << " DIC and pH: " << name;
        EXPECT_LE(gap(fromAlkDIC[i].second), 1e-10) << water.id << " alkalinity and DIC: " << name;
      }
    }
}

// data/reference-reactions.csv by case, water and temperature.
std::map<std::string, Row> PhreeqcReactions() {
  std::map<std::string, Row> rows;
  for (const Row& row : ReadTable(SPECIATION_TEST_DATA "/reference-reactions.csv"))
    rows[row.at("case") + " " + row.at("id") + " " + row.at("temp_C").substr(0, 4)] = row;
  return rows;
}

TEST(Reactions, AgreeWithPhreeqcOnTheExampleWaters) {
  const auto phreeqc = PhreeqcReactions();
  std::map<std::string, double> largest;
  int compared = 0;
  // Logarithms (pH, SI) within 1e-6, amounts within 1e-6 relative (of `scale` when given: the CO2 given off is a
  // difference of two DICs, each known to 2e-7, and PHREEQC's counts moles in a mass of water that the reaction
  // changes by up to 1.5e-7 kg, so it is held to 1e-6 of the DIC).
  const auto check = [&](double actual, double expected, const std::string& what, bool logarithm, double scale = 0.0,
                         double tolerance = 1e-6) {
    const double deviation = logarithm     ? std::fabs(actual - expected)
                             : scale > 0.0 ? std::fabs(actual - expected) / scale
                                           : Relative(actual, expected);
    largest[what] = std::max(largest[what], deviation);
    EXPECT_LE(deviation, tolerance) << what << ": " << actual << " against " << expected;
    ++compared;
  };
  for (const char* temperature : {"1.50", "2.50"})
    for (const ExampleWater& water : Waters()) {
      ModelState s = AtTemperature(water, CarbonatePair::AlkalinityPH, std::stod(temperature) * 10.0);
      SolveSpeciation(s, weights);
      const std::string at = water.id + " " + temperature;
      check(DissolvedInorganicCarbon(s), Number(phreeqc.at("speciate " + at), "tot_C"), "DIC", false);
      ModelState reacted = s;
      ComputeReactions(reacted, {true, true, 10.0, true, std::pow(10.0, -3.4)}, weights);
      const ReactionResults& r = reacted.Reactions;
      const Row& tb = phreeqc.at(std::string(temperature == std::string("1.50") ? "t10_from15 " : "t10_from25 ") +
                                 water.id + " 1.00");
      check(r.pHEvaluation, Number(tb, "pH"), "pH evaluation", true);
      check(r.siCalciteEvaluation, Number(tb, "SI_Calcite"), "SI calcite evaluation", true);
      ComputeReactions(s, {.calciteSaturation = true}, weights);
      const ReactionResults& own = s.Reactions;
      const Row& calcite = phreeqc.at("calcite " + at);
      check(own.pHC, Number(calcite, "pH"), "pHC", true);
      check(own.dissolutionCapacity, -Number(calcite, "calcite_precipitated_mol"), "dissolution capacity", false);
      const Row& co2 = phreeqc.at("co2 " + at);
      check(r.pHCO2, Number(co2, "pH"), "pH CO2 equilibrium", true);
      check(r.dicCO2, Number(co2, "tot_C"), "DIC CO2 equilibrium", false);
      check(r.siCalciteCO2, Number(co2, "SI_Calcite"), "SI calcite CO2 equilibrium", true);
      check(r.co2Degassed, Number(co2, "CO2_degassed_mol"), "CO2 degassed (of the DIC)", false,
            DissolvedInorganicCarbon(s));
    }
  EXPECT_EQ(compared, 90); // five waters at two temperatures, nine quantities
  for (const auto& [what, deviation] : largest) std::cout << what << ": largest deviation " << deviation << "\n";
}

TEST(Mixtures, AgreeWithPhreeqc) {
  // (SI gypsum is left out: PHREEQC's counts the activity of water, which this model takes as 1.)
  const auto phreeqc = PhreeqcReactions();
  for (const auto& [first, second, fraction, id] : {std::tuple{"SW", "RIV", 0.1, "mix:SW0.1+RIV0.9 SW+RIV 2.50"},
                                                    std::tuple{"MR", "MY", 0.5, "mix:MR0.5+MY0.5 MR+MY 2.50"}}) {
    ModelState a = AtTemperature(Water(first), CarbonatePair::AlkalinityPH, 25.0);
    ModelState b = AtTemperature(Water(second), CarbonatePair::AlkalinityPH, 25.0);
    SolveSpeciation(a, weights);
    SolveSpeciation(b, weights);
    ModelState mixture = MixedWater(a, b, fraction);
    SolveSpeciation(mixture, weights);
    const Row& expected = phreeqc.at(id);
    EXPECT_LE(Relative(mixture.IonicStrength, Number(expected, "I")), 1e-6) << id;
    EXPECT_LE(Relative(mixture.PCO2, Number(expected, "pCO2")), 1e-6) << id;
    EXPECT_LE(Relative(DissolvedInorganicCarbon(mixture), Number(expected, "tot_C")), 1e-6) << id;
    EXPECT_LE(Relative(mixture.SpeciesTable[5].FreeConc, Number(expected, "m_Ca+2")), 1e-6) << id;
    EXPECT_NEAR(mixture.PH, Number(expected, "pH"), 1e-6) << id;
    EXPECT_NEAR(mixture.SaturationIndexCalcite, Number(expected, "SI_Calcite"), 1e-6) << id;
  }
  EXPECT_THROW(MixedWater(ModelState{}, ModelState{}, 1.5), SampleFailure);
}

TEST(Reactions, KeepTheirBalancesAndReachSaturation) {
  // Closed system: the calcite dissolved raises calcium and DIC by D and the alkalinity by 2 D.
  ModelState s = AtTemperature(Water("SN2"), CarbonatePair::AlkalinityPH, 15.0);
  SolveSpeciation(s, weights);
  ModelState copy = s;
  ComputeReactions(s, {.calciteSaturation = true}, weights);
  const ReactionResults r = s.Reactions;
  copy.Reactions = r;
  EXPECT_EQ(s, copy);                    // the sample's own state is left as it was
  EXPECT_GT(r.dissolutionCapacity, 0.0); // a soft, undersaturated water dissolves calcite
  EXPECT_GT(r.pHC, s.PH);
  // Fresh solve with the totals the reaction reached: alkalinity and DIC with the calcium raised by D.
  ModelState after = s;
  after.InputPair = CarbonatePair::AlkalinityDIC;
  after.Alkalinity = AlkalinityOf(s) + 2.0 * r.dissolutionCapacity;
  after.DIC = DissolvedInorganicCarbon(s) + r.dissolutionCapacity;
  after.SpeciesTable[species::Calcium].TotalConc += r.dissolutionCapacity;
  SolveSpeciation(after, weights);
  EXPECT_NEAR(after.SaturationIndexCalcite, 0.0, 1e-9);
  EXPECT_NEAR(after.PH, r.pHC, 1e-9);
}

TEST(Reactions, ThatCannotBeSolvedNameTheReactionAndTheReason) {
  ModelState s = AtTemperature(Water("RIV"), CarbonatePair::AlkalinityPH, 15.0);
  SolveSpeciation(s, weights);
  s.Reactions.co2 = true;
  s.ConstantTable[5].LogK = 0.0; // no solubility product of calcite
  try {
    ComputeReactions(s, {.calciteSaturation = true}, weights);
    ADD_FAILURE() << "no failure";
  } catch (const SampleFailure& failure) {
    EXPECT_NE(std::string(failure.what()).find("equilibrium with calcite: "), std::string::npos) << failure.what();
    EXPECT_NE(std::string(failure.what()).find("solubility product"), std::string::npos) << failure.what();
  }
  EXPECT_FALSE(s.Reactions.co2); // no results left from before
  EXPECT_THROW(ComputeReactions(s, {.equilibriumPCO2Given = true, .equilibriumPCO2 = -1.0}, weights), SampleFailure);
}

} // namespace
} // namespace vontralek
