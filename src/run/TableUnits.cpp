#include "run/TableUnits.h"

namespace vontralek::table_run {

using table::ColumnUnit;
using table::PairColumns;
using table::Quantity;

CarbonatePair ToCarbonatePair(PairColumns pair) {
  switch (pair) {
  case PairColumns::AlkalinityPH:
    return CarbonatePair::AlkalinityPH;
  case PairColumns::AlkalinityPCO2:
    return CarbonatePair::AlkalinityPCO2;
  case PairColumns::BicarbonateCarbonate:
    break;
  case PairColumns::DICPH:
    return CarbonatePair::DICPH;
  case PairColumns::AlkalinityDIC:
    return CarbonatePair::AlkalinityDIC;
  }
  return CarbonatePair::BicarbonateCarbonate;
}

const char* PairText(PairColumns pair) {
  switch (pair) {
  case PairColumns::AlkalinityPH:
    return "alkalinity and pH";
  case PairColumns::AlkalinityPCO2:
    return "alkalinity and pCO2";
  case PairColumns::BicarbonateCarbonate:
    break;
  case PairColumns::DICPH:
    return "DIC and pH";
  case PairColumns::AlkalinityDIC:
    return "alkalinity and DIC";
  }
  return "HCO3 and CO3";
}

labdata::IonUnit IonUnitOf(ColumnUnit unit) {
  switch (unit) {
  case ColumnUnit::MgPerL:
  case ColumnUnit::MgPerLAsN:
  case ColumnUnit::MgPerLAsC:
    return labdata::IonUnit::MgPerL;
  case ColumnUnit::MeqPerL:
    return labdata::IonUnit::MeqPerL;
  default:
    return labdata::IonUnit::MmolPerL;
  }
}

labdata::AlkalinityUnit AlkalinityUnitOf(ColumnUnit unit) {
  if (unit == ColumnUnit::MgPerLAsCaCO3) return labdata::AlkalinityUnit::MgPerLAsCaCO3;
  if (unit == ColumnUnit::MgPerLAsHCO3) return labdata::AlkalinityUnit::MgPerLAsHCO3;
  return labdata::AlkalinityUnit::MeqPerL;
}

int SpeciesRowOf(Quantity q) {
  switch (q) {
  case Quantity::HCO3:
    return species::Bicarbonate;
  case Quantity::CO3:
    return species::Carbonate;
  default:
    return species::Sodium + (static_cast<int>(q) - static_cast<int>(Quantity::Na));
  }
}

std::string UnitText(const table::ColumnRole& role) {
  switch (role.unit) {
  case ColumnUnit::MmolPerL:
    return "mmol/L";
  case ColumnUnit::MgPerL:
    return "mg/L";
  case ColumnUnit::MeqPerL:
    return "meq/L";
  case ColumnUnit::MgPerLAsN:
    return "mg/L as N";
  case ColumnUnit::MgPerLAsCaCO3:
    return "mg/L as CaCO3";
  case ColumnUnit::MgPerLAsHCO3:
    return "mg/L as HCO3";
  case ColumnUnit::MgPerLAsC:
    return "mg/L as C";
  case ColumnUnit::None:
    break;
  }
  if (role.quantity == Quantity::PCO2) return "atm";
  if (role.quantity == Quantity::Temperature) return "degrees C (empty: none)";
  if (role.quantity == Quantity::EvaluationTemperature) return "degrees C (empty: the run's, else the water's own)";
  return "pH";
}

} // namespace vontralek::table_run
