#include "dsp/Analysis.h"

#include <cassert>
#include <cstdint>

#include "common/FormatConstants.h"
#include "dsp/AnalysisKernels.h"
#include "dsp/Dct.h"
#include "dsp/TransformCost.h"

namespace qola {

bool isAllZero(const std::int16_t* samples, int count) {
  for (int i = 0; i < count; ++i) {
    if (samples[i] != 0) return false;
  }
  return true;
}

std::int16_t constantValue(const std::int16_t* samples, int count) {
  for (int i = 0; i + 1 < count; ++i) {
    if (samples[i] != samples[i + 1]) return 0;
  }
  return samples[0];
}

std::int32_t riceCost(const std::int32_t* values, int count, int k) {
  std::int64_t cost = 0;
  for (int i = 0; i < count; ++i) cost += analysis::riceBits(analysis::negativeFirst(values[i]), k);
  return analysis::clampCost(cost);
}

std::int32_t riceCostPositiveFirst(const std::int32_t* values, int count, int k) {
  std::int64_t cost = 0;
  for (int i = 0; i < count; ++i) cost += analysis::riceBits(analysis::positiveFirst(values[i]), k);
  return analysis::clampCost(cost);
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

std::int32_t chooseBandParameter(const std::int32_t* values, int count, int& parameter) {
  return analysis::bandParameterOf<baselineBandMoments>(values, count, parameter);
}

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
  if (constantValue(samples, length) != 0) {
    type = SegmentType::Constant;
    return kConstantSegmentCost;
  }
  type = SegmentType::Transform;
  return transformCostKernel()(s, samples, coefficients, bandParameters, tuning);
}

}  // namespace qola
