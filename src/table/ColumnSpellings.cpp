#include "table/ColumnSpellings.h"

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

namespace vontralek::table {
namespace {

// What a name or a unit says the value is expressed as, beyond its amount:
// nitrate as nitrogen, alkalinity as CaCO3 or as HCO3, DIC as carbon.
enum class Basis { None, N, CaCO3, HCO3, C };

struct Alias {
  std::string_view words; // lower case; a space stands for a space, an underscore or a hyphen
  Quantity quantity;
  Basis basis = Basis::None;
};

// The names laboratories use, longest first where one begins another
// ("nitrate as n" before "nitrate", "carbonate" before "ca"): the longest
// match wins, so the order here does not matter.
constexpr Alias kAliases[] = {
    {"sample", Quantity::Sample},
    {"sample name", Quantity::Sample},
    {"ph", Quantity::PH},
    {"pco2", Quantity::PCO2},
    {"alkalinity", Quantity::Alkalinity},
    {"total alkalinity", Quantity::Alkalinity},
    {"alk", Quantity::Alkalinity},
    {"alkalinity as caco3", Quantity::Alkalinity, Basis::CaCO3},
    {"alkalinity as hco3", Quantity::Alkalinity, Basis::HCO3},
    {"hco3", Quantity::HCO3},
    {"bicarbonate", Quantity::HCO3},
    {"co3", Quantity::CO3},
    {"carbonate", Quantity::CO3},
    {"na", Quantity::Na},
    {"sodium", Quantity::Na},
    {"k", Quantity::K},
    {"potassium", Quantity::K},
    {"ca", Quantity::Ca},
    {"calcium", Quantity::Ca},
    {"mg", Quantity::Mg},
    {"magnesium", Quantity::Mg},
    {"cl", Quantity::Cl},
    {"chloride", Quantity::Cl},
    {"no3", Quantity::NO3},
    {"nitrate", Quantity::NO3},
    {"no3 n", Quantity::NO3, Basis::N},
    {"no3 as n", Quantity::NO3, Basis::N},
    {"nitrate n", Quantity::NO3, Basis::N},
    {"nitrate as n", Quantity::NO3, Basis::N},
    {"so4", Quantity::SO4},
    {"sulfate", Quantity::SO4},
    {"sulphate", Quantity::SO4},
    {"temperature", Quantity::Temperature},
    {"temp", Quantity::Temperature},
    {"water temperature", Quantity::Temperature},
    {"dic", Quantity::DIC},
    {"dic as c", Quantity::DIC, Basis::C},
    {"dissolved inorganic carbon", Quantity::DIC},
    {"evaluation temperature", Quantity::EvaluationTemperature},
    {"evaluation temp", Quantity::EvaluationTemperature},
};

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// The length of name's beginning that spells the alias, or nothing.
std::optional<std::size_t> Spells(std::string_view name, std::string_view words) {
  if (name.size() < words.size()) return std::nullopt;
  for (std::size_t i = 0; i < words.size(); ++i) {
    const char c = Lower(name[i]);
    if (words[i] == ' ' ? (c != ' ' && c != '_' && c != '-') : c != words[i]) return std::nullopt;
  }
  return words.size();
}

// A charge written after an ion's name ("Ca2+", "Na+", "SO4 2-", "SO4--"):
// the length to skip, 0 when there is none.
std::size_t ChargeLength(std::string_view rest) {
  std::size_t i = 0;
  if (i < rest.size() && rest[i] == ' ') ++i;
  if (i < rest.size() && rest[i] >= '1' && rest[i] <= '9') ++i;
  const std::size_t signs = i;
  while (i < rest.size() && i - signs < 2 && (rest[i] == '+' || rest[i] == '-')) ++i;
  if (i == signs) return 0;
  if (i < rest.size() && rest[i] >= '1' && rest[i] <= '9') ++i;
  if (i == rest.size() || rest[i] == ' ' || rest[i] == '(' || rest[i] == '[' || rest[i] == '_') return i;
  return 0;
}

// The unit text after a name: "_mg_L" (canonical), " (mg/L)", " [mg/l]",
// "(mg/L)", " mg/L"; "" when nothing follows. Nothing when the rest does not
// begin like a unit, so that the name is another word ("Nature", "Cation sum").
std::optional<std::string_view> UnitText(std::string_view rest) {
  if (rest.empty()) return rest;
  if (rest.front() == '_') return rest.substr(1);
  if (rest.front() != ' ' && rest.front() != '(' && rest.front() != '[') return std::nullopt;
  while (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
  const char close = rest.empty() ? 0 : rest.front() == '(' ? ')' : rest.front() == '[' ? ']' : 0;
  if (close != 0 && rest.back() == close && rest.find(close) == rest.size() - 1) return rest.substr(1, rest.size() - 2);
  return rest; // a unit after a space, or something that no unit reading will accept
}

// A unit as lower-case words: "mg/L as CaCO3" -> mg l caco3 ("as" dropped);
// degree signs go ("°C", "degC", "deg C", "℃" -> c), "L-1" is "l".
std::vector<std::string> UnitWords(std::string_view text) {
  std::string flat;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == 0xC2 && i + 1 < text.size() && (text[i + 1] == '\xB0' || text[i + 1] == '\xBA')) {
      ++i; // ° or º
    } else if (c == 0xC2 && i + 1 < text.size() && text[i + 1] == '\xB7') {
      flat += ' ', ++i; // the middle dot of "mg·L-1"
    } else if (text.substr(i, 3) == "\xE2\x84\x83") {
      flat += 'c', i += 2; // ℃
    } else {
      flat += c == '_' || c == '/' || c == '\t' ? ' ' : Lower(static_cast<char>(c));
    }
  }
  std::vector<std::string> words;
  for (std::size_t start = 0; (start = flat.find_first_not_of(' ', start)) != std::string::npos;) {
    const std::size_t end = std::min(flat.find(' ', start), flat.size());
    std::string_view word = std::string_view(flat).substr(start, end - start);
    start = end;
    if (word == "l-1" || word == "l^-1" || word == "liter" || word == "litre") word = "l";
    if (word == "degc") word = "c";
    if (word == "as" || word == "deg" || word == "degrees") continue;
    words.emplace_back(word);
  }
  return words;
}

// The unit a quantity's column gives, from the alias's basis and the unit's words.
Spelling Read(Quantity q, Basis basis, std::string_view unitText) {
  Spelling s{q, ColumnUnit::None, Spelling::Problem::None};
  std::vector<std::string> words = UnitWords(unitText);
  if (words.empty()) return s.problem = Spelling::Problem::NoUnit, s;
  const auto unknown = [&s] { return s.problem = Spelling::Problem::UnknownUnit, s; };
  if (q == Quantity::PCO2) return words == std::vector<std::string>{"atm"} ? s : unknown();
  if (q == Quantity::Temperature || q == Quantity::EvaluationTemperature)
    return words == std::vector<std::string>{"c"} ? s : unknown();
  // The basis may stand in the unit instead of the name; only one may be given.
  for (auto [word, b] : {std::pair{"n", Basis::N}, {"caco3", Basis::CaCO3}, {"hco3", Basis::HCO3}, {"c", Basis::C}}) {
    const auto at = std::find(words.begin(), words.end(), word);
    if (at == words.end()) continue;
    if (basis != Basis::None && basis != b) return unknown();
    basis = b;
    words.erase(at);
  }
  if (words.size() != 2 || words[1] != "l") return unknown();
  const std::string& amount = words[0];
  if (q == Quantity::DIC) { // carbon: mmol/L, or mg/L as C
    if (amount == "mmol" && basis == Basis::None) return s.unit = ColumnUnit::MmolPerL, s;
    return amount == "mg" && basis == Basis::C ? (s.unit = ColumnUnit::MgPerLAsC, s) : unknown();
  }
  if (q == Quantity::Alkalinity) {
    if (amount == "meq") return s.unit = ColumnUnit::MeqPerL, s; // equivalents whatever they are reported as
    if (amount != "mg" || basis == Basis::None || basis == Basis::N) return unknown();
    return s.unit = basis == Basis::CaCO3 ? ColumnUnit::MgPerLAsCaCO3 : ColumnUnit::MgPerLAsHCO3, s;
  }
  if (basis != Basis::None && !(q == Quantity::NO3 && basis == Basis::N)) return unknown();
  if (amount == "mmol") return s.unit = ColumnUnit::MmolPerL, s; // mmol of N is mmol of nitrate
  if (amount == "meq") return s.unit = ColumnUnit::MeqPerL, s;
  if (amount == "mg") return s.unit = basis == Basis::N ? ColumnUnit::MgPerLAsN : ColumnUnit::MgPerL, s;
  return unknown();
}

} // namespace

Spelling RecogniseColumn(std::string_view name) {
  while (!name.empty() && (name.front() == ' ' || name.front() == '\t')) name.remove_prefix(1);
  while (!name.empty() && (name.back() == ' ' || name.back() == '\t')) name.remove_suffix(1);
  const Alias* best = nullptr;
  std::string_view unit;
  for (const Alias& alias : kAliases) {
    const std::optional<std::size_t> length = Spells(name, alias.words);
    if (!length || (best != nullptr && best->words.size() >= alias.words.size())) continue;
    std::string_view rest = name.substr(*length);
    const bool ion = alias.quantity >= Quantity::HCO3 && alias.quantity <= Quantity::SO4;
    if (ion) rest.remove_prefix(ChargeLength(rest));
    const std::optional<std::string_view> text = UnitText(rest);
    if (!text) continue;
    const bool unitless = alias.quantity == Quantity::Sample || alias.quantity == Quantity::PH;
    if (unitless && !rest.empty()) continue; // "pH (field)", "sample_id": extra columns
    best = &alias;
    unit = *text;
  }
  if (best == nullptr) return {};
  if (best->quantity == Quantity::Sample || best->quantity == Quantity::PH) return {best->quantity};
  return Read(best->quantity, best->basis, unit);
}

} // namespace vontralek::table
