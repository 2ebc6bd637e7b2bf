// The arithmetic the encoder's estimates and the decoder's rebuild must do
// alike: the quantiser step, rounding half away from zero, and the left
// channel mirrored at its ends that joint stereo takes its lagged samples from.
#pragma once

#include <algorithm>
#include <cstdint>
#include <limits>

namespace qola {

// 2^(s/2 + 2), correctly rounded: a uniform step of 4 on orthonormally
// scaled coefficients, since forwardDct is 2^(s/2) times the orthonormal DCT-II.
double quantiserStep(int s);

// Nearest integer, halves away from zero, for |x| < 2^31 - 0.5: truncate,
// take the exact fraction, step away from zero at a half. Without branches,
// so that the loops around it vectorise; forced inline, so that a loop's AVX2
// build takes it along.
[[gnu::always_inline]] inline std::int32_t roundHalfAwayInRange(double x) {
  const double integral = static_cast<double>(static_cast<std::int32_t>(x));  // truncates, exactly
  const double fraction = x - integral;                                       // exact
  const double up = fraction >= 0.5 ? 1.0 : 0.0;
  const double down = fraction <= -0.5 ? 1.0 : 0.0;
  return static_cast<std::int32_t>(integral + up - down);
}

// The same for every double: values outside the 32-bit range (and NaN) give
// INT32_MIN, a defined result the same on every machine, where a plain
// conversion would be undefined.
[[gnu::always_inline]] inline std::int32_t roundHalfAway(double x) {
  constexpr double kLimit = 2147483647.5;
  const bool inRange = x > -kLimit && x < kLimit;  // false for NaN
  const std::int32_t rounded = roundHalfAwayInRange(inRange ? x : 0.0);
  return inRange ? rounded : std::numeric_limits<std::int32_t>::min();
}

// The rounded rebuild of one value. Valid files stay far inside 32 bits;
// a crafted file's huge values saturate instead of overflowing.
inline std::int32_t roundRebuilt(double value) {
  return roundHalfAway(std::clamp(value, -2147483648.0, 2147483647.0));
}

// left~[t] for -N <= t < 2N: the block's left channel mirrored at both ends.
std::int16_t mirroredSample(const std::int16_t* left, int N, int t);

}  // namespace qola
