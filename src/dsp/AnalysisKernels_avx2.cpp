// A band's moments in eight 32-bit lanes, and the transform cost built for
// AVX2 around them.
#include "dsp/AnalysisKernels.h"

#include "common/CpuPath.h"

#if QOLA_AVX2_KERNELS
#include <immintrin.h>

#include <array>

#include "dsp/TransformCost.h"

namespace qola::avx2 {

QOLA_TARGET_AVX2 BandMoments bandMoments(const std::int32_t* values, int count) {
  if (count > bandSums::kMax32BitBand) return portableBandMoments(values, count);
  BandMoments moments{values[0], values[0], 0, 0};
  __m256i largest = _mm256_set1_epi32(values[0]);
  __m256i smallest = largest;
  __m256i sum = _mm256_setzero_si256();
  __m256i squares = _mm256_setzero_si256();
  int i = 0;
  for (; i + 8 <= count; i += 8) {
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(values + i));
    largest = _mm256_max_epi32(largest, v);
    smallest = _mm256_min_epi32(smallest, v);
    sum = _mm256_add_epi32(sum, v);
    const __m256i magnitude = _mm256_abs_epi32(v);
    squares = _mm256_add_epi64(squares, _mm256_mul_epu32(magnitude, magnitude));
    const __m256i odd = _mm256_srli_epi64(magnitude, 32);
    squares = _mm256_add_epi64(squares, _mm256_mul_epu32(odd, odd));
  }
  alignas(32) std::array<std::int32_t, 8> lanes;
  _mm256_store_si256(reinterpret_cast<__m256i*>(lanes.data()), largest);
  moments.largest = *std::max_element(lanes.begin(), lanes.end());
  _mm256_store_si256(reinterpret_cast<__m256i*>(lanes.data()), smallest);
  moments.smallest = *std::min_element(lanes.begin(), lanes.end());
  _mm256_store_si256(reinterpret_cast<__m256i*>(lanes.data()), sum);
  std::uint32_t laneSum = 0;
  for (const std::int32_t lane : lanes) laneSum += static_cast<std::uint32_t>(lane);
  moments.sum = static_cast<std::int32_t>(laneSum);
  alignas(32) std::array<std::uint64_t, 4> wide;
  _mm256_store_si256(reinterpret_cast<__m256i*>(wide.data()), squares);
  moments.squares = wide[0] + wide[1] + wide[2] + wide[3];
  bandSums::addMoments(values, i, count, moments);
  return moments;
}

QOLA_TARGET_AVX2 std::int32_t transformCost(int s, const std::int16_t* samples, std::int32_t* coefficients,
                                            std::int8_t* bandParameters, const AnalysisTuning& tuning) {
  return analysis::transformCost<bandMoments>(s, samples, coefficients, bandParameters, tuning);
}

}  // namespace qola::avx2
#endif
