// The analysis of one transform run, written once and built twice: for the
// baseline path in AnalysisKernels.cpp and for AVX2 in
// AnalysisKernels_avx2.cpp, where the compiler takes wider lanes for the same
// operations on each value. Analysis.cpp takes its band costs from here too.
#pragma once

#include <array>
#include <cmath>
#include <cstdint>
#include <limits>

#include "common/FormatConstants.h"
#include "dsp/Analysis.h"
#include "dsp/AnalysisKernels.h"
#include "dsp/Dct.h"
#include "dsp/RateChoice.h"

// Forced inline, so that the AVX2 build of the analysis takes its helpers along.
#define QOLA_ANALYSIS_INLINE [[gnu::always_inline]] inline

namespace qola::analysis {

inline constexpr int kBand = format::kBandSize;
inline constexpr int kMaxBands = format::kMaxBlockLength / format::kBandSize;
inline constexpr std::int32_t kTransformOverhead = 32;
// Band values below this magnitude have exact integer moments in 64 bits.
inline constexpr std::int32_t kSmallLimit = 1 << 20;

// Bit costs are summed in 64 bits and clamped. For any block of 16-bit
// samples they stay far below 2^31: forwardDct preserves energy up to the factor N,
// so the quantised values of a block satisfy sum v^2 <= N * 2^26, sum |v| <=
// N * 2^13, and no cost reaches 2^27. Only arbitrary inputs can clamp.
QOLA_ANALYSIS_INLINE std::int32_t clampCost(std::int64_t cost) {
  return cost > std::numeric_limits<std::int32_t>::max() ? std::numeric_limits<std::int32_t>::max()
                                                         : static_cast<std::int32_t>(cost);
}

QOLA_ANALYSIS_INLINE std::int64_t riceBits(std::uint64_t u, int k) {
  return static_cast<std::int64_t>(u >> k) + 1 + k;
}

// 0, -1, 1, -2, 2 ... -> 0, 1, 2, 3, 4 ...
QOLA_ANALYSIS_INLINE std::uint64_t negativeFirst(std::int32_t v) {
  const std::int64_t w = v;
  return w >= 0 ? static_cast<std::uint64_t>(2 * w) : static_cast<std::uint64_t>(-2 * w - 1);
}

// 0, 1, -1, 2, -2 ... -> 0, 1, 2, 3, 4 ...
QOLA_ANALYSIS_INLINE std::uint64_t positiveFirst(std::int32_t v) {
  const std::int64_t w = v;
  return w > 0 ? static_cast<std::uint64_t>(2 * w - 1) : static_cast<std::uint64_t>(-2 * w);
}

// floor(log2(sigma)) for sigma >= 1, taken from the binary exponent so that it
// does not depend on the C library's log. It equals the floored quotient
// ln(sigma)/ln(2) of a correctly rounded log for every sigma below 2^20, which
// covers every band of a 16-bit block (|v| < 2^20).
QOLA_ANALYSIS_INLINE int floorLog2(double sigma) { return std::ilogb(sigma); }

// The coding parameter of one band and its cost, from the band's moments
// taken by the given kernel.
template <BandMomentsKernel kMoments>
QOLA_ANALYSIS_INLINE std::int32_t bandParameterOf(const std::int32_t* values, int count, int& parameter) {
  const BandMoments moments = kMoments(values, count);
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
  if (small && count <= bandSums::kMax32BitBand) {
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

// The transform, the quantiser and the band choices of a Transform run.
template <BandMomentsKernel kMoments>
QOLA_ANALYSIS_INLINE std::int32_t transformCost(int s, const std::int16_t* samples, std::int32_t* coefficients,
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
    bandCosts[j] = bandParameterOf<kMoments>(coefficients + j * kBand, kBand, parameter);
    bandParameters[j] = static_cast<std::int8_t>(parameter);
  }
  if (tuning.rateWeight > 0.0) {
    std::array<bool, kMaxBands> changed;
    if (moveTowardZero(s, spectrum.data(), tuning, coefficients, bandParameters, changed.data()) > 0) {
      for (int j = 0; j < bands; ++j) {
        if (!changed[j]) continue;
        int parameter = 0;
        bandCosts[j] = bandParameterOf<kMoments>(coefficients + j * kBand, kBand, parameter);
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

}  // namespace qola::analysis

#undef QOLA_ANALYSIS_INLINE
