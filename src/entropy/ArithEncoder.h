// The arithmetic encoder: code bits gather in registers and leave through a
// small byte queue; one symbol or a run of them with a frequency model.
#pragma once

#include <cstdint>

#include "common/Stream.h"
#include "entropy/Ac.h"
#include "entropy/ByteQueue.h"
#include "entropy/FrequencyModel.h"

namespace qola {

namespace ac {
// The state that changes with every symbol, apart from the queue, so that a
// run of symbols can keep it in registers: the queued bytes cannot alias it.
struct CodeRegisters {
  std::int32_t low = 0;
  std::int32_t high = kTop;
  std::int32_t pendingBits = 0;
  std::uint64_t bits = 0;  // the low bitCount bits are unwritten code bits, the earliest highest
  int bitCount = 0;        // below 32 between calls
};
}  // namespace ac

// Code bits gather in a 64-bit number, the latest lowest; whole bytes leave
// for a small byte queue that goes to the stream in one write.
struct ArithEncoder {
  OutputStream* stream = nullptr;
  ac::CodeRegisters code{};
  ByteQueue queue{};
  // A static model's total and its reciprocal, for exactQuotient.
  std::int32_t divisor = 0;
  ac::Reciprocal perDivisor{};
};

void startEncoder(ArithEncoder& encoder, OutputStream& stream);
inline void encodeSymbol(ArithEncoder& encoder, FrequencyModel& model, int symbol);
inline void encodeSymbols(ArithEncoder& encoder, FrequencyModel& model, int count, int offset,
                          const std::int16_t* in);
// Returns the 0-bits that close the last byte (8: a zero byte of its own).
int finishEncoder(ArithEncoder& encoder);

// The encoder's inner step, inline for the same reason.
namespace ac {

// Appends the low count bits of value (count <= 32), the highest first.
// Whole 32-bit words leave for the queue: one test per call, not per byte.
inline void putCodeBits(CodeRegisters& code, ByteQueue& queue, OutputStream& stream, std::uint32_t value,
                        int count) {
  code.bits = (code.bits << count) | value;
  code.bitCount += count;
  if (code.bitCount >= 32) {
    code.bitCount -= 32;
    const auto word = static_cast<std::uint32_t>(code.bits >> code.bitCount);
    reserveQueue(queue, stream, 4);
    for (int shift = 24; shift >= 0; shift -= 8) {
      pushByte(queue, kReversedBytes[static_cast<std::size_t>((word >> shift) & 0xff)]);
    }
  }
}

// n / divisor for 0 <= n < 2^31 (every numerator range * count is below
// 2^16 * 2^14), with the divisor's reciprocal kept while the divisor stays.
inline std::int32_t exactQuotient(ArithEncoder& encoder, std::int32_t n, std::int32_t divisor) {
  if (divisor != encoder.divisor) {
    encoder.divisor = divisor;
    encoder.perDivisor = reciprocalOf(static_cast<std::uint32_t>(divisor));
  }
  return static_cast<std::int32_t>(divide(static_cast<std::uint32_t>(n), encoder.perDivisor));
}

// Appends count (at least 1) copies of bit.
inline void putRun(CodeRegisters& code, ByteQueue& queue, OutputStream& stream, std::uint32_t bit,
                   std::int32_t count) {
  const std::uint32_t word = bit != 0 ? 0xffffffffu : 0;
  for (; count > 32; count -= 32) putCodeBits(code, queue, stream, word, 32);
  putCodeBits(code, queue, stream, word >> (32 - count), count);
}

// Narrows the code range to [low, high] and renormalises: the bit-by-bit
// steps in two batches, as decodeSymbol does them. The leading bits that low
// and high share go out (the pending opposite bits after the first of them),
// then each straddling step adds a pending bit.
// The shortcut for a range that needs no renormalising pays where one
// symbol dominates (an adaptive model's skewed counts); with a static
// model's spread of symbols its branch mispredicts more often than it saves,
// and the general steps give the same result without it.
template <bool kShortcut = true>
inline void narrowCode(CodeRegisters& code, ByteQueue& queue, OutputStream& stream, std::int32_t low,
                       std::int32_t high) {
  if (kShortcut && low < kHalf && high >= kHalf && (low < kFirstQuarter || high >= kThirdQuarter)) {
    // A likely symbol often leaves nothing to renormalise.
    code.low = low;
    code.high = high;
    return;
  }
  const auto ulow = static_cast<std::uint32_t>(low);
  const auto uhigh = static_cast<std::uint32_t>(high);
  // The set bit below the 16 compared ones caps the count at 16 and spares the test for 0.
  const int shared = std::countl_zero(((ulow ^ uhigh) << 16) | 0x8000);
  if (shared > 0 && code.pendingBits > 0) {
    const std::uint32_t first = (ulow >> 15) & 1;
    putCodeBits(code, queue, stream, first, 1);
    putRun(code, queue, stream, first ^ 1, code.pendingBits);
    code.pendingBits = 0;
    putCodeBits(code, queue, stream, (ulow >> (16 - shared)) & ((1u << (shared - 1)) - 1), shared - 1);
  } else {
    // Without pending bits the shared ones go out as they are (none is no case of its own).
    putCodeBits(code, queue, stream, (ulow >> (16 - shared)) & ((1u << shared) - 1), shared);
  }
  const std::uint32_t low1 = (ulow << shared) & 0xffff;
  const std::uint32_t high1 = ((uhigh << shared) | ((1u << shared) - 1)) & 0xffff;
  const int straddling = std::countl_zero(~((low1 & ~high1 & 0x7fff) << 17) | 1);
  code.pendingBits += straddling;
  code.low = static_cast<std::int32_t>((low1 << straddling) & 0x7fff);
  code.high = static_cast<std::int32_t>(((high1 << straddling) & 0x7fff) | 0x8000 | ((1u << straddling) - 1));
}

}  // namespace ac

inline void encodeSymbol(ArithEncoder& encoder, FrequencyModel& model, int symbol) {
  if (symbol < 0 || symbol >= model.symbolCount) ac::symbolOutOfRange();
  const std::int32_t* cumFreq = model.cumFreq.data();
  ac::CodeRegisters& code = encoder.code;
  const std::int32_t range = code.high - code.low + 1;
  const std::int32_t total = cumFreq[0];
  // An adaptive model's total changes with every symbol: it divides.
  const std::int32_t below = model.adaptive ? (range * cumFreq[symbol + 1]) / total
                                            : ac::exactQuotient(encoder, range * cumFreq[symbol + 1], total);
  const std::int32_t upTo = model.adaptive ? (range * cumFreq[symbol]) / total
                                           : ac::exactQuotient(encoder, range * cumFreq[symbol], total);
  ac::narrowCode(code, encoder.queue, *encoder.stream, code.low + below, code.low + upTo - 1);
  if (model.adaptive) ac::updateModel(model, symbol);
}

// Encodes the count symbols in[i] + offset. A model that never adapts
// multiplies by its total's reciprocal, taken into the counts, and keeps
// the coder's registers in a local copy.
inline void encodeSymbols(ArithEncoder& encoder, FrequencyModel& model, int count, int offset,
                          const std::int16_t* in) {
  if (model.adaptive || model.symbolCount > FrequencyModel::kLookupSymbols) {
    for (int i = 0; i < count; ++i) encodeSymbol(encoder, model, in[i] + offset);
    return;
  }
  const ac::Reciprocal perTotal = ac::reciprocalOf(static_cast<std::uint32_t>(model.cumFreq[0]));
  // Counts below 2^14 times the multiplier (at most 2^33), times a range of
  // at most 2^16: the products stay below 2^63.
  const ac::ScaledCounts scaled = ac::scaledCounts(model, perTotal);
  const auto symbols = static_cast<std::uint32_t>(model.symbolCount);
  ac::CodeRegisters code = encoder.code;
  for (int i = 0; i < count; ++i) {
    const auto symbol = static_cast<std::uint32_t>(in[i] + offset);
    if (symbol >= symbols) ac::symbolOutOfRange();
    const auto range = static_cast<std::uint64_t>(code.high - code.low + 1);
    const auto below = static_cast<std::int32_t>((range * scaled[symbol + 1]) >> perTotal.shift);
    const auto upTo = static_cast<std::int32_t>((range * scaled[symbol]) >> perTotal.shift);
    ac::narrowCode<false>(code, encoder.queue, *encoder.stream, code.low + below, code.low + upTo - 1);
  }
  encoder.code = code;
}

}  // namespace qola
