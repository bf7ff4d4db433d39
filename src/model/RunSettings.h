#pragma once

#include <array>

#include "labdata/LabUnits.h"
#include "model/ModelState.h"
#include "model/PhaseTable.h"

namespace vontralek {

// What happens to a sample that cannot be read or calculated: the run stops
// there (the samples before it are kept), or the sample gets its reason and
// the run goes on with the next one.
enum class FailurePolicy { Stop, Continue };

// Where the temperature of a sample comes from: none (25 °C constants and the
// Davies slope 0.512, bit for bit as without the option), one temperature for
// every sample, or each sample's own temperature.
enum class TemperatureSource { None, Fixed, PerSample };

// What the reactions of a run ask for (speciation/Reactions.h): equilibrium
// with calcite at the evaluation temperature (none: each sample's own; Fixed:
// evaluationTemperatureC for every sample; PerSample: each sample's own
// evaluation temperature), and equilibrium with a CO2 pressure.
struct ReactionSettings {
  bool calciteSaturation = false;
  TemperatureSource evaluationTemperature = TemperatureSource::None;
  double evaluationTemperatureC = 25.0; // with TemperatureSource::Fixed, °C
  bool equilibriumPCO2Given = false;
  double equilibriumPCO2 = 0.0; // atm

  bool Any() const { return calciteSaturation || equilibriumPCO2Given; }
};

// The choices of one run. A workbook keeps them in its settings block on
// worksheet 4 (an empty cell means the default below), the command line can
// override them for a run, and the table mode and the Python module take them
// as options. The defaults reproduce earlier versions exactly.
struct RunSettings {
  SpeciationModel model = SpeciationModel::AsSpecified;
  bool extraResults = false; // saturation indices and charge-balance error
  labdata::BelowLimitPolicy belowLimit = labdata::BelowLimitPolicy::Stop;
  FailurePolicy onFailure = FailurePolicy::Stop;
  labdata::IonUnit ionUnit = labdata::IonUnit::MmolPerL;
  labdata::AlkalinityUnit alkalinityUnit = labdata::AlkalinityUnit::MeqPerL;
  TemperatureSource temperature = TemperatureSource::None;
  double temperatureC = 25.0; // with TemperatureSource::Fixed, °C
  // The saturation indices of the phase table and the water-quality values
  // (hardness, dissolved solids, Larson-Skold, LSI, RSI, PSI, log a(H2O)).
  bool saturationIndices = false;
  bool waterQuality = false;
  bool diagrams = false; // a batch's Piper and Schoeller diagrams on a worksheet of their own
  PhaseTable phases;     // worksheet 3's table (or the shipped one), read when saturationIndices
  ReactionSettings reactions;
  // Molar masses in g/mol of species rows 1 to 11 (index 0 unused), needed
  // only for values in mg/L; 0 where the workbook gives none.
  std::array<double, 12> molarMass{};
};

} // namespace vontralek
