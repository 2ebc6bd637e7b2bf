#include "dsp/Fft.h"

#include <utility>

#include "common/Fatal.h"
#include "dsp/FftKernels.h"
#include "dsp/TransformTables.h"

namespace qola {
namespace {

void splitRadix(double* re, double* im, int logm, const FftKernels& kernels) {
  // The last quarter's call is the loop back with logm - 2.
  while (logm > kMaxFixedFftLogm) {
    const int half = 1 << (logm - 1);
    const int quarter = half / 2;
    kernels.longPass(re, im, logm);
    splitRadix(re, im, logm - 1, kernels);
    splitRadix(re + half, im + half, logm - 2, kernels);
    re += half + quarter;
    im += half + quarter;
    logm -= 2;
  }
  kernels.fixedTransform(re, im, logm);
}

}  // namespace

const double* fftTwiddleTable(int logm) { return kTwiddleTableData + tableOffset(twiddleTableSize, logm); }

void splitRadixFft(double* re, double* im, int logm) {
  checkLogm("SRFFT", logm, kMaxFftLogm);
  splitRadix(re, im, logm, fftKernels());
}

void bitReverse(double* x, int logm) {
  if (logm < 0 || logm > kMaxFftLogm) return;  // unreachable through naturalOrderFft, which checks first
  const int n = 1 << logm;
  for (int j = 1; j < n; ++j) {
    const int r = reversedIndex(j, logm);
    if (j < r) std::swap(x[j], x[r]);
  }
}

void naturalOrderFft(double* re, double* im, int logm) {
  splitRadixFft(re, im, logm);
  if (logm > 1) {
    bitReverse(re, logm);
    bitReverse(im, logm);
  }
}

}  // namespace qola
