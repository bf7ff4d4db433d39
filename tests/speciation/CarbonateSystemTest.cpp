#include <cmath>

#include <gtest/gtest.h>

#include "StateCompare.h"
#include "model/Errors.h"
#include "speciation/Speciation.h"

namespace vontralek {
namespace {

using testdata::FirstDifference;

// Conditional constants of a fresh water near 25 C (log KH' -1.47, log Kw'
// -14, log K1' -6.35, log K2' -10.33) and an H+ activity coefficient of 0.9.
class CarbonateSystem : public ::testing::Test {
protected:
  void SetUp() override {
    state.ConstantTable[1].ConditionalK = KH;
    state.ConstantTable[2].ConditionalK = Kw;
    state.ConstantTable[3].ConditionalK = K1;
    state.ConstantTable[4].ConditionalK = K2;
    state.SpeciesTable[1].Gamma = 0.9;
  }
  double H() const { return state.SpeciesTable[1].TotalConc; }
  double B() const { return state.SpeciesTable[10].TotalConc; }
  double C() const { return state.SpeciesTable[11].TotalConc; }

  const double KH = std::pow(10.0, -1.47), Kw = 1e-14, K1 = std::pow(10.0, -6.35), K2 = std::pow(10.0, -10.33);
  ModelState state;
};

TEST_F(CarbonateSystem, AlkalinityAndPHCloseTheAlkalinityBalance) {
  state.InputPair = std::string("A");
  for (double pH : {5.5, 7.0, 8.3, 10.5}) {
    state.PH = pH;
    state.Alkalinity = 2e-3;
    SolveCarbonateSystem(state);
    EXPECT_DOUBLE_EQ(H(), std::pow(10.0, -pH) / 0.9);
    // Alk = [HCO3-] + 2 [CO3 2-] + [OH-] - [H+], all in concentrations.
    EXPECT_NEAR(B() + 2 * C() + Kw / H() - H(), 2e-3, 2e-3 * 1e-12) << "pH " << pH;
    // The mass-action laws: B = K1' KH' pCO2 / H, C = K2' B / H.
    EXPECT_NEAR(B() * H() / (K1 * KH), state.PCO2, std::fabs(state.PCO2) * 1e-12);
    EXPECT_NEAR(C() * H() / (K2 * B()), 1.0, 1e-12);
    EXPECT_EQ(state.PH, pH); // the given pH is never rewritten
  }
}

TEST_F(CarbonateSystem, AlkalinityBelowTheHydroxideGivesNegativeCarbonateNotAFault) {
  state.InputPair = std::string("A");
  state.PH = 11.0; // [OH-] ~ 1.1e-3 eq/L exceeds the alkalinity
  state.Alkalinity = 5e-4;
  EXPECT_NO_THROW(SolveCarbonateSystem(state));
  EXPECT_LT(state.PCO2, 0.0);
  EXPECT_LT(B(), 0.0);
  EXPECT_LT(C(), 0.0);
}

TEST_F(CarbonateSystem, AlkalinityAndPCO2SolveTheBalanceWithoutTheHydrogenTerm) {
  state.InputPair = std::string("B");
  state.PCO2 = std::pow(10.0, -3.5);
  for (double alk : {1e-4, 2e-3, 5e-2}) {
    state.Alkalinity = alk;
    SolveCarbonateSystem(state);
    // Alk = B + 2C + Kw'/H: the balance the positive root solves.
    EXPECT_NEAR(B() + 2 * C() + Kw / H(), alk, alk * 1e-12) << "alk " << alk;
    EXPECT_NEAR(B() * H() / (K1 * KH), state.PCO2, state.PCO2 * 1e-12);
    EXPECT_NEAR(C() * H() / (K2 * B()), 1.0, 1e-12);
  }
}

TEST_F(CarbonateSystem, ZeroOrNegativeAlkalinityLeavesOutTheCarbonateTerm) {
  state.InputPair = std::string("B");
  state.PCO2 = 0.01;
  const double S = K1 * KH * 0.01 + Kw;
  state.Alkalinity = 0.0;
  SolveCarbonateSystem(state);
  EXPECT_NEAR(H(), std::sqrt(S), std::sqrt(S) * 1e-15); // H^2 = S
  state.Alkalinity = -1e-4;                             // more acid than the CO2 equivalence point
  SolveCarbonateSystem(state);
  // Alk = B + Kw'/H - H with B = K1' KH' P / H.
  EXPECT_NEAR(B() + Kw / H() - H(), -1e-4, 1e-4 * 1e-12);
}

TEST_F(CarbonateSystem, BicarbonateAndCarbonateStayAsGiven) {
  state.InputPair = std::string("C");
  state.SpeciesTable[10].TotalConc = 3e-3;
  state.SpeciesTable[11].TotalConc = 2e-5;
  SolveCarbonateSystem(state);
  EXPECT_EQ(B(), 3e-3);
  EXPECT_EQ(C(), 2e-5);
  EXPECT_NEAR(H(), K2 * 3e-3 / 2e-5, H() * 1e-15);
  EXPECT_NEAR(state.PCO2, 3e-3 * H() / (K1 * KH), state.PCO2 * 1e-15);
}

TEST_F(CarbonateSystem, AnyOtherPairCodeComputesNothing) {
  state.SpeciesTable[1].TotalConc = 1e-7;
  state.SpeciesTable[10].TotalConc = 1e-3;
  state.SpeciesTable[11].TotalConc = 1e-5;
  state.PCO2 = 1e-3;
  for (const char* pair : {"", "a", "D", "AB"}) {
    state.InputPair = std::string(pair);
    const ModelState before = state;
    SolveCarbonateSystem(state);
    EXPECT_EQ(FirstDifference(state, before), "") << "pair '" << pair << "'";
  }
}

TEST_F(CarbonateSystem, ZeroCarbonateIsAFaultThatChangesNothing) {
  state.InputPair = std::string("C");
  state.SpeciesTable[1].TotalConc = 4e-8; // from an earlier pass
  state.SpeciesTable[10].TotalConc = 3e-3;
  state.SpeciesTable[11].TotalConc = 0.0;
  const ModelState before = state;
  try {
    SolveCarbonateSystem(state);
    FAIL() << "expected ArithmeticFault";
  } catch (const ArithmeticFault& fault) {
    EXPECT_EQ(std::string(fault.what())
                  .rfind("division by zero while closing the carbonate system from bicarbonate "
                         "and carbonate: the carbonate concentration is 0",
                         0),
              0u)
        << fault.what();
  }
  EXPECT_EQ(FirstDifference(state, before), "");
}

TEST_F(CarbonateSystem, AnAbsentConstantIsNamedWhenPairADividesByIt) {
  state.InputPair = std::string("A");
  state.PH = 7.0;
  state.Alkalinity = 1e-3;
  for (int row : {1, 3}) {
    SetUp();
    state.ConstantTable[row].ConditionalK = 0.0; // K is 0 when LogK is 0
    try {
      SolveCarbonateSystem(state);
      FAIL() << "expected ArithmeticFault";
    } catch (const ArithmeticFault& fault) {
      const std::string message = fault.what();
      EXPECT_NE(message.find("division by zero while closing the carbonate system from alkalinity and pH"),
                std::string::npos)
          << message;
      EXPECT_NE(message.find("equilibrium constant " + std::to_string(row) + ")"), std::string::npos) << message;
    }
  }
}

} // namespace
} // namespace vontralek
