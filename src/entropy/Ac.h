// The arithmetic coder's common ground: a multi-symbol coder with 16-bit
// code values and deferred ("follow") bits. The encoder (ArithEncoder.h) and
// the decoder (ArithDecoder.h) share these constants and the frequency
// models (FrequencyModel.h) that drive them; their out-of-line parts and
// every check that stops a job live in Ac.cpp.
//
// Code bits are packed least significant bit first. A finished stream is
// floor(E/8) + 1 bytes for E emitted bits, never empty. The decoder reads
// 14 bits past the last emitted one; finishDecoder steps back over the
// bytes it fetched ahead.
#pragma once

#include <array>
#include <bit>
#include <cstdint>

namespace qola {

namespace ac {
inline constexpr std::int32_t kTop = 0xffff;
inline constexpr std::int32_t kFirstQuarter = 0x4000;
inline constexpr std::int32_t kHalf = 0x8000;
inline constexpr std::int32_t kThirdQuarter = 0xC000;
inline constexpr std::int32_t kMaxFrequency = 0x3fff;
inline constexpr int kEndOfFileReadsAllowed = 14;

// floor(n / d) for n < 2^31 as a multiplication: with 2^(l-1) < d <= 2^l
// and m = ceil(2^(32+l) / d) <= 2^33, (n * m) >> (32 + l) is exact and n * m
// fits 64 bits.
struct Reciprocal {
  std::uint64_t multiplier = 1;
  int shift = 0;
};

inline Reciprocal reciprocalOf(std::uint32_t d) {
  const int l = std::bit_width(d - 1);
  const int shift = 32 + l;
  return {((std::uint64_t{1} << shift) + d - 1) / d, shift};
}

inline std::uint32_t divide(std::uint32_t n, const Reciprocal& r) {
  return static_cast<std::uint32_t>((n * r.multiplier) >> r.shift);
}

// Bytes with their bit order reversed: code bits fill each byte from bit 0
// up, and reversed those bits come out most significant first.
inline constexpr std::array<std::uint8_t, 256> kReversedBytes = [] {
  std::array<std::uint8_t, 256> table{};
  for (int byte = 0; byte < 256; ++byte) {
    int reversed = 0;
    for (int bit = 0; bit < 8; ++bit) reversed |= ((byte >> bit) & 1) << (7 - bit);
    table[static_cast<std::size_t>(byte)] = static_cast<std::uint8_t>(reversed);
  }
  return table;
}();
}  // namespace ac

}  // namespace qola
