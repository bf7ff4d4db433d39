#pragma once

// The columns of a speciation table: what each input column holds and in
// which unit, read from its name (e.g. Na_mg_L, alkalinity_mg_L_as_CaCO3),
// and the names of the output columns. Pure functions of the header.

#include <array>
#include <optional>
#include <string>
#include <vector>

namespace vontralek::table {

// What an input column holds. Extra columns are passed through unchanged.
// DIC: the dissolved inorganic carbon, CO2 + HCO3- + CO3 2- with their complexes.
enum class Quantity {
  Extra,
  Sample,
  PH,
  PCO2,
  Alkalinity,
  HCO3,
  CO3,
  Na,
  K,
  Ca,
  Mg,
  Cl,
  NO3,
  SO4,
  Temperature,
  DIC,
  EvaluationTemperature
};
inline constexpr std::size_t QuantityCount = 17;

// The unit a column name gives: ion columns (and HCO3, CO3) _mmol_L, _mg_L,
// _meq_L, nitrate also _mg_L_as_N; alkalinity _meq_L, _mg_L_as_CaCO3,
// _mg_L_as_HCO3; DIC _mmol_L, _mg_L_as_C. pH, pCO2_atm (atm), temperature_C and
// evaluation_temperature_C (°C) have one fixed unit: None.
enum class ColumnUnit { None, MmolPerL, MgPerL, MeqPerL, MgPerLAsN, MgPerLAsCaCO3, MgPerLAsHCO3, MgPerLAsC };

// The two variables of the carbonate system a table gives.
enum class PairColumns { AlkalinityPH, AlkalinityPCO2, BicarbonateCarbonate, DICPH, AlkalinityDIC };

struct ColumnRole {
  Quantity quantity = Quantity::Extra;
  ColumnUnit unit = ColumnUnit::None;
};

struct InputColumns {
  std::vector<ColumnRole> roles;          // one per header column
  std::array<int, QuantityCount> index{}; // header column (0-based) of each quantity, -1 when absent
  std::vector<std::string> unrecognised;  // the names of the extra columns, in header order
  std::vector<std::string> missingIons;   // the ions without a column ("Na", "K", ...): not measured, 0
  bool Has(Quantity q) const { return Index(q) >= 0; }
  int Index(Quantity q) const { return index[static_cast<std::size_t>(q)]; }
  ColumnUnit Unit(Quantity q) const { return Has(q) ? roles[Index(q)].unit : ColumnUnit::None; }
};

// Reads the header: canonical names and those laboratories write (see
// ColumnSpellings.h). Throws CsvError naming line 1 and the column for a known
// quantity without a unit or with a unit that is not allowed (e.g. Na_ppm,
// pCO2, Ca (ppm)) and for two columns of one quantity (e.g. Na_mmol_L and
// Ca (mg/L)). Any other name is an extra column.
InputColumns ReadInputColumns(const std::vector<std::string>& header, const std::string& source);

// The pair the table gives: the one requested, or the one whose columns are
// present. Throws CsvError when a column the pair needs is missing (naming the
// names to add and the columns that were not recognised), or when the columns
// give more than one pair and none was requested. An ion without a column is
// not measured: it counts as 0.
PairColumns ChoosePair(const InputColumns& columns, std::optional<PairColumns> requested, const std::string& source);

// The 74 result names in output order: the Batch row's results (weighted_sum,
// pCO2_atm, ionic strengths, log IAPs, SARs, pH, then gamma_X, log_a_X and
// free_X_mmol_L of H, OH, Na, K, Ca, Mg, Cl, NO3, SO4, HCO3, CO3, CO2, the 24
// complexes NaOH_mmol_L .. MgCO3_mmol_L), then SI_calcite, SI_gypsum,
// charge_balance_error_percent, DIC_mmol_L and status.
inline constexpr std::size_t ResultColumnCount = 74;
const std::vector<std::string>& ResultColumnNames();
// Result indices of the quantities a pair can give.
inline constexpr std::size_t ResultPCO2 = 1, ResultPH = 8, ResultDIC = 72;

// The pair's two quantities in the order of the model's inputs (first,
// second: pH or pCO2 and the alkalinity, CO3 and HCO3, pH and DIC, DIC and
// the alkalinity).
std::array<Quantity, 2> PairQuantities(PairColumns pair);

// Whether result i is left out because the pair's input holds it (pH with
// alkalinity and pH or DIC and pH, pCO2_atm with alkalinity and pCO2,
// DIC_mmol_L with the two DIC pairs, whichever unit their column has).
bool ResultIsPairInput(std::size_t result, PairColumns pair);

// The output header: the input columns unchanged, then the results the pair
// does not give. Throws CsvError (line 1, the input column) when an input
// column's name would appear twice, e.g. an extra column "SAR" or a pH column
// that the pair alkalinity and pCO2 does not use.
std::vector<std::string> OutputHeader(const std::vector<std::string>& inputHeader, PairColumns pair,
                                      const std::string& source);

} // namespace vontralek::table
