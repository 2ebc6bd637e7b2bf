// The DCT's inner loops, one build per instruction set: the portable C++ in
// DctKernels.cpp, SSE2 lanes in DctKernels_sse2.cpp, AVX2 lanes in
// DctKernels_avx2.cpp. Each build gives every value exactly the operations of
// the portable loop, in its order; the builds differ in speed only.
#pragma once

#include "dsp/Fft.h"

namespace qola {

// x + i y times e^(-i angle), with c = cos, d = -(sin + cos), e = sin - cos.
inline void rotate(double& x, double& y, double c, double d, double e) {
  double t = (y + x) * c;
  double u = d * x + t;
  x = e * y + t;
  y = u;
}

// The rotation into the working vector: even samples become the real parts,
// odd samples reversed the imaginary parts.
struct PreRotation {
  const double* x;
  int n;
  const double* c;
  const double* d;
  const double* e;
  double* re;
  double* im;
};

// The rotation out of the transform's bit-reversed order into x: output k
// of the transform, at reversedIndex(k, bits), goes to x[2k] and, negated,
// to x[n - 1 - 2k].
struct PostRotation {
  const double* re;
  const double* im;
  int bits;
  const double* c;
  double* x;
  int n;
};

struct DctKernels {
  // into[2i] = a[i], into[2i + 1] = b[i] for i < m (m even).
  void (*interleave)(const double* a, const double* b, int m, double* into);
  // The first 4m outputs from the first m, a = v[m .. 2m-1] and
  // b = v[2m .. 4m-1]: into[4i .. 4i+3] = n[i], b[2i], a[i], b[2i+1] (m even).
  void (*interleaveTwice)(const double* n, const double* a, const double* b, int m, double* into);
  // The step of the core before each half-length DCT-IV, a_i = v[i] and
  // b_i = v[size-1-i] for i < size/2: v[i] = a_i + b_i, v[size/2 + i] = a_i - b_i.
  void (*foldHalves)(double* v, int size);
  // PreRotation for k = 0 .. n/2 - 1.
  void (*preRotate)(const PreRotation& p);
  // PostRotation for outputs first .. last - 1, with d and e already shifted to entry k.
  void (*postRotate)(const PostRotation& p, int first, int last, const double* d, const double* e);
};

// The kernels of the processor path in use.
const DctKernels& dctKernels();
// The portable C++ alone, what a build without SIMD runs.
const DctKernels& portableDctKernels();

// The portable loops from a starting index on: the lane builds finish with them.
void preRotateFrom(const PreRotation& p, int k);
void foldHalvesFrom(double* v, int size, int i);
void postRotateFrom(const PostRotation& p, int first, int last, const double* d, const double* e);

// The lane builds, where the processor family has them (QOLA_SSE2_KERNELS,
// QOLA_AVX2_KERNELS).
namespace sse2 {
void interleave(const double* a, const double* b, int m, double* into);
void interleaveTwice(const double* n, const double* a, const double* b, int m, double* into);
void foldHalves(double* v, int size);
void preRotate(const PreRotation& p);
void postRotate(const PostRotation& p, int first, int last, const double* d, const double* e);
}  // namespace sse2
namespace avx2 {
void preRotate(const PreRotation& p);
}  // namespace avx2

}  // namespace qola
