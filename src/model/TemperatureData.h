#pragma once

// The temperature data of the equilibrium constants, as the model state keeps
// them, and how they are read from the text or numbers of a worksheet block or
// a table. Temperatures are absolute, in kelvin (T = t / °C + 273.15), inside
// the chemistry; the user gives °C.

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "labdata/LabUnits.h"
#include "model/Table.h"

namespace vontralek {

// How a constant depends on temperature: not at all, by the analytic
// expression of its log K, or by van 't Hoff with a constant reaction enthalpy.
enum class TemperatureForm { None, Analytic, VantHoff };

// The temperature data of one constant: the analytic coefficients A1..A6 and
// the reaction enthalpy in kJ/mol (van 't Hoff).
struct TemperatureRecord {
  TemperatureForm Form = TemperatureForm::None;
  std::array<double, 7> A{}; // A[1]..A[6]; A[0] unused
  double DeltaH = 0.0;       // kJ/mol

  bool operator==(const TemperatureRecord&) const = default;
};

// Two records that give the same log K at every temperature, to the bit
// (operator== would take -0 for +0 and never match a NaN).
inline bool SameBits(const TemperatureRecord& a, const TemperatureRecord& b) {
  if (a.Form != b.Form || std::bit_cast<std::uint64_t>(a.DeltaH) != std::bit_cast<std::uint64_t>(b.DeltaH))
    return false;
  for (std::size_t i = 1; i < a.A.size(); ++i)
    if (std::bit_cast<std::uint64_t>(a.A[i]) != std::bit_cast<std::uint64_t>(b.A[i])) return false;
  return true;
}

// The reference temperature of the tabulated log K: 25 °C.
inline constexpr double ReferenceTemperatureK = 298.15;
// Kelvin of 0 °C.
inline constexpr double ZeroCelsiusK = 273.15;

// The form's text: "analytic", "van 't Hoff" (also "vanthoff", the data
// file's spelling) or empty = None, letter case and surrounding spaces
// ignored; nothing for any other text (the caller names its cell).
inline std::optional<TemperatureForm> ParseTemperatureForm(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  const auto is = [&text](std::string_view word) {
    if (text.size() != word.size()) return false;
    for (std::size_t i = 0; i < word.size(); ++i) {
      const char c = text[i] >= 'A' && text[i] <= 'Z' ? static_cast<char>(text[i] - 'A' + 'a') : text[i];
      if (c != word[i]) return false;
    }
    return true;
  };
  if (text.empty()) return TemperatureForm::None;
  if (is("analytic")) return TemperatureForm::Analytic;
  if (is("van 't hoff") || is("vanthoff")) return TemperatureForm::VantHoff;
  return std::nullopt;
}

// One value of the data as read: a number (a numeric cell) or a text (a CSV
// field, a text cell; empty for an empty cell, which counts as 0).
struct TemperatureValue {
  std::optional<double> number;
  std::string_view text;
};

// The eight values of one constant's data in the order of the block: the
// form, A1..A6, ΔH in kJ/mol.
inline constexpr int TemperatureFields = 8;
inline constexpr int TemperatureFormField = 0, TemperatureDeltaHField = 7; // A1..A6 are fields 1 to 6

// A value of the data that cannot be taken. row says which constant (1 to
// 30; 0 when not known) and field which value (0 the form, 1 to 6 A1..A6, 7
// ΔH), so that the caller names its cell; the message says what is wrong and
// what is allowed, without a place.
class TemperatureDataError : public labdata::LabDataError {
public:
  TemperatureDataError(labdata::Problem problem, int field, const std::string& message, int row = 0)
      : LabDataError(problem, message), field_(field), row_(row) {}
  int field() const { return field_; }
  int row() const { return row_; }

private:
  int field_;
  int row_;
};

// One constant's temperature data from the values of its row. A form other
// than the three, a coefficient or enthalpy that is text but not a number, or
// a number that is not finite is refused with TemperatureDataError.
inline TemperatureRecord ReadTemperatureRecord(const std::array<TemperatureValue, TemperatureFields>& values) {
  TemperatureRecord record;
  const TemperatureValue& form = values[TemperatureFormField];
  const std::optional<TemperatureForm> parsed = form.number ? std::nullopt : ParseTemperatureForm(form.text);
  if (!parsed)
    throw TemperatureDataError(
        labdata::Problem::BadSetting, TemperatureFormField,
        "the temperature form \"" + (form.number ? std::string("a number") : std::string(form.text)) +
            "\" is not one of \"analytic\", \"van 't Hoff\" or empty (no temperature dependence)");
  record.Form = *parsed;
  for (int field = 1; field <= TemperatureDeltaHField; ++field) {
    const TemperatureValue& value = values[static_cast<std::size_t>(field)];
    const std::string name =
        field == TemperatureDeltaHField ? "the reaction enthalpy (kJ/mol)" : "coefficient A" + std::to_string(field);
    double number = 0.0; // an empty value counts as 0
    if (value.number) {
      number = *value.number;
      if (!std::isfinite(number))
        throw TemperatureDataError(labdata::Problem::NotANumber, field, name + " is not a finite number");
    } else if (value.text.find_first_not_of(" \t") != std::string_view::npos) {
      try {
        number = labdata::ParseNumber(value.text);
      } catch (const labdata::LabDataError&) {
        throw TemperatureDataError(labdata::Problem::NotANumber, field,
                                   name + " \"" + std::string(value.text) +
                                       "\" is not a number; enter a number with a decimal point, or leave it empty "
                                       "for 0");
      }
    }
    if (field == TemperatureDeltaHField)
      record.DeltaH = number;
    else
      record.A[static_cast<std::size_t>(field)] = number;
  }
  return record;
}

// The values of the 30 constants' rows, in ConstantTable order.
using TemperatureDataRows = std::array<std::array<TemperatureValue, TemperatureFields>, 30>;

// Fills the table from the rows of a worksheet block or a table; on the first
// value refused, throws TemperatureDataError naming its row and field and
// leaves the table as it was.
inline void FillTemperatureTable(Table<TemperatureRecord, 30>& table, const TemperatureDataRows& rows) {
  Table<TemperatureRecord, 30> filled;
  for (int row = 1; row <= 30; ++row) {
    try {
      filled[row] = ReadTemperatureRecord(rows[static_cast<std::size_t>(row - 1)]);
    } catch (const TemperatureDataError& error) {
      throw TemperatureDataError(error.problem(), error.field(),
                                 error.what() + std::string(" (equilibrium constant ") + std::to_string(row) + ")",
                                 row);
    }
  }
  table = filled;
}

} // namespace vontralek
