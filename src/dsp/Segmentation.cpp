#include "dsp/Segmentation.h"

#include <algorithm>
#include <cassert>

namespace qola {
namespace {

void record(BlockSegmenter& segmenter, int s, SegmentType type, std::int32_t cost) {
  // Halving 2^12 down to 2^7 yields at most kMaxSegments entries.
  assert(segmenter.count < kMaxSegments);
  const int i = segmenter.count++;
  segmenter.exponents[i] = static_cast<std::int8_t>(s);
  segmenter.types[i] = type;
  segmenter.costs[i] = cost;
}

}  // namespace

void splitSegment(BlockSegmenter& segmenter, int s, std::int32_t cost, const std::int16_t* samples,
                  std::int32_t* coefficients, std::int8_t* bandParameters) {
  const int half = 1 << (s - 1);
  const int halfBands = half / format::kBandSize;
  std::int32_t* trialCoefficients = segmenter.trialCoefficients.data();
  std::int8_t* trialBands = segmenter.trialBandParameters.data();

  SegmentType type1 = SegmentType::Zero;
  SegmentType type2 = SegmentType::Zero;
  const std::int32_t cost1 = analyseBlock(s - 1, samples, trialCoefficients, trialBands, type1, segmenter.tuning);
  const std::int32_t cost2 =
      analyseBlock(s - 1, samples + half, trialCoefficients + half, trialBands + halfBands, type2,
                   segmenter.tuning);

  if (cost1 + cost2 >= cost) {
    record(segmenter, s, SegmentType::Transform, cost);
    return;
  }

  // Zero and Constant halves write no coefficients; nothing reads them there.
  if (type1 == SegmentType::Transform) {
    std::copy_n(trialCoefficients, half, coefficients);
    std::copy_n(trialBands, halfBands, bandParameters);
  }
  if (type2 == SegmentType::Transform) {
    std::copy_n(trialCoefficients + half, half, coefficients + half);
    std::copy_n(trialBands + halfBands, halfBands, bandParameters + halfBands);
  }

  if (s - 1 == segmenter.minimumExponent) {
    record(segmenter, s - 1, type1, cost1);
    record(segmenter, s - 1, type2, cost2);
    return;
  }
  // The first half is finished before the second is looked at: time order.
  if (type1 == SegmentType::Transform) {
    splitSegment(segmenter, s - 1, cost1, samples, coefficients, bandParameters);
  } else {
    record(segmenter, s - 1, type1, cost1);
  }
  if (type2 == SegmentType::Transform) {
    splitSegment(segmenter, s - 1, cost2, samples + half, coefficients + half,
                 bandParameters + halfBands);
  } else {
    record(segmenter, s - 1, type2, cost2);
  }
}

std::int32_t segmentBlock(int N, Adaptation level, const std::int16_t* samples, SegmentList& list,
                          std::int32_t* coefficients, std::int8_t* bandParameters) {
  return segmentBlock(N, level, samples, list, coefficients, bandParameters, AnalysisTuning{});
}

std::int32_t segmentBlock(int N, Adaptation level, const std::int16_t* samples, SegmentList& list,
                          std::int32_t* coefficients, std::int8_t* bandParameters, const AnalysisTuning& tuning) {
  const int s0 = format::lengthExponent(N);
  SegmentType type = SegmentType::Zero;
  const std::int32_t cost = analyseBlock(s0, samples, coefficients, bandParameters, type, tuning);
  // Segments never get shorter than the file format can state (128 samples).
  const int minimumExponent =
      level == Adaptation::Full ? format::kMinSegmentExponent
                                : std::max(s0 - 2, format::kMinSegmentExponent);
  if (level == Adaptation::None || type != SegmentType::Transform || s0 <= minimumExponent) {
    list.count = 1;
    list.exponents[0] = static_cast<std::int8_t>(s0);
    list.types[0] = type;
    return cost;
  }

  BlockSegmenter segmenter;
  segmenter.tuning = tuning;
  segmenter.minimumExponent = minimumExponent;
  segmenter.count = 0;
  splitSegment(segmenter, s0, cost, samples, coefficients, bandParameters);

  std::int32_t total = 0;
  list.count = segmenter.count;
  for (int i = 0; i < segmenter.count; ++i) {
    list.exponents[i] = segmenter.exponents[i];
    list.types[i] = segmenter.types[i];
    total += segmenter.costs[i];
  }
  return total;
}

}  // namespace qola
