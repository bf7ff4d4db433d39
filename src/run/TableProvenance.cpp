#include "run/TableProvenance.h"

#include <fstream>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "run/ReactionColumns.h"
#include "run/TableRun.h"
#include "run/TableUnits.h"

namespace vontralek {

using table::ColumnUnit;
using table::PairColumns;
using table::Quantity;

using table_run::PairText;
using table_run::UnitText;

std::string ProvenanceJson(const TableOptions& options, const TableParameters& parameters,
                           const TableRunSummary& summary) {
  nlohmann::ordered_json record;
  record["program"] = "VONTRALEK";
  record["version"] = VONTRALEK_VERSION;
  record["started_utc"] = summary.startedUtc;
  if (summary.input)
    record["input"] = {
        {"path", summary.input->path}, {"size_bytes", summary.input->bytes}, {"sha256", summary.input->sha256}};
  record["model"] = ModelText(options.settings.model);
  record["pair"] = PairText(summary.pair);
  record["pair_rule"] = options.pair ? "requested" : "from the columns present";
  if (!summary.mixture.empty()) record["mixture"] = summary.mixture;
  nlohmann::ordered_json units = nlohmann::ordered_json::object();
  const table::InputColumns columns = table::ReadInputColumns(summary.inputHeader, "the input");
  for (std::size_t i = 0; i < summary.inputHeader.size(); ++i)
    if (columns.roles[i].quantity != Quantity::Extra && columns.roles[i].quantity != Quantity::Sample)
      units[summary.inputHeader[i]] = UnitText(columns.roles[i]);
  record["input_columns"] = units;
  record["ions_not_measured"] = summary.ionsNotMeasured;    // no column: counted as 0
  record["columns_not_recognised"] = summary.notRecognised; // passed through
  record["units_out"] =
      "concentrations mmol/L, ionic strength mmol/L, pCO2 atm, SAR (mmol/L)^0.5, DIC mmol/L, calcite mmol/L and "
      "mg/L CaCO3";
  record["below_limit"] = labdata::ToText(options.settings.belowLimit);
  record["keep_going"] = options.settings.onFailure == FailurePolicy::Continue;
  record["threads"] = summary.threads;
  record["start_state"] = "fresh for every row";
  record["rows"] = summary.rows;
  record["rows_failed"] = summary.failed;
  record["constants"] = parameters.constantsSource;
  record["constants_sha256"] = parameters.digest;
  record["temperature"] =
      options.settings.temperature == TemperatureSource::Fixed
          ? fmt::format("{} degrees C for every row (given for the run)", options.settings.temperatureC)
      : columns.Has(Quantity::Temperature)
          ? "column " + summary.inputHeader[static_cast<std::size_t>(columns.Index(Quantity::Temperature))] +
                ", degrees C (empty: none, log K at 25 degrees C)"
          : std::string("none: log K at 25 degrees C, Davies A 0.512");
  record["temperature_data"] = !parameters.temperatureData ? std::string("none")
                               : options.constants         ? "worksheet 3 of " + parameters.constantsSource
                                                   : std::string("shipped defaults (data/logk-temperature.csv)");
  record["phases"] = !options.settings.saturationIndices ? std::string("off")
                     : options.constants
                         ? fmt::format("{} of worksheet 3 of {}", parameters.phases.size(), parameters.constantsSource)
                         : fmt::format("{} shipped (data/phases.csv)", parameters.phases.size());
  record["water_quality"] = options.settings.waterQuality;
  const int evaluation = columns.Index(Quantity::EvaluationTemperature);
  record["calcite_saturation"] = DescribeCalciteSaturation(
      options.settings.reactions,
      evaluation >= 0 ? summary.inputHeader[static_cast<std::size_t>(evaluation)] : std::string());
  record["co2_equilibrium"] = DescribeCO2Equilibrium(options.settings.reactions);
  record["constants_sha256_covers"] =
      "log K of rows 1-30, then charge and weight of species 1-11 and of complexes 1-24, as little-endian IEEE "
      "doubles";
  return record.dump(2) + "\n";
}

void WriteProvenance(const std::string& output, const TableOptions& options, const TableParameters& parameters,
                     const TableRunSummary& summary) {
  const std::string path = output + ".json";
  std::ofstream provenance(path, std::ios::binary | std::ios::trunc);
  provenance << ProvenanceJson(options, parameters, summary);
  provenance.close();
  if (!provenance) throw TableError("The provenance record " + path + " could not be written.");
}

} // namespace vontralek
