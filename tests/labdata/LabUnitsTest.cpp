#include <limits>
#include <sstream>
#include <string>

#include <gmock/gmock.h>

#include "labdata/LabUnits.h"
#include "labdata/MolarMasses.h"

namespace vontralek::labdata {
namespace {

using ::testing::AllOf, ::testing::HasSubstr;

// Runs f, expects a LabDataError of the given kind, returns its message.
template <typename F> std::string ErrorOf(F f, Problem expected) {
  try {
    f();
  } catch (const LabDataError& e) {
    EXPECT_EQ(e.problem(), expected) << e.what();
    return e.what();
  }
  ADD_FAILURE() << "no error";
  return {};
}

TEST(LabSettings, TextsAreReadWithoutRegardToCaseAndSpacesAndBadOnesListTheAllowed) {
  EXPECT_EQ(std::tuple(ParseIonUnit(""), ParseIonUnit("  MG/l "), ParseBelowLimitPolicy("")),
            std::tuple(IonUnit::MmolPerL, IonUnit::MgPerL, BelowLimitPolicy::Stop));
  EXPECT_EQ(std::vector({ParseAlkalinityUnit(" "), ParseAlkalinityUnit("mg/L as caco3"),
                         ParseAlkalinityUnit("mg/L as HCO3\t")}),
            std::vector({AlkalinityUnit::MeqPerL, AlkalinityUnit::MgPerLAsCaCO3, AlkalinityUnit::MgPerLAsHCO3}));
  for (auto p : {BelowLimitPolicy::Stop, BelowLimitPolicy::Zero, BelowLimitPolicy::Half, BelowLimitPolicy::Limit})
    EXPECT_EQ(ParseBelowLimitPolicy(std::string(" ").append(ToText(p))), p);

  EXPECT_THAT(ErrorOf([] { ParseIonUnit("ppm"); }, Problem::BadSetting),
              AllOf(HasSubstr("\"ppm\""), HasSubstr("\"mmol/L\", \"mg/L\" or \"meq/L\"")));
  EXPECT_THAT(ErrorOf([] { ParseAlkalinityUnit("mg/L"); }, Problem::BadSetting),
              HasSubstr("\"meq/L\", \"mg/L as CaCO3\" or \"mg/L as HCO3\""));
  EXPECT_THAT(ErrorOf([] { ParseBelowLimitPolicy("ignore"); }, Problem::BadSetting),
              HasSubstr("\"stop\", \"zero\", \"half\" or \"limit\""));
}

TEST(LabValues, NumbersAreReadInTheCLocaleOnly) {
  EXPECT_EQ(std::pair(ParseNumber(" 0.25 "), ParseNumber("-1.5e-3")), std::pair(0.25, -1.5e-3));
  for (const char* bad : {"0,25", "", "abc", "inf", "nan", "1.0x", "0x10", "+-1"})
    EXPECT_THAT(ErrorOf([bad] { ParseNumber(bad); }, Problem::NotANumber), HasSubstr("not a number")) << bad;
  EXPECT_THAT(ErrorOf([] { ParseNumber("1e999"); }, Problem::NotANumber), HasSubstr("beyond the range"));
}

TEST(LabValues, BelowTheDetectionLimitCountsAsThePolicySays) {
  EXPECT_EQ(std::tuple(CensoredValue("<0.1", BelowLimitPolicy::Zero), CensoredValue("< 0.1", BelowLimitPolicy::Half),
                       CensoredValue("<  0.1 ", BelowLimitPolicy::Limit)),
            std::tuple(0.0, 0.05, 0.1));
  // Under "stop" it is the same type mismatch as any text, even when malformed.
  for (const char* text : {"<0.1", "<"})
    EXPECT_THAT(ErrorOf([text] { CensoredValue(text, BelowLimitPolicy::Stop); }, Problem::NotANumber),
                HasSubstr("not a number"));
  const auto reason = [](const char* text) {
    return ErrorOf([text] { CensoredValue(text, BelowLimitPolicy::Half); }, Problem::BadDetectionLimit);
  };
  EXPECT_THAT(reason("<"), HasSubstr("no detection limit"));
  EXPECT_THAT(reason("<-1"), HasSubstr("cannot be negative"));
  EXPECT_THAT(reason("<1e999"), HasSubstr("beyond the range"));
  EXPECT_THAT(reason("<0,1"), HasSubstr("\"0,1\" is not a number"));
}

TEST(LabValues, ConversionsFollowTheUnitsHandArithmetic) {
  // mmol/L: the division by 1000 of before, bit for bit (0.1 / 1000 is 1e-4 to the bit).
  EXPECT_EQ(IonToMolPerL(0.1, IonUnit::MmolPerL, 0, 0), 1e-4);
  // 45.98 mg/L Na+ / 22.990 g/mol = 2 mmol/L; 4 meq/L Ca2+ / 2 = 2 mmol/L; SO4 2- 3 meq/L = 1.5 mmol/L.
  EXPECT_NEAR(IonToMolPerL(45.98, IonUnit::MgPerL, 22.990, 1), 2e-3, 1e-18);
  EXPECT_EQ(IonToMolPerL(4, IonUnit::MeqPerL, 0, 2), 2e-3);
  EXPECT_EQ(IonToMolPerL(3, IonUnit::MeqPerL, 0, -2), 1.5e-3);
  // Alkalinity: 100.086 mg/L as CaCO3 = 2 meq/L (CaCO3 takes two equivalents); 61.016 mg/L as HCO3 = 1 meq/L.
  EXPECT_EQ(AlkalinityToEqPerL(2.37541, AlkalinityUnit::MeqPerL, 0, 0), 0.00237541);
  EXPECT_NEAR(AlkalinityToEqPerL(100.086, AlkalinityUnit::MgPerLAsCaCO3, 100.086, 0), 2e-3, 1e-18);
  EXPECT_NEAR(AlkalinityToEqPerL(61.016, AlkalinityUnit::MgPerLAsHCO3, 0, 61.016), 1e-3, 1e-18);
  // Acid waters keep their negative alkalinity.
  EXPECT_LT(AlkalinityToEqPerL(-50.043, AlkalinityUnit::MgPerLAsCaCO3, 100.086, 0), 0);

  const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
  for (double m : {0.0, -22.99, nan, inf}) {
    ErrorOf([m] { IonToMolPerL(1, IonUnit::MgPerL, m, 1); }, Problem::BadMolarMass);
    ErrorOf([m] { AlkalinityToEqPerL(1, AlkalinityUnit::MgPerLAsHCO3, 100.086, m); }, Problem::BadMolarMass);
  }
  ErrorOf([] { IonToMolPerL(1, IonUnit::MeqPerL, 22.99, 0); }, Problem::BadCharge);
}

TEST(MolarMassTable, HoldsTheSumsOfTheIupacAtomicWeights) {
  // CIAAW 2021/2022 abridged: H 1.0080, C 12.011, N 14.007, O 15.999, Na 22.990, Mg 24.305, S 32.06, Cl 35.45,
  // K 39.098, Ca 40.078. By hand: OH 15.999 + 1.008 = 17.007; NO3 14.007 + 47.997 = 62.004;
  // SO4 32.06 + 63.996 = 96.056; HCO3 1.008 + 12.011 + 47.997 = 61.016; CO3 12.011 + 47.997 = 60.008;
  // CaCO3 40.078 + 60.008 = 100.086.
  const double expected[12] = {0,      1.0080, 17.007, 22.990, 39.098, 40.078,
                               24.305, 35.45,  62.004, 96.056, 61.016, 60.008};
  const MolarMasses m = LoadMolarMasses(std::string(VONTRALEK_DATA_DIR) + "/molar-masses.csv");
  for (int row = 1; row <= MolarMassSpeciesCount; ++row) EXPECT_EQ(m.species[row], expected[row]) << row;
  EXPECT_EQ(std::pair(m.CaCO3, m.Nitrogen), std::pair(100.086, 14.007));

  std::istringstream missing("species,c,comp,mass\nH+,B,H,1.008\n"), bad("h\nNa+,D,Na,-1\n");
  EXPECT_THAT(ErrorOf([&] { LoadMolarMasses(missing, "m.csv"); }, Problem::BadMolarMass), HasSubstr("OH-"));
  EXPECT_THAT(ErrorOf([&] { LoadMolarMasses(bad, "m.csv"); }, Problem::BadMolarMass), HasSubstr("m.csv line 2"));
}

} // namespace
} // namespace vontralek::labdata
