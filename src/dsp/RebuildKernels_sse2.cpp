// The rebuild's rounding and subtraction, eight values at a time in SSE2 lanes.
#include "dsp/RebuildKernels.h"

#include "common/CpuPath.h"

#if QOLA_SSE2_KERNELS
#include <emmintrin.h>

namespace qola::sse2 {

int subtractFromRounded(const double* values, const std::int16_t* subtrahends, int count, std::int16_t* out) {
  int i = 0;
  // Eight values at a time, each with the scalar steps: clamp, truncate, take
  // the exact fraction, step away from zero at a half. Only the low 16 bits of
  // the rounded value count, so the lanes narrow to 16 bits before the subtraction.
  const __m128d lowest = _mm_set1_pd(-2147483648.0);
  const __m128d highest = _mm_set1_pd(2147483647.0);
  const __m128d half = _mm_set1_pd(0.5);
  const __m128d minusHalf = _mm_set1_pd(-0.5);
  // Two values: their rounded 32-bit results in the low two lanes.
  const auto roundTwo = [&](const double* at) {
    // NaN clamps to the lowest value, which rounds to INT32_MIN as roundRebuilt gives for it.
    const __m128d y = _mm_min_pd(_mm_max_pd(_mm_loadu_pd(at), lowest), highest);
    const __m128i integral = _mm_cvttpd_epi32(y);
    const __m128d fraction = _mm_sub_pd(y, _mm_cvtepi32_pd(integral));
    const __m128i up = _mm_castpd_si128(_mm_cmpge_pd(fraction, half));         // -1 where rounding up
    const __m128i down = _mm_castpd_si128(_mm_cmple_pd(fraction, minusHalf));  // -1 where rounding down
    const __m128i step = _mm_shuffle_epi32(_mm_sub_epi64(down, up), _MM_SHUFFLE(2, 0, 2, 0));
    return _mm_add_epi32(integral, step);
  };
  // The low 16 bits of four 32-bit lanes, sign-extended so that the saturating pack keeps them.
  const auto low16 = [](__m128i v) { return _mm_srai_epi32(_mm_slli_epi32(v, 16), 16); };
  for (; i + 8 <= count; i += 8) {
    const __m128i first = low16(_mm_unpacklo_epi64(roundTwo(values + i), roundTwo(values + i + 2)));
    const __m128i second = low16(_mm_unpacklo_epi64(roundTwo(values + i + 4), roundTwo(values + i + 6)));
    const __m128i rounded = _mm_packs_epi32(first, second);
    const __m128i subtrahend = _mm_loadu_si128(reinterpret_cast<const __m128i*>(subtrahends + i));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_sub_epi16(rounded, subtrahend));
  }
  return i;
}

}  // namespace qola::sse2
#endif
