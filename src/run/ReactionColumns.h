#pragma once

// The reactions' results in a table (CSV, data frame): their columns after
// the mineral ones, one row's values, and the words of the provenance record.

#include <string>
#include <vector>

#include "model/ModelState.h"
#include "model/RunSettings.h"

namespace vontralek {

// With calcite saturation: pH_evaluation, SI_calcite_evaluation, pHC,
// calcite_dissolution_capacity_mmol_L, calcite_dissolution_capacity_mg_L_as_CaCO3,
// CCPP_mg_L_as_CaCO3; with an equilibrium pCO2: pH_CO2_equilibrium,
// DIC_CO2_equilibrium_mmol_L, SI_calcite_CO2_equilibrium, CO2_degassed_mmol_L.
std::vector<std::string> ReactionColumnNames(const ReactionSettings& reactions);

// One solved row's values in that order (NaN where undefined).
void AppendReactionValues(const ModelState& solved, const ReactionSettings& reactions, std::vector<double>& values);

// What the provenance record says of the reactions: "off", or the evaluation
// temperature's source and the CO2 pressure.
std::string DescribeCalciteSaturation(const ReactionSettings& reactions, const std::string& evaluationColumn);
std::string DescribeCO2Equilibrium(const ReactionSettings& reactions);

} // namespace vontralek
