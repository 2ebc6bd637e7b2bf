#include "dsp/FftKernels.h"

#include "common/CpuPath.h"

namespace qola {
namespace {

using fft::butterfly;

// The transform of four points, the most frequent leaf of the recursion.
void fourPoints(double* re, double* im) {
  butterfly(re, 0, 2);
  butterfly(im, 0, 2);
  butterfly(re, 1, 3);
  butterfly(im, 1, 3);
  butterfly(re, 0, 1);
  butterfly(im, 0, 1);
  double t1 = im[3] + re[2];
  double t2 = im[2] + re[3];
  im[2] = im[2] - re[3];
  re[3] = re[2] - im[3];
  re[2] = t1;
  im[3] = t2;
}

void longPass(double* re, double* im, int logm) { fft::splitPass(re, im, logm); }

}  // namespace

const FftKernels& portableFftKernels() {
  static constexpr FftKernels kPortable = {longPass, fft::fixedTransform<fourPoints>};
  return kPortable;
}

const FftKernels& fftKernels() {
#if QOLA_AVX2_KERNELS
  static constexpr FftKernels kAvx2 = {avx2::longFftPass, sse2::fixedFftTransform};
  if (cpuPath() == CpuPath::Avx2) return kAvx2;
#endif
#if QOLA_SSE2_KERNELS
  static constexpr FftKernels kSse2 = {longPass, sse2::fixedFftTransform};
  return kSse2;
#else
  return portableFftKernels();
#endif
}

}  // namespace qola
