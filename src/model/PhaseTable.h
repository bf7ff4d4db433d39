#pragma once

// The mineral and gas phases whose saturation indices a run reports: each
// phase's dissolution reaction written with the model's free species (the
// solid on the left, a positive coefficient for a product), its log K at
// 25 °C and how that log K depends on temperature (the same forms as the 30
// constants). Worksheet 3 keeps the table; the table mode has the shipped one.

#include <array>
#include <cmath>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "labdata/LabUnits.h"
#include "model/TemperatureData.h"

namespace vontralek {

// The species a reaction may name, in the order of the table's columns:
// Ca2+, Mg2+, Na+, K+, Cl-, NO3-, SO4 2-, CO3 2-, HCO3-, H+, H2O.
inline constexpr int PhaseSpeciesCount = 11;
// The species row (SpeciesTable) of each reaction species; 0 for water, whose
// activity is not a species row.
inline constexpr std::array<int, PhaseSpeciesCount> PhaseSpeciesRows{5, 6, 3, 4, 7, 8, 9, 11, 10, 1, 0};
inline constexpr std::array<const char*, PhaseSpeciesCount> PhaseSpeciesNames{
    "Ca2+", "Mg2+", "Na+", "K+", "Cl-", "NO3-", "SO4 2-", "CO3 2-", "HCO3-", "H+", "H2O"};
inline constexpr int PhaseWaterIndex = 10; // the coefficient of H2O

struct Phase {
  std::string name;
  std::string formula;                                 // for display only
  std::array<double, PhaseSpeciesCount> coefficient{}; // mol per mol of the phase
  double LogK25 = 0.0;                                 // log10 K of the dissolution at 25 °C
  TemperatureRecord temperature;                       // none: log K(T) = LogK25

  bool operator==(const Phase&) const = default;
};

using PhaseTable = std::vector<Phase>;

// The values of one phase's row, in the order of the table's columns: name,
// formula, the 11 coefficients, log K at 25 °C, the form, A1..A6, ΔH kJ/mol.
inline constexpr int PhaseFields = 22;
inline constexpr int PhaseNameField = 0, PhaseFormulaField = 1, PhaseFirstCoefficientField = 2, PhaseLogKField = 13,
                     PhaseFormField = 14; // then A1..A6 and ΔH: fields 15 to 21
using PhaseRow = std::array<TemperatureValue, PhaseFields>;

// A value of a phase's row that cannot be taken: field says which (0 to 21),
// so that the caller names its cell; the message says what is wrong.
class PhaseDataError : public labdata::LabDataError {
public:
  PhaseDataError(int field, const std::string& message)
      : LabDataError(labdata::Problem::BadSetting, message), field_(field) {}
  int field() const { return field_; }

private:
  int field_;
};

namespace phase_detail {
inline std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}
inline std::string Lower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return lower;
}
// A number field: a number, a numeric text, or empty (0 unless required).
inline double Number(const TemperatureValue& value, int field, const std::string& what, bool required) {
  if (value.number) {
    if (!std::isfinite(*value.number)) throw PhaseDataError(field, what + " is not a finite number");
    return *value.number;
  }
  const std::string_view text = Trimmed(value.text);
  if (text.empty()) {
    if (required) throw PhaseDataError(field, what + " is empty; enter a number");
    return 0.0;
  }
  try {
    return labdata::ParseNumber(text);
  } catch (const labdata::LabDataError&) {
    throw PhaseDataError(field, what + " \"" + std::string(value.text) + "\" is not a number");
  }
}
} // namespace phase_detail

// One phase from its row. The name is a text (a number is refused); a
// coefficient, log K (required) or temperature coefficient that is text but
// not a number, or a form other than the three, is refused with
// PhaseDataError naming the field.
inline Phase ReadPhase(const PhaseRow& values) {
  using namespace phase_detail;
  Phase phase;
  if (values[PhaseNameField].number)
    throw PhaseDataError(PhaseNameField, "the phase's name is a number; enter a name such as \"Aragonite\"");
  phase.name = std::string(Trimmed(values[PhaseNameField].text));
  phase.formula = values[PhaseFormulaField].number ? std::string() : std::string(values[PhaseFormulaField].text);
  for (int i = 0; i < PhaseSpeciesCount; ++i) {
    const int field = PhaseFirstCoefficientField + i;
    phase.coefficient[static_cast<std::size_t>(i)] =
        Number(values[static_cast<std::size_t>(field)], field,
               std::string("the coefficient of ") + PhaseSpeciesNames[static_cast<std::size_t>(i)], false);
  }
  phase.LogK25 = Number(values[PhaseLogKField], PhaseLogKField, "log K at 25 °C", true);
  std::array<TemperatureValue, TemperatureFields> temperature{};
  for (int f = 0; f < TemperatureFields; ++f)
    temperature[static_cast<std::size_t>(f)] = values[static_cast<std::size_t>(PhaseFormField + f)];
  try {
    phase.temperature = ReadTemperatureRecord(temperature);
  } catch (const TemperatureDataError& error) {
    throw PhaseDataError(PhaseFormField + error.field(), error.what());
  }
  return phase;
}

// The key of a name: lower case, each run of characters other than ASCII
// letters and digits one "_", none at either end ("Dolomite(d)" ->
// "dolomite_d"). The table's names must have distinct keys, so that each
// phase has its own output column.
inline std::string PhaseKey(std::string_view name) {
  std::string key;
  bool gap = false;
  for (const char c : name) {
    const bool keep = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    if (!keep) {
      gap = !key.empty();
      continue;
    }
    if (gap) key += '_';
    gap = false;
    key += c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  }
  return key;
}

// The table mode's column of a phase's saturation index: "SI_dolomite_d".
inline std::string PhaseColumnName(std::string_view name) { return "SI_" + PhaseKey(name); }

} // namespace vontralek
