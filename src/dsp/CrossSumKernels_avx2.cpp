// The lag search's cross sum in sixteen 16-bit lanes.
#include "dsp/CrossSumKernels.h"

#include "common/CpuPath.h"

#if QOLA_AVX2_KERNELS
#include <immintrin.h>

#include <array>

namespace qola::avx2 {

QOLA_TARGET_AVX2 std::int64_t crossSum(const std::int16_t* right, const std::int16_t* shifted, int count) {
  const __m256i bias = _mm256_set1_epi32(static_cast<std::int32_t>(lagSum::kPairBias));
  const __m256i low = _mm256_set1_epi64x(0xFFFFFFFF);
  __m256i total = _mm256_setzero_si256();
  int i = 0;
  for (; i + 16 <= count; i += 16) {
    const __m256i r = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(right + i));
    const __m256i s = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(shifted + i));
    const __m256i pairs = _mm256_add_epi32(_mm256_madd_epi16(r, s), bias);
    total = _mm256_add_epi64(total, _mm256_and_si256(pairs, low));
    total = _mm256_add_epi64(total, _mm256_srli_epi64(pairs, 32));
  }
  alignas(32) std::array<std::uint64_t, 4> lanes;
  _mm256_store_si256(reinterpret_cast<__m256i*>(lanes.data()), total);
  const std::uint64_t biased = lanes[0] + lanes[1] + lanes[2] + lanes[3] -
                               std::uint64_t{lagSum::kPairBias} * static_cast<std::uint64_t>(i / 2);
  return lagSum::runningSum(right, shifted, i, count, static_cast<std::int64_t>(biased));
}

}  // namespace qola::avx2
#endif
