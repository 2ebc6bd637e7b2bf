#include "dsp/Segmentation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <random>
#include <set>
#include <vector>

namespace qola {
namespace {

struct Segmented {
  SegmentList list;
  std::int32_t cost = 0;
  std::vector<std::int32_t> coefficients;
  std::vector<std::int8_t> bands;
};

Segmented segment(const std::vector<std::int16_t>& samples, Adaptation level) {
  const int n = static_cast<int>(samples.size());
  Segmented result;
  result.coefficients.assign(n, 0);
  result.bands.assign(n / 32, 0);
  result.cost = segmentBlock(n, level, samples.data(), result.list, result.coefficients.data(),
                             result.bands.data());
  return result;
}

// Each segment, analysed on its own, must be what the lists and arrays hold
// at its position, and the costs must add up to the returned one.
void expectConsistent(const std::vector<std::int16_t>& samples, const Segmented& result) {
  int position = 0;
  std::int32_t total = 0;
  for (int i = 0; i < result.list.count; ++i) {
    const int s = result.list.exponents[i];
    const int length = 1 << s;
    ASSERT_GE(s, 7);
    ASSERT_EQ(position % length, 0);
    std::vector<std::int32_t> coefficients(length);
    std::vector<std::int8_t> bands(length / 32);
    SegmentType type = SegmentType::Zero;
    total += analyseBlock(s, samples.data() + position, coefficients.data(), bands.data(), type);
    ASSERT_EQ(type, result.list.types[i]);
    if (type == SegmentType::Transform) {
      ASSERT_TRUE(std::equal(coefficients.begin(), coefficients.end(), result.coefficients.begin() + position));
      ASSERT_TRUE(std::equal(bands.begin(), bands.end(), result.bands.begin() + position / 32));
    }
    position += length;
  }
  EXPECT_EQ(position, static_cast<int>(samples.size()));
  EXPECT_EQ(total, result.cost);
}

// Decaying tones, then a burst of noise and a silent stretch: worth splitting.
std::vector<std::int16_t> eventfulBlock(int n, std::uint32_t seed) {
  std::mt19937 random(seed);
  std::normal_distribution<double> noise(0.0, 1.0);
  std::vector<std::int16_t> samples(n);
  for (int i = 0; i < n; ++i) {
    double v = 6000.0 * std::exp(-i / 900.0) * std::sin(i * 0.07) + 2000.0 * std::sin(i * 0.31) + 3.0 * noise(random);
    if (i > n / 2 && i < 5 * n / 8) v += 8000.0 * noise(random);
    if (i >= 7 * n / 8) v = 0.0;
    samples[i] = static_cast<std::int16_t>(std::lround(std::clamp(v, -32768.0, 32767.0)));
  }
  return samples;
}

TEST(Segmentation, NoneAndSilenceGiveOneSegment) {
  const auto eventful = eventfulBlock(4096, 1);
  const Segmented none = segment(eventful, Adaptation::None);
  ASSERT_EQ(none.list.count, 1);
  EXPECT_EQ(none.list.exponents[0], 12);
  expectConsistent(eventful, none);

  const Segmented silent = segment(std::vector<std::int16_t>(4096, 0), Adaptation::Full);
  ASSERT_EQ(silent.list.count, 1);
  EXPECT_EQ(silent.list.types[0], SegmentType::Zero);
  EXPECT_EQ(silent.cost, 8);
}

TEST(Segmentation, FullAndMediumSplitsAreConsistent) {
  int mediumSplits = 0;
  for (std::uint32_t seed = 1; seed <= 6; ++seed) {
    const auto samples = eventfulBlock(4096, seed);
    const Segmented full = segment(samples, Adaptation::Full);
    EXPECT_GT(full.list.count, 1);
    expectConsistent(samples, full);

    const Segmented medium = segment(samples, Adaptation::Medium);
    expectConsistent(samples, medium);
    std::vector<int> lengths;
    for (int i = 0; i < medium.list.count; ++i) lengths.push_back(1 << medium.list.exponents[i]);
    const std::set<std::vector<int>> allowed = {
        {4096}, {2048, 2048}, {2048, 1024, 1024}, {1024, 1024, 2048}, {1024, 1024, 1024, 1024}};
    EXPECT_TRUE(allowed.contains(lengths)) << seed;
    mediumSplits += medium.list.count > 1;
  }
  EXPECT_GT(mediumSplits, 0);
}

TEST(Segmentation, SilentHalfBecomesAZeroSegment) {
  std::vector<std::int16_t> samples(512, 0);
  std::mt19937 random(5);
  std::uniform_int_distribution<int> noise(-20000, 20000);
  for (int i = 256; i < 512; ++i) samples[i] = static_cast<std::int16_t>(noise(random));
  const Segmented full = segment(samples, Adaptation::Full);
  ASSERT_GE(full.list.count, 2);
  EXPECT_EQ(full.list.exponents[0], 8);
  EXPECT_EQ(full.list.types[0], SegmentType::Zero);
  expectConsistent(samples, full);
}

// Noise whose loudness triples with every set bit of the 128-sample stretch
// index: every halving pays, down to 32 segments of 128.
TEST(Segmentation, ThirtyTwoSegmentsFitTheList) {
  std::mt19937 random(3);
  std::uniform_real_distribution<double> noise(-1.0, 1.0);
  std::vector<std::int16_t> samples(4096);
  for (int i = 0; i < 4096; ++i) {
    const double loudness = 40.0 * std::pow(3.0, std::popcount(static_cast<unsigned>(i / 128)));
    samples[i] = static_cast<std::int16_t>(std::lround(noise(random) * loudness));
  }
  const Segmented full = segment(samples, Adaptation::Full);
  ASSERT_EQ(full.list.count, kMaxSegments);
  expectConsistent(samples, full);
}

}  // namespace
}  // namespace qola
