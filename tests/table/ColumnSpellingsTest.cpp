#include <string>
#include <tuple>

#include <gmock/gmock.h>

#include "table/ColumnSpellings.h"
#include "table/TextSafety.h"

namespace vontralek::table {
namespace {

using P = Spelling::Problem;
using Q = Quantity;
using U = ColumnUnit;

// Headers as laboratories write them and in the canonical form, with what each must be read as.
TEST(ColumnSpellings, LabAndCanonicalHeadersNameTheirQuantityAndUnit) {
  // clang-format off
  const std::tuple<const char*, Q, U, P> cases[] = {
      {"Ca (mg/L)", Q::Ca, U::MgPerL, P::None}, {"Ca [mg/l]", Q::Ca, U::MgPerL, P::None},
      {"Ca mg/L", Q::Ca, U::MgPerL, P::None}, {"ca_MG_l", Q::Ca, U::MgPerL, P::None},
      {"Calcium (mmol/L)", Q::Ca, U::MmolPerL, P::None}, {"Ca2+ (meq/L)", Q::Ca, U::MeqPerL, P::None},
      {"SO4 2- (mg L-1)", Q::SO4, U::MgPerL, P::None}, {"Sulphate(mg/L)", Q::SO4, U::MgPerL, P::None},
      {"Mg mg/L", Q::Mg, U::MgPerL, P::None}, {" Na+ (mg/L) ", Q::Na, U::MgPerL, P::None},
      {"Temp (°C)", Q::Temperature, U::None, P::None}, {"temperature_C", Q::Temperature, U::None, P::None},
      {"Water temperature [degC]", Q::Temperature, U::None, P::None}, {"Temp (°F)", Q::Temperature, U::None, P::UnknownUnit},
      {"Alkalinity (mg/L as CaCO3)", Q::Alkalinity, U::MgPerLAsCaCO3, P::None},
      {"Alkalinity as CaCO3 (mg/L)", Q::Alkalinity, U::MgPerLAsCaCO3, P::None},
      {"alkalinity_mg_L_as_HCO3", Q::Alkalinity, U::MgPerLAsHCO3, P::None}, {"Alk (meq/L)", Q::Alkalinity, U::MeqPerL, P::None},
      {"Alkalinity (mg/L)", Q::Alkalinity, U::None, P::UnknownUnit}, // as what?
      {"NO3 (mg/L as N)", Q::NO3, U::MgPerLAsN, P::None}, {"NO3-N (mg/L)", Q::NO3, U::MgPerLAsN, P::None},
      {"Nitrate as N [mg/l]", Q::NO3, U::MgPerLAsN, P::None}, {"NO3_mg_L_as_N", Q::NO3, U::MgPerLAsN, P::None},
      {"NO3 (mg/L)", Q::NO3, U::MgPerL, P::None}, {"Cl (mg/L as N)", Q::Cl, U::None, P::UnknownUnit},
      {"pCO2 (atm)", Q::PCO2, U::None, P::None}, {"HCO3 (mg/L)", Q::HCO3, U::MgPerL, P::None},
      {"Carbonate [mmol/L]", Q::CO3, U::MmolPerL, P::None},
      {"PH", Q::PH, U::None, P::None}, {"Sample name", Q::Sample, U::None, P::None}, {"sample", Q::Sample, U::None, P::None},
      // A known name with no unit or one it does not take is refused, never taken for an unmeasured ion.
      {"Na", Q::Na, U::None, P::NoUnit}, {"K ()", Q::K, U::None, P::NoUnit}, {"Ca (ppm)", Q::Ca, U::None, P::UnknownUnit},
      {"Ca (mg/L) filtered", Q::Ca, U::None, P::UnknownUnit},
      // Other words: extra columns.
      {"pH (field)", Q::Extra, U::None, P::None}, {"sample_id", Q::Extra, U::None, P::None},
      {"Nature", Q::Extra, U::None, P::None}, {"Cation sum (meq/L)", Q::Extra, U::None, P::None},
      {"Na/K ratio", Q::Extra, U::None, P::None}, {"mg/L", Q::Extra, U::None, P::None}};
  // clang-format on
  for (const auto& [name, quantity, unit, problem] : cases) {
    const Spelling s = RecogniseColumn(name);
    EXPECT_EQ(std::tuple(s.quantity, s.unit, s.problem), std::tuple(quantity, unit, problem)) << name;
  }
}

// Fields that a spreadsheet program would run as formulas get an apostrophe; numbers and other text do not.
TEST(TextSafety, FormulasAreDefusedNumbersAreNot) {
  std::string scratch;
  for (const char* formula : {"=HYPERLINK(\"x\")", "+cmd|' /C calc'!A0", "-2+3", "@SUM(A1)", "\tx", "\r=1", "-", "+"})
    EXPECT_EQ(SafeText(formula, scratch), std::string("'").append(formula)) << formula;
  for (const char* plain : {"-1.5", "+2", "-0,25", "-1e-3", "-7.5E+02 ", "SN2", "a=b", "", "<0.1", " =1"})
    EXPECT_EQ(SafeText(plain, scratch), plain);
  EXPECT_EQ(FindNul(std::string("ab\0c", 4)), 2u);
}

} // namespace
} // namespace vontralek::table
