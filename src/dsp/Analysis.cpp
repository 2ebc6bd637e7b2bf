#include "dsp/Analysis.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <cmath>
#include <cstdint>
#include <limits>

#include "common/CpuPath.h"
#include "common/FormatConstants.h"
#include "dsp/Dct.h"
#include "dsp/RateChoice.h"

#if QOLA_SSE2_KERNELS
#include <emmintrin.h>
#endif
#if QOLA_AVX2_KERNELS
#include <immintrin.h>
#endif

// Forced inline so that the AVX2 build of the analysis takes its helpers along.
#define QOLA_INLINE inline __attribute__((always_inline))

namespace qola {
namespace {

constexpr int kBand = format::kBandSize;
constexpr int kMaxBands = format::kMaxBlockLength / format::kBandSize;
constexpr std::int32_t kTransformOverhead = 32;
// Band values below this magnitude have exact integer moments in 64 bits.
constexpr std::int32_t kSmallLimit = 1 << 20;
// Bands up to this length of small values have 32-bit quotient sums.
constexpr int kMaxBand = 1024;

// Bit costs are summed in 64 bits and clamped. For any block of 16-bit
// samples they stay far below 2^31: forwardDct preserves energy up to the factor N,
// so the quantised values of a block satisfy sum v^2 <= N * 2^26, sum |v| <=
// N * 2^13, and no cost reaches 2^27. Only arbitrary inputs can clamp.
QOLA_INLINE std::int32_t clampCost(std::int64_t cost) {
  return cost > std::numeric_limits<std::int32_t>::max() ? std::numeric_limits<std::int32_t>::max()
                                                         : static_cast<std::int32_t>(cost);
}

QOLA_INLINE std::int64_t riceBits(std::uint64_t u, int k) {
  return static_cast<std::int64_t>(u >> k) + 1 + k;
}

// 0, -1, 1, -2, 2 ... -> 0, 1, 2, 3, 4 ...
QOLA_INLINE std::uint64_t negativeFirst(std::int32_t v) {
  const std::int64_t w = v;
  return w >= 0 ? static_cast<std::uint64_t>(2 * w) : static_cast<std::uint64_t>(-2 * w - 1);
}

// 0, 1, -1, 2, -2 ... -> 0, 1, 2, 3, 4 ...
QOLA_INLINE std::uint64_t positiveFirst(std::int32_t v) {
  const std::int64_t w = v;
  return w > 0 ? static_cast<std::uint64_t>(2 * w - 1) : static_cast<std::uint64_t>(-2 * w);
}

// floor(log2(sigma)) for sigma >= 1, taken from the binary exponent so that it
// does not depend on the C library's log. It equals the floored quotient
// ln(sigma)/ln(2) of a correctly rounded log for every sigma below 2^20, which
// covers every band of a 16-bit block (|v| < 2^20).
QOLA_INLINE int floorLog2(double sigma) { return std::ilogb(sigma); }

// The extremes of a band, and for bands of small values (|v| < 2^20) the
// exact sum and sum of squares; other bands' sums wrap harmlessly, since
// they take the double sums.
struct BandMoments {
  std::int32_t largest;
  std::int32_t smallest;
  std::int64_t sum;
  std::uint64_t squares;
};

// Takes values[from .. count-1] into the moments, one at a time: what the lanes leave over.
QOLA_INLINE void addMoments(const std::int32_t* values, int from, int count, BandMoments& moments) {
  for (int i = from; i < count; ++i) {
    const std::int32_t v = values[i];
    moments.largest = std::max(moments.largest, v);
    moments.smallest = std::min(moments.smallest, v);
    const std::uint32_t magnitude = v < 0 ? 0u - static_cast<std::uint32_t>(v) : static_cast<std::uint32_t>(v);
    moments.sum += v;
    moments.squares += std::uint64_t{magnitude} * magnitude;
  }
}

QOLA_INLINE BandMoments bandMoments(const std::int32_t* values, int count) {
  BandMoments moments{values[0], values[0], 0, 0};
  int i = 0;
#if QOLA_SSE2_KERNELS
  // Four lanes: 32-bit sums (exact for small values and bands of up to
  // kMaxBand values), 64-bit squares of the magnitudes.
  if (count <= kMaxBand) {
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
#endif
  addMoments(values, i, count, moments);
  return moments;
}

#if QOLA_AVX2_KERNELS
// The same moments in eight lanes, for bands of up to kMaxBand values; left
// out of line, since the always-inline chain above it is built for both paths.
QOLA_TARGET_AVX2 BandMoments bandMomentsAvx2(const std::int32_t* values, int count) {
  if (count > kMaxBand) return bandMoments(values, count);
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
  addMoments(values, i, count, moments);
  return moments;
}
#endif

}  // namespace

bool isAllZero(const std::int16_t* samples, int count) {
  for (int i = 0; i < count; ++i) {
    if (samples[i] != 0) return false;
  }
  return true;
}

std::int16_t isConstant(const std::int16_t* samples, int count) {
  for (int i = 0; i + 1 < count; ++i) {
    if (samples[i] != samples[i + 1]) return 0;
  }
  return samples[0];
}

std::int32_t riceCost(const std::int32_t* values, int count, int k) {
  std::int64_t cost = 0;
  for (int i = 0; i < count; ++i) cost += riceBits(negativeFirst(values[i]), k);
  return clampCost(cost);
}

std::int32_t riceCostPositiveFirst(const std::int32_t* values, int count, int k) {
  std::int64_t cost = 0;
  for (int i = 0; i < count; ++i) cost += riceBits(positiveFirst(values[i]), k);
  return clampCost(cost);
}

std::int32_t ternaryCost(const std::int32_t* values, int count) {
  std::int32_t cost = 0;
  for (int i = 0; i < count; ++i) cost += values[i] == 0 ? 1 : 2;
  return cost;
}

std::int32_t pairCost(const std::int32_t* values, int count) {
  std::int32_t cost = 0;
  for (int i = 0; i + 1 < count; i += 2) cost += (values[i] == 0 && values[i + 1] == 0) ? 1 : 4;
  return cost;
}

namespace {

template <bool kAvx2>
QOLA_INLINE std::int32_t bandParameterOf(const std::int32_t* values, int count, int& parameter) {
#if QOLA_AVX2_KERNELS
  const BandMoments moments = kAvx2 ? bandMomentsAvx2(values, count) : bandMoments(values, count);
#else
  const BandMoments moments = bandMoments(values, count);
#endif
  const std::int32_t largest = moments.largest;
  const std::int32_t smallest = moments.smallest;
  const std::int64_t integerSum = moments.sum;
  const std::uint64_t integerSquares = moments.squares;

  if (largest == 0 && smallest == 0) {
    parameter = format::kMinBandParameter;
    return 0;
  }
  if (largest <= 1 && smallest >= -1) {
    const std::int32_t ternary = ternaryCost(values, count);
    const std::int32_t pairs = pairCost(values, count);
    if (pairs <= ternary - 4) {
      parameter = -2;
      return pairs;
    }
    parameter = -1;
    return ternary;
  }

  // Below 2^20 in magnitude every square and every sum is an integer below
  // 2^53, so the integer moments are exactly the double-precision sums.
  // Larger values (never from a block of 16-bit samples) take the doubles.
  double sum = static_cast<double>(integerSum);
  double sumOfSquares = static_cast<double>(integerSquares);
  const bool small = largest < kSmallLimit && smallest > -kSmallLimit;
  if (!small) {
    sum = 0.0;
    sumOfSquares = 0.0;
    for (int i = 0; i < count; ++i) {
      const double d = values[i];
      sum += d;
      sumOfSquares += d * d;
    }
  }

  const double mean = sum / count;
  const double variance = sumOfSquares / count - mean * mean;
  double sigma = std::sqrt(variance);
  if (!(sigma >= 1.0)) sigma = 1.0;  // also catches a rounding-negative variance
  const int k = floorLog2(sigma);
  // Both Rice costs in one pass.
  std::int64_t quotients0 = 0;
  std::int64_t quotients1 = 0;
  if (small && count <= kMaxBand) {
    // negativeFirst without branches, in 32 bits: each quotient is below 2^21
    // and their sum below 2^31.
    std::uint32_t sum0 = 0;
    std::uint32_t sum1 = 0;
    for (int i = 0; i < count; ++i) {
      const auto v = static_cast<std::uint32_t>(values[i]);
      const std::uint32_t u = (v << 1) ^ (0u - (v >> 31));
      sum0 += u >> k;
      sum1 += u >> (k + 1);
    }
    quotients0 = sum0;
    quotients1 = sum1;
  } else {
    for (int i = 0; i < count; ++i) {
      const std::uint64_t u = negativeFirst(values[i]);
      quotients0 += static_cast<std::int64_t>(u >> k);
      quotients1 += static_cast<std::int64_t>(u >> (k + 1));
    }
  }
  const std::int32_t c0 = clampCost(quotients0 + static_cast<std::int64_t>(count) * (1 + k));
  const std::int32_t c1 = clampCost(quotients1 + static_cast<std::int64_t>(count) * (2 + k));
  if (c0 < c1) {
    parameter = k;
    return c0;
  }
  parameter = k + 1;
  return c1;
}

}  // namespace

std::int32_t chooseBandParameter(const std::int32_t* values, int count, int& parameter) {
  return bandParameterOf<false>(values, count, parameter);
}

namespace {

// The transform, the quantiser and the band choices of a Transform run: the
// same operations on each value in either build, the AVX2 one with wider
// lanes where the compiler vectorises.
template <bool kAvx2>
QOLA_INLINE std::int32_t transformCost(int s, const std::int16_t* samples, std::int32_t* coefficients,
                                       std::int8_t* bandParameters, const AnalysisTuning& tuning) {
  const int length = 1 << s;
  std::array<double, format::kMaxBlockLength> spectrum;
  for (int i = 0; i < length; ++i) spectrum[i] = samples[i];
  forwardDct(spectrum.data(), s);
  // The quotients stay in the spectrum's place for the choices that weigh their errors.
  const double step = quantiserStep(s);
  if (s % 2 == 0) {
    // A power of two: its reciprocal is exact and so is each product, the very quotient.
    const double reciprocal = 1.0 / step;
    for (int i = 0; i < length; ++i) spectrum[i] = spectrum[i] * reciprocal;
  } else {
    for (int i = 0; i < length; ++i) spectrum[i] = spectrum[i] / step;
  }
  for (int i = 0; i < length; ++i) coefficients[i] = roundHalfAwayInRange(spectrum[i]);

  const int bands = length / kBand;
  std::array<std::int32_t, kMaxBands> bandCosts;
  for (int j = 0; j < bands; ++j) {
    int parameter = 0;
    bandCosts[j] = bandParameterOf<kAvx2>(coefficients + j * kBand, kBand, parameter);
    bandParameters[j] = static_cast<std::int8_t>(parameter);
  }
  if (tuning.rateWeight > 0.0) {
    std::array<bool, kMaxBands> changed;
    if (moveTowardZero(s, spectrum.data(), tuning, coefficients, bandParameters, changed.data()) > 0) {
      for (int j = 0; j < bands; ++j) {
        if (!changed[j]) continue;
        int parameter = 0;
        bandCosts[j] = bandParameterOf<kAvx2>(coefficients + j * kBand, kBand, parameter);
        bandParameters[j] = static_cast<std::int8_t>(parameter);
      }
    }
  }
  std::int32_t sum = 0;
  for (int j = 0; j < bands; ++j) sum += bandCosts[j];

  // Parameter changes from band to band; the highest band against -1.
  std::array<std::int32_t, kMaxBands> changes;
  for (int j = 0; j + 1 < bands; ++j) changes[j] = bandParameters[j] - bandParameters[j + 1];
  changes[bands - 1] = bandParameters[bands - 1] - format::kLastBandReference;
  std::int64_t parameterCost = 0;
  for (int j = 0; j < bands; ++j) parameterCost += riceBits(positiveFirst(changes[j]), 0);

  return sum + clampCost(parameterCost) + kTransformOverhead;
}

std::int32_t transformCostBaseline(int s, const std::int16_t* samples, std::int32_t* coefficients,
                                   std::int8_t* bandParameters, const AnalysisTuning& tuning) {
  return transformCost<false>(s, samples, coefficients, bandParameters, tuning);
}

#if QOLA_AVX2_KERNELS
QOLA_TARGET_AVX2 std::int32_t transformCostAvx2(int s, const std::int16_t* samples, std::int32_t* coefficients,
                                                std::int8_t* bandParameters, const AnalysisTuning& tuning) {
  return transformCost<true>(s, samples, coefficients, bandParameters, tuning);
}
#endif

}  // namespace

std::int32_t analyseBlock(int s, const std::int16_t* samples, std::int32_t* coefficients,
                          std::int8_t* bandParameters, SegmentType& type) {
  return analyseBlock(s, samples, coefficients, bandParameters, type, AnalysisTuning{});
}

std::int32_t analyseBlock(int s, const std::int16_t* samples, std::int32_t* coefficients,
                          std::int8_t* bandParameters, SegmentType& type, const AnalysisTuning& tuning) {
  assert(s >= 5 && s <= kMaxDctLogm);
  const int length = 1 << s;
  if (isAllZero(samples, length)) {
    type = SegmentType::Zero;
    return kZeroSegmentCost;
  }
  if (isConstant(samples, length) != 0) {
    type = SegmentType::Constant;
    return kConstantSegmentCost;
  }
  type = SegmentType::Transform;
#if QOLA_AVX2_KERNELS
  if (cpuPath() == CpuPath::Avx2) return transformCostAvx2(s, samples, coefficients, bandParameters, tuning);
#endif
  return transformCostBaseline(s, samples, coefficients, bandParameters, tuning);
}

}  // namespace qola
