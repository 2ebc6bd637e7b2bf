// A band's moments in four 32-bit lanes.
#include "dsp/AnalysisKernels.h"

#include "common/CpuPath.h"

#if QOLA_SSE2_KERNELS
#include <emmintrin.h>

#include <array>

namespace qola::sse2 {

// 32-bit sums (exact for small values and bands of up to kMax32BitBand
// values), 64-bit squares of the magnitudes.
BandMoments bandMoments(const std::int32_t* values, int count) {
  BandMoments moments{values[0], values[0], 0, 0};
  int i = 0;
  if (count <= bandSums::kMax32BitBand) {
    __m128i largest = _mm_set1_epi32(values[0]);
    __m128i smallest = largest;
    __m128i sum = _mm_setzero_si128();
    __m128i squares = _mm_setzero_si128();
    for (; i + 4 <= count; i += 4) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(values + i));
      const __m128i above = _mm_cmpgt_epi32(v, largest);
      largest = _mm_or_si128(_mm_and_si128(above, v), _mm_andnot_si128(above, largest));
      const __m128i below = _mm_cmplt_epi32(v, smallest);
      smallest = _mm_or_si128(_mm_and_si128(below, v), _mm_andnot_si128(below, smallest));
      sum = _mm_add_epi32(sum, v);
      const __m128i sign = _mm_srai_epi32(v, 31);
      const __m128i magnitude = _mm_sub_epi32(_mm_xor_si128(v, sign), sign);
      squares = _mm_add_epi64(squares, _mm_mul_epu32(magnitude, magnitude));
      const __m128i odd = _mm_srli_epi64(magnitude, 32);
      squares = _mm_add_epi64(squares, _mm_mul_epu32(odd, odd));
    }
    alignas(16) std::array<std::int32_t, 4> lanes;
    _mm_store_si128(reinterpret_cast<__m128i*>(lanes.data()), largest);
    moments.largest = std::max(std::max(lanes[0], lanes[1]), std::max(lanes[2], lanes[3]));
    _mm_store_si128(reinterpret_cast<__m128i*>(lanes.data()), smallest);
    moments.smallest = std::min(std::min(lanes[0], lanes[1]), std::min(lanes[2], lanes[3]));
    _mm_store_si128(reinterpret_cast<__m128i*>(lanes.data()), sum);
    const std::uint32_t laneSum = static_cast<std::uint32_t>(lanes[0]) + static_cast<std::uint32_t>(lanes[1]) +
                                  static_cast<std::uint32_t>(lanes[2]) + static_cast<std::uint32_t>(lanes[3]);
    moments.sum = static_cast<std::int32_t>(laneSum);
    alignas(16) std::array<std::uint64_t, 2> wide;
    _mm_store_si128(reinterpret_cast<__m128i*>(wide.data()), squares);
    moments.squares = wide[0] + wide[1];
  }
  bandSums::addMoments(values, i, count, moments);
  return moments;
}

}  // namespace qola::sse2
#endif
