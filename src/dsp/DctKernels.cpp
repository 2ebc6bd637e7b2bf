#include "dsp/DctKernels.h"

#include "common/CpuPath.h"

namespace qola {
namespace {

void interleave(const double* a, const double* b, int m, double* into) {
  for (int i = 0; i < m; ++i) {
    into[2 * i] = a[i];
    into[2 * i + 1] = b[i];
  }
}

void interleaveTwice(const double* n, const double* a, const double* b, int m, double* into) {
  for (int i = 0; i < m; ++i) {
    into[4 * i] = n[i];
    into[4 * i + 1] = b[2 * i];
    into[4 * i + 2] = a[i];
    into[4 * i + 3] = b[2 * i + 1];
  }
}

void foldHalves(double* v, int size) { foldHalvesFrom(v, size, 0); }

void preRotate(const PreRotation& p) { preRotateFrom(p, 0); }

void postRotateOne(const PostRotation& p, int k, const double* d, const double* e) {
  const int r = reversedIndex(k, p.bits);
  double a = p.re[r];
  double b = p.im[r];
  rotate(a, b, p.c[k], d[k], e[k]);
  p.x[2 * k] = a;
  p.x[p.n - 1 - 2 * k] = -b;
}

}  // namespace

// Element i and element size/2-1-i read and write the same four places, so
// they go together.
void foldHalvesFrom(double* v, int size, int i) {
  const int half = size / 2;
  const int quarter = size / 4;
  for (; i < quarter; ++i) {
    const int mirror = half - 1 - i;
    const double a1 = v[i];
    const double b1 = v[size - 1 - i];
    const double a2 = v[mirror];
    const double b2 = v[half + i];
    v[i] = a1 + b1;
    v[half + i] = a1 - b1;
    v[mirror] = a2 + b2;
    v[size - 1 - i] = a2 - b2;
  }
}

void preRotateFrom(const PreRotation& p, int k) {
  const int half = p.n / 2;
  for (; k < half; ++k) {
    double a = p.x[2 * k];
    double b = p.x[p.n - 1 - 2 * k];
    rotate(a, b, p.c[k], p.d[k], p.e[k]);
    p.re[k] = a;
    p.im[k] = b;
  }
}

void postRotateFrom(const PostRotation& p, int first, int last, const double* d, const double* e) {
  for (int k = first; k < last; ++k) postRotateOne(p, k, d, e);
}

const DctKernels& portableDctKernels() {
  static constexpr DctKernels kPortable = {interleave, interleaveTwice, foldHalves, preRotate, postRotateFrom};
  return kPortable;
}

const DctKernels& dctKernels() {
#if QOLA_AVX2_KERNELS
  static constexpr DctKernels kAvx2 = {sse2::interleave, sse2::interleaveTwice, sse2::foldHalves, avx2::preRotate,
                                       sse2::postRotate};
  if (cpuPath() == CpuPath::Avx2) return kAvx2;
#endif
#if QOLA_SSE2_KERNELS
  static constexpr DctKernels kSse2 = {sse2::interleave, sse2::interleaveTwice, sse2::foldHalves, sse2::preRotate,
                                       sse2::postRotate};
  return kSse2;
#else
  return portableDctKernels();
#endif
}

}  // namespace qola
