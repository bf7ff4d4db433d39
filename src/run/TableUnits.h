#pragma once

#include <string>

#include "labdata/LabUnits.h"
#include "model/ModelState.h"
#include "table/Columns.h"

// How the table's column units and pair map onto the model and the
// laboratory-unit conversions, and how the provenance names them.
namespace vontralek::table_run {

CarbonatePair ToCarbonatePair(table::PairColumns pair);
const char* PairText(table::PairColumns pair);
labdata::IonUnit IonUnitOf(table::ColumnUnit unit);
labdata::AlkalinityUnit AlkalinityUnitOf(table::ColumnUnit unit);
// Species row of an ion quantity (Na 3 .. SO4 9, HCO3 10, CO3 11).
int SpeciesRowOf(table::Quantity q);
std::string UnitText(const table::ColumnRole& role);

} // namespace vontralek::table_run
