#include "dsp/RebuildArithmetic.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "dsp/RebuildKernels.h"

namespace qola {
namespace {

constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
constexpr double kInf = std::numeric_limits<double>::infinity();

const struct {
  double x;
  std::int32_t halfAway;  // out of range: one defined value
  std::int32_t rebuilt;   // out of range: saturated
} kRoundings[] = {{0.5, 1, 1},
                  {-0.5, -1, -1},
                  {1.5, 2, 2},
                  {-1.5, -2, -2},
                  {2.5, 3, 3},
                  {-2.5, -3, -3},
                  {2.4999, 2, 2},
                  {-2.4999, -2, -2},
                  {0.0, 0, 0},
                  {-0.0, 0, 0},
                  {32767.5, 32768, 32768},
                  {-32768.5, -32769, -32769},
                  {65535.5, 65536, 65536},
                  {123456.75, 123457, 123457},
                  {0.49999999999999994, 0, 0},  // floor(x + 0.5) would give 1
                  {2147483646.5, kMax, kMax},
                  {2147483647.0, kMax, kMax},
                  {2147483647.4, kMax, kMax},
                  {2147483647.5, kMin, kMax},
                  {-2147483647.5, kMin, kMin},
                  {-2147483648.0, kMin, kMin},
                  {-2147483648.4, kMin, kMin},
                  {-2147483648.6, kMin, kMin},
                  {4503599627370497.0, kMin, kMax},
                  {1e15, kMin, kMax},
                  {-1e15, kMin, kMin},
                  {-1e300, kMin, kMin},
                  {kInf, kMin, kMax},
                  {-kInf, kMin, kMin},
                  {std::nan(""), kMin, kMin}};

// The quantiser steps are pinned by the golden files; the rounding's edges are not.
TEST(Rounding, HalvesAwayFromZeroAndEveryDoubleDefined) {
  for (const auto& c : kRoundings) {
    EXPECT_EQ(roundHalfAway(c.x), c.halfAway) << c.x;
    EXPECT_EQ(roundRebuilt(c.x), c.rebuilt) << c.x;
  }
}

// The decoder rounds eight values at a time where it can: every value, the
// edges above and values of every size, comes out as one at a time.
TEST(Rounding, SubtractFromRoundedMatchesOneValueAtATime) {
  std::vector<double> values;
  for (const auto& c : kRoundings) values.push_back(c.x);
  for (int i = 0; i < 41; ++i) values.push_back(std::ldexp(static_cast<double>(i * 7919 % 4001) - 2000.5, i % 9));
  std::vector<std::int16_t> subtrahends(values.size()), out(values.size());
  for (std::size_t i = 0; i < values.size(); ++i) subtrahends[i] = static_cast<std::int16_t>(i * 4099 - 30000);
  subtractFromRounded(values.data(), subtrahends.data(), static_cast<int>(values.size()), out.data());
  for (std::size_t i = 0; i < values.size(); ++i) {
    const auto expected = static_cast<std::int16_t>(static_cast<std::uint16_t>(
        static_cast<std::uint32_t>(roundRebuilt(values[i])) - static_cast<std::uint16_t>(subtrahends[i])));
    EXPECT_EQ(out[i], expected) << "value " << values[i];
  }
}

}  // namespace
}  // namespace qola
