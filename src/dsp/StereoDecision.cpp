#include "dsp/StereoDecision.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cassert>
#include <cstdint>
#include <limits>

#include "common/CpuPath.h"
#include "common/Format.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if QOLA_AVX2_KERNELS
#include <immintrin.h>
#endif

namespace qola {
namespace {

constexpr int kMaxLag = format::kMaxLag;
// Samples between the checks whether a lag can still win.
constexpr int kChunk = 128;

// The plain running sum over [start, end): the lanes' leftovers.
double runningSquaredErrors(const double* right, const double* shifted, int start, int end, double sum) {
  for (int i = start; i < end; ++i) {
    const double e = right[i] - shifted[i];
    sum += e * e;
  }
  return sum;
}

// sum (right[i] - shifted[i])^2 over [start, end), added to
// sum. Every square is an integer below 2^32 and every partial sum one below
// 2^44, so all of them are exact doubles: the lanes give the same sum as one
// running total in any order.
double squaredErrors(const double* right, const double* shifted, int start, int end, double sum) {
#if defined(__SSE2__)
  __m128d a = _mm_setzero_pd();
  __m128d b = _mm_setzero_pd();
  int i = start;
  for (; i + 4 <= end; i += 4) {
    const __m128d e0 = _mm_sub_pd(_mm_loadu_pd(right + i), _mm_loadu_pd(shifted + i));
    const __m128d e1 = _mm_sub_pd(_mm_loadu_pd(right + i + 2), _mm_loadu_pd(shifted + i + 2));
    a = _mm_add_pd(a, _mm_mul_pd(e0, e0));
    b = _mm_add_pd(b, _mm_mul_pd(e1, e1));
  }
  sum = runningSquaredErrors(right, shifted, i, end, sum);
  const __m128d both = _mm_add_pd(a, b);
  return sum + _mm_cvtsd_f64(both) + _mm_cvtsd_f64(_mm_unpackhi_pd(both, both));
#else
  return runningSquaredErrors(right, shifted, start, end, sum);
#endif
}

#if QOLA_AVX2_KERNELS
// The same sum in four lanes of two AVX2 vectors.
QOLA_TARGET_AVX2 double squaredErrorsAvx2(const double* right, const double* shifted, int start, int end,
                                          double sum) {
  __m256d a = _mm256_setzero_pd();
  __m256d b = _mm256_setzero_pd();
  int i = start;
  for (; i + 8 <= end; i += 8) {
    const __m256d e0 = _mm256_sub_pd(_mm256_loadu_pd(right + i), _mm256_loadu_pd(shifted + i));
    const __m256d e1 = _mm256_sub_pd(_mm256_loadu_pd(right + i + 4), _mm256_loadu_pd(shifted + i + 4));
    a = _mm256_add_pd(a, _mm256_mul_pd(e0, e0));
    b = _mm256_add_pd(b, _mm256_mul_pd(e1, e1));
  }
  sum = runningSquaredErrors(right, shifted, i, end, sum);
  const __m256d both = _mm256_add_pd(a, b);
  const __m128d pairs = _mm_add_pd(_mm256_castpd256_pd128(both), _mm256_extractf128_pd(both, 1));
  return sum + _mm_cvtsd_f64(pairs) + _mm_cvtsd_f64(_mm_unpackhi_pd(pairs, pairs));
}
#endif

using SquaredErrors = double (*)(const double*, const double*, int, int, double);

SquaredErrors squaredErrorsKernel() {
#if QOLA_AVX2_KERNELS
  if (cpuPath() == CpuPath::Avx2) return squaredErrorsAvx2;
#endif
  return squaredErrors;
}

}  // namespace

std::int16_t mirroredSample(const std::int16_t* left, int N, int t) {
  if (t < 0) return left[-t - 1];
  if (t >= N) return left[2 * N - 1 - t];
  return left[t];
}

int stereoDecision(int N, const std::int16_t* left, const std::int16_t* right,
                   std::int16_t* difference) {
  assert(N > kMaxLag && N <= format::kMaxBlockLength);

  // The left channel with kMaxLag mirrored samples on each side, and both
  // channels as doubles for the sums.
  std::array<std::int32_t, format::kMaxBlockLength + 2 * kMaxLag> extended;
  std::array<double, format::kMaxBlockLength + 2 * kMaxLag> extendedValues;
  std::array<double, format::kMaxBlockLength> rightValues;
  for (int t = -kMaxLag; t < N + kMaxLag; ++t) {
    extended[t + kMaxLag] = mirroredSample(left, N, t);
    extendedValues[t + kMaxLag] = extended[t + kMaxLag];
  }
  for (int i = 0; i < N; ++i) rightValues[i] = right[i];

  // A lag whose partial sum already reaches the best error cannot become
  // strictly better, so its sum stops early; ties still keep the smaller lag.
  const SquaredErrors sumOf = squaredErrorsKernel();
  int best = -kMaxLag;
  double bestError = std::numeric_limits<double>::infinity();
  for (int d = -kMaxLag; d <= kMaxLag; ++d) {
    const double* shifted = extendedValues.data() + kMaxLag + d;
    double sum = 0.0;
    for (int start = 0; start < N && sum < bestError; start += kChunk) {
      sum = sumOf(rightValues.data(), shifted, start, std::min(N, start + kChunk), sum);
    }
    if (sum < bestError) {
      best = d;
      bestError = sum;
    }
  }

  std::int64_t energy = 0;
  for (int i = 0; i < N; ++i) energy += static_cast<std::int64_t>(right[i]) * right[i];

  // 0.5 * P > E, both exact integers.
  if (!(energy > 2 * static_cast<std::int64_t>(bestError))) return format::kNoJointStereo;

  const std::int32_t* shifted = extended.data() + kMaxLag + best;
  for (int i = 0; i < N; ++i) {
    const auto wrapped = static_cast<std::uint16_t>(static_cast<std::uint16_t>(right[i]) -
                                                    static_cast<std::uint16_t>(shifted[i]));
    difference[i] = static_cast<std::int16_t>(wrapped);
  }
  return best;
}

}  // namespace qola
