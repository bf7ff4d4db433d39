#pragma once

// Which reactions a sample gets: the run's settings, with the sample's own
// evaluation temperature where it gives one.

#include "model/RunSettings.h"
#include "run/Pipeline.h"
#include "speciation/Reactions.h"

namespace vontralek {

ReactionConditions ReactionConditionsOf(const ReactionSettings& settings, const SampleInputs& inputs);

} // namespace vontralek
