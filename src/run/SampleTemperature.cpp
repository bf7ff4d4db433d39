#include "run/SampleTemperature.h"

#include <string>
#include <string_view>

#include "common/Errors.h"
#include "common/TemperatureRange.h"
#include "labdata/LabUnits.h"
#include "layout/Layout.h"
#include "layout/ParameterLoading.h"
#include "workbook/NumberText.h"
#include "workbook/Places.h"

namespace vontralek {

void LoadTemperatureData(ModelState& state, workbook::Workbook& workbook, const RunSettings& settings) {
  // The calcite evaluation at a temperature of its own needs the data too.
  const bool evaluation =
      settings.reactions.calciteSaturation && settings.reactions.evaluationTemperature != TemperatureSource::None;
  if (settings.temperature == TemperatureSource::None && !evaluation) return;
  if (LoadTemperatureTable(state, workbook)) return;
  const layout::CellRef title = layout::constant_sheet::TemperatureTitle;
  const bool water = settings.temperature != TemperatureSource::None;
  throw WorkbookError(
      std::string(water ? "Worksheet 4, cell E29 (\"Temperature\")"
                        : "Worksheet 4, cell E33 (\"Evaluation temperature\")") +
      " asks for a temperature, but worksheet 3 has no temperature data: its block starts with the title \"" +
      std::string(kTemperatureBlockTitle) + "\" in cell " + workbook::CellAddress(title.row, title.column) +
      " and gives each constant's form, A1..A6 and reaction enthalpy on rows 57 to 86 (columns B to I). Copy the "
      "block from the shipped workbook, or empty " +
      (water ? "E29 to calculate at 25 °C." : "E33 to evaluate at the sample's own temperature."));
}

namespace {

// A temperature cell of the sample: empty gives none.
std::optional<double> TemperatureCell(const workbook::Worksheet& sheet, layout::CellRef cell, const char* what,
                                      const std::string& subject, const char* emptyMeans) {
  const std::string where = workbook::CellPlace(sheet, cell.row, cell.column) + " (" + what + ")";
  const workbook::CellValue v = sheet.Value(cell.row, cell.column);
  double celsius = v.number;
  if (v.kind != workbook::CellValue::Kind::Number) {
    std::string_view text = v.text;
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    if (text.empty()) return std::nullopt;
    bool number = false; // a number typed as text counts; a Boolean, error or formula does not
    if (v.kind == workbook::CellValue::Kind::Text) {
      try {
        celsius = labdata::ParseNumber(text);
        number = true;
      } catch (const labdata::LabDataError&) {
      }
    }
    if (!number)
      throw SampleFailure(where + " holds \"" + workbook::TextForMessage(v.text) +
                          "\", which is no temperature: enter " + subject +
                          " in °C (0 to 100), or leave the cell empty for " + emptyMeans);
  }
  if (!InWaterRange(celsius))
    throw SampleFailure(where + ": the temperature " + workbook::FormatNumber(celsius) + " °C is " +
                        OutsideWaterRange() + "; give " + subject + " in °C");
  return celsius;
}

} // namespace

std::optional<double> SampleTemperatureC(const RunSettings& settings, const workbook::Worksheet& sheet,
                                         DataSheet sheetMode, int row) {
  if (settings.temperature == TemperatureSource::None) return std::nullopt;
  if (settings.temperature == TemperatureSource::Fixed) return settings.temperatureC;
  return TemperatureCell(sheet,
                         sheetMode == DataSheet::Batch ? layout::CellRef{row, layout::batch_sheet::Temperature}
                                                       : layout::main_sheet::Temperature,
                         "the sample's temperature", "the water's temperature", "none (log K at 25 °C)");
}

std::optional<double> SampleEvaluationTemperatureC(const RunSettings& settings, const workbook::Worksheet& sheet,
                                                   DataSheet sheetMode, int row) {
  const ReactionSettings& reactions = settings.reactions;
  if (!reactions.calciteSaturation || reactions.evaluationTemperature != TemperatureSource::PerSample)
    return std::nullopt; // the run's fixed one (ReactionConditionsOf) or the sample's own
  return TemperatureCell(
      sheet,
      sheetMode == DataSheet::Batch ? layout::CellRef{row, layout::batch_sheet::EvaluationTemperature}
                                    : layout::main_sheet::EvaluationTemperature,
      "the sample's evaluation temperature", "the evaluation temperature", "the sample's own temperature");
}

} // namespace vontralek
