#include "dsp/ExactTrig.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "dsp/Dct.h"
#include "dsp/Fft.h"

#ifdef QOLA_HAVE_MPFR
#include <mpfr.h>
#endif

namespace qola {
namespace {

#ifdef QOLA_HAVE_MPFR

SinCos referenceSinCos(double x) {  // MPFR rounds correctly to the 53-bit target
  mpfr_t a, s, c;
  mpfr_inits2(53, a, s, c, static_cast<mpfr_ptr>(nullptr));
  mpfr_set_d(a, x, MPFR_RNDN);
  mpfr_sin_cos(s, c, a, MPFR_RNDN);
  const SinCos result{mpfr_get_d(s, MPFR_RNDN), mpfr_get_d(c, MPFR_RNDN)};
  mpfr_clears(a, s, c, static_cast<mpfr_ptr>(nullptr));
  return result;
}

TEST(ExactTrig, CorrectlyRoundedOverTheWholeRange) {
  std::mt19937_64 random(11);
  std::uniform_real_distribution<double> argument(0.0, 5.0);
  for (int i = 0; i < 200000; ++i) {
    const double x = argument(random);
    const SinCos expected = referenceSinCos(x);
    const SinCos actual = exactSinCos(x);
    ASSERT_EQ(actual.sin, expected.sin) << std::hexfloat << x;
    ASSERT_EQ(actual.cos, expected.cos) << std::hexfloat << x;
  }
  // Arguments next to multiples of pi/2, where the reduction cancels most bits.
  for (double centre : {0x1.921fb54442d18p+0, 0x1.921fb54442d18p+1, 0x1.2d97c7f3321d2p+2}) {
    double x = centre;
    for (int step = 0; step < 64; ++step) x = std::nextafter(x, 0.0);
    for (int step = 0; step < 128; ++step, x = std::nextafter(x, 10.0)) {
      ASSERT_EQ(exactSinCos(x).sin, referenceSinCos(x).sin) << std::hexfloat << x;
      ASSERT_EQ(exactSinCos(x).cos, referenceSinCos(x).cos) << std::hexfloat << x;
    }
  }
}

// Every entry of every table the codec can use, rebuilt from MPFR's sines and cosines.
TEST(ExactTrig, EveryTableEntryIsBuiltFromCorrectlyRoundedValues) {
  for (int logm = 4; logm <= kMaxFftLogm; ++logm) {
    const int n = 1 << logm;
    const int count = n / 4 - 2;
    const double* table = fftTwiddleTable(logm);
    int k = 0;
    for (int i = 1; i < n / 4; ++i) {
      if (i == n / 8) continue;
      const SinCos a = referenceSinCos((i * 6.283185307179586) / n);
      const SinCos b = referenceSinCos((3 * i * 6.283185307179586) / n);
      const double expected[6] = {a.cos, -(a.sin + a.cos), a.sin - a.cos,
                                  b.cos, -(b.sin + b.cos), b.sin - b.cos};
      for (int t = 0; t < 6; ++t) ASSERT_EQ(table[t * count + k], expected[t]) << logm << " " << i;
      ++k;
    }
  }
  const double* two = dctIvTable(1, std::sqrt(2.0));
  EXPECT_EQ(two[0], std::sqrt(2.0) * 0.92387953251129);
  EXPECT_EQ(two[1], std::sqrt(2.0) * 0.38268343236509);
  for (int logm = 2; logm <= kMaxDctLogm; ++logm) {
    const int n = 1 << logm;
    const int half = n / 2;
    const double scale = std::sqrt(static_cast<double>(n));
    const double e = std::sqrt(2.0 / n) * scale;
    const double* table = dctIvTable(logm, scale);
    for (int i = 0; i < half; ++i) {
      const SinCos pre = referenceSinCos(((i + 0.25) * 3.141592653589793) / n);
      ASSERT_EQ(table[i], pre.cos);
      ASSERT_EQ(table[half + i], -(pre.sin + pre.cos));
      ASSERT_EQ(table[2 * half + i], pre.sin - pre.cos);
    }
    int j = 0;
    for (int i = 0; i < half; ++i) {
      if (i == n / 4) {
        ASSERT_EQ(table[3 * half + i], e * 0.7071067811865476);
        continue;
      }
      const SinCos post = referenceSinCos((i * 3.141592653589793) / n);
      const double c = e * post.cos;
      const double s = e * post.sin;
      ASSERT_EQ(table[3 * half + i], c) << logm << " " << i;
      ASSERT_EQ(table[4 * half + j], -(s + c)) << logm << " " << i;
      ASSERT_EQ(table[5 * half + j], s - c) << logm << " " << i;
      ++j;
    }
  }
}

#endif

}  // namespace
}  // namespace qola
