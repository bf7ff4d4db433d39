#pragma once

// How a table's header names a column: the canonical form (Na_mg_L,
// alkalinity_mg_L_as_CaCO3, temperature_C) and the forms laboratories write,
// a name followed by its unit in parentheses, in brackets or after a space
// (Ca (mg/L), Ca [mg/l], Ca mg/L, Temp (°C), Alkalinity (mg/L as CaCO3),
// NO3-N (mg/L)). Letter case does not matter; in a name, a space, an
// underscore and a hyphen are the same. Pure functions of the name.

#include <string_view>

#include "table/Columns.h"

namespace vontralek::table {

// What a header name says. A known quantity with a unit that is missing or
// not one it takes is a problem, not an extra column: an ion whose column went
// unrecognised would otherwise count as "not measured" without a word.
struct Spelling {
  enum class Problem { None, NoUnit, UnknownUnit };
  Quantity quantity = Quantity::Extra;
  ColumnUnit unit = ColumnUnit::None;
  Problem problem = Problem::None;
};

// The quantity and unit of a column name; Quantity::Extra for any other name
// (including a known name followed by a word that is no unit when the quantity
// takes none: "pH (field)", "sample_id").
Spelling RecogniseColumn(std::string_view name);

} // namespace vontralek::table
