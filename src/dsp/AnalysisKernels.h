// The band analysis's lane work, one build per instruction set: the portable
// C++ in AnalysisKernels.cpp, four 32-bit lanes in AnalysisKernels_sse2.cpp,
// eight in AnalysisKernels_avx2.cpp, which also builds the whole transform
// cost (TransformCost.h) for AVX2. Every build takes exact integer sums, so
// all give the same moments wherever the analysis uses them.
#pragma once

#include <algorithm>
#include <cstdint>

#include "dsp/RateChoice.h"

namespace qola {

// The extremes of a band, and for bands of small values (|v| < 2^20) the
// exact sum and sum of squares; other bands' sums wrap harmlessly, since
// they take the double sums.
struct BandMoments {
  std::int32_t largest;
  std::int32_t smallest;
  std::int64_t sum;
  std::uint64_t squares;
};

using BandMomentsKernel = BandMoments (*)(const std::int32_t* values, int count);

namespace bandSums {

// Bands of small values up to this length have exact 32-bit sums (of the
// lanes, and of the Rice quotients); longer ones take 64-bit sums.
inline constexpr int kMax32BitBand = 1024;

// Takes values[from .. count-1] into the moments, one at a time: what the lanes leave over.
[[gnu::always_inline]] inline void addMoments(const std::int32_t* values, int from, int count,
                                              BandMoments& moments) {
  for (int i = from; i < count; ++i) {
    const std::int32_t v = values[i];
    moments.largest = std::max(moments.largest, v);
    moments.smallest = std::min(moments.smallest, v);
    const std::uint32_t magnitude = v < 0 ? 0u - static_cast<std::uint32_t>(v) : static_cast<std::uint32_t>(v);
    moments.sum += v;
    moments.squares += std::uint64_t{magnitude} * magnitude;
  }
}

}  // namespace bandSums

BandMoments portableBandMoments(const std::int32_t* values, int count);
// The lanes of the baseline path: SSE2 where the build has it, else the portable C++.
BandMoments baselineBandMoments(const std::int32_t* values, int count);

// The cost of one transform run and its coefficients and band parameters
// (analyseBlock's Transform case).
using TransformCostKernel = std::int32_t (*)(int s, const std::int16_t* samples, std::int32_t* coefficients,
                                             std::int8_t* bandParameters, const AnalysisTuning& tuning);

// The build of the processor path in use.
TransformCostKernel transformCostKernel();

// The lane builds, where the processor family has them (QOLA_SSE2_KERNELS,
// QOLA_AVX2_KERNELS).
namespace sse2 {
BandMoments bandMoments(const std::int32_t* values, int count);
}  // namespace sse2
namespace avx2 {
BandMoments bandMoments(const std::int32_t* values, int count);
std::int32_t transformCost(int s, const std::int16_t* samples, std::int32_t* coefficients,
                           std::int8_t* bandParameters, const AnalysisTuning& tuning);
}  // namespace avx2

}  // namespace qola
