// Adaptive segmentation of one channel of a block by recursive halving.
#pragma once

#include "common/CodecSettings.h"

#include <array>
#include <cstdint>

#include "common/FormatConstants.h"
#include "dsp/Analysis.h"

namespace qola {

// Full adaptation splits a 4096-sample block down to 128-sample segments.
inline constexpr int kMaxSegments = format::kMaxBlockLength / (1 << format::kMinSegmentExponent);

// The chosen segments of one channel of a block, in time order.
struct SegmentList {
  int count = 0;
  std::array<std::int8_t, kMaxSegments> exponents{};  // segment length 2^exponent
  std::array<SegmentType, kMaxSegments> types{};
};

// The working state of one segmentation, with the scratch of a trial split:
// both halves side by side, so that a taken split is one copy.
struct BlockSegmenter {
  AnalysisTuning tuning;
  int count = 0;
  int minimumExponent = format::kMinSegmentExponent;
  std::array<std::int8_t, kMaxSegments> exponents{};
  std::array<SegmentType, kMaxSegments> types{};
  std::array<std::int32_t, kMaxSegments> costs{};
  std::array<std::int32_t, format::kMaxBlockLength> trialCoefficients;
  std::array<std::int8_t, format::kMaxBlockLength / format::kBandSize> trialBandParameters;
};

// Segments samples[0 .. N-1] (N = 128 .. 4096) under the adaptation level.
// Each Transform segment's coefficients land at its sample positions and its
// band parameters from index start/32 on. Returns the summed cost estimate.
std::int32_t segmentBlock(int N, Adaptation level, const std::int16_t* samples, SegmentList& list,
                          std::int32_t* coefficients, std::int8_t* bandParameters);
// The same with the analysis's tuned choices.
std::int32_t segmentBlock(int N, Adaptation level, const std::int16_t* samples, SegmentList& list,
                          std::int32_t* coefficients, std::int8_t* bandParameters, const AnalysisTuning& tuning);

// Tries halving a Transform run of 2^s samples whose analysis (cost,
// coefficients, band parameters) is already in place, and recurses into the
// halves of a split that pays off.
void splitSegment(BlockSegmenter& segmenter, int s, std::int32_t cost, const std::int16_t* samples,
                  std::int32_t* coefficients, std::int8_t* bandParameters);

}  // namespace qola
