#include "dsp/AnalysisKernels.h"

#include "common/CpuPath.h"
#include "dsp/TransformCost.h"

namespace qola {
namespace {

std::int32_t baselineTransformCost(int s, const std::int16_t* samples, std::int32_t* coefficients,
                                   std::int8_t* bandParameters, const AnalysisTuning& tuning) {
  return analysis::transformCost<baselineBandMoments>(s, samples, coefficients, bandParameters, tuning);
}

}  // namespace

BandMoments portableBandMoments(const std::int32_t* values, int count) {
  BandMoments moments{values[0], values[0], 0, 0};
  bandSums::addMoments(values, 0, count, moments);
  return moments;
}

BandMoments baselineBandMoments(const std::int32_t* values, int count) {
#if QOLA_SSE2_KERNELS
  return sse2::bandMoments(values, count);
#else
  return portableBandMoments(values, count);
#endif
}

TransformCostKernel transformCostKernel() {
#if QOLA_AVX2_KERNELS
  if (cpuPath() == CpuPath::Avx2) return avx2::transformCost;
#endif
  return baselineTransformCost;
}

}  // namespace qola
