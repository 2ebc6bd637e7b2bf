// The FFT's passes and leaves, one build per instruction set: the portable
// C++ in FftKernels.cpp, the four-point leaf in SSE2 lanes in
// FftKernels_sse2.cpp, the long passes in AVX2 lanes in FftKernels_avx2.cpp.
// Each build gives every value exactly the operations written here, in
// order; the builds differ in speed only.
#pragma once

#include "dsp/Fft.h"
#include "dsp/TransformTables.h"

namespace qola {

// Transforms up to this length are unrolled at compile time.
inline constexpr int kMaxFixedFftLogm = 5;

struct FftKernels {
  // One pass of a transform longer than the unrolled ones.
  void (*longPass)(double* re, double* im, int logm);
  // A whole transform of 2^logm points, 1 <= logm <= kMaxFixedFftLogm.
  void (*fixedTransform)(double* re, double* im, int logm);
};

// The kernels of the processor path in use.
const FftKernels& fftKernels();
// The portable C++ alone, what a build without SIMD runs.
const FftKernels& portableFftKernels();

// The lane builds, where the processor family has them (QOLA_SSE2_KERNELS,
// QOLA_AVX2_KERNELS).
namespace sse2 {
void fixedFftTransform(double* re, double* im, int logm);
}  // namespace sse2
namespace avx2 {
void longFftPass(double* re, double* im, int logm);
}  // namespace avx2

namespace fft {

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

// The small lengths with the length fixed at compile time: the same
// operations on the same values as the general recursion, unrolled, with
// the four-point leaf of the build.
template <int logm, void (*fourPoints)(double*, double*)>
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
    fixedSplitRadix<logm - 1, fourPoints>(re, im);
    fixedSplitRadix<logm - 2, fourPoints>(re + half, im + half);
    fixedSplitRadix<logm - 2, fourPoints>(re + half + quarter, im + half + quarter);
  }
}

// The unrolled transforms by length, with the build's four-point leaf.
template <void (*fourPoints)(double*, double*)>
void fixedTransform(double* re, double* im, int logm) {
  switch (logm) {
    case 5: return fixedSplitRadix<5, fourPoints>(re, im);
    case 4: return fixedSplitRadix<4, fourPoints>(re, im);
    case 3: return fixedSplitRadix<3, fourPoints>(re, im);
    case 2: return fixedSplitRadix<2, fourPoints>(re, im);
    case 1: return fixedSplitRadix<1, fourPoints>(re, im);
    default: return;
  }
}

}  // namespace fft
}  // namespace qola
