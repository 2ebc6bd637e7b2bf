#include "dsp/Fft.h"

#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cmath>
#include <complex>
#include <numbers>
#include <random>

#include "TestSupport.h"

namespace qola {
namespace {

using Vector = std::vector<double>;

TEST(Fft, CfftMatchesDirectDftAtEveryLength) {
  std::mt19937 random(7);
  std::uniform_real_distribution<double> value(-1.0, 1.0);
  for (int logm = 0; logm <= kMaxFftLogm; ++logm) {
    const int n = 1 << logm;
    Vector re(n), im(n);
    std::vector<std::complex<double>> root(n);  // e^(-2 pi i t / n)
    for (int i = 0; i < n; ++i) {
      re[i] = value(random), im[i] = value(random);
      root[i] = std::polar(1.0, -2.0 * std::numbers::pi * i / n);
    }
    Vector outRe = re, outIm = im;
    CFFT(outRe.data(), outIm.data(), logm);
    double worst = 0.0;
    for (int k = 0; k < n; ++k) {
      std::complex<double> sum = 0.0;
      for (int j = 0; j < n; ++j) sum += std::complex(re[j], im[j]) * root[static_cast<long>(j) * k % n];
      worst = std::max(worst, std::abs(sum - std::complex(outRe[k], outIm[k])));
    }
    EXPECT_LT(worst, 1e-13 * n + 1e-15) << "logm " << logm;
  }
}

TEST(Fft, SmallOrdersAndBitReversal) {
  // SRFFT leaves bit-reversed order: (a, b, c, d) -> a+b+c+d, a-b+c-d, (a-c) - i(b-d), (a-c) + i(b-d).
  const std::array<Vector, 4> cases[] = {{Vector{3}, {-2}, {3}, {-2}}, {Vector{3, 5}, {1, -4}, {8, -2}, {-3, 5}},
                                         {Vector{1, 2, 4, 8}, {0, 0, 0, 0}, {15, -5, -3, -3}, {0, 0, 6, -6}}};
  for (auto [re, im, outRe, outIm] : cases) {
    SRFFT(re.data(), im.data(), std::countr_zero(re.size()));
    EXPECT_EQ(re, outRe);
    EXPECT_EQ(im, outIm);
  }
  // The permutation tables must not depend on the order in which lengths are first used.
  for (int logm : {5, 6, 5, 4, 6, 12, 3, 11, 2, 7, 8, 9, 10, 1, 0}) {
    Vector x(std::size_t{1} << logm);
    for (std::size_t i = 0; i < x.size(); ++i) x[i] = static_cast<double>(i);
    BITREV(x.data(), logm);
    for (int j = 0; j < static_cast<int>(x.size()); ++j) {
      int reversed = 0;
      for (int b = 0; b < logm; ++b) reversed |= ((j >> b) & 1) << (logm - 1 - b);
      ASSERT_EQ(x[j], reversed) << "logm " << logm << " j " << j;
    }
  }
}

TEST(Fft, OutOfRangeLengthsAreFatal) {
  double re[2] = {}, im[2] = {};
  EXPECT_EQ(test::fatalMessageOf([&] { SRFFT(re, im, -1); }), "Error: SRFFT: logm = -1 is out of bounds [0, 12]");
  EXPECT_EQ(test::fatalMessageOf([&] { CFFT(re, im, 13); }), "Error: SRFFT: logm = 13 is out of bounds [0, 12]");
}

}  // namespace
}  // namespace qola
