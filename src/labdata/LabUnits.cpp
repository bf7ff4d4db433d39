#include "labdata/LabUnits.h"

#include <array>
#include <charconv>
#include <cmath>
#include <utility>

#include "common/Words.h"

namespace vontralek::labdata {
namespace {

std::string_view Trim(std::string_view text) {
  const auto space = [](char c) { return c == ' ' || c == '\t'; };
  while (!text.empty() && space(text.front())) text.remove_prefix(1);
  while (!text.empty() && space(text.back())) text.remove_suffix(1);
  return text;
}

// The text in double quotes, for messages. (Built by appending: GCC 12 warns
// falsely about "\"" + std::string.)
std::string Quote(std::string_view text) {
  std::string quoted(1, '"');
  quoted.append(text);
  quoted += '"';
  return quoted;
}

template <typename Enum, std::size_t N> using Names = std::array<std::pair<Enum, std::string_view>, N>;

constexpr Names<IonUnit, 3> kIonUnits{
    {{IonUnit::MmolPerL, "mmol/L"}, {IonUnit::MgPerL, "mg/L"}, {IonUnit::MeqPerL, "meq/L"}}};
constexpr Names<AlkalinityUnit, 3> kAlkalinityUnits{{{AlkalinityUnit::MeqPerL, "meq/L"},
                                                     {AlkalinityUnit::MgPerLAsCaCO3, "mg/L as CaCO3"},
                                                     {AlkalinityUnit::MgPerLAsHCO3, "mg/L as HCO3"}}};
constexpr Names<BelowLimitPolicy, 4> kPolicies{{{BelowLimitPolicy::Stop, "stop"},
                                                {BelowLimitPolicy::Zero, "zero"},
                                                {BelowLimitPolicy::Half, "half"},
                                                {BelowLimitPolicy::Limit, "limit"}}};

template <typename Enum, std::size_t N> std::string Allowed(const Names<Enum, N>& names) {
  std::string list;
  for (std::size_t i = 0; i < N; ++i) {
    list += i == 0 ? "\"" : i + 1 == N ? " or \"" : ", \"";
    list += names[i].second;
    list += '"';
  }
  return list;
}

// Empty text is the first (default) value; otherwise one of the names.
template <typename Enum, std::size_t N>
Enum Parse(std::string_view text, const Names<Enum, N>& names, std::string_view what) {
  const std::string_view t = Trim(text);
  if (t.empty()) return names[0].first;
  for (const auto& [value, name] : names)
    if (SameWord(t, name)) return value;
  throw LabDataError(Problem::BadSetting, Quote(text) + " is not a " + std::string(what) + ": use " + Allowed(names) +
                                              " (empty means \"" + std::string(names[0].second) + "\")");
}

template <typename Enum, std::size_t N> std::string_view Name(Enum value, const Names<Enum, N>& names) {
  for (const auto& [v, name] : names)
    if (v == value) return name;
  return {};
}

enum class NumberProblem { None, Malformed, OutOfRange };

// from_chars reads numbers in the "C" locale's form whatever the process
// locale; the whole text must be the number.
NumberProblem ReadNumber(std::string_view t, double& value) {
  if (t.size() > 1 && t[0] == '+' && t[1] != '-') t.remove_prefix(1);
  if (t.empty()) return NumberProblem::Malformed;
  const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), value, std::chars_format::general);
  if (ec == std::errc::result_out_of_range) return NumberProblem::OutOfRange;
  if (ec != std::errc() || end != t.data() + t.size()) return NumberProblem::Malformed;
  if (!std::isfinite(value)) return NumberProblem::Malformed; // "inf", "nan"
  return NumberProblem::None;
}

} // namespace

IonUnit ParseIonUnit(std::string_view text) { return Parse(text, kIonUnits, "unit for the ions"); }
AlkalinityUnit ParseAlkalinityUnit(std::string_view text) {
  return Parse(text, kAlkalinityUnits, "unit for the alkalinity");
}
BelowLimitPolicy ParseBelowLimitPolicy(std::string_view text) {
  return Parse(text, kPolicies, "rule for values below the detection limit");
}
std::string_view ToText(IonUnit unit) { return Name(unit, kIonUnits); }
std::string_view ToText(AlkalinityUnit unit) { return Name(unit, kAlkalinityUnits); }
std::string_view ToText(BelowLimitPolicy policy) { return Name(policy, kPolicies); }
std::string AllowedIonUnits() { return Allowed(kIonUnits); }
std::string AllowedAlkalinityUnits() { return Allowed(kAlkalinityUnits); }
std::string AllowedBelowLimitPolicies() { return Allowed(kPolicies); }

double ParseNumber(std::string_view text) {
  double value = 0;
  switch (ReadNumber(Trim(text), value)) {
  case NumberProblem::None:
    return value;
  case NumberProblem::OutOfRange:
    throw LabDataError(Problem::NotANumber, Quote(text) + " is beyond the range of numbers");
  case NumberProblem::Malformed:
    break;
  }
  throw LabDataError(Problem::NotANumber, Quote(text) + " is not a number (write decimals with a point, e.g. 0.25)");
}

bool IsCensored(std::string_view text) {
  const std::string_view t = Trim(text);
  return !t.empty() && t.front() == '<';
}

double CensoredValue(std::string_view text, BelowLimitPolicy policy) {
  const std::string quoted = Quote(text);
  if (!IsCensored(text) || policy == BelowLimitPolicy::Stop)
    throw LabDataError(Problem::NotANumber, quoted + " is not a number; a value below the detection limit "
                                                     "counts only with the rule \"zero\", \"half\" or \"limit\"");
  const std::string_view x = Trim(Trim(text).substr(1));
  if (x.empty()) throw LabDataError(Problem::BadDetectionLimit, quoted + " gives no detection limit after \"<\"");
  double limit = 0;
  switch (ReadNumber(x, limit)) {
  case NumberProblem::OutOfRange:
    throw LabDataError(Problem::BadDetectionLimit, quoted + ": the detection limit is beyond the range of numbers");
  case NumberProblem::Malformed:
    throw LabDataError(Problem::BadDetectionLimit,
                       quoted + ": " + Quote(x) + " is not a number (write decimals with a point)");
  case NumberProblem::None:
    break;
  }
  if (limit < 0) throw LabDataError(Problem::BadDetectionLimit, quoted + ": a detection limit cannot be negative");
  switch (policy) {
  case BelowLimitPolicy::Zero:
    return 0.0;
  case BelowLimitPolicy::Half:
    return limit / 2;
  default:
    return limit;
  }
}

void CheckMolarMass(double gramsPerMol) {
  if (std::isnan(gramsPerMol) || gramsPerMol <= 0 || std::isinf(gramsPerMol))
    throw LabDataError(Problem::BadMolarMass, "a conversion from mg/L needs a positive molar mass in g/mol");
}

double IonToMolPerL(double value, IonUnit unit, double molarMass, double charge) {
  switch (unit) {
  case IonUnit::MgPerL:
    CheckMolarMass(molarMass);
    return value / molarMass / 1000.0;
  case IonUnit::MeqPerL:
    if (charge == 0 || std::isnan(charge))
      throw LabDataError(Problem::BadCharge, "meq/L needs the species' charge, and it is 0");
    return value / std::fabs(charge) / 1000.0;
  default:
    return value / 1000.0;
  }
}

double AlkalinityToEqPerL(double value, AlkalinityUnit unit, double molarMassCaCO3, double molarMassHCO3) {
  switch (unit) {
  case AlkalinityUnit::MgPerLAsCaCO3:
    CheckMolarMass(molarMassCaCO3);
    return value / (molarMassCaCO3 / 2) / 1000.0;
  case AlkalinityUnit::MgPerLAsHCO3:
    CheckMolarMass(molarMassHCO3);
    return value / molarMassHCO3 / 1000.0;
  default:
    return value / 1000.0;
  }
}

} // namespace vontralek::labdata
