#pragma once

// The one place where a value as a laboratory reports it becomes a value in
// the model's units: mol/L for the ions, eq/L for the alkalinity.
//
// Errors are LabDataError with a message that says what is wrong and what is
// allowed, without a location: the caller knows the cell, column or row and
// turns it into its own typed error, naming the place.

#include <stdexcept>
#include <string>
#include <string_view>

namespace vontralek::labdata {

// What went wrong, so that callers can pick their error type: a censored value
// under the "stop" policy is the same type mismatch as any other text.
enum class Problem {
  BadSetting,        // a setting text that is not one of the allowed values
  NotANumber,        // text that is not a number (and not an allowed "<x" value)
  BadDetectionLimit, // "<x" with x missing, negative, not finite or not a number
  BadMolarMass,      // a conversion needs a molar mass that is missing or not positive
  BadCharge,         // meq/L needs a nonzero charge
};

class LabDataError : public std::runtime_error {
public:
  LabDataError(Problem problem, const std::string& message) : std::runtime_error(message), problem_(problem) {}
  Problem problem() const { return problem_; }

private:
  Problem problem_;
};

// The unit of the ion cells (and, with bicarbonate and carbonate given, of
// those two cells).
enum class IonUnit { MmolPerL, MgPerL, MeqPerL };
// The unit of the alkalinity cell.
enum class AlkalinityUnit { MeqPerL, MgPerLAsCaCO3, MgPerLAsHCO3 };
// What a value below the detection limit ("<x") counts as.
enum class BelowLimitPolicy { Stop, Zero, Half, Limit };

// The settings' texts: "mmol/L", "mg/L", "meq/L"; "meq/L", "mg/L as CaCO3",
// "mg/L as HCO3"; "stop", "zero", "half", "limit", matched as every typed
// choice is (common/Words.h: letter case, surrounding spaces, and spaces,
// hyphens or underscores between words do not matter); an empty text gives
// the first (default) value. Any
// other text throws BadSetting listing the allowed values.
IonUnit ParseIonUnit(std::string_view text);
AlkalinityUnit ParseAlkalinityUnit(std::string_view text);
BelowLimitPolicy ParseBelowLimitPolicy(std::string_view text);
std::string_view ToText(IonUnit unit);
std::string_view ToText(AlkalinityUnit unit);
std::string_view ToText(BelowLimitPolicy policy);
// The allowed texts joined for messages and help, e.g. "mmol/L", "mg/L" or "meq/L".
std::string AllowedIonUnits();
std::string AllowedAlkalinityUnits();
std::string AllowedBelowLimitPolicies();

// A decimal number in text, independent of the locale (decimal point "."):
// optional leading "-", digits, fraction, exponent; surrounding spaces ignored.
// Throws NotANumber for anything else (a decimal comma, "inf", "nan", hex) and
// for a value beyond the range of a double.
double ParseNumber(std::string_view text);

// True when the text, without surrounding spaces, starts with "<": a value
// reported below the detection limit.
bool IsCensored(std::string_view text);

// A cell "<x", spaces allowed after "<", counted in the ion unit as the policy
// says: 0, x/2 or x. Under Stop it throws NotANumber (a type mismatch as for
// any other text). A missing x, a negative, non-finite or malformed x throws
// BadDetectionLimit with the reason.
double CensoredValue(std::string_view text, BelowLimitPolicy policy);

// Molar masses in g/mol must be finite and positive; throws BadMolarMass.
void CheckMolarMass(double gramsPerMol);

// An ion concentration in the ion unit to mol/L:
//   mmol/L: value / 1000 (the workbook's conversion, bit for bit);
//   mg/L:   (value / M) / 1000, M the molar mass in g/mol: first mmol/L, then
//           the same division by 1000 as for mmol/L;
//   meq/L:  (value / |z|) / 1000, z the species' charge.
// M is used (and checked) only for mg/L, z only for meq/L (BadCharge if 0).
double IonToMolPerL(double value, IonUnit unit, double molarMass, double charge);

// An alkalinity in its unit to eq/L:
//   meq/L:         value / 1000 (bit for bit as before);
//   mg/L as CaCO3: (value / (M(CaCO3) / 2)) / 1000, CaCO3 taking up two equivalents;
//   mg/L as HCO3:  (value / M(HCO3-)) / 1000, one equivalent per mole.
// Only the molar mass the unit needs is used and checked.
double AlkalinityToEqPerL(double value, AlkalinityUnit unit, double molarMassCaCO3, double molarMassHCO3);

} // namespace vontralek::labdata
