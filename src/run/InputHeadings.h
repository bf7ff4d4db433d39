#pragma once

#include "layout/Layout.h"
#include "model/ModelState.h"
#include "model/RunSettings.h"
#include "report/ExtraResults.h"
#include "workbook/Workbook.h"

namespace vontralek::sheet_run {

// What the run adds to the sheet beyond the specified results.
// DIC (mmol/L) goes with every result beyond the specified ones and with the
// pairs that give it, so that a workbook asking for none of them keeps exactly
// the cells it always had.
inline ReactionColumns ReactionColumnsOf(const RunSettings& settings, CarbonatePair pair) {
  const ReactionSettings& r = settings.reactions;
  const bool dic = settings.extraResults || settings.saturationIndices || settings.waterQuality || r.Any() ||
                   pair == CarbonatePair::DICPH || pair == CarbonatePair::AlkalinityDIC;
  return {r.calciteSaturation && r.evaluationTemperature == TemperatureSource::PerSample, dic, r.calciteSaturation,
          r.equilibriumPCO2Given};
}

inline AddedColumns AddedColumnsOf(const RunSettings& settings, CarbonatePair pair) {
  return {settings.extraResults, settings.onFailure == FailurePolicy::Continue,
          settings.temperature == TemperatureSource::PerSample, ReactionColumnsOf(settings, pair)};
}

} // namespace vontralek::sheet_run
