// Split-radix complex FFT of 2^logm points (logm 0..12), in place.
//
// The operation order is part of the file format: the inverse block DCT
// built on this transform must give the same doubles in the compressor and
// in every decompressor.
#pragma once

#include <array>
#include <cstdint>

namespace qola {

inline constexpr int kMaxFftLogm = 12;

// Every index below 2^kMaxFftLogm with its kMaxFftLogm bits reversed.
inline constexpr std::array<std::uint16_t, 1 << kMaxFftLogm> kReversedIndex = [] {
  std::array<std::uint16_t, 1 << kMaxFftLogm> table{};
  for (int k = 0; k < (1 << kMaxFftLogm); ++k) {
    int reversed = 0;
    for (int bit = 0; bit < kMaxFftLogm; ++bit) reversed |= ((k >> bit) & 1) << (kMaxFftLogm - 1 - bit);
    table[static_cast<std::size_t>(k)] = static_cast<std::uint16_t>(reversed);
  }
  return table;
}();

// k < 2^logm with its low logm bits reversed: where splitRadixFft leaves output k.
inline int reversedIndex(int k, int logm) {
  return kReversedIndex[static_cast<std::size_t>(k)] >> (kMaxFftLogm - logm);
}

// The split-radix FFT (SRFFT, the name its length errors carry).
// Forward DFT X_k = sum x_n e^(-2 pi i nk/N), unnormalised, left in
// bit-reversed order.
void splitRadixFft(double* re, double* im, int logm);

// BITREV: swaps x[j] with x[reverse(j)], reverse taking the low logm bits backwards.
void bitReverse(double* x, int logm);

// CFFT: splitRadixFft followed by the permutation, the result in natural order.
void naturalOrderFft(double* re, double* im, int logm);

// The six twiddle sub-tables of one length (C1, D1, E1, C3, D3, E3, each
// N/4 - 2 entries); logm 4..12.
const double* fftTwiddleTable(int logm);

}  // namespace qola
