// DCT-IV and the block DCT built on it, in place on 2^logm doubles (logm 0..12).
//
// forwardDct(x) (FDCT): X_0 = sum x_n, X_k = sqrt(2) sum x_n cos(pi (2n+1) k / 2N),
// that is sqrt(N) times the orthonormal DCT-II. inverseDct (FIDCT) is its
// inverse. The decoder rebuilds samples from inverseDct's doubles, so the
// arithmetic below is fixed to the last operation and every table entry is
// correctly rounded.
#pragma once

namespace qola {

inline constexpr int kMaxDctLogm = 12;

// The scaled DCT-IV (FDCTIV2, the name its length errors carry):
// X_k = scale sqrt(2/N) sum x_n cos(pi (2n+1)(2k+1) / 4N). For logm >= 1 the
// tables hold the block DCT's scale sqrt(N) and the argument is not used.
void scaledDctIv(double* x, int logm, double scale);

void forwardDct(double* x, int logm);
void inverseDct(double* x, int logm);

// The recursive cores (FDCTREC, FIDCTREC) on a working vector of 2^m values, m >= 1.
void forwardDctCore(double* v, int m);
void inverseDctCore(double* v, int m);

// The scaledDctIv tables of one length, with the scale sqrt(N): logm 1 holds P0,
// P1; logm >= 2 holds PreC, PreD, PreE, PostC (N/2 entries each), then PostD,
// PostE (N/2 entries each, the last one unused).
const double* dctIvTable(int logm);

}  // namespace qola
