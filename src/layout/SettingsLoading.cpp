#include "layout/SettingsLoading.h"

#include <string>
#include <string_view>

#include "common/Errors.h"
#include "common/TemperatureRange.h"
#include "common/Words.h"
#include "labdata/LabUnits.h"
#include "layout/Layout.h"
#include "layout/WorkbookLayout.h"
#include "model/TemperatureData.h"
#include "workbook/NumberText.h"
#include "workbook/Places.h"

namespace vontralek {

using namespace layout;

namespace {

std::string Where(const workbook::Worksheet& sheet, CellRef cell, const char* label) {
  return workbook::CellPlace(sheet, cell.row, cell.column) + " (\"" + label + "\")";
}

// A setting cell as text: empty gives "", a number is no setting.
std::string SettingText(const workbook::Worksheet& sheet, CellRef cell, const char* label, const std::string& allowed) {
  const workbook::CellValue v = sheet.Value(cell.row, cell.column);
  if (v.IsEmpty()) return {};
  if (v.kind == workbook::CellValue::Kind::Text) return v.text;
  throw WorkbookError(Where(sheet, cell, label) + " holds " +
                      (v.kind == workbook::CellValue::Kind::Number ? "a number" : "\"" + v.text + "\"") +
                      ", which is no setting: enter " + allowed + ", or leave it empty for the default.");
}

// One of two texts: the first is the default.
bool Choice(const workbook::Worksheet& sheet, CellRef cell, const char* label, const char* first, const char* second) {
  const std::string allowed = std::string("\"") + first + "\" or \"" + second + "\"";
  const std::string text = SettingText(sheet, cell, label, allowed);
  const std::string_view t = TrimBlanks(text);
  if (t.empty() || SameWord(t, first)) return false;
  if (SameWord(t, second)) return true;
  throw WorkbookError(Where(sheet, cell, label) + " holds \"" + workbook::TextForMessage(text) +
                      "\", which is no setting: enter " + allowed + " (letter case does not matter; empty means \"" +
                      first + "\").");
}

// A unit or policy through the laboratory-data parsers, the cell named.
template <typename Parse>
auto LabSetting(const workbook::Worksheet& sheet, CellRef cell, const char* label, const std::string& allowed,
                Parse parse) {
  const std::string text = SettingText(sheet, cell, label, allowed);
  try {
    return parse(text);
  } catch (const labdata::LabDataError& error) {
    throw WorkbookError(Where(sheet, cell, label) + ": " + error.what() + ".");
  }
}

// E29: empty = none, a number of °C for every sample (a number typed as text
// too), or "per sample".
void TemperatureSetting(const workbook::Worksheet& sheet, RunSettings& settings) {
  const CellRef cell = charge_sheet::Temperature;
  const workbook::CellValue v = sheet.Value(cell.row, cell.column);
  const std::string_view text = TrimBlanks(v.text);
  if (v.IsEmpty() || (v.kind == workbook::CellValue::Kind::Text && text.empty())) return;
  if (v.kind == workbook::CellValue::Kind::Text && SameWord(text, kTemperaturePerSample)) {
    settings.temperature = TemperatureSource::PerSample;
    return;
  }
  const auto refuse = [&](const std::string& what) {
    throw WorkbookError(Where(sheet, cell, "Temperature") + " holds " + what +
                        ", which is no temperature setting: enter the water's temperature in °C (0 to 100) for "
                        "every sample, \"per sample\" to take each sample's from the Batch sheet's column CF "
                        "(Main sheet: V5), or leave it empty for none (log K at 25 °C, Davies A 0.512).");
  };
  double celsius = v.number;
  if (v.kind == workbook::CellValue::Kind::Text) {
    try {
      celsius = labdata::ParseNumber(text);
    } catch (const labdata::LabDataError&) {
      refuse("\"" + workbook::TextForMessage(v.text) + "\"");
    }
  } else if (v.kind != workbook::CellValue::Kind::Number) {
    refuse("\"" + workbook::TextForMessage(v.text) + "\"");
  }
  if (!InWaterRange(celsius)) refuse(workbook::FormatNumber(celsius) + " °C, " + OutsideWaterRange());
  settings.temperature = TemperatureSource::Fixed;
  settings.temperatureC = celsius;
}

} // namespace

RunSettings LoadRunSettings(workbook::Workbook& workbook) {
  const workbook::Worksheet& sheet = workbook.Worksheets(ChargeSheet);
  RunSettings settings;
  settings.model = Choice(sheet, charge_sheet::Model, "Model", kModelSpecified, kModelIonAssociation)
                       ? SpeciationModel::IonAssociation
                       : SpeciationModel::AsSpecified;
  settings.extraResults = Choice(sheet, charge_sheet::ExtraResults, "Extra results", "no", "yes");
  settings.belowLimit = LabSetting(sheet, charge_sheet::BelowDetectionLimit, "Below detection limit",
                                   labdata::AllowedBelowLimitPolicies(), labdata::ParseBelowLimitPolicy);
  settings.onFailure = Choice(sheet, charge_sheet::WhenSampleFails, "When a sample fails", "stop", "continue")
                           ? FailurePolicy::Continue
                           : FailurePolicy::Stop;
  settings.ionUnit =
      LabSetting(sheet, charge_sheet::IonUnit, "Ion unit", labdata::AllowedIonUnits(), labdata::ParseIonUnit);
  settings.alkalinityUnit = LabSetting(sheet, charge_sheet::AlkalinityUnit, "Alkalinity unit",
                                       labdata::AllowedAlkalinityUnits(), labdata::ParseAlkalinityUnit);
  TemperatureSetting(sheet, settings);
  // g/mol; an empty cell is 0, which a conversion that needs it refuses.
  for (int n = 1; n <= 11; ++n)
    settings.molarMass[static_cast<std::size_t>(n)] = NumberAt(sheet, charge_sheet::MolarMasses[n]);
  return settings;
}

void CheckMolarMass(const RunSettings& settings, int speciesRow) {
  const double mass = settings.molarMass[static_cast<std::size_t>(speciesRow)];
  if (mass > 0.0) return;
  const CellRef cell = charge_sheet::MolarMasses[speciesRow];
  throw WorkbookError("Worksheet 4, cell " + workbook::CellAddress(cell.row, cell.column) + " (molar mass, row 8) is " +
                      (mass == 0.0 ? "empty or 0" : "negative") +
                      ", but the units chosen in E27 and E28 need it: enter the molar mass in g/mol.");
}

} // namespace vontralek
