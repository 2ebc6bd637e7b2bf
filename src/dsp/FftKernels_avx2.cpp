// The FFT's long passes built for AVX2: the compiler runs the independent
// indices of each loop in four lanes, each value with its own operations.
#include "dsp/FftKernels.h"

#include "common/CpuPath.h"

#if QOLA_AVX2_KERNELS
namespace qola::avx2 {

QOLA_TARGET_AVX2 void longFftPass(double* re, double* im, int logm) { fft::splitPass(re, im, logm); }

}  // namespace qola::avx2
#endif
