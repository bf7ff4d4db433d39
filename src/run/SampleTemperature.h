#pragma once

// The water's own temperature in a workbook run: the data of worksheet 3's
// block when a temperature is asked for, and each sample's temperature by
// the setting "Temperature" (worksheet 4, E29).

#include <optional>

#include "model/ModelState.h"
#include "model/RunSettings.h"
#include "workbook/Workbook.h"

namespace vontralek {

// Before the first sample: when the settings ask for a temperature, loads
// the temperature data of worksheet 3 into state.TemperatureTable. A
// workbook without the block, or with a cell of it that cannot be used,
// throws WorkbookError naming the block or the cell. Without a temperature
// nothing is read.
void LoadTemperatureData(ModelState& state, workbook::Workbook& workbook, const RunSettings& settings);

// The temperature in °C of the sample on the given row of sheet (the Main
// sheet's row 5 or a Batch row): none, the setting's for every sample, or
// with "per sample" its own cell (Main V5, Batch column CF), where an empty
// cell gives none. A cell with text or a value outside 0 to 100 °C throws
// SampleFailure naming the cell.
std::optional<double> SampleTemperatureC(const RunSettings& settings, const workbook::Worksheet& sheet,
                                         DataSheet sheetMode, int row);

// With calcite saturation "per sample" (E33), the temperature at which the
// sample's calcite saturation is evaluated, from its own cell (Main W5, Batch
// column CG); an empty cell gives none (the sample's own temperature); else
// none. Throws SampleFailure as SampleTemperatureC.
std::optional<double> SampleEvaluationTemperatureC(const RunSettings& settings, const workbook::Worksheet& sheet,
                                                   DataSheet sheetMode, int row);

// One sample's temperature into the state (nothing: none, the 25 °C log K
// and the Davies slope 0.512). Set for every sample, so that a batch never
// carries one sample's temperature over to the next.
inline void SetSampleTemperature(ModelState& state, std::optional<double> celsius) {
  state.TemperatureGiven = celsius.has_value();
  if (celsius) state.TemperatureC = *celsius;
}

} // namespace vontralek
