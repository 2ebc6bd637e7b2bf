// The tables computed when QOLA is built hold, bit for bit, the rotation
// constants of correctly rounded sines and cosines.
#include "dsp/TransformTables.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>

#include "dsp/Dct.h"
#include "dsp/Fft.h"

#ifdef QOLA_HAVE_MPFR
#include <mpfr.h>

namespace qola {
namespace {

struct SinCos {
  double sin;
  double cos;
};

SinCos referenceSinCos(double x) {  // MPFR rounds correctly to the 53-bit target
  mpfr_t a, s, c;
  mpfr_inits2(53, a, s, c, static_cast<mpfr_ptr>(nullptr));
  mpfr_set_d(a, x, MPFR_RNDN);
  mpfr_sin_cos(s, c, a, MPFR_RNDN);
  const SinCos result{mpfr_get_d(s, MPFR_RNDN), mpfr_get_d(c, MPFR_RNDN)};
  mpfr_clears(a, s, c, static_cast<mpfr_ptr>(nullptr));
  return result;
}

// The rotation constants of one angle: factor times (cos, -(sin + cos), sin - cos),
// the sine and cosine rounded first, each product rounded once.
std::array<double, 3> rotation(double angle, double factor = 1.0) {
  const SinCos v = referenceSinCos(angle);
  const double c = factor * v.cos, s = factor * v.sin;
  return {c, -(s + c), s - c};
}

// Every entry of every table the codec can use: these are the only
// arguments whose sines and cosines reach a file.
TEST(TransformTables, EveryTableEntryIsBuiltFromCorrectlyRoundedValues) {
  for (int logm = 4; logm <= kMaxFftLogm; ++logm) {
    const int n = 1 << logm, count = n / 4 - 2;
    const double* table = fftTwiddleTable(logm);
    for (int i = 1, k = 0; i < n / 4; ++i) {
      if (i == n / 8) continue;
      const auto a = rotation((i * 6.283185307179586) / n), b = rotation((3 * i * 6.283185307179586) / n);
      for (int t = 0; t < 3; ++t) {
        ASSERT_TRUE(table[t * count + k] == a[t] && table[(t + 3) * count + k] == b[t]) << logm << " " << i;
      }
      ++k;
    }
  }
  const double* two = dctIvTable(1);
  EXPECT_TRUE(two[0] == std::sqrt(2.0) * 0.92387953251129 && two[1] == std::sqrt(2.0) * 0.38268343236509);
  for (int logm = 2; logm <= kMaxDctLogm; ++logm) {
    const int n = 1 << logm, half = n / 2;
    const double scale = std::sqrt(static_cast<double>(n)), e = std::sqrt(2.0 / n) * scale;
    const double* table = dctIvTable(logm);
    for (int i = 0, j = 0; i < half; ++i) {
      const auto pre = rotation(((i + 0.25) * 3.141592653589793) / n);
      const auto post =
          i == n / 4 ? std::array{e * 0.7071067811865476, 0.0, 0.0} : rotation((i * 3.141592653589793) / n, e);
      for (int t = 0; t < 3; ++t) ASSERT_EQ(table[t * half + i], pre[t]) << logm << " " << i;
      ASSERT_EQ(table[3 * half + i], post[0]) << logm << " " << i;
      if (i == n / 4) continue;  // no D and E entries at pi/4
      ASSERT_TRUE(table[4 * half + j] == post[1] && table[5 * half + j] == post[2]) << logm << " " << i;
      ++j;
    }
  }
}

}  // namespace
}  // namespace qola

#else

TEST(TransformTables, EveryTableEntryIsBuiltFromCorrectlyRoundedValues) {
  GTEST_SKIP() << "GNU MPFR is not installed, so the trig tables are not checked against it";
}

#endif
