#include "speciation/SaturationIndices.h"

#include <cmath>

#include "speciation/Temperature.h"

namespace vontralek {

double WaterActivity(const ModelState& s) {
  double molality = 0.0; // mol/L
  for (int n = 1; n <= 12; ++n) molality = molality + s.SpeciesTable[n].FreeConc;
  for (int n = 1; n <= 24; ++n) molality = molality + s.ComplexTable[n].FreeConc;
  return 1.0 - kWaterActivitySlope * molality;
}

void SetWaterActivity(ModelState& s) {
  if (s.Model != SpeciationModel::IonAssociation) {
    s.LogWaterActivity = 0.0;
    s.LogWaterActivityDefined = true;
    return;
  }
  const double aw = WaterActivity(s);
  s.LogWaterActivityDefined = aw > 0.0;
  s.LogWaterActivity = s.LogWaterActivityDefined ? std::log10(aw) : 0.0;
}

double PhaseLogK(const ModelState& s, const Phase& phase) {
  if (!s.TemperatureGiven) return phase.LogK25;
  return phase.LogK25 + LogKShift(phase.temperature, s.TemperatureC + ZeroCelsiusK);
}

SaturationIndex PhaseSaturationIndex(const ModelState& s, const Phase& phase) {
  double logIap = 0.0;
  for (int i = 0; i < PhaseSpeciesCount; ++i) {
    const double nu = phase.coefficient[static_cast<std::size_t>(i)];
    if (nu == 0.0) continue;
    if (i == PhaseWaterIndex) {
      if (!s.LogWaterActivityDefined) return {};
      logIap = logIap + nu * s.LogWaterActivity;
      continue;
    }
    const SpeciesRecord& species = s.SpeciesTable[PhaseSpeciesRows[static_cast<std::size_t>(i)]];
    if (!species.LogActivityDefined) return {};
    logIap = logIap + nu * species.LogActivity;
  }
  const double si = logIap - PhaseLogK(s, phase);
  if (!std::isfinite(si)) return {};
  return {si, true};
}

std::vector<SaturationIndex> PhaseSaturationIndices(const ModelState& s, const PhaseTable& phases) {
  std::vector<SaturationIndex> indices;
  indices.reserve(phases.size());
  for (const Phase& phase : phases) indices.push_back(PhaseSaturationIndex(s, phase));
  return indices;
}

} // namespace vontralek
