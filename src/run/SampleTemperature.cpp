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
  if (settings.temperature == TemperatureSource::None) return;
  if (LoadTemperatureTable(state, workbook)) return;
  const layout::CellRef title = layout::constant_sheet::TemperatureTitle;
  throw WorkbookError(
      "Worksheet 4, cell E29 (\"Temperature\") asks for a temperature, but worksheet 3 has no temperature data: "
      "its block starts with the title \"" +
      std::string(kTemperatureBlockTitle) + "\" in cell " + workbook::CellAddress(title.row, title.column) +
      " and gives each constant's form, A1..A6 and reaction enthalpy on rows 57 to 86 (columns B to I). Copy the "
      "block from the shipped workbook, or empty E29 to calculate at 25 °C.");
}

std::optional<double> SampleTemperatureC(const RunSettings& settings, const workbook::Worksheet& sheet,
                                         DataSheet sheetMode, int row) {
  if (settings.temperature == TemperatureSource::None) return std::nullopt;
  if (settings.temperature == TemperatureSource::Fixed) return settings.temperatureC;
  const layout::CellRef cell = sheetMode == DataSheet::Batch ? layout::CellRef{row, layout::batch_sheet::Temperature}
                                                             : layout::main_sheet::Temperature;
  const std::string where = workbook::CellPlace(sheet, cell.row, cell.column) + " (the sample's temperature)";
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
                          "\", which is no temperature: enter the water's temperature in °C (0 to 100), or leave "
                          "the cell empty for none (log K at 25 °C)");
  }
  if (!InWaterRange(celsius))
    throw SampleFailure(where + ": the temperature " + workbook::FormatNumber(celsius) + " °C is " +
                        OutsideWaterRange() + "; give the water's temperature in °C");
  return celsius;
}

} // namespace vontralek
