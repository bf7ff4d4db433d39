#include "run/RowReader.h"

#include <cctype>
#include <cmath>
#include <limits>

#include <fmt/format.h>

#include "common/GasPressure.h"
#include "common/TemperatureRange.h"
#include "layout/ParameterLoading.h"
#include "run/TableError.h"
#include "run/TableUnits.h"

namespace vontralek {

using table::ColumnUnit;
using table::PairColumns;
using table::Quantity;

using table_run::AlkalinityUnitOf;
using table_run::IonUnitOf;
using table_run::SpeciesRowOf;

RowReader::RowReader(const std::vector<std::string>& header, const table::InputColumns& columns, PairColumns pair,
                     const RunSettings& settings, const TableParameters& parameters)
    : header_(header), belowLimit_(settings.belowLimit), masses_(parameters.masses), pair_(pair) {
  for (std::size_t q = 0; q < table::QuantityCount; ++q) units_[q] = columns.Unit(static_cast<Quantity>(q));
  const auto [first, second] = table::PairQuantities(pair);
  needed_.push_back({first, columns.Index(first), 0});
  needed_.push_back({second, columns.Index(second), 1});
  for (Quantity q : {Quantity::Na, Quantity::K, Quantity::Ca, Quantity::Mg, Quantity::Cl, Quantity::NO3, Quantity::SO4})
    needed_.push_back({q, columns.Index(q), SpeciesRowOf(q)});
  for (int n = 1; n <= 11; ++n) charges_[n] = parameters.start.SpeciesTable[n].Charge;
  if (settings.temperature == TemperatureSource::Fixed) {
    const double t = settings.temperatureC;
    if (!InWaterRange(t))
      throw TableError(
          fmt::format("The temperature {} °C given for every row is {}: give the water's temperature in °C.", t,
                      OutsideWaterRange()));
    if (!parameters.temperatureData)
      throw TableError("A temperature is given for every row, but the constants workbook has no temperature data "
                       "(the block \"" +
                       std::string(kTemperatureBlockTitle) +
                       "\" of worksheet 3): add the block, or give no temperature.");
    fixedTemperature_ = t;
  } else
    temperatureColumn_ = columns.Index(Quantity::Temperature);
  temperatureData_ = parameters.temperatureData;
  CheckReactions(settings.reactions, columns);
}

// The reactions' settings: a CO2 pressure that can be reached, an evaluation
// temperature for every row within the water's range, with temperature data.
// The evaluation_temperature_C column is read only with calcite saturation.
void RowReader::CheckReactions(const ReactionSettings& reactions, const table::InputColumns& columns) {
  if (reactions.equilibriumPCO2Given && !ValidPartialPressure(reactions.equilibriumPCO2))
    throw TableError(
        fmt::format("The equilibrium pCO2 {} atm is {}.", reactions.equilibriumPCO2, InvalidPartialPressure()));
  if (!reactions.calciteSaturation) return;
  if (reactions.evaluationTemperature == TemperatureSource::Fixed) {
    const double t = reactions.evaluationTemperatureC;
    if (!InWaterRange(t))
      throw TableError(fmt::format("The evaluation temperature {} °C given for every row is {}: give the temperature "
                                   "the calcite saturation is evaluated at in °C.",
                                   t, OutsideWaterRange()));
    if (!temperatureData_)
      throw TableError("An evaluation temperature is given, but the constants workbook has no temperature data (the "
                       "block \"" +
                       std::string(kTemperatureBlockTitle) + "\" of worksheet 3): add the block, or give none.");
  }
  evaluationColumn_ = columns.Index(Quantity::EvaluationTemperature);
}

double RowReader::Convert(const Needed& need, std::string_view text) const {
  const ColumnUnit unit = units_[static_cast<std::size_t>(need.quantity)];
  std::string_view trimmed = text;
  while (!trimmed.empty() && std::isspace(static_cast<unsigned char>(trimmed.front()))) trimmed.remove_prefix(1);
  while (!trimmed.empty() && std::isspace(static_cast<unsigned char>(trimmed.back()))) trimmed.remove_suffix(1);
  // An ion that was not determined: empty or "nd", counted as 0 as on the Batch sheet.
  if (need.target >= 3 && (trimmed.empty() || trimmed == "nd")) return 0.0;
  if (trimmed.empty())
    throw labdata::LabDataError(labdata::Problem::NotANumber, "the field is empty; the carbonate pair needs a value");
  const bool censored = labdata::IsCensored(trimmed);
  if (censored && (need.quantity == Quantity::PH || need.quantity == Quantity::PCO2))
    throw labdata::LabDataError(labdata::Problem::NotANumber,
                                "\"" + std::string(trimmed) +
                                    "\" is not a number; pH and pCO2 take no detection limit");
  const double value = censored ? labdata::CensoredValue(trimmed, belowLimit_) : labdata::ParseNumber(trimmed);
  if (need.quantity == Quantity::PH || need.quantity == Quantity::PCO2) return value; // pH, atm
  if (need.quantity == Quantity::Alkalinity)
    return labdata::AlkalinityToEqPerL(value, AlkalinityUnitOf(unit), masses_.CaCO3,
                                       masses_.species[species::Bicarbonate]);
  // DIC as mg/L C: divided by the molar mass of carbon gives mmol/L of carbon.
  if (need.quantity == Quantity::DIC) return labdata::IonToMolPerL(value, IonUnitOf(unit), masses_.Carbon, 0.0);
  const int row = SpeciesRowOf(need.quantity);
  // Nitrate as mg/L N: divided by the molar mass of nitrogen gives mmol/L of nitrate.
  const double molarMass = unit == ColumnUnit::MgPerLAsN ? masses_.Nitrogen : masses_.species[row];
  return labdata::IonToMolPerL(value, IonUnitOf(unit), molarMass, charges_[row]);
}

void RowReader::Read(const std::function<std::string_view(int)>& field, SampleRow& row) const {
  for (const Needed& need : needed_) {
    double value = 0.0; // an ion without a column is not measured
    if (need.column >= 0) {
      try {
        value = Convert(need, field(need.column));
      } catch (const labdata::LabDataError& error) {
        row.failure = row.place + ", column " + std::to_string(need.column + 1) + " (" + header_[need.column] +
                      "): " + error.what();
        return;
      }
    }
    if (need.target == 0) row.inputs.first = value;
    if (need.target == 1) row.inputs.second = value;
    if (need.target >= 3) row.inputs.ions[need.target] = value;
  }
  row.inputs.temperatureC = fixedTemperature_;
  row.inputs.evaluationTemperatureC.reset();
  if (temperatureColumn_ >= 0 &&
      !ReadTemperature(field, row, temperatureColumn_, "a temperature", "for log K at 25 °C", row.inputs.temperatureC))
    return;
  if (evaluationColumn_ >= 0)
    ReadTemperature(field, row, evaluationColumn_, "an evaluation temperature",
                    "for the run's evaluation temperature, else the water's own", row.inputs.evaluationTemperatureC);
}

bool RowReader::ReadTemperature(const std::function<std::string_view(int)>& field, SampleRow& row, int column,
                                const char* what, const char* empty, std::optional<double>& celsius) const {
  const auto fail = [&](const std::string& why) {
    row.failure = row.place + ", column " + std::to_string(column + 1) + " (" +
                  header_[static_cast<std::size_t>(column)] + "): " + why;
    return false;
  };
  std::string_view text = field(column);
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
  if (text.empty()) return true; // none for this row
  double value = 0.0;
  try {
    value = labdata::ParseNumber(text);
  } catch (const labdata::LabDataError& error) {
    return fail(error.what());
  }
  // "the temperature 150 °C is outside ...", "a temperature is given, but ..."
  const std::string_view noun = std::string_view(what).substr(std::string_view(what).find(' ') + 1);
  if (!InWaterRange(value)) return fail(fmt::format("the {} {} °C is {}", noun, value, OutsideWaterRange()));
  if (!temperatureData_)
    return fail(std::string(what) + " is given, but the constants workbook has no temperature data (the block \"" +
                std::string(kTemperatureBlockTitle) + "\" of worksheet 3); add the block, or leave the column empty " +
                empty);
  celsius = value;
  return true;
}

} // namespace vontralek
