#include "dsp/Analysis.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <tuple>
#include <vector>

namespace qola {
namespace {

using Values = std::vector<std::int32_t>;
constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();

Values bandOf(std::int32_t (*value)(int)) {
  Values band(32);
  for (int i = 0; i < 32; ++i) band[i] = value(i);
  return band;
}

TEST(Analysis, BandCostsAndParameterChoices) {
  const Values spread = bandOf([](int i) { return i % 2 != 0 ? 0 : i % 4 == 0 ? 1 : -1; });
  const Values onePair = bandOf([](int i) { return i == 6 || i == 7 ? 1 : 0; });
  const Values fives(32, 5);
  EXPECT_EQ(ternaryCost(spread.data(), 32), 48);
  EXPECT_EQ(pairCost(spread.data(), 32), 64);
  EXPECT_EQ(ternaryCost(onePair.data(), 32), 34);
  EXPECT_EQ(pairCost(onePair.data(), 32), 19);
  EXPECT_EQ(riceCost(fives.data(), 32, 0), 352);  // variance 0 clamps sigma to 1
  // (band, cost, parameter). Pairs win at 4 bits below ternary (52 against 56); a lone -2 costs
  // 31 + 4 bits at k = 0 against 62 + 3; the 2000s cost 128032 bits at k = 0, which in 16 bits
  // would wrap below the 64064 of k = 1.
  for (const auto& [band, cost, parameter] :
       std::vector<std::tuple<Values, std::int32_t, int>>{{Values(32, 0), 0, -3},
                                                          {spread, 48, -1},
                                                          {onePair, 19, -2},
                                                          {fives, 224, 1},
                                                          {bandOf([](int i) { return i < 24 ? 1 : 0; }), 52, -2},
                                                          {bandOf([](int i) { return i == 3 ? -2 : 0; }), 35, 0},
                                                          {Values(32, 2000), 64064, 1}}) {
    int chosen = 99;
    EXPECT_EQ(chooseBandParameter(band.data(), 32, chosen), cost);
    EXPECT_EQ(chosen, parameter) << cost;
  }
  // sigma = 2^j exactly gives k = j, where k = j and j + 1 tie; ties go to k + 1.
  for (int j = 1; j <= 18; ++j) {
    Values band(32);
    for (int i = 0; i < 32; ++i) band[i] = i % 2 == 0 ? (1 << j) : -(1 << j);
    int parameter = 0;
    EXPECT_EQ(chooseBandParameter(band.data(), 32, parameter), 32 * j + 80) << j;
    EXPECT_EQ(parameter, j + 1) << j;
  }
  const std::int32_t values[] = {0, -1, 1, -2, 2, kMin};
  EXPECT_EQ(riceCost(values + 5, 1, 0), std::numeric_limits<std::int32_t>::max());  // clamped
}

// The lane sums and 32-bit quotients of the fast path near the 2^20 limit,
// beyond it and at the 32-bit extremes, in bands that end on a lane boundary
// and bands that do not.
TEST(Analysis, BandChoiceAtTheMomentsLimits) {
  const std::int32_t edge = (1 << 20) - 1;
  const struct {
    Values fill;
    int count;
    std::int32_t cost;
    int parameter;
  } cases[] = {
      {{edge, -edge, 3}, 32, 700, 20},
      {{edge, -edge, 3}, 7, 153, 20},
      {{edge + 1, -5, 9}, 32, 676, 19},
      {{edge + 1, -5, 9}, 7, 150, 19},
      {{kMin, 7, 2147483647}, 32, 1045, 31},
      {{kMin, 7, 2147483647}, 7, 229, 31},
      {{-edge, -edge, -edge + 40}, 32, 2097304, 5},
      {{-edge, -edge, -edge + 40}, 7, 458785, 5},
  };
  for (const auto& c : cases) {
    Values band(c.count);
    for (int i = 0; i < c.count; ++i) {  // wrapping, so that the extremes stay defined
      band[i] = static_cast<std::int32_t>(static_cast<std::uint32_t>(c.fill[static_cast<std::size_t>(i * 7 % 3)]) -
                                          static_cast<std::uint32_t>(i % 5));
    }
    int parameter = 99;
    EXPECT_EQ(chooseBandParameter(band.data(), c.count, parameter), c.cost) << c.fill[0] << " " << c.count;
    EXPECT_EQ(parameter, c.parameter) << c.fill[0] << " " << c.count;
  }
}

// Each analysis writes its own segment's coefficients and bands only (the
// types and costs of real segments are pinned by the golden files), and a
// full-scale square wave costs more than 16 bits can hold.
TEST(Analysis, WritesOnlyItsSegmentAndCostsBeyondSixteenBits) {
  Values coefficients(4096, 77);
  std::vector<std::int8_t> bands(128, 77);
  SegmentType type{};
  std::vector<std::int16_t> samples(128, 0);
  samples[0] = 1;  // every coefficient quantises to zero, d = (0, 0, 0, -2): cost B + 36
  EXPECT_EQ(analyseBlock(7, samples.data(), coefficients.data(), bands.data(), type), 4 + 36);
  EXPECT_EQ(type, SegmentType::Transform);
  EXPECT_EQ(std::count(coefficients.begin(), coefficients.begin() + 128, 0) +
                std::count(bands.begin(), bands.begin() + 4, -3),
            132);
  EXPECT_EQ(std::count(coefficients.begin(), coefficients.end(), 77) + std::count(bands.begin(), bands.end(), 77),
            4092);
  std::vector<std::int16_t> square(4096);
  for (int i = 0; i < 4096; ++i) square[i] = (i / 8) % 2 == 0 ? 32767 : -32768;
  EXPECT_GT(analyseBlock(12, square.data(), coefficients.data(), bands.data(), type), 32767);
}

// The rate rounding leaves each coefficient rounded or one step nearer zero
// and chooses the band parameters for the coefficients it keeps; without it
// the analysis is the reference one. What it costs and keeps is pinned by the
// golden files of the Best mode.
TEST(Analysis, RateRoundingStepsTowardZero) {
  std::mt19937 random(7);
  AnalysisTuning rate;
  rate.rateWeight = 0.7;
  rate.rateMaxParameter = 1;
  for (int s = 7; s <= 12; ++s) {
    const int L = 1 << s, B = L / 32;
    std::vector<std::int16_t> samples(L);
    for (int i = 0; i < L; ++i) {
      const double music = 3000 * std::sin(i * 0.05) + 400 * std::sin(i * 1.3);
      samples[i] = static_cast<std::int16_t>(music + static_cast<int>(random() % 7) - 3);
    }
    Values plain(L), tuned(L), again(L);
    std::vector<std::int8_t> plainBands(B), tunedBands(B), againBands(B);
    SegmentType type{};
    const std::int32_t plainCost = analyseBlock(s, samples.data(), plain.data(), plainBands.data(), type);
    EXPECT_EQ(analyseBlock(s, samples.data(), again.data(), againBands.data(), type, AnalysisTuning{}), plainCost);
    EXPECT_TRUE(again == plain && againBands == plainBands);
    analyseBlock(s, samples.data(), tuned.data(), tunedBands.data(), type, rate);
    int moved = 0;
    for (int i = 0; i < L; ++i) {
      const std::int32_t toward = plain[i] > 0 ? plain[i] - 1 : plain[i] < 0 ? plain[i] + 1 : 0;
      ASSERT_TRUE(tuned[i] == plain[i] || tuned[i] == toward) << "s " << s << " coefficient " << i;
      moved += tuned[i] != plain[i];
    }
    EXPECT_GT(moved, 0) << s;
    for (int j = 0; j < B; ++j) {
      int parameter = 0;
      chooseBandParameter(tuned.data() + 32 * j, 32, parameter);
      EXPECT_EQ(tunedBands[j], parameter) << s << " band " << j;
    }
  }
}

}  // namespace
}  // namespace qola
