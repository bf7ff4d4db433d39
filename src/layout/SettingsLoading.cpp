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

// What a setting cell that is no text holds, for a message.
std::string Held(const workbook::CellValue& v) {
  switch (v.kind) {
  case workbook::CellValue::Kind::Number:
    return "a number";
  case workbook::CellValue::Kind::Boolean:
    return "the logical value " + v.text;
  case workbook::CellValue::Kind::Error:
    return "the error value " + workbook::TextForMessage(v.text);
  default:
    return std::string("\"").append(workbook::TextForMessage(v.text)).append("\"");
  }
}

// A formula the file holds no value for is no setting yet: said as such, as
// for any other cell the run reads.
void RefuseUncalculated(const workbook::Worksheet& sheet, CellRef cell, const char* label,
                        const workbook::CellValue& v) {
  if (v.kind != workbook::CellValue::Kind::UncalculatedFormula) return;
  throw WorkbookError(Where(sheet, cell, label) + " holds the formula =" + workbook::TextForMessage(v.text) +
                      ", which was never calculated (the file has no value for it). Open the workbook, recalculate "
                      "and save it in the spreadsheet application, or enter the setting.");
}

// A setting cell as text: empty gives "", a number is no setting.
std::string SettingText(const workbook::Worksheet& sheet, CellRef cell, const char* label, const std::string& allowed) {
  const workbook::CellValue v = sheet.Value(cell.row, cell.column);
  if (v.IsEmpty()) return {};
  if (v.kind == workbook::CellValue::Kind::Text) return v.text;
  RefuseUncalculated(sheet, cell, label, v);
  throw WorkbookError(Where(sheet, cell, label) + " holds " + Held(v) + ", which is no setting: enter " + allowed +
                      ", or leave it empty for the default.");
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
    // The cell's text quoted as messages show it: invisible characters escaped.
    std::string message = error.what();
    const std::string raw = "\"" + text + "\"";
    if (const auto at = message.find(raw); at != std::string::npos)
      message.replace(at, raw.size(), "\"" + workbook::TextForMessage(text) + "\"");
    throw WorkbookError(Where(sheet, cell, label) + ": " + message + ".");
  }
}

// A setting cell's number, a number typed as text too; anything else goes to
// refuse (which throws) with what the cell holds.
template <typename Refuse>
double SettingNumber(const workbook::CellValue& v, std::string_view text, const Refuse& refuse) {
  if (v.kind == workbook::CellValue::Kind::Number) return v.number;
  if (v.kind != workbook::CellValue::Kind::Text) refuse(Held(v));
  try {
    return labdata::ParseNumber(text);
  } catch (const labdata::LabDataError&) {
    refuse("\"" + workbook::TextForMessage(v.text) + "\"");
  }
  return 0.0; // not reached: refuse throws
}

// A temperature setting (E29 the water's, E33 the calcite evaluation's):
// empty = none, a number of °C for every sample (a number typed as text too),
// or "per sample" (the column and cell named by perSample).
struct TemperatureCell {
  CellRef cell;
  const char* label;
  const char* what;      // "the water's temperature"
  const char* perSample; // "the Batch sheet's column CF (Main sheet: V5)"
  const char* none;      // what an empty cell means
};

void TemperatureSetting(const workbook::Worksheet& sheet, const TemperatureCell& setting, TemperatureSource& source,
                        double& celsiusOut) {
  const CellRef cell = setting.cell;
  const workbook::CellValue v = sheet.Value(cell.row, cell.column);
  RefuseUncalculated(sheet, cell, setting.label, v);
  const std::string_view text = TrimBlanks(v.text);
  if (v.IsEmpty() || (v.kind == workbook::CellValue::Kind::Text && text.empty())) return;
  if (v.kind == workbook::CellValue::Kind::Text && SameWord(text, kTemperaturePerSample)) {
    source = TemperatureSource::PerSample;
    return;
  }
  const auto refuse = [&](const std::string& what) {
    throw WorkbookError(Where(sheet, cell, setting.label) + " holds " + what +
                        ", which is no temperature setting: enter " + setting.what +
                        " in °C (0 to 100) for every sample, \"per sample\" to take each sample's from " +
                        setting.perSample + ", or leave it empty for " + setting.none + ".");
  };
  const double celsius = SettingNumber(v, text, refuse);
  if (!InWaterRange(celsius)) refuse(workbook::FormatNumber(celsius) + " °C, " + OutsideWaterRange());
  source = TemperatureSource::Fixed;
  celsiusOut = celsius;
}

// E34: empty = no equilibrium with CO2 gas, else its partial pressure in atm
// (a number typed as text too), above 0 and at most 1 atm (the pressure of
// the gas phase the solver assumes).
void EquilibriumPCO2Setting(const workbook::Worksheet& sheet, ReactionSettings& reactions) {
  const CellRef cell = charge_sheet::EquilibriumPCO2;
  const char* label = "Equilibrium pCO2";
  const workbook::CellValue v = sheet.Value(cell.row, cell.column);
  RefuseUncalculated(sheet, cell, label, v);
  const std::string_view text = TrimBlanks(v.text);
  if (v.IsEmpty() || (v.kind == workbook::CellValue::Kind::Text && text.empty())) return;
  const auto refuse = [&](const std::string& what) {
    throw WorkbookError(Where(sheet, cell, label) + " holds " + what +
                        ", which is no CO2 pressure: enter the partial pressure of CO2 in atm, above 0 and at most 1 "
                        "(air: 0.000398, 10^-3.4), or leave it empty for none.");
  };
  const double atm = SettingNumber(v, text, refuse);
  if (!(atm > 0.0 && atm <= 1.0)) refuse(workbook::FormatNumber(atm));
  reactions.equilibriumPCO2Given = true;
  reactions.equilibriumPCO2 = atm;
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
  TemperatureSetting(sheet,
                     {charge_sheet::Temperature, "Temperature", "the water's temperature",
                      "the Batch sheet's column CF (Main sheet: V5)", "none (log K at 25 °C, Davies A 0.512)"},
                     settings.temperature, settings.temperatureC);
  settings.saturationIndices = Choice(sheet, charge_sheet::SaturationIndices, "Saturation indices", "no", "yes");
  settings.waterQuality = Choice(sheet, charge_sheet::WaterQuality, "Water quality", "no", "yes");
  ReactionSettings& reactions = settings.reactions;
  reactions.calciteSaturation = Choice(sheet, charge_sheet::CalciteSaturation, "Calcite saturation", "no", "yes");
  TemperatureSetting(sheet,
                     {charge_sheet::EvaluationTemperature, "Evaluation temperature",
                      "the temperature at which calcite saturation is evaluated",
                      "the Batch sheet's column CG (Main sheet: W5)", "the sample's own temperature"},
                     reactions.evaluationTemperature, reactions.evaluationTemperatureC);
  EquilibriumPCO2Setting(sheet, reactions);
  settings.diagrams = Choice(sheet, charge_sheet::Diagrams, "Diagrams", "no", "yes");
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
