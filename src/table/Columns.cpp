#include "table/Columns.h"

#include <algorithm>
#include <string_view>

#include "table/ColumnSpellings.h"
#include "table/Csv.h"

namespace vontralek::table {
namespace {

struct UnitSuffix {
  std::string_view suffix;
  ColumnUnit unit;
};
constexpr UnitSuffix kIonUnits[] = {
    {"mmol_L", ColumnUnit::MmolPerL}, {"mg_L", ColumnUnit::MgPerL}, {"meq_L", ColumnUnit::MeqPerL}};
constexpr UnitSuffix kNitrateUnits[] = {{"mmol_L", ColumnUnit::MmolPerL},
                                        {"mg_L", ColumnUnit::MgPerL},
                                        {"meq_L", ColumnUnit::MeqPerL},
                                        {"mg_L_as_N", ColumnUnit::MgPerLAsN}};
constexpr UnitSuffix kAlkalinityUnits[] = {{"meq_L", ColumnUnit::MeqPerL},
                                           {"mg_L_as_CaCO3", ColumnUnit::MgPerLAsCaCO3},
                                           {"mg_L_as_HCO3", ColumnUnit::MgPerLAsHCO3}};
constexpr UnitSuffix kCarbonUnits[] = {{"mmol_L", ColumnUnit::MmolPerL}, {"mg_L_as_C", ColumnUnit::MgPerLAsC}};
constexpr UnitSuffix kAtm[] = {{"atm", ColumnUnit::None}};
constexpr UnitSuffix kCelsius[] = {{"C", ColumnUnit::None}};

// A quantity's stem and its allowed unit suffixes; no suffixes: the stem alone.
struct Known {
  Quantity quantity;
  std::string_view stem;
  const UnitSuffix* units;
  std::size_t unitCount;
};
template <std::size_t N> constexpr Known Q(Quantity q, std::string_view stem, const UnitSuffix (&units)[N]) {
  return {q, stem, units, N};
}
constexpr Known kKnown[] = {
    {Quantity::Sample, "sample", nullptr, 0}, {Quantity::PH, "pH", nullptr, 0},
    Q(Quantity::PCO2, "pCO2", kAtm),          Q(Quantity::Alkalinity, "alkalinity", kAlkalinityUnits),
    Q(Quantity::HCO3, "HCO3", kIonUnits),     Q(Quantity::CO3, "CO3", kIonUnits),
    Q(Quantity::Na, "Na", kIonUnits),         Q(Quantity::K, "K", kIonUnits),
    Q(Quantity::Ca, "Ca", kIonUnits),         Q(Quantity::Mg, "Mg", kIonUnits),
    Q(Quantity::Cl, "Cl", kIonUnits),         Q(Quantity::NO3, "NO3", kNitrateUnits),
    Q(Quantity::SO4, "SO4", kIonUnits),       Q(Quantity::Temperature, "temperature", kCelsius),
    Q(Quantity::DIC, "DIC", kCarbonUnits),    Q(Quantity::EvaluationTemperature, "evaluation_temperature", kCelsius)};

const Known& KnownOf(Quantity q) {
  return *std::find_if(std::begin(kKnown), std::end(kKnown), [q](const Known& k) { return k.quantity == q; });
}

// The allowed names of a quantity, for messages: "Na_mmol_L, Na_mg_L or Na_meq_L".
std::string AllowedNames(const Known& k) {
  if (k.unitCount == 0) return std::string(k.stem);
  std::string list;
  for (std::size_t i = 0; i < k.unitCount; ++i) {
    if (i > 0) list += i + 1 == k.unitCount ? " or " : ", ";
    list.append(k.stem).append("_").append(k.units[i].suffix);
  }
  return list;
}

[[noreturn]] void HeaderError(const std::string& source, std::size_t index, const std::string& name,
                              const std::string& what) {
  throw CsvError(Place(source, 1, index + 1, name) + ": " + what, 1, index + 1);
}

constexpr Quantity kIons[] = {Quantity::Na, Quantity::K,   Quantity::Ca, Quantity::Mg,
                              Quantity::Cl, Quantity::NO3, Quantity::SO4};

// A laboratory's spelling of a quantity's column, for messages.
std::string LabExample(const Known& k) {
  const std::string example = k.quantity == Quantity::Alkalinity              ? "Alkalinity (mg/L as CaCO3)"
                              : k.quantity == Quantity::NO3                   ? "NO3 (mg/L as N)"
                              : k.quantity == Quantity::PCO2                  ? "pCO2 (atm)"
                              : k.quantity == Quantity::Temperature           ? "Temp (°C)"
                              : k.quantity == Quantity::DIC                   ? "DIC (mg/L as C)"
                              : k.quantity == Quantity::EvaluationTemperature ? "Evaluation temperature (°C)"
                                                                              : std::string(k.stem) + " (mg/L)";
  return " (or as a laboratory writes it, e.g. \"" + example + "\")";
}

// "; columns not recognised: A, B" when a run stops for want of a column.
std::string NotRecognised(const InputColumns& columns) {
  std::string list;
  for (const std::string& name : columns.unrecognised) list += (list.empty() ? "" : ", ") + name;
  return list.empty() ? list : "; columns not recognised: " + list;
}

const std::vector<std::string> kResultNames = [] {
  std::vector<std::string> names = {"weighted_sum",
                                    "pCO2_atm",
                                    "ionic_strength_mmol_L",
                                    "initial_ionic_strength_mmol_L",
                                    "log_IAP_gypsum",
                                    "log_IAP_calcite",
                                    "SAR",
                                    "SAR_activity",
                                    "pH"};
  const char* species[] = {"H", "OH", "Na", "K", "Ca", "Mg", "Cl", "NO3", "SO4", "HCO3", "CO3", "CO2"};
  for (const char* prefix : {"gamma_", "log_a_", "free_"})
    for (const char* s : species) names.push_back(std::string(prefix) + s + (prefix[0] == 'f' ? "_mmol_L" : ""));
  // Complexes in the order of their rows: cations 1 to 4 with hydroxide, then with each ligand.
  for (const char* ligand : {"OH", "Cl", "NO3", "SO4", "HCO3", "CO3"})
    for (const char* cation : {"Na", "K", "Ca", "Mg"}) names.push_back(std::string(cation) + ligand + "_mmol_L");
  for (const char* extra : {"SI_calcite", "SI_gypsum", "charge_balance_error_percent", "DIC_mmol_L", "status"})
    names.push_back(extra);
  return names;
}();

} // namespace

InputColumns ReadInputColumns(const std::vector<std::string>& header, const std::string& source) {
  InputColumns columns;
  columns.index.fill(-1);
  columns.roles.resize(header.size());
  for (std::size_t i = 0; i < header.size(); ++i) {
    const std::string& name = header[i];
    const Spelling spelling = RecogniseColumn(name);
    if (spelling.quantity == Quantity::Extra) continue;
    const Known& k = KnownOf(spelling.quantity);
    if (spelling.problem != Spelling::Problem::None)
      HeaderError(source, i, name,
                  (spelling.problem == Spelling::Problem::NoUnit ? "the column needs its unit: name it "
                                                                 : "unknown unit; name the column ") +
                      AllowedNames(k) + LabExample(k));
    const int earlier = columns.Index(k.quantity);
    if (earlier >= 0)
      HeaderError(source, i, name,
                  "a second column for " + std::string(k.stem) + " beside column " + std::to_string(earlier + 1) +
                      " (" + header[earlier] + "); keep one");
    columns.roles[i] = {spelling.quantity, spelling.unit};
    columns.index[static_cast<std::size_t>(k.quantity)] = static_cast<int>(i);
  }
  for (std::size_t i = 0; i < header.size(); ++i)
    if (columns.roles[i].quantity == Quantity::Extra) columns.unrecognised.push_back(header[i]);
  for (Quantity q : kIons)
    if (!columns.Has(q)) columns.missingIons.push_back(std::string(KnownOf(q).stem));
  return columns;
}

PairColumns ChoosePair(const InputColumns& columns, std::optional<PairColumns> requested, const std::string& source) {
  const std::string unrecognised = NotRecognised(columns);
  const auto missing = [&](Quantity q, const std::string& why) {
    throw CsvError(Place(source, 1, 0) + ": no column " + AllowedNames(KnownOf(q)) + why + unrecognised, 1, 0);
  };
  const bool alk = columns.Has(Quantity::Alkalinity), dic = columns.Has(Quantity::DIC);
  // In the order of PairColumns.
  const bool given[] = {alk && columns.Has(Quantity::PH), alk && columns.Has(Quantity::PCO2),
                        columns.Has(Quantity::HCO3) && columns.Has(Quantity::CO3), dic && columns.Has(Quantity::PH),
                        alk && dic};
  const auto count = std::count(std::begin(given), std::end(given), true);
  PairColumns pair;
  if (requested) {
    pair = *requested;
  } else if (count > 1) {
    throw CsvError(Place(source, 1, 0) +
                       ": the columns give more than one carbonate pair; choose one (alkalinity and pH, "
                       "alkalinity and pCO2, HCO3 and CO3, DIC and pH, or alkalinity and DIC) with the pair option" +
                       unrecognised,
                   1, 0);
  } else if (count == 1) {
    pair = static_cast<PairColumns>(std::find(std::begin(given), std::end(given), true) - std::begin(given));
  } else {
    throw CsvError(Place(source, 1, 0) +
                       ": the columns give no carbonate pair; add pH and alkalinity_meq_L, pCO2_atm and "
                       "alkalinity_meq_L, HCO3_mmol_L and CO3_mmol_L, DIC_mmol_L and pH, or alkalinity_meq_L and "
                       "DIC_mmol_L" +
                       unrecognised,
                   1, 0);
  }
  std::array<Quantity, 2> needed = PairQuantities(pair);
  std::sort(needed.begin(), needed.end()); // named in the order of the header's quantities
  for (Quantity q : needed)
    if (!columns.Has(q)) missing(q, " for the chosen carbonate pair");
  return pair;
}

const std::vector<std::string>& ResultColumnNames() { return kResultNames; }

std::array<Quantity, 2> PairQuantities(PairColumns pair) {
  switch (pair) {
  case PairColumns::AlkalinityPH:
    return {Quantity::PH, Quantity::Alkalinity};
  case PairColumns::AlkalinityPCO2:
    return {Quantity::PCO2, Quantity::Alkalinity};
  case PairColumns::BicarbonateCarbonate:
    break;
  case PairColumns::DICPH:
    return {Quantity::PH, Quantity::DIC};
  case PairColumns::AlkalinityDIC:
    return {Quantity::DIC, Quantity::Alkalinity};
  }
  return {Quantity::CO3, Quantity::HCO3};
}

bool ResultIsPairInput(std::size_t result, PairColumns pair) {
  const bool dic = pair == PairColumns::DICPH || pair == PairColumns::AlkalinityDIC;
  return (result == ResultPH && (pair == PairColumns::AlkalinityPH || pair == PairColumns::DICPH)) ||
         (result == ResultPCO2 && pair == PairColumns::AlkalinityPCO2) || (result == ResultDIC && dic);
}

std::vector<std::string> OutputHeader(const std::vector<std::string>& inputHeader, PairColumns pair,
                                      const std::string& source) {
  std::vector<std::string> header = inputHeader;
  for (std::size_t r = 0; r < ResultColumnCount; ++r) {
    if (ResultIsPairInput(r, pair)) continue;
    const auto clash = std::find(inputHeader.begin(), inputHeader.end(), kResultNames[r]);
    if (clash != inputHeader.end())
      HeaderError(source, static_cast<std::size_t>(clash - inputHeader.begin()), *clash,
                  "the results have a column of this name; rename or remove the input column");
    header.push_back(kResultNames[r]);
  }
  return header;
}

} // namespace vontralek::table
