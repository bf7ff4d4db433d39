#include <cfenv>
#include <cmath>

#include <gtest/gtest.h>

#include "model/Errors.h"
#include "speciation/Speciation.h"

namespace vontralek {
namespace {

// Reference values: the Davies equation and the neutral-entry polynomials
// evaluated by hand (6 significant digits, hence the tolerance).
constexpr double kTol = 1e-6;

TEST(ActivityCoefficient, EveryBranchIsOneAtZeroIonicStrength) {
  // log g = 0 in every formula at I = 0.
  for (double z : {1.0, -1.0, 2.0, -2.0, 0.0}) {
    for (std::int16_t row : {1, 12, 14, 15, 24}) {
      EXPECT_EQ(ComputeActivityCoefficient(0.0, z, false, row), 1.0);
      EXPECT_EQ(ComputeActivityCoefficient(0.0, z, true, row), 1.0);
    }
  }
}

TEST(ActivityCoefficient, DaviesForChargedEntries) {
  // sqrt(0.1) = 0.316228; s = 0.316228 / 1.316228 - 0.03 = 0.210253;
  // log g = -0.512 z^2 s = -0.107650 (|z| = 1), -0.430598 (|z| = 2).
  for (bool isComplex : {false, true}) {
    for (double z : {1.0, -1.0}) {
      const double g = ComputeActivityCoefficient(0.1, z, isComplex, 3);
      EXPECT_NEAR(g, 0.780460, kTol);
      EXPECT_NEAR(std::log10(g), -0.107650, kTol);
    }
    for (double z : {2.0, -2.0}) {
      const double g = ComputeActivityCoefficient(0.1, z, isComplex, 15); // row rule is for neutral entries only
      EXPECT_NEAR(g, 0.371024, kTol);
      EXPECT_NEAR(std::log10(g), -0.430598, kTol);
    }
  }
  // I = 0.01: s = 0.1 / 1.1 - 0.003 = 0.0879091, log g = -0.0450095.
  EXPECT_NEAR(ComputeActivityCoefficient(0.01, 1.0, false, 1), 0.901552, kTol);
}

TEST(ActivityCoefficient, NeutralSpeciesSaltOutWhateverTheRow) {
  // log g = 0.1 x 0.5 = 0.05.
  for (std::int16_t row = 1; row <= 24; ++row) {
    EXPECT_NEAR(ComputeActivityCoefficient(0.5, 0.0, false, row), 1.122018, kTol) << "row " << row;
  }
}

TEST(ActivityCoefficient, NeutralComplexesFollowTheirRowRule) {
  // Rows 15, 16, 23, 24: 0.033 x 0.25 - 0.3 x 0.5 = -0.14175.
  for (std::int16_t row : {15, 16, 23, 24}) {
    const double g = ComputeActivityCoefficient(0.5, 0.0, true, row);
    EXPECT_NEAR(g, 0.721523, kTol) << "row " << row;
    EXPECT_NEAR(std::log10(g), -0.14175, 1e-12) << "row " << row;
  }
  // Other rows: t = 0.5 / 31.4064 = 0.0159203; (t - 0.0319 x 0.25) x -11.7021 =
  // -0.0929770; minus 0.044 x 0.125 gives log g = -0.0984770.
  for (std::int16_t row : {1, 14, 17, 22}) {
    const double g = ComputeActivityCoefficient(0.5, 0.0, true, row);
    EXPECT_NEAR(g, 0.797119, kTol) << "row " << row;
    EXPECT_NEAR(std::log10(g), -0.098477, kTol) << "row " << row;
  }
}

TEST(ActivityCoefficient, OnlyAnExactZeroChargeIsNeutral) {
  // A tiny charge takes the Davies branch: g is 1 to the last digit at a
  // normal ionic strength, and a negative ionic strength is then an invalid
  // square root, which the neutral formula would not take.
  EXPECT_NEAR(ComputeActivityCoefficient(0.1, 1e-12, false, 12), 1.0, 1e-15);
  EXPECT_NO_THROW(ComputeActivityCoefficient(-0.01, 0.0, false, 12));
  EXPECT_THROW(ComputeActivityCoefficient(-0.01, 1e-12, false, 12), ArithmeticFault);
}

TEST(ActivityCoefficient, NegativeIonicStrengthIsATypedFault) {
  try {
    ComputeActivityCoefficient(-0.02, -2.0, true, 13);
    FAIL() << "expected ArithmeticFault";
  } catch (const ArithmeticFault& fault) {
    const std::string message = fault.what();
    EXPECT_NE(message.find("invalid operation while computing the activity coefficient of complex row 13"),
              std::string::npos)
        << message;
    EXPECT_NE(message.find("ionic strength is negative"), std::string::npos) << message;
  }
}

TEST(ActivityCoefficient, LeavesTheCallersStatusFlagsAsTheyWere) {
  std::feclearexcept(FE_ALL_EXCEPT);
  std::feraiseexcept(FE_DIVBYZERO);
  // A flag the caller had raised is neither taken for a fault nor cleared.
  EXPECT_NO_THROW(ComputeActivityCoefficient(0.1, 1.0, false, 3));
  EXPECT_TRUE(std::fetestexcept(FE_DIVBYZERO));
  std::feclearexcept(FE_ALL_EXCEPT);
  EXPECT_THROW(ComputeActivityCoefficient(-1.0, 1.0, false, 3), ArithmeticFault);
  EXPECT_FALSE(std::fetestexcept(FE_INVALID));
}

TEST(MachineEpsilon, IsTwoToTheMinus53) {
  ModelState state;
  ComputeMachineEpsilon(state);
  EXPECT_EQ(state.MachineEpsilon, 1.1102230246251565e-16);
  EXPECT_EQ(state.MachineEpsilon, std::ldexp(1.0, -53));
  EXPECT_EQ(1.0 + state.MachineEpsilon, 1.0);
  EXPECT_GT(1.0 + 2 * state.MachineEpsilon, 1.0);
}

} // namespace
} // namespace vontralek
