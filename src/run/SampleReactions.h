#pragma once

// Which reactions a sample gets: the run's settings, with the sample's own
// evaluation temperature where it gives one.

#include "model/RunSettings.h"
#include "run/Pipeline.h"
#include "speciation/Reactions.h"

namespace vontralek {

ReactionConditions ReactionConditionsOf(const ReactionSettings& settings, const SampleInputs& inputs);

// The reactions are solved with the ion-association model (its activities
// define the calcite and CO2 equilibria that PHREEQC computes); with the
// specified model a workbook run asking for them throws WorkbookError naming
// the settings, before anything is written.
void CheckReactionModel(const RunSettings& settings);

} // namespace vontralek
