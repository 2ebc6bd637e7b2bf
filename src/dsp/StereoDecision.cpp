#include "dsp/StereoDecision.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cassert>
#include <cstdint>
#include <limits>

#include "common/CpuPath.h"
#include "common/FormatConstants.h"
#include "dsp/RebuildArithmetic.h"

#if QOLA_SSE2_KERNELS
#include <emmintrin.h>
#endif
#if QOLA_AVX2_KERNELS
#include <immintrin.h>
#endif

namespace qola {
namespace {

constexpr int kMaxLag = format::kMaxLag;

// The lag's error is R2 + S2(d) - 2 C(d): the right channel's energy, the
// shifted left window's energy and their cross sum, all exact 64-bit
// integers, so any order of summing gives the same error.
//
// C(d) runs on 16-bit lanes, two products added per 32-bit lane. A pair sum
// lies in [-2^31 + 2^16, 2^31]; only 2^31 (both pairs -32768 * -32768)
// wraps. Adding kPairBias maps the range onto [0, 2^32 - 2^16] as an
// unsigned 32-bit number, which widens to 64 bits without loss; the biases
// come off at the end.
constexpr std::uint32_t kPairBias = (1u << 31) - (1u << 16);

std::int64_t runningCrossSum(const std::int16_t* right, const std::int16_t* shifted, int start, int end,
                             std::int64_t sum) {
  for (int i = start; i < end; ++i) sum += std::int32_t{right[i]} * shifted[i];
  return sum;
}

#if QOLA_SSE2_KERNELS
std::int64_t crossSum(const std::int16_t* right, const std::int16_t* shifted, int count) {
  const __m128i bias = _mm_set1_epi32(static_cast<std::int32_t>(kPairBias));
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
  const std::uint64_t biased = lanes[0] + lanes[1] - std::uint64_t{kPairBias} * static_cast<std::uint64_t>(i / 2);
  return runningCrossSum(right, shifted, i, count, static_cast<std::int64_t>(biased));
}
#else
std::int64_t crossSum(const std::int16_t* right, const std::int16_t* shifted, int count) {
  return runningCrossSum(right, shifted, 0, count, 0);
}
#endif

#if QOLA_AVX2_KERNELS
// The same sum in sixteen 16-bit lanes.
QOLA_TARGET_AVX2 std::int64_t crossSumAvx2(const std::int16_t* right, const std::int16_t* shifted, int count) {
  const __m256i bias = _mm256_set1_epi32(static_cast<std::int32_t>(kPairBias));
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
                               std::uint64_t{kPairBias} * static_cast<std::uint64_t>(i / 2);
  return runningCrossSum(right, shifted, i, count, static_cast<std::int64_t>(biased));
}
#endif

using CrossSum = std::int64_t (*)(const std::int16_t*, const std::int16_t*, int);

CrossSum crossSumKernel() {
#if QOLA_AVX2_KERNELS
  if (cpuPath() == CpuPath::Avx2) return crossSumAvx2;
#endif
  return crossSum;
}

std::int64_t square(std::int16_t v) { return std::int64_t{v} * v; }

}  // namespace

int stereoDecision(int N, const std::int16_t* left, const std::int16_t* right,
                   std::int16_t* difference) {
  return stereoDecision(N, left, right, difference, JointTrial::HalfEnergy);
}

int stereoDecision(int N, const std::int16_t* left, const std::int16_t* right, std::int16_t* difference,
                   JointTrial trial) {
  assert(N > kMaxLag && N <= format::kMaxBlockLength);

  // The left channel with kMaxLag mirrored samples on each side.
  std::array<std::int16_t, format::kMaxBlockLength + 2 * kMaxLag> extended;
  for (int t = -kMaxLag; t < 0; ++t) extended[t + kMaxLag] = mirroredSample(left, N, t);
  std::copy(left, left + N, extended.begin() + kMaxLag);
  for (int t = N; t < N + kMaxLag; ++t) extended[t + kMaxLag] = mirroredSample(left, N, t);

  std::int64_t energy = 0;
  for (int i = 0; i < N; ++i) energy += square(right[i]);
  // The window's energy slides along with the lag.
  std::int64_t windowEnergy = 0;
  for (int i = 0; i < N; ++i) windowEnergy += square(extended[i]);

  // The first lag with the least error wins ties.
  const CrossSum cross = crossSumKernel();
  int best = -kMaxLag;
  std::int64_t bestError = std::numeric_limits<std::int64_t>::max();
  for (int d = -kMaxLag; d <= kMaxLag; ++d) {
    const std::int16_t* window = extended.data() + kMaxLag + d;
    if (d > -kMaxLag) windowEnergy += square(window[N - 1]) - square(window[-1]);
    const std::int64_t error = energy + windowEnergy - 2 * cross(right, window, N);
    if (error < bestError) {
      best = d;
      bestError = error;
    }
  }

  // 0.5 * P > E, or 2 * P > E, both exact integers. A silent right channel
  // is never worth a difference.
  const bool tried = trial == JointTrial::HalfEnergy ? energy > 2 * bestError : 2 * energy > bestError && energy > 0;
  if (!tried) return format::kNoJointStereo;

  const std::int16_t* shifted = extended.data() + kMaxLag + best;
  for (int i = 0; i < N; ++i) {
    const auto wrapped = static_cast<std::uint16_t>(static_cast<std::uint16_t>(right[i]) -
                                                    static_cast<std::uint16_t>(shifted[i]));
    difference[i] = static_cast<std::int16_t>(wrapped);
  }
  return best;
}

}  // namespace qola
