#include "dsp/Fft.h"

#include "common/Fatal.h"

#include <array>
#include <cstdint>
#include <memory>
#include <new>
#include <string>
#include <utility>

#include "common/CpuPath.h"
#include "dsp/TransformTables.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace qola {
namespace {

[[gnu::always_inline]] inline void butterfly(double* y, int p, int q) {
  double t = y[p] + y[q];
  y[q] = y[p] - y[q];
  y[p] = t;
}

// z_p and z_q (p = N/2 + i, q = 3N/4 + i) times e^(-2 pi i i/N) and
// e^(-2 pi i 3i/N), three multiplications each, for count consecutive i;
// the tables start at the entries of the first.
[[gnu::always_inline]] inline void twiddles(double* __restrict rp, double* __restrict ip, double* __restrict rq,
                                            double* __restrict iq, const double* c1, const double* d1,
                                            const double* e1, const double* c3, const double* d3, const double* e3,
                                            int count) {
  for (int k = 0; k < count; ++k) {
    double t = (ip[k] + rp[k]) * c1[k];
    double u = d1[k] * rp[k] + t;
    rp[k] = e1[k] * ip[k] + t;
    ip[k] = u;
    t = (iq[k] + rq[k]) * c3[k];
    u = d3[k] * rq[k] + t;
    rq[k] = iq[k] * e3[k] + t;
    iq[k] = u;
  }
}

// The third and last quarters of a pass (p = N/2 + i, q = 3N/4 + i): z_p - i z_q
// and z_p + i z_q, then the twiddle factors. The quarters come through
// separate pointers, so the compiler may run independent indices side by
// side in vector lanes; each value still sees exactly the operations written
// here, in order.
[[gnu::always_inline]] inline void rotateQuarters(double* __restrict re2, double* __restrict im2,
                                                  double* __restrict re3, double* __restrict im3, int logm) {
  const int quarter = 1 << (logm - 2);
  const int eighth = quarter / 2;
  for (int i = 0; i < quarter; ++i) {
    const double t1 = im3[i] + re2[i];
    const double t2 = im2[i] + re3[i];
    im2[i] = im2[i] - re3[i];
    re3[i] = re2[i] - im3[i];
    re2[i] = t1;
    im3[i] = t2;
  }

  if (logm >= kMinTwiddleLogm) {
    const double* c1 = fftTwiddleTable(logm);
    const int count = quarter - 2;
    const double* d1 = c1 + count;
    const double* e1 = d1 + count;
    const double* c3 = e1 + count;
    const double* d3 = c3 + count;
    const double* e3 = d3 + count;
    // Indices 1 .. N/8 - 1 use entries 0 .. N/8 - 2; N/8 + 1 .. N/4 - 1 the rest.
    twiddles(re2 + 1, im2 + 1, re3 + 1, im3 + 1, c1, d1, e1, c3, d3, e3, eighth - 1);
    twiddles(re2 + eighth + 1, im2 + eighth + 1, re3 + eighth + 1, im3 + eighth + 1, c1 + eighth - 1,
             d1 + eighth - 1, e1 + eighth - 1, c3 + eighth - 1, d3 + eighth - 1, e3 + eighth - 1, eighth - 1);
  }

  // i = N/8: the factors are (1 - i) / sqrt(2) and -(1 + i) / sqrt(2).
  const double r = kSqrtHalf;
  double t = (im2[eighth] + re2[eighth]) * r;
  im2[eighth] = (im2[eighth] - re2[eighth]) * r;
  re2[eighth] = t;
  t = (im3[eighth] - re3[eighth]) * r;
  im3[eighth] = (im3[eighth] + re3[eighth]) * (-r);
  re3[eighth] = t;
}

// One pass of the transform: the butterflies of the two halves, then the
// rotations of the third and last quarters.
[[gnu::always_inline]] inline void splitPass(double* re, double* im, int logm) {
  const int half = 1 << (logm - 1);
  const int quarter = half / 2;
  for (int i = 0; i < half; ++i) butterfly(re, i, i + half);
  for (int i = 0; i < half; ++i) butterfly(im, i, i + half);
  rotateQuarters(re + half, im + half, re + half + quarter, im + half + quarter, logm);
}

// The transform of four points, the most frequent leaf of the recursion.
void fourPoints(double* re, double* im) {
#if defined(__SSE2__)
  // The same operations on the same values in SSE2 lanes: the butterflies
  // (0, 2) and (1, 3) side by side, then (0, 1) of re and im side by side.
  // x + (-y) is x - y to the last bit, and a sum does not depend on the order
  // of its two terms.
  const __m128d re01 = _mm_loadu_pd(re);
  const __m128d re23 = _mm_loadu_pd(re + 2);
  const __m128d im01 = _mm_loadu_pd(im);
  const __m128d im23 = _mm_loadu_pd(im + 2);
  const __m128d sumRe = _mm_add_pd(re01, re23);
  const __m128d sumIm = _mm_add_pd(im01, im23);
  const __m128d differenceRe = _mm_sub_pd(re01, re23);  // re[2], re[3]
  const __m128d differenceIm = _mm_sub_pd(im01, im23);  // im[2], im[3]
  const __m128d first = _mm_unpacklo_pd(sumRe, sumIm);   // re[0], im[0]
  const __m128d second = _mm_unpackhi_pd(sumRe, sumIm);  // re[1], im[1]
  const __m128d plus = _mm_add_pd(first, second);
  const __m128d minus = _mm_sub_pd(first, second);
  _mm_storeu_pd(re, _mm_unpacklo_pd(plus, minus));
  _mm_storeu_pd(im, _mm_unpackhi_pd(plus, minus));
  // re[2] + im[3] and re[2] - im[3]; im[2] - re[3] and im[2] + re[3].
  const __m128d negateHigh = _mm_set_pd(-0.0, 0.0);
  const __m128d negateLow = _mm_set_pd(0.0, -0.0);
  const __m128d re2 = _mm_unpacklo_pd(differenceRe, differenceRe);
  const __m128d im3 = _mm_unpackhi_pd(differenceIm, differenceIm);
  const __m128d im2 = _mm_unpacklo_pd(differenceIm, differenceIm);
  const __m128d re3 = _mm_unpackhi_pd(differenceRe, differenceRe);
  _mm_storeu_pd(re + 2, _mm_add_pd(re2, _mm_xor_pd(im3, negateHigh)));
  _mm_storeu_pd(im + 2, _mm_add_pd(im2, _mm_xor_pd(re3, negateLow)));
#else
  butterfly(re, 0, 2);
  butterfly(im, 0, 2);
  butterfly(re, 1, 3);
  butterfly(im, 1, 3);
  butterfly(re, 0, 1);
  butterfly(im, 0, 1);
  double t1 = im[3] + re[2];
  double t2 = im[2] + re[3];
  im[2] = im[2] - re[3];
  re[3] = re[2] - im[3];
  re[2] = t1;
  im[3] = t2;
#endif
}

// The small lengths with the length fixed at compile time: the same
// operations on the same values as the general recursion, unrolled.
template <int logm>
void fixedSplitRadix(double* re, double* im) {
  if constexpr (logm == 1) {
    butterfly(re, 0, 1);
    butterfly(im, 0, 1);
  } else if constexpr (logm == 2) {
    fourPoints(re, im);
  } else if constexpr (logm >= 3) {
    constexpr int half = 1 << (logm - 1);
    constexpr int quarter = half / 2;
    splitPass(re, im, logm);
    fixedSplitRadix<logm - 1>(re, im);
    fixedSplitRadix<logm - 2>(re + half, im + half);
    fixedSplitRadix<logm - 2>(re + half + quarter, im + half + quarter);
  }
}

constexpr int kMaxFixedLogm = 5;

// The long passes, whose loops run in vector lanes, in two builds.
using SplitPass = void (*)(double*, double*, int);
void longPass(double* re, double* im, int logm) { splitPass(re, im, logm); }
#if QOLA_AVX2_KERNELS
QOLA_TARGET_AVX2 void longPassAvx2(double* re, double* im, int logm) { splitPass(re, im, logm); }
#endif

SplitPass longPassKernel() {
#if QOLA_AVX2_KERNELS
  if (cpuPath() == CpuPath::Avx2) return longPassAvx2;
#endif
  return longPass;
}

void splitRadix(double* re, double* im, int logm, SplitPass pass) {
  // The last quarter's call is the loop back with logm - 2.
  while (logm > kMaxFixedLogm) {
    const int half = 1 << (logm - 1);
    const int quarter = half / 2;
    pass(re, im, logm);
    splitRadix(re, im, logm - 1, pass);
    splitRadix(re + half, im + half, logm - 2, pass);
    re += half + quarter;
    im += half + quarter;
    logm -= 2;
  }
  switch (logm) {
    case 5: return fixedSplitRadix<5>(re, im);
    case 4: return fixedSplitRadix<4>(re, im);
    case 3: return fixedSplitRadix<3>(re, im);
    case 2: return fixedSplitRadix<2>(re, im);
    case 1: return fixedSplitRadix<1>(re, im);
    default: return;
  }
}

}  // namespace

const double* fftTwiddleTable(int logm) { return kTwiddleTableData + tableOffset(twiddleTableSize, logm); }

void SRFFT(double* re, double* im, int logm) {
  checkLogm("SRFFT", logm, kMaxFftLogm);
  splitRadix(re, im, logm, longPassKernel());
}

void BITREV(double* x, int logm) {
  if (logm < 0 || logm > kMaxFftLogm) return;  // unreachable through CFFT, which checks first
  const int n = 1 << logm;
  for (int j = 1; j < n; ++j) {
    const int r = reversedIndex(j, logm);
    if (j < r) std::swap(x[j], x[r]);
  }
}

void CFFT(double* re, double* im, int logm) {
  SRFFT(re, im, logm);
  if (logm > 1) {
    BITREV(re, logm);
    BITREV(im, logm);
  }
}

}  // namespace qola
