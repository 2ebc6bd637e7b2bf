#include "dsp/RateChoice.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "common/FormatConstants.h"

namespace qola {
namespace {

// One coefficient (with its pair partner) in a band of otherwise zeros, its
// quotient, and where the rate rounding must leave it. With the weight 0.7 a
// coefficient moves when |x| < |q| - 1/2 + 0.0877 per bit saved.
struct Move {
  int parameter;
  std::int32_t q, partner;
  double x;
  std::int32_t expected;
};

TEST(RateChoice, MovesTowardZeroOnlyWhereTheSavedBitsOutweighTheError) {
  const Move moves[] = {
      {-1, 1, 0, 0.58, 0},    {-1, 1, 0, 0.60, 1},     // ternary: 1 bit saved
      {-1, -1, 0, -0.58, 0},  {-2, 1, 0, 0.70, 0},     // a lone pair value saves the pair's 3 bits
      {-2, 1, 1, 0.51, 1},    {-2, -1, 0, -0.77, -1},  // a full pair saves nothing; beyond 3 bits' worth
      {0, 2, 0, 1.66, 1},     {0, 2, 0, 1.68, 2},      // unary: 2 bits saved
      {0, -1, 0, -0.58, 0},   {0, -1, 0, -0.60, -1},   // unary -1 -> 0: 1 bit
      {1, 3, 0, 2.58, 2},     {1, -1, 0, -0.51, -1},   // Rice 1: -1 and 0 cost the same
      {2, 2, 0, 1.58, 1},     {2, 3, 0, 2.51, 3},      // Rice 2: only even magnitude indices shorten
      {2, -3, 0, -2.55, -2},  {2, -2, 0, -1.51, -2},
      {-3, 1, 0, 0.51, 1},                              // a zero band is never touched (nor is it valid)
  };
  AnalysisTuning tuning;
  tuning.rateWeight = 0.7;
  for (const Move& m : moves) {
    std::array<std::int32_t, 32> band{};
    std::array<double, 32> quotients{};
    band[6] = m.q, band[7] = m.partner;
    quotients[6] = m.x, quotients[7] = m.partner;
    const std::int8_t parameter = static_cast<std::int8_t>(m.parameter);
    bool changed = false;
    const int count = moveTowardZero(5, quotients.data(), tuning, band.data(), &parameter, &changed);
    EXPECT_EQ(band[6], m.expected) << "parameter " << m.parameter << " q " << m.q << " x " << m.x;
    EXPECT_EQ(band[7], m.partner);
    EXPECT_EQ(changed, m.expected != m.q);
    EXPECT_EQ(count, changed ? 1 : 0);
  }
}

TEST(RateChoice, LeavesBandsAboveTheLargestParameterAlone) {
  AnalysisTuning tuning;
  tuning.rateWeight = 0.7;
  tuning.rateMaxParameter = 1;
  std::vector<std::int32_t> coefficients(64, 0);
  std::vector<double> quotients(64, 0.0);
  coefficients[0] = 2, quotients[0] = 1.55;    // band 0, parameter 2: would move
  coefficients[40] = 1, quotients[40] = 0.55;  // band 1, parameter -1: moves
  const std::int8_t parameters[] = {2, -1};
  bool changed[2] = {true, false};
  EXPECT_EQ(moveTowardZero(6, quotients.data(), tuning, coefficients.data(), parameters, changed), 1);
  EXPECT_EQ(coefficients[0], 2);
  EXPECT_EQ(coefficients[40], 0);
  EXPECT_FALSE(changed[0]);
  EXPECT_TRUE(changed[1]);
}

}  // namespace
}  // namespace qola
