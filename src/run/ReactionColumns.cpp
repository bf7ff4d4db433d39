#include "run/ReactionColumns.h"

#include <limits>

#include <fmt/format.h>

#include "model/CarbonateTotals.h"

namespace vontralek {

std::vector<std::string> ReactionColumnNames(const ReactionSettings& reactions) {
  std::vector<std::string> names;
  if (reactions.calciteSaturation)
    for (const char* name : {"pH_evaluation", "SI_calcite_evaluation", "pHC", "calcite_dissolution_capacity_mmol_L",
                             "calcite_dissolution_capacity_mg_L_as_CaCO3", "CCPP_mg_L_as_CaCO3"})
      names.emplace_back(name);
  if (reactions.equilibriumPCO2Given)
    for (const char* name :
         {"pH_CO2_equilibrium", "DIC_CO2_equilibrium_mmol_L", "SI_calcite_CO2_equilibrium", "CO2_degassed_mmol_L"})
      names.emplace_back(name);
  return names;
}

void AppendReactionValues(const ModelState& s, const ReactionSettings& reactions, std::vector<double>& values) {
  constexpr double nan = std::numeric_limits<double>::quiet_NaN();
  const ReactionResults& r = s.Reactions;
  if (reactions.calciteSaturation) {
    const auto put = [&](bool defined, double v) { values.push_back(r.calcite && defined ? v : nan); };
    put(true, r.pHEvaluation);
    put(r.siCalciteEvaluationDefined, r.siCalciteEvaluation);
    put(true, r.pHC);
    // D in mol/L: mmol/L, and mg/L as CaCO3 (mmol/L x g/mol). The calcium
    // carbonate precipitation potential is the calcite a water deposits, -D.
    put(true, r.dissolutionCapacity * 1000.0);
    put(true, r.dissolutionCapacity * 1000.0 * kMolarMassCaCO3);
    put(true, -r.dissolutionCapacity * 1000.0 * kMolarMassCaCO3);
  }
  if (reactions.equilibriumPCO2Given) {
    const auto put = [&](bool defined, double v) { values.push_back(r.co2 && defined ? v : nan); };
    put(true, r.pHCO2);
    put(true, r.dicCO2 * 1000.0);
    put(r.siCalciteCO2Defined, r.siCalciteCO2);
    put(true, r.co2Degassed * 1000.0);
  }
}

std::string DescribeCalciteSaturation(const ReactionSettings& reactions, const std::string& evaluationColumn) {
  if (!reactions.calciteSaturation) return "off";
  const std::string run = reactions.evaluationTemperature == TemperatureSource::Fixed
                              ? fmt::format("{} degrees C", reactions.evaluationTemperatureC)
                              : "the water's own temperature";
  return "on, closed system, evaluated at " +
         (evaluationColumn.empty() ? run : "column " + evaluationColumn + " (empty: " + run + ")");
}

std::string DescribeCO2Equilibrium(const ReactionSettings& reactions) {
  if (!reactions.equilibriumPCO2Given) return "off";
  return fmt::format("pCO2 {} atm, open system, at the water's own temperature", reactions.equilibriumPCO2);
}

} // namespace vontralek
