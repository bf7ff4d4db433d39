#include "run/MineralRun.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <sstream>
#include <stdexcept>

#include <fmt/format.h>

#include "layout/PhaseLoading.h"
#include "layout/SettingsLoading.h"
#include "report/MineralReport.h"
#include "run/DefaultParameters.h"
#include "speciation/SaturationIndices.h"
#include "speciation/WaterQuality.h"
#include "table/Csv.h"

namespace vontralek {

namespace {

MineralColumns ColumnsOf(const RunSettings& settings) {
  return {settings.saturationIndices, settings.waterQuality, &settings.phases};
}

// data/phases.csv: the form is analytic where A1 is given, else van 't Hoff
// with dH_kJ_mol; lines starting with "#" are its notes and sources.
PhaseTable ReadShippedPhases() {
  std::istringstream raw(
#include "PhasesText.inc"
  );
  std::ostringstream kept;
  for (std::string line; std::getline(raw, line);)
    if (!line.empty() && line[0] != '#') kept << line << '\n';
  std::istringstream text(kept.str());
  table::CsvReader reader(text, "the shipped phases");
  const std::vector<std::string>& header = reader.Header();
  const auto column = [&header](const char* name) { return ShippedColumn(header, name, "shipped phases"); };
  const char* const species[PhaseSpeciesCount] = {"Ca+2",  "Mg+2",  "Na+",   "K+", "Cl-", "NO3-",
                                                  "SO4-2", "CO3-2", "HCO3-", "H+", "H2O"};
  const char* const temperature[7] = {"A1", "A2", "A3", "A4", "A5", "A6", "dH_kJ_mol"};
  PhaseTable phases;
  for (std::vector<std::string> f; reader.Next(f);) {
    const std::string& name = f[column("phase")];
    if (name == "Calcite" || name == "Gypsum") continue; // constants 5 and 6
    PhaseRow row{};
    row[PhaseNameField].text = name;
    row[PhaseFormulaField].text = f[column("formula")];
    for (int i = 0; i < PhaseSpeciesCount; ++i)
      row[static_cast<std::size_t>(PhaseFirstCoefficientField + i)].text = f[column(species[i])];
    row[PhaseLogKField].text = f[column("log_k_25")];
    row[PhaseFormField].text = f[column("A1")].empty() ? "van 't Hoff" : "analytic";
    for (int t = 0; t < 7; ++t) row[static_cast<std::size_t>(PhaseFormField + 1 + t)].text = f[column(temperature[t])];
    phases.push_back(ReadPhase(row));
  }
  return phases;
}

ResultValue Value(bool defined, double value) { return {defined ? value : 0.0, defined}; }

} // namespace

const PhaseTable& DefaultPhases() {
  static const PhaseTable phases = ReadShippedPhases();
  return phases;
}

void LoadMineralSettings(workbook::Workbook& workbook, RunSettings& settings) {
  if (settings.saturationIndices) settings.phases = LoadPhaseTable(workbook);
  if (settings.waterQuality)
    for (int n = species::Sodium; n <= species::Carbonate; ++n) CheckMolarMass(settings, n);
}

MineralResults ComputeMineralResults(const ModelState& s, const RunSettings& settings) {
  MineralResults results;
  if (settings.saturationIndices)
    for (const SaturationIndex& si : PhaseSaturationIndices(s, settings.phases))
      results.saturationIndices.push_back(Value(si.defined, si.value));
  if (settings.waterQuality) {
    namespace wq = water_quality;
    const WaterQuality q = ComputeWaterQuality(s, settings.molarMass);
    auto& r = results.waterQuality;
    r[wq::Hardness] = Value(true, q.hardness);
    r[wq::HardnessAsCaCO3] = Value(true, q.hardnessAsCaCO3);
    r[wq::HardnessGerman] = Value(true, q.hardnessGerman);
    r[wq::CarbonateHardness] = Value(true, q.carbonateHardness);
    r[wq::DissolvedSolids] = Value(true, q.dissolvedSolids);
    r[wq::LarsonSkold] = Value(q.larsonSkoldDefined, q.larsonSkold);
    r[wq::Lsi] = Value(q.lsiDefined, q.lsi);
    r[wq::Rsi] = Value(q.lsiDefined, q.rsi);
    r[wq::Psi] = Value(q.lsiDefined && q.psiDefined, q.psi);
    r[wq::LogWaterActivity] = Value(s.LogWaterActivityDefined, s.LogWaterActivity);
  }
  return results;
}

void CheckMineralColumns(workbook::Workbook& workbook, DataSheet sheetMode, const RunSettings& settings) {
  CheckMineralHeadings(workbook, sheetMode, ColumnsOf(settings));
}

void WriteMineralColumnHeadings(workbook::Workbook& workbook, DataSheet sheetMode, const RunSettings& settings) {
  WriteMineralHeadings(workbook, sheetMode, ColumnsOf(settings));
}

void WriteMineralColumns(const ModelState& solved, workbook::Workbook& workbook, const RunSettings& settings) {
  if (!settings.saturationIndices && !settings.waterQuality) return;
  WriteMineralResults(workbook, solved.SheetMode, solved.CurrentSample, ColumnsOf(settings),
                      ComputeMineralResults(solved, settings));
}

void ClearMineralColumns(workbook::Workbook& workbook, DataSheet sheetMode, std::int64_t sample,
                         const RunSettings& settings) {
  ClearMineralResults(workbook, sheetMode, sample, ColumnsOf(settings));
}

std::vector<std::string> MineralColumnNames(const RunSettings& settings) {
  std::vector<std::string> names;
  if (settings.saturationIndices)
    for (const Phase& phase : settings.phases) names.push_back(PhaseColumnName(phase.name));
  if (settings.waterQuality)
    for (const char* name : {"log_a_H2O", "hardness_mmol_L", "hardness_mg_L_as_CaCO3", "hardness_dH",
                             "carbonate_hardness_mmol_L", "dissolved_solids_mg_L", "larson_skold", "LSI", "RSI", "PSI"})
      names.emplace_back(name);
  return names;
}

void AppendMineralValues(const ModelState& solved, const RunSettings& settings, std::vector<double>& values) {
  const MineralResults r = ComputeMineralResults(solved, settings);
  const auto put = [&values](const ResultValue& v) {
    values.push_back(v.defined ? v.value : std::numeric_limits<double>::quiet_NaN());
  };
  for (const ResultValue& v : r.saturationIndices) put(v);
  if (!settings.waterQuality) return;
  put(r.waterQuality[water_quality::LogWaterActivity]);
  for (int i = 0; i < water_quality::LogWaterActivity; ++i) put(r.waterQuality[static_cast<std::size_t>(i)]);
}

RunSettings TableMineralSettings(const RunSettings& settings, const PhaseTable& phases,
                                 const std::array<double, 12>& molarMass) {
  RunSettings minerals = settings;
  minerals.phases = phases;
  minerals.molarMass = molarMass;
  return minerals;
}

void AppendMineralHeader(std::vector<std::string>& header, const std::vector<std::string>& inputHeader,
                         const RunSettings& settings, const std::string& source) {
  AppendResultNames(header, inputHeader, MineralColumnNames(settings), source);
}

void AppendResultNames(std::vector<std::string>& header, const std::vector<std::string>& inputHeader,
                       const std::vector<std::string>& names, const std::string& source) {
  for (const std::string& name : names) {
    const auto clash = std::find(inputHeader.begin(), inputHeader.end(), name);
    if (clash != inputHeader.end()) {
      const auto column = static_cast<std::size_t>(clash - inputHeader.begin()) + 1;
      throw table::CsvError(table::Place(source, 1, column, name) +
                                ": the results have a column of this name; rename or remove the input column",
                            1, column);
    }
    header.push_back(name);
  }
}

std::string PhasesClosestToSaturation(const ModelState& solved, const RunSettings& settings, std::size_t n) {
  std::vector<std::pair<double, std::size_t>> order;
  const std::vector<SaturationIndex> si = PhaseSaturationIndices(solved, settings.phases);
  for (std::size_t p = 0; p < si.size(); ++p)
    if (si[p].defined) order.emplace_back(std::fabs(si[p].value), p);
  std::sort(order.begin(), order.end());
  std::string text;
  for (std::size_t i = 0; i < order.size() && i < n; ++i)
    text += fmt::format("{}{} {:.3f}", i == 0 ? "" : ", ", settings.phases[order[i].second].name,
                        si[order[i].second].value);
  return text;
}

} // namespace vontralek
