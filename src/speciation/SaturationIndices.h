#pragma once

// The activity of water and the saturation indices of the phases of a table,
// from a solved sample. Nothing here changes the state.

#include <vector>

#include "model/ModelState.h"
#include "model/PhaseTable.h"

namespace vontralek {

// The rule of PHREEQC's ion-association databases (Parkhurst and Appelo 2013,
// USGS Techniques and Methods 6-A43, the activity of water):
//   a_w = 1 - 0.017 Σ m,
// the sum over every solute species: the free ions with H+ and OH-, dissolved
// CO2 and the 24 complexes, mol/L taken as mol/kg of water as everywhere in
// the model. 0.017 kg/mol is the molar mass of water, rounded.
inline constexpr double kWaterActivitySlope = 0.017;
double WaterActivity(const ModelState& solved);

// Sets state.LogWaterActivity: log10 a_w with the ion-association model
// (undefined when a_w is not positive), exactly 0 (a_w = 1) with the specified
// model, whose procedure has no activity of water.
void SetWaterActivity(ModelState& solved);

// A saturation index log IAP - log K(T), or none (defined false) when an
// activity of its ion activity product is undefined or zero.
struct SaturationIndex {
  double value = 0.0;
  bool defined = false;
};

// log K of a phase at the sample's temperature (the 25 °C value without one).
double PhaseLogK(const ModelState& solved, const Phase& phase);

// SI = Σ ν_i log a_i + ν_w log a_w - log K(T) over the species of the phase's
// reaction, at the sample's temperature.
SaturationIndex PhaseSaturationIndex(const ModelState& solved, const Phase& phase);
std::vector<SaturationIndex> PhaseSaturationIndices(const ModelState& solved, const PhaseTable& phases);

} // namespace vontralek
