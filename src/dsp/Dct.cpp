#include "dsp/Dct.h"

#include "common/Fatal.h"

#include <array>
#include <cmath>
#include <cstddef>
#include <memory>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "dsp/DctKernels.h"
#include "dsp/Fft.h"
#include "dsp/TransformTables.h"

namespace qola {
namespace {

// Working vectors, one per length and thread: transforms of different
// blocks may run at once on different threads, never reentrantly on one.
// Plain arrays rather than vectors: a thread then has no destructor to
// register for them, a registration that would end the process when memory
// is short. The vector of 2^logm values is [2^logm, 2^(logm + 1)).
constexpr std::size_t kWorkingSize = std::size_t{2} << kMaxDctLogm;
thread_local double rotationVectors[kWorkingSize];
thread_local double blockVectors[kWorkingSize];

double* workingVector(double* vectors, int logm) { return vectors + (std::size_t{1} << logm); }

double* blockVector(int logm) { return workingVector(blockVectors, logm); }

}  // namespace

const double* dctIvTable(int logm) { return kDctIvTableData + tableOffset(dctIvTableSize, logm); }

void scaledDctIv(double* x, int logm, double scale) {
  checkLogm("FDCTIV2", logm, kMaxDctLogm);
  if (logm == 0) {
    x[0] = x[0] * scale;
    return;
  }
  const double* table = dctIvTable(logm);
  if (logm == 1) {
    const double p0 = table[0];
    const double p1 = table[1];
    double x0 = x[0] * p0 + p1 * x[1];
    x[1] = x[0] * p1 - p0 * x[1];
    x[0] = x0;
    return;
  }

  const int n = 1 << logm;
  const int half = n / 2;
  const int quarter = n / 4;
  const double* preC = table;
  const double* preD = preC + half;
  const double* preE = preD + half;
  const double* postC = preE + half;
  const double* postD = postC + half;
  const double* postE = postD + half;
  double* re = workingVector(rotationVectors, logm);
  double* im = re + half;
  const DctKernels& kernels = dctKernels();
  kernels.preRotate({x, n, preC, preD, preE, re, im});

  splitRadixFft(re, im, logm - 1);

  // The transform leaves its outputs in bit-reversed order: each is taken
  // from there, rotated and stored straight into its place in x.
  const PostRotation post{re, im, logm - 1, postC, x, n};
  kernels.postRotate(post, 0, quarter, postD, postE);
  {
    const int r = reversedIndex(quarter, logm - 1);
    const double a = (im[r] + re[r]) * postC[quarter];
    const double b = (im[r] - re[r]) * postC[quarter];
    x[2 * quarter] = a;
    x[n - 1 - 2 * quarter] = -b;
  }
  kernels.postRotate(post, quarter + 1, half, postD - 1, postE - 1);
}

void forwardDctCore(double* v, int m) {
  const DctKernels& kernels = dctKernels();
  while (m > 1) {
    const int size = 1 << m;
    const int half = size / 2;
    kernels.foldHalves(v, size);
    scaledDctIv(v + half, m - 1, std::sqrt(static_cast<double>(half)));
    --m;
  }
  double t = v[1] + v[0];
  v[1] = v[0] - v[1];
  v[0] = t;
}

void inverseDctCore(double* v, int m) {
  if (m == 1) {
    double t = v[1] + v[0];
    v[1] = v[0] - v[1];
    v[0] = t;
    return;
  }
  const int size = 1 << m;
  const int half = size / 2;
  scaledDctIv(v + half, m - 1, std::sqrt(static_cast<double>(half)));
  inverseDctCore(v, m - 1);
  for (int i = 0; i < size / 4; ++i) std::swap(v[half + i], v[size - 1 - i]);
  for (int i = 0; i < half; ++i) {
    double t = v[size - 1 - i] + v[i];
    v[size - 1 - i] = v[i] - v[size - 1 - i];
    v[i] = t;
  }
}

void forwardDct(double* x, int logm) {
  checkLogm("FDCT", logm, kMaxDctLogm);
  if (logm == 0) return;
  if (logm == 1) {
    double t = x[1] + x[0];
    x[1] = x[0] - x[1];
    x[0] = t;
    return;
  }
  const int n = 1 << logm;
  double* v = blockVector(logm);
  for (int i = 0; i < n; ++i) v[i] = x[i];
  forwardDctCore(v, logm);
  // The core leaves the odd multiples of 2^c in v[h .. 2h-1], h = N/2^(c+1):
  // the first 2m outputs in natural order interleave the first m with
  // v[m .. 2m-1]. Each pass takes two such steps at once (one alone first when
  // their count is odd); the passes alternate between x and a scratch vector
  // so that the last one lands in x.
  double* scratch = blockVector(logm - 1);
  const DctKernels& kernels = dctKernels();
  const int steps = logm - 1;
  int passesLeft = steps / 2 + steps % 2;
  const double* natural = v;
  int m = 2;
  if (steps % 2 != 0) {
    double* into = --passesLeft % 2 == 0 ? x : scratch;
    kernels.interleave(natural, v + m, m, into);
    natural = into;
    m *= 2;
  }
  for (; m < n; m *= 4) {
    double* into = --passesLeft % 2 == 0 ? x : scratch;
    kernels.interleaveTwice(natural, v + m, v + 2 * m, m, into);
    natural = into;
  }
}

void inverseDct(double* x, int logm) {
  checkLogm("FIDCT", logm, kMaxDctLogm);
  if (logm == 0) return;
  if (logm == 1) {
    double t = (x[1] + x[0]) * 0.5;
    x[1] = (x[0] - x[1]) * 0.5;
    x[0] = t;
    return;
  }
  const int n = 1 << logm;
  double* v = blockVector(logm);
  for (int c = 0; c < logm; ++c) {
    const int h = n >> (c + 1);
    const int first = 1 << c;
    const int stride = 2 << c;
    for (int i = 0; i < h; ++i) v[h + i] = x[first + i * stride];
  }
  v[0] = x[0];
  v[1] = x[n / 2];
  inverseDctCore(v, logm);
  const double r = 1.0 / n;
  for (int i = 0; i < n; ++i) x[i] = v[i] * r;
}

}  // namespace qola
