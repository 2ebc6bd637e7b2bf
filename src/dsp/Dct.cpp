#include "dsp/Dct.h"

#include "common/CpuPath.h"
#include "common/Fatal.h"

#include <array>
#include <cmath>
#include <cstddef>
#include <memory>
#include <new>
#include <string>
#include <utility>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if QOLA_AVX2_KERNELS
#include <immintrin.h>
#endif

#include "dsp/Fft.h"
#include "dsp/TransformTables.h"

namespace qola {
namespace {

[[noreturn]] void outOfMemory(const char* what) {
  fatalErrorOn(ErrorChannel::StandardOutput, what, 1);
}

// Working vectors, one per length and thread: transforms of different
// blocks may run at once on different threads, never reentrantly on one.
double* workingVector(std::array<std::vector<double>, kMaxDctLogm + 1>& slots, int logm,
                      std::size_t size, const char* failure) {
  std::vector<double>& slot = slots[logm];
  if (slot.empty()) {
    try {
      slot.assign(size, 0.0);
    } catch (const std::bad_alloc&) {
      outOfMemory(failure);
    }
  }
  return slot.data();
}

thread_local std::array<std::vector<double>, kMaxDctLogm + 1> rotationVectors;
thread_local std::array<std::vector<double>, kMaxDctLogm + 1> blockVectors;

double* blockVector(int logm, const char* failure) {
  return workingVector(blockVectors, logm, std::size_t{1} << logm, failure);
}

// into[2i] = a[i], into[2i + 1] = b[i] for i < m (m even).
void interleave(const double* a, const double* b, int m, double* into) {
#if defined(__SSE2__)
  for (int i = 0; i < m; i += 2) {
    const __m128d pa = _mm_loadu_pd(a + i);
    const __m128d pb = _mm_loadu_pd(b + i);
    _mm_storeu_pd(into + 2 * i, _mm_unpacklo_pd(pa, pb));
    _mm_storeu_pd(into + 2 * i + 2, _mm_unpackhi_pd(pa, pb));
  }
#else
  for (int i = 0; i < m; ++i) {
    into[2 * i] = a[i];
    into[2 * i + 1] = b[i];
  }
#endif
}

// The first 4m outputs from the first m, a = v[m .. 2m-1] and
// b = v[2m .. 4m-1]: into[4i .. 4i+3] = n[i], b[2i], a[i], b[2i+1] (m even).
void interleaveTwice(const double* n, const double* a, const double* b, int m, double* into) {
#if defined(__SSE2__)
  for (int i = 0; i < m; i += 2) {
    const __m128d pn = _mm_loadu_pd(n + i);
    const __m128d pa = _mm_loadu_pd(a + i);
    const __m128d b0 = _mm_loadu_pd(b + 2 * i);
    const __m128d b1 = _mm_loadu_pd(b + 2 * i + 2);
    double* out = into + 4 * i;
    _mm_storeu_pd(out, _mm_unpacklo_pd(pn, b0));
    _mm_storeu_pd(out + 2, _mm_shuffle_pd(pa, b0, 2));
    _mm_storeu_pd(out + 4, _mm_shuffle_pd(pn, b1, 1));
    _mm_storeu_pd(out + 6, _mm_unpackhi_pd(pa, b1));
  }
#else
  for (int i = 0; i < m; ++i) {
    into[4 * i] = n[i];
    into[4 * i + 1] = b[2 * i];
    into[4 * i + 2] = a[i];
    into[4 * i + 3] = b[2 * i + 1];
  }
#endif
}

// The step of the core before each half-length DCT-IV, a_i = v[i] and
// b_i = v[size-1-i] for i < size/2: v[i] = a_i + b_i, v[size/2 + i] = a_i - b_i.
// Element i and element size/2-1-i read and write the same four places, so
// they go together; in SSE2 lanes i, i + 1 and their mirrors.
void foldHalves(double* v, int size) {
  const int half = size / 2;
  const int quarter = size / 4;
  int i = 0;
#if defined(__SSE2__)
  for (; i + 2 <= quarter; i += 2) {
    const int mirror = half - 2 - i;  // i and i + 1 reflected, in ascending order
    const __m128d a1 = _mm_loadu_pd(v + i);
    const __m128d b1 = _mm_shuffle_pd(_mm_loadu_pd(v + size - 2 - i), _mm_loadu_pd(v + size - 2 - i), 1);
    const __m128d a2 = _mm_shuffle_pd(_mm_loadu_pd(v + mirror), _mm_loadu_pd(v + mirror), 1);
    const __m128d b2 = _mm_loadu_pd(v + half + i);
    _mm_storeu_pd(v + i, _mm_add_pd(a1, b1));
    _mm_storeu_pd(v + half + i, _mm_sub_pd(a1, b1));
    const __m128d sum2 = _mm_add_pd(a2, b2);
    const __m128d difference2 = _mm_sub_pd(a2, b2);
    _mm_storeu_pd(v + mirror, _mm_shuffle_pd(sum2, sum2, 1));
    _mm_storeu_pd(v + size - 2 - i, _mm_shuffle_pd(difference2, difference2, 1));
  }
#endif
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

// x + i y times e^(-i angle), with c = cos, d = -(sin + cos), e = sin - cos.
inline void rotate(double& x, double& y, double c, double d, double e) {
  double t = (y + x) * c;
  double u = d * x + t;
  x = e * y + t;
  y = u;
}

// The rotation into the working vector: even samples become the real parts,
// odd samples reversed the imaginary parts. Lanes take consecutive k, each
// value with exactly the operations of rotate, in its order.
struct PreRotation {
  const double* x;
  int n;
  const double* c;
  const double* d;
  const double* e;
  double* re;
  double* im;
};

void preRotate(const PreRotation& p) {
  const int half = p.n / 2;
  int k = 0;
#if defined(__SSE2__)
  // Two k at a time: x[2k], x[2k + 2] and x[n - 1 - 2k], x[n - 3 - 2k].
  for (; k + 2 <= half; k += 2) {
    const __m128d a = _mm_unpacklo_pd(_mm_loadu_pd(p.x + 2 * k), _mm_loadu_pd(p.x + 2 * k + 2));
    const __m128d b = _mm_unpackhi_pd(_mm_loadu_pd(p.x + p.n - 2 - 2 * k), _mm_loadu_pd(p.x + p.n - 4 - 2 * k));
    const __m128d t = _mm_mul_pd(_mm_add_pd(b, a), _mm_loadu_pd(p.c + k));
    _mm_storeu_pd(p.im + k, _mm_add_pd(_mm_mul_pd(_mm_loadu_pd(p.d + k), a), t));
    _mm_storeu_pd(p.re + k, _mm_add_pd(_mm_mul_pd(_mm_loadu_pd(p.e + k), b), t));
  }
#endif
  for (; k < half; ++k) {
    double a = p.x[2 * k];
    double b = p.x[p.n - 1 - 2 * k];
    rotate(a, b, p.c[k], p.d[k], p.e[k]);
    p.re[k] = a;
    p.im[k] = b;
  }
}

#if QOLA_AVX2_KERNELS
// The same in four lanes; the shuffles gather x[2k .. 2k + 6] and x[n - 1 - 2k .. n - 7 - 2k].
QOLA_TARGET_AVX2 void preRotateAvx2(const PreRotation& p) {
  const int half = p.n / 2;
  int k = 0;
  for (; k + 4 <= half; k += 4) {
    const __m256d low = _mm256_loadu_pd(p.x + 2 * k);
    const __m256d high = _mm256_loadu_pd(p.x + 2 * k + 4);
    const __m256d a = _mm256_permute4x64_pd(_mm256_unpacklo_pd(low, high), 0xd8);  // lanes 0, 2, 1, 3
    const __m256d end = _mm256_loadu_pd(p.x + p.n - 4 - 2 * k);
    const __m256d before = _mm256_loadu_pd(p.x + p.n - 8 - 2 * k);
    const __m256d b = _mm256_permute4x64_pd(_mm256_unpackhi_pd(end, before), 0x72);  // lanes 2, 0, 3, 1
    const __m256d t = _mm256_mul_pd(_mm256_add_pd(b, a), _mm256_loadu_pd(p.c + k));
    _mm256_storeu_pd(p.im + k, _mm256_add_pd(_mm256_mul_pd(_mm256_loadu_pd(p.d + k), a), t));
    _mm256_storeu_pd(p.re + k, _mm256_add_pd(_mm256_mul_pd(_mm256_loadu_pd(p.e + k), b), t));
  }
  if (k < half) preRotate(p);  // lengths below four k
}
#endif

void preRotation(const PreRotation& p) {
#if QOLA_AVX2_KERNELS
  if (cpuPath() == CpuPath::Avx2) return preRotateAvx2(p);
#endif
  preRotate(p);
}

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

void postRotateOne(const PostRotation& p, int k, const double* d, const double* e) {
  const int r = reversedIndex(k, p.bits);
  double a = p.re[r];
  double b = p.im[r];
  rotate(a, b, p.c[k], d[k], e[k]);
  p.x[2 * k] = a;
  p.x[p.n - 1 - 2 * k] = -b;
}

// Outputs first .. last - 1, with d and e already shifted to entry k. An even
// k and k + 1 sit half a transform apart, and share two SSE2 lanes.
void postRotate(const PostRotation& p, int first, int last, const double* d, const double* e) {
  int k = first;
  if (k % 2 != 0 && k < last) postRotateOne(p, k++, d, e);
#if defined(__SSE2__)
  const int apart = p.bits >= 1 ? 1 << (p.bits - 1) : 0;
  const __m128d signs = _mm_set1_pd(-0.0);
  for (; k + 2 <= last; k += 2) {
    const double* re = p.re + reversedIndex(k, p.bits);
    const double* im = p.im + reversedIndex(k, p.bits);
    const __m128d a = _mm_loadh_pd(_mm_load_sd(re), re + apart);
    const __m128d b = _mm_loadh_pd(_mm_load_sd(im), im + apart);
    const __m128d t = _mm_mul_pd(_mm_add_pd(b, a), _mm_loadu_pd(p.c + k));
    const __m128d u = _mm_add_pd(_mm_mul_pd(_mm_loadu_pd(d + k), a), t);
    const __m128d rotated = _mm_add_pd(_mm_mul_pd(_mm_loadu_pd(e + k), b), t);
    const __m128d negated = _mm_xor_pd(u, signs);  // -b, exactly
    _mm_store_sd(p.x + 2 * k, rotated);
    _mm_storeh_pd(p.x + 2 * k + 2, rotated);
    _mm_store_sd(p.x + p.n - 1 - 2 * k, negated);
    _mm_storeh_pd(p.x + p.n - 3 - 2 * k, negated);
  }
#endif
  for (; k < last; ++k) postRotateOne(p, k, d, e);
}

}  // namespace

const double* dctIvTable(int logm) { return kDctIvTableData + tableOffset(dctIvTableSize, logm); }

void FDCTIV2(double* x, int logm, double scale) {
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
  double* re = workingVector(rotationVectors, logm, static_cast<std::size_t>(n),
                             "Error: FDCTIV2: not enough memory for working vector.");
  double* im = re + half;
  preRotation({x, n, preC, preD, preE, re, im});

  SRFFT(re, im, logm - 1);

  // The transform leaves its outputs in bit-reversed order: each is taken
  // from there, rotated and stored straight into its place in x.
  const PostRotation post{re, im, logm - 1, postC, x, n};
  postRotate(post, 0, quarter, postD, postE);
  {
    const int r = reversedIndex(quarter, logm - 1);
    const double a = (im[r] + re[r]) * postC[quarter];
    const double b = (im[r] - re[r]) * postC[quarter];
    x[2 * quarter] = a;
    x[n - 1 - 2 * quarter] = -b;
  }
  postRotate(post, quarter + 1, half, postD - 1, postE - 1);
}

void FDCTREC(double* v, int m) {
  while (m > 1) {
    const int size = 1 << m;
    const int half = size / 2;
    foldHalves(v, size);
    FDCTIV2(v + half, m - 1, std::sqrt(static_cast<double>(half)));
    --m;
  }
  double t = v[1] + v[0];
  v[1] = v[0] - v[1];
  v[0] = t;
}

void FIDCTREC(double* v, int m) {
  if (m == 1) {
    double t = v[1] + v[0];
    v[1] = v[0] - v[1];
    v[0] = t;
    return;
  }
  const int size = 1 << m;
  const int half = size / 2;
  FDCTIV2(v + half, m - 1, std::sqrt(static_cast<double>(half)));
  FIDCTREC(v, m - 1);
  for (int i = 0; i < size / 4; ++i) std::swap(v[half + i], v[size - 1 - i]);
  for (int i = 0; i < half; ++i) {
    double t = v[size - 1 - i] + v[i];
    v[size - 1 - i] = v[i] - v[size - 1 - i];
    v[i] = t;
  }
}

void FDCT(double* x, int logm) {
  checkLogm("FDCT", logm, kMaxDctLogm);
  if (logm == 0) return;
  if (logm == 1) {
    double t = x[1] + x[0];
    x[1] = x[0] - x[1];
    x[0] = t;
    return;
  }
  const int n = 1 << logm;
  double* v = blockVector(logm, "Error: FDCT: not enough memory for working vector.");
  for (int i = 0; i < n; ++i) v[i] = x[i];
  FDCTREC(v, logm);
  // The core leaves the odd multiples of 2^c in v[h .. 2h-1], h = N/2^(c+1):
  // the first 2m outputs in natural order interleave the first m with
  // v[m .. 2m-1]. Each pass takes two such steps at once (one alone first when
  // their count is odd); the passes alternate between x and a scratch vector
  // so that the last one lands in x.
  double* scratch = blockVector(logm - 1, "Error: FDCT: not enough memory for working vector.");
  const int steps = logm - 1;
  int passesLeft = steps / 2 + steps % 2;
  const double* natural = v;
  int m = 2;
  if (steps % 2 != 0) {
    double* into = --passesLeft % 2 == 0 ? x : scratch;
    interleave(natural, v + m, m, into);
    natural = into;
    m *= 2;
  }
  for (; m < n; m *= 4) {
    double* into = --passesLeft % 2 == 0 ? x : scratch;
    interleaveTwice(natural, v + m, v + 2 * m, m, into);
    natural = into;
  }
}

void FIDCT(double* x, int logm) {
  checkLogm("FIDCT", logm, kMaxDctLogm);
  if (logm == 0) return;
  if (logm == 1) {
    double t = (x[1] + x[0]) * 0.5;
    x[1] = (x[0] - x[1]) * 0.5;
    x[0] = t;
    return;
  }
  const int n = 1 << logm;
  double* v = blockVector(logm, "Error: FIDCT: not enough memory for working vector.");
  for (int c = 0; c < logm; ++c) {
    const int h = n >> (c + 1);
    const int first = 1 << c;
    const int stride = 2 << c;
    for (int i = 0; i < h; ++i) v[h + i] = x[first + i * stride];
  }
  v[0] = x[0];
  v[1] = x[n / 2];
  FIDCTREC(v, logm);
  const double r = 1.0 / n;
  for (int i = 0; i < n; ++i) x[i] = v[i] * r;
}

}  // namespace qola
