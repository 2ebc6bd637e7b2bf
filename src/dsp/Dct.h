// DCT-IV and the block DCT built on it, in place on 2^logm doubles (logm 0..12).
//
// FDCT(x): X_0 = sum x_n, X_k = sqrt(2) sum x_n cos(pi (2n+1) k / 2N), that is
// sqrt(N) times the orthonormal DCT-II. FIDCT is its inverse. The decoder
// rebuilds samples from FIDCT's doubles, so the arithmetic below is fixed to
// the last operation and every table entry is correctly rounded.
#pragma once

namespace qola {

inline constexpr int kMaxDctLogm = 12;

// X_k = scale sqrt(2/N) sum x_n cos(pi (2n+1)(2k+1) / 4N). For logm >= 1 the
// tables hold the block DCT's scale sqrt(N) and the argument is not used.
void FDCTIV2(double* x, int logm, double scale);

void FDCT(double* x, int logm);
void FIDCT(double* x, int logm);

// The recursive cores on a working vector of 2^m values, m >= 1.
void FDCTREC(double* v, int m);
void FIDCTREC(double* v, int m);

// The FDCTIV2 tables of one length, with the scale sqrt(N): logm 1 holds P0,
// P1; logm >= 2 holds PreC, PreD, PreE, PostC (N/2 entries each), then PostD,
// PostE (N/2 entries each, the last one unused).
const double* dctIvTable(int logm);

}  // namespace qola
