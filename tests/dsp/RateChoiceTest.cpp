#include "dsp/RateChoice.h"

#include <gtest/gtest.h>

#include <array>
#include <random>
#include <vector>

#include "common/FormatConstants.h"
#include "dsp/Analysis.h"

namespace qola {
namespace {

// One coefficient (with its pair partner) in a band of otherwise zeros, its
// quotient, and where the rate rounding must leave it. With the weight 0.7 a
// coefficient moves when |x| < |q| - 1/2 + 0.0877 per bit saved.
struct Move {
  int parameter;
  std::int32_t q, partner;
  double x;
  std::int32_t expected;
  int largest = format::kMaxBandParameter;  // bands above this parameter are not looked at
};

TEST(RateChoice, MovesTowardZeroOnlyWhereTheSavedBitsOutweighTheError) {
  const Move moves[] = {
      {-1, 1, 0, 0.58, 0},   {-1, 1, 0, 0.60, 1},     // ternary: 1 bit saved
      {-1, -1, 0, -0.58, 0}, {-2, 1, 0, 0.70, 0},     // a lone pair value saves the pair's 3 bits
      {-2, 1, 1, 0.51, 1},   {-2, -1, 0, -0.77, -1},  // a full pair saves nothing; beyond 3 bits' worth
      {0, 2, 0, 1.66, 1},    {0, 2, 0, 1.68, 2},      // unary: 2 bits saved
      {0, -1, 0, -0.58, 0},  {0, -1, 0, -0.60, -1},   // unary -1 -> 0: 1 bit
      {1, 3, 0, 2.58, 2},    {1, -1, 0, -0.51, -1},   // Rice 1: -1 and 0 cost the same
      {2, 2, 0, 1.58, 1},    {2, 3, 0, 2.51, 3},      // Rice 2: only even magnitude indices shorten
      {2, -3, 0, -2.55, -2}, {2, -2, 0, -1.51, -2},
      {-3, 1, 0, 0.51, 1},                            // a zero band is never touched (nor is it valid)
      {2, 2, 0, 1.55, 2, 1}, {-1, 1, 0, 0.55, 0, 1},  // above the largest parameter looked at: stays
  };
  AnalysisTuning tuning;
  tuning.rateWeight = 0.7;
  for (const Move& m : moves) {
    tuning.rateMaxParameter = m.largest;
    std::array<std::int32_t, 32> band{};
    std::array<double, 32> quotients{};
    band[6] = m.q, band[7] = m.partner;
    quotients[6] = m.x, quotients[7] = m.partner;
    const std::int8_t parameter = static_cast<std::int8_t>(m.parameter);
    bool changed = true;  // written for every band
    const int count = moveTowardZero(5, quotients.data(), tuning, band.data(), &parameter, &changed);
    EXPECT_EQ(band[6], m.expected) << "parameter " << m.parameter << " q " << m.q << " x " << m.x;
    EXPECT_EQ(band[7], m.partner);
    EXPECT_EQ(changed, m.expected != m.q);
    EXPECT_EQ(count, changed ? 1 : 0);
  }
}

// Bits of one band's code words under a parameter, written out from the code
// definitions; -1 where the parameter cannot code the band.
std::int64_t codeBits(const std::int32_t* v, int p) {
  std::int64_t bits = 0;
  for (int i = 0; i < 32; ++i) {
    const std::int64_t e = v[i];
    if (p <= -1 && (e < -1 || e > 1)) return -1;
    if (p == -3 && e != 0) return -1;
    if (p == -1) bits += e == 0 ? 1 : 2;
    if (p == -2 && i % 2 == 0) bits += e == 0 && v[i + 1] == 0 ? 1 : 4;
    if (p == 0) bits += (e >= 0 ? 2 * e : -2 * e - 1) + 1;
    if (p >= 1) bits += ((e >= 0 ? e : -e - 1) >> (p - 1)) + 1 + p;
  }
  return bits;
}

std::int64_t differenceBits(int d) { return (d >= 0 ? 2 * d : -2 * d - 1) + 1; }

// Three bands against every parameter triple from -3 to 9: the chosen
// parameters code the bands and their differences (the last against -1) in
// the fewest bits there are, and the returned count is those bits.
TEST(RateChoice, ChoosesTheBandParametersOfTheShortestCode) {
  std::mt19937 random(5);
  for (int trial = 0; trial < 60; ++trial) {
    SCOPED_TRACE(::testing::Message() << "trial " << trial);
    std::array<std::int32_t, 96> values{};
    for (int band = 0; band < 3; ++band) {
      // Quiet (zero or -1..1), middling and loud bands in every order.
      const int scale = static_cast<int>((random() >> 4) % 5);
      std::geometric_distribution<int> magnitude(scale == 0 ? 0.97 : 1.0 / (1 << (2 * scale)));
      for (int i = 0; i < 32; ++i) {
        int v = magnitude(random);
        if (scale == 0) v = std::min(v, 1);
        if (scale == 1 && trial % 3 == 0) v = 0;
        values[static_cast<std::size_t>(32 * band + i)] = (random() & 1) != 0 ? v : -v;
      }
    }
    std::int8_t parameters[3];
    for (int band = 0; band < 3; ++band) {
      int parameter = 0;
      chooseBandParameter(values.data() + 32 * band, 32, parameter);
      parameters[band] = static_cast<std::int8_t>(parameter);
    }
    const std::int64_t bits = chooseBandParametersExactly(values.data(), 3, parameters);
    std::int64_t fewest = -1;
    for (int a = -3; a <= 9; ++a) {
      for (int b = -3; b <= 9; ++b) {
        for (int c = -3; c <= 9; ++c) {
          const std::int64_t ca = codeBits(values.data(), a), cb = codeBits(values.data() + 32, b),
                             cc = codeBits(values.data() + 64, c);
          if (ca < 0 || cb < 0 || cc < 0) continue;
          const std::int64_t total =
              ca + cb + cc + differenceBits(b - a) + differenceBits(c - b) + differenceBits(-1 - c);
          if (fewest < 0 || total < fewest) fewest = total;
        }
      }
    }
    const int a = parameters[0], b = parameters[1], c = parameters[2];
    const std::int64_t ca = codeBits(values.data(), a), cb = codeBits(values.data() + 32, b),
                       cc = codeBits(values.data() + 64, c);
    ASSERT_TRUE(ca >= 0 && cb >= 0 && cc >= 0) << a << " " << b << " " << c;
    EXPECT_EQ(ca + cb + cc + differenceBits(b - a) + differenceBits(c - b) + differenceBits(-1 - c), fewest);
    EXPECT_EQ(bits, fewest);
  }
}

}  // namespace
}  // namespace qola
