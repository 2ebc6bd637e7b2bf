#include "dsp/CrossSumKernels.h"

#include "common/CpuPath.h"

namespace qola {

std::int64_t portableCrossSum(const std::int16_t* right, const std::int16_t* shifted, int count) {
  return lagSum::runningSum(right, shifted, 0, count, 0);
}

CrossSum crossSumKernel() {
#if QOLA_AVX2_KERNELS
  if (cpuPath() == CpuPath::Avx2) return avx2::crossSum;
#endif
#if QOLA_SSE2_KERNELS
  return sse2::crossSum;
#else
  return portableCrossSum;
#endif
}

}  // namespace qola
