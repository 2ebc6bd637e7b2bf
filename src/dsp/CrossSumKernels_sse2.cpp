// The lag search's cross sum in eight 16-bit lanes.
#include "dsp/CrossSumKernels.h"

#include "common/CpuPath.h"

#if QOLA_SSE2_KERNELS
#include <emmintrin.h>

#include <array>

namespace qola::sse2 {

std::int64_t crossSum(const std::int16_t* right, const std::int16_t* shifted, int count) {
  const __m128i bias = _mm_set1_epi32(static_cast<std::int32_t>(lagSum::kPairBias));
  const __m128i low = _mm_set1_epi64x(0xFFFFFFFF);
  __m128i total = _mm_setzero_si128();
  int i = 0;
  for (; i + 8 <= count; i += 8) {
    const __m128i r = _mm_loadu_si128(reinterpret_cast<const __m128i*>(right + i));
    const __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(shifted + i));
    const __m128i pairs = _mm_add_epi32(_mm_madd_epi16(r, s), bias);
    total = _mm_add_epi64(total, _mm_and_si128(pairs, low));
    total = _mm_add_epi64(total, _mm_srli_epi64(pairs, 32));
  }
  alignas(16) std::array<std::uint64_t, 2> lanes;
  _mm_store_si128(reinterpret_cast<__m128i*>(lanes.data()), total);
  const std::uint64_t biased =
      lanes[0] + lanes[1] - std::uint64_t{lagSum::kPairBias} * static_cast<std::uint64_t>(i / 2);
  return lagSum::runningSum(right, shifted, i, count, static_cast<std::int64_t>(biased));
}

}  // namespace qola::sse2
#endif
