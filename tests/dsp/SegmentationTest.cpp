#include "dsp/Segmentation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <random>
#include <set>
#include <vector>

namespace qola {
namespace {

using Samples = std::vector<std::int16_t>;
using Segments = std::vector<std::pair<int, SegmentType>>;  // length, type

// Segments the samples and checks the result against each segment analysed
// on its own: type, coefficients and band parameters at its position, time
// order, and costs adding up to the returned one.
Segments segmentAndCheck(const Samples& samples, Adaptation level) {
  const int n = static_cast<int>(samples.size());
  SegmentList list;
  std::vector<std::int32_t> coefficients(n), ownCoefficients(n);
  std::vector<std::int8_t> bands(n / 32), ownBands(n / 32);
  const std::int32_t cost = segmentBlock(n, level, samples.data(), list, coefficients.data(), bands.data());
  Segments segments;
  int position = 0;
  std::int32_t total = 0;
  for (int i = 0; i < list.count; ++i) {
    const int s = i < kMaxSegments ? list.exponents[i] : 0, length = 1 << std::clamp(s, 0, 12);
    if (s < 7 || s > 12 || position % length != 0 || position + length > n) {
      ADD_FAILURE() << "segment " << i << " of length 2^" << s << " at " << position;
      return segments;
    }
    SegmentType type = SegmentType::Zero;
    total += analyseBlock(s, samples.data() + position, ownCoefficients.data(), ownBands.data(), type);
    EXPECT_EQ(type, list.types[i]) << "segment " << i;
    if (type == SegmentType::Transform) {
      EXPECT_TRUE(std::equal(ownCoefficients.begin(), ownCoefficients.begin() + length, coefficients.begin() + position));
      EXPECT_TRUE(std::equal(ownBands.begin(), ownBands.begin() + length / 32, bands.begin() + position / 32));
    }
    segments.emplace_back(length, type);
    position += length;
  }
  EXPECT_EQ(position, n);
  EXPECT_EQ(total, cost);
  return segments;
}

// Noise whose loudness follows the given profile.
Samples noise(int n, std::uint32_t seed, double (*loudness)(int)) {
  std::mt19937 random(seed);
  std::uniform_real_distribution<double> value(-1.0, 1.0);
  Samples samples(n);
  for (int i = 0; i < n; ++i) samples[i] = std::lround(std::clamp(value(random) * loudness(i), -32768.0, 32767.0));
  return samples;
}

// Quiet, a loud burst, moderate, then silence: worth splitting, into segments of several lengths.
double eventful(int i) { return i < 1100 ? 30.0 : i < 1500 ? 9000.0 : i < 3584 ? 400.0 * (1 + i % 700 / 350) : 0.0; }

TEST(Segmentation, SplitsWithinTheLevelAndTheList) {
  EXPECT_EQ(segmentAndCheck(noise(4096, 1, eventful), Adaptation::None), (Segments{{4096, SegmentType::Transform}}));
  EXPECT_EQ(segmentAndCheck(Samples(4096, 0), Adaptation::Full), (Segments{{4096, SegmentType::Zero}}));
  const std::set<std::vector<int>> mediumLengths = {
      {4096}, {2048, 2048}, {2048, 1024, 1024}, {1024, 1024, 2048}, {1024, 1024, 1024, 1024}};
  std::set<int> fullLengths;
  int mediumSplits = 0;
  for (std::uint32_t seed = 1; seed <= 6; ++seed) {
    const Samples samples = noise(4096, seed, eventful);
    const Segments full = segmentAndCheck(samples, Adaptation::Full), medium = segmentAndCheck(samples, Adaptation::Medium);
    for (auto [length, type] : full) fullLengths.insert(length);
    std::vector<int> lengths;
    for (auto [length, type] : medium) lengths.push_back(length);
    EXPECT_TRUE(mediumLengths.contains(lengths)) << seed;
    mediumSplits += lengths.size() > 1;
  }
  EXPECT_GT(mediumSplits, 0);
  EXPECT_GE(fullLengths.size(), 3u);
  // A silent first half is a Zero segment of its own.
  const Segments halfSilent = segmentAndCheck(noise(512, 5, [](int i) { return i < 256 ? 0.0 : 20000.0; }), Adaptation::Full);
  EXPECT_EQ(halfSilent.at(0), std::make_pair(256, SegmentType::Zero));
  // Loudness triples with every set bit of the 128-sample stretch index: every halving pays.
  const Segments finest = segmentAndCheck(
      noise(4096, 3, [](int i) { return 40.0 * std::pow(3.0, std::popcount(static_cast<unsigned>(i / 128))); }),
      Adaptation::Full);
  EXPECT_EQ(finest, Segments(kMaxSegments, {128, SegmentType::Transform}));
}

}  // namespace
}  // namespace qola
