#include "dsp/StereoDecision.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <tuple>
#include <vector>

#include "common/FormatConstants.h"

namespace qola {
namespace {

using Samples = std::vector<std::int16_t>;

int mirrored(const Samples& left, int t) {
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

Samples noise(int n, std::uint32_t seed, int amplitude) {
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> value(-amplitude, amplitude);
  Samples samples(n);
  for (auto& s : samples) s = value(random);
  return samples;
}

// Worked cases with their lag, then random blocks: the lag must be the direct
// decision's, and D = R - L~ modulo 65536, or untouched without joint coding.
TEST(StereoDecision, MatchesTheDirectDecision) {
  constexpr int kAny = 99;
  const Samples left = noise(256, 1, 30000), silence(256, 0);
  Samples late(256, 0), loud = left, low = left, bumpLeft(128, 0), bumpRight(128, 0);
  for (int i = 3; i < 256; ++i) late[i] = left[i - 3];  // three samples late, silence before the block
  loud[40] = 32767, low[40] = -32768;                   // the difference wraps to -1
  // L's bump shows in R shifted by +5 and by -5: E(-5) = E(5) = 797 < 0.5 * 1618, the tie goes to -5.
  const int bump[] = {1, 2, 4, 7, 10, 12, 13, 12, 10, 7, 4, 2, 1};
  for (int k = 0; k < 13; ++k) bumpLeft[58 + k] = bump[k], bumpRight[63 + k] += bump[k], bumpRight[53 + k] += bump[k];
  // E = 5 at lag 0 is exactly half of P = 10: not below it. Opposite loud channels: squares beyond 32 bits.
  // Both channels at -32768 in adjacent samples: product pairs of 2^31, beyond a signed 32-bit lane.
  Samples lowPairs = left;
  std::fill(lowPairs.begin() + 40, lowPairs.begin() + 44, -32768);
  Samples single(128, 0), pair(128, 0);
  single[60] = 1, pair[60] = 3, pair[61] = 1;
  std::vector<std::tuple<Samples, Samples, int>> cases = {
      {left, left, 0}, {left, late, -3}, {left, silence, format::kNoJointStereo},
      {silence, left, format::kNoJointStereo}, {low, loud, 0}, {bumpLeft, bumpRight, -5},
      {single, pair, format::kNoJointStereo}, {Samples(128, 30000), Samples(128, -30000), format::kNoJointStereo},
      {lowPairs, lowPairs, 0}};
  for (std::uint32_t seed = 0; seed < 40; ++seed) {
    const int n = 128 << (seed % 6), shift = static_cast<int>(seed % 41) - 20;
    const Samples l = noise(n, seed, seed % 3 == 0 ? 30000 : 2000);
    Samples r = noise(n, seed + 100, static_cast<int>(seed % 5) * 300);
    for (int i = 0; i < n; ++i) r[i] = std::clamp(r[i] + mirrored(l, i + shift), -32768, 32767);
    cases.emplace_back(l, r, kAny);
  }
  int number = 0;
  for (const auto& [l, r, expected] : cases) {
    SCOPED_TRACE(::testing::Message() << "case " << number++);
    const int n = static_cast<int>(r.size());
    Samples difference(n, 12345);
    const int lag = stereoDecision(n, l.data(), r.data(), difference.data());
    ASSERT_EQ(lag, expected == kAny ? referenceLag(l, r) : expected);
    for (int i = 0; i < n; ++i) {
      const int expectedDifference = static_cast<std::int16_t>(r[i] - mirrored(l, i + lag));
      ASSERT_EQ(difference[i], lag == format::kNoJointStereo ? 12345 : expectedDifference) << "sample " << i;
    }
  }
}

// The right channel made of the left shifted by two lags: the error curve
// has a minimum at each, and the candidates are those minima, the decision's
// lag first, each lag's difference formed as the decision forms its own.
TEST(StereoDecision, OffersTheErrorCurvesMinimaLeastFirst) {
  const struct {
    int strong, weak;
    JointTrial trial;
    int count;
  } cases[] = {{-3, 9, JointTrial::DoubleEnergy, 3}, {12, -15, JointTrial::Always, 3},
               {0, 6, JointTrial::Always, 1}, {5, -7, JointTrial::DoubleEnergy, 2}};
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << "lags " << c.strong << " and " << c.weak);
    const int n = 1024;
    const Samples left = noise(n, 7, 8000);
    Samples right(n);
    for (int i = 0; i < n; ++i) right[i] = static_cast<std::int16_t>((3 * mirrored(left, i + c.strong) + 2 * mirrored(left, i + c.weak)) / 5);
    Samples difference(n), candidate(n);
    const int decided = stereoDecision(n, left.data(), right.data(), difference.data(), c.trial);
    int lags[3] = {};
    const int found = lagCandidates(n, left.data(), right.data(), c.trial, c.count, lags);
    ASSERT_GE(found, 1);
    EXPECT_LE(found, c.count);
    EXPECT_EQ(lags[0], decided);
    EXPECT_EQ(decided, c.strong);
    if (c.count >= 2) {
      ASSERT_GE(found, 2);
      EXPECT_EQ(lags[1], c.weak);
    }
    laggedDifference(n, left.data(), right.data(), decided, candidate.data());
    EXPECT_EQ(candidate, difference);
  }
  // A silent right channel offers no lag under any trial.
  const Samples left = noise(256, 3, 1000), silence(256, 0);
  int lag = 0;
  EXPECT_EQ(lagCandidates(256, left.data(), silence.data(), JointTrial::Always, 1, &lag), 0);
}

}  // namespace
}  // namespace qola
