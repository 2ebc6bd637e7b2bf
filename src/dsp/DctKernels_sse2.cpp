// The DCT's loops in SSE2 lanes: two consecutive values side by side, each
// with the operations of the portable loop.
#include "dsp/DctKernels.h"

#include "common/CpuPath.h"

#if QOLA_SSE2_KERNELS
#include <emmintrin.h>

namespace qola::sse2 {

void interleave(const double* a, const double* b, int m, double* into) {
  for (int i = 0; i < m; i += 2) {
    const __m128d pa = _mm_loadu_pd(a + i);
    const __m128d pb = _mm_loadu_pd(b + i);
    _mm_storeu_pd(into + 2 * i, _mm_unpacklo_pd(pa, pb));
    _mm_storeu_pd(into + 2 * i + 2, _mm_unpackhi_pd(pa, pb));
  }
}

void interleaveTwice(const double* n, const double* a, const double* b, int m, double* into) {
  for (int i = 0; i < m; i += 2) {
    const __m128d pn = _mm_loadu_pd(n + i);
    const __m128d pa = _mm_loadu_pd(a + i);
    const __m128d b0 = _mm_loadu_pd(b + 2 * i);
    const __m128d b1 = _mm_loadu_pd(b + 2 * i + 2);
    double* out = into + 4 * i;
    _mm_storeu_pd(out, _mm_unpacklo_pd(pn, b0));
    _mm_storeu_pd(out + 2, _mm_shuffle_pd(pa, b0, 2));
    _mm_storeu_pd(out + 4, _mm_shuffle_pd(pn, b1, 1));
    _mm_storeu_pd(out + 6, _mm_unpackhi_pd(pa, b1));
  }
}

// Lanes i, i + 1 and their mirrors.
void foldHalves(double* v, int size) {
  const int half = size / 2;
  const int quarter = size / 4;
  int i = 0;
  for (; i + 2 <= quarter; i += 2) {
    const int mirror = half - 2 - i;  // i and i + 1 reflected, in ascending order
    const __m128d a1 = _mm_loadu_pd(v + i);
    const __m128d b1 = _mm_shuffle_pd(_mm_loadu_pd(v + size - 2 - i), _mm_loadu_pd(v + size - 2 - i), 1);
    const __m128d a2 = _mm_shuffle_pd(_mm_loadu_pd(v + mirror), _mm_loadu_pd(v + mirror), 1);
    const __m128d b2 = _mm_loadu_pd(v + half + i);
    _mm_storeu_pd(v + i, _mm_add_pd(a1, b1));
    _mm_storeu_pd(v + half + i, _mm_sub_pd(a1, b1));
    const __m128d sum2 = _mm_add_pd(a2, b2);
    const __m128d difference2 = _mm_sub_pd(a2, b2);
    _mm_storeu_pd(v + mirror, _mm_shuffle_pd(sum2, sum2, 1));
    _mm_storeu_pd(v + size - 2 - i, _mm_shuffle_pd(difference2, difference2, 1));
  }
  foldHalvesFrom(v, size, i);
}

// Two k at a time: x[2k], x[2k + 2] and x[n - 1 - 2k], x[n - 3 - 2k].
void preRotate(const PreRotation& p) {
  const int half = p.n / 2;
  int k = 0;
  for (; k + 2 <= half; k += 2) {
    const __m128d a = _mm_unpacklo_pd(_mm_loadu_pd(p.x + 2 * k), _mm_loadu_pd(p.x + 2 * k + 2));
    const __m128d b = _mm_unpackhi_pd(_mm_loadu_pd(p.x + p.n - 2 - 2 * k), _mm_loadu_pd(p.x + p.n - 4 - 2 * k));
    const __m128d t = _mm_mul_pd(_mm_add_pd(b, a), _mm_loadu_pd(p.c + k));
    _mm_storeu_pd(p.im + k, _mm_add_pd(_mm_mul_pd(_mm_loadu_pd(p.d + k), a), t));
    _mm_storeu_pd(p.re + k, _mm_add_pd(_mm_mul_pd(_mm_loadu_pd(p.e + k), b), t));
  }
  preRotateFrom(p, k);
}

// An even k and k + 1 sit half a transform apart, and share two lanes.
void postRotate(const PostRotation& p, int first, int last, const double* d, const double* e) {
  int k = first;
  if (k % 2 != 0 && k < last) {
    postRotateFrom(p, k, k + 1, d, e);
    ++k;
  }
  const int apart = p.bits >= 1 ? 1 << (p.bits - 1) : 0;
  const __m128d signs = _mm_set1_pd(-0.0);
  for (; k + 2 <= last; k += 2) {
    const double* re = p.re + reversedIndex(k, p.bits);
    const double* im = p.im + reversedIndex(k, p.bits);
    const __m128d a = _mm_loadh_pd(_mm_load_sd(re), re + apart);
    const __m128d b = _mm_loadh_pd(_mm_load_sd(im), im + apart);
    const __m128d t = _mm_mul_pd(_mm_add_pd(b, a), _mm_loadu_pd(p.c + k));
    const __m128d u = _mm_add_pd(_mm_mul_pd(_mm_loadu_pd(d + k), a), t);
    const __m128d rotated = _mm_add_pd(_mm_mul_pd(_mm_loadu_pd(e + k), b), t);
    const __m128d negated = _mm_xor_pd(u, signs);  // -b, exactly
    _mm_store_sd(p.x + 2 * k, rotated);
    _mm_storeh_pd(p.x + 2 * k + 2, rotated);
    _mm_store_sd(p.x + p.n - 1 - 2 * k, negated);
    _mm_storeh_pd(p.x + p.n - 3 - 2 * k, negated);
  }
  postRotateFrom(p, k, last, d, e);
}

}  // namespace qola::sse2
#endif
