#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "model/Errors.h"
#include "run/Progress.h"

namespace vontralek {
namespace {

// The percentage the batch hands over before sample k of n, as doubles.
double Percent(int k, int n) { return static_cast<double>(k) * 100.0 / static_cast<double>(n); }

std::vector<std::string> Captions(int n) {
  std::vector<std::string> captions;
  for (int k = 1; k <= n; ++k) captions.push_back(ShowProgress(Percent(k, n)).caption);
  return captions;
}

TEST(RoundToDigits, TiesGoToTheEvenInteger) {
  // Exact binary ties: x.5 goes to the even neighbour.
  EXPECT_EQ(RoundToDigits(0.5, 0), 0.0);
  EXPECT_EQ(RoundToDigits(1.5, 0), 2.0);
  EXPECT_EQ(RoundToDigits(2.5, 0), 2.0);
  EXPECT_EQ(RoundToDigits(12.5, 0), 12.0);
  EXPECT_EQ(RoundToDigits(13.5, 0), 14.0);
  EXPECT_EQ(RoundToDigits(-2.5, 0), -2.0);
  // 0.125 * 100 and 0.375 * 100 are exactly 12.5 and 37.5: ties again.
  EXPECT_EQ(RoundToDigits(0.125, 2), 0.12);
  EXPECT_EQ(RoundToDigits(0.375, 2), 0.38);
}

TEST(RoundToDigits, OrdinaryValuesRoundToNearest) {
  EXPECT_EQ(RoundToDigits(33.333333333333336, 0), 33.0);
  EXPECT_EQ(RoundToDigits(66.66666666666667, 0), 67.0);
  EXPECT_EQ(RoundToDigits(-7.6, 0), -8.0);
  // 1234.5678 * 10 = 12345.678 -> 12346 -> 1234.6
  EXPECT_EQ(RoundToDigits(1234.5678, 1), 1234.6);
  // Negative digits round to tens: 1250 is a tie between 1200 and 1300... at
  // 10^-2 the scaled value 12.5 goes to 12.
  EXPECT_EQ(RoundToDigits(1250.0, -2), 1200.0);
}

TEST(RoundToDigits, ValuesBeyondA32BitIntegerAreAnOverflow) {
  EXPECT_EQ(RoundToDigits(2147483647.0, 0), 2147483647.0);
  EXPECT_EQ(RoundToDigits(-2147483648.0, 0), -2147483648.0);
  EXPECT_THROW(RoundToDigits(2147483648.0, 0), ArithmeticFault);
  EXPECT_THROW(RoundToDigits(-2147483649.0, 0), ArithmeticFault);
  // 2147483647.5 is a tie whose even neighbour 2147483648 no longer fits.
  EXPECT_THROW(RoundToDigits(2147483647.5, 0), ArithmeticFault);
  // 1e7 at three decimals scales to 1e10.
  EXPECT_THROW(RoundToDigits(1e7, 3), ArithmeticFault);
  EXPECT_THROW(RoundToDigits(std::numeric_limits<double>::quiet_NaN(), 0), ArithmeticFault);
}

TEST(ShowProgress, FourSamplesGiveQuartersAndTheirBarWidths) {
  EXPECT_EQ(Captions(4),
            (std::vector<std::string>{"25% completed", "50% completed", "75% completed", "100% finishing"}));
  // 5175 twips for the full bar: 5175/4 = 1293.75, exact in single precision.
  EXPECT_EQ(ShowProgress(Percent(1, 4)).barWidth, 1293.75F);
  EXPECT_EQ(ShowProgress(Percent(2, 4)).barWidth, 2587.5F);
  EXPECT_EQ(ShowProgress(Percent(3, 4)).barWidth, 3881.25F);
  EXPECT_EQ(ShowProgress(Percent(4, 4)).barWidth, 5175.0F);
}

TEST(ShowProgress, ThirdsRoundToWholePercents) {
  EXPECT_EQ(Captions(3), (std::vector<std::string>{"33% completed", "67% completed", "100% finishing"}));
  // 100/3 * 5175 / 100 = 1725 up to the rounding of the thirds.
  EXPECT_NEAR(ShowProgress(Percent(1, 3)).barWidth, 1725.0F, 0.001F);
  EXPECT_NEAR(ShowProgress(Percent(2, 3)).barWidth, 3450.0F, 0.001F);
}

TEST(ShowProgress, EighthsSendTiesToTheEvenPercent) {
  EXPECT_EQ(Captions(8),
            (std::vector<std::string>{"12% completed", "25% completed", "38% completed", "50% completed",
                                      "62% completed", "75% completed", "88% completed", "100% finishing"}));
}

TEST(ShowProgress, OneSampleFinishesAtOnceWithTheFullBar) {
  const ProgressUpdate only = ShowProgress(Percent(1, 1));
  EXPECT_EQ(only.caption, "100% finishing");
  EXPECT_EQ(only.barWidth, 5175.0F);
  EXPECT_EQ(only.percent, 100.0);
}

TEST(ShowProgress, TwoHundredSamplesShowZeroFirstAndCompletedAtNinetyNineAndAHalf) {
  // 1 * 100 / 200 = 0.5, a tie that goes to 0.
  EXPECT_EQ(ShowProgress(Percent(1, 200)).caption, "0% completed");
  // 199 * 100 / 200 = 99.5 rounds to 100, but is not exactly 100.
  EXPECT_EQ(ShowProgress(Percent(199, 200)).caption, "100% completed");
  EXPECT_EQ(ShowProgress(Percent(200, 200)).caption, "100% finishing");
  // 99.5 * 5175 / 100 = 5149.125 twips.
  EXPECT_EQ(ShowProgress(Percent(199, 200)).barWidth, 5149.125F);
}

} // namespace
} // namespace vontralek
