#include "run/SampleReactions.h"

#include "common/Errors.h"

namespace vontralek {

// The evaluation temperature: the sample's own input (a Batch CG or Main W5
// cell with "per sample", a table's evaluation_temperature_C field), else the
// run's fixed one, else none (the water's own temperature).
ReactionConditions ReactionConditionsOf(const ReactionSettings& settings, const SampleInputs& inputs) {
  ReactionConditions conditions;
  conditions.calciteSaturation = settings.calciteSaturation;
  if (inputs.evaluationTemperatureC) {
    conditions.evaluationTemperatureGiven = true;
    conditions.evaluationTemperatureC = *inputs.evaluationTemperatureC;
  } else if (settings.evaluationTemperature == TemperatureSource::Fixed) {
    conditions.evaluationTemperatureGiven = true;
    conditions.evaluationTemperatureC = settings.evaluationTemperatureC;
  }
  conditions.equilibriumPCO2Given = settings.equilibriumPCO2Given;
  conditions.equilibriumPCO2 = settings.equilibriumPCO2;
  return conditions;
}

void CheckReactionModel(const RunSettings& settings) {
  if (!settings.reactions.Any() || settings.model == SpeciationModel::IonAssociation) return;
  throw WorkbookError(std::string("Worksheet 4 asks for ") +
                      (settings.reactions.calciteSaturation
                           ? "the calcite saturation (E32 \"Calcite saturation\")"
                           : "the equilibrium with CO2 gas (E34 \"Equilibrium pCO2\")") +
                      " with the model \"as specified\"; the reactions are calculated with the ion-association "
                      "model: set E23 \"Model\" to \"ion association\" (or run with --model ion-association), or "
                      "turn the reactions off (E32 \"no\", E34 empty).");
}

} // namespace vontralek
