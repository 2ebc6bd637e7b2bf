#include "dsp/Analysis.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

namespace qola {
namespace {

TEST(Analysis, QuantiserStepBitPatterns) {
  const std::uint64_t expected[] = {0x4046a09e667f3bcdu, 0x4050000000000000u, 0x4056a09e667f3bcdu,
                                    0x4060000000000000u, 0x4066a09e667f3bcdu, 0x4070000000000000u};
  for (int s = 7; s <= 12; ++s) EXPECT_EQ(std::bit_cast<std::uint64_t>(quantiserStep(s)), expected[s - 7]) << s;
}

TEST(Analysis, RoundHalfAwayFromZero) {
  const std::pair<double, std::int32_t> cases[] = {
      {0.5, 1},   {-0.5, -1},  {-1.5, -2}, {2.5, 3},   {-2.5, -3},  {2.4999, 2}, {-2.4999, -2},
      {0.0, 0},   {-0.0, 0},   {0.49999999999999994, 0},  // floor(x + 0.5) would give 1
      {4503599627370497.0, std::numeric_limits<std::int32_t>::min()},
      {2147483647.4, 2147483647}, {-2147483648.4, -2147483647 - 1},
      {2147483647.5, std::numeric_limits<std::int32_t>::min()},  // out of range, as on x86
      {std::nan(""), std::numeric_limits<std::int32_t>::min()}};
  for (auto [x, rounded] : cases) EXPECT_EQ(roundHalfAway(x), rounded) << x;
}

std::vector<std::int32_t> band(std::initializer_list<std::pair<int, std::int32_t>> nonZero) {
  std::vector<std::int32_t> values(32, 0);
  for (auto [index, value] : nonZero) values[index] = value;
  return values;
}

TEST(Analysis, BandParameterChoices) {
  int parameter = 99;
  EXPECT_EQ(chooseBandParameter(band({}).data(), 32, parameter), 0);
  EXPECT_EQ(parameter, -3);

  std::vector<std::int32_t> spread(32, 0);
  for (int i = 0; i < 32; i += 2) spread[i] = i % 4 == 0 ? 1 : -1;
  EXPECT_EQ(ternaryCost(spread.data(), 32), 48);
  EXPECT_EQ(pairCost(spread.data(), 32), 64);
  EXPECT_EQ(chooseBandParameter(spread.data(), 32, parameter), 48);
  EXPECT_EQ(parameter, -1);

  const auto onePair = band({{6, 1}, {7, 1}});
  EXPECT_EQ(ternaryCost(onePair.data(), 32), 34);
  EXPECT_EQ(pairCost(onePair.data(), 32), 19);
  EXPECT_EQ(chooseBandParameter(onePair.data(), 32, parameter), 19);
  EXPECT_EQ(parameter, -2);

  // Variance 0 clamps sigma to 1: k = 0 costs 11 * 32, k = 1 costs 7 * 32.
  const std::vector<std::int32_t> fives(32, 5);
  EXPECT_EQ(riceCost(fives.data(), 32, 0), 352);
  EXPECT_EQ(chooseBandParameter(fives.data(), 32, parameter), 224);
  EXPECT_EQ(parameter, 1);

  // One -2 leaves the ternary range: 31 + 4 bits at k = 0 against 62 + 3.
  const auto minusTwo = band({{3, -2}});
  EXPECT_EQ(chooseBandParameter(minusTwo.data(), 32, parameter), 35);
  EXPECT_EQ(parameter, 0);

  // A loud band costs 128032 bits at k = 0: in 16 bits that would wrap below
  // the 64064 of k = 1 and pick the wrong parameter.
  const std::vector<std::int32_t> loud(32, 2000);
  EXPECT_EQ(chooseBandParameter(loud.data(), 32, parameter), 64064);
  EXPECT_EQ(parameter, 1);

  // sigma = 2^j exactly must give k = j; k = j and j + 1 then tie, and ties go to k + 1.
  for (int j = 1; j <= 18; ++j) {
    std::vector<std::int32_t> alternating(32);
    for (int i = 0; i < 32; ++i) alternating[i] = i % 2 == 0 ? (1 << j) : -(1 << j);
    const std::int32_t cost = chooseBandParameter(alternating.data(), 32, parameter);
    const std::int32_t atJ = riceCost(alternating.data(), 32, j);
    const std::int32_t atJ1 = riceCost(alternating.data(), 32, j + 1);
    EXPECT_EQ(parameter, atJ < atJ1 ? j : j + 1) << j;
    EXPECT_EQ(cost, std::min(atJ, atJ1)) << j;
  }
}

TEST(Analysis, CodeMappings) {
  const std::int32_t values[] = {0, -1, 1, -2, 2, std::numeric_limits<std::int32_t>::min()};
  // u = 0, 1, 2, 3, 4, 2^32 - 1 and 0, 2, 1, 4, 3, 2^32
  EXPECT_EQ(riceCost(values, 5, 0), 0 + 1 + 2 + 3 + 4 + 5);
  EXPECT_EQ(riceCost(values, 5, 1), 0 + 0 + 1 + 1 + 2 + 5 * 2);
  EXPECT_EQ(riceCostPositiveFirst(values, 5, 0), 0 + 2 + 1 + 4 + 3 + 5);
  EXPECT_EQ(riceCost(values + 5, 1, 31), 1 + 1 + 31);
  EXPECT_EQ(riceCostPositiveFirst(values + 5, 1, 31), 2 + 1 + 31);
  EXPECT_EQ(riceCost(values + 5, 1, 0), std::numeric_limits<std::int32_t>::max());  // clamped
}

TEST(Analysis, ClassifiesRuns) {
  std::vector<std::int32_t> coefficients(128, 77);
  std::vector<std::int8_t> bands(4, 77);
  SegmentType type = SegmentType::Transform;
  std::vector<std::int16_t> samples(128, 0);
  EXPECT_EQ(analyseBlock(7, samples.data(), coefficients.data(), bands.data(), type), 8);
  EXPECT_EQ(type, SegmentType::Zero);
  samples.assign(128, -32768);
  EXPECT_EQ(analyseBlock(7, samples.data(), coefficients.data(), bands.data(), type), 24);
  EXPECT_EQ(type, SegmentType::Constant);
  EXPECT_EQ(coefficients, std::vector<std::int32_t>(128, 77));
  EXPECT_EQ(bands, std::vector<std::int8_t>(4, 77));

  // One odd first sample: a transform run whose coefficients all quantise to
  // zero, so d = (0, 0, 0, -2) and the cost is B + 36.
  samples.assign(128, 0);
  samples[0] = 1;
  EXPECT_EQ(analyseBlock(7, samples.data(), coefficients.data(), bands.data(), type), 4 + 36);
  EXPECT_EQ(type, SegmentType::Transform);
  EXPECT_EQ(coefficients, std::vector<std::int32_t>(128, 0));
  EXPECT_EQ(bands, std::vector<std::int8_t>(4, -3));

  // A full-scale square wave costs more than 16 bits can hold.
  std::vector<std::int16_t> square(4096);
  for (int i = 0; i < 4096; ++i) square[i] = (i / 8) % 2 == 0 ? 32767 : -32768;
  coefficients.resize(4096);
  bands.resize(128);
  EXPECT_GT(analyseBlock(12, square.data(), coefficients.data(), bands.data(), type), 32767);
}

}  // namespace
}  // namespace qola
