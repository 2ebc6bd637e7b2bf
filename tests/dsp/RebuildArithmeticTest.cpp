#include "dsp/RebuildArithmetic.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace qola {
namespace {

// The quantiser steps are pinned by the golden files; the rounding's edges are not.
TEST(Rounding, HalvesAwayFromZeroAndEveryDoubleDefined) {
  constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
  constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
  const struct {
    double x;
    std::int32_t halfAway;  // out of range: one defined value
    std::int32_t rebuilt;   // out of range: saturated
  } cases[] = {
      {0.5, 1, 1}, {-0.5, -1, -1}, {-1.5, -2, -2}, {2.5, 3, 3}, {-2.5, -3, -3}, {2.4999, 2, 2}, {-2.4999, -2, -2},
      {0.0, 0, 0}, {-0.0, 0, 0}, {32767.5, 32768, 32768},
      {0.49999999999999994, 0, 0},  // floor(x + 0.5) would give 1
      {2147483647.4, kMax, kMax}, {-2147483648.4, kMin, kMin}, {2147483647.5, kMin, kMax},
      {4503599627370497.0, kMin, kMax}, {1e15, kMin, kMax}, {-1e15, kMin, kMin}, {std::nan(""), kMin, kMin}};
  for (const auto& c : cases) {
    EXPECT_EQ(roundHalfAway(c.x), c.halfAway) << c.x;
    EXPECT_EQ(roundRebuilt(c.x), c.rebuilt) << c.x;
  }
}

}  // namespace
}  // namespace qola
