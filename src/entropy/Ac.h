// Multi-symbol arithmetic coder with 16-bit code values and deferred
// ("follow") bits, and the frequency models that drive it.
//
// Code bits are packed least significant bit first. A finished stream is
// floor(E/8) + 1 bytes for E emitted bits, never empty. The decoder reads
// 14 bits past the last emitted one; finishDecoder steps back over the
// bytes it fetched ahead.
#pragma once

#include "common/ByteOrder.h"
#include "common/Stream.h"
#include "entropy/ByteQueue.h"

#include <array>
#include <bit>
#include <cstdint>
#include <vector>

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

// The decoder reads ahead up to eight bytes at a time, but counts its input
// as a reader taking one byte whenever it needs one of its bits: the reads
// past the end of the input it tolerates and the byte it stops on are those.
struct ArithDecoder {
  InputStream* stream = nullptr;
  // low, and high's complement 0xffff - high, in the top 16 bits of 32: a
  // renormalising shift moves the bits of both alike (high's 1-bits coming in
  // as complemented 0-bits) and drops those above.
  std::uint32_t low = 0;
  std::uint32_t highComplement = 0;
  // The code value minus low in the top 16 bits, then `ahead` bits read ahead
  // of it, each input byte in reversed bit order (the coder packs bits from
  // bit 0 up); below them the first bits of the next byte, or 0.
  std::uint64_t code = 0;
  int ahead = -16;   // at least 16 between symbols: the most one symbol takes
  int eofReads = 0;  // bytes taken past the end of the input, read as 0xff
};

// Symbol s owns the count range [cumFreq[s+1], cumFreq[s]); cumFreq[0] is the total.
struct FrequencyModel {
  int symbolCount = 0;
  std::vector<std::int32_t> counts;
  std::vector<std::int32_t> cumFreq;
  bool adaptive = false;
  // A model that never adapts and has a small total keeps the symbol of each
  // count value, so that decoding looks it up instead of searching.
  static constexpr int kLookupLimit = 2048;
  static constexpr int kLookupSymbols = 256;
  bool hasLookup = false;
  std::array<std::uint8_t, kLookupLimit> symbolOfCount;
};

void startEncoder(ArithEncoder& encoder, OutputStream& stream);
inline void encodeSymbol(ArithEncoder& encoder, FrequencyModel& model, int symbol);
inline void encodeSymbols(ArithEncoder& encoder, FrequencyModel& model, int count, int offset,
                          const std::int16_t* in);
// Returns the 0-bits that close the last byte (8: a zero byte of its own).
int finishEncoder(ArithEncoder& encoder);

void startDecoder(ArithDecoder& decoder, InputStream& stream);
// Refuses a message that needed too many bytes past the end of the input,
// and moves the input back onto the first byte after the message.
void finishDecoder(ArithDecoder& decoder);

// initialFreq: n counts, each at least 1, or nullptr for all counts 1.
void initModel(FrequencyModel& model, int n, const std::int32_t* initialFreq, bool adaptive);
void freeModel(FrequencyModel& model);

// The decoder's inner step, inline so that the residual loop keeps the coder
// state in registers.
namespace ac {

ArithDecoder refillSlowly(ArithDecoder decoder);
[[noreturn]] void symbolOutOfRange();

// Reverses the bit order within each byte.
inline std::uint64_t reverseBitsOfBytes(std::uint64_t x) {
  x = ((x >> 1) & 0x5555555555555555u) | ((x & 0x5555555555555555u) << 1);
  x = ((x >> 2) & 0x3333333333333333u) | ((x & 0x3333333333333333u) << 2);
  return ((x >> 4) & 0x0f0f0f0f0f0f0f0fu) | ((x & 0x0f0f0f0f0f0f0f0fu) << 4);
}

// Reads ahead to at least 16 bits beyond the code value.
inline void refill(ArithDecoder& decoder) {
  InputStream& input = *decoder.stream;
  if (input.buffered() < 8) {
    decoder = refillSlowly(decoder);  // by value, so that a decoder kept in registers stays there
    return;
  }
  const int filled = 16 + decoder.ahead;
  // The bits below the read-ahead ones already equal the word's bits there.
  decoder.code |= reverseBitsOfBytes(loadBig64(input.next())) >> filled;
  const int bytes = (63 - filled) >> 3;
  input.skip(static_cast<std::size_t>(bytes));
  decoder.ahead += 8 * bytes;
}

inline std::uint32_t rangeOf(const ArithDecoder& decoder) {
  return static_cast<std::uint32_t>(((std::uint64_t{1} << 32) - decoder.low - decoder.highComplement) >> 16);
}

// The count within [0, total) that the code value points at.
inline std::uint32_t countOfValue(const ArithDecoder& decoder, std::uint32_t range, std::uint32_t total) {
  const auto offset = static_cast<std::uint32_t>(decoder.code >> 48);  // the code value minus low
  return ((offset + 1) * total - 1) / range;
}

// Narrows to [low + lowCut, low + highCut - 1] and renormalises. The leading
// bits that low and high share leave; then, while low is 01... and high
// 10..., the second bit of both leaves and the first stays. Each shifts the
// code value minus low alike, and together they take at most 16 bits.
inline void narrow(ArithDecoder& decoder, std::uint32_t range, std::uint32_t lowCut, std::uint32_t highCut) {
  std::uint32_t low = decoder.low + (lowCut << 16);
  std::uint32_t highComplement = decoder.highComplement + ((range - highCut) << 16);
  std::uint64_t code = decoder.code - (std::uint64_t{lowCut} << 48);
  const int shared = std::countl_zero(~(low ^ highComplement) | 0xffff);  // the low half is 0 in both
  // The straddling bits: 1 in low and 0 in high after the first differing bit.
  const int straddling = std::countl_one(((low & highComplement) << shared) << 1);
  const int shift = shared + straddling;
  // The first bit left is 0 in low and 1 in high (0 in its complement).
  decoder.low = (low << shift) & 0x7fffffff;
  decoder.highComplement = (highComplement << shift) & 0x7fffffff;
  decoder.code = code << shift;
  decoder.ahead -= shift;
  if (decoder.ahead < 16) refill(decoder);
}

// The symbol whose count range holds cum (the first s with cumFreq[s + 1] <= cum).
inline int searchSymbol(const FrequencyModel& model, std::int32_t cum) {
  const std::int32_t* cumFreq = model.cumFreq.data();
  int symbol = 0;
  while (symbol < model.symbolCount && cumFreq[symbol + 1] > cum) ++symbol;
  if (symbol == model.symbolCount) symbolOutOfRange();
  return symbol;
}

// Counts the symbol; a total at the limit first halves every count.
inline void updateModel(FrequencyModel& model, int symbol) {
  std::int32_t* counts = model.counts.data();
  std::int32_t* cumFreq = model.cumFreq.data();
  if (cumFreq[0] == kMaxFrequency) {
    std::int32_t sum = 0;
    cumFreq[model.symbolCount] = 0;
    for (int i = model.symbolCount - 1; i >= 0; --i) {
      counts[i] = (counts[i] + 1) / 2;  // a count of 1 stays 1: no symbol loses its range
      sum += counts[i];
      cumFreq[i] = sum;
    }
  }
  ++counts[symbol];
  for (int i = 0; i <= symbol; ++i) ++cumFreq[i];
}

}  // namespace ac

inline int decodeSymbol(ArithDecoder& decoder, FrequencyModel& model) {
  const std::int32_t* cumFreq = model.cumFreq.data();
  const auto total = static_cast<std::uint32_t>(cumFreq[0]);
  const std::uint32_t range = ac::rangeOf(decoder);
  const std::uint32_t cum = ac::countOfValue(decoder, range, total);
  // Within [0, total) the table holds the searched symbol; outside it only the search knows the answer.
  const int symbol = model.hasLookup && cum < total ? model.symbolOfCount[cum]
                                                    : ac::searchSymbol(model, static_cast<std::int32_t>(cum));
  ac::narrow(decoder, range, range * static_cast<std::uint32_t>(cumFreq[symbol + 1]) / total,
             range * static_cast<std::uint32_t>(cumFreq[symbol]) / total);
  if (model.adaptive) ac::updateModel(model, symbol);
  return symbol;
}

namespace ac {
// A static model's cumulative counts times its total's reciprocal, for both
// coders: (range * scaled[k]) >> shift is range * cumFreq[k] / total.
using ScaledCounts = std::array<std::uint64_t, FrequencyModel::kLookupSymbols + 1>;

inline ScaledCounts scaledCounts(const FrequencyModel& model, const Reciprocal& perTotal) {
  ScaledCounts scaled;
  for (int k = 0; k <= model.symbolCount; ++k) {
    scaled[static_cast<std::size_t>(k)] = static_cast<std::uint64_t>(model.cumFreq[k]) * perTotal.multiplier;
  }
  return scaled;
}
}  // namespace ac

// Decodes count symbols into out[i] = symbol - offset. A model that never
// adapts divides by its total through a reciprocal, taken into the counts.
inline void decodeSymbols(ArithDecoder& decoder, FrequencyModel& model, int count, int offset, std::int16_t* out) {
  ArithDecoder d = decoder;  // a copy the stores into out cannot alias
  if (!model.hasLookup) {
    for (int i = 0; i < count; ++i) out[i] = static_cast<std::int16_t>(decodeSymbol(d, model) - offset);
    decoder = d;
    return;
  }
  const auto total = static_cast<std::uint32_t>(model.cumFreq[0]);
  const ac::Reciprocal perTotal = ac::reciprocalOf(total);
  // Counts below 2^11 times the multiplier, times a range below 2^17: the products stay in 64 bits.
  const ac::ScaledCounts scaled = ac::scaledCounts(model, perTotal);
  for (int i = 0; i < count; ++i) {
    const std::uint32_t range = ac::rangeOf(d);
    // The count is below the total (at most kLookupLimit): the mask only keeps the read inside the table.
    const int symbol = model.symbolOfCount[ac::countOfValue(d, range, total) & (FrequencyModel::kLookupLimit - 1)];
    ac::narrow(d, range,
               static_cast<std::uint32_t>((range * scaled[static_cast<std::size_t>(symbol) + 1]) >> perTotal.shift),
               static_cast<std::uint32_t>((range * scaled[static_cast<std::size_t>(symbol)]) >> perTotal.shift));
    out[i] = static_cast<std::int16_t>(symbol - offset);
  }
  decoder = d;
}

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
