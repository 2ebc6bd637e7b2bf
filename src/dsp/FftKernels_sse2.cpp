// The FFT's four-point leaf in SSE2 lanes, and the unrolled transforms built on it.
#include "dsp/FftKernels.h"

#include "common/CpuPath.h"

#if QOLA_SSE2_KERNELS
#include <emmintrin.h>

namespace qola::sse2 {
namespace {

// The same operations on the same values as the portable leaf: the
// butterflies (0, 2) and (1, 3) side by side, then (0, 1) of re and im side
// by side. x + (-y) is x - y to the last bit, and a sum does not depend on
// the order of its two terms.
void fourPoints(double* re, double* im) {
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
}

}  // namespace

void fixedFftTransform(double* re, double* im, int logm) { fft::fixedTransform<fourPoints>(re, im, logm); }

}  // namespace qola::sse2
#endif
