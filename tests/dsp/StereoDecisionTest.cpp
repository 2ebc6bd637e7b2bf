#include "dsp/StereoDecision.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "common/Format.h"

namespace qola {
namespace {

using Samples = std::vector<std::int16_t>;

double mirrored(const Samples& left, int t) {
  const int n = static_cast<int>(left.size());
  return t < 0 ? left[-t - 1] : t >= n ? left[2 * n - 1 - t] : left[t];
}

// The decision written out directly: double sums, strict comparisons.
int referenceLag(const Samples& left, const Samples& right) {
  double bestError = INFINITY, energy = 0.0;
  int best = 0;
  for (int d = -20; d <= 20; ++d) {
    double error = 0.0;
    for (int i = 0; i < static_cast<int>(right.size()); ++i) error += std::pow(right[i] - mirrored(left, i + d), 2);
    if (error < bestError) bestError = error, best = d;
  }
  for (double r : right) energy += r * r;
  return 0.5 * energy > bestError ? best : format::kNoJointStereo;
}

struct Decision {
  int lag;
  Samples difference;
};

Decision decide(const Samples& left, const Samples& right) {
  Decision result{0, Samples(right.size(), 12345)};
  result.lag = stereoDecision(static_cast<int>(right.size()), left.data(), right.data(), result.difference.data());
  return result;
}

Samples noise(int n, std::uint32_t seed, int amplitude) {
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> value(-amplitude, amplitude);
  Samples samples(n);
  for (auto& s : samples) s = static_cast<std::int16_t>(value(random));
  return samples;
}

TEST(StereoDecision, IdenticalDelayedAndSilentChannels) {
  const Samples left = noise(256, 1, 30000);
  const Decision same = decide(left, left);
  EXPECT_EQ(same.lag, 0);
  EXPECT_EQ(same.difference, Samples(256, 0));

  Samples delayed(256);
  for (int i = 0; i < 256; ++i) delayed[i] = static_cast<std::int16_t>(mirrored(left, i - 3));
  for (int i = 0; i < 3; ++i) delayed[i] = 0;  // nothing before the block
  const Decision late = decide(left, delayed);
  EXPECT_EQ(late.lag, -3);
  for (int i = 3; i < 256; ++i) EXPECT_EQ(late.difference[i], 0) << i;
  for (int i = 0; i < 3; ++i) EXPECT_EQ(late.difference[i], -left[2 - i]) << i;

  const Decision silentRight = decide(left, Samples(256, 0));
  EXPECT_EQ(silentRight.lag, format::kNoJointStereo);
  EXPECT_EQ(silentRight.difference, Samples(256, 12345));  // untouched
  EXPECT_EQ(decide(Samples(256, 0), left).lag, format::kNoJointStereo);

  // 32767 - (-32768) wraps to -1; the decoder's 16-bit sum restores 32767.
  Samples loud = left;
  loud[40] = 32767;
  Samples other = left;
  other[40] = -32768;
  const Decision wrapped = decide(other, loud);
  ASSERT_EQ(wrapped.lag, 0);
  EXPECT_EQ(wrapped.difference[40], -1);
}

TEST(StereoDecision, TieGoesToTheSmallerLag) {
  // R holds L's bump shifted by +5 and by -5; E(-5) = E(5) = 797 < 0.5 * 1618.
  const int bump[] = {1, 2, 4, 7, 10, 12, 13, 12, 10, 7, 4, 2, 1};
  Samples left(128, 0), right(128, 0);
  for (int k = 0; k < 13; ++k) {
    left[58 + k] = static_cast<std::int16_t>(left[58 + k] + bump[k]);
    right[63 + k] = static_cast<std::int16_t>(right[63 + k] + bump[k]);
    right[53 + k] = static_cast<std::int16_t>(right[53 + k] + bump[k]);
  }
  EXPECT_EQ(decide(left, right).lag, -5);
}

TEST(StereoDecision, AgreesWithTheDirectDecision) {
  for (std::uint32_t seed = 0; seed < 40; ++seed) {
    const int n = 128 << (seed % 6);
    const Samples left = noise(n, seed, seed % 3 == 0 ? 30000 : 2000);
    Samples right = noise(n, seed + 100, static_cast<int>(seed % 5) * 300);
    const int shift = static_cast<int>(seed % 41) - 20;
    for (int i = 0; i < n; ++i) {
      right[i] = static_cast<std::int16_t>((right[i] + static_cast<int>(mirrored(left, i + shift))) / 2);
    }
    const Decision decision = decide(left, right);
    ASSERT_EQ(decision.lag, referenceLag(left, right)) << seed;
    if (decision.lag == format::kNoJointStereo) continue;
    for (int i = 0; i < n; ++i) {
      const auto expected = static_cast<std::int16_t>(
          static_cast<std::uint16_t>(right[i] - static_cast<int>(mirrored(left, i + decision.lag))));
      ASSERT_EQ(decision.difference[i], expected) << seed << " " << i;
    }
  }
}

}  // namespace
}  // namespace qola
