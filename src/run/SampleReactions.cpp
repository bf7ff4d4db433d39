#include "run/SampleReactions.h"

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

} // namespace vontralek
