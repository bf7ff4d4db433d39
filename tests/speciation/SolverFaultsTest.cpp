#include <cfenv>
#include <cmath>

#include <gtest/gtest.h>

#include "DefaultParameters.h"
#include "ReferenceSpeciation.h"
#include "StateCompare.h"
#include "model/Errors.h"
#include "speciation/Speciation.h"

namespace vontralek {
namespace {

using testdata::FirstDifference;

// Every floating-point fault a sample can lead to: a typed ArithmeticFault
// whose message names the step and the cause, the state exactly as it was
// before the solve, and the caller's status flags untouched.
class SolverFaults : public ::testing::Test {
protected:
  void SetUp() override {
    testdata::LoadDefaultParameters(state, VONTRALEK_DATA_DIR);
    ComputeMachineEpsilon(state);
    testdata::PutSample(state, testdata::LoadExampleWaters(VONTRALEK_DATA_DIR)[4]); // river water
  }

  // Solves, expecting a fault whose message contains every given text.
  void ExpectFault(std::initializer_list<std::string> texts) {
    const ModelState before = state;
    std::feclearexcept(FE_ALL_EXCEPT);
    std::feraiseexcept(FE_INEXACT);
    try {
      SolveSpeciation(state, weights);
      ADD_FAILURE() << "expected ArithmeticFault";
    } catch (const ArithmeticFault& fault) {
      const std::string message = fault.what();
      for (const std::string& text : texts) EXPECT_NE(message.find(text), std::string::npos) << message;
    }
    EXPECT_EQ(FirstDifference(state, before), "");
    EXPECT_EQ(std::fetestexcept(FE_ALL_EXCEPT), FE_INEXACT);
    EXPECT_EQ(weights.calls, 0);
  }

  ModelState state;
  testdata::FixedWeightedSum weights;
};

TEST_F(SolverFaults, NoInputPairLeavesHydrogenZero) {
  ExpectFault({"division by zero while computing hydroxide from the ion product of water",
               "hydrogen-ion concentration is 0", "no input pair was chosen"});
}

TEST_F(SolverFaults, PairCWithZeroCarbonate) {
  state.InputPair = std::string("C");
  state.SpeciesTable[10].TotalConc = 1e-3;
  state.SpeciesTable[11].TotalConc = 0.0;
  ExpectFault({"division by zero while closing the carbonate system from bicarbonate and carbonate: the carbonate "
               "concentration is 0"});
}

TEST_F(SolverFaults, PairCWithZeroBicarbonate) {
  state.InputPair = std::string("C");
  state.SpeciesTable[10].TotalConc = 0.0;
  state.SpeciesTable[11].TotalConc = 1e-5;
  ExpectFault({"division by zero while computing hydroxide", "the bicarbonate concentration is 0"});
}

TEST_F(SolverFaults, AbsentCarbonicAcidConstants) {
  // Row 3 absent: pair "A" divides by K1' KH' = 0.
  state.InputPair = std::string("A");
  state.ConstantTable[3].LogK = 0.0;
  ExpectFault({"division by zero while closing the carbonate system from alkalinity and pH",
               "LogK 0 for equilibrium constant 3"});
  // Row 4 absent: pair "C" gets H+ = K2' B / C = 0.
  SetUp();
  state.InputPair = std::string("C");
  state.SpeciesTable[10].TotalConc = 1e-3;
  state.SpeciesTable[11].TotalConc = 1e-5;
  state.ConstantTable[4].LogK = 0.0;
  ExpectFault({"division by zero while computing hydroxide", "LogK 0 for equilibrium constant 4"});
}

TEST_F(SolverFaults, LogKBeyondTheRangeOfADouble) {
  state.InputPair = std::string("A");
  state.ConstantTable[17].LogK = 309.0;
  ExpectFault({"overflow while computing the equilibrium constants", "LogK 309", "(equilibrium constant 17)"});
  // Mended, the next solve is the plain procedure's to the bit (the failed
  // constants were not kept for reuse).
  state.ConstantTable[17].LogK = 0.0;
  ModelState plain = state;
  SolveSpeciation(state, weights);
  reference::Solve(plain, weights);
  EXPECT_EQ(FirstDifference(state, plain), "");
}

TEST_F(SolverFaults, NegativeIonicStrengthForACharge) {
  state.InputPair = std::string("A");
  state.Alkalinity = -0.05; // half of it outweighs the river's ions
  ExpectFault(
      {"invalid operation while computing the activity coefficient of species row 1", "ionic strength is negative"});
}

TEST_F(SolverFaults, IonicStrengthTurningNegativeInALaterPass) {
  // At pH 11.5 hydroxide (3 meq/L) far exceeds the alkalinity: the balance
  // gives negative carbonate, whose z^2 = 4 drives the second pass's ionic
  // strength below 0.
  state.InputPair = std::string("A");
  state.PH = 11.5;
  state.Alkalinity = 1e-5;
  ExpectFault({"invalid operation while computing the activity coefficient of species row 1 (charge 1) in outer pass 2",
               "ionic strength is negative"});
}

TEST_F(SolverFaults, AFaultedSampleDoesNotDisturbTheNextOne) {
  state.InputPair = std::string("C");
  state.SpeciesTable[10].TotalConc = 1e-3;
  ModelState plain = state;
  plain.SpeciesTable[11].TotalConc = 1e-5;
  ExpectFault({"carbonate concentration is 0"});
  state.SpeciesTable[11].TotalConc = 1e-5;
  SolveSpeciation(state, weights);
  reference::Solve(plain, weights);
  EXPECT_EQ(FirstDifference(state, plain), "");
}

} // namespace
} // namespace vontralek
