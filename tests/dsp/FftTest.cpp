#include "dsp/Fft.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>
#include <vector>

#include "TestSupport.h"

namespace qola {
namespace {

int reversed(int j, int bits) {
  int r = 0;
  for (int b = 0; b < bits; ++b) r |= ((j >> b) & 1) << (bits - 1 - b);
  return r;
}

TEST(Fft, CfftMatchesDirectDftAtEveryLength) {
  std::mt19937 random(7);
  std::uniform_real_distribution<double> value(-1.0, 1.0);
  for (int logm = 0; logm <= kMaxFftLogm; ++logm) {
    const int n = 1 << logm;
    std::vector<double> re(n), im(n);
    for (int i = 0; i < n; ++i) re[i] = value(random), im[i] = value(random);
    std::vector<double> outRe = re, outIm = im;
    CFFT(outRe.data(), outIm.data(), logm);
    std::vector<double> cosine(n), sine(n);
    for (int t = 0; t < n; ++t) {
      cosine[t] = std::cos(2.0 * std::numbers::pi * t / n);
      sine[t] = -std::sin(2.0 * std::numbers::pi * t / n);
    }
    double worst = 0.0;
    for (int k = 0; k < n; ++k) {
      double sumRe = 0.0, sumIm = 0.0;
      for (int j = 0; j < n; ++j) {
        const int t = static_cast<int>((static_cast<long>(j) * k) % n);
        sumRe += re[j] * cosine[t] - im[j] * sine[t];
        sumIm += re[j] * sine[t] + im[j] * cosine[t];
      }
      worst = std::max({worst, std::abs(sumRe - outRe[k]), std::abs(sumIm - outIm[k])});
    }
    EXPECT_LT(worst, 1e-13 * n + 1e-15) << "logm " << logm;
  }
}

TEST(Fft, SmallTransformsLeaveBitReversedOrder) {
  double re1[] = {3.0}, im1[] = {-2.0};
  SRFFT(re1, im1, 0);
  EXPECT_EQ(re1[0], 3.0);
  EXPECT_EQ(im1[0], -2.0);

  double re2[] = {3.0, 5.0}, im2[] = {1.0, -4.0};
  SRFFT(re2, im2, 1);
  EXPECT_EQ(std::vector<double>(re2, re2 + 2), (std::vector<double>{8.0, -2.0}));
  EXPECT_EQ(std::vector<double>(im2, im2 + 2), (std::vector<double>{-3.0, 5.0}));

  // (a, b, c, d) -> a+b+c+d, a-b+c-d, (a-c) - i(b-d), (a-c) + i(b-d)
  double re4[] = {1.0, 2.0, 4.0, 8.0}, im4[] = {0.0, 0.0, 0.0, 0.0};
  SRFFT(re4, im4, 2);
  EXPECT_EQ(std::vector<double>(re4, re4 + 4), (std::vector<double>{15.0, -5.0, -3.0, -3.0}));
  EXPECT_EQ(std::vector<double>(im4, im4 + 4), (std::vector<double>{0.0, 0.0, 6.0, -6.0}));
}

TEST(Fft, BitReversalPermutesCorrectlyWhateverTheOrderOfLengths) {
  for (int logm : {5, 6, 5, 4, 6, 12, 3, 11, 2, 7, 8, 9, 10, 1, 0}) {
    const int n = 1 << logm;
    std::vector<double> x(n);
    for (int i = 0; i < n; ++i) x[i] = i;
    BITREV(x.data(), logm);
    for (int j = 0; j < n; ++j) ASSERT_EQ(x[j], reversed(j, logm)) << "logm " << logm << " j " << j;
  }
}

TEST(Fft, OutOfRangeLengthsAreFatal) {
  double re[2] = {}, im[2] = {};
  EXPECT_EQ(test::fatalMessageOf([&] { SRFFT(re, im, -1); }),
            "Error: SRFFT: logm = -1 is out of bounds [0, 12]");
  EXPECT_EQ(test::fatalMessageOf([&] { CFFT(re, im, 13); }),
            "Error: SRFFT: logm = 13 is out of bounds [0, 12]");
  EXPECT_EXIT(SRFFT(re, im, 13), ::testing::ExitedWithCode(1), "");
}

}  // namespace
}  // namespace qola
