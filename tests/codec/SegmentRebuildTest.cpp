#include "codec/Residual.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <vector>

#include "dsp/Analysis.h"

namespace qola::test {
namespace {

// A lone click in silence: plain rounding of its coefficients piles the whole
// quantisation error onto one sample, beyond what a residual can carry.
TEST(CodableResidual, RequantisesAClickWhoseResidualWouldNotFit) {
  for (int s : {10, 11, 12}) {
    const int L = 1 << s;
    std::vector<std::int16_t> source(static_cast<std::size_t>(L), 0);
    source[static_cast<std::size_t>(L / 3)] = 45;
    std::vector<std::int32_t> coefficients(static_cast<std::size_t>(L));
    std::vector<std::int8_t> parameters(static_cast<std::size_t>(L / 32));
    std::vector<double> temp(static_cast<std::size_t>(L));
    std::vector<std::int16_t> residual(static_cast<std::size_t>(L));
    SegmentType type{};
    analyseBlock(s, source.data(), coefficients.data(), parameters.data(), type);
    ASSERT_EQ(type, SegmentType::Transform);
    ASSERT_GT(formResidual(s, coefficients.data(), source.data(), temp.data(), residual.data()), 31)
        << "the click no longer provokes the fallback at s = " << s;

    codableResidual(s, source.data(), coefficients.data(), parameters.data(), temp.data(), residual.data());
    int largest = 0;
    for (std::int16_t e : residual) largest = std::max(largest, std::abs(static_cast<int>(e)));
    EXPECT_LE(largest, 31);
    // The decoder's rebuild minus the residual gives the click back.
    std::vector<std::int16_t> rebuilt(static_cast<std::size_t>(L));
    reconstructSegment(s, coefficients.data(), residual.data(), temp.data(), rebuilt.data());
    EXPECT_EQ(rebuilt, source);
  }
}

// The decoder rounds eight values at a time where it can: every value must
// come out as the one-at-a-time rounding gives it, edges and oddities included.
TEST(RoundRebuilt, SubtractFromRoundedMatchesOneValueAtATime) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  std::vector<double> values = {0.5,
                                -0.5,
                                1.5,
                                -1.5,
                                0.49999999999999994,
                                -0.49999999999999994,
                                -0.0,
                                2.5,
                                32767.5,
                                -32768.5,
                                65535.5,
                                2147483646.5,
                                2147483647.0,
                                2147483647.4,
                                1e15,
                                -2147483647.5,
                                -2147483648.0,
                                -2147483648.6,
                                -1e300,
                                inf,
                                -inf,
                                nan,
                                123456.75};
  for (int i = 0; i < 41; ++i) values.push_back(std::ldexp(static_cast<double>(i * 7919 % 4001) - 2000.5, i % 9));
  std::vector<std::int16_t> subtrahends(values.size());
  for (std::size_t i = 0; i < values.size(); ++i) subtrahends[i] = static_cast<std::int16_t>(i * 4099 - 30000);
  std::vector<std::int16_t> out(values.size());
  subtractFromRounded(values.data(), subtrahends.data(), static_cast<int>(values.size()), out.data());
  for (std::size_t i = 0; i < values.size(); ++i) {
    const auto expected = static_cast<std::int16_t>(static_cast<std::uint16_t>(
        static_cast<std::uint32_t>(roundRebuilt(values[i])) - static_cast<std::uint16_t>(subtrahends[i])));
    EXPECT_EQ(out[i], expected) << "value " << values[i];
  }
}

}  // namespace
}  // namespace qola::test
