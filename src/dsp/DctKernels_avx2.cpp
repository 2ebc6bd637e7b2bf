// The DCT's rotation into the working vector in AVX2 lanes, four k at a
// time; the other loops keep their SSE2 build, which is as fast here.
#include "dsp/DctKernels.h"

#include "common/CpuPath.h"

#if QOLA_AVX2_KERNELS
#include <immintrin.h>

namespace qola::avx2 {

// The shuffles gather x[2k .. 2k + 6] and x[n - 1 - 2k .. n - 7 - 2k].
QOLA_TARGET_AVX2 void preRotate(const PreRotation& p) {
  const int half = p.n / 2;
  int k = 0;
  for (; k + 4 <= half; k += 4) {
    const __m256d low = _mm256_loadu_pd(p.x + 2 * k);
    const __m256d high = _mm256_loadu_pd(p.x + 2 * k + 4);
    const __m256d a = _mm256_permute4x64_pd(_mm256_unpacklo_pd(low, high), 0xd8);  // lanes 0, 2, 1, 3
    const __m256d end = _mm256_loadu_pd(p.x + p.n - 4 - 2 * k);
    const __m256d before = _mm256_loadu_pd(p.x + p.n - 8 - 2 * k);
    const __m256d b = _mm256_permute4x64_pd(_mm256_unpackhi_pd(end, before), 0x72);  // lanes 2, 0, 3, 1
    const __m256d t = _mm256_mul_pd(_mm256_add_pd(b, a), _mm256_loadu_pd(p.c + k));
    _mm256_storeu_pd(p.im + k, _mm256_add_pd(_mm256_mul_pd(_mm256_loadu_pd(p.d + k), a), t));
    _mm256_storeu_pd(p.re + k, _mm256_add_pd(_mm256_mul_pd(_mm256_loadu_pd(p.e + k), b), t));
  }
  if (k < half) sse2::preRotate(p);  // lengths below four k
}

}  // namespace qola::avx2
#endif
